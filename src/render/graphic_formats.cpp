#include "render/graphic_formats.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/properties.h"
#include "platform/property_stream.h"
#include "platform/wide_strings.h"
#include "render/colors.h"
#include "render/picture_codecs.h"
#include "render/wmf_emf.h"

namespace pagewright {

namespace {

// Largest stream a handler reads into memory.
constexpr int64_t kMaxPictureBytes = int64_t{256} << 20;

struct SmoothGuard {
  SmoothGuard(TCanvas& c, bool smooth) : canvas(c), saved(c.StretchSmooth()) { c.SetStretchSmooth(smooth); }
  ~SmoothGuard() { canvas.SetStretchSmooth(saved); }
  TCanvas& canvas;
  bool saved;
};

bool IsSmooth(TpgwGraphicQuality q) {
  return q == gqHiQuality || q == gqPrint;
}

const TBitmap* RasterBitmap(const TGraphic& g) {
  if (auto* b = dynamic_cast<const TBitmap*>(&g)) return b;
  if (auto* r = dynamic_cast<const TpgwRasterGraphic*>(&g)) return &r->Bitmap();
  return nullptr;
}

// Draws a bitmap leaving out the pixels of the mask colour.
void DrawMasked(TCanvas& canvas, const TBitmap& bitmap, const TRect& rect, TColor mask) {
  auto copy = bitmap.Copy(Rect(0, 0, bitmap.Width(), bitmap.Height()));
  copy->SetTransparentColor(ColorToRGB(mask) & 0xFFFFFF);
  copy->SetTransparent(true);
  canvas.StretchDraw(rect, *copy);
}

bool SameText(const WideString& a, const WideString& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

// ---- picture classes ----

TpgwRasterGraphic::TpgwRasterGraphic() : FBitmap(std::make_unique<TBitmap>()) {}

TpgwRasterGraphic::TpgwRasterGraphic(std::unique_ptr<TBitmap> bitmap)
    : FBitmap(bitmap ? std::move(bitmap) : std::make_unique<TBitmap>()) {}

void TpgwRasterGraphic::SetBitmap(std::unique_ptr<TBitmap> bitmap) {
  FBitmap = bitmap ? std::move(bitmap) : std::make_unique<TBitmap>();
}

void TpgwRasterGraphic::CopyFrom(const TpgwRasterGraphic& other) {
  FBitmap = other.FBitmap->Copy(Rect(0, 0, other.Width(), other.Height()));
  FMaskColor = other.FMaskColor;
  SetTransparent(other.Transparent());
}

void TpgwRasterGraphic::Draw(TCanvas& canvas, const TRect& rect) const {
  if (Empty()) return;
  if (Transparent()) {
    const TColor mask = IsNoColor(FMaskColor) ? FBitmap->Pixel(0, Height() - 1) : FMaskColor;
    DrawMasked(canvas, *FBitmap, rect, mask);
  } else {
    canvas.StretchDraw(rect, *FBitmap);
  }
}

std::unique_ptr<TGraphic> TJPEGImage::Clone() const {
  auto c = std::make_unique<TJPEGImage>();
  c->CopyFrom(*this);
  c->FQuality = FQuality;
  c->FPixelFormat = FPixelFormat;
  c->FDensity = FDensity;
  return c;
}

void TJPEGImage::Assign(const TGraphic& source) {
  if (auto* j = dynamic_cast<const TJPEGImage*>(&source)) {
    if (j == this) return;
    CopyFrom(*j);
    FQuality = j->FQuality;
    FPixelFormat = j->FPixelFormat;
    FDensity = j->FDensity;
    return;
  }
  if (auto* b = dynamic_cast<const TBitmap*>(&source)) {
    auto copy = b->Copy(Rect(0, 0, b->Width(), b->Height()));
    copy->SetTransparent(false);
    if (copy->PixelFormat() != pf24bit) copy->SetPixelFormat(pf24bit);
    FDensity = b->PixelsPerInch();
    FBitmap = std::move(copy);
    return;
  }
  throw EConvertError("Cannot assign a " + GraphicClassName(source) + " to a TJPEGImage");
}

void TJPEGImage::LoadFromBytes(std::span<const uint8_t> data) {
  FBitmap = DecodeJPEG(data);
}

void TJPEGImage::SaveToStream(TStream& stream) const {
  EncodeJPEG(*FBitmap, FQuality, FDensity, FPixelFormat == jf8Bit, stream);
}

std::unique_ptr<TGraphic> TPngImage::Clone() const {
  auto c = std::make_unique<TPngImage>();
  c->CopyFrom(*this);
  return c;
}

std::unique_ptr<TGraphic> TIcon::Clone() const {
  auto c = std::make_unique<TIcon>();
  c->CopyFrom(*this);
  return c;
}

std::unique_ptr<TGraphic> TpgwGIFGraphic::Clone() const {
  auto c = std::make_unique<TpgwGIFGraphic>();
  c->CopyFrom(*this);
  c->FStrip = FStrip->Copy(Rect(0, 0, FStrip->Width(), FStrip->Height()));
  c->FFrameCount = FFrameCount;
  c->FTransparentColor = FTransparentColor;
  return c;
}

void TpgwGIFGraphic::SetFrames(std::unique_ptr<TBitmap> strip, int frameCount, TColor transparentColor) {
  FStrip = strip ? std::move(strip) : std::make_unique<TBitmap>();
  FFrameCount = frameCount;
  FTransparentColor = transparentColor;
  FMaskColor = transparentColor;
  const int w = frameCount > 0 ? FStrip->Width() / frameCount : 0;
  FBitmap = FStrip->Copy(Rect(0, 0, w, FStrip->Height()));
}

std::unique_ptr<TGraphic> TpgwEMFMetafile::Clone() const {
  auto c = std::make_unique<TpgwEMFMetafile>(Width(), Height());
  Play(c->Canvas(), 1.0, 1.0, 0, 0);
  return c;
}

std::string GraphicClassName(const TGraphic& g) {
  if (dynamic_cast<const TJPEGImage*>(&g)) return "TJPEGImage";
  if (dynamic_cast<const TPngImage*>(&g)) return "TPngImage";
  if (dynamic_cast<const TIcon*>(&g)) return "TIcon";
  if (dynamic_cast<const TpgwGIFGraphic*>(&g)) return "TpgwGIFGraphic";
  if (dynamic_cast<const TpgwEMFMetafile*>(&g)) return "TpgwEMFMetafile";
  if (dynamic_cast<const TMetafile*>(&g)) return "TMetafile";
  if (dynamic_cast<const TBitmap*>(&g)) return "TBitmap";
  return "TGraphic";
}

// ---- the base handler ----

void TpgwCustomGraphicFormat::RaiseAbstract(const char* operation) const {
  throw EAbstractGraphicFormatException(std::string("Method ") + operation + " in " + ClassName());
}

std::vector<uint8_t> TpgwCustomGraphicFormat::Peek(TStream& stream, size_t n) {
  const int64_t pos = stream.Position();
  std::vector<uint8_t> bytes(n);
  const int64_t got = stream.Read(bytes.data(), static_cast<int64_t>(n));
  stream.SetPosition(pos);
  bytes.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  return bytes;
}

std::vector<uint8_t> TpgwCustomGraphicFormat::ReadRest(TStream& stream) {
  const int64_t pos = stream.Position();
  const int64_t size = stream.Size();
  const int64_t left = size - pos;
  if (left <= 0) return {};
  if (left > kMaxPictureBytes) throw EInvalidGraphic("Picture data too large");
  std::vector<uint8_t> bytes(static_cast<size_t>(left));
  const int64_t got = stream.Read(bytes.data(), left);
  bytes.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  return bytes;
}

bool TpgwCustomGraphicFormat::LoadFromStream(TPicture& picture, TStream& stream) const {
  const int64_t pos = stream.Position();
  try {
    std::vector<uint8_t> bytes = ReadRest(stream);
    auto graphic = Decode(bytes);
    if (!graphic || graphic->Empty()) throw EInvalidGraphic("Picture is empty");
    picture.SetGraphic(std::move(graphic), std::move(bytes));
    return true;
  } catch (const EAbstractGraphicFormatException&) {
    stream.SetPosition(pos);
    throw;
  } catch (const std::exception&) {
    // Broken data (our errors) or a size the allocator refused: the picture stays as it was.
  }
  stream.SetPosition(pos);
  return false;
}

std::unique_ptr<TGraphic> TpgwCustomGraphicFormat::ConvertFrom(const TGraphic& graphic,
                                                               TPixelFormat pixelFormat, int quality) const {
  if (!HasCapabilities({gcConvert})) RaiseAbstract("ConvertFrom");
  std::unique_ptr<TGraphic> result = CreateNew(0, 0, quality, false, pixelFormat);
  auto* jpeg = dynamic_cast<TJPEGImage*>(result.get());
  if (!jpeg) RaiseAbstract("ConvertFrom");
  try {
    jpeg->Assign(graphic);
  } catch (const EConvertError&) {
    // Pictures the JPEG cannot take directly are drawn into a bitmap first.
    TBitmap bitmap;
    bitmap.SetPixelFormat(pixelFormat == pf32bit ? pf24bit : pixelFormat);
    bitmap.SetSize(graphic.Width(), graphic.Height());
    if (!graphic.Empty()) bitmap.Canvas().StretchDraw(Rect(0, 0, graphic.Width(), graphic.Height()), graphic);
    jpeg->Assign(bitmap);
  }
  return result;
}

bool TpgwCustomGraphicFormat::HasAlphaChannel(const TGraphic& graphic) const {
  const TBitmap* b = RasterBitmap(graphic);
  return b && b->PixelFormat() == pf32bit;
}

TColor TpgwCustomGraphicFormat::GetTransparentColor(const TGraphic& graphic) const {
  if (auto* r = dynamic_cast<const TpgwRasterGraphic*>(&graphic)) return r->MaskColor();
  return clNone;
}

void TpgwCustomGraphicFormat::Draw(TCanvas& canvas, const TGraphic& graphic, const TRect& rect,
                                   TpgwGraphicQuality quality) const {
  if (graphic.Empty() || rect.IsEmpty()) return;
  const TBitmap* bitmap = RasterBitmap(graphic);
  if (IsVector() || !bitmap) {
    canvas.StretchDraw(rect, graphic);
    return;
  }
  // Raster pictures: plain stretching, or smooth resampling at the two high qualities.
  SmoothGuard smooth(canvas, IsSmooth(quality));
  if (bitmap->Transparent()) {
    auto copy = bitmap->Copy(Rect(0, 0, bitmap->Width(), bitmap->Height()));
    copy->SetTransparent(false);
    canvas.StretchDraw(rect, *copy);
  } else {
    canvas.StretchDraw(rect, *bitmap);
  }
}

void TpgwCustomGraphicFormat::DrawTransparent(TCanvas& canvas, const TGraphic& graphic, const TRect& rect,
                                              TColor maskColor, TpgwGraphicQuality quality) const {
  if (graphic.Empty() || rect.IsEmpty()) return;
  const TBitmap* bitmap = RasterBitmap(graphic);
  if (IsVector() || !bitmap) {
    canvas.StretchDraw(rect, graphic);  // vector pictures leave their background untouched
    return;
  }
  if (IsSmooth(quality) || !IsNoColor(maskColor)) {
    SmoothGuard smooth(canvas, true);
    if (bitmap->PixelFormat() == pf32bit) {
      canvas.StretchDraw(rect, *bitmap);
    } else if (!IsNoColor(maskColor)) {
      DrawMasked(canvas, *bitmap, rect, maskColor);
    } else {
      canvas.StretchDraw(rect, *bitmap);
    }
    return;
  }
  // The picture's own transparent drawing.
  SmoothGuard plain(canvas, false);
  if (auto* r = dynamic_cast<const TpgwRasterGraphic*>(&graphic)) {
    if (r->HasAlpha()) {
      canvas.StretchDraw(rect, *bitmap);
    } else {
      const TColor own = IsNoColor(r->MaskColor()) ? bitmap->Pixel(0, bitmap->Height() - 1) : r->MaskColor();
      DrawMasked(canvas, *bitmap, rect, own);
    }
  } else if (bitmap->PixelFormat() == pf32bit) {
    canvas.StretchDraw(rect, *bitmap);
  } else {
    DrawMasked(canvas, *bitmap, rect, bitmap->TransparentColor());
  }
}

// ---- recognition and decoding of each handler ----

bool TpgwWMFGraphicFormat::CanLoad(TStream& stream) const {
  const auto b = Peek(stream, 18);
  return b.size() >= 18 && TByteReader(b).U32LE() == 0x9AC6CDD7u;
}

std::unique_ptr<TGraphic> TpgwWMFGraphicFormat::Decode(std::span<const uint8_t> data) const {
  auto m = std::make_unique<TMetafile>();
  PlayWindowsMetafile(data, *m);
  return m;
}

bool TpgwEMFGraphicFormat::CanLoad(TStream& stream) const {
  const auto b = Peek(stream, 108);
  return b.size() >= 108 && std::memcmp(b.data() + 40, " EMF", 4) == 0;
}

std::unique_ptr<TGraphic> TpgwEMFGraphicFormat::Decode(std::span<const uint8_t> data) const {
  auto m = std::make_unique<TMetafile>();
  PlayEnhancedMetafile(data, *m);
  return m;
}

std::unique_ptr<TGraphic> TpgwPWEMFGraphicFormat::Decode(std::span<const uint8_t> data) const {
  auto m = std::make_unique<TpgwEMFMetafile>();
  PlayEnhancedMetafile(data, *m);
  return m;
}

bool TpgwICOGraphicFormat::CanLoad(TStream& stream) const {
  const auto b = Peek(stream, 6);
  if (b.size() < 6) return false;
  TByteReader r(b);
  return r.U16LE() == 0 && r.U16LE() < 2;
}

std::unique_ptr<TGraphic> TpgwICOGraphicFormat::Decode(std::span<const uint8_t> data) const {
  return std::make_unique<TIcon>(DecodeICO(data));
}

bool TpgwJPEGPictureFormat::CanLoad(TStream& stream) const {
  const auto b = Peek(stream, 2);
  return b.size() >= 2 && b[0] == 0xFF && b[1] == 0xD8;
}

std::unique_ptr<TGraphic> TpgwJPEGPictureFormat::Decode(std::span<const uint8_t> data) const {
  auto j = std::make_unique<TJPEGImage>();
  j->LoadFromBytes(data);
  return j;
}

void TpgwJPEGPictureFormat::SaveToStream(const TGraphic& graphic, TStream& stream) const {
  if (auto* j = dynamic_cast<const TJPEGImage*>(&graphic)) {
    j->SaveToStream(stream);
    return;
  }
  auto converted = ConvertFrom(graphic, pf24bit, 90);
  static_cast<TJPEGImage&>(*converted).SaveToStream(stream);
}

void TpgwJPEGPictureFormat::SaveBitmap(const TBitmap& bitmap, int quality, int dpi, TStream& stream) const {
  if (bitmap.PixelFormat() == pf32bit) {
    // Transparent pixels are shown on white, as the picture's 24-bit copy would have them.
    auto copy = bitmap.Copy(Rect(0, 0, bitmap.Width(), bitmap.Height()));
    copy->SetPixelFormat(pf24bit);
    EncodeJPEG(*copy, quality, dpi, false, stream);
    return;
  }
  EncodeJPEG(bitmap, quality, dpi, false, stream);
}

std::unique_ptr<TGraphic> TpgwJPEGPictureFormat::CreateNew(int width, int height, int quality,
                                                           bool transparent, TPixelFormat pixelFormat) const {
  auto j = std::make_unique<TJPEGImage>();
  j->SetCompressionQuality(quality);
  j->SetPixelFormat(pixelFormat == pf1bit ? jf8Bit : jf24Bit);
  j->SetTransparent(transparent);
  if (width != 0 && height != 0) {
    CheckPictureSize(width, height, kMaxPicturePixels);
    j->Bitmap().SetSize(width, height);
  }
  return j;
}

TCanvas* TpgwJPEGPictureFormat::GetCanvas(TGraphic& graphic) const {
  auto* j = dynamic_cast<TJPEGImage*>(&graphic);
  return j ? &j->Canvas() : nullptr;
}

bool TpgwPNGGraphicFormat::CanLoad(TStream& stream) const {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const auto b = Peek(stream, 8);
  return b.size() >= 8 && std::memcmp(b.data(), kSignature, 8) == 0;
}

std::unique_ptr<TGraphic> TpgwPNGGraphicFormat::Decode(std::span<const uint8_t> data) const {
  return std::make_unique<TPngImage>(DecodePNG(data));
}

bool TpgwGIFGraphicFormat::CanLoad(TStream& stream) const {
  const auto b = Peek(stream, 6);
  if (b.size() < 6) return false;
  auto up = [](uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 32) : c; };
  return up(b[0]) == 'G' && up(b[1]) == 'I' && up(b[2]) == 'F' && b[3] == '8' &&
         (b[4] == '7' || b[4] == '9') && up(b[5]) == 'A';
}

std::unique_ptr<TGraphic> TpgwGIFGraphicFormat::Decode(std::span<const uint8_t> data) const {
  TGIFImageData d = DecodeGIF(data);
  auto g = std::make_unique<TpgwGIFGraphic>();
  g->SetFrames(std::move(d.strip), d.frameCount, d.transparentColor);
  return g;
}

TColor TpgwGIFGraphicFormat::GetTransparentColor(const TGraphic& graphic) const {
  if (auto* g = dynamic_cast<const TpgwGIFGraphic*>(&graphic)) return g->TransparentColor();
  return clNone;
}

bool TpgwBitmapGraphicFormat::CanLoad(TStream& stream) const {
  const auto b = Peek(stream, 16);
  return b.size() >= 16 && TByteReader(b).U16LE() == 19778;
}

std::unique_ptr<TGraphic> TpgwBitmapGraphicFormat::Decode(std::span<const uint8_t> data) const {
  return DecodeBMP(data, true);
}

TColor TpgwBitmapGraphicFormat::GetTransparentColor(const TGraphic& graphic) const {
  if (auto* b = dynamic_cast<const TBitmap*>(&graphic)) return b->TransparentColor();
  return clNone;
}

// ---- the registry ----

namespace {

struct Registry {
  std::mutex lock;
  std::unique_ptr<std::vector<TpgwGraphicFormatClass>> formats;  // created on first use
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

template <typename Pred>
TpgwGraphicFormatClass FindFirst(TpgwGraphicCapabilities required, Pred pred) {
  for (TpgwGraphicFormatClass f : TpgwGraphicFormats::Formats())
    if (f->HasCapabilities(required) && pred(*f)) return f;
  return nullptr;
}

}  // namespace

void TpgwGraphicFormats::RegisterFormat(TpgwGraphicFormatClass format) {
  if (!format) return;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (!r.formats) r.formats = std::make_unique<std::vector<TpgwGraphicFormatClass>>();
  r.formats->push_back(format);
}

void TpgwGraphicFormats::UnregisterFormat(TpgwGraphicFormatClass format) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (!r.formats) return;
  auto it = std::find(r.formats->begin(), r.formats->end(), format);
  if (it != r.formats->end()) r.formats->erase(it);
  if (r.formats->empty()) r.formats.reset();
}

std::vector<TpgwGraphicFormatClass> TpgwGraphicFormats::Formats() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.formats ? *r.formats : std::vector<TpgwGraphicFormatClass>{};
}

TpgwGraphicFormatClass TpgwGraphicFormats::FindByGraphic(const TGraphic& graphic,
                                                         TpgwGraphicCapabilities required) {
  return FindFirst(required, [&](const TpgwCustomGraphicFormat& f) { return f.IsGraphicClass(graphic); });
}

TpgwGraphicFormatClass TpgwGraphicFormats::FindByName(const WideString& name,
                                                      TpgwGraphicCapabilities required) {
  return FindFirst(required, [&](const TpgwCustomGraphicFormat& f) { return SameText(f.GetName(), name); });
}

TpgwGraphicFormatClass TpgwGraphicFormats::FindByExt(const WideString& ext,
                                                     TpgwGraphicCapabilities required) {
  return FindFirst(required, [&](const TpgwCustomGraphicFormat& f) { return SameText(f.GetExt(), ext); });
}

TpgwGraphicFormatClass TpgwGraphicFormats::FindByConst(int formatNumber, TpgwGraphicCapabilities required) {
  return FindFirst(required, [&](const TpgwCustomGraphicFormat& f) { return f.GetConst() == formatNumber; });
}

TpgwGraphicFormatClass TpgwGraphicFormats::FindByFormat(TStream& stream, TpgwGraphicCapabilities required) {
  return FindFirst(required, [&](const TpgwCustomGraphicFormat& f) { return f.CanLoad(stream); });
}

TpgwGraphicFormatClass TpgwGraphicFormats::GetDefault() {
  return FindByName(u"BMP");
}

bool TpgwGraphicFormats::LoadFromStream(TPicture& picture, TStream& stream) {
  for (TpgwGraphicFormatClass f : Formats()) {
    if (!f->HasCapabilities({gcLoadFrom}) || !f->CanLoad(stream)) continue;
    if (f->LoadFromStream(picture, stream)) return true;
  }
  picture.Clear();
  return false;
}

void TpgwGraphicFormats::Draw(TCanvas& canvas, const TGraphic& graphic, const TRect& rect,
                              TpgwGraphicQuality quality) {
  if (TpgwGraphicFormatClass f = FindByGraphic(graphic)) f->Draw(canvas, graphic, rect, quality);
}

void TpgwGraphicFormats::DrawExt(TCanvas& canvas, const TGraphic& graphic, const TRect& rect,
                                 TpgwGraphicDrawFlags flags, TColor transparentColor,
                                 TpgwGraphicQuality quality) {
  TpgwGraphicFormatClass f = FindByGraphic(graphic);
  if (!f) return;
  if (flags.Contains(fgdDefaultMaskColor))
    f->DrawTransparent(canvas, graphic, rect, f->GetTransparentColor(graphic), quality);
  else if (flags.Contains(fgdTransparent))
    f->DrawTransparent(canvas, graphic, rect, transparentColor, quality);
  else
    f->Draw(canvas, graphic, rect, quality);
}

std::unique_ptr<TGraphic> TpgwGraphicFormats::ScaleGraphicToNew(const TGraphic& graphic, int width,
                                                                int height, TpgwGraphicQuality quality) {
  CheckPictureSize(width, height, kMaxPicturePixels);
  std::unique_ptr<TGraphic> result;
  TCanvas* canvas = nullptr;
  if (TpgwGraphicFormatClass f = FindByGraphic(graphic, {gcGetCanvas})) {
    result = f->CreateNew(width, height, 90, graphic.Transparent(), pf24bit);
    if (auto* j = dynamic_cast<TJPEGImage*>(result.get()); j && dynamic_cast<const TJPEGImage*>(&graphic)) {
      const auto& src = static_cast<const TJPEGImage&>(graphic);
      j->SetCompressionQuality(src.CompressionQuality());
      j->SetPixelFormat(src.PixelFormat());
      j->SetDensity(src.Density());
    }
    canvas = f->GetCanvas(*result);
  }
  if (!canvas) {
    auto bitmap = std::make_unique<TBitmap>();
    const TBitmap* src = RasterBitmap(graphic);
    const bool alpha = src && src->PixelFormat() == pf32bit;
    if (alpha) bitmap->SetPixelFormat(pf32bit);
    bitmap->SetSize(width, height);
    if (alpha) {  // start from transparent pixels
      const std::vector<uint8_t> clear(static_cast<size_t>(width) * 4, 0);
      for (int y = 0; y < height; ++y) bitmap->WriteRowRGBA(y, clear.data());
    }
    canvas = &bitmap->Canvas();
    result = std::move(bitmap);
  }
  TpgwGraphicFormatClass own = FindByGraphic(graphic);
  if (own)
    own->Draw(*canvas, graphic, Rect(0, 0, width, height), quality);
  else
    canvas->StretchDraw(Rect(0, 0, width, height), graphic);
  return result;
}

void TpgwGraphicFormats::ScaleGraphic(TPicture& picture, int width, int height, TpgwGraphicQuality quality) {
  if (!picture.Graphic()) return;
  picture.SetGraphic(ScaleGraphicToNew(*picture.Graphic(), width, height, quality));
}

namespace {

struct PictureClassEntry {
  std::string name;
  TGraphicFactory factory;
  TPictureDataReader reader;
};

struct PictureClassTable {
  std::mutex lock;
  std::vector<PictureClassEntry> classes;
};

PictureClassTable& ThePictureClasses() {
  static PictureClassTable table;
  return table;
}

const PictureClassEntry* FindPictureClassEntry(const std::string& name, PictureClassEntry& found) {
  PictureClassTable& t = ThePictureClasses();
  std::lock_guard<std::mutex> guard(t.lock);
  for (auto it = t.classes.rbegin(); it != t.classes.rend(); ++it)
    if (it->name == name) {
      found = *it;
      return &found;
    }
  return nullptr;
}

template <typename T>
std::unique_ptr<TGraphic> MakeGraphic() {
  return std::make_unique<T>();
}

std::vector<uint8_t> ToVector(std::span<const uint8_t> bytes) {
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// ---- the data of each picture class in a picture record ----

// A 32-bit length, then that many bytes of a BMP file; 0 is an empty bitmap.
void ReadBitmapData(TPicture& picture, TByteReader& r) {
  const uint32_t n = r.U32LE();
  if (n == 0) {
    picture.SetGraphic(std::make_unique<TBitmap>());
    return;
  }
  const auto bytes = r.Bytes(n);
  picture.SetGraphic(DecodeBMP(bytes, true), ToVector(bytes));
}

// A 32-bit length that counts itself, then an enhanced or a placeable Windows metafile.
void ReadMetafileData(TPicture& picture, TByteReader& r) {
  const uint32_t n = r.U32LE();
  if (n <= 4) {
    picture.Clear();
    return;
  }
  const auto bytes = r.Bytes(n - 4);
  auto m = std::make_unique<TMetafile>();
  if (bytes.size() >= 108 && std::memcmp(bytes.data() + 40, " EMF", 4) == 0)
    PlayEnhancedMetafile(bytes, *m);
  else
    PlayWindowsMetafile(bytes, *m);
  picture.SetGraphic(std::move(m), ToVector(bytes));
}

// An icon file without a length: it ends with the last byte its directory points at.
void ReadIconData(TPicture& picture, TByteReader& r) {
  const size_t start = r.Position();
  TByteReader head = r.Sub(start, r.Remaining());
  if (head.U16LE() != 0 || head.U16LE() >= 2) throw EInvalidGraphic("Invalid icon");
  const uint16_t count = head.U16LE();
  if (count == 0) throw EInvalidGraphic("Invalid icon");
  uint64_t end = 6 + uint64_t{count} * 16;
  for (uint16_t i = 0; i < count; ++i) {
    head.Skip(8);
    const uint32_t size = head.U32LE();
    const uint32_t offset = head.U32LE();
    end = std::max<uint64_t>(end, uint64_t{offset} + size);
  }
  if (end > r.Remaining()) throw EInvalidGraphic("Icon data cut short");
  const auto bytes = r.Bytes(static_cast<size_t>(end));
  picture.SetGraphic(std::make_unique<TIcon>(DecodeICO(bytes)), ToVector(bytes));
}

// A 32-bit length, then a JPEG file; 0 is an empty JPEG picture.
void ReadJPEGData(TPicture& picture, TByteReader& r) {
  const uint32_t n = r.U32LE();
  auto j = std::make_unique<TJPEGImage>();
  if (n == 0) {
    picture.SetGraphic(std::move(j));
    return;
  }
  const auto bytes = r.Bytes(n);
  j->LoadFromBytes(bytes);
  picture.SetGraphic(std::move(j), ToVector(bytes));
}

// A PNG file without a length: it ends after its IEND chunk.
void ReadPNGData(TPicture& picture, TByteReader& r) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  TByteReader walk = r.Sub(r.Position(), r.Remaining());
  if (std::memcmp(walk.Bytes(8).data(), kSignature, 8) != 0) throw EInvalidGraphic("Invalid PNG");
  for (;;) {
    const uint32_t length = walk.U32BE();
    const std::string_view type = walk.Chars(4);
    walk.Skip(length);
    walk.Skip(4);  // CRC
    if (type == "IEND") break;
  }
  const auto bytes = r.Bytes(walk.Position());
  picture.SetGraphic(std::make_unique<TPngImage>(DecodePNG(bytes)), ToVector(bytes));
}

// A 32-bit length, then a GIF file; 0 is an empty GIF picture.
void ReadGIFData(TPicture& picture, TByteReader& r) {
  const uint32_t n = r.U32LE();
  auto g = std::make_unique<TpgwGIFGraphic>();
  if (n == 0) {
    picture.SetGraphic(std::move(g));
    return;
  }
  const auto bytes = r.Bytes(n);
  TGIFImageData d = DecodeGIF(bytes);
  g->SetFrames(std::move(d.strip), d.frameCount, d.transparentColor);
  picture.SetGraphic(std::move(g), ToVector(bytes));
}

// Any format the handlers recognise, up to the end of the record.
void ReadAnyImageData(TPicture& picture, TByteReader& r) {
  const auto bytes = r.Bytes(r.Remaining());
  TMemoryStream stream;
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(0);
  if (!TpgwGraphicFormats::LoadFromStream(picture, stream)) throw EInvalidGraphic("Unknown picture format");
}

void WriteU32(TStream& s, uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 24)};
  s.WriteBuffer(b, 4);
}

