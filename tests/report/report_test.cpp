#include "report/report.h"

#include <gtest/gtest.h>

#include "common/service_doubles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "report/view.h"
#include "storage/xml_document.h"

using namespace pagewright;

namespace {

// A data set stand-in with a user name, as the data classes publish it.
class TestDataSet : public TComponent {
 public:
  using TComponent::TComponent;
  static const TClassInfo& StaticClassInfo() {
    using T = TestDataSet;
    static const TClassInfo& info = Describe<T>("TpgwTestDataSet")
                                        .Parent<TComponent>()
                                        .String("UserName", &T::UserName, &T::SetUserName)
                                        .Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  const WideString& UserName() const { return FUserName; }
  void SetUserName(const WideString& v) { FUserName = v; }

 private:
  WideString FUserName;
};

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\r\n";

// Loads a template text into the report.
void LoadText(TpgwReport& r, const std::string& body) {
  TStringStream s(kHeader + body);
  r.LoadFromStream(s);
}

}  // namespace

TEST(ReportRoot, NewReportDefaults) {
  TpgwReport r;
  EXPECT_EQ(r.ScriptText().Text(), TStringList().Text() + u"begin\r\n\r\nend.\r\n");
  EXPECT_EQ(r.ScriptLanguage(), u"PascalScript");
  EXPECT_EQ(r.SysVariables().Count(), 11);
  EXPECT_EQ(r.SysVariables()[3], u"Page#");
  EXPECT_TRUE(r.pwComponentStyle().Contains(csHandlesNestedProperties));
  EXPECT_EQ(r.Version(), u"2022.2.7");
  r.SetVersion(u"1.0");
  EXPECT_EQ(r.Version(), u"2022.2.7");
  const TpgwEngineOptions& e = r.EngineOptions();
  EXPECT_TRUE(e.ConvertNulls());
  EXPECT_TRUE(e.DestroyForms());
  EXPECT_EQ(e.MaxMemSize(), 10);
  EXPECT_TRUE(e.UseGlobalDataSetList());
  EXPECT_EQ(e.NewSilentMode(), simMessageBoxes);
  EXPECT_EQ(r.PrintOptions().Printer(), u"Default");
  EXPECT_EQ(r.PrintOptions().SplicingLine(), 3);
  EXPECT_EQ(r.PreviewOptions().OutlineWidth(), 120);
  EXPECT_TRUE(r.PreviewOptions().Buttons().Contains(pbSelection));
  EXPECT_FALSE(r.PreviewOptions().Buttons().Contains(pbPaste));
}

TEST(ReportRoot, ClearResetsOnlyItsOptionSubsets) {
  TpgwReport r;
  TpgwEngineOptions& e = r.EngineOptions();
  e.SetSilentMode(true);
  e.SetEnableThreadSafe(true);
  e.SetMaxMemSize(99);
  e.SetDoublePass(true);
  e.SetConvertNulls(false);
  r.PreviewOptions().SetOutlineWidth(7);
  r.PreviewOptions().SetZoom(2);
  r.PrintOptions().SetCopies(4);
  r.ReportOptions().SetAuthor(u"me");
  r.ReportOptions().SetPassword(u"pw");
  r.ScriptText().Add(u"x");
  r.Clear();
  EXPECT_TRUE(e.SilentMode());
  EXPECT_TRUE(e.EnableThreadSafe());
  EXPECT_EQ(e.MaxMemSize(), 99);
  EXPECT_FALSE(e.DoublePass());
  EXPECT_TRUE(e.ConvertNulls());
  EXPECT_EQ(r.PreviewOptions().OutlineWidth(), 120);
  EXPECT_EQ(r.PreviewOptions().Zoom(), 2);
  EXPECT_EQ(r.PrintOptions().Copies(), 1);
  EXPECT_EQ(r.ReportOptions().Author(), u"");
  EXPECT_EQ(r.ReportOptions().Password(), u"");
  EXPECT_EQ(r.ScriptText().Count(), 3);
  // With Info set, the descriptive report options survive.
  r.ReportOptions().SetInfo(true);
  r.ReportOptions().SetAuthor(u"me");
  r.ReportOptions().SetName(u"n");
  r.Clear();
  EXPECT_EQ(r.ReportOptions().Author(), u"me");
  EXPECT_EQ(r.ReportOptions().Name(), u"");
}

TEST(ReportRoot, SilentModeIsAViewOfNewSilentMode) {
  TpgwEngineOptions e;
  e.SetNewSilentMode(simReThrow);
  EXPECT_FALSE(e.SilentMode());
  e.SetSilentMode(true);
  EXPECT_EQ(e.NewSilentMode(), simSilent);
  e.SetSilentMode(false);
  EXPECT_EQ(e.NewSilentMode(), simMessageBoxes);
}

TEST(ReportRoot, ErrorListIsSortedWithoutDuplicatesAndReportedByMode) {
  TpgwReport r;
  r.Errors().Add(u"zeta");
  r.Errors().Add(u"alpha");
  r.Errors().Add(u"zeta");
  ASSERT_EQ(r.Errors().Count(), 2);
  EXPECT_EQ(r.Errors()[0], u"alpha");
  r.EngineOptions().SetNewSilentMode(simSilent);
  EXPECT_NO_THROW(r.ReportErrors());
  EXPECT_EQ(r.Errors().Count(), 2);
  r.EngineOptions().SetNewSilentMode(simReThrow);
  try {
    r.ReportErrors();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message(), "The following error(s) have occured:\r\nalpha\r\nzeta\r\n");
  }
  r.EngineOptions().SetNewSilentMode(simMessageBoxes);
  testing::internal::CaptureStderr();
  r.ReportErrors();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("alpha\r\nzeta"), std::string::npos);
}

