#include "prepared/preview_pages.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

#include "barcode_view/barcode_view.h"
#include "platform/fast_cast.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/scope_guard.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "prepared/export_target.h"
#include "prepared/store_helpers.h"
#include "render/bitmap.h"
#include "render/graphic_formats.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/view.h"
#include "storage/serializer.h"
#include "storage/xml_document.h"
#include "support/resources.h"

namespace pagewright {

// ---- the export walk ---------------------------------------------------------------------------------

void TpgwPreviewPages::ExportOne(IpgwExportTarget& filter, TpgwComponent& obj) {
  bool skip = filter.ExportsDataOnly() && !FastCast<TpgwDataBand>(obj.Parent());
  if (auto* view = FastCast<TpgwView>(&obj); view && !view->Visibility().Contains(vsExport)) skip = true;
  if (!skip) {
    if (auto* picture = FastCast<TpgwPictureView>(&obj); picture && picture->ImageIndex() > 0) {
      if (std::shared_ptr<TpgwAutoRefGraphic> shared = GetPicture(cgOriginal, picture->ImageIndex()))
        picture->SetCachedGraphic(std::shared_ptr<const TGraphic>(shared, shared->Graphic.get()));
    }
    if (auto* memo = FastCast<TpgwCustomMemoView>(&obj)) {
      memo->SetTotalPages(GetCount());
      memo->SetCopyNo(1);
      memo->ExtractMacros();
      if (memo->AutoWidth()) {
        // Drawing once at scale 1 settles the width.
        TNullCanvas canvas;
        memo->Draw(canvas, 1, 1, 0, 0);
      }
    }
    filter.ExportPageObject(obj);
  }
  if (FReport.Terminated() || filter.ExportTerminated()) throw EExportTerminated("Export terminated");
}

void TpgwPreviewPages::ExportPage(IpgwExportTarget& filter, int index) {
  FCachedGraphicState = cgOriginal;
  TpgwReportPage* page = GetPage(index);
  if (!page) return;
  // Without a preview each page is rebuilt when needed, so memory stays bounded.
  auto clearCache = ScopeExit([this] { ClearPageCache(); });
  LockPage(page);
  auto unlock = ScopeExit([this] { UnlockPage(); });
  // The background outlives the page's end: a filter may draw the page's views only then.
  TpgwPictureView background(nullptr);
  filter.StartExportPage(*page, index);
  auto finish = ScopeExit([&] { filter.FinishExportPage(*page, index); });
  {
    page->SetMarginOffset(index);
    {
      background.SetName(u"_pagebackground");
      background.SetColor(page->Color());
      background.SetFrame(page->Frame());
      background.SetPicture(page->BackPicture());
      background.SetStretched(true);
      background.SetKeepAspectRatio(false);
      background.SetBounds(page->Left(), page->Top(),
                           (page->PaperWidth() - page->LeftMargin() - page->RightMargin()) * pgwMMUnits,
                           (page->PaperHeight() - page->TopMargin() - page->BottomMargin()) * pgwMMUnits);
      ExportOne(filter, background);
    }
    const bool suppress = filter.SuppressesPageHeadersFooters();
    const int last = GetCount() - 1;
    for (TpgwComponent* band : page->Objects().Snapshot()) {
      if (suppress && index != 0 && FastCast<TpgwPageHeader>(band)) continue;
      if (suppress && index != last && FastCast<TpgwPageFooter>(band)) continue;
      ExportOne(filter, *band);
      for (TpgwComponent* child : band->Objects().Snapshot()) ExportOne(filter, *child);
    }
  }
}

bool TpgwPreviewPages::Export(TComponent* filterComponent) {
  FCopyNo = 0;
  auto* filter = FastCast<IpgwExportTarget>(filterComponent);
  if (!filter) return false;
  WideString failure;
  bool result = false;
  {
    auto close = ScopeFail([&] { filter->CloseExport(); });
    if (!filter->OpenExport(FReport, failure)) {
      close.Dismiss();
      filter->CloseExport();
      if (!failure.empty()) ReportError(failure);
      return false;
    }
  }

  result = true;
  FReport.SetTerminated(false);
  const std::vector<int> selected = filter->PagesToExport(GetCount());
  if (selected.empty()) {
    // A document without pages is not what anyone asked for: nothing is written and the export
    // fails, so a caller never reports an empty file as its result.
    filter->CloseExport();
    ReportError(u"No page to export: the page selection matches none of the " + IntToStr(GetCount()) +
                u" prepared pages");
    return false;
  }
  const std::set<int> pages(selected.begin(), selected.end());
  try {
    filter->SetPreparedOutline(Outline().Root());
    filter->SetPreparedAnchors(Section(u"anchors"));
    if (filter->StartDocument()) {
      {
        // The filter finishes its document also when a page failed.
        auto finish = ScopeFail([&] { filter->FinishDocument(); });
        try {
          for (int i = 0; i < GetCount(); ++i) {
            if (!pages.count(i + 1)) continue;
            ExportPage(*filter, i);
          }
        } catch (const EExportTerminated&) {
          filter->ClearExportTerminated();
        }
      }
      filter->FinishDocument();
    }
  } catch (const Exception& e) {
    result = false;
    failure = Utf8ToUtf16(e.Message());
  } catch (const std::exception& e) {
    result = false;
    failure = Utf8ToUtf16(e.what());
  }
  filter->CloseExport();
  if (!result) ReportError(failure);
  return result;
}

}  // namespace pagewright
