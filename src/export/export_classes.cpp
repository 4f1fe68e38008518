#include "export/export_classes.h"

#include "export/export_filter.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "export/zpl_export.h"
#include "platform/properties.h"

namespace pagewright {

void RegisterExportClasses() {
  TClassRegistry& registry = ClassRegistry();
  registry.Register(TpgwCustomIOTransport::StaticClassInfo());
  registry.Register(TpgwIOTransportFile::StaticClassInfo());
  registry.Register(TpgwCustomExportFilter::StaticClassInfo());
  registry.Register(TpgwBaseDialogExportFilter::StaticClassInfo());
  registry.Register(TpgwPDFExport::StaticClassInfo());
  registry.Register(TpgwCustomImageExport::StaticClassInfo());
  registry.Register(TpgwJPEGExport::StaticClassInfo());
  registry.Register(TpgwZPLExport::StaticClassInfo());
}

}  // namespace pagewright