TEST(ReportRoot, LoadFromFileOfAMissingFile) {
  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  r.Errors().Add(u"old");
  r.ScriptText().Add(u"extra");
  const WideString missing = u"/nonexistent/dir/none.pw3";
  EXPECT_FALSE(r.LoadFromFile(missing));
  EXPECT_EQ(r.ScriptText().Count(), 3);  // cleared
  EXPECT_EQ(r.FileName(), u"");
  EXPECT_TRUE(r.EngineOptions().SilentMode());
  EXPECT_THROW(r.LoadFromFile(missing, true), EFOpenError);
}

TEST(ReportRoot, MalformedTemplateBecomesAnErrorLine) {
  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  TStringStream s("<TpgwReport/>");  // no header
  r.LoadFromStream(s);
  ASSERT_EQ(r.Errors().Count(), 1);
  EXPECT_EQ(r.Errors()[0], u"Invalid file format");
}

TEST(ReportRoot, LoadKeepsHostOptionsAndTakesTheTemplatesFive) {
  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  r.EngineOptions().SetEnableThreadSafe(true);
  LoadText(r,
           "<TpgwReport EngineOptions.MaxMemSize=\"1\" EngineOptions.NewSilentMode=\"simMessageBoxes\" "
           "EngineOptions.DoublePass=\"True\" PreviewOptions.Zoom=\"3\" PreviewOptions.OutlineWidth=\"200\" "
           "ReportOptions.Password=\"WX\">\r\n"  // "ab" stored 10 lower
           "  <TpgwNoSuchView Name=\"X\"/>\r\n"
           "  <TpgwAnother/>\r\n"
           "</TpgwReport>\r\n");
  EXPECT_EQ(r.EngineOptions().MaxMemSize(), 10);
  EXPECT_TRUE(r.EngineOptions().SilentMode());
  EXPECT_TRUE(r.EngineOptions().DoublePass());
  EXPECT_EQ(r.PreviewOptions().Zoom(), 1);
  EXPECT_EQ(r.PreviewOptions().OutlineWidth(), 200);
  EXPECT_EQ(r.ReportOptions().Password(), u"ab");
  ASSERT_EQ(r.Errors().Count(), 2);
  EXPECT_EQ(r.Errors()[0], u"line 3: Cannot find class TpgwNoSuchView");
  EXPECT_EQ(r.Errors()[1], u"line 4: Cannot find class TpgwAnother");
}

