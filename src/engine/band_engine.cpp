#include "engine/band_engine.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <cmath>
#include <string>

#include "data/data_set.h"
#include "engine/shift_engine.h"
#include "expressions/report_expressions.h"
#include "platform/exceptions.h"
#include "platform/fast_cast.h"
#include "platform/format.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/report.h"
#include "script/interpreter.h"
#include "support/resources.h"

namespace pagewright {

namespace {

// Bands nest into one another only through a handful of levels; a deeper walk can only be a
// template whose details refer back to themselves.
constexpr int kMaxNesting = 64;

// While the engine runs, its report knows it, so that aggregates in expressions reach its totals;
// an engine started inside another (a nested report) hands the report back when it ends.
struct RunningRegistration {
  TpgwReport& report;
  IpgwRunningEngine* previous;
  RunningRegistration(TpgwReport& r, IpgwRunningEngine* e) : report(r), previous(r.RunningEngine()) {
    report.SetRunningEngine(e);
  }
  ~RunningRegistration() { report.SetRunningEngine(previous); }
};

TpgwDataSet* DataSetOf(TpgwComponent* band) {
  auto* db = FastCast<TpgwDataBand>(band);
  return db ? FastCast<TpgwDataSet>(db->DataSet()) : nullptr;
}

bool IsDataBand(const TpgwBand* band) {
  return FastCast<const TpgwDataBand>(band) != nullptr;
}

WideString EngineText(std::string_view key) {
  return ResourceGet(key);
}

bool IsTrue(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return false;
  try {
    return v.AsBoolean();
  } catch (const Exception&) {
    return false;
  }
}

bool SameValue(const Variant& a, const Variant& b) {
  try {
    return VarCompareValue(a, b) == vrEqual;
  } catch (const Exception&) {
    return VarToStr(a) == VarToStr(b);
  }
}

}  // namespace

// ---- header list ---------------------------------------------------------------------------------------

void TpgwHeaderList::RemoveItem(const TpgwBand* band) {
  if (!band) return;
  for (auto it = FItems.begin(); it != FItems.end(); ++it)
    if (it->Band == band) {
      FItems.erase(it);
      return;
    }
}

// ---- engine ----------------------------------------------------------------------------------------------

TpgwEngine::TpgwEngine(TpgwReport& report, TpgwPreviewPages& previewPages)
    : FReport(report),
      FPreviewPages(previewPages),
      FAggregates(report),
      FShiftEngine(std::make_unique<TpgwShiftEngineImpl>()) {
  FPreviewPages.SetEngine(this);
}

TpgwEngine::~TpgwEngine() {
  if (FPreviewPages.Engine() == this) FPreviewPages.SetEngine(nullptr);
}

bool TpgwEngine::DoublePass() const {
  return FReport.EngineOptions().DoublePass();
}

void TpgwEngine::StopReport() {
  FReport.SetTerminated(true);
}

void TpgwEngine::PrintBand(TpgwBand* band) {
  if (band) ShowBand(band);
}

int TpgwEngine::PageNo() {
  return FPreviewPages.GetLogicalPageNo();
}

void TpgwEngine::AddAnchor(const WideString& text) {
  FPreviewPages.AddAnchor(text);
}

int TpgwEngine::GetAnchorPage(const WideString& text) {
  return FPreviewPages.GetAnchorPage(text);
}

void TpgwEngine::AddOutlineItem(const WideString& text) {
  FPreviewPages.Outline().AddItem(text, static_cast<int>(RoundHalfEven(FCurY)));
}

void TpgwEngine::OutlineLevelRoot() {
  FPreviewPages.Outline().LevelRoot();
}

void TpgwEngine::OutlineLevelUp() {
  FPreviewPages.Outline().LevelUp();
}

int TpgwEngine::PreparedPageCount() {
  return FPreviewPages.GetCount();
}

int TpgwEngine::CurPreparedPage() {
  return FPreviewPages.CurPage();
}

void TpgwEngine::PostProcessorMacroList(TStringList& list) {
  FPreviewPages.PostProcessor().GetMacroList(list);
}

void TpgwEngine::ResetPostProcessorDuplicates(const WideString& bandName) {
  FPreviewPages.PostProcessor().ResetDuplicates(bandName);
}

std::unique_ptr<TpgwComponent> TpgwEngine::PreparedPageCopy(int index) {
  return FPreviewPages.CopyPage(index);
}

void TpgwEngine::ReplacePreparedPageObjects(int index, TpgwComponent& page) {
  FPreviewPages.ReplacePageObjects(index, page);
}

void TpgwEngine::SyncCounters() {
  TpgwRunCounters& c = ReportScript(FReport).Counters();
  c.PageIndex = std::max(0, FPreviewPages.CurPage());
  c.Page = FPreviewPages.GetLogicalPageNo();
  c.TotalPages = FPreviewPages.GetLogicalTotalPages();
  c.EngineTotalPages = FTotalPages;
  c.CurLine = FCurLine;
  c.CurLineThrough = FCurLineThrough;
}

void TpgwEngine::FireEvent(const WideString& procName, TpgwComponent* sender) {
  const WideString name = Trim(procName);
  if (name.empty()) return;
  TvmScript& script = ReportScript(FReport).Script();
  const bool running = FReport.EngineOptions().RunScripts();
  const WideString who = sender && !sender->Name().empty() ? sender->Name() : WideString(u"the report");
  if (running && !script.Find(name)) {
    // A renamed or deleted procedure: said once, and the report is not taken for right.
    if (FMissingEvents.insert(WideUpperCase(name)).second)
      FReport.Errors().Add(who + u": the event procedure " + name + u" is not declared in the report script");
    return;
  }
  try {
    script.CallFunction(name, VarArrayOf({Variant::FromObject(sender)}));
  } catch (const Exception& e) {
    if (!running) throw;
    // The preparation ends with one line that says where the script failed.
    const WideString& pos = script.ErrorDetailPos.empty() ? script.ErrorPos : script.ErrorDetailPos;
    throw Exception("Report script" + (pos.empty() ? std::string() : " at " + Utf16ToUtf8(pos)) + ", in " +
                    Utf16ToUtf8(name) + " called for " + Utf16ToUtf8(who) + ": " + e.ClassName() + ": " +
                    e.Message());
  }
}

Variant TpgwEngine::GetAggregateValue(const WideString& name, const WideString& expression,
                                      TpgwComponent* dataRow, int flags) {
  Variant value = FAggregates.GetValue(FCurBand, FCurVColumn, name, expression, dataRow, flags);
  if (!value.IsNull()) return value;
  // A text computed later, when another band is current, totals in its own band.
  TpgwComponent* object = FReport.CurObject().empty() ? nullptr : FReport.FindObject(FReport.CurObject());
  for (TpgwComponent* p = object ? object->Parent() : nullptr; p; p = p->Parent())
    if (auto* band = FastCast<TpgwBand>(p)) {
      if (band != FCurBand) value = FAggregates.GetValue(band, FCurVColumn, name, expression, dataRow, flags);
      break;
    }
  return value;
}

Variant TpgwEngine::AggregateValue(const WideString& funcName, const WideString& expr, const Variant& band,
                                   int flags) {
  TpgwComponent* dataRow = nullptr;
  if (band.IsObject()) dataRow = FastCast<TpgwComponent>(band.AsObject());
  return GetAggregateValue(funcName, expr, dataRow, flags);
}

void TpgwEngine::ProcessObject(TpgwComponent* obj) {
  auto* view = FastCast<TpgwView>(obj);
  if (!view || view->Processing().ProcessAt != paCustom) return;
  if (auto* memo = FastCast<TpgwCustomMemoView>(view)) {
    if (TpgwMacrosItem* item = FPreviewPages.PostProcessor().Find(memo->Name()))
      memo->ProcessDictionary(*item, FReport, FPreviewPages.PostProcessor());
  }
}

// ---- the run
// ------------------------------------------------------------------------------------------------

bool TpgwEngine::Run(bool /*runDialogs*/, bool /*clearLast*/, TpgwReportPage* page) {
  RunningRegistration registration(FReport, this);
  bool result = false;
  bool initialized = false;
  struct EndOfRun {
    TpgwEngine& e;
    bool& initialized;
    ~EndOfRun() {
      try {
        if (initialized) e.FireEvent(e.FReport.OnStopReport(), &e.FReport);
      } catch (...) {
      }
      e.Finalize();
    }
  } endOfRun{*this, initialized};

  if (!Initialize()) return false;
  initialized = true;
  InitializeDataSets(FReport.DataSets());
  FireEvent(FReport.OnStartReport(), &FReport);

  FPages.clear();
  if (page) {
    FPages.push_back(page);
  } else {
    for (TpgwComponent* c : FReport.Objects().Snapshot())
      if (auto* p = FastCast<TpgwReportPage>(c)) FPages.push_back(p);
  }
  for (TpgwReportPage* p : FPages) {
    FPreviewPages.AddSourcePage(*p);
    FAggregates.AddItems(*p);
  }
  FFinalPass = !DoublePass();
  FTotalPages = 0;
  FPreviewPages.BeginPass();
  int lastColumn = 0;
  Extended lastColumnPos = 0;
  if (FPreviewPages.GetCount() > 0 && DoublePass()) FPreviewPages.GetLastColumnPos(lastColumn, lastColumnPos);
  RunPasses(page);
  if (DoublePass() && !FReport.Terminated()) {
    FTotalPages = FPreviewPages.GetCount();
    FPreviewPages.SetCurPage(FPreviewPages.GetCount() - 1);
    FPreviewPages.ClearFirstPassPages();
    if (FPreviewPages.CurPage() >= 0 && FPreviewPages.CurPage() < FPreviewPages.GetCount())
      FPreviewPages.UpdatePageLastColumn(lastColumn, true, lastColumnPos);
    FAggregates.ClearValues();
    FFinalPass = true;
    // The final pass starts where the first did: what prints before any data band moves (the
    // first page header) shows the first records, not the last ones the first pass left.
    for (int i = 0; i < FReport.DataSets().Count(); ++i)
      if (auto* ds = FastCast<TpgwDataSet>(FReport.DataSets().Items(i).DataSet())) ds->First();
    RunPasses(page);
  }
  result = true;
  return result;
}

bool TpgwEngine::Initialize() {
  FPrevFooterHeight = 0;
  FPreviewPages.Initialize();
  FPreviewPages.SetAddPageAction(apAdd);
  const TDateTime now = Now();
  TpgwRunCounters& c = ReportScript(FReport).Counters();
  c.StartDate = now;
  c.StartTime = now;
  FRunning = true;
  FKeeping = false;
  FCurVColumn = 0;
  FAggregates.Clear();
  std::vector<TpgwReportPage*> pages;
  for (TpgwComponent* comp : FReport.Objects().Snapshot())
    if (auto* p = FastCast<TpgwReportPage>(comp)) pages.push_back(p);
  for (TpgwReportPage* p : pages) BuildBandStructure(*p);
  for (TpgwReportPage* p : pages) {
    if (FReport.DataSet() && FReport.DataSet() == p->DataSet()) {
      FReport.Errors().Add(u"Cannot use the same dataset for Report.DataSet and Page.DataSet");
      break;
    }
    for (TpgwBand* b : p->SubBands) {
      TComponent* ds = static_cast<TpgwDataBand*>(b)->DataSet();
      if (ds && ds == FReport.DataSet()) {
        FReport.Errors().Add(u"Cannot use the same dataset for Report.DataSet and Band.DataSet");
        break;
      }
      if (ds && ds == p->DataSet()) {
        FReport.Errors().Add(u"Cannot use the same dataset for Page.DataSet and Band.DataSet");
        break;
      }
    }
  }
  return FReport.Errors().Count() == 0;
}

void TpgwEngine::BuildBandStructure(TpgwReportPage& page) {
  page.AlignChildren();
  page.SubBands.clear();
  std::vector<TpgwBand*> bands;
  for (TpgwComponent* c : page.Objects().Snapshot())
    if (auto* b = FastCast<TpgwBand>(c)) bands.push_back(b);
  for (TpgwBand* b : bands) {
    PrepareShiftTree(b);
    b->SubBands.clear();
    b->Header = b->Footer = b->Group = nullptr;
    b->HasVBands = false;
    auto* db = FastCast<TpgwDataBand>(b);
    if (db && !db->DataSet() && db->RowCount() > 0) {
      // A band that prints a number of rows without data walks a data set of that many records.
      auto ds = std::make_unique<TpgwUserDataSet>(nullptr);
      ds->SetRangeEnd(reCount);
      ds->SetRangeEndCount(db->RowCount());
      ds->Initialize();
      db->SetDataSet(ds.get());
      FRowCountDataSets.emplace_back(db, std::move(ds));
    }
  }

  // Headers, footers, data bands and groups in their vertical order; of two bands at the same
  // position (to two decimals, halves to even) only the first takes part. The key is numeric, so
  // negative tops sort below positive ones whatever the locale.
  std::map<Extended, TpgwBand*> ordered;
  for (TpgwBand* b : bands) {
    const int n = b->BandNumber();
    if (n < 4 || n > 13) continue;
    const Extended top = std::isnan(b->Top()) ? 0 : b->Top();
    ordered.emplace(std::nearbyint(top * 100), b);
  }
  std::vector<TpgwBand*> list;
  for (auto& [key, b] : ordered) list.push_back(b);
  auto addError = [&](std::string_view key, const TpgwBand* b) {
    FReport.Errors().Add(EngineText(key) + u" " + b->Name());
  };

  // Groups.
  for (size_t i = 0; i < list.size(); ++i) {
    auto* gh = FastCast<TpgwGroupHeader>(list[i]);
    if (!gh) continue;
    gh->SubBands.clear();
    size_t j = i;
    while (j < list.size() && FastCast<TpgwGroupHeader>(list[j])) gh->SubBands.push_back(list[j++]);
    size_t k = j;
    while (k < list.size() && !IsDataBand(list[k])) ++k;
    if (k < list.size())
      list[k]->Group = gh;
    else
      addError("enUnconnGroup", gh);
    i = j - 1;
  }
  std::vector<bool> removed(list.size(), false);
  for (size_t i = 0; i < list.size(); ++i) {
    if (!FastCast<TpgwGroupFooter>(list[i])) continue;
    for (size_t k = i; k-- > 0;)
      if (!removed[k] && FastCast<TpgwGroupHeader>(list[k])) {
        list[k]->Footer = list[i];
        removed[k] = removed[i] = true;
        break;
      }
  }
  for (size_t i = 0; i < list.size(); ++i) {
    if (removed[i]) continue;
    if (FastCast<TpgwGroupFooter>(list[i])) addError("enUnconnGFooter", list[i]);
    if (FastCast<TpgwGroupHeader>(list[i]) || FastCast<TpgwGroupFooter>(list[i])) removed[i] = true;
  }
  auto compact = [&]() {
    std::vector<TpgwBand*> kept;
    for (size_t i = 0; i < list.size(); ++i)
      if (!removed[i]) kept.push_back(list[i]);
    list.swap(kept);
    removed.assign(list.size(), false);
  };
  compact();

  // Headers and footers of data bands.
  for (size_t i = 0; i < list.size(); ++i) {
    if (!IsDataBand(list[i])) continue;
    if (i > 0 && !removed[i - 1] && FastCast<TpgwHeader>(list[i - 1])) {
      list[i]->Header = list[i - 1];
      removed[i - 1] = true;
    }
    if (i + 1 < list.size() && FastCast<TpgwFooter>(list[i + 1])) {
      list[i]->Footer = list[i + 1];
      removed[i + 1] = true;
    }
  }
  for (size_t i = 0; i < list.size(); ++i)
    if (!removed[i] && (FastCast<TpgwHeader>(list[i]) || FastCast<TpgwFooter>(list[i]))) {
      addError("enUnconnHeader", list[i]);
      removed[i] = true;
    }
  compact();

  // Masters and their details.
  std::function<void(TpgwBand*, size_t, int)> addDetails = [&](TpgwBand* master, size_t from, int depth) {
    if (depth > kMaxNesting) return;
    size_t idx = from;
    while (idx < list.size()) {
      TpgwBand* x = list[idx];
      if (x->BandNumber() == master->BandNumber() + 1) {
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(idx));
        if (DataSetOf(x)) master->SubBands.push_back(x);
        if (!FastCast<TpgwDataBand6>(x)) addDetails(x, idx, depth + 1);
      } else if (x->BandNumber() <= master->BandNumber()) {
        break;
      } else {
        ++idx;
      }
    }
  };
  for (size_t i = 0; i < list.size();) {
    if (!FastCast<TpgwMasterData>(list[i])) {
      ++i;
      continue;
    }
    TpgwBand* master = list[i];
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
    if (DataSetOf(master)) page.SubBands.push_back(master);
    addDetails(master, i, 0);
  }
  for (TpgwBand* b : list) addError("enBandPos", b);
}

