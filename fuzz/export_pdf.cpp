// Loads arbitrary bytes as a template, prepares it (fuzz_report.h limits) and exports the pages
// to a PDF in memory, compressed or not and with or without encryption as the first byte says:
// whatever the template holds, the export ends in a document or in error lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "export/pdf/pdf_document.h"
#include "export/pdf_export.h"
#include "fuzz_report.h"
#include "platform/streams.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  std::unique_ptr<TpgwReport> report = fuzz::LoadBoundedReport(data + 1, size - 1);
  if (!report || !fuzz::PrepareBounded(*report)) return 0;
  TpgwPDFExport filter(nullptr);
  filter.SetShowDialog(false);
  filter.SetShowProgress(false);
  filter.SetOpenAfterExport(false);
  filter.SetCompressed(mode & 1);
  filter.SetOutline(mode & 2);
  if (mode & 4) {
    filter.SetUserPassword("user");
    filter.SetEncryptionMethod(mode & 8 ? peAES_256 : peRC4_128);
  }
  // Pinned date, zone and identifiers: the same input gives the same bytes.
  filter.SetEnvironment({[] { return TDateTime(46000.5); }, [] { return 0; },
                         [] { return std::string("{00112233-4455-6677-8899-AABBCCDDEEFF}"); },
                         [](std::span<uint8_t> bytes) { std::fill(bytes.begin(), bytes.end(), uint8_t{0x5A}); }});
  TMemoryStream out;
  filter.SetStream(&out);
  try {
    report->Export(filter);
  } catch (const Exception&) {
  }
  filter.SetStream(nullptr);
  return 0;
}
