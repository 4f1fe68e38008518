// `pagewright tree TEMPLATE`: loads a template and prints its object tree, one node per line.
#pragma once

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kTreeCommand;

}  // namespace pagewright::cli