void TpgwEngine::RunPasses(TpgwReportPage* page) {
  FFirstReportPage = true;
  if (auto* ds = FastCast<TpgwDataSet>(FReport.DataSet())) {
    ds->First();
    while (!ds->Eof() && !FReport.Terminated()) {
      RunAllPages(page);
      ds->Next();
    }
  } else {
    RunAllPages(page);
  }
}

void TpgwEngine::RunAllPages(TpgwReportPage* page) {
  if (page) {
    RunPage(*page);
    FFirstReportPage = false;
    return;
  }
  for (TpgwReportPage* p : FPages) {
    if (FReport.Terminated()) break;
    if (p->IsSubReport() || !p->Visible()) continue;
    RunPage(*p);
    FFirstReportPage = false;
  }
}

void TpgwEngine::RunPage(TpgwReportPage& page) {
  if (page.IsSubReport()) {
    // It prints inside its parent's band, so the page in charge (headers, footers, free space,
    // columns) stays the parent's.
    RunDataBandLoop(page.SubBands);
    return;
  }
  FPage = &page;
  FIsFirstBand = true;
  FireEvent(page.OnBeforePrint(), &page);
  if (auto* ds = FastCast<TpgwDataSet>(page.DataSet())) {
    ds->First();
    while (!ds->Eof() && !FReport.Terminated()) {
      RunPageInstance(page);
      ds->Next();
    }
  } else {
    for (int i = 0; i < page.PageCount() && !FReport.Terminated(); ++i) RunPageInstance(page);
  }
  FireEvent(page.OnAfterPrint(), &page);
}

