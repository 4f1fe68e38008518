// `pagewright prepare TEMPLATE --dump`: prepares a template's pages over data given on the
// command line and prints them as text, one line per band and object.
#pragma once

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kPrepareCommand;

}  // namespace pagewright::cli
