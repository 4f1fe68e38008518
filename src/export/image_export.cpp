#include "export/image_export.h"

#include "platform/exceptions.h"
#include "support/resources.h"

namespace pagewright {

TpgwCustomImageExport::TpgwCustomImageExport(TComponent* owner) : TpgwBaseDialogExportFilter(owner) {
  SetOpenAfterExport(false);
}

const TClassInfo& TpgwCustomImageExport::StaticClassInfo() {
  using T = TpgwCustomImageExport;
  static const TClassInfo& info =
      Describe<T>("TpgwCustomImageExport").Parent<TpgwBaseDialogExportFilter>().Abstract().Build();
  return info;
}
const TClassInfo& TpgwCustomImageExport::ClassInfo() const {
  return StaticClassInfo();
}

bool TpgwCustomImageExport::Start() {
  throw EInvalidOperation("Page rasterising is not available");
}

void TpgwCustomImageExport::ExportObject(TpgwComponent&) {
  throw EInvalidOperation("Page rasterising is not available");
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