void TpgwEngine::RunPageInstance(TpgwReportPage& page) {
  FPage = &page;
  if (!(page.PrintIfEmpty() && FReport.EngineOptions().PrintIfEmpty()) && !DetailHasData(&page, false))
    return;
  StartReportPage(page);
  ShowPageObjects(page);
  if (!Trim(page.OnManualBuild()).empty())
    FireEvent(page.OnManualBuild(), &page);
  else
    RunDataBandLoop(page.SubBands);
  FIsLastPage = true;
  if (page.EndlessHeight() || page.EndlessWidth()) {
    const Extended width =
        page.EndlessWidth() ? (page.LeftMargin() * pgwMMUnits + FPageWidth + page.RightMargin() * pgwMMUnits)
                            : page.PaperWidth() * pgwMMUnits;
    Extended height = page.PaperHeight() * pgwMMUnits;
    if (page.EndlessHeight()) {
      FPageHeight = FooterHeight() + FCurY;
      height = EffectivePageHeight() + (page.TopMargin() + page.BottomMargin()) * pgwMMUnits;
    }
    FPreviewPages.UpdatePageDimensions(page, width, height);
  }
  EndPage();
  FIsLastPage = false;
  EndOfBand(nullptr, paReportPageFinished);
}

void TpgwEngine::ShowPageObjects(TpgwReportPage& page) {
  std::vector<TpgwComponent*> objects;
  for (TpgwComponent* c : page.Objects().Snapshot())
    if (!c->IsBand() && FastCast<TpgwReportComponent>(c)) objects.push_back(c);
  if (objects.empty()) return;
  // The band lives on the page while it prints, so its objects reach their report.
  auto* band = &CreateChild<TpgwNullBand>(page);
  band->SetBounds(0, 0, FPageWidth, FPageHeight);
  // The objects visit the band for this instance and go back to the page in their order.
  std::vector<int> positions;
  for (TpgwComponent* c : objects) positions.push_back(page.Objects().IndexOf(c));
  for (TpgwComponent* c : objects) c->SetParent(band);
  const Extended savedY = FCurY;
  struct Return {
    std::vector<TpgwComponent*>& objects;
    std::vector<int>& positions;
    TpgwReportPage& page;
    TpgwShiftEngineImpl& shift;
    TpgwNullBand* band;
    ~Return() {
      shift.ClearContainer(band);
      for (size_t i = 0; i < objects.size(); ++i) {
        objects[i]->SetParent(&page);
        const int at = page.Objects().IndexOf(objects[i]);
        if (at >= 0 && positions[i] >= 0 && positions[i] < page.Objects().Count())
          page.Objects().Move(at, positions[i]);
      }
      band->DetachFromParent();
    }
  } giveBack{objects, positions, page, *FShiftEngine, band};
  ShowBand(band);
  FCurY = savedY;
}

