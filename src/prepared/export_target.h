// An export filter as the prepared-page store's export walk drives it. The filter framework
// (export/export_filter.h) implements it, so the store needs nothing of the export module: the
// walk decides which pages and objects go out, the target owns the settings and the output.
#pragma once

#include <functional>
#include <vector>

#include "platform/types.h"

namespace pagewright {

class TStream;
class TpgwComponent;
class TpgwReport;
class TpgwReportPage;
class TpgwXMLItem;

class IpgwExportTarget {
 public:
  virtual ~IpgwExportTarget() = default;

  // Everything before the first page: the host's callback, the settings dialog, the output.
  // False when the export does not go ahead; `failure` then says why, or is empty when it was
  // cancelled. CloseExport follows in every case.
  virtual bool OpenExport(TpgwReport& report, WideString& failure) = 0;
  virtual void CloseExport() = 0;
  // The 1-based numbers of the pages to export among `pageCount`, in order.
  virtual std::vector<int> PagesToExport(int pageCount) const = 0;
  // The prepared report's outline (its root item), given before the document starts; a target
  // that writes bookmarks takes it, the others ignore it.
  virtual void SetPreparedOutline(const TpgwXMLItem& /*outlineRoot*/) {}
  // The prepared report's anchors (items with "text", "page" and "top"), for links to them.
  virtual void SetPreparedAnchors(const TpgwXMLItem& /*anchors*/) {}
  // The document around the pages. StartDocument false: nothing is written.
  virtual bool StartDocument() = 0;
  virtual void FinishDocument() = 0;
  virtual void StartExportPage(TpgwReportPage& page, int index) = 0;
  virtual void ExportPageObject(TpgwComponent& obj) = 0;
  virtual void FinishExportPage(TpgwReportPage& page, int index) = 0;

  // Only objects of data bands are exported.
  virtual bool ExportsDataOnly() const = 0;
  // Page headers only on the first page and page footers only on the last.
  virtual bool SuppressesPageHeadersFooters() const = 0;
  // The user stopped the export; the walk ends it and clears the flag.
  virtual bool ExportTerminated() const = 0;
  virtual void ClearExportTerminated() = 0;

  // Writes a whole document (a saved prepared report) through the target's output under
  // `fileName` (empty: the target's own file name, else `fallbackName`). False when it has no
  // output to write to.
  virtual bool WriteDocument(const WideString& fileName, const WideString& fallbackName,
                             const std::function<void(TStream&)>& write) = 0;
};

}  // namespace pagewright
