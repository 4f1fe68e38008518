// Report expressions: bare names, compiled and cached expressions, the report script's scope,
// errors as the report records them, and text objects expanding their brackets end to end.
#include "expressions/report_expressions.h"

#include <gtest/gtest.h>

#include "common/service_doubles.h"

#include <memory>
#include <mutex>
#include <string>

#include "data/data_set.h"
#include "data/db_dataset.h"
#include "platform/format.h"
#include "platform/mem_table.h"
#include "platform/unicode.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/shape_views.h"
#include "report/variables.h"
#include "report/view.h"
#include "script/grammar.h"
#include "script/interpreter.h"
#include "script/sys_functions.h"
#include "support/resources.h"

namespace pagewright {
namespace {

void StartUp() {
  static std::once_flag once;
  std::call_once(once, [] {
    ResourceStore();
    RegisterPlatformClasses();
    ProvideViewClasses();
    ProvideShapeClasses();
    ProvideBandClasses();
    ProvidePageClasses();
    RegisterReportClasses();
    RegisterDataClasses();
    InitScriptLanguages();
    InitScriptInterpreter();
    RegisterSysFunctions();
    RegisterReportExpressions();
  });
}

std::string U8(const Variant& v) {
  return Utf16ToUtf8(VarToStr(v));
}

// A report over one record of a table, bound as "pgwDBmaster".
class ReportCalc : public ::testing::Test {
 protected:
  void SetUp() override {
    StartUp();
    table.FieldDefs().Add(u"name", ftString, 20);
    table.FieldDefs().Add(u"qty", ftInteger);
    table.FieldDefs().Add(u"note", ftString, 20);
    table.FieldDefs().Add(u"count", ftInteger);
    table.CreateDataSet();
    table.Append();
    table.FieldByName(u"name").SetAsString(u"ALMAC\u00c9N");
    table.FieldByName(u"qty").SetAsInteger(7);
    table.Post();
    ds.SetName(u"pgwDBmaster");
    ds.SetDataSet(&table);
    report = std::make_unique<TpgwReport>(services);
    report->DataSets().Add(&ds);
    report->EngineOptions().SetSilentMode(true);
  }
  void TearDown() override { report.reset(); }

  Variant Calc(const WideString& e) { return report->Calc(e); }
  // The message the evaluation raised ("" when it did not).
  std::string Raised(const WideString& e) {
    try {
      report->Calc(e);
    } catch (const Exception& x) {
      return x.Message();
    }
    return "";
  }
  int Compiled() { return ReportScript(*report).ExpressionCache().Count(); }