void TpgwEngine::Finalize() {
  try {
    FinalizeDataSets(FReport.DataSets());
  } catch (...) {
  }
  for (auto& [band, ds] : FRowCountDataSets) {
    if (band->DataSet() == ds.get()) band->SetDataSet(nullptr);
    ds->Finalize();
  }
  FRowCountDataSets.clear();
  FRunning = false;
  FPreviewPages.Finish();
  FShiftEngine->Clear();
  FTemporary.clear();
}

// ---- data bands -------------------------------------------------------------------------------------------

bool TpgwEngine::DetailHasData(TpgwComponent* pageOrBand, bool flag, int depth) {
  if (flag) return true;
  if (depth > kMaxNesting) return true;
  auto* band = FastCast<TpgwBand>(pageOrBand);
  auto* page = FastCast<TpgwReportPage>(pageOrBand);
  const std::vector<TpgwBand*>& details = band ? band->SubBands : page->SubBands;
  bool result = band ? details.empty() : false;
  for (TpgwBand* d : details) {
    TpgwDataSet* ds = DataSetOf(d);
    if (!ds) continue;
    auto* db = static_cast<TpgwDataBand*>(d);
    FireEvent(db->OnMasterDetail(), db);
    ds->First();
    while (!ds->Eof()) {
      if (DetailHasData(db, db->PrintIfDetailEmpty(), depth + 1)) {
        result = true;
        break;
      }
      ds->Next();
    }
    if (result) break;
  }
  return result;
}

