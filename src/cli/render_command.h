// `pagewright render TEMPLATE [options]`: binds the template's data sets to CSV, JSON, SQLite or
// PostgreSQL sources, prepares the report and writes PDF, JPEG, PNG or the prepared report,
// as one document or one output per master record.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kRenderCommand;

// The render command's run for another command that renders first (print): the same options,
// messages prefixed with "pagewright COMMAND: ".
int RenderForCommand(const std::string& command, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err);
// The render command's help text (the options print shares).
void PrintRenderOptions(std::ostream& os);

}  // namespace pagewright::cli
