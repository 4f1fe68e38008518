// Metafile playback into the PDF writer: arbitrary bytes are played as a placeable Windows
// metafile or an enhanced metafile (the first byte chooses), and what plays is drawn into a PDF
// page twice: replayed as vector paths and text on the PDF canvas, and exported as a picture
// object the way the PDF export draws pictures. The document is then finished in memory.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "export/pdf/pdf_document.h"
#include "export/pdf/pdf_page_content.h"
#include "export/pdf_export.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "render/graphic_formats.h"
#include "render/metafile.h"
#include "render/wmf_emf.h"
#include "report/picture_view.h"
#include "startup/startup.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    InitializeEngine();
    return true;
  }();
  (void)initialised;
  if (size < 1 || size > 256 * 1024) return 0;
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  auto metafile = std::make_unique<TMetafile>();
  try {
    if (data[0] & 1)
      PlayEnhancedMetafile(bytes, *metafile);
    else
      PlayWindowsMetafile(bytes, *metafile);
  } catch (const Exception&) {
    return 0;
  }
  TpgwPDFExport settings(nullptr);
  settings.SetCompressed(data[0] & 2);
  TMemoryStream out;
  TpgwPDFDocument pdf(settings, out,
                      {[] { return TDateTime(46000.5); }, [] { return 0; },
                       [] { return std::string("{00112233-4455-6677-8899-AABBCCDDEEFF}"); },
                       [](std::span<uint8_t> b) { std::fill(b.begin(), b.end(), uint8_t{0x5A}); }});
  try {
    pdf.Start();
    pdf.StartPage(400, 400);
    if (metafile->Width() > 0 && metafile->Height() > 0) {
      TPDFVectorCanvas canvas(pdf, 10, 10, 16);
      metafile->Play(canvas, 16.0 * 300 / metafile->Width(), 16.0 * 200 / metafile->Height(), 0, 0);
    }
    TpgwPictureView view(nullptr);
    view.SetBounds(20, 220, 300, 150);
    TPicture picture;
    picture.SetGraphic(std::move(metafile));
    view.SetPicture(picture);
    TPDFPageContent content(pdf, settings);
    content.ExportView(view);
    pdf.FinishPage();
    pdf.Finish();
  } catch (const Exception&) {
  }
  return 0;
}