void TpgwEngine::RunDataBandLoop(const std::vector<TpgwBand*>& bands, int depth) {
  if (FReport.Terminated() || depth > kMaxNesting) return;
  for (TpgwBand* b : std::vector<TpgwBand*>(bands)) {
    if (FReport.Terminated()) return;
    if (!DataSetOf(b)) continue;
    RunDataBand(*static_cast<TpgwDataBand*>(b), depth);
  }
}

void TpgwEngine::ClearSuppressed(TpgwBand& band) {
  FPreviewPages.PostProcessor().ResetDuplicates(band.Name());
  for (TpgwComponent* c : band.Objects().Snapshot())
    if (auto* memo = FastCast<TpgwCustomMemoView>(c)) memo->ResetSuppress();
}

void TpgwEngine::AddBandOutline(TpgwBand& band) {
  if (band.OutlineText().empty() || !band.Visible()) return;
  const WideString text = VarToStr(FReport.Calc(band.OutlineText()));
  const Extended h = band.Stretched() ? band.StretchedHeight : band.Height();
  FPreviewPages.Outline().AddItem(text, static_cast<int>(RoundHalfEven(FCurY - h)));
}

void TpgwEngine::RunDataBand(TpgwDataBand& band, int depth) {
  TpgwDataSet* ds = DataSetOf(&band);
  ds->First();
  band.LineN = 1;
  band.LineThrough = 1;
  band.SetCurColumn(1);
  bool first = true;
  bool headerKept = false;
  ClearSuppressed(band);
  FPreviewPages.PostProcessor().EnterData();
  int footerKeepPosition = 0;
  bool childPending = false;
  do {
    if (ds->Eof()) break;
    if (headerKept && band.KeepHeader() && band.Header) {
      EndKeep(&band);
      headerKept = false;
    }
    bool passes = true;
    if (!Trim(band.Filter()).empty()) {
      FReport.SetCurObject(band.Name());
      passes = IsTrue(FReport.Calc(Trim(band.Filter())));
    }
    if (passes && DetailHasData(&band, band.PrintIfDetailEmpty())) {
      if (first) {
        if (band.KeepHeader() && band.Header) {
          if (FIsFirstBand) FIsFirstBand = !FTitlePrinted;
          FKeepHeader = !FIsFirstBand;
          StartKeep(&band);
          headerKept = true;
        }
        AddToHeaderList(band.Header);
        ShowBand(band.Header);
        if (band.KeepTogether() && !FKeeping) StartKeep(&band);
      } else if (!band.Group && band.KeepTogether() && !headerKept) {
        StartKeep(&band);
      }
      if (first)
        StartGroups(band, 0, true);
      else
        CheckGroups(band);
      if (band.KeepFooter()) footerKeepPosition = FPreviewPages.GetCurPosition();
      if (band.Columns() > 1 && band.CurColumn() == 1) {
        FRowBlockStart = FPreviewPages.GetCurPosition();
        FRowBlockTopY = FCurY;
      }
      FRowTopY = FCurY;
      FCurLine = band.LineN;
      FCurLineThrough = band.LineThrough;
      if (ShowBand(&band)) childPending = true;
      FKeepHeader = false;
      if (first && band.KeepHeader() && band.Header && !(band.KeepFooter() && band.Footer)) {
        EndKeep(&band);
        headerKept = false;
      }
      first = false;
      FHBandNamesTree.emplace_back(band.Name(), band.LineThrough);
      ++band.LineN;
      ++band.LineThrough;
      MultiColumnStep(band);
      AddBandOutline(band);
      RunDataBandLoop(band.SubBands, depth + 1);
      if (!FHBandNamesTree.empty()) FHBandNamesTree.pop_back();
      if (!band.OutlineText().empty() && band.Visible()) FPreviewPages.Outline().LevelUp();
      FIsFirstBand = false;
      if (band.FooterAfterEach() && band.Footer) {
        if (band.KeepFooter()) {
          StartKeep(&band, footerKeepPosition);
          FKeepFooter = true;
        }
        ShowBand(band.Footer);
        if (band.KeepFooter()) {
          EndKeep(&band);
          FKeepFooter = false;
        }
      }
    }
    if (!band.Group && band.KeepTogether() && !headerKept) EndKeep(&band);
    ds->Next();
  } while (!(band.RowCount() != 0 && band.RowCount() < band.LineN) && !FReport.Terminated());
  if (band.Columns() > 1) {
    band.SetCurColumn(band.Columns());
    MultiColumnStep(band);
    if (!band.Visible()) FCurY = std::max(FCurY, band.MaxY());
  }

  const int savedPageCount = FPreviewPages.GetCount();
  int savedPosition = 0;
  if (childPending) {
    savedPosition = FPreviewPages.GetCurPosition();
    FLockResetAggregates = true;
  }
  if (!first) {
    EndGroups(band, 0);
    if (FKeeping) FHeaderList.RemoveItem(band.Header);
    if (!band.FooterAfterEach()) {
      if (band.KeepFooter() && !headerKept) StartKeep(&band, footerKeepPosition);
      FKeepFooter = true;
      ShowBand(band.Footer);
      if (band.KeepFooter()) EndKeep(&band);
      FKeepFooter = false;
    }
    FHeaderList.RemoveItem(band.Header);
    if (band.Group && band.KeepTogether()) EndKeep(&band);
  }
  if (headerKept) EndKeep(&band);
  if (childPending) ShowChildRows(band, true, savedPageCount, savedPosition);
  FLockResetAggregates = false;
  FPreviewPages.PostProcessor().LeaveData();
  FIsFirstBand = false;
}

