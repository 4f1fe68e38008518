// `pagewright serve [--bind ADDR] [--port N] PATH [--data NAME=SOURCE]... [--scripts]`: a live
// preview in the browser of the templates under PATH, rendered again when they change on disk.
#pragma once

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kServeCommand;

}  // namespace pagewright::cli