void WriteClassName(TStream& s, std::string_view name) {
  const uint8_t n = static_cast<uint8_t>(name.size());
  s.WriteBuffer(&n, 1);
  if (n) s.WriteBuffer(name);
}

void WriteBytes(TStream& s, std::span<const uint8_t> bytes) {
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// The kept file bytes, or what `encode` writes.
template <typename Encode>
std::vector<uint8_t> Encoded(const std::vector<uint8_t>& kept, Encode encode) {
  if (!kept.empty()) return kept;
  TMemoryStream m;
  encode(m);
  return std::vector<uint8_t>(m.Bytes().begin(), m.Bytes().end());
}

// An icon file with one PNG entry.
void EncodeICOWithPNG(const TBitmap& bitmap, TStream& s) {
  TMemoryStream png;
  EncodePNG(bitmap, png);
  const uint8_t head[6] = {0, 0, 1, 0, 1, 0};
  s.WriteBuffer(head, 6);
  const uint8_t size[4] = {static_cast<uint8_t>(bitmap.Width() >= 256 ? 0 : bitmap.Width()),
                           static_cast<uint8_t>(bitmap.Height() >= 256 ? 0 : bitmap.Height()), 0, 0};
  s.WriteBuffer(size, 4);
  const uint8_t planesAndBits[4] = {1, 0, 32, 0};
  s.WriteBuffer(planesAndBits, 4);
  WriteU32(s, static_cast<uint32_t>(png.Size()));
  WriteU32(s, 22);
  WriteBytes(s, png.Bytes());
}

}  // namespace

