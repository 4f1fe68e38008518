// `pagewright resave [--defaults] IN OUT`: loads a template and saves it again.
#pragma once

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kResaveCommand;

}  // namespace pagewright::cli
