#include "prepared/preview_pages.h"

#include <gtest/gtest.h>

#include "common/service_doubles.h"
#include "common/temp_dir.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "export/export_filter.h"
#include "export/pdf_export.h"
#include "platform/files.h"
#include "platform/properties.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "render/graphic_formats.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "storage/xml_document.h"

namespace pagewright {
namespace {

void RegisterClassesOnce() {
  static const bool done = [] {
    RegisterPlatformClasses();
    ProvideViewClasses();
    ProvideMemoClasses();
    ProvidePictureClasses();
    ProvidePageClasses();
    ProvideBandClasses();
    RegisterReportClasses();
    RegisterGraphicFormats();
    return true;
  }();
  (void)done;
}

// A report with one page, one data band and one text object, and a store that knows the page.
class PreparedPages : public testing::Test {
 protected:
  void SetUp() override {
    RegisterClassesOnce();
    report.EngineOptions().SetSilentMode(true);
    page = &CreateChild<TpgwReportPage>(report);
    page->SetName(u"Page1");
    band = &CreateChild<TpgwMasterData>(*page);
    band->SetName(u"MasterData1");
    band->SetBounds(0, 20, 700, 40);
    memo = &CreateChild<TpgwMemoView>(*band);
    memo->SetName(u"Memo1");
    memo->SetBounds(10, 5, 200, 20);
    memo->SetText(u"template");
    pages = std::make_unique<TpgwPreviewPages>(report);
    pages->AddSourcePage(*page);
  }

  // One prepared page whose text object shows `text`.
  void PrintPage(const WideString& text) {
    pages->AddPage(*page);
    memo->SetText(text);
    pages->AddObject(*band);
  }

  // The text as shown, without the final line break the text object keeps.
  static WideString Shown(const TpgwMemoView* m) {
    WideString t = m->Text();
    if (t.size() >= 2 && t.substr(t.size() - 2) == u"\r\n") t.resize(t.size() - 2);
    return t;
  }

  static TpgwMemoView* MemoOf(TpgwReportPage* rebuilt) {
    if (!rebuilt || rebuilt->Objects().Count() != 1) return nullptr;
    TpgwComponent* b = rebuilt->Objects()[0];
    if (b->Objects().Count() != 1) return nullptr;
    return dynamic_cast<TpgwMemoView*>(b->Objects()[0]);
  }

  ScriptServiceDouble script;
  TpgwReport report{TpgwReportServices{nullptr, &script}};
  TpgwReportPage* page = nullptr;
  TpgwMasterData* band = nullptr;
  TpgwMemoView* memo = nullptr;
  std::unique_ptr<TpgwPreviewPages> pages;
};

// A copy of a prepared page belongs to its holder, whatever the cache does; its objects, changed
// and written back, are what the page shows from then on (also after the cache held the page).
TEST_F(PreparedPages, CopiedPagesWriteTheirChangedObjectsBack) {
  PrintPage(u"first");
  PrintPage(u"second");
  TpgwReportPage* cached = pages->GetPage(1);
  ASSERT_NE(cached, nullptr);
  std::unique_ptr<TpgwReportPage> copy = pages->CopyPage(1);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy.get(), cached);
  EXPECT_EQ(pages->CopyPage(2), nullptr);
  TpgwMemoView* m = MemoOf(copy.get());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Shown(m), u"second");
  m->SetText(u"changed");
  m->SetLeft(44);
  pages->ReplacePageObjects(1, *copy);
  for (int i : {0, 1}) {
    TpgwMemoView* shown = MemoOf(pages->GetPage(i));
    ASSERT_NE(shown, nullptr) << i;
    EXPECT_EQ(Shown(shown), i == 0 ? u"first" : u"changed");
    EXPECT_EQ(shown->Left(), i == 0 ? 10 : 44);
  }
  EXPECT_THROW(pages->ReplacePageObjects(2, *copy), EListError);
}