  TMemTable table;
  TpgwDBDataset ds{nullptr};
  EngineServiceDouble engine;
  TpgwReportServices services{&ReportDataService(), &ReportScriptService(), &engine};
  std::unique_ptr<TpgwReport> report;
};

TEST_F(ReportCalc, LiteralsArithmeticStringsAndFunctions) {
  struct Case {
    const char16_t* expr;
    const char* want;
  } cases[] = {
      {u"42", "42"},
      {u"1 + 2 * 3", "7"},
      {u"7 / 2", "3.5"},
      {u"7 div 2", "3"},
      {u"'pa' + 'ge'", "page"},
      {u"Copy('abcdef', 2, 3)", "bcd"},
      {u"IntToStr(6 * 7) + '!'", "42!"},
      {u"1 < 2", "True"},
      {u"DayOf(EncodeDate(2024, 2, 29)) + MonthOf(EncodeDate(2024, 2, 29))", "31"},
      {u"IIF(1 = 1, 'a', 1/0)", "a"},  // the other branch is never evaluated
      {u"IIF(1 = 2, 'a', 'b')", "b"},
      {u"pw1cm * 10", "377.953"},
  };
  for (const Case& c : cases) EXPECT_EQ(U8(Calc(c.expr)), c.want) << Utf16ToUtf8(c.expr);
  EXPECT_EQ(report->Errors().Count(), 0);
}

TEST_F(ReportCalc, DataSetFieldsResolveAsBareNamesOrCompiledThroughGet) {
  EXPECT_EQ(U8(Calc(u"pgwDBmaster.\"name\"")), "ALMAC\xc3\x89N");
  EXPECT_EQ(Compiled(), 0);  // resolved without compiling
  EXPECT_EQ(U8(Calc(u"<pgwDBmaster.\"name\">")), "ALMAC\xc3\x89N");
  EXPECT_EQ(Compiled(), 1);
  EXPECT_EQ(Calc(u"<PGWDBMASTER.\"qty\"> * 2").AsInteger(), 14);
  // Nulls by the field's type, or left null.
  EXPECT_EQ(Calc(u"pgwDBmaster.\"note\"").VarType(), varString);
  EXPECT_EQ(U8(Calc(u"pgwDBmaster.\"note\"")), "");
  EXPECT_EQ(Calc(u"pgwDBmaster.\"count\"").AsInteger(), 0);
  report->EngineOptions().SetConvertNulls(false);
  EXPECT_TRUE(Calc(u"pgwDBmaster.\"note\"").IsNull());
  EXPECT_TRUE(Calc(u"pgwDBmaster.\"count\"").IsNull());
  EXPECT_EQ(report->Errors().Count(), 0);
}

TEST_F(ReportCalc, AnExpressionThatOnlyStartsLikeAFieldIsNotReadAsOne) {
  // Read as one field, this would be the field `qty" + 1 + <pgwDBmaster."qty` and an error line.
  const std::string raised = Raised(u"pgwDBmaster.\"qty\" + 1 + <pgwDBmaster.\"qty\">");
  EXPECT_NE(raised.find("Error in expression"), std::string::npos) << raised;
  for (int i = 0; i < report->Errors().Count(); ++i)
    EXPECT_EQ(Utf16ToUtf8(report->Errors()[i]).find("Field not found"), std::string::npos)
        << Utf16ToUtf8(report->Errors()[i]);
  EXPECT_EQ(U8(Calc(u"pgwDBmaster.\"qty\"")), "7");
}

TEST_F(ReportCalc, SystemVariablesComeBeforeReportVariables) {
  ReportScript(*report).Counters().PageIndex = 2;
  report->Variables().SetVariable(u"Page#", Variant(99));
  EXPECT_EQ(Calc(u"Page#").AsInteger(), 3);
  EXPECT_EQ(Calc(u"page#").AsInteger(), 3);
  EXPECT_EQ(Calc(u"<Page#> + 1").AsInteger(), 4);
  EXPECT_EQ(Calc(u"Page#").VarType(), varInteger);
  pgwGlobalVariables().SetVariable(u"CopyName0", Variant(WideString(u"Original")));
  EXPECT_EQ(U8(Calc(u"CopyName#")), "Original");
  pgwGlobalVariables().DeleteVariable(u"CopyName0");
}

// The run starts at one moment; Date gives its day, Time its time of day.
TEST_F(ReportCalc, DateIsTheDayAndTimeTheTimeOfDayOfTheRunsStart) {
  ASSERT_TRUE(PrepareReportScript(*report));
  auto* memo = &CreateChild<TpgwMemoView>(*report);
  memo->SetName(u"Memo1");
  struct Case {
    TDateTime start;
    const char* date;  // [Date] as it prints
    const char* parts;  // both with date and time written out
  } cases[] = {
      {EncodeDate(2026, 12, 10) + EncodeTime(14, 35, 20, 0), "12/10/2026",
       "2026-12-10 00:00:00 | 1899-12-30 14:35:20"},
      {EncodeDate(2026, 12, 10), "12/10/2026", "2026-12-10 00:00:00 | 1899-12-30 00:00:00"},
      {EncodeDate(2000, 2, 29) + EncodeTime(23, 59, 59, 0), "2/29/2000",
       "2000-02-29 00:00:00 | 1899-12-30 23:59:59"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    ReportScript(*report).Counters().StartDate = c.start;
    ReportScript(*report).Counters().StartTime = c.start;
    EXPECT_EQ(U8(Calc(u"Date")), c.date);
    memo->SetText(u"[Date #dyyyy-mm-dd hh:nn:ss] | [Time #dyyyy-mm-dd hh:nn:ss]");
    memo->GetData();
    EXPECT_EQ(Utf16ToUtf8(memo->Text()), std::string(c.parts) + "\r\n");
  }
}

TEST_F(ReportCalc, ReportVariablesHoldExpressions) {
  TpgwVariables& v = report->Variables();
  v.SetVariable(u"Total", Variant(WideString(u"2+3")));
  v.SetVariable(u"Twice", Variant(WideString(u"<Total> * 2")));
  v.SetVariable(u"Lines", Variant(WideString(u"2+3\r\n")));
  v.SetVariable(u"Seven", Variant(7));
  v.SetVariable(u"Label", Variant(WideString(u"<pgwDBmaster.\"name\"> + '!'")));
  EXPECT_EQ(Calc(u"total").AsInteger(), 5);
  EXPECT_EQ(Calc(u"Twice").AsInteger(), 10);
  EXPECT_EQ(U8(Calc(u"Lines")), "2+3\r\n");  // a text with a line break is taken as it is
  EXPECT_EQ(Calc(u"<Seven> + 1").AsInteger(), 8);
  EXPECT_EQ(U8(Calc(u"Label")), "ALMAC\xc3\x89N!");
  // Set writes a variable, adding it when absent; Get reads any name.
  EXPECT_EQ(U8(Calc(u"Get('Total') + Get('Seven')")), "12");
  EXPECT_EQ(report->Errors().Count(), 0);
}

TEST_F(ReportCalc, EachDistinctTextIsCompiledOncePerPreparation) {
  EXPECT_EQ(Calc(u"1 + 1").AsInteger(), 2);
  EXPECT_EQ(Calc(u"1 + 1").AsInteger(), 2);
  EXPECT_EQ(Compiled(), 1);
  EXPECT_EQ(U8(Calc(u"Uppercase('a')")), "A");
  EXPECT_EQ(U8(Calc(u"UpperCase('a')")), "A");  // differs in case only: compiled apart
  EXPECT_EQ(Compiled(), 3);
  EXPECT_EQ(Calc(u"1 + 1").AsInteger(), 2);  // earlier functions still run after later compiles
  EXPECT_TRUE(PrepareReportScript(*report));
  EXPECT_EQ(Compiled(), 0);
  EXPECT_EQ(Calc(u"1 + 1").AsInteger(), 2);
  EXPECT_EQ(Compiled(), 1);
}

TEST_F(ReportCalc, ErrorsAreRecordedWithTheObjectNameAndRaised) {
  report->SetCurObject(u"Memo1");
  report->Variables().Add();  // an item without a name does not answer the empty text
  const std::string undeclared = Raised(u"Foo + 1");
  EXPECT_EQ(undeclared.rfind("Memo1: Error in expression 'Foo + 1': ", 0), 0u) << undeclared;
  EXPECT_NE(undeclared.find("Undeclared identifier"), std::string::npos) << undeclared;
  const std::string syntax = Raised(u"1 +");
  EXPECT_EQ(syntax.rfind("Memo1: Error in expression '1 +': ", 0), 0u) << syntax;
  const std::string empty = Raised(u"");
  EXPECT_EQ(empty.rfind("Memo1: Error in expression '': ", 0), 0u) << empty;
  ASSERT_EQ(report->Errors().Count(), 3);
  EXPECT_EQ(report->Errors().IndexOf(Utf8ToUtf16(undeclared)) >= 0, true);
  EXPECT_EQ(Compiled(), 0);  // failed compiles leave nothing behind

  // An unknown name in angle brackets is listed and evaluation goes on with an empty value.
  report->Errors().Clear();
  EXPECT_EQ(U8(Calc(u"'[' + <Nobody> + ']'")), "[]");
  ASSERT_EQ(report->Errors().Count(), 1);
  EXPECT_EQ(Utf16ToUtf8(report->Errors()[0]), "Unknown variable or datafield: Nobody");

  // A script's Report.Calc raises without recording; the expression around it records once.
  report->Errors().Clear();
  report->SetCurObject(WideString());
  const std::string nested = Raised(u"Report.Calc('1 +')");
  ASSERT_EQ(report->Errors().Count(), 1);
  EXPECT_EQ(nested.rfind("Error in Calc expression:Error in expression '1 +': ", 0), 0u) << nested;
}

TEST_F(ReportCalc, IgnoreOptionsDropDivisionByZeroOrGiveTheText) {
  report->EngineOptions().SetIgnoreDevByZero(true);
  EXPECT_TRUE(Calc(u"1 / 0").IsEmpty());
  report->EngineOptions().SetIgnoreDevByZero(false);
  report->EngineOptions().SetIgnoreExprError(true);
  EXPECT_EQ(U8(Calc(u"1 / 0")), "1 / 0");
  EXPECT_EQ(U8(Calc(u"<Nobody>")), "Nobody");
  EXPECT_EQ(report->Errors().Count(), 0);
}

TEST_F(ReportCalc, RunawayEvaluationsStopAndAreRecordedOnce) {
  ReportScript(*report).SetStepLimit(20000);
  // Each level evaluates the next twice: 2^30 evaluations unless the budget stops it.
  TpgwVariables& v = report->Variables();
  for (int i = 0; i < 30; ++i) {
    const WideString next = u"A" + Utf8ToUtf16(std::to_string(i + 1));
    v.SetVariable(u"A" + Utf8ToUtf16(std::to_string(i)), Variant(u"<" + next + u"> + <" + next + u">"));
  }
  v.SetVariable(u"A30", Variant(WideString(u"1")));
  EXPECT_NE(Raised(u"A0").find("Script stopped after 20000 steps"), std::string::npos);
  EXPECT_EQ(report->Errors().Count(), 1);

  // Doubling a text runs out of room long before it runs out of steps.
  report->Errors().Clear();
  ReportScript(*report).SetStepLimit(1000000);
  ReportScript(*report).SetMaxStringLength(100000);
  for (int i = 0; i < 30; ++i) {
    const WideString next = u"S" + Utf8ToUtf16(std::to_string(i + 1));
    v.SetVariable(u"S" + Utf8ToUtf16(std::to_string(i)), Variant(u"<" + next + u"> + <" + next + u">"));
  }
  v.SetVariable(u"S30", Variant(u"'" + WideString(1000, u'x') + u"'"));
  EXPECT_NE(Raised(u"S0").find("String longer than the script may make"), std::string::npos);
  EXPECT_EQ(report->Errors().Count(), 1);

  // A variable naming itself, with and without compiling on the way.
  for (const char16_t* selfRef : {u"Loop", u"<Loop> + 1"}) {
    report->Errors().Clear();
    v.SetVariable(u"Loop", Variant(WideString(selfRef)));
    const std::string raised = Raised(u"Loop");
    EXPECT_NE(raised, "") << Utf16ToUtf8(selfRef);
    EXPECT_EQ(report->Errors().Count(), 1) << Utf16ToUtf8(selfRef);
  }
  // The report is still usable.
  EXPECT_EQ(Calc(u"2 + 2").AsInteger(), 4);
}

TEST_F(ReportCalc, AggregatesNeedTheEngine) {
  const std::string raised = Raised(u"SUM(<pgwDBmaster.\"qty\">)");
  EXPECT_NE(raised.find("Aggregate function SUM is available only while the report runs"), std::string::npos)
      << raised;
  // While an engine runs the report, the call reaches it with the expression text.
  WideString seen;
  RunningEngineDouble running;
  running.aggregate = [&](const WideString& f, const WideString& e, const Variant& band, int flags) {
    seen = f + u"|" + e + u"|" + VarToStr(band) + u"|" + Utf8ToUtf16(std::to_string(flags));
    return Variant(21);
  };
  report->SetRunningEngine(&running);
  EXPECT_EQ(Calc(u"SUM(<pgwDBmaster.\"qty\">, 0, 1 + 2) * 2").AsInteger(), 42);
  report->SetRunningEngine(nullptr);
  EXPECT_EQ(Utf16ToUtf8(seen), "SUM|<pgwDBmaster.\"qty\">|0|3");
}

// Engine, Outline and PreviewPages reach the engine that runs the report: values through
// expressions, procedures through the report's script; outside a run they say so.
TEST_F(ReportCalc, EngineOutlineAndPreviewPagesReachTheRunningEngine) {
  auto* band = &CreateChild<TpgwMasterData>(*report);
  band->SetName(u"Band1");
  RunningEngineDouble running;
  running.freeSpace = 42.5;
  running.curY = 12;
  running.curLine = 4;
  running.pageNo = 2;
  running.totalPages = 9;
  running.preparedPages = 5;
  running.curPreparedPage = 1;
  report->SetRunningEngine(&running);
  const std::pair<const char16_t*, const char*> values[] = {
      {u"Engine.FreeSpace", "42.5"}, {u"Engine.CurY", "12"},        {u"Engine.CurLine", "4"},
      {u"Engine.PageNo", "2"},       {u"Engine.TotalPages", "9"},   {u"Engine.PageHeight", "1000"},
      {u"Engine.FinalPass", "True"}, {u"Engine.GetAnchorPage('x')", "3"}, {u"PreviewPages.Count", "5"},
      {u"PreviewPages.CurPage", "1"},
  };
  for (const auto& [expr, want] : values) EXPECT_EQ(U8(Calc(expr)), want) << U8(expr);

  ASSERT_TRUE(PrepareReportScript(*report));
  TvmScript& script = ReportScript(*report).Script();
  script.Lines =
      u"begin Engine.NewPage; Engine.NewColumn; Engine.CurY := Engine.CurY + 21; Engine.ShowBand(Band1); "
      u"Engine.AddAnchor('top'); Outline.AddItem('Totals'); Outline.LevelUp; Outline.LevelRoot; "
      u"Engine.StopReport end.";
  ASSERT_TRUE(script.Compile()) << U8(script.ErrorMsg) << " at " << U8(script.ErrorPos);
  script.Execute();
  EXPECT_EQ(running.calls, (std::vector<std::string>{"NewPage", "NewColumn", "ShowBand Band1", "AddAnchor top",
                                                     "AddItem Totals", "LevelUp", "LevelRoot", "StopReport"}));
  EXPECT_EQ(running.curY, 33);

  report->SetRunningEngine(nullptr);
  EXPECT_NE(Raised(u"Engine.FreeSpace").find("The report is not running"), std::string::npos)
      << Raised(u"Engine.FreeSpace");
}

TEST_F(ReportCalc, ScopeHoldsReportObjectsUserFunctionsAndValue) {
  auto* memo = &CreateChild<TpgwMemoView>(*report);
  memo->SetName(u"Memo1");
  memo->SetLeft(10);
  EXPECT_TRUE(PrepareReportScript(*report));
  EXPECT_EQ(U8(Calc(u"Memo1.Left + 1")), "11");
  memo->SetText(u"abc");
  EXPECT_EQ(U8(Calc(u"Memo1.Text + Memo1.Name")), "abc\r\nMemo1");
  EXPECT_EQ(Calc(u"Report.Calc('2 * 3')").AsInteger(), 6);

  AddReportFunction(*report, u"function Twice(X: Integer): Integer");
  ReportValueEvents(*report).OnUserFunction = [](const WideString& name, Variant& params) {
    return name == u"TWICE" ? Variant(params.GetElement({0}).AsInteger() * 2) : Variant::Null();
  };
  EXPECT_TRUE(PrepareReportScript(*report));  // user functions survive a preparation
  EXPECT_EQ(Calc(u"Twice(21)").AsInteger(), 42);

  ReportValueEvents(*report).OnGetValue = [](const WideString& name, Variant& value) {
    if (name == u"HostName") value = Variant(WideString(u"from host"));
  };
  EXPECT_EQ(U8(Calc(u"HostName")), "from host");

  report->Variables().SetVariable(u"Shown", Variant(3));
  pgwGlobalVariables().SetVariable(u"Copies", Variant(2));
  EXPECT_EQ(Calc(u"Report.Variables['Shown'] * pgwGlobalVariables['Copies']").AsInteger(), 6);
  EXPECT_EQ(Calc(u"Copies").AsInteger(), 2);  // global variables resolve by name after the report's
  pgwGlobalVariables().DeleteVariable(u"Copies");

  SetReportLocalValue(*report, Variant(5));
  EXPECT_EQ(Calc(u"Value * 2").AsInteger(), 10);
  EXPECT_EQ(Calc(u"Value").AsInteger(), 5);  // a script variable resolves as a bare name too
}

// While a view computes its data, Self is that view: in its text and in its tag.
TEST_F(ReportCalc, SelfIsTheViewComputingItsData) {
  auto* first = &CreateChild<TpgwMemoView>(*report);
  first->SetName(u"MemoFirst");
  auto* second = &CreateChild<TpgwMemoView>(*report);
  second->SetName(u"MemoSecond");
  second->SetLeft(12);
  for (TpgwMemoView* memo : {first, second}) {
    memo->SetText(u"[Self.Name] at [Self.Left]");
    memo->SetTagStr(u"[Self.Name]");
  }
  first->GetData();
  second->GetData();
  EXPECT_EQ(Utf16ToUtf8(first->Text()), "MemoFirst at 0\r\n");
  EXPECT_EQ(Utf16ToUtf8(second->Text()), "MemoSecond at 12\r\n");
  EXPECT_EQ(Utf16ToUtf8(first->TagStr()), "MemoFirst");
  EXPECT_EQ(Utf16ToUtf8(second->TagStr()), "MemoSecond");
  EXPECT_EQ(report->Errors().Count(), 0) << Utf16ToUtf8(report->Errors().Text());
}

TEST_F(ReportCalc, TextObjectsExpandBracketedExpressions) {
  auto* memo = &CreateChild<TpgwMemoView>(*report);
  memo->SetName(u"Memo1");
  report->Variables().SetVariable(u"Greeting", Variant(WideString(u"'Hello'")));
  memo->SetText(u"[Greeting], [pgwDBmaster.\"name\"]: [<pgwDBmaster.\"qty\"> * 3] (page [Page#])");
  memo->GetData();
  EXPECT_EQ(Utf16ToUtf8(memo->Text()), "Hello, ALMAC\xc3\x89N: 21 (page 1)\r\n");
  EXPECT_EQ(report->Errors().Count(), 0);
}

TEST_F(ReportCalc, APreparationEndsWithTheExpressionErrorListedOnce) {
  auto* memo = &CreateChild<TpgwMemoView>(*report);
  memo->SetName(u"Memo1");
  memo->SetText(u"[Foo]");
  bool scriptPrepared = false;
  engine.run = [&](TpgwReport& r) {
    scriptPrepared = r.ScriptObjectsAdded();
    auto* m = dynamic_cast<TpgwMemoView*>(r.FindObject(u"Memo1"));
    r.SetCurObject(u"Memo1");
    m->GetData();
    return true;
  };
  EXPECT_FALSE(report->PrepareReport());
  EXPECT_TRUE(scriptPrepared);  // the report's script preparation ran first
  ASSERT_EQ(report->Errors().Count(), 1);
  EXPECT_EQ(Utf16ToUtf8(report->Errors()[0]),
            "Memo1: Error in expression 'Foo': Undeclared identifier: 'Foo'");
}

// ---- variables ------------------------------------------------------------------------------------------

std::string Names(const TpgwVariables& v) {
  std::string s;
  for (int i = 0; i < v.Count(); ++i) s += (i ? "|" : "") + Utf16ToUtf8(v.Items(i).Name());
  return s;
}

std::string Joined(const TStringList& l) {
  std::string s;
  for (int i = 0; i < l.Count(); ++i) s += (i ? "|" : "") + Utf16ToUtf8(l[i]);
  return s;
}

// Free, then the categories " Totals" (Sum, Count) and " Labels" (Title).
void FillCategories(TpgwVariables& v) {
  v.Clear();
  for (const char16_t* n : {u"Free", u" Totals", u"Sum", u"Count", u" Labels", u"Title"}) v.Add().SetName(n);
}

TEST(Variables, LookupIsCaseInsensitiveAndWritingAppends) {
  TpgwVariables v;
  v.SetVariable(u"Total", Variant(1));
  EXPECT_EQ(v.IndexOf(u"total"), 0);
  EXPECT_TRUE(v.GetVariable(u"missing").IsNull());
  EXPECT_TRUE(v.Add().Value().IsNull());  // a new variable is null
  v.SetVariable(u"TOTAL", Variant(2));
  v.SetVariable(u"Other", Variant(3));
  EXPECT_EQ(Names(v), "Total||Other");
  EXPECT_EQ(v.GetVariable(u"total").AsInteger(), 2);
}

TEST(Variables, CategoriesBoundTheirItems) {
  TpgwVariables v;
  FillCategories(v);
  TStringList list;
  v.GetCategoriesList(list);
  EXPECT_EQ(Joined(list), "Totals|Labels");
  v.GetVariablesList(u"", list);
  EXPECT_EQ(Joined(list), "Free");
  v.GetVariablesList(u"totals", list);
  EXPECT_EQ(Joined(list), "Sum|Count");  // never the header itself
  v.GetVariablesList(u"None", list);
  EXPECT_EQ(list.Count(), 0);

  v.AddVariable(u"Totals", u"Avg", Variant(1));     // at the end of its category
  v.AddVariable(u"Labels", u"Footer", Variant(2));  // the last category: appended
  v.AddVariable(u"Missing", u"Lost", Variant(3));   // no such category: nothing
  v.AddVariable(u"Labels", u"sum", Variant(4));     // an existing name anywhere gets the value
  EXPECT_EQ(Names(v), "Free| Totals|Sum|Count|Avg| Labels|Title|Footer");
  EXPECT_EQ(v.GetVariable(u"Sum").AsInteger(), 4);

  // An item without a name closes a category too; new items stay inside it.
  FillCategories(v);
  v.Insert(4);  // Free, Totals, Sum, Count, "", Labels, Title
  v.AddVariable(u"Totals", u"Avg", Variant(1));
  EXPECT_EQ(Names(v), "Free| Totals|Sum|Count|Avg|| Labels|Title");

  FillCategories(v);
  v.DeleteCategory(u"TOTALS");
  EXPECT_EQ(Names(v), "Free| Labels|Title");
  v.DeleteVariable(u"title");
  EXPECT_EQ(Names(v), "Free| Labels");
}

TEST(Variables, FilesRoundTripAndAnotherRootLeavesTheListEmpty) {
  StartUp();
  TpgwVariables v;
  FillCategories(v);
  v.SetVariable(u"Sum", Variant(WideString(u"<pgwDBmaster.\"qty\"> & 'x'")));
  v.SetVariable(u"Count", Variant(12));
  TMemoryStream stream;
  v.SaveToStream(stream);
  const std::string text(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
  EXPECT_NE(text.find("<variables>"), std::string::npos) << text;

  TpgwVariables back;
  back.Add().SetName(u"stale");
  stream.SetPosition(0);
  back.LoadFromStream(stream);
  EXPECT_EQ(Names(back), Names(v));
  EXPECT_EQ(U8(back.GetVariable(u"Sum")), "<pgwDBmaster.\"qty\"> & 'x'");
  EXPECT_EQ(U8(back.GetVariable(u"Count")), "12");

  TMemoryStream other;
  const std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?><style><item Name=\"x\"/></style>";
  other.Write(doc.data(), static_cast<int64_t>(doc.size()));
  other.SetPosition(0);
  back.LoadFromStream(other);
  EXPECT_EQ(back.Count(), 0);
}

}  // namespace
}  // namespace pagewright
