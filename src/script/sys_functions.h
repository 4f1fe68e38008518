// The system registration module: the language's type names, the variant type-code constants
// and the general functions (conversion, formatting, dates, strings, mathematics and others)
// that every script and report expression sees.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/types.h"
#include "script/interpreter.h"

namespace pagewright {

class TvmSysFunctions : public TvmRTTIModule {
 public:
  explicit TvmSysFunctions(TvmScript* script);
};

// Puts the system module into the process-wide module list (start-up, before other modules).
void RegisterSysFunctions();

// Where ShowMessage sends its text; standard error (one line per message) when unset.
using TvmShowMessageOutput = std::function<void(const WideString& text)>;
void SetShowMessageOutput(TvmShowMessageOutput output);

// Seeds the generator behind Random (Randomize seeds it from the clock and the system).
void SetRandomSeed(uint64_t seed);

}  // namespace pagewright