TEST_F(PreparedPages, PagesStoreDifferencesAndRebuildIntoObjects) {
  PrintPage(u"first");
  memo->SetLeft(30);
  PrintPage(u"second");
  ASSERT_EQ(pages->GetCount(), 2);

  TpgwXMLItem& section = pages->Section(u"previewpages");
  EXPECT_EQ(section.Items(0)->Name(), u"page0");
  TpgwXMLItem* bandItem = section.Items(0)->Items(0);
  EXPECT_EQ(bandItem->Name(), u"b1");
  EXPECT_EQ(bandItem->GetProp(u"t"), u"20");  // the position is always there
  TpgwXMLItem* memoItem = bandItem->Items(0);
  EXPECT_EQ(memoItem->Name(), u"m1");
  // Only what differs from the source object: no font, frame or fill.
  EXPECT_EQ(memoItem->Text().find(u"Font."), WideString::npos) << Utf16ToUtf8(memoItem->Text());
  EXPECT_EQ(memoItem->Text().find(u"Frame."), WideString::npos);

  const struct {
    int index;
    const char16_t* text;
    Extended left;
  } cases[] = {{0, u"first", 10}, {1, u"second", 30}, {0, u"first", 10}};
  for (const auto& c : cases) {
    TpgwReportPage* rebuilt = pages->GetPage(c.index);
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(rebuilt->Name(), u"Page1");
    EXPECT_EQ(rebuilt->Objects()[0]->Name(), u"MasterData1");
    EXPECT_EQ(rebuilt->Objects()[0]->Top(), 20);
    TpgwMemoView* m = MemoOf(rebuilt);
    ASSERT_NE(m, nullptr) << c.index;
    EXPECT_EQ(m->Name(), u"Memo1");
    EXPECT_EQ(Shown(m), c.text);
    EXPECT_EQ(m->Left(), c.left);
    EXPECT_EQ(m->Width(), 200);
  }
  // Without a running engine, the second request for a page is served by the cache.
  TpgwReportPage* again = pages->GetPage(1);
  EXPECT_EQ(pages->GetPage(1), again);
  EXPECT_EQ(pages->GetPage(2), nullptr);
  int w = 0, h = 0;
  pages->GetPageSize(0, w, h);
  EXPECT_EQ(w, static_cast<int>(RoundHalfEven(page->Width())));
  EXPECT_EQ(h, static_cast<int>(RoundHalfEven(page->Height())));
}

TEST_F(PreparedPages, DictionaryKeepsOneAliasPerSourceObject) {
  for (int i = 0; i < 3; ++i) PrintPage(u"p" + IntToStr(i));
  EXPECT_EQ(pages->Dictionary().Count(), 2);
  EXPECT_EQ(band->AliasName(), u"b1");
  EXPECT_EQ(memo->AliasName(), u"m1");
  const TpgwDictionary::TSource* source = pages->Dictionary().Find(u"m1");
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->Name, u"Page0.Memo1");
  EXPECT_EQ(source->Object, memo->OriginalComponent());
  EXPECT_EQ(source->Object->OriginalComponent(), memo);
  // A second page from the same template gets aliases of its own.
  pages->AddSourcePage(*page);
  EXPECT_EQ(pages->Dictionary().Count(), 4);
  EXPECT_EQ(memo->AliasName(), u"m2");
}

TEST_F(PreparedPages, LogicalNumbersAndAnchors) {
  PrintPage(u"only");
  pages->AddAnchor(u"Intro");
  pages->ResetLogicalPageNumber();
  TpgwXMLItem& numbers = pages->Section(u"logicalpagenumbers");
  ASSERT_EQ(numbers.Count(), 1);
  EXPECT_EQ(numbers.Items(0)->GetProp(u"n"), u"1");
  EXPECT_EQ(numbers.Items(0)->GetProp(u"t"), u"1");
  EXPECT_EQ(pages->GetLogicalPageNo(), 1);
  EXPECT_EQ(pages->GetLogicalTotalPages(), 1);
  EXPECT_EQ(pages->GetAnchorPage(u"intro"), 1);
  EXPECT_EQ(pages->GetAnchorPage(u"nowhere"), 1);
  EXPECT_EQ(pages->GetLastY(), 60);  // band top 20 + height 40
  EXPECT_TRUE(pages->BandExists(*band));
}

// Anchors of a kept block that moved go to the page being filled: the same page when the
// block moved to the next column, the new one after a page break.
TEST_F(PreparedPages, MovedAnchorsGoToThePageBeingFilled) {
  PrintPage(u"first");
  const int before = pages->GetAnchorCurPosition();
  pages->AddAnchor(u"kept");
  pages->ShiftAnchors(before, 0);  // moved to the next column
  EXPECT_EQ(pages->GetAnchorPage(u"kept"), 1);
  PrintPage(u"second");
  pages->ShiftAnchors(before, 0);  // moved to the next page
  EXPECT_EQ(pages->GetAnchorPage(u"kept"), 2);
}