TEST(ReportRoot, ReadErrorBecomesAnErrorLineReportedByMode) {
  TpgwReport r;
  r.EngineOptions().SetNewSilentMode(simReThrow);
  TStringStream s(std::string(kHeader) + "<TpgwReport><a></b></TpgwReport>");
  try {
    r.LoadFromStream(s);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "The following error(s) have occured:\r\nInvalid file format\r\n");
  }
}

TEST(ReportRoot, PrepareReportChecksDataSetsAndNamesMissingSubsystems) {
  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  r.EngineOptions().SetDestroyForms(false);
  r.DataSets().Add().SetDataSetName(u"Missing");
  EXPECT_FALSE(r.PrepareReport());
  ASSERT_EQ(r.Errors().Count(), 1);
  EXPECT_EQ(r.Errors()[0], u"Dataset \"Missing\" does not exist");
  r.DataSets().Clear();
  EXPECT_FALSE(r.PrepareReport());
  EXPECT_EQ(r.Errors()[0], u"The script engine is not available");

  ScriptServiceDouble script;
  TpgwReport withScript(TpgwReportServices{nullptr, &script});
  withScript.EngineOptions().SetSilentMode(true);
  withScript.EngineOptions().SetDestroyForms(false);
  EXPECT_FALSE(withScript.PrepareReport());
  EXPECT_EQ(withScript.Errors()[0], u"The report engine is not available");

  EngineServiceDouble engine;
  TpgwReport full(TpgwReportServices{nullptr, &script, &engine});
  full.EngineOptions().SetSilentMode(true);
  full.EngineOptions().SetDestroyForms(false);
  int endDoc = 0;
  full.OnEndDoc = [&](TpgwReport&) { ++endDoc; };
  engine.run = [](TpgwReport& rep) {
    EXPECT_TRUE(rep.IsReportActionRunning());
    // Requests made while preparing wait for the end of the preparation.
    EXPECT_FALSE(rep.LoadFromFile(u"/nonexistent/x.pw3"));
    EXPECT_EQ(rep.DelayedCommandCount(), 1u);
    return true;
  };
  EXPECT_TRUE(full.PrepareReport());
  EXPECT_EQ(endDoc, 1);
  EXPECT_EQ(full.DelayedCommandCount(), 0u);
  EXPECT_FALSE(full.IsReportActionRunning());
  EXPECT_FALSE(full.Export(full));
  EXPECT_EQ(full.Errors()[0], u"The prepared page store is not available");
}

TEST(ReportRoot, DataSetListsAndLookup) {
  TpgwReport r;
  auto ds = std::make_unique<TestDataSet>(nullptr);
  ds->SetName(u"pgwDBmaster");
  ds->SetUserName(u"Master");
  TestDataSet other(nullptr);
  other.SetUserName(u"Other");
  r.DataSets().Add(ds.get());
  EXPECT_EQ(r.DataSets().Items(0).DataSetName(), u"Master");
  EXPECT_EQ(r.GetDataset(u"master"), ds.get());
  EXPECT_EQ(r.GetDataset(u"PGWDBMASTER"), ds.get());
  EXPECT_EQ(r.GetAlias(ds.get()), u"Master");
  EXPECT_EQ(r.GetAlias(&other), u"(dataset is not included in Report.DataSets)");
  EXPECT_EQ(r.GetAlias(nullptr), u"");
  struct Case {
    std::u16string name;
    bool found;
    std::u16string field;
  };
  const Case cases[] = {{u"Master.\"Code\"", true, u"Code"},
                        {u"Master.\"A.\"B\"", true, u"A.\"B"},
                        {u"Master.Code", false, u""},
                        {u"Nobody.\"F\"", false, u"F"}};
  for (const Case& c : cases) {
    TComponent* found = nullptr;
    WideString field;
    r.GetDatasetAndField(c.name, found, field);
    EXPECT_EQ(found != nullptr, c.found);
    EXPECT_EQ(field, c.field);
  }
  // EnabledDataSets lookup when the global list is off.
  r.EngineOptions().SetUseGlobalDataSetList(false);
  r.EnabledDataSets().Add(&other);
  TpgwDataSetItem& item = r.DataSets().Add();
  item.SetDataSetName(u"other");
  EXPECT_EQ(item.DataSet(), &other);
  // A destroyed data set leaves the lists and the report's DataSet.
  r.SetDataSet(ds.get());
  ds.reset();
  EXPECT_EQ(r.DataSet(), nullptr);
  EXPECT_EQ(r.DataSets().Count(), 1);
}