void RegisterPictureClass(const std::string& name, TGraphicFactory factory, TPictureDataReader reader) {
  PictureClassTable& t = ThePictureClasses();
  std::lock_guard<std::mutex> guard(t.lock);
  t.classes.push_back(PictureClassEntry{name, factory, reader});
}

TGraphicFactory FindPictureClass(const std::string& name) {
  PictureClassEntry found;
  return FindPictureClassEntry(name, found) ? found.factory : nullptr;
}

// ---- the picture container ----

const TClassInfo& TPicture::StaticClassInfo() {
  static const TClassInfo& info = Describe<TPicture>("TPicture").Parent<TPersistent>().Build();
  return info;
}
const TClassInfo& TPicture::ClassInfo() const {
  return StaticClassInfo();
}

void TPicture::DoChange() {
  if (OnChange) OnChange();
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
  FGraphic = std::move(graphic);
  FEncoded.clear();
  FUndecoded.clear();
  DoChange();
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic, std::vector<uint8_t> encoded) {
  FGraphic = std::move(graphic);
  FUndecoded.clear();
  FEncoded = FGraphic ? std::move(encoded) : std::vector<uint8_t>{};
  DoChange();
}

std::unique_ptr<TGraphic> TPicture::ReleaseGraphic() {
  std::unique_ptr<TGraphic> g = std::move(FGraphic);
  FUndecoded.clear();
  FEncoded.clear();
  DoChange();
  return g;
}

