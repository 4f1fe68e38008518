// Picture formats: the picture container, the raster and vector picture classes the codecs
// fill, and the registry of format handlers that recognises a picture from its first bytes,
// loads it, names its format and draws it with the requested quality and transparency.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/types.h"
#include "render/bitmap.h"
#include "render/canvas.h"
#include "render/metafile.h"

namespace pagewright {

PW_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
PW_DECLARE_EXCEPTION(EAbstractGraphicFormatException, Exception)

// Largest picture the decoders accept, in pixels; each decoder further checks the declared
// size against what its data can hold.
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 25;
inline constexpr int kMaxPictureSide = 32768;

// A raster picture held as a bitmap (24-bit, or 32-bit when it has an alpha channel).
class TpgwRasterGraphic : public TGraphic {
 public:
  TpgwRasterGraphic();
  explicit TpgwRasterGraphic(std::unique_ptr<TBitmap> bitmap);
  int Width() const override { return FBitmap->Width(); }
  int Height() const override { return FBitmap->Height(); }
  // Opaque pixels are copied; alpha is blended; with Transparent set, pixels of the mask colour
  // (MaskColor, or the bottom-left pixel when that is no colour) are left out.
  void Draw(TCanvas& canvas, const TRect& rect) const override;
  const TBitmap& Bitmap() const { return *FBitmap; }
  TBitmap& Bitmap() { return *FBitmap; }
  void SetBitmap(std::unique_ptr<TBitmap> bitmap);
  bool HasAlpha() const { return FBitmap->PixelFormat() == pf32bit; }
  // The colour left out by transparent drawing; clNone: the bottom-left pixel.
  TColor MaskColor() const { return FMaskColor; }
  void SetMaskColor(TColor c) { FMaskColor = c; }

 protected:
  void CopyFrom(const TpgwRasterGraphic& other);
  std::unique_ptr<TBitmap> FBitmap;
  TColor FMaskColor = clNone;
};

enum TJPEGPixelFormat : uint8_t { jf24Bit, jf8Bit };

// A JPEG picture: decoded pixels, and the quality and density it is written with.
class TJPEGImage : public TpgwRasterGraphic {
 public:
  TJPEGImage() = default;
  std::unique_ptr<TGraphic> Clone() const override;
  int CompressionQuality() const { return FQuality; }
  void SetCompressionQuality(int q) { FQuality = q < 1 ? 1 : q > 100 ? 100 : q; }
  TJPEGPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TJPEGPixelFormat f) { FPixelFormat = f; }
  // Dots per inch written into the JFIF header.
  int Density() const { return FDensity; }
  void SetDensity(int dpi) { FDensity = dpi > 0 && dpi < 65536 ? dpi : 96; }
  // Takes the pixels of a bitmap (alpha laid over white) or of another JPEG picture; any other
  // picture raises EConvertError.
  void Assign(const TGraphic& source);
  TCanvas& Canvas() { return FBitmap->Canvas(); }
  void LoadFromBytes(std::span<const uint8_t> data);
  // Baseline JPEG at CompressionQuality, grey for jf8Bit.
  void SaveToStream(TStream& stream) const;

 private:
  int FQuality = 90;
  TJPEGPixelFormat FPixelFormat = jf24Bit;
  int FDensity = 96;
};

class TPngImage : public TpgwRasterGraphic {
 public:
  using TpgwRasterGraphic::TpgwRasterGraphic;
  std::unique_ptr<TGraphic> Clone() const override;
};

class TIcon : public TpgwRasterGraphic {
 public:
  using TpgwRasterGraphic::TpgwRasterGraphic;
  std::unique_ptr<TGraphic> Clone() const override;
};

// A GIF picture: every frame decoded, side by side, into one strip; the first frame is what
// is drawn and measured.
class TpgwGIFGraphic : public TpgwRasterGraphic {
 public:
  TpgwGIFGraphic() = default;
  std::unique_ptr<TGraphic> Clone() const override;
  int FrameCount() const { return FFrameCount; }
  // All frames, frame i at x = i × Width.
  const TBitmap& Strip() const { return *FStrip; }
  void SetFrames(std::unique_ptr<TBitmap> strip, int frameCount, TColor transparentColor);
  // The colour of the transparent index, or clNone.
  TColor TransparentColor() const { return FTransparentColor; }

