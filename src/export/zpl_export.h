// ZPL II for thermal label printers: each page is rendered by the raster export at the printer's
// resolution, made black and white, and written as one label (^XA ... ^XZ) holding the page as a
// ^GFA graphic field in the printer's compressed hexadecimal form.
#pragma once

#include <string>

#include "export/image_export.h"

namespace pagewright {

class TBitmap;

// One label: the bitmap's pixels darker than middle grey become dots.
std::string ZPLLabel(const TBitmap& page);

class TpgwZPLExport : public TpgwCustomImageExport {
 public:
  explicit TpgwZPLExport(TComponent* owner = nullptr);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  // The printer's resolution in dots per inch: 203, 300 or 600 (the export's Resolution).
  void WriteBitmapToStream(TStream& stream) override;
  // A label is drawn whole: label pages are small, and the graphic field is made from the bitmap.
  bool CanEncodeRows() const override { return false; }
};

}  // namespace pagewright
