// The report classes as a report's script sees them: every member besides the published
// properties, called or read once by a script on a loaded template, and the refusals that keep
// template scripts away from files, foreign streams and re-entrant preparation.
#include "expressions/report_classes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/service_doubles.h"
#include "data/data_set.h"
#include "data/db_dataset.h"
#include "expressions/report_expressions.h"
#include "platform/mem_table.h"
#include "platform/memory_budget.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "render/graphic_formats.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/shape_views.h"
#include "report/view.h"
#include "script/grammar.h"
#include "script/interpreter.h"
#include "script/sys_functions.h"
#include "support/resources.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

void StartUp() {
  static std::once_flag once;
  std::call_once(once, [] {
    ResourceStore();
    RegisterPlatformClasses();
    ProvideViewClasses();
    ProvideShapeClasses();
    ProvideMemoClasses();
    ProvidePictureClasses();
    ProvideBandClasses();
    ProvidePageClasses();
    RegisterReportClasses();
    RegisterDataClasses();
    RegisterGraphicFormats();
    InitScriptLanguages();
    InitScriptInterpreter();
    RegisterSysFunctions();
    RegisterReportExpressions();
  });
}

std::string U8(const WideString& s) {
  return Utf16ToUtf8(s);
}

// A copy of tests/data/report_classes (template, a text file, a picture) in a folder of its own,
// a table "Orders" of three rows, and a fresh report loaded from the copy for each script.
class ReportClasses : public ::testing::Test {
 public:
  void SetUp() override {
    StartUp();
    dir = fs::temp_directory_path() / ("pw_report_classes_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* f : {"classes.pw3", "lines.txt", "picture.bmp"})
      fs::copy_file(fs::path(PW_TEST_DATA_DIR) / "report_classes" / f, dir / f);
    table.FieldDefs().Add(u"name", ftString, 20);
    table.FieldDefs().Add(u"qty", ftInteger);
    table.CreateDataSet();
    for (auto [name, qty] : {std::pair{u"alpha", 1}, {u"beta", 2}, {u"gamma", 3}}) {
      table.Append();
      table.FieldByName(u"name").SetAsString(name);
      table.FieldByName(u"qty").SetAsInteger(qty);
      table.Post();
    }
    ds.SetName(u"Orders");
    ds.SetDataSet(&table);
  }
  void TearDown() override {
    report.reset();
    fs::remove_all(dir);
  }

  void Load() {
    report.reset();
    report = std::make_unique<TpgwReport>(services);
    report->EngineOptions().SetSilentMode(true);
    ASSERT_TRUE(report->LoadFromFile(Utf8ToUtf16((dir / "classes.pw3").string())));
    ASSERT_EQ(report->Errors().Count(), 0) << U8(report->Errors().Text());
    report->DataSets().Add(&ds);
    ASSERT_TRUE(PrepareReportScript(*report));
  }

  // Runs the statements in a fresh report's script: the lines ShowMessage wrote, joined by "|",
  // then "error: " and the message of an error that ended the script.
  std::string Run(const WideString& body, IpgwRunningEngine* running = nullptr) {
    Load();
    TvmScript& script = ReportScript(*report).Script();
    script.Lines =
        u"var S: TMemoryStream; L: TWideStrings; St: TpgwStyles; V: TpgwVariables; A: TpgwArray;\n"
        u"  D: TpgwDataSet; O: Variant; I: Integer;\nbegin\n" +
        body + u"\nend.";
    std::vector<std::string> out;
    SetShowMessageOutput([&](const WideString& m) { out.push_back(U8(m)); });
    struct Reset {
      ~Reset() { SetShowMessageOutput(nullptr); }
    } reset;
    if (!script.Compile()) return "compile: " + U8(script.ErrorMsg) + " at " + U8(script.ErrorPos);
    SetScriptFileWrites(script, allowWrites);
    report->SetRunningEngine(running);
    try {
      script.Execute();
    } catch (const Exception& e) {
      out.push_back("error: " + e.Message());
    }
    report->SetRunningEngine(nullptr);
    std::string joined;
    for (const std::string& line : out) joined += (joined.empty() ? "" : "|") + line;
    return joined;
  }

  template <class T>
  T& Object(const char16_t* name) {
    auto* obj = dynamic_cast<T*>(report->FindObject(name));
    if (!obj) throw Exception("no object " + U8(name));
    return *obj;
  }

  fs::path dir;
  bool allowWrites = false;  // the host's switch for SaveToFile members
  TMemTable table;
  TpgwDBDataset ds{nullptr};
  EngineServiceDouble engine;
  TpgwReportServices services{&ReportDataService(), &ReportScriptService(), &engine};
  std::unique_ptr<TpgwReport> report;
};

struct MemberCase {
  const char* member;
  const char16_t* code;
  const char* output;
  // What the script changed in the report, checked after it ran.
  std::function<void(ReportClasses&)> check = nullptr;
};

// One row per member a script reaches besides the published properties.
TEST_F(ReportClasses, EveryMemberWorksFromAScriptOnALoadedTemplate) {
  const MemberCase cases[] = {
      // TpgwComponent
      // What the script still holds stays alive, detached.
      {"Clear", u"O := Memo1; Band1.Clear; ShowMessage(Band1.Objects.Count); ShowMessage(O.Left)", "0|10"},
      {"FindObject", u"ShowMessage(Page1.FindObject('memo2').Name)", "Memo2"},
      {"SaveToStream, LoadFromStream",
       u"S := TMemoryStream.Create; Memo1.SaveToStream(S); Memo1.Left := 99; S.Position := 0;"
       u" Memo1.LoadFromStream(S); ShowMessage(Memo1.Left); ShowMessage(S.Size > 0)",
       "10|True"},
      {"LoadFromStream of a band",
       u"S := TMemoryStream.Create; Band1.SaveToStream(S); O := Memo1; Memo1.Left := 3; S.Position := 0;"
       u" Band1.LoadFromStream(S); ShowMessage(O.Left); ShowMessage(Band1.Objects.Count); "
       u"ShowMessage(Memo1.Left)",
       "3|3|10"},
      {"SetBounds",
       u"Memo1.SetBounds(1, 2, 30, 40); ShowMessage(Memo1.Left + Memo1.Top + Memo1.Width + Memo1.Height)",
       "73"},
      {"Objects", u"ShowMessage(Band1.Objects.Count); ShowMessage(Band1.Objects[2].Name)", "3|Picture1"},
      {"AllObjects", u"ShowMessage(Page1.AllObjects.Count); ShowMessage(Page1.AllObjects[0].Name)",
       "4|Band1"},
      {"Parent", u"ShowMessage(Memo1.Parent.Name)", "Band1"},
      {"Page", u"ShowMessage(Memo1.Page.Name)", "Page1"},
      {"AbsLeft, AbsTop", u"ShowMessage(Memo2.AbsLeft); ShowMessage(Memo2.AbsTop)", "150|25"},
      // TpgwCustomFill
      {"AsGradientFill", u"ShowMessage(Band1.Fill.AsGradientFill.StartColor)", "255"},
      {"AsBrushFill",
       u"ShowMessage(VarType(Band1.Fill.AsBrushFill)); ShowMessage(Memo1.Fill.AsBrushFill.BackColor)",
       "1|536870911"},
      {"AsGlassFill", u"ShowMessage(VarType(Memo1.Fill.AsGlassFill))", "1"},
      // TWideStrings
      {"constructor, Add, Count, Strings",
       u"L := TWideStrings.Create; L.Add('a'); ShowMessage(L.Add('b')); ShowMessage(L.Count); "
       u"ShowMessage(L[1]);"
       u" L.Strings[0] := 'z'; ShowMessage(L.Strings[0])",
       "1|2|b|z"},
      {"AddObject, Objects",
       u"L := TWideStrings.Create; L.AddObject('m', Memo2); O := L.Objects[0]; ShowMessage(O.Name);"
       u" L.Objects[0] := Memo1; O := L.Objects[0]; ShowMessage(O.Name)",
       "Memo2|Memo1"},
      {"Clear, Delete, IndexOf, Insert, Text",
       u"L := TWideStrings.Create; L.Text := 'a'#13#10'b'#13#10'c'; L.Delete(0); L.Insert(1, 'x');"
       u" ShowMessage(L.IndexOf('c')); ShowMessage(L.Text); L.Clear; ShowMessage(L.Count)",
       "2|b\r\nx\r\nc\r\n|0"},
      {"LoadFromFile",
       u"L := TWideStrings.Create; L.LoadFromFile('lines.txt'); ShowMessage(L.Count); ShowMessage(L[1])",
       "2|south"},
      {"SaveToStream, LoadFromStream",
       u"L := TWideStrings.Create; L.Add('one'); S := TMemoryStream.Create; L.SaveToStream(S); S.Position := "
       u"0;"
       u" L := TWideStrings.Create; L.LoadFromStream(S); ShowMessage(L[0])",
       "one"},
      {"SaveToFile (refused)", u"L := TWideStrings.Create; L.SaveToFile('out.txt')",
       "error: TWideStrings.SaveToFile is not allowed in report scripts: they may not write files",
       [](ReportClasses& t) { EXPECT_FALSE(fs::exists(t.dir / "out.txt")); }},
      // TpgwDataSet
      {"Open, First, Next, Prior, Eof, RecNo, Value",
       u"D := Report.GetDataset('Orders'); D.Open; D.First; D.Next; D.Next; ShowMessage(D.Value['name']);"
       u" ShowMessage(D.RecNo); D.Prior; ShowMessage(D.Value['qty']); D.Next; D.Next; ShowMessage(D.Eof); "
       u"D.Close",
       "gamma|2|2|True"},
      {"FieldsCount, HasField, IsBlobField, RecordCount",
       u"D := Report.GetDataset('Orders'); D.Open; ShowMessage(D.FieldsCount); "
       u"ShowMessage(D.HasField('qty'));"
       u" ShowMessage(D.HasField('nope')); ShowMessage(D.IsBlobField('name')); ShowMessage(D.RecordCount)",
       "2|True|False|False|3"},
      {"GetFieldList",
       u"D := Report.GetDataset('Orders'); L := TWideStrings.Create; D.GetFieldList(L); ShowMessage(L.Text)",
       "name\r\nqty\r\n"},
      {"DisplayText, DisplayWidth, FieldType",
       u"D := Report.GetDataset('Orders'); D.Open; D.First; ShowMessage(D.DisplayText['name']);"
       u" ShowMessage(D.DisplayWidth['name'] > 0); ShowMessage(D.FieldType['qty'] = fftNumeric)",
       "alpha|True|True"},
      // views
      {"TagStr", u"Memo1.TagStr := 'tag'; ShowMessage(Memo1.TagStr)", "tag"},
      {"CalcHeight", u"ShowMessage(Memo1.CalcHeight > 0)", "True"},
      {"CalcWidth", u"ShowMessage(Memo1.CalcWidth > 0)", "True"},
      {"Text, Value",
       u"Memo1.Text := 'x'; Memo1.Value := 5; ShowMessage(Memo1.Text); ShowMessage(Memo1.Value)", "x\r\n|5"},
      {"AnsiText", u"Memo1.AnsiText := 'plain'; ShowMessage(Memo1.AnsiText)", "plain\r\n"},
      {"Lines", u"Memo1.Lines.Add('second'); ShowMessage(Memo1.Lines.Count); ShowMessage(Memo1.Lines[0])",
       "2|Hello",
       [](ReportClasses& t) {
         EXPECT_EQ(U8(t.Object<TpgwMemoView>(u"Memo1").Text()), "Hello\r\nsecond\r\n");
       }},
      {"TpgwPictureView.LoadFromFile", u"Picture1.LoadFromFile('picture.bmp'); ShowMessage('loaded')",
       "loaded",
       [](ReportClasses& t) {
         EXPECT_NE(t.Object<TpgwPictureView>(u"Picture1").Picture().Graphic(), nullptr);
       }},
      {"SetFocus", u"TpgwDialogControl(Memo1).SetFocus; ShowMessage('no focus here')", "no focus here"},
      {"ShowModal, ModalResult",
       u"Dialog1.ModalResult := 1; ShowMessage(Dialog1.ModalResult); ShowMessage(Dialog1.ShowModal);"
       u" ShowMessage(Dialog1.ModalResult)",
       "1|2|2"},
      {"DestroyForms",
       u"Report.EngineOptions.DestroyForms := False; ShowMessage(Report.EngineOptions.DestroyForms)",
       "False"},
      {"Overflow", u"Band1.Overflow := True; ShowMessage(Band1.Overflow)", "True"},
      // Aligned to the right, up against the picture that stands to its right.
      {"AlignChildren", u"Memo2.Align := baRight; Band1.AlignChildren; ShowMessage(Memo2.Left)", "160"},
      // variables, styles, arrays
      {"TpgwVariables constructor, Variables",
       u"V := TpgwVariables.Create; V['Rate'] := 3; ShowMessage(V['Rate'] * 2)", "6"},
      {"TpgwArray constructor, Variables",
       u"A := TpgwArray.Create; A['k'] := 'v'; A[7] := 8; ShowMessage(A['K']); ShowMessage(A[7]); "
       u"ShowMessage(VarType(A['none']))",
       "v|8|1"},
      {"Styles, Items, Count, Find",
       u"St := Report.Styles; ShowMessage(St.Count); ShowMessage(St[1].Name); "
       u"ShowMessage(St.Find('Title').Font.Color);"
       u" ShowMessage(VarType(St.Find('none')))",
       "2|Body|255|1"},
      {"TpgwStyles constructor, Add, GetList",
       u"St := TpgwStyles.Create(Report); St.Add.Name := 'Mine'; L := TWideStrings.Create; St.GetList(L); "
       u"ShowMessage(L.Text)",
       "Mine\r\n"},
      {"Apply",
       u"Memo1.Style := 'Title'; Report.Styles.Find('Title').Font.Color := 32768; Report.Styles.Apply; "
       u"ShowMessage(Memo1.Font.Color)",
       "32768"},
      {"TpgwStyles SaveToStream, LoadFromStream",
       u"S := TMemoryStream.Create; Report.Styles.SaveToStream(S); S.Position := 0; St := "
       u"TpgwStyles.Create(Report);"
       u" St.LoadFromStream(S); ShowMessage(St.Count); ShowMessage(St[0].Name)",
       "2|Title"},
      {"TpgwStyles LoadFromStream keeps the items a script holds",
       u"O := Report.Styles.Find('Title'); S := TMemoryStream.Create; Report.Styles.SaveToStream(S); "
       u"S.Position := 0;"
       u" Report.Styles.LoadFromStream(S); ShowMessage(O.Name); ShowMessage(Report.Styles.Count)",
       "Title|2"},
      {"TpgwStyles SaveToFile (refused), LoadFromFile", u"Report.Styles.SaveToFile('house.xml')",
       "error: TpgwStyles.SaveToFile is not allowed in report scripts: they may not write files"},
      // the report
      {"Calc, GetDataset",
       u"ShowMessage(Report.Calc('6 * 7')); ShowMessage(Report.GetDataset('Orders').Name)", "42|Orders"},
      {"Variables", u"Report.Variables['Shown'] := 3; ShowMessage(Report.Variables['Shown'])", "3"},
      {"Terminated",
       u"ShowMessage(Report.Terminated); Report.Terminated := True; ShowMessage(Report.Terminated)",
       "False|True"},
      {"DrillState", u"Report.DrillState.Add('Band1'); ShowMessage(Report.DrillState.Count)", "1"},
      {"PrepareReport", u"Report.PrepareReport",
       "error: TpgwReport.PrepareReport cannot be called from the report's own script: it runs while the "
       "report is "
       "prepared, and preparing again would start inside itself"},
      {"ShowReport", u"Report.ShowReport(False)",
       "error: TpgwReport.ShowReport cannot be called from the report's own script: it runs while the report "
       "is "
       "prepared, and preparing again would start inside itself"},
      {"Print", u"Report.Print",
       "error: Print is not available in report scripts: the host prints prepared reports"},
      {"LoadFromFile", u"ShowMessage(Report.LoadFromFile('classes.pw3'))",
       "error: TpgwReport.LoadFromFile cannot be called on the report from its own script: it would replace "
       "the "
       "script that is running"},
      {"SaveToFile (refused)", u"Report.SaveToFile('copy.pw3')",
       "error: TpgwReport.SaveToFile is not allowed in report scripts: they may not write files",
       [](ReportClasses& t) { EXPECT_FALSE(fs::exists(t.dir / "copy.pw3")); }},
      // base classes
      {"Free", u"L := TWideStrings.Create; L.Add('a'); L.Free; ShowMessage(L.Count)",
       "error: TWideStrings.Count: the object was freed"},
  };
  for (const MemberCase& c : cases) {
    SCOPED_TRACE(c.member);
    EXPECT_EQ(Run(c.code), c.output);
    if (c.check) c.check(*this);
  }
}

// The classes known by their published properties only are registered, each below the class the
// members above are registered on.
TEST_F(ReportClasses, ClassesAreRegisteredBelowTheirAncestors) {
  Load();
  TvmScript& script = ReportScript(*report).Script();
  const std::pair<const char16_t*, const char16_t*> classes[] = {
      {u"TpgwComponent", u"TComponent"},
      {u"TComponent", u"TObject"},
      {u"TpgwReportComponent", u"TpgwComponent"},
      {u"TpgwDialogComponent", u"TpgwReportComponent"},
      {u"TpgwDataSet", u"TpgwDialogComponent"},
      {u"TpgwUserDataSet", u"TpgwDataSet"},
      {u"TpgwCustomDBDataSet", u"TpgwDataSet"},
      {u"TpgwView", u"TpgwReportComponent"},
      {u"TpgwStretcheable", u"TpgwView"},
      {u"TpgwCustomMemoView", u"TpgwStretcheable"},
      {u"TpgwMemoView", u"TpgwCustomMemoView"},
      {u"TpgwSysMemoView", u"TpgwCustomMemoView"},
      {u"TpgwPictureView", u"TpgwView"},
      {u"TpgwDigitalSignatureView", u"TpgwPictureView"},
      {u"TpgwShapeView", u"TpgwView"},
      {u"TpgwLineView", u"TpgwView"},
      {u"TpgwSubreport", u"TpgwView"},
      {u"TpgwBand", u"TpgwReportComponent"},
      {u"TpgwDataBand", u"TpgwBand"},
      {u"TpgwMasterData", u"TpgwDataBand"},
      {u"TpgwDetailData", u"TpgwDataBand"},
      {u"TpgwSubdetailData", u"TpgwDataBand"},
      {u"TpgwDataBand4", u"TpgwDataBand"},
      {u"TpgwDataBand5", u"TpgwDataBand"},
      {u"TpgwDataBand6", u"TpgwDataBand"},
      {u"TpgwHeader", u"TpgwBand"},
      {u"TpgwFooter", u"TpgwBand"},
      {u"TpgwPageHeader", u"TpgwBand"},
      {u"TpgwPageFooter", u"TpgwBand"},
      {u"TpgwColumnHeader", u"TpgwBand"},
      {u"TpgwColumnFooter", u"TpgwBand"},
      {u"TpgwGroupHeader", u"TpgwBand"},
      {u"TpgwGroupFooter", u"TpgwBand"},
      {u"TpgwReportTitle", u"TpgwBand"},
      {u"TpgwReportSummary", u"TpgwBand"},
      {u"TpgwChild", u"TpgwBand"},
      {u"TpgwOverlay", u"TpgwBand"},
      {u"TpgwPage", u"TpgwComponent"},
      {u"TpgwReportPage", u"TpgwPage"},
      {u"TpgwDataPage", u"TpgwPage"},
      {u"TpgwDialogPage", u"TpgwPage"},
      {u"TpgwDialogControl", u"TpgwReportComponent"},
      {u"TpgwReport", u"TpgwComponent"},
      {u"TpgwBrushFill", u"TpgwCustomFill"},
      {u"TpgwGradientFill", u"TpgwCustomFill"},
      {u"TpgwGlassFill", u"TpgwCustomFill"},
      {u"TpgwCustomFill", u"TPersistent"},
      {u"TWideStrings", u"TPersistent"},
      {u"TpgwVariables", u"TCollection"},
      {u"TpgwStyles", u"TCollection"},
      {u"TpgwVariable", u"TPersistent"},
      {u"TpgwStyleItem", u"TPersistent"},
      {u"TpgwFrame", u"TPersistent"},
      {u"TpgwFrameLine", u"TPersistent"},
      {u"TpgwHighlight", u"TPersistent"},
      {u"TpgwFormat", u"TPersistent"},
      {u"TpgwEngineOptions", u"TPersistent"},
      {u"TpgwPrintOptions", u"TPersistent"},
      {u"TpgwPreviewOptions", u"TPersistent"},
      {u"TpgwReportOptions", u"TPersistent"},
      {u"TpgwEngine", u"TpgwCustomEngine"},
      {u"TpgwOutline", u"TpgwCustomOutline"},
      {u"TpgwPreviewPages", u"TpgwCustomPreviewPages"},
      {u"TpgwPostProcessor", u"TPersistent"},
      {u"TpgwArray", u"TObject"},
      {u"TMemoryStream", u"TStream"},
      {u"TList", u"TObject"},
      {u"TPersistent", u"TObject"},
  };
  for (const auto& [name, ancestor] : classes) {
    TvmClassVariable* cls = script.FindClass(name);
    ASSERT_NE(cls, nullptr) << U8(name);
    EXPECT_TRUE(cls->InheritsFrom(ancestor)) << U8(name) << " below " << U8(ancestor);
  }
}

// Scripts from templates read files only inside the template's folder, write none unless the
// host allows it (and then only there), use only streams they created, and are bounded in the
// objects and memory they take.
TEST_F(ReportClasses, FilesStreamsAndResourcesAreRefusedWithTheMembersName) {
  const fs::path outside = dir.parent_path() / (dir.filename().string() + "_outside.txt");
  { std::ofstream(outside) << "secret\n"; }
  fs::create_directory(dir / "sub");
  fs::create_symlink(outside, dir / "escape.txt");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  const std::string onlyHere = "\": a report script may use files in its template's folder only";
  const std::string outsideName = "../" + outside.filename().string();
  const std::string notRegular = "\". It is not a regular file";
  const std::string ownReport =
      " cannot be called on the report from its own script: it would replace the script that is running";
  struct Refusal {
    const char* what;
    std::string code;
    std::string output;
    bool running = false;
  };
  const Refusal cases[] = {
      {"a file outside the folder", "L := TWideStrings.Create; L.LoadFromFile('" + outsideName + "')",
       "error: TWideStrings.LoadFromFile: \"" + outsideName + onlyHere},
      {"an absolute name", "L := TWideStrings.Create; L.LoadFromFile('/etc/hostname')",
       "error: TWideStrings.LoadFromFile: \"/etc/hostname" + onlyHere},
      {"a link that leads out", "L := TWideStrings.Create; L.LoadFromFile('escape.txt')",
       "error: TWideStrings.LoadFromFile: \"escape.txt" + onlyHere},
      {"a folder", "L := TWideStrings.Create; L.LoadFromFile('sub')",
       "error: TWideStrings.LoadFromFile: Cannot open file \"" + (dir / "sub").string() +
           "\". Is a directory"},
      {"a pipe", "L := TWideStrings.Create; L.LoadFromFile('pipe')",
       "error: TWideStrings.LoadFromFile: Cannot open file \"" + (dir / "pipe").string() + notRegular},
      {"a picture outside", "Picture1.LoadFromFile('" + outsideName + "')",
       "error: TpgwPictureView.LoadFromFile: \"" + outsideName + onlyHere},
      {"a file that is no picture", "Picture1.LoadFromFile('lines.txt')",
       "error: TpgwPictureView.LoadFromFile: \"lines.txt\" is not a picture this system can read"},
      {"a style sheet outside", "Report.Styles.LoadFromFile('/etc/hostname')",
       "error: TpgwStyles.LoadFromFile: \"/etc/hostname" + onlyHere},
      {"a writing outside, even when writes are allowed",
       "L := TWideStrings.Create; L.SaveToFile('../x.txt')",
       "error: TWideStrings.SaveToFile: \"../x.txt" + onlyHere},
      {"a stream the script did not create", "O := Memo2; Memo1.LoadFromStream(O)",
       "error: TpgwComponent.LoadFromStream: the stream must be a TMemoryStream the script created"},
      {"a freed stream", "S := TMemoryStream.Create; S.Free; Memo1.SaveToStream(S)",
       "error: TpgwComponent.SaveToStream: the stream was freed"},
      {"freeing a report object", "Memo1.Free",
       "error: Free: only objects the script created can be freed, not a TpgwMemoView"},
      {"clearing the report itself", "Report.Clear", "error: TpgwComponent.Clear" + ownReport},
      {"loading the report itself", "S := TMemoryStream.Create; Report.LoadFromStream(S)",
       "error: TpgwComponent.LoadFromStream" + ownReport},
      {"clearing a band while the report runs", "Band1.Clear",
       "error: TpgwComponent.Clear cannot be called while the report runs", true},
      {"too many objects", "for I := 0 to 100000 do L := TWideStrings.Create",
       "error: A script may create at most 100000 objects"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.what);
    allowWrites = std::string(c.what).find("writes are allowed") != std::string::npos;
    RunningEngineDouble running;
    EXPECT_EQ(Run(Utf8ToUtf16(c.code), c.running ? &running : nullptr), c.output);
  }
  EXPECT_FALSE(fs::exists(dir.parent_path() / "x.txt"));

  // The host allows writes: inside the folder they happen, through a file that replaces the
  // target only when complete.
  allowWrites = true;
  EXPECT_EQ(Run(u"L := TWideStrings.Create; L.Add('kept'); L.SaveToFile('saved.txt'); ShowMessage('saved')"),
            "saved");
  std::ifstream saved(dir / "saved.txt");
  std::string line;
  std::getline(saved, line);
  EXPECT_EQ(line.substr(0, 4), "kept");
  allowWrites = false;

  // Text a script keeps counts against the memory budget.
  TMemoryBudget& budget = TMemoryBudget::Process();
  const int64_t limit = budget.Limit();
  budget.SetLimit(budget.Used() + (int64_t{1} << 20));
  const std::string out = Run(
      u"O := 'x'; for I := 1 to 17 do O := O + O; L := TWideStrings.Create; for I := 1 to 10 do L.Add(O)");
  budget.SetLimit(limit);
  EXPECT_EQ(out.rfind("error: Out of memory: TWideStrings.Add needs", 0), 0u) << out;
  fs::remove(outside);
}

// The engine, its outline, its post-processor and the prepared pages answer while the report runs.
TEST_F(ReportClasses, EngineMembersReachTheRunningEngine) {
  const MemberCase cases[] = {
      {"NewPage, NewColumn, ShowBand, StopReport",
       u"Engine.NewPage; Engine.NewColumn; Engine.ShowBand(Band1); Engine.StopReport",
       "NewPage|NewColumn|ShowBand Band1|StopReport"},
      {"FreeSpace", u"ShowMessage(Engine.FreeSpace)", "42.5"},
      {"AddAnchor, GetAnchorPage", u"Engine.AddAnchor('top'); ShowMessage(Engine.GetAnchorPage('top'))",
       "3|AddAnchor top"},
      {"ProcessObject", u"Engine.ProcessObject(Memo2)", "ProcessObject Memo2"},
      {"GetPostProcessor, GetMacroList, ResetDuplicates",
       u"L := TWideStrings.Create; Engine.GetPostProcessor.GetMacroList(L); ShowMessage(L.Text);"
       u" Engine.GetPostProcessor.ResetDuplicates('Band1')",
       "Memo2\r\n|ResetDuplicates Band1"},
      {"AddItem, LevelRoot, LevelUp", u"Outline.AddItem('Totals'); Outline.LevelUp; Outline.LevelRoot",
       "AddItem Totals|LevelUp|LevelRoot"},
      {"PreviewPages Count, CurPage", u"ShowMessage(PreviewPages.Count); ShowMessage(PreviewPages.CurPage)",
       "5|1"},
      {"PreviewPages Page, ModifyObject",
       u"O := PreviewPages.Page[0]; ShowMessage(O.Name); O := O.FindObject('Shown'); O.Left := 5;"
       u" PreviewPages.ModifyObject(O)",
       "Copy|ReplacePage 0 Copy"},
      {"PreviewPages Page out of range", u"O := PreviewPages.Page[9]",
       "error: PreviewPages.Page: there is no prepared page 9"},
      {"ModifyObject of a template object", u"PreviewPages.ModifyObject(Memo1)",
       "error: PreviewPages.ModifyObject: Memo1 is not an object of a page taken from PreviewPages.Page"},
  };
  for (const MemberCase& c : cases) {
    SCOPED_TRACE(c.member);
    RunningEngineDouble running;
    running.freeSpace = 42.5;
    running.preparedPages = 5;
    running.curPreparedPage = 1;
    running.macros = {u"Memo2"};
    running.pageCopy = [](int index) -> std::unique_ptr<TpgwComponent> {
      if (index != 0) return nullptr;
      auto page = std::make_unique<TpgwReportPage>(nullptr);
      page->SetName(u"Copy");
      CreateChild<TpgwMemoView>(*page).SetName(u"Shown");
      return page;
    };
    std::string out = Run(c.code, &running);
    // Then what the engine was asked to do.
    for (const std::string& call : running.calls) out += (out.empty() ? "" : "|") + call;
    EXPECT_EQ(out, c.output);
  }
}

}  // namespace
}  // namespace pagewright