TEST_F(PreparedPages, SaveAndLoadGiveTheSamePages) {
  PrintPage(u"first");
  PrintPage(u"second & <third>");
  pages->AddAnchor(u"Second");
  pages->Outline().AddItem(u"Chapter", 12);
  pages->ResetLogicalPageNumber();
  report.ReportOptions().SetName(u"Saved");
  TMemoryStream stream;
  pages->SaveToStream(stream);

  report.ReportOptions().SetName(u"Changed");
  TpgwPreviewPages loaded(report);
  stream.SetPosition(0);
  ASSERT_TRUE(loaded.LoadFromStream(stream));
  EXPECT_EQ(report.ReportOptions().Name(), u"Saved");
  ASSERT_EQ(loaded.GetCount(), 2);
  EXPECT_EQ(loaded.Dictionary().Count(), 2);
  EXPECT_EQ(loaded.SourcePageCount(), 1);
  const char16_t* texts[] = {u"first", u"second & <third>"};
  for (int i = 0; i < 2; ++i) {
    TpgwMemoView* m = MemoOf(loaded.GetPage(i));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Shown(m), texts[i]);
    EXPECT_EQ(m->Left(), 10);
  }
  EXPECT_EQ(loaded.GetAnchorPage(u"second"), 2);
  loaded.Outline().LevelRoot();
  WideString text;
  int outlinePage = -1, top = -1;
  loaded.Outline().GetItem(0, text, outlinePage, top);
  EXPECT_EQ(text, u"Chapter");
  EXPECT_EQ(outlinePage, 1);
  EXPECT_EQ(top, 12);
}

// A saved file is read back in parts, so the file must stay open for as long as the store
// reads pages from it, also when the store had a file open before.
TEST_F(PreparedPages, SavedFilesLoadBackWithEveryPage) {
  for (int i = 0; i < 3; ++i) PrintPage(u"page " + IntToStr(i));
  test_support::TempDir dir;
  const WideString fileName = Utf8ToUtf16((dir.path / "saved.fp3").string());
  pages->SaveToFile(fileName);

  TpgwPreviewPages loaded(report);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(loaded.LoadFromFile(fileName)) << round;
    ASSERT_EQ(loaded.GetCount(), 3) << round;
    for (int i = 2; i >= 0; --i) {
      TpgwMemoView* m = MemoOf(loaded.GetPage(i));
      ASSERT_NE(m, nullptr) << i;
      EXPECT_EQ(Shown(m), u"page " + IntToStr(i));
    }
    loaded.ClearPageCache();
  }
  EXPECT_FALSE(loaded.LoadFromFile(Utf8ToUtf16((dir.path / "missing.fp3").string())));
}

TEST_F(PreparedPages, LoadingWithAFailingDecompressorLeavesTheStoreEmpty) {
  PrintPage(u"x");
  TMemoryStream stream;
  pages->SaveToStream(stream);
  pages->Compressor().Decompress = [](TStream&, TStream&) { throw EConvertError("bad data"); };
  report.EngineOptions().SetNewSilentMode(simSilent);
  stream.SetPosition(0);
  const bool ok = pages->LoadFromStream(stream);
  pages->Compressor() = {};
  EXPECT_FALSE(ok);
  EXPECT_EQ(pages->GetCount(), 0);
  EXPECT_GE(report.Errors().IndexOf(u"Stream decompress error"), 0) << Utf16ToUtf8(report.Errors().Text());
}

TEST_F(PreparedPages, DeferredValuesReachTheRebuiltPage) {
  memo->Processing().ProcessAt = paReportFinished;
  memo->SetText(u"[Total]");
  int calls = 0;
  script.calc = [&calls](TpgwReport&, const WideString& expr) {
    ++calls;
    return Variant(expr + u"=" + IntToStr(calls));
  };
  for (int i = 0; i < 2; ++i) {
    pages->AddPage(*page);
    memo->SetText(u"pending");
    pages->AddObject(*band);
    memo->SetText(u"[Total]");  // the engine puts the template's text back after printing
  }
  TpgwMacrosItem* item = pages->PostProcessor().Find(u"Memo1");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->TextCount(), 2);
  EXPECT_EQ(pages->PostProcessor().PendingCount(), 2);
  // Another moment leaves them pending.
  pages->PostProcessor().ProcessExpressions(report, band, paPageFinished);
  EXPECT_EQ(calls, 0);
  pages->PostProcessor().ProcessExpressions(report, band, paReportFinished);
  EXPECT_EQ(pages->PostProcessor().PendingCount(), 0);
  EXPECT_EQ(item->Text(0), u"Total=1");
  EXPECT_EQ(item->Text(1), u"Total=2");
  TpgwMemoView* m = MemoOf(pages->GetPage(1));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Shown(m), u"Total=2");

  TMemoryStream stream;
  pages->SaveToStream(stream);
  TpgwPreviewPages loaded(report);
  stream.SetPosition(0);
  ASSERT_TRUE(loaded.LoadFromStream(stream));
  m = MemoOf(loaded.GetPage(0));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Shown(m), u"Total=1");
}

