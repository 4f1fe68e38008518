// A saved prepared report: arbitrary bytes are loaded into the prepared-page store of a report
// (whole, or partially as the viewer loads large files, as the first byte says), then every page
// is rebuilt and dumped as `pagewright prepare --prepared FILE --dump` prints it, and the store
// is saved again.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

#include "fuzz_report.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "prepared/page_dump.h"
#include "prepared/preview_pages.h"

using namespace pagewright;

namespace {
struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    InitializeEngine();
    return true;
  }();
  (void)initialised;
  if (size < 1 || size > 256 * 1024) return 0;
  auto report = std::make_unique<TpgwReport>(DefaultReportServices());
  fuzz::Confine(*report);
  auto* pages = dynamic_cast<TpgwPreviewPages*>(report->PreviewPages());
  if (!pages) __builtin_trap();
  TStringStream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  try {
    if (!pages->LoadFromStream(in, data[0] & 1)) return 0;
  } catch (const Exception&) {
    return 0;
  }
  NullBuffer null;
  std::ostream out(&null);
  try {
    DumpPreparedPages(*pages, out);
    TMemoryStream saved;
    pages->SaveToStream(saved);
  } catch (const Exception&) {
  }
  return 0;
}
