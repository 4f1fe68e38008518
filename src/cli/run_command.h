// `pagewright run FILE`: compiles and runs a whole PascalScript program with the system
// functions; ShowMessage is the program's output, one line per message on standard output.
#pragma once

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kRunCommand;

}  // namespace pagewright::cli
