// Loading arbitrary bytes as a template into a report with every class of the engine
// registered, then saving the tree and loading the saved text again: no crash, no hang, no
// unbounded recursion, whatever the template says.
#include <cstddef>
#include <cstdint>
#include <string>

#include "startup/startup.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "report/report.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    InitializeEngine();
    return true;
  }();
  (void)initialised;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TpgwReport report;
  report.EngineOptions().SetSilentMode(true);
  report.EngineOptions().SetEnableThreadSafe(true);  // no password prompt
  TStringStream in(bytes);
  report.LoadFromStream(in);
  TStringStream saved;
  try {
    report.SaveToStream(saved);
  } catch (const Exception&) {
    return 0;
  }
  TpgwReport again;
  again.EngineOptions().SetSilentMode(true);
  again.EngineOptions().SetEnableThreadSafe(true);
  saved.SetPosition(0);
  again.LoadFromStream(saved);
  return 0;
}