TEST(ReportRoot, Styles) {
  TpgwReport r;
  TpgwStyles& s = r.Styles();
  TpgwStyleItem& a = s.Add();
  a.CreateUniqueName();
  TpgwStyleItem& b = s.Add();
  b.CreateUniqueName();
  EXPECT_EQ(a.Name(), u"Style1");
  EXPECT_EQ(b.Name(), u"Style2");
  EXPECT_EQ(s.Find(u"STYLE2"), &b);
  EXPECT_THROW(b.SetName(u"style1"), Exception);
  EXPECT_EQ(b.Name(), u"Style2");
  EXPECT_NO_THROW(b.SetName(u"Style2"));
  EXPECT_EQ(a.Font().Name(), u"Arial");
  EXPECT_TRUE(a.ApplyFrame());
  // Colour lives in the fill: brush back colour, gradient middle colour, nothing for glass.
  EXPECT_EQ(a.FillType(), ftBrush);
  a.SetColor(0x00FF00);
  EXPECT_EQ(static_cast<const TpgwBrushFill&>(a.Fill()).BackColor(), 0x00FF00);
  EXPECT_FALSE(GetPropInfo(a, "Color").IsStored(a));
  a.SetFillType(ftGlass);
  EXPECT_EQ(a.Color(), clNone);
  a.SetColor(0xFF);
  EXPECT_EQ(a.Color(), clNone);
  TpgwGradientFill g;
  b.SetFill(g);
  EXPECT_EQ(b.FillType(), ftGradient);
  EXPECT_EQ(b.Color(), g.MainColor());
  std::vector<std::string> props;
  for (const TPropInfo* p : TpgwStyleItem::StaticClassInfo().Properties()) props.push_back(p->Name());
  EXPECT_EQ(props, (std::vector<std::string>{"Name", "Color", "Font", "Frame", "ApplyFont", "ApplyFill",
                                             "ApplyFrame", "FillType", "Fill"}));
  TpgwReport other;
  other.SetStyles(&s);
  EXPECT_EQ(other.Styles().Items(1).FillType(), ftGradient);
  EXPECT_EQ(other.Styles().Count(), 2);
  other.SetStyles(nullptr);
  EXPECT_EQ(other.Styles().Count(), 0);
}