TEST_F(PreparedPages, PagesLeftOnDiskComeBackWhenRebuiltAndSaved) {
  report.EngineOptions().SetUseFileCache(true);
  report.EngineOptions().SetMaxMemSize(0);  // every new page sends the older ones to disk
  for (int i = 0; i < 5; ++i) PrintPage(u"page " + IntToStr(i));
  TpgwXMLItem& section = pages->Section(u"previewpages");
  int unloaded = 0;
  for (int i = 0; i < section.Count(); ++i) unloaded += section.Items(i)->Loaded() ? 0 : 1;
  EXPECT_GT(unloaded, 0);
  for (int i = 4; i >= 0; --i) {
    TpgwMemoView* m = MemoOf(pages->GetPage(i));
    ASSERT_NE(m, nullptr) << i;
    EXPECT_EQ(Shown(m), u"page " + IntToStr(i));
  }
  TMemoryStream stream;
  pages->SaveToStream(stream);
  TpgwPreviewPages loaded(report);
  stream.SetPosition(0);
  ASSERT_TRUE(loaded.LoadFromStream(stream));
  ASSERT_EQ(loaded.GetCount(), 5);
  TpgwMemoView* m = MemoOf(loaded.GetPage(3));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Shown(m), u"page 3");
}

TEST_F(PreparedPages, CutObjectsMoveWhenPastedBack) {
  PrintPage(u"kept");
  const int position = pages->GetCurPosition();
  band->SetTop(100);
  pages->AddObject(*band);
  pages->CutObjects(position);
  EXPECT_EQ(pages->GetCurPosition(), position);
  pages->AddPage(*page);
  pages->PasteObjects(0, 30);
  EXPECT_EQ(pages->GetCurPosition(), 1);
  EXPECT_LT(pages->XMLDoc().Root()->Find(u"cutted"), 0);
  TpgwReportPage* rebuilt = pages->GetPage(1);
  ASSERT_NE(rebuilt, nullptr);
  ASSERT_EQ(rebuilt->Objects().Count(), 1);
  EXPECT_EQ(rebuilt->Objects()[0]->Top(), 30);
  EXPECT_EQ(rebuilt->Objects()[0]->Left(), 0);
}

// Records the calls of the export walk.
class RecordingFilter : public TpgwCustomExportFilter {
 public:
  using TpgwCustomExportFilter::TpgwCustomExportFilter;
  bool Start() override {
    Calls.push_back("Start");
    return StartResult;
  }
  void StartPage(TpgwReportPage&, int index) override {
    Calls.push_back("StartPage " + std::to_string(index));
  }
  void ExportObject(TpgwComponent& obj) override {
    Calls.push_back(Utf16ToUtf8(obj.Name()));
    if (StopAfter == Calls.size()) SetTerminated(true);
  }
  void FinishPage(TpgwReportPage&, int index) override {
    Calls.push_back("FinishPage " + std::to_string(index));
  }
  void Finish() override { Calls.push_back("Finish"); }
  // The walk hands the outline over before the document starts.
  void SetPreparedOutline(const TpgwXMLItem& root) override { OutlineItems = Calls.empty() ? root.Count() : -2; }
  std::vector<std::string> Calls;
  int OutlineItems = -1;
  bool StartResult = true;
  size_t StopAfter = 0;
};