 private:
  std::unique_ptr<TBitmap> FStrip = std::make_unique<TBitmap>();
  int FFrameCount = 0;
  TColor FTransparentColor = clNone;
};

// The engine's own enhanced-metafile picture: a recording played from an EMF stream.
class TpgwEMFMetafile : public TMetafile {
 public:
  using TMetafile::TMetafile;
  std::unique_ptr<TGraphic> Clone() const override;
};

// A holder of one picture of any class. Templates store it as the binary property "Data":
// the picture record, an 8-bit length and the picture class name in UTF-8, then the class's
// own data (see WriteRecord).
//
// A picture decoded from bytes keeps those bytes, so that writing it reproduces them (no
// second JPEG compression, metafiles and GIFs stay as they were). Code that changes the
// graphic in place through Graphic() calls Changed() afterwards, which forgets them.
class TPicture : public TPersistent {
 public:
  TPicture() = default;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  // Copies the graphic (and its bytes) of another picture; OnChange is not copied.
  void Assign(const TPersistent& source) override;
  // "Data": the picture record, written whenever there is a graphic.
  void DefineProperties(TFiler& filer) override;

  TGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> graphic);
  // The graphic together with the encoded file it was decoded from.
  void SetGraphic(std::unique_ptr<TGraphic> graphic, std::vector<uint8_t> encoded);
  std::unique_ptr<TGraphic> ReleaseGraphic();
  void Clear();
  bool Empty() const { return !FGraphic || FGraphic->Empty(); }
  // A picture record that could not be decoded: its bytes are kept and written back unchanged.
  bool Undecodable() const { return !FGraphic && !FUndecoded.empty(); }
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }
  // The bytes the graphic was decoded from; empty when it was made or changed in memory.
  const std::vector<uint8_t>& EncodedData() const { return FEncoded; }
  // After a change of the graphic in place: the kept bytes no longer describe it.
  void Changed();

  // The picture record of the current graphic. An empty picture has an empty class name; a
  // picture class without an encoder of its own (a recorded metafile, a GIF made in memory)
  // is written as a PNG picture.
  void WriteRecord(TStream& stream) const;
  // Reads a picture record from the stream's position. An unknown or empty class name, or
  // data that is broken or cut short, leaves the picture empty and gives false; bytes after
  // the class's data are not read.
  bool ReadRecord(TStream& stream);
  // The picture as a file of its own format (PNG, JPEG, BMP, GIF, WMF/EMF, ICO; what has no
  // encoder of its own as PNG), the bytes it was read from when it has them; nothing when empty.
  void WriteFile(TStream& stream) const;

  // Called after every change of the graphic.
  std::function<void()> OnChange;

 private:
  struct TFile {
    std::string_view ClassName;  // as a picture record names it; empty for nothing to write
    std::vector<uint8_t> Bytes;
  };
  TFile FileOf() const;
  void DoChange();
  std::unique_ptr<TGraphic> FGraphic;
  std::vector<uint8_t> FEncoded;
  std::vector<uint8_t> FUndecoded;
};

// The class name a picture reports ("TBitmap", "TJPEGImage" ...).
std::string GraphicClassName(const TGraphic& graphic);

enum TpgwGraphicCapability : uint8_t {
  gcSaveTo,
  gcLoadFrom,
  gcGetCanvas,
  gcDraw,
  gcConvert,
  gcConvertToBitmap
};
using TpgwGraphicCapabilities = Set<TpgwGraphicCapability>;

enum TpgwGraphicQuality : uint8_t { gqDefault, gqFast, gqHiQuality, gqPrint };

// Drawing options of a picture object, bit order as stored.
enum TpgwGraphicDrawFlag : uint8_t {
  fgdAutoSize,
  fgdCenter,
  fgdKeepAspectRatio,
  fgdStretch,
  fgdTransparent,
  fgdClip,
  fgdDefaultMaskColor,
  fgdHiQuality
};
using TpgwGraphicDrawFlags = Set<TpgwGraphicDrawFlag>;

// A picture-format handler. Handlers are classes: each has one immutable class object (its
// Class()), which the registry holds and asks through these class-level operations.
class TpgwCustomGraphicFormat {
 public:
  TpgwCustomGraphicFormat() = default;
  TpgwCustomGraphicFormat(const TpgwCustomGraphicFormat&) = delete;
  TpgwCustomGraphicFormat& operator=(const TpgwCustomGraphicFormat&) = delete;
  virtual ~TpgwCustomGraphicFormat() = default;