void TpgwEngine::StartGroups(TpgwDataBand& band, size_t from, bool reset) {
  if (!band.Group) return;
  std::vector<TpgwBand*>& chain = band.Group->SubBands;
  for (size_t lvl = from; lvl < chain.size(); ++lvl) {
    TpgwBand* h = chain[lvl];
    if (reset) {
      h->LineN = 1;
      h->LineThrough = 1;
      ClearSuppressed(*h);
    } else {
      ++h->LineN;
      if (lvl + 1 < chain.size()) chain[lvl + 1]->LineN = 0;
      ++h->LineThrough;
    }
  }
  band.SetCurColumn(1);
  ApplyDrillDown(band);
  for (size_t lvl = from; lvl < chain.size(); ++lvl) {
    auto* h = static_cast<TpgwGroupHeader*>(chain[lvl]);
    FCurLine = h->LineN;
    FCurLineThrough = h->LineThrough;
    FReport.SetCurObject(h->Name());
    SyncCounters();
    h->LastValue = FReport.Calc(h->Condition());
    if (h->KeepTogether()) StartKeep(h);
    FPreviewPages.PostProcessor().EnterGroup();
    h->GroupLevel = FPreviewPages.PostProcessor().GroupLevel();
    ShowBand(h);
    AddBandOutline(*h);
    if (h->ReprintOnNewPage()) AddToHeaderList(h);
  }
}

