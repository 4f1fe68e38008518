// Templates with the real report classes: every band and page class, nested collections,
// round trips, the data-set reference case, frames, separators and hostile input.
#include <gtest/gtest.h>

#include "common/service_doubles.h"

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/format.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "report/bands.h"
#include "report/pages.h"
#include "report/report.h"
#include "report/shape_views.h"
#include "report/view.h"
#include "storage/serializer.h"
#include "support/resources.h"
#include "storage/xml_document.h"

namespace pagewright {
namespace {

const std::string kTemplates = PW_TEST_DATA_DIR "/templates";
const std::string kLabel = PW_TEST_DATA_DIR "/../../examples/label/reportes/EtiquetaVelmo.pw3";
const char kHeader[] = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\r\n";

void RegisterClasses() {
  static const bool done = [] {
    ProvideViewClasses();
    ProvideShapeClasses();
    ProvideBandClasses();
    ProvidePageClasses();
    RegisterReportClasses();
    return true;
  }();
  (void)done;
}

struct Loaded {
  std::unique_ptr<TpgwReport> report;
  explicit Loaded(const TpgwReportServices& services = {}) : report(std::make_unique<TpgwReport>(services)) {
    RegisterClasses();
    report->EngineOptions().SetSilentMode(true);
    report->EngineOptions().SetEnableThreadSafe(true);
  }
  TpgwReport& operator*() { return *report; }
  TpgwReport* operator->() { return report.get(); }
};

void LoadBytes(TpgwReport& r, const std::string& bytes) {
  TStringStream s(bytes);
  r.LoadFromStream(s);
}

std::string SaveBytes(TpgwReport& r) {
  TStringStream s;
  r.SaveToStream(s);
  return s.DataString();
}

std::string Errors(TpgwReport& r) {
  return Utf16ToUtf8(r.Errors().Text());
}

// One line per node: depth, class, name and geometry.
std::string TreeText(const TpgwComponent& node, int depth = 0) {
  std::string s = std::to_string(depth) + " " + node.ClassName() + " " + Utf16ToUtf8(node.Name()) + " " +
                  Utf16ToUtf8(FloatToStr(node.Left())) + " " + Utf16ToUtf8(FloatToStr(node.Top())) + " " +
                  Utf16ToUtf8(FloatToStr(node.Width())) + " " + Utf16ToUtf8(FloatToStr(node.Height())) + "\n";
  for (int i = 0; i < node.Objects().Count(); ++i) s += TreeText(*node.Objects()[i], depth + 1);
  return s;
}

// The (name, value) pairs of an element's raw attribute text.
std::vector<std::pair<std::string, std::string>> Attributes(const WideString& text) {
  std::vector<std::pair<std::string, std::string>> out;
  const std::string t = Utf16ToUtf8(text);
  size_t i = 0;
  while (true) {
    const size_t eq = t.find("=\"", i);
    if (eq == std::string::npos) break;
    const size_t end = t.find('"', eq + 2);
    size_t start = t.rfind(' ', eq);
    start = start == std::string::npos ? 0 : start + 1;
    out.emplace_back(t.substr(start, eq - start), t.substr(eq + 2, end - eq - 2));
    i = end + 1;
  }
  return out;
}

TEST(ReportTemplates, EveryBandAndPageClassLoadsWithItsProperties) {
  Loaded r;
  const std::string file = kTemplates + "/all_bands.pw3";
  ASSERT_TRUE(r->LoadFromFile(Utf8ToUtf16(file)));
  EXPECT_EQ(Errors(*r), "");
  TpgwXMLDocument doc;
  doc.LoadFromFile(file);
  std::set<std::string> classes;
  std::function<void(TpgwXMLItem*, TpgwComponent*)> check = [&](TpgwXMLItem* item, TpgwComponent* parent) {
    for (int i = 0; i < item->Count(); ++i) {
      TpgwXMLItem* e = item->Items(i);
      const WideString name = e->GetProp(u"Name");
      auto* node = r->FindObject(name);
      ASSERT_NE(node, nullptr) << Utf16ToUtf8(name);
      EXPECT_EQ(node->ClassName(), Utf16ToUtf8(e->Name()));
      EXPECT_EQ(node->Parent(), parent) << Utf16ToUtf8(name);
      classes.insert(node->ClassName());
      // Every attribute of the element is what the loaded object writes back.
      const std::string written = Utf16ToUtf8(ObjectToXMLAttributes(*node));
      for (auto& [attr, value] : Attributes(e->Text())) {
        if (attr == "Name") continue;
        EXPECT_NE(written.find(" " + attr + "=\"" + value + "\""), std::string::npos)
            << Utf16ToUtf8(name) << ": " << attr << "=\"" << value << "\" not in " << written;
      }
      check(e, node);
    }
  };
  check(doc.Root(), r.report.get());
  for (const char* cls :
       {"TpgwDataPage",  "TpgwReportPage",   "TpgwReportTitle",   "TpgwPageHeader",  "TpgwColumnHeader",
        "TpgwHeader",    "TpgwGroupHeader",  "TpgwMasterData",    "TpgwDetailData",  "TpgwSubdetailData",
        "TpgwDataBand4", "TpgwDataBand5",    "TpgwDataBand6",     "TpgwGroupFooter", "TpgwFooter",
        "TpgwChild",     "TpgwColumnFooter", "TpgwReportSummary", "TpgwPageFooter",  "TpgwOverlay",
        "TpgwNullBand"})
    EXPECT_TRUE(classes.count(cls)) << cls;
  // The band reference is resolved after the whole tree is read (Child1 comes later).
  auto* master = dynamic_cast<TpgwDataBand*>(r->FindObject(u"MasterData1"));
  ASSERT_NE(master, nullptr);
  EXPECT_EQ(master->Child(), r->FindObject(u"Child1"));
}

TEST(ReportTemplates, NestedCollectionsOptionsAndPassword) {
  Loaded r;
  ASSERT_TRUE(r->LoadFromFile(Utf8ToUtf16(kTemplates + "/report_features.pw3")));
  EXPECT_EQ(Errors(*r), "");
  EXPECT_EQ(r->ReportOptions().Password(), u"dussu");  // stored 10 lower
  EXPECT_EQ(r->ReportOptions().Author(), u"Ana Núñez");
  EXPECT_EQ(r->ReportOptions().Description().Count(), 2);
  EXPECT_EQ(r->ReportOptions().Description()[1], u"Line \"two\"");
  EXPECT_EQ(r->PrintOptions().Copies(), 2);
  EXPECT_TRUE(r->EngineOptions().DoublePass());
  ASSERT_EQ(r->DataSets().Count(), 1);
  EXPECT_EQ(r->DataSets().Items(0).DataSetName(), u"Orders");
  ASSERT_EQ(r->Variables().Count(), 2);
  EXPECT_EQ(r->Variables().Items(0).Name(), u" Totals");
  EXPECT_EQ(Utf16ToUtf8(VarToStr(r->Variables().Items(1).Value())), "1.25");
  ASSERT_EQ(r->Styles().Count(), 2);
  EXPECT_EQ(r->Styles().Name(), u"House");
  const TpgwStyleItem& title = r->Styles().Items(0);
  EXPECT_EQ(title.Font().Color(), 255);
  EXPECT_FALSE(title.ApplyFill());
  EXPECT_EQ(title.Color(), 65535);
  auto* band = dynamic_cast<TpgwBand*>(r->FindObject(u"MasterData1"));
  ASSERT_NE(band, nullptr);
  EXPECT_EQ(band->FillType(), ftGradient);
  EXPECT_FALSE(band->ParentFont());
  EXPECT_EQ(band->Font().Name(), u"Courier New");
  EXPECT_EQ(band->Height(), 50.75L);
  const std::string saved = SaveBytes(*r);
  EXPECT_NE(saved.find("ReportOptions.Password=\"Zkiik\""), std::string::npos);
  EXPECT_NE(saved.find("<Styles Name=\"House\">"), std::string::npos);
  EXPECT_EQ(r->ReportOptions().Password(), u"dussu");
}

// Every template loads, saves, and loads again to the same tree; the second save gives the same
// bytes as the first.
TEST(ReportTemplates, RoundTripsGiveTheSameTreeAndBytes) {
  std::vector<std::string> files{kLabel};
  for (auto& e : std::filesystem::recursive_directory_iterator(kTemplates))
    if (e.path().extension() == ".pw3") files.push_back(e.path().string());
  ASSERT_GE(files.size(), 3u);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    Loaded first;
    ASSERT_TRUE(first->LoadFromFile(Utf8ToUtf16(file)));
    const std::string saved = SaveBytes(*first);
    Loaded second;
    LoadBytes(*second, saved);
    EXPECT_EQ(TreeText(*second), TreeText(*first));
    EXPECT_EQ(Errors(*second), Errors(*first) == "" ? "" : Errors(*second));
    EXPECT_EQ(SaveBytes(*second), saved);
    EXPECT_EQ(saved.rfind(kHeader, 0), 0u);
  }
}

TEST(ReportTemplates, CommaWrittenFloatsReadWithAPoint) {
  Loaded r;
  ASSERT_TRUE(r->LoadFromFile(Utf8ToUtf16(kTemplates + "/report_features.pw3")));
  FormatSettings().DecimalSeparator = u',';
  const std::string comma = SaveBytes(*r);
  FormatSettings().DecimalSeparator = u'.';
  EXPECT_NE(comma.find("Height=\"50,75\""), std::string::npos);
  Loaded back;
  LoadBytes(*back, comma);
  EXPECT_EQ(TreeText(*back), TreeText(*r));
  EXPECT_EQ(SaveBytes(*back), SaveBytes(*r));
}

TEST(ReportTemplates, DataSetReferenceOutsideTheTreeResolvesOnlyByDataSetName) {
  RegisterClasses();
  TComponent external;  // not in the tree, not owned by the report
  external.SetName(u"Ext");
  DataServiceDouble data;
  data.findDataSet = [&](std::u16string_view name) -> TComponent* {
    return SameName(name, u"Ext") ? &external : nullptr;
  };
  Loaded r(TpgwReportServices{&data});
  LoadBytes(*r, std::string(kHeader) +
                    "<TpgwReport><TpgwReportPage Name=\"P\">"
                    "<TpgwMasterData Name=\"ByBoth\" DataSet=\"Ext\" DataSetName=\"Ext\"/>"
                    "<TpgwMasterData Name=\"ByReference\" DataSet=\"Ext\"/>"
                    "</TpgwReportPage></TpgwReport>");
  EXPECT_EQ(Errors(*r), "");
  EXPECT_EQ(static_cast<TpgwDataBand*>(r->FindObject(u"ByBoth"))->DataSet(), &external);
  EXPECT_EQ(static_cast<TpgwDataBand*>(r->FindObject(u"ByReference"))->DataSet(), nullptr);
}

TEST(ReportTemplates, FrameWritesOnlyTheSubPropertiesThatDiffer) {
  Loaded r;
  auto* page = &CreateChild<TpgwReportPage>(*r.report);
  page->SetName(u"P");
  auto* band = &CreateChild<TpgwMasterData>(*page);
  band->SetName(u"M");
  band->Frame().SetTypBits(5);
  band->Frame().TopLine().SetColor(0xFF0000);
  const std::string saved = SaveBytes(*r);
  const size_t at = saved.find("<TpgwMasterData Name=\"M\"");
  ASSERT_NE(at, std::string::npos);
  const std::string line = saved.substr(at, saved.find('\n', at) - at);
  EXPECT_NE(line.find(" Frame.Typ=\"5\" Frame.TopLine.Color=\"16711680\""), std::string::npos) << line;
  for (const char* absent :
       {"Frame.Width", "Frame.Color", "Frame.Style", "Frame.LeftLine", "Frame.DropShadow"})
    EXPECT_EQ(line.find(absent), std::string::npos) << absent << " in " << line;
}

TEST(ReportTemplates, LoadingTwiceGivesTheSameNames) {
  Loaded r;
  const WideString file = Utf8ToUtf16(kTemplates + "/all_bands.pw3");
  ASSERT_TRUE(r->LoadFromFile(file));
  const std::string once = TreeText(*r);
  ASSERT_TRUE(r->LoadFromFile(file));
  EXPECT_EQ(TreeText(*r), once);
  EXPECT_EQ(Errors(*r), "");
}

// Messages of loading and of data-set names come from the resource store, so a translated store
// words them.
TEST(ReportTemplates, MessagesComeFromTheResourceStore) {
  struct Restore {
    WideString cantFind = ResourceGet("xrCantFindClass"), notIncluded = ResourceGet("clDSNotIncl");
    ~Restore() {
      ResourceStore().AddW(u"xrCantFindClass", cantFind);
      ResourceStore().AddW(u"clDSNotIncl", notIncluded);
    }
  } restore;
  ResourceStore().Add("xrCantFindClass", "Clase no encontrada:");
  ResourceStore().Add("clDSNotIncl", "(no incluido)");
  Loaded r;
  LoadBytes(*r, std::string(kHeader) + "<TpgwReport><TpgwFancyPage Name=\"P\"/></TpgwReport>");
  ASSERT_EQ(r->Errors().Count(), 1);
  EXPECT_EQ(r->Errors()[0], u"line 2: Clase no encontrada: TpgwFancyPage");
  TComponent outside(nullptr);
  EXPECT_EQ(r->GetAlias(&outside), u"(no incluido)");
}

TEST(ReportTemplates, UnknownClassGivesOneLineAndNoChildren) {
  Loaded r;
  LoadBytes(*r, std::string(kHeader) +
                    "<TpgwReport><TpgwReportPage Name=\"P\">"
                    "<TpgwFancyBand Name=\"F\" Height=\"3\"><TpgwMasterData Name=\"Inner\"/></TpgwFancyBand>"
                    "<TpgwMasterData Name=\"M\" Height=\"20\" Bogus=\"1\" RowCount=\"x\" Top=\"4\"/>"
                    "</TpgwReportPage></TpgwReport>");
  ASSERT_EQ(r->Errors().Count(), 2) << Errors(*r);
  EXPECT_EQ(r->Errors()[0], u"line 2: <TpgwMasterData Name=\"M\">: RowCount: 'x' is not a valid integer value");
  EXPECT_EQ(r->Errors()[1], u"line 2: Cannot find class TpgwFancyBand");
  EXPECT_EQ(r->FindObject(u"Inner"), nullptr);
  EXPECT_EQ(r->FindObject(u"F"), nullptr);
  ASSERT_NE(r->FindObject(u"M"), nullptr);
  EXPECT_EQ(r->FindObject(u"M")->Top(), 4);
}

TEST(ReportTemplates, HostileNestingAndHugeValuesGiveErrorLines) {
  Loaded r;
  std::string deep = std::string(kHeader) + "<TpgwReport>";
  for (int i = 0; i < 100000; ++i) deep += "<TpgwReportPage>";
  LoadBytes(*r, deep);
  EXPECT_EQ(Errors(*r), "Invalid file format\r\n");

  const std::string huge(1 << 20, '7');
  LoadBytes(*r, std::string(kHeader) + "<TpgwReport><TpgwReportPage Name=\"" + huge + "\" PaperWidth=\"" +
                    huge + "e9999\" Columns=\"" + huge + "\"/></TpgwReport>");
  EXPECT_GE(r->Errors().Count(), 3) << Errors(*r).substr(0, 300);
}

TEST(ReportTemplates, InheritedVariablesAndStylesAreUpdatedByName) {
  RegisterClasses();
  const std::string dir = std::string(PW_BINARY_DIR) + "/report-template-inherit";
  std::filesystem::create_directories(dir);
  auto write = [&](const std::string& name, const std::string& body) {
    TStringStream text(kHeader + body);
    TFileStream f(dir + "/" + name, fmCreate);
    f.CopyFrom(text, 0);
  };
  write("base.pw3",
        "<TpgwReport><Datasets><item DataSetName=\"A\"/></Datasets>"
        "<Variables><item Name=\"V\" Value=\"1\"/></Variables>"
        "<Styles><item Name=\"S\" ApplyFont=\"False\"/></Styles></TpgwReport>");
  write("derived.pw3",
        "<TpgwReport ParentReport=\"base.pw3\"><Datasets><item DataSetName=\"B\"/></Datasets>"
        "<Variables><item Name=\"V\" Value=\"2\" InheritedName=\"V\"/><item Name=\"W\" "
        "Value=\"3\"/></Variables>"
        "<Styles><item Name=\"S\" ApplyFill=\"False\" InheritedName=\"S\"/></Styles></TpgwReport>");
  Loaded r;
  ASSERT_TRUE(r->LoadFromFile(Utf8ToUtf16(dir + "/derived.pw3")));
  EXPECT_EQ(Errors(*r), "");
  ASSERT_EQ(r->DataSets().Count(), 1);  // emptied before the template's own list
  EXPECT_EQ(r->DataSets().Items(0).DataSetName(), u"B");
  ASSERT_EQ(r->Variables().Count(), 2);
  EXPECT_EQ(Utf16ToUtf8(VarToStr(r->Variables().Items(0).Value())), "2");
  EXPECT_TRUE(r->Variables().Items(0).IsInherited());
  EXPECT_FALSE(r->Variables().Items(1).IsInherited());
  ASSERT_EQ(r->Styles().Count(), 1);
  EXPECT_FALSE(r->Styles().Items(0).ApplyFill());
  EXPECT_FALSE(r->Styles().Items(0).ApplyFont());
  const std::string saved = SaveBytes(*r);
  EXPECT_NE(saved.find("<item Name=\"V\" Value=\"2\" InheritedName=\"V\"/>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<item Name=\"W\" Value=\"3\"/>"), std::string::npos) << saved;
}

// Hostile templates (and what the fuzz target found) load with error lines, save, and load again.
TEST(ReportTemplates, HostileTemplatesLoadWithErrorLines) {
  const std::string dir = kTemplates + "/fuzz";
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(e.path().string());
    ++files;
    Loaded r;
    TFileStream in(e.path().string(), fmOpenRead);
    r->LoadFromStream(in);
    EXPECT_GT(r->Errors().Count(), 0);
    TStringStream out;
    r->SaveToStream(out);
    Loaded again;
    out.SetPosition(0);
    again->LoadFromStream(out);
    EXPECT_EQ(TreeText(*again), TreeText(*r));
  }
  EXPECT_GE(files, 2);
}

}  // namespace
}  // namespace pagewright