  virtual const char* ClassName() const { return "TpgwCustomGraphicFormat"; }
  virtual WideString GetName() const { RaiseAbstract("GetName"); }
  virtual WideString GetExt() const { RaiseAbstract("GetExt"); }
  virtual WideString GetMimeType() const { RaiseAbstract("GetMimeType"); }
  virtual int GetConst() const { RaiseAbstract("GetConst"); }
  virtual TpgwGraphicCapabilities GetCapabilities() const { return {gcLoadFrom, gcDraw, gcConvertToBitmap}; }
  // The picture class: true when the picture is of it or of a class derived from it.
  virtual bool IsGraphicClass(const TGraphic& graphic) const { RaiseAbstract("GetGraphicClass"); }
  virtual bool IsVector() const { return false; }
  bool HasCapabilities(TpgwGraphicCapabilities required) const {
    return (GetCapabilities() * required) == required;
  }

  // Whether the stream, from its position, holds this format; the position is kept.
  virtual bool CanLoad(TStream& stream) const { RaiseAbstract("CanLoad"); }
  // Loads the picture from the stream's position; false (picture untouched) when it cannot.
  virtual bool LoadFromStream(TPicture& picture, TStream& stream) const;
  virtual void SaveToStream(const TGraphic& graphic, TStream& stream) const { RaiseAbstract("SaveToStream"); }
  virtual std::unique_ptr<TGraphic> CreateNew(int width, int height, int quality, bool transparent,
                                              TPixelFormat pixelFormat) const {
    RaiseAbstract("CreateNew");
  }
  // A new picture of this format holding the given one; the caller owns it.
  virtual std::unique_ptr<TGraphic> ConvertFrom(const TGraphic& graphic, TPixelFormat pixelFormat,
                                                int quality) const;
  virtual TCanvas* GetCanvas(TGraphic& graphic) const { RaiseAbstract("GetCanvas"); }

  virtual bool HasAlphaChannel(const TGraphic& graphic) const;
  // The colour this format leaves out when drawing the picture transparently, or clNone.
  virtual TColor GetTransparentColor(const TGraphic& graphic) const;
  // Opaque drawing: stretched, or smoothly resampled at gqHiQuality and gqPrint for rasters.
  virtual void Draw(TCanvas& canvas, const TGraphic& graphic, const TRect& rect,
                    TpgwGraphicQuality quality) const;
  virtual void DrawTransparent(TCanvas& canvas, const TGraphic& graphic, const TRect& rect, TColor maskColor,
                               TpgwGraphicQuality quality) const;

 protected:
  // Reads what is left of the stream (at most the cap), for decoders working on bytes.
  static std::vector<uint8_t> ReadRest(TStream& stream);
  // Peeks at up to n bytes from the position without moving it.
  static std::vector<uint8_t> Peek(TStream& stream, size_t n);
  // Decodes the bytes into a new picture; raises on bad data.
  virtual std::unique_ptr<TGraphic> Decode(std::span<const uint8_t> data) const {
    RaiseAbstract("LoadFromStream");
  }

 private:
  [[noreturn]] void RaiseAbstract(const char* operation) const;
};

#define PW_GRAPHIC_FORMAT_CLASS(Name)      \
  const char* ClassName() const override { \
    return #Name;                          \
  }                                        \
  static const Name& Class() {             \
    static const Name instance;            \
    return instance;                       \
  }

class TpgwWMFGraphicFormat : public TpgwCustomGraphicFormat {
 public:
  PW_GRAPHIC_FORMAT_CLASS(TpgwWMFGraphicFormat)
  WideString GetName() const override { return u"WMF"; }
  WideString GetExt() const override { return u".wmf"; }
  WideString GetMimeType() const override { return u"image/metafile"; }
  int GetConst() const override { return 1; }
  bool IsGraphicClass(const TGraphic& g) const override { return dynamic_cast<const TMetafile*>(&g); }
  bool IsVector() const override { return true; }
  bool CanLoad(TStream& stream) const override;

 protected:
  std::unique_ptr<TGraphic> Decode(std::span<const uint8_t> data) const override;
};