namespace {

class TestPage : public TpgwComponent {
 public:
  using TpgwComponent::TpgwComponent;
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TestPage>("TpgwDataPage").Parent<TpgwComponent>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

// A text object stand-in: its style is named by a published "Style".
class TestText : public TpgwComponent {
 public:
  using TpgwComponent::TpgwComponent;
  static const TClassInfo& StaticClassInfo() {
    using T = TestText;
    static const TClassInfo& info =
        Describe<T>("TpgwTestText").Parent<TpgwComponent>().String("Style", &T::Style, &T::SetStyle).Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  const WideString& Style() const { return FStyle; }
  void SetStyle(const WideString& v) {
    FStyle = v;
    ++Applied;
  }
  int Applied = 0;

 private:
  WideString FStyle;
};

void RegisterTestClasses() {
  ClassRegistry().Register(TestPage::StaticClassInfo());
  ClassRegistry().Register(TestText::StaticClassInfo());
}

bool IsDataPage(const TpgwComponent* c) {
  return c->ClassName() == "TpgwDataPage";
}

}  // namespace

TEST(ReportRoot, LoadEnsuresOneDataPageNamedDataFirst) {
  RegisterTestClasses();
  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  const std::string body = "<TpgwReport><TpgwTestText Name=\"T\"/></TpgwReport>";
  LoadText(r, body);
  ASSERT_EQ(r.Objects().Count(), 2);
  EXPECT_EQ(r.Objects()[0]->Name(), u"Data");
  EXPECT_TRUE(IsDataPage(r.Objects()[0]));
  LoadText(r, body);
  int pages = 0;
  for (int i = 0; i < r.Objects().Count(); ++i)
    if (IsDataPage(r.Objects()[i])) ++pages;
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(r.Objects().Count(), 2);
}

TEST(ReportRoot, PrepareWithDestroyFormsReloadsTheTreeAndKeepsErrors) {
  RegisterTestClasses();
  ScriptServiceDouble script;
  EngineServiceDouble engine;
  TpgwReport r(TpgwReportServices{nullptr, &script, &engine});
  r.EngineOptions().SetSilentMode(true);
  r.ReportOptions().SetPassword(u"secret");
  auto* t = &CreateChild<TestText>(r);
  t->SetName(u"T");
  t->SetStyle(u"before");
  script.prepare = [](TpgwReport& rep) {
    EXPECT_EQ(rep.ReportOptions().Password(), u"secret");
    return true;
  };
  engine.run = [](TpgwReport& rep) {
    // Changes made while preparing.
    static_cast<TestText*>(rep.FindObject(u"T"))->SetStyle(u"during");
    CreateChild<TestText>(rep);
    rep.Errors().Add(u"engine note");
    return false;
  };
  EXPECT_FALSE(r.PrepareReport());
  auto* back = dynamic_cast<TestText*>(r.FindObject(u"T"));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Style(), u"before");  // back as it was saved
  int texts = 0;
  for (int i = 0; i < r.Objects().Count(); ++i) texts += dynamic_cast<TestText*>(r.Objects()[i]) != nullptr;
  EXPECT_EQ(texts, 1);
  EXPECT_EQ(r.ReportOptions().Password(), u"secret");
  ASSERT_EQ(r.Errors().Count(), 1);
  EXPECT_EQ(r.Errors()[0], u"engine note");
  EXPECT_FALSE(r.Reloading());
}

TEST(ReportRoot, PasswordIsShiftedInTemplatesAndChecked) {
  RegisterTestClasses();
  TpgwReport source;
  source.ReportOptions().SetPassword(u"a");
  CreateChild<TestText>(source);
  TStringStream saved;
  source.SaveToStream(saved);
  EXPECT_NE(saved.DataString().find("ReportOptions.Password=\"W\""), std::string::npos) << saved.DataString();
  EXPECT_EQ(source.ReportOptions().Password(), u"a");

  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  saved.SetPosition(0);
  r.LoadFromStream(saved);  // nobody to ask: the check fails
  EXPECT_EQ(r.Objects().Count(), 0);
  ASSERT_EQ(r.Errors().Count(), 1);
  EXPECT_EQ(r.Errors()[0], u"Invalid password");
  r.OnCheckPassword = [](TpgwReport&, const WideString& p) { return p == u"a"; };
  saved.SetPosition(0);
  r.LoadFromStream(saved);
  ASSERT_GE(r.Objects().Count(), 1);  // and the data page when that class is registered
  EXPECT_EQ(r.Objects()[r.Objects().Count() - 1]->ClassName(), "TpgwTestText");
  EXPECT_EQ(r.Errors().Count(), 0);
}

TEST(ReportRoot, StylesApplyAndStyleSheetFiles) {
  TpgwReport r;
  auto* known = &CreateChild<TestText>(r);
  auto* unknown = &CreateChild<TestText>(r);
  known->SetStyle(u"heading");
  unknown->SetStyle(u"gone");
  r.Styles().Add().SetName(u"Heading");
  r.Styles().SetName(u"Sheet");
  r.Styles().Apply();
  EXPECT_EQ(known->Style(), u"heading");
  EXPECT_EQ(known->Applied, 2);  // set again
  EXPECT_EQ(unknown->Style(), u"");

  TStringStream out;
  r.Styles().SaveToStream(out);
  EXPECT_NE(out.DataString().find("<style Name=\"Sheet\">"), std::string::npos);
  EXPECT_NE(out.DataString().find("<item Name=\"Heading\" Font.Charset=\"1\""), std::string::npos)
      << out.DataString();
  TpgwReport other;
  other.Styles().Add().SetName(u"Old");
  TStringStream in(out.DataString());
  other.Styles().LoadFromStream(in);
  ASSERT_EQ(other.Styles().Count(), 1);
  EXPECT_EQ(other.Styles().Items(0).Name(), u"Heading");
  EXPECT_EQ(other.Styles().Name(), u"Sheet");
  EXPECT_THROW(other.Styles().LoadFromFile(u"/nonexistent/sheet.pws"), EFOpenError);
}

namespace {
std::string ScratchDir(const char* name) {
  std::string dir = std::string(PW_BINARY_DIR) + "/report-test-" + name;
  ForceDirectories(dir);
  return dir;
}
int FilesIn(const std::string& dir) {
  int n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}
}  // namespace

TEST(ReportRoot, FileCacheCopyIsDeletedAfterPreparing) {
  RegisterTestClasses();
  const std::string dir = ScratchDir("cache");
  for (auto& e : std::filesystem::directory_iterator(dir)) std::filesystem::remove(e.path());
  ScriptServiceDouble script;
  EngineServiceDouble engine;
  TpgwReport r(TpgwReportServices{nullptr, &script, &engine});
  r.EngineOptions().SetSilentMode(true);
  r.EngineOptions().SetUseFileCache(true);
  r.EngineOptions().SetTempDir(Utf8ToUtf16(dir));
  (&CreateChild<TestText>(r))->SetName(u"Kept");
  engine.run = [&](TpgwReport& rep) {
    EXPECT_EQ(FilesIn(dir), 1);
    rep.FindObject(u"Kept")->SetName(u"Renamed");
    return true;
  };
  EXPECT_TRUE(r.PrepareReport());
  EXPECT_NE(r.FindObject(u"Kept"), nullptr);  // reloaded from the file copy
  EXPECT_EQ(FilesIn(dir), 0);
}

TEST(ReportRoot, ParentTemplateChainIsBounded) {
  const std::string dir = ScratchDir("parent");
  const std::string file = dir + "/self.pw3";
  TStringStream body(std::string(kHeader) + "<TpgwReport ParentReport=\"self.pw3\"/>\r\n");  // names itself
  {
    TFileStream f(file, fmCreate);
    f.CopyFrom(body, 0);
  }
  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  EXPECT_TRUE(r.LoadFromFile(Utf8ToUtf16(file)));
  int chain = 0;
  for (TpgwReport* p = r.ParentReportObject(); p; p = p->ParentReportObject()) ++chain;
  EXPECT_EQ(chain, 16);
  EXPECT_EQ(r.Errors().Count(), 0);  // the cut happened in a hidden parent
  EXPECT_EQ(r.FileName(), Utf8ToUtf16(file));
}

TEST(ReportRoot, FindObjectFallsBackToEnabledDataSetsWhileLoading) {
  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  r.EngineOptions().SetUseGlobalDataSetList(false);
  TpgwReport dataHolder;  // a node data set stand-in
  auto* ds = &CreateChild<TestText>(dataHolder);
  ds->SetName(u"Orders");
  r.EnabledDataSets().Add(ds);
  EXPECT_EQ(r.FindObject(u"Form.Orders"), nullptr);  // not loading
  LoadText(r, "<TpgwReport><Datasets><item DataSet=\"Form.orders\"/></Datasets></TpgwReport>");
  ASSERT_EQ(r.DataSets().Count(), 1);
  EXPECT_EQ(r.DataSets().Items(0).DataSet(), ds);
}

namespace {
void WriteFile(const std::string& path, const std::string& body) {
  TStringStream text(std::string(kHeader) + body);
  TFileStream f(path, fmCreate);
  f.CopyFrom(text, 0);
}
}  // namespace

// A parent template that names a device, a pipe or a folder is an error line, never a hang; a
// relative name is taken from the child template's folder, not the working folder.
TEST(ReportRoot, ParentTemplateMustBeARegularFileNextToTheChild) {
  RegisterTestClasses();
  const std::string dir = ScratchDir("parent-kinds");
  const std::string fifo = dir + "/pipe.pw3";
  ::unlink(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directories(dir + "/folder.pw3");
  WriteFile(dir + "/base.pw3", "<TpgwReport><TpgwTestText Name=\"FromBase\"/></TpgwReport>");
  const struct {
    std::string parent, error;
  } cases[] = {
      {"/dev/zero", "Cannot open file \"/dev/zero\". It is not a regular file"},
      {"pipe.pw3", "Cannot open file \"" + fifo + "\". It is not a regular file"},
      {"folder.pw3", "Cannot open file \"" + dir + "/folder.pw3\". Is a directory"},
      {"base.pw3", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parent);
    WriteFile(dir + "/child.pw3", "<TpgwReport ParentReport=\"" + c.parent + "\"><TpgwTestText Name=\"Own\"/></TpgwReport>");
    TpgwReport r;
    r.EngineOptions().SetSilentMode(true);
    ASSERT_TRUE(r.LoadFromFile(Utf8ToUtf16(dir + "/child.pw3")));
    const std::string errors = Utf16ToUtf8(r.Errors().Text());
    if (c.error.empty()) {
      EXPECT_EQ(errors, "");
      EXPECT_NE(r.FindObject(u"FromBase"), nullptr);
    } else {
      EXPECT_NE(errors.find(c.error), std::string::npos) << errors;
      EXPECT_EQ(r.FindObject(u"FromBase"), nullptr);
    }
    EXPECT_NE(r.FindObject(u"Own"), nullptr);  // the rest of the template still loads
  }
}

TEST(ReportRoot, ParentTemplateGivesInheritedObjectsAndStyles) {
  RegisterTestClasses();
  const std::string dir = ScratchDir("inherit");
  WriteFile(dir + "/parent.pw3",
            "<TpgwReport><Styles><item Name=\"Big\"/></Styles><TpgwTestText Name=\"Title\" Style=\"Big\"/>"
            "</TpgwReport>");
  WriteFile(dir + "/child.pw3",
            "<TpgwReport ParentReport=\"parent.pw3\"><TpgwTestText Name=\"Title\" Tag=\"5\"/>"
            "<TpgwTestText Name=\"Own\"/></TpgwReport>");
  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  ASSERT_TRUE(r.LoadFromFile(Utf8ToUtf16(dir + "/child.pw3")));
  EXPECT_EQ(r.Errors().Count(), 0) << Utf16ToUtf8(r.Errors().Text());
  auto* title = dynamic_cast<TestText*>(r.FindObject(u"Title"));
  ASSERT_NE(title, nullptr);
  EXPECT_TRUE(title->IsAncestor());
  EXPECT_EQ(title->Style(), u"Big");
  EXPECT_EQ(title->Tag(), 5);  // the inherited node, changed by the template
  ASSERT_NE(r.FindObject(u"Own"), nullptr);
  EXPECT_FALSE(r.FindObject(u"Own")->IsAncestor());
  ASSERT_NE(r.Styles().Find(u"big"), nullptr);
  EXPECT_TRUE(r.Styles().Find(u"big")->IsInherited());
  EXPECT_THROW(title->SetName(u"Renamed"), Exception);
  // Saved as differences from the parent: the inherited node as an "inherited" element.
  TStringStream saved;
  r.SaveToStream(saved);
  EXPECT_NE(saved.DataString().find("<inherited Name=\"Title\" Tag=\"5\"/>"), std::string::npos)
      << saved.DataString();
  EXPECT_NE(saved.DataString().find("<TpgwTestText Name=\"Own\"/>"), std::string::npos);
  // Loading again reuses the inherited node kept by the load's Clear.
  ASSERT_TRUE(r.LoadFromFile(Utf8ToUtf16(dir + "/child.pw3")));
  EXPECT_EQ(r.FindObject(u"Title"), title);
  EXPECT_EQ(r.Objects().Count(), 2 + (ClassRegistry().Find("TpgwDataPage") ? 1 : 0));
  // Clearing keeps the inherited node but drops the parent link.
  r.TpgwComponent::Clear();
  EXPECT_EQ(r.FindObject(u"Title"), title);
  EXPECT_EQ(r.FindObject(u"Own"), nullptr);
}
