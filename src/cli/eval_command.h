// `pagewright eval EXPR...`: evaluates script expressions with the system functions and prints
// each value as text, one per line.
#pragma once

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kEvalCommand;

}  // namespace pagewright::cli
