#include "export/image_export.h"

#include <algorithm>
#include <limits>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/memory_budget.h"
#include "platform/scope_guard.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "render/bitmap.h"
#include "render/graphic_formats.h"
#include "render/picture_codecs.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/view.h"
#include "support/resources.h"

namespace pagewright {

namespace {

// Report pixels to bitmap pixels, halves to even; far-off positions saturate instead of
// overflowing.
int64_t ToPixels(Extended v) {
  constexpr Extended kLimit = static_cast<Extended>(int64_t{1} << 40);
  if (!(v > -kLimit)) return -(int64_t{1} << 40);
  if (!(v < kLimit)) return int64_t{1} << 40;
  return RoundHalfEven(v);
}

int ToSide(Extended v, int cap) {
  return static_cast<int>(std::clamp<int64_t>(ToPixels(v), 0, cap));
}

constexpr int64_t kNoMin = std::numeric_limits<int64_t>::max();

// Pixel bytes of one strip: kBandBytes, or half of what the memory budget has left when that
// is less, so that a page beyond the budget is still drawn.
int64_t StripBytes() {
  const TMemoryBudget& budget = TMemoryBudget::Process();
  return std::min(TpgwCustomImageExport::kBandBytes,
                  std::max<int64_t>(budget.Limit() - budget.Used(), 0) / 2);
}

}  // namespace

TpgwCustomImageExport::TpgwCustomImageExport(TComponent* owner) : TpgwBaseDialogExportFilter(owner) {
  SetOpenAfterExport(false);
}

TpgwCustomImageExport::~TpgwCustomImageExport() = default;

const TClassInfo& TpgwCustomImageExport::StaticClassInfo() {
  using T = TpgwCustomImageExport;
  static const TClassInfo& info =
      Describe<T>("TpgwCustomImageExport").Parent<TpgwBaseDialogExportFilter>().Abstract().Build();
  return info;
}
const TClassInfo& TpgwCustomImageExport::ClassInfo() const {
  return StaticClassInfo();
}

std::unique_ptr<TBitmap> TpgwCustomImageExport::NewBitmap() {
  auto bitmap = std::make_unique<TBitmap>();
  TCanvas& canvas = bitmap->Canvas();
  TCanvasLock lock(canvas);
  FCurrentRes = canvas.Font().PixelsPerInch();
  FDiv = static_cast<Extended>(FResolution) / FCurrentRes;
  if (FMonochrome) bitmap->SetMonochrome(true);
  PrepareCanvas(canvas);
  return bitmap;
}

void TpgwCustomImageExport::PrepareCanvas(TCanvas& canvas) const {
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(clWhite);
  canvas.SetWholePixelModules(FWholePixelModules);
}

bool TpgwCustomImageExport::CanEncodeRows() const {
  return dynamic_cast<const TpgwJPEGPictureFormat*>(FGHelper) != nullptr;
}

std::unique_ptr<TRowEncoder> TpgwCustomImageExport::NewRowEncoder(int width, int height, TStream& stream) {
  if (!CanEncodeRows()) throw EInvalidOperation("The picture format cannot write a page in strips");
  return std::make_unique<TJPEGRowEncoder>(width, height, FJPEGQuality, FResolution, false, stream);
}

bool TpgwCustomImageExport::Start() {
  FGHelper = TpgwGraphicFormats::FindByName(Utf8ToUtf16(FPicFormatName), {gcSaveTo, gcConvert});
  if (!FGHelper) throw Exception("Picture format " + FPicFormatName + " not found.");
  SetCurPage(false);
  FCurrentPage = 0;
  FYOffset = 0;
  FBitmap.reset();
  FBanded = false;
  FBandViews.clear();
  if (!FSeparate) {
    // The joined image grows page by page (see StartPage).
    FBitmap = NewBitmap();
    FMaxX = 0;
    FMaxY = 0;
    FMinX = kNoMin;
    FMinY = kNoMin;
    FFirstPage = true;
  }
  return !FileName().empty() || Stream() != nullptr;
}

void TpgwCustomImageExport::StartPage(TpgwReportPage& page, int) {
  ++FCurrentPage;
  if (FSeparate) {
    FBitmap.reset();
    FBandViews.clear();
    auto bitmap = NewBitmap();
    const int width = ToSide(page.Width() * FDiv, std::numeric_limits<int>::max());
    const int height = ToSide(page.Height() * FDiv, std::numeric_limits<int>::max());
    FPageWidth = width;
    FPageHeight = height;
    FBanded = width > 0 && height > 0 && CanEncodeRows() &&
              (FBandRows > 0 || int64_t{width} * height * 4 > StripBytes());
    // A page drawn in strips gets its strip bitmap when it is written.
    if (!FBanded) {
      TCanvasLock lock(bitmap->Canvas());
      bitmap->SetSize(width, height);
    }
    FBitmap = std::move(bitmap);
    FMaxX = 0;
    FMaxY = 0;
    FMinX = width;
    FMinY = height;
    return;
  }
  if (!FBitmap) return;
  // The joined image is as wide as the widest page and as high as the pages exported so far,
  // each way at most kMaxJoinedSide pixels. Growing with each page sizes it to the pages that
  // are actually exported, not to every page of the report.
  const int width = std::max(FBitmap->Width(), ToSide(page.Width() * FDiv, kMaxJoinedSide));
  const int height = static_cast<int>(std::clamp<int64_t>(
      int64_t{FYOffset} + ToSide(page.Height() * FDiv, kMaxJoinedSide), 0, kMaxJoinedSide));
  TCanvas& canvas = FBitmap->Canvas();
  TCanvasLock lock(canvas);
  // The pixels the image gains take the brush colour, which the views painted before changed.
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(clWhite);
  FBitmap->SetSize(width, height);
  FFirstPage = false;
}

void TpgwCustomImageExport::ExportObject(TpgwComponent& obj) {
  auto* view = dynamic_cast<TpgwView*>(&obj);
  if (!view || !FBitmap) return;
  if (!FExportNotPrintable && !view->Printable()) return;
  const bool background = dynamic_cast<TpgwPictureView*>(view) && view->Name() == u"_pagebackground";
  if (!background) {
    const Extended left = view->AbsLeft(), top = view->AbsTop();
    FMinX = std::min(FMinX, ToPixels(left * FDiv));
    FMinY = std::min(FMinY, ToPixels(top * FDiv) + FYOffset);
    FMaxX = std::max(FMaxX, ToPixels((left + view->Width()) * FDiv) + 1);
    FMaxY = std::max(FMaxY, ToPixels((top + view->Height()) * FDiv) + FYOffset + 1);
  }
  if (FBanded) {
    FBandViews.push_back(view);
    return;
  }
  TCanvas& canvas = FBitmap->Canvas();
  TCanvasLock lock(canvas);
  view->Draw(canvas, FDiv, FDiv, 0, FYOffset);
}

void TpgwCustomImageExport::FinishPage(TpgwReportPage& page, int) {
  FPaperWidth = static_cast<double>(page.PaperWidth());
  FPaperHeight = static_cast<double>(page.PaperHeight());
  if (FSeparate) {
    SaveCurrentBitmap();
  } else {
    FYOffset = static_cast<int>(std::clamp<int64_t>(
        int64_t{FYOffset} + ToSide(page.Height() * FDiv, kMaxJoinedSide), 0, kMaxJoinedSide));
  }
}

void TpgwCustomImageExport::Finish() {
  if (!FSeparate) SaveCurrentBitmap();
  FBitmap.reset();
  FGHelper = nullptr;
}

void TpgwCustomImageExport::SaveCurrentBitmap() {
  if (!FBitmap) return;
  auto release = ScopeExit([this] {
    FBitmap.reset();
    FBanded = false;
    FBandViews.clear();
  });
  if (FBanded) {
    // The crop box is known from the views' bounds before anything is drawn, so the strips
    // cover only it (WriteBands).
    WriteFile();
    return;
  }
  if (FCrop) {
    // The painted area, within the image. When nothing printable was painted the box is empty
    // and the whole image is written rather than an image of no size.
    const int64_t left = std::max<int64_t>(FMinX, 0), top = std::max<int64_t>(FMinY, 0);
    const int64_t right = std::min<int64_t>(FMaxX, FBitmap->Width());
    const int64_t bottom = std::min<int64_t>(FMaxY, FBitmap->Height());
    if (right > left && bottom > top) {
      std::unique_ptr<TBitmap> cropped;
      {
        TCanvasLock lock(FBitmap->Canvas());
        cropped = FBitmap->Copy(Rect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
                                     static_cast<int>(bottom)));
      }
      FBitmap = std::move(cropped);
    }
  }
  WriteFile();
}