class TpgwEMFGraphicFormat : public TpgwCustomGraphicFormat {
 public:
  PW_GRAPHIC_FORMAT_CLASS(TpgwEMFGraphicFormat)
  WideString GetName() const override { return u"EMF"; }
  WideString GetExt() const override { return u".emf"; }
  WideString GetMimeType() const override { return u"image/metafile"; }
  int GetConst() const override { return 2; }
  bool IsGraphicClass(const TGraphic& g) const override { return dynamic_cast<const TMetafile*>(&g); }
  bool IsVector() const override { return true; }
  bool CanLoad(TStream& stream) const override;

 protected:
  std::unique_ptr<TGraphic> Decode(std::span<const uint8_t> data) const override;
};

class TpgwPWEMFGraphicFormat : public TpgwEMFGraphicFormat {
 public:
  PW_GRAPHIC_FORMAT_CLASS(TpgwPWEMFGraphicFormat)
  WideString GetName() const override { return u"PWEMF"; }
  bool IsGraphicClass(const TGraphic& g) const override { return dynamic_cast<const TpgwEMFMetafile*>(&g); }

 protected:
  std::unique_ptr<TGraphic> Decode(std::span<const uint8_t> data) const override;
};

class TpgwICOGraphicFormat : public TpgwCustomGraphicFormat {
 public:
  PW_GRAPHIC_FORMAT_CLASS(TpgwICOGraphicFormat)
  WideString GetName() const override { return u"ICO"; }
  WideString GetExt() const override { return u".ico"; }
  WideString GetMimeType() const override { return u"image/vnd.microsoft.icon"; }
  int GetConst() const override { return 3; }
  bool IsGraphicClass(const TGraphic& g) const override { return dynamic_cast<const TIcon*>(&g); }
  bool CanLoad(TStream& stream) const override;

 protected:
  std::unique_ptr<TGraphic> Decode(std::span<const uint8_t> data) const override;
};

class TpgwJPEGPictureFormat : public TpgwCustomGraphicFormat {
 public:
  PW_GRAPHIC_FORMAT_CLASS(TpgwJPEGPictureFormat)
  WideString GetName() const override { return u"JPG"; }
  WideString GetExt() const override { return u".jpg"; }
  WideString GetMimeType() const override { return u"image/jpeg"; }
  int GetConst() const override { return 4; }
  TpgwGraphicCapabilities GetCapabilities() const override {
    return TpgwCustomGraphicFormat::GetCapabilities() +
           TpgwGraphicCapabilities{gcSaveTo, gcGetCanvas, gcConvert};
  }
  bool IsGraphicClass(const TGraphic& g) const override { return dynamic_cast<const TJPEGImage*>(&g); }
  bool CanLoad(TStream& stream) const override;
  void SaveToStream(const TGraphic& graphic, TStream& stream) const override;
  // A bitmap encoded in colour at the quality (1..100) with a JFIF density of dpi, the same
  // bytes as through a JPEG picture of it, without the copy of the pixels that picture takes.
  void SaveBitmap(const TBitmap& bitmap, int quality, int dpi, TStream& stream) const;
  // A JPEG picture of the pixel format (pf1bit: grey) and compression quality; width and
  // height both non-zero give it a blank (white) bitmap of that size.
  std::unique_ptr<TGraphic> CreateNew(int width, int height, int quality, bool transparent,
                                      TPixelFormat pixelFormat) const override;
  TCanvas* GetCanvas(TGraphic& graphic) const override;

 protected:
  std::unique_ptr<TGraphic> Decode(std::span<const uint8_t> data) const override;
};

class TpgwPNGGraphicFormat : public TpgwCustomGraphicFormat {
 public:
  PW_GRAPHIC_FORMAT_CLASS(TpgwPNGGraphicFormat)
  WideString GetName() const override { return u"PNG"; }
  WideString GetExt() const override { return u".png"; }
  WideString GetMimeType() const override { return u"image/png"; }
  int GetConst() const override { return 5; }
  bool IsGraphicClass(const TGraphic& g) const override { return dynamic_cast<const TPngImage*>(&g); }
  bool CanLoad(TStream& stream) const override;

 protected:
  std::unique_ptr<TGraphic> Decode(std::span<const uint8_t> data) const override;
};

