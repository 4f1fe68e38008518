// Compiling and running arbitrary script text with the system functions, under a step budget
// and a call depth limit: no crash, no hang, whatever the program does. Script errors are
// exceptions of our own base class; anything else escaping is a fault. The text is
// PascalScript unless its first byte is 1, 2 or 3 (C++Script, BasicScript, JScript).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "script/interpreter.h"
#include "script/sys_functions.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    InitScriptInterpreter();
    SetShowMessageOutput([](const WideString&) {});  // programs may print a lot
    SetRandomSeed(1);
    return true;
  }();
  (void)initialised;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TvmScript script;
  TvmSysFunctions sys(&script);
  static const char16_t* const kLanguages[] = {u"C++Script", u"BasicScript", u"JScript"};
  if (!bytes.empty() && bytes[0] >= 1 && bytes[0] <= 3) {
    script.SyntaxType = kLanguages[bytes[0] - 1];
    bytes.remove_prefix(1);
  }
  script.Lines = Utf8ToUtf16(bytes);
  script.StepLimit = 20000;
  script.MaxCallDepth = 64;
  script.MaxStringLength = 1 << 20;
  try {
    if (!script.Compile()) {
      if (script.ErrorMsg.empty()) __builtin_trap();  // a failure without a message
      return 0;
    }
  } catch (const Exception&) {
    return 0;  // a unit file that cannot be read, an unknown language on a language line
  }
  for (int run = 0; run < 2; ++run) {  // a program runs again after an error
    try {
      script.Execute();
    } catch (const Exception&) {
      if (script.IsRunning) __builtin_trap();
    }
  }
  return 0;
}
