// The process-wide resource store: every message and caption by key.
#pragma once

#include <string_view>

#include "platform/types.h"

namespace pagewright {

class TpgwResources;

// The one store of the process, created on first call with the built-in tables.
TpgwResources& ResourceStore();
// Text of a key; a key missing from the store yields the key itself.
WideString ResourceGet(std::string_view key);
// Lookup of a numeric key (the number in decimal).
WideString ResourceText(int number);

}  // namespace pagewright