void TpgwEngine::CheckGroups(TpgwDataBand& band) {
  if (!band.Group) return;
  std::vector<TpgwBand*>& chain = band.Group->SubBands;
  ApplyDrillDown(band);
  size_t changed = chain.size();
  for (size_t lvl = 0; lvl < chain.size(); ++lvl) {
    auto* h = static_cast<TpgwGroupHeader*>(chain[lvl]);
    FReport.SetCurObject(h->Name());
    if (!SameValue(FReport.Calc(h->Condition()), h->LastValue)) {
      changed = lvl;
      break;
    }
  }
  if (changed == chain.size()) return;
  band.SetCurColumn(band.Columns());
  TpgwDataSet* ds = DataSetOf(&band);
  bool steppedBack = true;
  try {
    ds->Prior();
  } catch (const Exception&) {
    steppedBack = false;
  }
  MultiColumnStep(band);
  EndGroups(band, changed);
  if (steppedBack) ds->Next();
  StartGroups(band, changed, false);
  band.LineN = 1;
  ClearSuppressed(band);
}

void TpgwEngine::EndGroups(TpgwDataBand& band, size_t downTo) {
  if (!band.Group) return;
  std::vector<TpgwBand*>& chain = band.Group->SubBands;
  for (size_t lvl = chain.size(); lvl-- > downTo;) {
    auto* h = static_cast<TpgwGroupHeader*>(chain[lvl]);
    if (TpgwBand* f = h->Footer) {
      auto* gf = FastCast<TpgwGroupFooter>(f);
      if (gf && gf->HideIfSingleDataRecord() && band.LineN < 3)
        EndOfBand(f, paGroupFinished);
      else
        ShowBand(f);
    } else {
      // Without a footer the group's deferred texts are due here.
      EndOfBand(nullptr, paGroupFinished);
    }
    if (!h->OutlineText().empty() && h->Visible()) FPreviewPages.Outline().LevelUp();
    FHeaderList.RemoveItem(h);
    if (h->KeepTogether()) EndKeep(h);
    FPreviewPages.PostProcessor().LeaveGroup();
  }
}