TEST_F(PreparedPages, ExportWalkDrivesTheFilter) {
  for (int i = 0; i < 3; ++i) PrintPage(u"p");
  pages->Outline().AddItem(u"Chapter", 0);  // the filter is handed the outline first
  auto filter = TpgwCustomExportFilter::CreateNoRegister<RecordingFilter>();
  filter->SetShowDialog(false);

  struct Case {
    const char16_t* pageNumbers;
    bool startResult;
    size_t stopAfter;
    std::vector<std::string> calls;
  } cases[] = {
      {u"2-",
       true,
       0,
       {"Start", "StartPage 1", "_pagebackground", "MasterData1", "Memo1", "FinishPage 1", "StartPage 2",
        "_pagebackground", "MasterData1", "Memo1", "FinishPage 2", "Finish"}},
      {u"1", false, 0, {"Start"}},
      // Terminated after the band of the first page: the page still finishes, and so does the export.
      {u"", true, 4, {"Start", "StartPage 0", "_pagebackground", "MasterData1", "FinishPage 0", "Finish"}},
  };
  for (const Case& c : cases) {
    filter->Calls.clear();
    filter->OutlineItems = -1;
    filter->SetPageNumbers(c.pageNumbers);
    filter->StartResult = c.startResult;
    filter->StopAfter = c.stopAfter;
    EXPECT_TRUE(pages->Export(filter.get()));
    EXPECT_EQ(filter->Calls, c.calls) << Utf16ToUtf8(c.pageNumbers);
    EXPECT_EQ(filter->OutlineItems, 1);
    EXPECT_FALSE(filter->Terminated());
    EXPECT_EQ(filter->IOTransport(), nullptr);  // the default transport is not kept
  }
  // Pages are dropped after their export.
  EXPECT_EQ(pages->PageCacheCount(), 0);
}

// A page selection that matches no page still gives a document, without pages, and success.
TEST_F(PreparedPages, AnExportOfNoSelectedPageWritesNothingAndFails) {
  for (int i = 0; i < 3; ++i) PrintPage(u"p");
  auto filter = TpgwCustomExportFilter::CreateNoRegister<RecordingFilter>();
  filter->SetShowDialog(false);
  filter->SetPageNumbers(u"9");
  EXPECT_FALSE(pages->Export(filter.get()));
  EXPECT_TRUE(filter->Calls.empty());
  EXPECT_GE(report.Errors().IndexOf(u"No page to export: the page selection matches none of the 3 prepared pages"),
            0)
      << Utf16ToUtf8(report.Errors().Text());

  test_support::TempDir dir;
  const WideString fileName = Utf8ToUtf16((dir.path / "none.pdf").string());
  auto pdf = TpgwCustomExportFilter::CreateNoRegister<TpgwPDFExport>();
  pdf->SetShowDialog(false);
  pdf->SetShowProgress(false);
  pdf->SetFileName(fileName);
  pdf->SetPageNumbers(u"9");
  EXPECT_FALSE(pages->Export(pdf.get()));
  EXPECT_FALSE(FileExists(fileName));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path));  // no temporary file either
}

TEST_F(PreparedPages, SuppressedHeadersAndFootersShowOnlyOnTheFirstAndLastPage) {
  auto* header = &CreateChild<TpgwPageHeader>(*page);
  header->SetName(u"PageHeader1");
  auto* footer = &CreateChild<TpgwPageFooter>(*page);
  footer->SetName(u"PageFooter1");
  pages->Clear();
  pages->AddSourcePage(*page);
  for (int i = 0; i < 3; ++i) {
    pages->AddPage(*page);
    pages->AddObject(*header);
    pages->AddObject(*footer);
  }
  auto filter = TpgwCustomExportFilter::CreateNoRegister<RecordingFilter>();
  filter->SetShowDialog(false);
  filter->SetSuppressPageHeadersFooters(true);
  ASSERT_TRUE(pages->Export(filter.get()));
  const std::vector<std::string> expected = {
      "Start",       "StartPage 0",     "_pagebackground", "PageHeader1", "FinishPage 0",
      "StartPage 1", "_pagebackground", "FinishPage 1",    "StartPage 2", "_pagebackground",
      "PageFooter1", "FinishPage 2",    "Finish"};
  EXPECT_EQ(filter->Calls, expected);
}

TEST_F(PreparedPages, ReportReachesItsStoreThroughItsService) {
  TpgwReport other(TpgwReportServices{nullptr, nullptr, nullptr, &ReportPreparedPagesService()});
  other.EngineOptions().SetSilentMode(true);
  TpgwPreviewPages* store = PreparedPagesOf(other);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(other.PreviewPages(), store);
  auto* p = &CreateChild<TpgwReportPage>(other);
  store->AddSourcePage(*p);
  store->AddPage(*p);
  EXPECT_EQ(store->GetCount(), 1);
  auto filter = TpgwCustomExportFilter::CreateNoRegister<RecordingFilter>();
  filter->SetShowDialog(false);
  EXPECT_TRUE(other.Export(*filter));
  EXPECT_EQ(filter->Calls.front(), "Start");
  ReportPreparedPagesService().Clear(*store);
  EXPECT_EQ(store->GetCount(), 0);
}

}  // namespace
}  // namespace pagewright
