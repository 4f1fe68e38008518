// Loads arbitrary bytes as a template, prepares it (fuzz_report.h limits) and exports the pages
// as raster images in memory: JPEG or PNG, one image per page or all joined, colour or one-bit,
// cropped or not, drawn whole or in strips of 7 rows, as the first byte says. The resolution is
// kept low so that a run stays short; the page size comes from the template.
#include <cstddef>
#include <cstdint>

#include "export/image_export.h"
#include "fuzz_report.h"
#include "platform/exceptions.h"
#include "platform/streams.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  std::unique_ptr<TpgwReport> report = fuzz::LoadBoundedReport(data + 1, size - 1);
  if (!report || !fuzz::PrepareBounded(*report)) return 0;
  std::unique_ptr<TpgwCustomImageExport> filter;
  if (mode & 1)
    filter = std::make_unique<TpgwPNGPageExport>();
  else
    filter = std::make_unique<TpgwJPEGExport>(nullptr);
  filter->SetShowDialog(false);
  filter->SetShowProgress(false);
  filter->SetSeparateFiles(!(mode & 2));
  filter->SetMonochrome(mode & 4);
  filter->SetCropImages(mode & 8);
  filter->SetResolution(mode & 16 ? 48 : 24);
  filter->SetJPEGQuality(1 + (mode >> 5) * 14);
  filter->SetBandRows(mode & 32 ? 7 : 0);
  TMemoryStream out;
  filter->SetStream(&out);
  try {
    report->Export(*filter);
  } catch (const Exception&) {
  }
  filter->SetStream(nullptr);
  return 0;
}
