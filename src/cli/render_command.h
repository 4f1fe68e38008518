// `pagewright render TEMPLATE [options]`: binds the template's data sets to CSV, JSON, SQLite or
// PostgreSQL sources, prepares the report and writes PDF, JPEG, PNG or the prepared report,
// as one document or one output per master record.
#pragma once

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kRenderCommand;

}  // namespace pagewright::cli