void TpgwEngine::ApplyDrillDown(TpgwDataBand& band) {
  std::vector<TpgwBand*>& chain = band.Group->SubBands;
  for (size_t lvl = 0; lvl < chain.size(); ++lvl) {
    auto* h = static_cast<TpgwGroupHeader*>(chain[lvl]);
    if (!h->DrillDown()) continue;
    WideString name;
    for (const auto& [bandName, line] : FHBandNamesTree) name += bandName + IntToStr(line) + u".";
    name += h->Name() + u"." + IntToStr(h->LineN);
    h->SetDrillName(name);
    const bool listed = FReport.DrillState().IndexOf(name) >= 0;
    const bool expanded = h->ExpandDrillDown() != listed;
    if (h->Child() && !h->ShowChildIfDrillDown()) h->Child()->SetVisible(expanded);
    for (size_t deeper = lvl + 1; deeper < chain.size(); ++deeper) {
      chain[deeper]->SetVisible(expanded);
      if (chain[deeper]->Footer) chain[deeper]->Footer->SetVisible(expanded);
    }
    band.SetVisible(expanded);
    if (h->Footer && !h->ShowFooterIfDrillDown()) h->Footer->SetVisible(expanded);
    if (!expanded) break;
  }
}

void TpgwEngine::MultiColumnStep(TpgwDataBand& band) {
  if (!band.Visible() || band.Columns() <= 1) return;
  band.SetMaxY(std::max(band.MaxY(), FCurY));
  if (band.CurColumn() < band.Columns()) {
    FCurY = FRowTopY;
  } else if (FPageHeight - FooterHeight() - band.MaxY() < -pgwEngineTolerance &&
             !(FPage && FPage->EndlessHeight())) {
    if (FKeeping && FCurY - FKeepCurY > FPageHeight - FooterHeight() - HeaderHeight(false))
      EndKeep(FKeepBand);
    if (FKeeping) {
      NewColumn();  // moves the kept block, this row block with it
    } else {
      const Extended blockHeight = band.MaxY() - FRowBlockTopY;
      FPreviewPages.CutObjects(FRowBlockStart);
      NewColumn();
      FPreviewPages.PasteObjects(FCurX, FCurY);
      FCurY += blockHeight;
    }
  } else {
    FCurY = band.MaxY();
  }
  band.SetCurColumn(band.CurColumn() + 1);
}

void TpgwEngine::ShowChildRows(TpgwDataBand& band, bool cut, int savedPageCount, int savedPosition) {
  FLockResetAggregates = false;
  TpgwChild* child = band.Child();
  if (child && FPreviewPages.GetCount() == savedPageCount) {
    if (cut) FPreviewPages.CutObjects(savedPosition);
    const Extended lowest = FPreviewPages.GetLastY();
    FPrevFooterHeight = FCurY - lowest + FooterHeight();
    if (cut) FCurY = lowest;
    FBreakShowBandTree = false;
    int counter = child->ToNRowsMode() == rmAddToCount ? 1 : band.LineN;
    child->LineN = 1;
    const bool endless = FPage && FPage->EndlessHeight();
    while (!FReport.Terminated() &&
           (counter <= child->ToNRows() || (child->ToNRowsMode() == rmTillPageEnds && !FBreakShowBandTree))) {
      // A page without an end, or a child without height, would take rows forever.
      if (child->ToNRowsMode() == rmTillPageEnds && (endless || child->Height() <= pgwEngineTolerance)) break;
      FCurLine = band.LineN;
      FCurLineThrough = band.LineThrough;
      ShowBandCore(*child);
      ++counter;
      ++band.LineN;
      ++band.LineThrough;
    }
    if (cut) {
      FPreviewPages.PasteObjects(FCurX, FCurY);
      FCurY = FPreviewPages.GetLastY(FCurX);
    }
    FPrevFooterHeight = 0;
  }
  EndOfBand(band.Footer, paDataFinished);
  if (band.Footer) FAggregates.Reset(band.Footer);
}

// ---- the service reports run ---------------------------------------------------------------------------

namespace {

class TpgwEngineService final : public IpgwEngineService {
 public:
  bool Run(TpgwReport& report) override {
    TpgwPreviewPages* pages = PreparedPagesOf(report);
    if (!pages) {
      report.Errors().Add(u"The prepared page store is not available");
      return false;
    }
    TpgwEngine engine(report, *pages);
    return engine.Run(true, false, nullptr);
  }
};

}  // namespace

IpgwEngineService& ReportEngineService() {
  static TpgwEngineService service;
  return service;
}

}  // namespace pagewright
