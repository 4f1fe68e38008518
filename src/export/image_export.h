// The raster export filters: the general image export, which paints each prepared page into a
// bitmap at the export resolution (every view draws itself, scaled) and writes the bitmap as an
// image file, and the JPEG filter. A page image too large for one bitmap is drawn in strips
// instead, when the format can be written a row at a time: each strip is a bitmap as wide as the
// page, every view of the page is drawn into it shifted up by the strip's top, and its rows go to
// the encoder before the next strip is drawn. The pixels are those of the whole-page bitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/export_filter.h"
#include "platform/exceptions.h"
#include "platform/types.h"

namespace pagewright {

class TBitmap;
class TCanvas;
class TRowEncoder;
class TpgwCustomGraphicFormat;
class TpgwView;

class TpgwCustomImageExport : public TpgwBaseDialogExportFilter {
 public:
  explicit TpgwCustomImageExport(TComponent* owner = nullptr);
  ~TpgwCustomImageExport() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // --- protocol -----------------------------------------------------------------------------------
  // Looks up the picture format (raises "Picture format %s not found." without one) and resets
  // the counters; true only when there is somewhere to write (a file name or a stream).
  bool Start() override;
  // A fresh page bitmap (one file per page), or the joined image grown by the page.
  void StartPage(TpgwReportPage& page, int index) override;
  // Views only, printable ones unless ExportNotPrintable: each paints itself at the export scale.
  void ExportObject(TpgwComponent& obj) override;
  // Writes the page (one file per page) or moves the joined image's offset below it.
  void FinishPage(TpgwReportPage& page, int index) override;
  // Writes the joined image; forgets the picture format.
  void Finish() override;
  bool IsProcessInternal() const override { return false; }

  // Encodes the current bitmap into the stream through the picture format; raises on failure.
  virtual void WriteBitmapToStream(TStream& stream);
  // Whether the output format is written a row at a time (NewRowEncoder), which lets large pages
  // be drawn in strips: true for JPEG.
  virtual bool CanEncodeRows() const;
  // An encoder of width x height pixels writing to the stream, for pages drawn in strips.
  virtual std::unique_ptr<TRowEncoder> NewRowEncoder(int width, int height, TStream& stream);
  // Crops when asked, writes the file and releases the bitmap, also when writing failed.
  // Failures to open, encode or write are handled by the report's silent mode.
  virtual void SaveCurrentBitmap();

  // --- properties ---------------------------------------------------------------------------------
  bool CropImages() const { return FCrop; }
  void SetCropImages(bool v) { FCrop = v; }
  int JPEGQuality() const { return FJPEGQuality; }
  void SetJPEGQuality(int v) { FJPEGQuality = v; }
  bool Monochrome() const { return FMonochrome; }
  void SetMonochrome(bool v) { FMonochrome = v; }
  // Barcode modules a whole number of pixels wide (pages for printers of dots); not published.
  bool WholePixelModules() const { return FWholePixelModules; }
  void SetWholePixelModules(bool v) { FWholePixelModules = v; }
  int Resolution() const { return FResolution; }
  void SetResolution(int v) { FResolution = v; }
  // Rows of a page image drawn at a time. 0: pages whose pixels need more than kBandBytes (or
  // than half of what the memory budget has left, when that is less) are drawn in strips of
  // about that size, smaller pages whole. Only pages written one file each,
  // in a format that CanEncodeRows, are drawn in strips.
  int BandRows() const { return FBandRows; }
  void SetBandRows(int v) { FBandRows = v < 0 ? 0 : v; }
  // One file per page; false joins all pages into one image.
  bool SeparateFiles() const { return FSeparate; }
  void SetSeparateFiles(bool v) { FSeparate = v; }
  // The raster export's own flag: also paint views that are not printable. It hides the base
  // filter's flag of the same name, which stays the published one.
  bool ExportNotPrintable() const { return FExportNotPrintable; }
  void SetExportNotPrintable(bool v) { FExportNotPrintable = v; }
  // Name of the picture format that encodes the pages.
  const std::string& PicFormatName() const { return FPicFormatName; }

  // --- state of the running export ---------------------------------------------------------------
  // Pages started in this export (1 for the first).
  int CurrentPage() const { return FCurrentPage; }
  // Scale from report pixels to bitmap pixels.
  Extended Div() const { return FDiv; }
  // Paper size, in millimetres, of the last finished page.
  double PaperWidth() const { return FPaperWidth; }
  double PaperHeight() const { return FPaperHeight; }

  // Largest joined image, in pixels each way.
  static constexpr int kMaxJoinedSide = 30000;
  // Pixel bytes of a page image beyond which it is drawn in strips (see BandRows).
  static constexpr int64_t kBandBytes = int64_t{64} << 20;

 protected:
  void SetPicFormatName(std::string v) { FPicFormatName = std::move(v); }
  TBitmap* Bitmap() const { return FBitmap.get(); }

 private:
  // A white bitmap at the canvas resolution, one-bit when Monochrome; sets FCurrentRes and FDiv.
  std::unique_ptr<TBitmap> NewBitmap();
  // Brush and options of a fresh page canvas.
  void PrepareCanvas(TCanvas& canvas) const;
  // The output: the caller's stream, or the transport's file named after the page.
  void WriteFile();
  // Draws the page strip by strip into the encoder (see the file's comment).
  void WriteBands(TStream& stream);

  std::unique_ptr<TBitmap> FBitmap;
  // The page is drawn in strips when written: its views, in painting order, wait until then.
  bool FBanded = false;
  std::vector<TpgwView*> FBandViews;
  int FPageWidth = 0, FPageHeight = 0;  // in bitmap pixels
  int FBandRows = 0;
  bool FCrop = false;
  int FCurrentPage = 0;
  int FJPEGQuality = 90;
  // Bounding box of the printable objects painted so far, in bitmap pixels.
  int64_t FMaxX = 0, FMaxY = 0, FMinX = 0, FMinY = 0;
  bool FMonochrome = false;
  bool FWholePixelModules = false;
  int FResolution = 96;
  int FCurrentRes = 96;
  bool FSeparate = true;
  int FYOffset = 0;
  WideString FFileSuffix;
  bool FFirstPage = false;
  bool FExportNotPrintable = false;
  double FPaperWidth = 0, FPaperHeight = 0;
  Extended FDiv = 1;
  const TpgwCustomGraphicFormat* FGHelper = nullptr;
  std::string FPicFormatName = "BMP";
};

class TpgwJPEGExport : public TpgwCustomImageExport {
 public:
  explicit TpgwJPEGExport(TComponent* owner = nullptr);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  WideString GetDescription() const override;
};

// PNG pages, lossless: painted by the raster export and encoded by the PNG encoder (a whole page
// or a strip at a time). The picture formats offer PNG for reading only, so the export starts
// with the JPEG format (its lookup must succeed) and every page is encoded here instead. Not one
// of the registered export classes: the commands create it themselves.
class TpgwPNGPageExport : public TpgwCustomImageExport {
 public:
  explicit TpgwPNGPageExport(TComponent* owner = nullptr);
  void WriteBitmapToStream(TStream& stream) override;
  bool CanEncodeRows() const override { return true; }
  std::unique_ptr<TRowEncoder> NewRowEncoder(int width, int height, TStream& stream) override;
};

}  // namespace pagewright
