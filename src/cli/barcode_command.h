// `pagewright barcode TYPE TEXT`: prints the element pattern and the module row of a barcode.
#pragma once

#include "cli/command.h"

namespace pagewright::cli {

extern const CliCommand kBarcodeCommand;

}  // namespace pagewright::cli
