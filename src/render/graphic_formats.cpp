#include "render/graphic_formats.h"

#include <algorithm>
#include <cstring>
#include <mutex>

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
    const std::vector<uint8_t> bytes = ReadRest(stream);
    auto graphic = Decode(bytes);
    if (!graphic || graphic->Empty()) throw EInvalidGraphic("Picture is empty");
    picture.SetGraphic(std::move(graphic));
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

struct PictureClassTable {
  std::mutex lock;
  std::vector<std::pair<std::string, TGraphicFactory>> classes;
};

PictureClassTable& ThePictureClasses() {
  static PictureClassTable table;
  return table;
}

template <typename T>
std::unique_ptr<TGraphic> MakeGraphic() {
  return std::make_unique<T>();
}

}  // namespace

void RegisterPictureClass(const std::string& name, TGraphicFactory factory) {
  PictureClassTable& t = ThePictureClasses();
  std::lock_guard<std::mutex> guard(t.lock);
  t.classes.emplace_back(name, factory);
}

TGraphicFactory FindPictureClass(const std::string& name) {
  PictureClassTable& t = ThePictureClasses();
  std::lock_guard<std::mutex> guard(t.lock);
  for (auto it = t.classes.rbegin(); it != t.classes.rend(); ++it)
    if (it->first == name) return it->second;
  return nullptr;
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
    RegisterPictureClass("TBitmap", MakeGraphic<TBitmap>);
    RegisterPictureClass("TMetafile", MakeGraphic<TMetafile>);
    RegisterPictureClass("TIcon", MakeGraphic<TIcon>);
    RegisterPictureClass("TJPEGImage", MakeGraphic<TJPEGImage>);
    RegisterPictureClass("TPngImage", MakeGraphic<TPngImage>);
    // The older name of PNG pictures, so that pictures stored under it still load.
    RegisterPictureClass("TPNGObject", MakeGraphic<TPngImage>);
    RegisterPictureClass("TpgwGIFGraphic", MakeGraphic<TpgwGIFGraphic>);
  });
}

}  // namespace pagewright
