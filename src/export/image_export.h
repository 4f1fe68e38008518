// The raster export filters: the general image export with its settings, and the JPEG filter.
// Painting pages into bitmaps needs the prepared-page export walk and is not part of this build
// yet; an export through these filters says so instead of producing a file.
#pragma once

#include <string>

#include "export/export_filter.h"

namespace pagewright {

class TpgwCustomImageExport : public TpgwBaseDialogExportFilter {
 public:
  explicit TpgwCustomImageExport(TComponent* owner = nullptr);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // Page painting is not available in this build: starting an export raises, so the export
  // walk reports it and nothing is written.
  bool Start() override;
  void ExportObject(TpgwComponent& obj) override;
  bool IsProcessInternal() const override { return false; }

  bool CropImages() const { return FCrop; }
  void SetCropImages(bool v) { FCrop = v; }
  int JPEGQuality() const { return FJPEGQuality; }
  void SetJPEGQuality(int v) { FJPEGQuality = v; }
  bool Monochrome() const { return FMonochrome; }
  void SetMonochrome(bool v) { FMonochrome = v; }
  int Resolution() const { return FResolution; }
  void SetResolution(int v) { FResolution = v; }
  // One file per page; false joins all pages into one image.
  bool SeparateFiles() const { return FSeparate; }
  void SetSeparateFiles(bool v) { FSeparate = v; }
  // The raster export's own flag: also paint views that are not printable. It hides the base
  // filter's flag of the same name, which stays the published one.
  bool ExportNotPrintable() const { return FExportNotPrintable; }
  void SetExportNotPrintable(bool v) { FExportNotPrintable = v; }
  // Name of the picture format that encodes the pages.
  const std::string& PicFormatName() const { return FPicFormatName; }

 protected:
  void SetPicFormatName(std::string v) { FPicFormatName = std::move(v); }

 private:
  bool FCrop = false;
  int FJPEGQuality = 90;
  bool FMonochrome = false;
  int FResolution = 96;
  bool FSeparate = true;
  bool FExportNotPrintable = false;
  std::string FPicFormatName = "BMP";
};

class TpgwJPEGExport : public TpgwCustomImageExport {
 public:
  explicit TpgwJPEGExport(TComponent* owner = nullptr);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  WideString GetDescription() const override;
};

}  // namespace pagewright
