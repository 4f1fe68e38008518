// Placing bands: the free space test, page and column breaks, page headers and footers,
// reprinted headers, keep-together blocks moved to the next page.
#include <algorithm>
#include <cmath>

#include "engine/band_engine.h"
#include "engine/shift_engine.h"
#include "platform/fast_cast.h"
#include "platform/format.h"
#include "platform/scope_guard.h"
#include "platform/wide_strings.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/report.h"

namespace pagewright {

namespace {

constexpr Extended kTol = pgwEngineTolerance;
// A child chain that comes back to a band it passed through is cut here.
constexpr int kMaxChildDepth = 64;

bool IsDataBand(const TpgwBand* band) {
  return FastCast<const TpgwDataBand>(band) != nullptr;
}

}  // namespace

TpgwBand* TpgwEngine::PageBand(const TClassInfo& cls) const {
  return FPage ? FPage->FindBand(cls) : nullptr;
}

Extended TpgwEngine::BandChainHeight(TpgwBand* band) const {
  Extended h = 0;
  int depth = 0;
  for (TpgwBand* b = band; b && depth < kMaxChildDepth; b = b->Child(), ++depth) h += b->Height();
  return h;
}

Extended TpgwEngine::FreeSpace() {
  if (FPage && FPage->EndlessHeight()) return 1000000;
  if (FPrevFooterHeight != 0) return FPageHeight - FPrevFooterHeight - FCurY;
  return FPageHeight - FooterHeight() - FCurY;
}

Extended TpgwEngine::EffectivePageHeight() {
  if (FPage && FPage->EndlessHeight()) return FooterHeight() + FCurY;
  return FPageHeight;
}

Extended TpgwEngine::HeaderHeight(bool addReprintOnNewPage) {
  Extended h = BandChainHeight(PageBand(TpgwColumnHeader::StaticClassInfo())) +
               BandChainHeight(PageBand(TpgwPageHeader::StaticClassInfo()));
  if (addReprintOnNewPage)
    for (int i = 0; i < FHeaderList.Count(); ++i) {
      TpgwBand* b = FHeaderList.Items(i).Band;
      if (b && !FastCast<TpgwPageHeader>(b) && !FastCast<TpgwColumnHeader>(b)) h += b->Height();
    }
  return h;
}

Extended TpgwEngine::FooterHeight() {
  Extended h = 0;
  if (TpgwBand* b = PageBand(TpgwColumnFooter::StaticClassInfo())) h += b->Height();
  if (TpgwBand* b = PageBand(TpgwPageFooter::StaticClassInfo())) h += b->Height();
  return h;
}

Extended TpgwEngine::ColumnOffset(int column) const {
  if (!FPage || column <= 1) return 0;
  TStringList& positions = FPage->ColumnPositions();
  if (column - 1 < positions.Count()) {
    Extended v = 0;
    if (TryStrToFloat(positions[column - 1], v)) return v * pgwMMUnits;
  }
  return (column - 1) * FPage->ColumnWidth() * pgwMMUnits;
}

// ---- keep blocks and the header list ---------------------------------------------------------------------

void TpgwEngine::StartKeep(TpgwBand* band, int position) {
  if (FKeeping) return;
  if (FIsFirstBand && !FastCast<TpgwChild>(band)) return;
  FKeepCurY = FCurY;
  FKeeping = true;
  FKeepBand = band;
  FKeepPosition = position >= 0 ? position : FPreviewPages.GetCurPosition();
  FKeepOutline = FPreviewPages.Outline().GetCurPosition();
  FKeepAnchor = FPreviewPages.GetAnchorCurPosition();
  FAggregates.StartKeep();
}

void TpgwEngine::EndKeep(TpgwBand* band) {
  if (!band || band != FKeepBand) return;
  FKeepCurY = 0;
  FKeeping = false;
  FKeepBand = nullptr;
  FAggregates.EndKeep();
  FKeepHeader = false;
}

void TpgwEngine::BreakAllKeep() {
  FKeepCurY = 0;
  FKeeping = false;
  FKeepBand = nullptr;
  FAggregates.EndKeep();
  FKeepHeader = false;
}

void TpgwEngine::AddToHeaderList(TpgwBand* band) {
  if (!band) return;
  auto* h = FastCast<TpgwHeader>(band);
  auto* gh = FastCast<TpgwGroupHeader>(band);
  if ((h && h->ReprintOnNewPage()) || (gh && gh->ReprintOnNewPage()))
    FHeaderList.AddItem(band, FKeeping && !h, FPageCurX);
}

// ---- showing a band
// -----------------------------------------------------------------------------------------

TpgwBand* TpgwEngine::ShowBand(TpgwBand* band) {
  static thread_local int depth = 0;
  if (!band || depth > kMaxChildDepth) return nullptr;
  ++depth;
  struct Depth {
    ~Depth() { --depth; }
  } leave;
  if (band->KeepChild()) StartKeep(band);
  ShowBandCore(*band);
  TpgwBand* result = nullptr;
  if (TpgwChild* child = band->Child()) {
    if (child->ToNRowsMode() != rmTillPageEnds && child->ToNRows() <= 0) {
      auto* db = FastCast<TpgwDataBand>(band);
      if ((band->Visible() || band->PrintChildIfInvisible()) &&
          !(db && db->Columns() > 1 && db->CurColumn() > 1))
        ShowBand(child);
    } else {
      result = band;
    }
  }
  if (band->KeepChild()) EndKeep(band);
  if (IsDataBand(band)) {
    // The row counts with its own counters and page: a page break while it printed showed
    // headers and footers that took the counters over.
    FCurLine = band->LineN;
    FCurLineThrough = band->LineThrough;
    SyncCounters();
    FAggregates.AddValue(band, 0);
  }
  return result;
}

void TpgwEngine::ShowBand(const TClassInfo& bandClass) {
  ShowBand(PageBand(bandClass));
}

void TpgwEngine::ShowBandByName(const WideString& name) {
  ShowBand(FastCast<TpgwBand>(FReport.FindObject(name)));
}

void TpgwEngine::ShowBandCore(TpgwBand& band) {
  auto* db = FastCast<TpgwDataBand>(&band);
  auto* gh = FastCast<TpgwGroupHeader>(&band);
  if (!FCallFromAddPage && band.Visible() && band.StartNewPage() && !FOutputTo &&
      (!(db || gh) || band.LineN != 1)) {
    FStartNewPageBand = &band;
    if (gh && gh->ResetPageNumbers()) FPreviewPages.ResetLogicalPageNumber();
    NewPage();
    FStartNewPageBand = nullptr;
  }
  Stretch(&band);
  band.StretchedHeight = band.Height();
  bool split = false;
  const bool multiColumn = db && db->Columns() > 1;
  // Bands printed while a page starts go where they are: breaking the page again from there
  // would start the same page over and over.
  if (band.Visible() && !multiColumn && !FCallFromAddPage && !FastCast<TpgwOverlay>(&band) &&
      !band.IsNullBand() && band.Height() - FreeSpace() > kTol) {
    auto* child = FastCast<TpgwChild>(&band);
    if (child && child->ToNRowsMode() == rmTillPageEnds) {
      FBreakShowBandTree = true;
      UnStretch(&band);
      return;
    }
    const bool tooTall = band.Height() > FPageHeight - FooterHeight();
    const bool keepTooTall =
        FCurY - FKeepCurY + band.Height() > FPageHeight - HeaderHeight(false) - FooterHeight();
    // Printing onto a parent band never breaks: the parent grows instead.
    if (FOutputTo) {
      // nothing to move
    } else if ((band.AllowSplit() && (!FKeeping || keepTooTall)) || tooTall) {
      if (!band.AllowSplit() && band.LineThrough > 1 && !band.StartNewPage()) {
        FCurBand = &band;
        NewColumn();
      }
      if (FKeeping) EndKeep(FKeepBand);
      PrintInParts(band);
      split = true;
    } else {
      if (!(child && FCallFromPHeader)) NewColumn();
      // The band prints where the break put it, so its values are those of there: the page
      // number, and (outside a kept block) repeated values shown again at the top.
      RestretchAfterBreak(band, !FKeeping);
    }
  }
  if (band.Visible() && !split) {
    if (!band.IsNullBand()) {
      band.SetLeft(multiColumn ? band.Left() + FCurX : FCurX);
      band.SetTop(FCurY);
    }
    if (FOutputTo) {
      // A copy of the band with its objects as they print now, for the parent to take over.
      auto& copy = CreateChild<TpgwNullBand>(*FOutputTo);
      copy.AssignAllWithOriginals(band);
    } else {
      if (FFinalPass) band.CreateFillMemo();
      if (auto* summary = FastCast<TpgwReportSummary>(&band); summary && summary->PrintAtBottom()) {
        FCurY += FreeSpace() - band.StretchedHeight;
        band.SetTop(FCurY);
      }
      if (!FCallFromAddPage || !FPreviewPages.BandExists(band)) FPreviewPages.AddObject(band);
    }
    FCurY += band.Height();
  }
  // Subreports start where they sit in the band as printed: below objects that grew above them.
  std::vector<std::pair<TpgwSubreport*, Extended>> subreports;
  if (band.Visible())
    for (TpgwComponent* c : band.Objects().Snapshot())
      if (auto* sub = FastCast<TpgwSubreport>(c); sub && sub->Visible() && !sub->PrintOnParent())
        subreports.emplace_back(sub, sub->Top());
  const Extended bandTop = FCurY - band.StretchedHeight;
  UnStretch(&band);
  EndOfBand(&band, paDefault);
  if (!subreports.empty()) RunSubreports(subreports, bandTop);
}

void TpgwEngine::RunSubreports(const std::vector<std::pair<TpgwSubreport*, Extended>>& subreports,
                               Extended bandTop) {
  const int page = FPreviewPages.CurPage();
  const int column = FCurColumn;
  const Extended curX = FCurX, pageCurX = FPageCurX;
  // The furthest end wins: a later page, then a later column, then further down.
  struct End {
    int page;
    int column;
    Extended y;
  } furthest{page, column, FCurY};
  for (const auto& [sub, top] : subreports) {
    if (FReport.Terminated()) break;
    FPreviewPages.SetCurPage(page);
    FCurColumn = column;
    FPageCurX = pageCurX + sub->Left();
    FCurX = curX + sub->Left();
    FCurY = bandTop + top;
    if (!RunSubreportPage(*sub)) continue;
    const End end{FPreviewPages.CurPage(), FCurColumn, FCurY};
    if (end.page > furthest.page || (end.page == furthest.page && end.column > furthest.column) ||
        (end.page == furthest.page && end.column == furthest.column && end.y > furthest.y))
      furthest = end;
  }
  // The parent goes on below the furthest subreport, at its own left edge.
  FPreviewPages.SetCurPage(furthest.page);
  FCurColumn = furthest.column;
  FCurY = furthest.y;
  FPageCurX = pageCurX;
  FCurX = pageCurX + (FCurColumn > 1 ? ColumnOffset(FCurColumn) : 0);
}

bool TpgwEngine::RunSubreportPage(TpgwSubreport& subreport) {
  TpgwReportPage* page = subreport.Page();
  if (!page) return false;
  if (page == FPage || std::find(FRunningSubreports.begin(), FRunningSubreports.end(), page) !=
                           FRunningSubreports.end()) {
    const WideString message = u"Subreport " + subreport.Name() + u": its page " + page->Name() +
                               u" is already printing (a subreport cannot contain itself)";
    if (FReport.Errors().IndexOf(message) < 0) FReport.Errors().Add(message);
    return false;
  }
  FRunningSubreports.push_back(page);
  auto leave = ScopeExit([&] { FRunningSubreports.pop_back(); });
  RunPage(*page);
  return true;
}

void TpgwEngine::RestretchAfterBreak(TpgwBand& band, bool resetSuppressed) {
  if (resetSuppressed)
    for (TpgwComponent* c : band.Objects().Snapshot())
      if (auto* memo = FastCast<TpgwCustomMemoView>(c); memo && memo->SuppressRepeated())
        memo->ResetSuppress();
  UnStretch(&band);
  FCurLine = band.LineN;
  FCurLineThrough = band.LineThrough;
  FSecondScriptCall = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{FSecondScriptCall};
  Stretch(&band);
  band.StretchedHeight = band.Height();
}

void TpgwEngine::EndOfBand(TpgwBand* band, TpgwProcessAtMode mode) {
  if (FLockResetAggregates) return;
  if (mode == paDefault && band) {
    if (FastCast<TpgwGroupFooter>(band))
      mode = paGroupFinished;
    else if (FastCast<TpgwFooter>(band))
      mode = paDataFinished;
    else if (FastCast<TpgwPageFooter>(band))
      mode = paPageFinished;
    else if (FastCast<TpgwReportSummary>(band))
      mode = paReportPageFinished;
  }
  if (mode != paDefault) {
    TpgwBand* saved = FCurBand;
    if (band) FCurBand = band;
    FPreviewPages.PostProcessor().ProcessExpressions(FReport, band, mode);
    FCurBand = saved;
  }
  // A header printed again at the top of a page or column goes on with its group: its totals
  // (shown when the group ends) count the rows before the break too.
  const bool reprint = band && band->Overflow() &&
                       (FastCast<TpgwGroupHeader>(band) || FastCast<TpgwHeader>(band));
  if (band && !reprint) FAggregates.Reset(band);
}

// ---- pages
// -------------------------------------------------------------------------------------------------------

void TpgwEngine::StartReportPage(TpgwReportPage& page) {
  FPage = &page;
  FHeaderList.Clear();
  TpgwBand* title = PageBand(TpgwReportTitle::StaticClassInfo());
  TpgwBand* header = PageBand(TpgwPageHeader::StaticClassInfo());
  for (TpgwBand* b : page.TitleBeforeHeader() ? std::vector<TpgwBand*>{title, header}
                                              : std::vector<TpgwBand*>{header, title})
    if (b) FHeaderList.AddItem(b, false, 0);
  FPageHeight = (page.PaperHeight() - page.TopMargin() - page.BottomMargin()) * pgwMMUnits;
  FPageWidth = (page.PaperWidth() - page.LeftMargin() - page.RightMargin()) * pgwMMUnits;
  FCurX = 0;
  FCurY = 0;
  FCurColumn = 1;
  FPageCurX = 0;
  FIsFirstPage = true;
  FIsLastPage = false;
  FPreviewPages.Outline().LevelRoot();
  if (page.ResetPageNumbers()) FPreviewPages.ResetLogicalPageNumber();
  if (FPreviewPages.GetCount() > 0 && page.PrintOnPreviousPage()) {
    FPreviewPages.SetCurPage(FPreviewPages.GetCount() - 1);
    int column = 0;
    Extended position = 0;
    FPreviewPages.GetLastColumnPos(column, position);
    const bool singleColumn = page.Columns() < 2 || (title && page.ShowTitleOnPreviousPage());
    if (singleColumn) {
      column = 0;
      position = 0;
    }
    FCurY = FPreviewPages.GetLastY(position);
    if (column != 0)
      FCurColumn = column;
    else
      FFirstColumnY = FCurY;
    FHeaderList.RemoveItem(title);
    if (singleColumn && title) {
      FCurColumn = std::max(1, page.Columns());
      ShowBand(title);
      FCurColumn = 1;
      FFirstColumnY = FCurY;
    }
  } else {
    AddPreparedPage();
    FFirstColumnY = FCurY;
  }
  if (FFirstReportPage) FPreviewPages.SetFirstPage(FPreviewPages.CurPage());
  if (TpgwBand* columnHeader = PageBand(TpgwColumnHeader::StaticClassInfo())) {
    ShowBand(columnHeader);
    FHeaderList.AddItem(columnHeader, false, 0);
  }
  FHeaderList.RemoveItem(title);
  if (!page.OutlineText().empty()) {
    FPreviewPages.Outline().LevelRoot();
    FPreviewPages.Outline().AddItem(VarToStr(FReport.Calc(page.OutlineText())), 0);
  }
}

void TpgwEngine::AddPreparedPage() {
  FPrevFooterHeight = 0;
  FPreviewPages.AddPage(*FPage);
  SyncCounters();
  FCurY = 0;
  if (auto* overlay = FastCast<TpgwOverlay>(PageBand(TpgwOverlay::StaticClassInfo()));
      overlay && !overlay->PrintOnTop())
    ShowBand(overlay);
  FCurY = 0;
  FFirstColumnY = 0;
  ShowHeaders();
}

void TpgwEngine::ShowHeaders() {
  const Extended savedX = FCurX;
  for (int i = 0; i < FHeaderList.Count(); ++i) {
    TpgwHeaderListItem item = FHeaderList.Items(i);
    TpgwBand* b = item.Band;
    if (!b || b == FStartNewPageBand) continue;
    FCurX = item.Left;
    auto* ph = FastCast<TpgwPageHeader>(b);
    TpgwBand* toShow = b;
    if (ph && FIsFirstPage && !ph->PrintOnFirstPage()) {
      if (!ph->PrintChildIfInvisible() || !ph->Child()) continue;
      toShow = ph->Child();
    }
    bool print;
    if (FKeepHeader && FKeepBand && b == FKeepBand->Header)
      print = FKeepFooter;
    else
      print = !item.IsInKeepList || !FKeeping || FKeepFooter;
    if (FastCast<TpgwHeader>(b) && (FDontShowHeaders || b == FLastBandOnPage)) print = false;
    if (FastCast<TpgwGroupHeader>(b) && FDontShowHeaders) print = false;
    if (!print) continue;
    const bool isTitle = FastCast<TpgwReportTitle>(b) != nullptr;
    const int savedLine = FCurLine;
    const int savedLineThrough = FCurLineThrough;
    toShow->SetOverflow(true);
    FCurLine = toShow->LineN;
    FCurLineThrough = toShow->LineThrough;
    FCallFromAddPage = true;
    FCallFromPHeader = ph != nullptr;
    if (isTitle) FHeaderList.Items(i).Band = nullptr;
    struct Restore {
      TpgwEngine& e;
      TpgwBand* band;
      int line, lineThrough;
      ~Restore() {
        band->SetOverflow(false);
        e.FCallFromAddPage = false;
        e.FCallFromPHeader = false;
        e.FCurLine = line;
        e.FCurLineThrough = lineThrough;
        // What prints next (the row that broke the page) reads its own counters again.
        e.SyncCounters();
      }
    } restore{*this, toShow, savedLine, savedLineThrough};
    // Its texts computed when its group ends wait for that group, not for the one open now.
    TpgwPostProcessor& post = FPreviewPages.PostProcessor();
    const int groupLevel = post.GroupLevel();
    auto* gh = FastCast<TpgwGroupHeader>(b);
    if (gh && gh->GroupLevel > 0) post.SetGroupLevel(gh->GroupLevel);
    auto level = ScopeExit([&] { post.SetGroupLevel(groupLevel); });
    ShowBand(toShow);
    if (ph) FFirstColumnY = FCurY;
    if (isTitle && FIsFirstBand) FTitlePrinted = true;
  }
  FCurX = savedX;
}

void TpgwEngine::NewPage() {
  if (FKeeping && FKeepBand) {
    const Extended bandHeight =
        FastCast<TpgwGroupHeader>(FKeepBand) && FCurBand ? FCurBand->Height() : FKeepBand->Height();
    if (FCurY - FKeepCurY + bandHeight > FPageHeight - FooterHeight() - HeaderHeight(false)) {
      // Too tall to keep: the block breaks like any other.
      FKeeping = false;
      FAggregates.EndKeep();
      if (FastCast<TpgwGroupHeader>(FKeepBand)) {
        FHeaderList.RemoveItem(FKeepBand);
        AddToHeaderList(FKeepBand);
      }
    }
  }
  TpgwBand* unregistered = nullptr;
  if (FKeeping) {
    if (FKeepFooter && !FKeepHeader) FAggregates.DeleteValue(FKeepBand);
    FPreviewPages.CutObjects(FKeepPosition);
    auto* db = FastCast<TpgwDataBand>(FCurBand);
    if (std::fabs(FPreviewPages.GetLastY() - FCurY) >= kTol && db && db->KeepHeader() && db->Header) {
      FHeaderList.RemoveItem(db->Header);
      unregistered = db->Header;
    }
  }
  FLastBandOnPage = FCurBand;
  EndPage();
  if (FPage && FPage->EndlessHeight()) {
    FPreviewPages.UpdatePageDimension(FPreviewPages.CurPage(), FPage->Orientation(),
                                      FPageWidth / pgwMMUnits + FPage->LeftMargin() + FPage->RightMargin(),
                                      FCurY / pgwMMUnits + FPage->TopMargin() + FPage->BottomMargin());
  }
  AddPreparedPage();
  FLastBandOnPage = nullptr;
  if (FKeeping) {
    FAggregates.EndKeep();
    FPreviewPages.PasteObjects(0, FCurY);
    const int top = static_cast<int>(RoundHalfEven(FCurY));
    if (FKeepOutline) FPreviewPages.Outline().ShiftItems(FKeepOutline, top);
    FPreviewPages.ShiftAnchors(FKeepAnchor, top);
    FCurY = FPreviewPages.GetLastY();
    if (FKeepFooter && !FKeepHeader) FAggregates.AddValue(FKeepBand);
    if (unregistered) AddToHeaderList(unregistered);
  }
  FKeeping = false;
  FKeepHeader = false;
  FKeepCurY = 0;
  if (FPage && !FPage->OutlineText().empty()) {
    FPreviewPages.Outline().LevelRoot();
    FPreviewPages.Outline().AddItem(VarToStr(FReport.Calc(FPage->OutlineText())), 0);
  }
}

void TpgwEngine::NewColumn() {
  if (!FPage || FCurColumn >= FPage->Columns()) {
    NewPage();
    return;
  }
  if (FKeeping) {
    if (FKeepFooter) FAggregates.DeleteValue(FKeepBand);
    FPreviewPages.CutObjects(FKeepPosition);
    FCurY = FPreviewPages.GetLastY(FCurX);
  }
  FLastBandOnPage = FCurBand;
  ShowColumnFooter();
  StartNextColumn();
  FLastBandOnPage = nullptr;
  if (FKeeping) {
    FAggregates.EndKeep();
    FPreviewPages.PasteObjects(FCurX, FCurY);
    const int top = static_cast<int>(RoundHalfEven(FCurY));
    if (FKeepOutline) FPreviewPages.Outline().ShiftItems(FKeepOutline, top);
    FPreviewPages.ShiftAnchors(FKeepAnchor, top);
    FCurY = FPreviewPages.GetLastY(FCurX);
    if (FKeepFooter) FAggregates.AddValue(FKeepBand);
  }
  FKeeping = false;
  FKeepHeader = false;
}

void TpgwEngine::StartNextColumn() {
  if (FCurBand) FPreviewPages.PostProcessor().ResetDuplicates(FCurBand->Name());
  ++FCurColumn;
  const Extended x = ColumnOffset(FCurColumn);
  FCurY = FFirstColumnY;
  for (int i = 0; i < FHeaderList.Count(); ++i) {
    const TpgwHeaderListItem item = FHeaderList.Items(i);
    TpgwBand* b = item.Band;
    if (!b || FastCast<TpgwPageHeader>(b) || b == FLastBandOnPage || item.IsInKeepList || FKeepHeader)
      continue;
    FCurX = item.Left + x;
    int depth = 0;
    for (TpgwBand* c = b; c && depth < kMaxChildDepth; c = c->Child(), ++depth) {
      c->SetOverflow(true);
      Stretch(c);
      if (c->Visible()) {
        if (FFinalPass) c->CreateFillMemo();
        c->SetLeft(FCurX);
        c->SetTop(FCurY);
        FPreviewPages.AddObject(*c);
        FCurY += c->Height();
      }
      UnStretch(c);
      c->SetOverflow(false);
      if (!c->Visible() && !c->PrintChildIfInvisible()) break;
    }
  }
  FCurX = FPageCurX + x;
}

void TpgwEngine::ShowColumnFooter() {
  TpgwBand* b = PageBand(TpgwColumnFooter::StaticClassInfo());
  if (!b) return;
  Stretch(b);
  if (b->Visible()) {
    if (FFinalPass) b->CreateFillMemo();
    b->SetLeft(FCurX - FPageCurX);
    b->SetTop(FCurY);
    FPreviewPages.AddObject(*b);
    FCurY += b->Height();
  }
  UnStretch(b);
  EndOfBand(b, paColumnFinished);
}

void TpgwEngine::EndPage() {
  if (!FCallFromEndPage) ShowColumnFooter();
  if (!FIsLastPage) {
    FCurX = FPageCurX;
    FCurColumn = 1;
  }
  if (FPage && FPage->Columns() > 1) FPreviewPages.UpdatePageLastColumn(FCurColumn, false, FCurX);
  if (FIsLastPage && !FCallFromEndPage) {
    FCallFromEndPage = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{FCallFromEndPage};
    if (TpgwBand* summary = PageBand(TpgwReportSummary::StaticClassInfo())) {
      ShowBand(summary);
      if (FPage && FPage->EndlessHeight()) {
        FPageHeight += summary->Height();
        FPreviewPages.UpdatePageDimensions(
            *FPage, FPage->PaperWidth() * pgwMMUnits,
            FPageHeight + (FPage->TopMargin() + FPage->BottomMargin()) * pgwMMUnits);
      }
    }
    // The summary's end is that of its page; the report's texts are due as well.
    EndOfBand(nullptr, paReportFinished);
  }
  auto* footer = FastCast<TpgwPageFooter>(PageBand(TpgwPageFooter::StaticClassInfo()));
  // The page footer sits at the bottom of the printable area.
  FCurY = EffectivePageHeight() - (footer ? footer->Height() : 0);
  FPrevFooterHeight =
      (FIsLastPage && footer && footer->PrintOnLastPage() && !FCallFromEndPage) ? footer->Height() : 0;
  ShowFooterBand(footer);
  if (auto* overlay = FastCast<TpgwOverlay>(PageBand(TpgwOverlay::StaticClassInfo()));
      overlay && overlay->PrintOnTop()) {
    FCurY = 0;
    ShowFooterBand(overlay);
  }
  FIsFirstPage = false;
}

void TpgwEngine::ShowFooterBand(TpgwBand* band) {
  if (!band) return;
  Stretch(band);
  if (band->Visible()) {
    band->SetLeft(0);
    band->SetTop(FCurY);
    bool skip = false;
    if (auto* pf = FastCast<TpgwPageFooter>(band))
      skip = ((FIsFirstPage && !pf->PrintOnFirstPage()) ||
              (FIsLastPage && !pf->PrintOnLastPage() && !FCallFromEndPage)) &&
             !(pf->PrintOnSinglePage() && FIsFirstPage && FIsLastPage);
    if (!skip) {
      if (FFinalPass) band->CreateFillMemo();
      if (!FPreviewPages.BandExists(*band)) FPreviewPages.AddObject(*band);
      FCurY += band->Height();
    }
  }
  UnStretch(band);
  EndOfBand(band, paDefault);
}

}  // namespace pagewright
