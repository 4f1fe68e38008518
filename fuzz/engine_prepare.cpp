// Loads arbitrary bytes as a template and prepares it with the whole engine: hostile geometry,
// counts and nesting must end in pages or in error lines, within the page and step limits of
// fuzz_report.h. The prepared pages are then walked as `pagewright prepare --dump` prints them.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>

#include "fuzz_report.h"
#include "prepared/page_dump.h"

using namespace pagewright;

namespace {
struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<TpgwReport> report = fuzz::LoadBoundedReport(data, size);
  if (!report) return 0;
  if (!fuzz::PrepareBounded(*report)) return 0;
  if (auto* pages = dynamic_cast<TpgwPreviewPages*>(report->PreviewPages())) {
    NullBuffer null;
    std::ostream out(&null);
    DumpPreparedPages(*pages, out);
  }
  return 0;
}