void TpgwCustomImageExport::WriteFile() {
  FFileSuffix.clear();
  if (FSeparate) FFileSuffix.append(u".").append(IntToStr(FCurrentPage));
  // The page's file from the transport: written by `write`, discarded on a failure (the
  // previous file stays).
  auto toFile = [this](const auto& write) {
    TpgwCustomIOTransport* transport = IOTransport();
    if (!transport) throw EInvalidOperation("The export filter has no output transport");
    const WideString name = ChangeFileExt(FileName(), FFileSuffix + DefaultExt());
    TStream* out = transport->GetStream(name);
    if (!out) throw EFCreateError("Cannot create file \"" + Utf16ToUtf8(name) + "\".");
    auto discard = ScopeFail([&] { transport->DiscardStream(out, name); });
    if (!transport->DoFilterProcessStream(*out, this)) write(*out);
    discard.Dismiss();
    transport->FreeStream(out, name);
  };
  try {
    if (FBanded && !Stream()) {
      // Encoded straight into the file as the strips are drawn.
      toFile([this](TStream& out) { WriteBands(out); });
      return;
    }
    // Encoded first, so that a picture that cannot be encoded leaves no empty file behind.
    TMemoryStream encoded;
    if (FBanded)
      WriteBands(encoded);
    else
      WriteBitmapToStream(encoded);
    if (TStream* stream = Stream()) {
      stream->WriteBuffer(encoded.Memory(), encoded.Size());
      return;
    }
    toFile([&encoded](TStream& out) { out.WriteBuffer(encoded.Memory(), encoded.Size()); });
  } catch (const Exception& e) {
    ReportOutputError(e);
  }
}