class TpgwGIFGraphicFormat : public TpgwCustomGraphicFormat {
 public:
  PW_GRAPHIC_FORMAT_CLASS(TpgwGIFGraphicFormat)
  WideString GetName() const override { return u"GIF"; }
  WideString GetExt() const override { return u".gif"; }
  WideString GetMimeType() const override { return u"image/gif"; }
  int GetConst() const override { return 7; }
  bool IsGraphicClass(const TGraphic& g) const override { return dynamic_cast<const TpgwGIFGraphic*>(&g); }
  bool CanLoad(TStream& stream) const override;
  TColor GetTransparentColor(const TGraphic& graphic) const override;

 protected:
  std::unique_ptr<TGraphic> Decode(std::span<const uint8_t> data) const override;
};

class TpgwBitmapGraphicFormat : public TpgwCustomGraphicFormat {
 public:
  PW_GRAPHIC_FORMAT_CLASS(TpgwBitmapGraphicFormat)
  WideString GetName() const override { return u"BMP"; }
  WideString GetExt() const override { return u".bmp"; }
  WideString GetMimeType() const override { return u"image/bitmap"; }
  int GetConst() const override { return 0; }
  bool IsGraphicClass(const TGraphic& g) const override { return dynamic_cast<const TBitmap*>(&g); }
  bool CanLoad(TStream& stream) const override;
  TColor GetTransparentColor(const TGraphic& graphic) const override;

 protected:
  std::unique_ptr<TGraphic> Decode(std::span<const uint8_t> data) const override;
};

using TpgwGraphicFormatClass = const TpgwCustomGraphicFormat*;

// The process-wide registry of handler classes, in registration (= recognition) order.
class TpgwGraphicFormats {
 public:
  static void RegisterFormat(TpgwGraphicFormatClass format);
  static void UnregisterFormat(TpgwGraphicFormatClass format);
  static std::vector<TpgwGraphicFormatClass> Formats();

  static TpgwGraphicFormatClass FindByGraphic(const TGraphic& graphic, TpgwGraphicCapabilities required = {});
  static TpgwGraphicFormatClass FindByName(const WideString& name, TpgwGraphicCapabilities required = {});
  static TpgwGraphicFormatClass FindByExt(const WideString& ext, TpgwGraphicCapabilities required = {});
  static TpgwGraphicFormatClass FindByConst(int formatNumber, TpgwGraphicCapabilities required = {});
  static TpgwGraphicFormatClass FindByFormat(TStream& stream, TpgwGraphicCapabilities required = {});
  // The handler for pictures without one of their own: "BMP".
  static TpgwGraphicFormatClass GetDefault();

  // Loads the picture from the stream's position; false, with the picture empty, when no
  // handler recognises and loads it.
  static bool LoadFromStream(TPicture& picture, TStream& stream);
  // Opaque drawing through the picture's handler; nothing when it has none.
  static void Draw(TCanvas& canvas, const TGraphic& graphic, const TRect& rect,
                   TpgwGraphicQuality quality = gqDefault);
  // Drawing with a picture object's flags: the picture's own mask colour
  // (fgdDefaultMaskColor), the given transparent colour (fgdTransparent), or opaque.
  static void DrawExt(TCanvas& canvas, const TGraphic& graphic, const TRect& rect, TpgwGraphicDrawFlags flags,
                      TColor transparentColor, TpgwGraphicQuality quality);
  // A copy resampled to the size: a picture of the same class when its handler offers a canvas,
  // else a bitmap (32-bit when the source has alpha).
  static std::unique_ptr<TGraphic> ScaleGraphicToNew(const TGraphic& graphic, int width, int height,
                                                     TpgwGraphicQuality quality = gqHiQuality);
  static void ScaleGraphic(TPicture& picture, int width, int height,
                           TpgwGraphicQuality quality = gqHiQuality);
};

// The picture class table: the class names under which stored pictures name their class, each
// with a factory of an empty picture and the reader of the class's data in a picture record
// (the data from the reader's position; bytes after it are left unread; raises on broken
// data). Names match exactly (letter case counts), the most recently registered first.
using TGraphicFactory = std::unique_ptr<TGraphic> (*)();
using TPictureDataReader = void (*)(TPicture& picture, TByteReader& data);
// Without a reader the class's data is taken as a file of any known format, up to the end.
void RegisterPictureClass(const std::string& name, TGraphicFactory factory,
                          TPictureDataReader reader = nullptr);
TGraphicFactory FindPictureClass(const std::string& name);

// Registers the built-in handlers in recognition order, and the picture classes (once; later
// calls do nothing).
void RegisterGraphicFormats();

}  // namespace pagewright
