// `pagewright print TEMPLATE --printer QUEUE [options]`: renders like `render` and sends the
// document to a CUPS queue (PDF, page pictures, or ZPL to a raw label printer queue).
#pragma once

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kPrintCommand;

}  // namespace pagewright::cli