void TpgwCustomImageExport::WriteBands(TStream& stream) {
  // The written area: the page, or with CropImages the painted box within it (the whole page
  // when nothing printable was painted), as the whole-page bitmap is cropped.
  TRect area = Rect(0, 0, FPageWidth, FPageHeight);
  if (FCrop) {
    const int64_t left = std::max<int64_t>(FMinX, 0), top = std::max<int64_t>(FMinY, 0);
    const int64_t right = std::min<int64_t>(FMaxX, FPageWidth),
                  bottom = std::min<int64_t>(FMaxY, FPageHeight);
    if (right > left && bottom > top)
      area = Rect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
                  static_cast<int>(bottom));
  }
  const int64_t rowBytes = int64_t{area.Width()} * 4;
  const int rows = static_cast<int>(std::min<int64_t>(
      area.Height(), FBandRows > 0 ? FBandRows : std::max<int64_t>(1, StripBytes() / rowBytes)));
  std::unique_ptr<TRowEncoder> encoder = NewRowEncoder(area.Width(), area.Height(), stream);
  TBitmap& strip = *FBitmap;
  {
    TCanvasLock lock(strip.Canvas());
    strip.SetSize(area.Width(), rows);
  }
  for (int top = area.Top; top < area.Bottom; top += rows) {
    // A fresh canvas for each strip: the views find it as they would find the page's.
    strip.SetWindow(area.Left, top, FPageWidth, FPageHeight);
    TCanvas& canvas = strip.Canvas();
    TCanvasLock lock(canvas);
    PrepareCanvas(canvas);
    for (TpgwView* view : FBandViews) view->Draw(canvas, FDiv, FDiv, 0, 0);
    encoder->WriteRows(strip, 0, std::min(rows, area.Bottom - top));
  }
  encoder->Finish();
}

void TpgwCustomImageExport::WriteBitmapToStream(TStream& stream) {
  if (!FBitmap) throw EInvalidOperation("There is no page image to write");
  if (!FGHelper) throw Exception("Picture format " + FPicFormatName + " not found.");
  if (FBitmap->Monochrome()) {
    // Reading the rows settles each pixel to black or white; the 24-bit copy the format makes
    // would otherwise keep the painted grey edges.
    for (int y = 0; y < FBitmap->Height(); ++y) FBitmap->ScanLine(y);
  }
  // The page is encoded where it was drawn: a JPEG picture of it would copy every pixel first.
  if (auto* jpeg = dynamic_cast<const TpgwJPEGPictureFormat*>(FGHelper)) {
    jpeg->SaveBitmap(*FBitmap, FJPEGQuality, FResolution, stream);
    return;
  }
  std::unique_ptr<TGraphic> graphic = FGHelper->ConvertFrom(*FBitmap, pf24bit, FJPEGQuality);
  if (auto* jpeg = dynamic_cast<TJPEGImage*>(graphic.get())) jpeg->SetDensity(FResolution);
  FGHelper->SaveToStream(*graphic, stream);
}

TpgwPNGPageExport::TpgwPNGPageExport(TComponent* owner) : TpgwCustomImageExport(owner) {
  SetPicFormatName("JPG");
  SetDefaultExt(u".png");
}

void TpgwPNGPageExport::WriteBitmapToStream(TStream& stream) {
  TBitmap* bitmap = Bitmap();
  if (!bitmap) throw EInvalidOperation("There is no page image to write");
  EncodePNG(*bitmap, stream);
}

std::unique_ptr<TRowEncoder> TpgwPNGPageExport::NewRowEncoder(int width, int height, TStream& stream) {
  return std::make_unique<TPNGRowEncoder>(width, height, false, stream);
}

TpgwJPEGExport::TpgwJPEGExport(TComponent* owner) : TpgwCustomImageExport(owner) {
  SetPicFormatName("JPG");
  SetFilterDesc(ResourceGet("JPEGexportFilter"));
  SetDefaultExt(u".jpg");
}

const TClassInfo& TpgwJPEGExport::StaticClassInfo() {
  using T = TpgwJPEGExport;
  static const TClassInfo& info = Describe<T>("TpgwJPEGExport")
                                      .Parent<TpgwCustomImageExport>()
                                      .Integer("JPEGQuality", &T::JPEGQuality, &T::SetJPEGQuality)
                                      .Default(90)
                                      .Boolean("CropImages", &T::CropImages, &T::SetCropImages)
                                      .Default(false)
                                      .Boolean("Monochrome", &T::Monochrome, &T::SetMonochrome)
                                      .Default(false)
                                      .Boolean("OverwritePrompt", &T::OverwritePrompt, &T::SetOverwritePrompt)
                                      .Default(false)
                                      .Build();
  return info;
}
const TClassInfo& TpgwJPEGExport::ClassInfo() const {
  return StaticClassInfo();
}

WideString TpgwJPEGExport::GetDescription() const {
  return ResourceGet("JPEGexport");
}

}  // namespace pagewright
