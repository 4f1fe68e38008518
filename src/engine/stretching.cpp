// Stretching bands to their objects, shifting the objects below a grown one, and printing a band
// in parts across pages.
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
#include "report/view.h"

namespace pagewright {

namespace {

constexpr Extended kTol = pgwEngineTolerance;
// Trees are as deep as objects are stacked; this bounds a pathological template.
constexpr int kMaxShiftDepth = 512;

bool InterceptsY(const TpgwShiftObject& a, const TpgwShiftObject& b) {
  return b.Y < a.Y1 - kTol && b.Y1 > a.Y + kTol;
}

bool InterceptsX(const TpgwShiftObject& a, const TpgwShiftObject& b) {
  return b.X < a.X1 - kTol && b.X1 > a.X + kTol;
}

TpgwShiftMode ShiftModeOf(const TpgwComponent* obj) {
  auto* view = FastCast<const TpgwView>(obj);
  return view ? view->ShiftMode() : smAlways;
}

void MoveTop(TpgwComponent* obj, Extended by) {
  obj->SetTop(obj->Top() + by);
}

}  // namespace

// ---- shift structures
// ---------------------------------------------------------------------------------------

TpgwShiftEngineImpl::~TpgwShiftEngineImpl() {
  Clear();
}

void TpgwShiftEngineImpl::Unlink(Structure& s) {
  for (auto& item : s.Items)
    if (auto* rc = FastCast<TpgwReportComponent>(item->ReportObject))
      if (rc->ShiftObject() == item.get()) rc->SetShiftObject(nullptr);
}

void TpgwShiftEngineImpl::Clear() {
  for (auto& [container, s] : FContainers) Unlink(*s);
  FContainers.clear();
}

void TpgwShiftEngineImpl::ClearContainer(TpgwComponent* container) {
  auto it = FContainers.find(container);
  if (it == FContainers.end()) return;
  Unlink(*it->second);
  FContainers.erase(it);
}

void TpgwShiftEngineImpl::PrepareShiftTree(TpgwComponent* container) {
  if (!container || FContainers.count(container)) return;
  auto* band = FastCast<TpgwBand>(container);
  if (band && band->ShiftEngine() == seDontShift) return;
  auto s = std::make_unique<Structure>();
  // Nothing moves in a container whose objects keep their heights: it gets an empty structure
  // instead of a tree, which for many thousand objects would cost more than the rest of the run.
  bool canGrow = false;
  for (TpgwComponent* obj : container->Objects().Snapshot())
    if (auto* st = FastCast<TpgwStretcheable>(obj); st && (st->StretchMode() != smDontStretch || st->CanShrink()))
      canGrow = true;
  if (!canGrow) {
    s->Linear = true;
    FContainers.emplace(container, std::move(s));
    return;
  }
  const Extended width = container->Width();
  for (TpgwComponent* obj : container->Objects().Snapshot()) {
    const Extended left = obj->Left();
    const Extended right = obj->Left() + obj->Width();
    if (width > 0 && !((left >= 0 && left <= width) || (right >= 0 && right <= width))) continue;
    auto item = std::make_unique<TpgwShiftObject>();
    item->ReportObject = obj;
    item->X = left;
    item->Y = obj->Top();
    item->X1 = right;
    item->Y1 = obj->Top() + obj->Height();
    s->Items.push_back(std::move(item));
  }
  std::stable_sort(s->Items.begin(), s->Items.end(),
                   [](const auto& a, const auto& b) { return a->Y < b->Y; });
  for (auto& item : s->Items)
    if (auto* rc = FastCast<TpgwReportComponent>(item->ReportObject)) rc->SetShiftObject(item.get());

  if (band && band->ShiftEngine() == seLinear) {
    s->Linear = true;
    FContainers.emplace(container, std::move(s));
    return;
  }
  // The root is a thin strip above everything, so that objects at the container's very top
  // still hang from it and move with what is above them.
  Extended minTop = 0;
  for (auto& item : s->Items) minTop = std::min(minTop, item->Y);
  s->Root = std::make_unique<TpgwShiftObject>();
  TpgwShiftObject& root = *s->Root;
  root.ReportObject = container;
  root.X = 0;
  root.X1 = width + 1;
  root.Y = minTop - 2;
  root.Y1 = minTop - 1;
  if (width <= 0) {
    root.X = -1e9L;
    root.X1 = 1e9L;
  }

  std::vector<TpgwShiftObject*> order;
  order.push_back(&root);
  for (auto& item : s->Items) order.push_back(item.get());
  for (size_t pi = 0; pi < order.size(); ++pi) {
    TpgwShiftObject& p = *order[pi];
    const bool isRoot = pi == 0;
    if (!isRoot && p.ParentCount == 0) continue;  // discarded: it never moves
    for (size_t ci = pi + 1; ci < order.size(); ++ci) {
      TpgwShiftObject& c = *order[ci];
      if (InterceptsY(p, c) || !(p.Y < c.Y) || !InterceptsX(p, c)) continue;
      const Extended commonX = std::max(p.X, c.X);
      const Extended commonX1 = std::min(p.X1, c.X1);
      bool blocked = false;
      for (size_t bi = pi + 1; bi < ci && !blocked; ++bi) {
        const TpgwShiftObject& b = *order[bi];
        if (InterceptsY(b, p) || InterceptsY(b, c)) continue;
        if (!(b.X < commonX1 - kTol && b.X1 > commonX + kTol)) continue;
        const bool bothHigh = (b.Y1 - b.Y) > 0 && (c.Y1 - c.Y) > 0;
        if (bothHigh || std::fabs(c.Y - b.Y) > kTol) blocked = true;
      }
      if (blocked) continue;
      p.ShiftChildren.push_back(&c);
      ++c.ParentCount;
    }
  }
  FContainers.emplace(container, std::move(s));
}

void TpgwShiftEngineImpl::InitShiftAmount(TpgwComponent* obj, Extended amount) {
  auto* rc = FastCast<TpgwReportComponent>(obj);
  if (!rc || !rc->ShiftObject()) return;
  TpgwShiftObject& item = *rc->ShiftObject();
  item.ShiftAmount = amount;
  item.ShiftedTo = 0;
  item.MinDist = 0;
  item.Shifted = false;
}

void TpgwShiftEngineImpl::ShiftObjects(TpgwComponent* container) {
  auto it = FContainers.find(container);
  if (it == FContainers.end()) return;
  Structure& s = *it->second;
  if (s.Linear) {
    LinearShift(s);
    return;
  }
  s.Root->Shifted = false;
  s.Root->ShiftedTo = 0;
  TreeShift(*s.Root, 0, true, 0);
}

void TpgwShiftEngineImpl::TreeShift(TpgwShiftObject& node, Extended amount, bool isRoot, int depth) {
  if (depth > kMaxShiftDepth) return;
  node.Shifted = true;
  node.ShiftedTo = amount;
  const bool hasParents = !isRoot && node.ParentCount > 0;
  for (TpgwShiftObject* cp : node.ShiftChildren) {
    TpgwShiftObject& c = *cp;
    TpgwComponent* o = c.ReportObject;
    const Extended nodeBottom = isRoot ? node.Y1 : node.ReportObject->Top() + node.ReportObject->Height();
    Extended s = c.ShiftedTo;
    if (c.MinDist > 0 && hasParents && c.MinDist >= nodeBottom - kTol) continue;
    if (c.MinDist > 0 && hasParents && c.MinDist < nodeBottom && s > 0)
      MoveTop(o, -(s - c.ShiftAmount));
    else if (s != 0 && amount != 0)
      MoveTop(o, -s);
    const TpgwShiftMode mode = ShiftModeOf(o);
    if (mode == smAlways || amount < 0) {
      MoveTop(o, amount);
      s = amount + c.ShiftAmount;
    } else if (mode == smWhenOverlapped && !isRoot && nodeBottom > o->Top()) {
      const Extended d = nodeBottom - o->Top();
      o->SetTop(nodeBottom);
      s = d + c.ShiftAmount;
    } else {
      s = c.ShiftAmount;
    }
    if (hasParents) c.MinDist = std::max(nodeBottom, c.MinDist);
    if (!(c.Shifted && std::fabs(c.ShiftedTo - s) <= kTol)) TreeShift(c, s, false, depth + 1);
  }
}

void TpgwShiftEngineImpl::LinearShift(Structure& s) {
  auto& items = s.Items;
  for (size_t pi = 0; pi < items.size(); ++pi) {
    TpgwShiftObject& p = *items[pi];
    TpgwComponent* po = p.ReportObject;
    const Extended b = p.ShiftAmount;
    const Extended c = p.ShiftedTo;
    const Extended bottom = po->Top() + po->Height();
    const Extended pLeft = po->Left();
    const Extended pRight = po->Left() + po->Width();
    for (size_t ri = pi + 1; ri < items.size(); ++ri) {
      TpgwShiftObject& r = *items[ri];
      TpgwComponent* o = r.ReportObject;
      const TpgwShiftMode mode = ShiftModeOf(o);
      if (mode == smDontShift) continue;
      if (!(o->Top() >= bottom - b - kTol)) continue;
      if (mode == smWhenOverlapped && !(o->Left() <= pRight - kTol && o->Left() + o->Width() - kTol >= pLeft))
        continue;
      const Extended t = (b > 0 || (r.Shifted && r.ShiftedTo + o->Top() < c + bottom))
                             ? std::max(r.ShiftedTo, b + c)
                             : std::min(r.ShiftedTo, b + c);
      if (r.Shifted && r.MinDist > t + o->Top()) break;
      r.MinDist = std::max(c + bottom, r.MinDist);
      r.ShiftedTo = t;
      r.Shifted = true;
    }
  }
  for (auto& item : items)
    if (item->ShiftedTo != 0) MoveTop(item->ReportObject, item->ShiftedTo);
}

// ---- stretching
// --------------------------------------------------------------------------------------------

void TpgwEngine::PrepareShiftTree(TpgwComponent* container) {
  FShiftEngine->PrepareShiftTree(container);
}

void TpgwEngine::Stretch(TpgwComponent* container, bool skipGetData) {
  auto* band = FastCast<TpgwBand>(container);
  if (band) FCurBand = band;
  PrepareShiftTree(container);
  SyncCounters();
  FReport.SetCurObject(container->Name());
  auto* rcContainer = FastCast<TpgwReportComponent>(container);
  if (band) band->BeforePrint();
  if (rcContainer) FireEvent(rcContainer->OnBeforePrint(), container);
  bool stretched = false;
  bool subreportsOnParent = false;
  const std::vector<TpgwComponent*> objects = container->Objects().Snapshot();
  for (TpgwComponent* obj : objects) {
    auto* rc = FastCast<TpgwReportComponent>(obj);
    if (!rc) continue;
    if (auto* sub = FastCast<TpgwSubreport>(obj); sub && sub->PrintOnParent()) subreportsOnParent = true;
    if (!skipGetData) {
      FReport.SetCurObject(obj->Name());
      rc->BeforePrint();
      if (!DoublePass())
        if (auto* memo = FastCast<TpgwCustomMemoView>(obj)) LeaveTotalPagesToTheStore(*memo);
      if (container->Visible()) {
        FireEvent(rc->OnBeforePrint(), obj);
        if (band) FCurBand = band;
        auto* view = FastCast<TpgwView>(obj);
        if (obj->Visible() && (!view || view->Processing().ProcessAt == paDefault)) {
          rc->GetData();
          FireEvent(rc->OnAfterData(), obj);
        }
      }
    }
    FShiftEngine->InitShiftAmount(obj, 0);
    auto* s = FastCast<TpgwStretcheable>(obj);
    if (container->Visible() && obj->Visible() && s &&
        (s->StretchMode() != smDontStretch || s->CanShrink())) {
      const Extended h = s->Height();
      const Extended newHeight = s->CalcHeight();
      if ((s->StretchMode() != smDontStretch && newHeight > h) || (s->CanShrink() && newHeight < h)) {
        FShiftEngine->InitShiftAmount(obj, newHeight - h);
        if (std::fabs(newHeight - h) > kTol) s->SetHeight(newHeight);
        stretched = true;
      }
    }
  }
  if (!container->Visible()) return;
  if (stretched) FShiftEngine->ShiftObjects(container);
  if (subreportsOnParent) PrintSubreportsOnParent(*container);
  Extended bottom = 0;
  for (TpgwComponent* obj : container->Objects().Snapshot())
    bottom = std::max(bottom, obj->Top() + obj->Height());
  if (!band || band->Stretched()) container->SetHeight(bottom);
  FReport.SetCurObject(container->Name());
  if (band) FireEvent(band->OnAfterCalcHeight(), band);
  for (TpgwComponent* obj : container->Objects().Snapshot())
    if (auto* s = FastCast<TpgwStretcheable>(obj); s && s->StretchMode() == smMaxHeight)
      s->SetHeight(bottom - s->Top());
}

// A single pass does not know the page count while it runs. A text showing it as a whole
// expression, "[TotalPages]", keeps the page-count mark instead, which the store fills in when it
// shows or exports the pages (the text object puts its own text back after printing). Within a
// larger expression ("[<TotalPages> - 1]") or with page numbers restarting in the report, the
// total needs a double pass.
void TpgwEngine::LeaveTotalPagesToTheStore(TpgwCustomMemoView& memo) {
  if (!memo.AllowExpressions() || memo.ExpressionDelimiters() != u"[,]") return;
  const WideString text = memo.Text();
  if (UpperCase(text).find(u"[TOTALPAGES]") == WideString::npos) return;
  memo.SetText(
      StringReplace(text, u"[TotalPages]", u"[TotalPages#]", TReplaceFlags{rfReplaceAll, rfIgnoreCase}));
}

void TpgwEngine::UnStretch(TpgwComponent* container) {
  const std::vector<TpgwComponent*> objects = container->Objects().Snapshot();
  if (container->Visible())
    for (TpgwComponent* obj : objects)
      if (auto* rc = FastCast<TpgwReportComponent>(obj)) {
        FReport.SetCurObject(obj->Name());
        FireEvent(rc->OnAfterPrint(), obj);
      }
  auto* band = FastCast<TpgwBand>(container);
  if (band && FFinalPass) band->DisposeFillMemo();
  for (TpgwComponent* obj : container->Objects().Snapshot())
    if (auto* rc = FastCast<TpgwReportComponent>(obj)) rc->AfterPrint();
  FReport.SetCurObject(container->Name());
  if (auto* rc = FastCast<TpgwReportComponent>(container)) {
    FireEvent(rc->OnAfterPrint(), container);
    if (band) rc->AfterPrint();
  }
  // What subreports printed onto the container goes again.
  if (auto* rc = FastCast<TpgwReportComponent>(container); rc && rc->OriginalObjectsCount() >= 0) {
    while (container->Objects().Count() > rc->OriginalObjectsCount())
      delete container->Objects()[container->Objects().Count() - 1];
    rc->SetOriginalObjectsCount(-1);
  }
}

void TpgwEngine::PrintSubreportsOnParent(TpgwComponent& container) {
  // A subreport inside a subreport that prints on its parent reuses the capture running.
  auto* rc = FastCast<TpgwReportComponent>(&container);
  if (FOutputTo || !rc) return;
  rc->SetOriginalObjectsCount(container.Objects().Count());
  auto capture = std::make_unique<TpgwNullBand>(nullptr);
  FOutputTo = capture.get();
  {
    auto stop = ScopeExit([&] { FOutputTo = nullptr; });
    const Extended curX = FCurX, curY = FCurY, pageCurX = FPageCurX;
    const int page = FPreviewPages.CurPage();
    const bool keepFooter = FKeepFooter;
    for (TpgwComponent* c : container.Objects().Snapshot()) {
      auto* sub = FastCast<TpgwSubreport>(c);
      if (!sub || !sub->Visible() || !sub->PrintOnParent()) continue;
      FPageCurX = pageCurX + sub->Left();
      FCurX = sub->Left();
      FCurY = sub->Top();
      RunSubreportPage(*sub);
      FPreviewPages.SetCurPage(page);
      FKeepFooter = keepFooter;
    }
    FCurX = curX;
    FCurY = curY;
    FPageCurX = pageCurX;
  }
  // The printed objects join the container where they printed; they are what they show now.
  const bool inBand = container.IsBand();
  for (TpgwComponent* copy : capture->Objects().Snapshot())
    for (TpgwComponent* obj : copy->Objects().Snapshot()) {
      if (!FastCast<TpgwView>(obj) || FastCast<TpgwSubreport>(obj)) continue;
      obj->SetLeft(obj->Left() + copy->Left());
      obj->SetTop(obj->Top() + copy->Top());
      obj->SetParentFont(false);
      if (!inBand) obj->SetName({});
      if (auto* s = FastCast<TpgwStretcheable>(obj)) s->SetStretchMode(smDontStretch);
      obj->SetParent(&container);
    }
}

// ---- printing a band in parts
// ----------------------------------------------------------------------------------

void TpgwEngine::SplitJoin(TpgwComponent* obj, TpgwBand& band) {
  for (auto& h : FSplitHeld)
    if (h.get() == obj) {
      h.release()->SetParent(&band);
      break;
    }
  FSplitHeld.erase(std::remove(FSplitHeld.begin(), FSplitHeld.end(), nullptr), FSplitHeld.end());
}

void TpgwEngine::SplitLeaveAll(TpgwBand& band) {
  for (TpgwComponent* obj : band.Objects().Snapshot()) FSplitHeld.push_back(obj->DetachFromParent());
}

void TpgwEngine::PrintInParts(TpgwBand& band) {
  std::vector<TpgwComponent*> saved;
  std::vector<TpgwComponent*> remaining;
  for (TpgwComponent* obj : band.Objects().Snapshot()) {
    saved.push_back(obj);
    // Subreports print after the band, not in its parts.
    if (!FastCast<TpgwSubreport>(obj)) remaining.push_back(obj);
    if (auto* s = FastCast<TpgwStretcheable>(obj)) {
      s->InitPart();
      s->SetSaveHeight(s->Height());
    }
  }
  // The objects leave the band while it prints part by part; each part takes back what fits.
  FSplitHeld.clear();
  SplitLeaveAll(band);
  const size_t initialCount = remaining.size();
  bool anySplit = false;
  int idleParts = 0;
  auto rejoin = ScopeExit([&] {
    for (TpgwComponent* obj : saved) SplitJoin(obj, band);
  });
  {
    while (!remaining.empty() && !FReport.Terminated()) {
      const Extended free = FreeSpace();
      if (SplitObjects(band, remaining, free)) anySplit = true;
      band.SetLeft(FCurX);
      band.SetTop(FCurY);
      // Each part shows the band's fill and frame at its own height.
      if (FFinalPass) band.CreateFillMemo();
      FPreviewPages.AddObject(band);
      band.DisposeFillMemo();
      FCurY += band.Height();
      FCurBand = &band;
      const bool nothingProgressed = !anySplit && remaining.size() == initialCount;
      SplitLeaveAll(band);
      // A part that takes nothing on a fresh page would repeat forever: the rest goes whole.
      idleParts = (band.Height() <= kTol && !remaining.empty()) ? idleParts + 1 : 0;
      if (idleParts >= 2) {
        for (TpgwComponent* obj : remaining) {
          if (obj->Top() < 0) obj->SetTop(0);
          SplitJoin(obj, band);
        }
        remaining.clear();
        band.SetTop(FCurY);
        if (FFinalPass) band.CreateFillMemo();
        FPreviewPages.AddObject(band);
        band.DisposeFillMemo();
        SplitLeaveAll(band);
        break;
      }
      if (!remaining.empty()) NewColumn();
      FinalizeSplit(remaining, free, nothingProgressed);
    }
  }
}

bool TpgwEngine::SplitObjects(TpgwBand& band, std::vector<TpgwComponent*>& remaining, Extended aHeight) {
  bool result = false;
  std::vector<TpgwComponent*> movedThisPart;
  // Moves the waiting objects that start below `o` and overlap it horizontally.
  auto moveBelow = [&](TpgwComponent* o, Extended by, bool once, size_t oIndex) {
    const Extended left = o->Left();
    const Extended right = o->Left() + o->Width();
    std::vector<TpgwComponent*> toEnd;
    for (size_t k = 0; k < remaining.size(); ++k) {
      TpgwComponent* b = remaining[k];
      if (b == o || b->Top() <= o->Top() + kTol) continue;
      if (!(b->Left() < right - kTol && b->Left() + b->Width() > left + kTol)) continue;
      if (once) {
        if (std::find(movedThisPart.begin(), movedThisPart.end(), b) != movedThisPart.end()) continue;
        movedThisPart.push_back(b);
        if (k < oIndex) toEnd.push_back(b);
      }
      b->SetTop(b->Top() + by);
    }
    for (TpgwComponent* b : toEnd) {
      remaining.erase(std::find(remaining.begin(), remaining.end(), b));
      remaining.push_back(b);
    }
  };

  for (size_t idx = 0; idx < remaining.size();) {
    TpgwComponent* o = remaining[idx];
    Extended part = 0;
    bool fits = o->Top() + o->Height() <= aHeight + kTol;
    auto* s = FastCast<TpgwStretcheable>(o);
    bool shifted = false;
    const Extended givenHeight = aHeight - o->Top();
    if (s) {
      s->SetSavedTop(o->Top());
      if (o->Top() < aHeight) {
        s->SetHeight(givenHeight);
        part = s->DrawPart();
        fits = !s->HasNextDataPart(aHeight);
        if (fits) {
          const Extended shift = s->GetLastShiftAmount(aHeight);
          if (std::fabs(shift) > kTol) {
            s->SetHeight(s->SaveHeight() + shift);
            moveBelow(o, shift, true, idx);
            shifted = true;
          }
        }
      }
    }
    if (fits) {
      if (s && !shifted) s->SetHeight(s->SaveHeight());
      remaining.erase(std::find(remaining.begin(), remaining.end(), o));
      SplitJoin(o, band);
      continue;
    }
    if (s && o->Top() < aHeight) {
      moveBelow(o, part, false, idx);
      if (std::fabs(part - givenHeight) <= kTol) {
        // Nothing of it fitted: it goes whole to the next part.
        o->SetTop(aHeight);
        s->SetHeight(s->SaveHeight());
      } else {
        SplitJoin(o, band);
        s->SetSaveHeight(part + (s->SaveHeight() - givenHeight));
        result = true;
      }
      ++idx;
      continue;
    }
    if (o->Top() >= aHeight - kTol) {
      // Wholly below the split line: it waits for a later part at its distance from the line.
      ++idx;
      continue;
    }
    if (o->Height() <= EffectivePageHeight() - FooterHeight()) {
      moveBelow(o, aHeight - o->Top(), false, idx);
      o->SetTop(aHeight);
      ++idx;
    } else {
      remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(idx));
      SplitJoin(o, band);
    }
  }
  Extended bottom = 0;
  for (TpgwComponent* obj : band.Objects().Snapshot()) bottom = std::max(bottom, obj->Top() + obj->Height());
  band.SetHeight(bottom);
  if (remaining.empty())
    for (TpgwComponent* obj : band.Objects().Snapshot()) {
      if (obj->Align() == baBottom) obj->SetTop(bottom - obj->Height());
      if (auto* s = FastCast<TpgwStretcheable>(obj); s && s->StretchMode() == smMaxHeight)
        s->SetHeight(bottom - s->Top());
    }
  return result;
}

void TpgwEngine::FinalizeSplit(std::vector<TpgwComponent*>& remaining, Extended splitHeight,
                               bool nothingProgressed) {
  for (TpgwComponent* o : remaining) {
    o->SetTop(o->Top() - splitHeight);
    if (auto* s = FastCast<TpgwStretcheable>(o)) {
      if (nothingProgressed) o->SetTop(s->SavedTop());
      if (o->Top() < 0) o->SetTop(0);
      s->SetHeight(s->SaveHeight());
    }
  }
}

}  // namespace pagewright