void TPicture::Clear() {
  FGraphic.reset();
  FEncoded.clear();
  FUndecoded.clear();
  DoChange();
}

void TPicture::Changed() {
  FEncoded.clear();
  DoChange();
}

void TPicture::Assign(const TPersistent& source) {
  auto* other = dynamic_cast<const TPicture*>(&source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  FGraphic = other->FGraphic ? other->FGraphic->Clone() : nullptr;
  FEncoded = other->FEncoded;
  FUndecoded = other->FUndecoded;
  DoChange();
}

void TPicture::DefineProperties(TFiler& filer) {
  filer.DefineBinaryProperty(
      "Data",
      [this](TStream& s) {
        if (!ReadRecord(s) && Undecodable())
          throw EDataKept("the picture could not be decoded; its " + std::to_string(FUndecoded.size()) +
                          " bytes are kept as they were");
      },
      [this](TStream& s) { WriteRecord(s); }, FGraphic != nullptr || !FUndecoded.empty());
}

TPicture::TFile TPicture::FileOf() const {
  if (!FGraphic) return {};
  const TGraphic& g = *FGraphic;
  if (auto* j = dynamic_cast<const TJPEGImage*>(&g)) {
    if (j->Empty()) return {"TJPEGImage", {}};
    return {"TJPEGImage", Encoded(FEncoded, [&](TStream& m) { j->SaveToStream(m); })};
  }
  if (auto* gif = dynamic_cast<const TpgwGIFGraphic*>(&g); gif && (gif->Empty() || !FEncoded.empty()))
    return {"TpgwGIFGraphic", gif->Empty() ? std::vector<uint8_t>{} : FEncoded};
  if (auto* b = dynamic_cast<const TBitmap*>(&g)) {
    if (b->Empty()) return {"TBitmap", {}};
    return {"TBitmap", Encoded(FEncoded, [&](TStream& m) { EncodeBMP(*b, m); })};
  }
  if (auto* m = dynamic_cast<const TMetafile*>(&g); m && (m->Empty() || !FEncoded.empty()))
    return {"TMetafile", m->Empty() ? std::vector<uint8_t>{} : FEncoded};
  if (g.Empty()) return {};  // nothing to write for the classes without a length of their own
  if (auto* i = dynamic_cast<const TIcon*>(&g))
    return {"TIcon", Encoded(FEncoded, [&](TStream& m) { EncodeICOWithPNG(i->Bitmap(), m); })};
  // PNG pictures, and what has no encoder of its own: recorded metafiles and GIFs made in
  // memory keep their look as a PNG picture.
  if (dynamic_cast<const TPngImage*>(&g) && !FEncoded.empty()) return {"TPngImage", FEncoded};
  return {"TPngImage", Encoded({}, [&](TStream& m) {
            if (auto* r = dynamic_cast<const TpgwRasterGraphic*>(&g)) {
              EncodePNG(r->Bitmap(), m);
            } else {
              TBitmap bitmap(g.Width(), g.Height());
              bitmap.Canvas().StretchDraw(Rect(0, 0, g.Width(), g.Height()), g);
              EncodePNG(bitmap, m);
            }
          })};
}

void TPicture::WriteRecord(TStream& s) const {
  if (Undecodable()) {
    WriteBytes(s, FUndecoded);
    return;
  }
  const TFile file = FileOf();
  WriteClassName(s, file.ClassName);
  // These classes' data begin with their length (a metafile's counts the length field too).
  if (file.ClassName == "TJPEGImage" || file.ClassName == "TpgwGIFGraphic" || file.ClassName == "TBitmap")
    WriteU32(s, static_cast<uint32_t>(file.Bytes.size()));
  else if (file.ClassName == "TMetafile")
    WriteU32(s, static_cast<uint32_t>(file.Bytes.size() + 4));
  WriteBytes(s, file.Bytes);
}

void TPicture::WriteFile(TStream& s) const {
  if (!Empty()) WriteBytes(s, FileOf().Bytes);
}

bool TPicture::ReadRecord(TStream& stream) {
  const int64_t start = stream.Position();
  TPicture read;  // built aside, so that OnChange sees one change
  bool ok = false;
  size_t used = 0;
  std::string bytes;
  try {
    bytes = stream.ReadToEnd();
    TByteReader r(bytes);
    const uint8_t n = r.U8();
    const std::string name(r.Chars(n));
    PictureClassEntry entry;
    if (!name.empty() && FindPictureClassEntry(name, entry)) {
      if (entry.reader)
        entry.reader(read, r);
      else
        ReadAnyImageData(read, r);
      ok = true;
    }
    used = r.Position();
  } catch (const std::exception&) {
    // A broken record leaves the picture empty.
    read.FGraphic.reset();
    read.FEncoded.clear();
    ok = false;
    used = bytes.size();
  }
  stream.SetPosition(start + static_cast<int64_t>(used));
  FGraphic = std::move(read.FGraphic);
  FEncoded = std::move(read.FEncoded);
  // A record of a class we do not know, or whose data we cannot decode, is kept whole, so that
  // writing the picture back loses nothing. An empty class name is an empty picture.
  FUndecoded.clear();
  if (!ok && !bytes.empty() && bytes[0] != 0) FUndecoded.assign(bytes.begin(), bytes.end());
  DoChange();
  return ok;
}

void RegisterGraphicFormats() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Recognition is tried in this order.
    TpgwGraphicFormats::RegisterFormat(&TpgwWMFGraphicFormat::Class());
    TpgwGraphicFormats::RegisterFormat(&TpgwEMFGraphicFormat::Class());
    TpgwGraphicFormats::RegisterFormat(&TpgwPWEMFGraphicFormat::Class());
    TpgwGraphicFormats::RegisterFormat(&TpgwICOGraphicFormat::Class());
    TpgwGraphicFormats::RegisterFormat(&TpgwJPEGPictureFormat::Class());
    TpgwGraphicFormats::RegisterFormat(&TpgwPNGGraphicFormat::Class());
    TpgwGraphicFormats::RegisterFormat(&TpgwGIFGraphicFormat::Class());
    TpgwGraphicFormats::RegisterFormat(&TpgwBitmapGraphicFormat::Class());
    RegisterPictureClass("TBitmap", MakeGraphic<TBitmap>, ReadBitmapData);
    RegisterPictureClass("TMetafile", MakeGraphic<TMetafile>, ReadMetafileData);
    RegisterPictureClass("TIcon", MakeGraphic<TIcon>, ReadIconData);
    RegisterPictureClass("TJPEGImage", MakeGraphic<TJPEGImage>, ReadJPEGData);
    RegisterPictureClass("TPngImage", MakeGraphic<TPngImage>, ReadPNGData);
    // The older name of PNG pictures, so that pictures stored under it still load.
    RegisterPictureClass("TPNGObject", MakeGraphic<TPngImage>, ReadPNGData);
    RegisterPictureClass("TpgwGIFGraphic", MakeGraphic<TpgwGIFGraphic>, ReadGIFData);
    // Pictures of the imaging component: a file of any format the handlers read.
    RegisterPictureClass("TWICImage", MakeGraphic<TBitmap>);
  });
}

}  // namespace pagewright
