// The text object's data: published properties, display formats, expression expansion through
// the report's Calc, hidden zeros, suppressed repeats, highlights, data fields and the stored
// lists of formats and highlights.
#include "report/memo_view.h"

#include <gtest/gtest.h>

#include "common/service_doubles.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/format.h"
#include "platform/property_stream.h"
#include "platform/unicode.h"
#include "report/report.h"
#include "storage/serializer.h"

using namespace pagewright;

namespace {

std::vector<std::string> PropertyNames(const TClassInfo& cls) {
  std::vector<std::string> names;
  for (const TPropInfo* p : cls.Properties()) names.push_back(p->Name());
  return names;
}

int IndexOf(const std::vector<std::string>& v, const std::string& s) {
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] == s) return static_cast<int>(i);
  return -1;
}

TEST(MemoProperties, DefaultsOrderAndStoredTests) {
  TpgwMemoView m(nullptr);
  EXPECT_TRUE(m.AllowExpressions());
  EXPECT_TRUE(m.Clipped());
  EXPECT_TRUE(m.WordWrap());
  EXPECT_TRUE(m.Wysiwyg());
  EXPECT_TRUE(m.ParentFont());
  EXPECT_EQ(m.GapX(), 2);
  EXPECT_EQ(m.GapY(), 1);
  EXPECT_EQ(m.LineSpacing(), 2);
  EXPECT_EQ(m.ExpressionDelimiters(), u"[,]");
  EXPECT_TRUE(VarIsNull(m.LastValue()));

  const auto names = PropertyNames(TpgwMemoView::StaticClassInfo());
  // The view's properties come first; FillType precedes Fill, so a template creates the right
  // fill before filling it in.
  EXPECT_LT(IndexOf(names, "Visibility"), IndexOf(names, "AutoWidth"));
  EXPECT_LT(IndexOf(names, "FillType"), IndexOf(names, "Fill"));
  for (const char* n :
       {"AllowHTMLTags", "DisplayFormat", "ExpressionDelimiters", "FlowTo", "Highlight", "Processing",
        "Style", "Duplicates", "UnderlinesTextMode", "FirstParaBreak", "StretchMode"})
    EXPECT_GE(IndexOf(names, n), 0) << n;

  // The system text object publishes the smaller set.
  const auto sys = PropertyNames(TpgwSysMemoView::StaticClassInfo());
  EXPECT_GE(IndexOf(sys, "HideZeros"), 0);
  EXPECT_GE(IndexOf(sys, "Processing"), 0);
  EXPECT_EQ(IndexOf(sys, "AllowExpressions"), -1);
  EXPECT_EQ(IndexOf(sys, "DataField"), -1);

  const TClassInfo& cls = m.ClassInfo();
  auto stored = [&](const char* name) { return cls.FindProperty(name)->IsStored(m); };
  EXPECT_FALSE(stored("GapX"));
  EXPECT_FALSE(stored("ExpressionDelimiters"));
  EXPECT_FALSE(stored("Memo"));  // the template's Text attribute carries it
  m.SetGapX(2.5);
  m.SetExpressionDelimiters(u"<%,%>");
  EXPECT_TRUE(stored("GapX"));
  EXPECT_TRUE(stored("ExpressionDelimiters"));

  // DisplayFormat only with exactly one format; Highlight only with one whose condition is set.
  EXPECT_FALSE(stored("DisplayFormat"));
  m.DisplayFormat().SetKind(fkNumeric);
  EXPECT_TRUE(stored("DisplayFormat"));
  m.Formats().Add();
  EXPECT_FALSE(stored("DisplayFormat"));
  m.Highlight();
  EXPECT_FALSE(stored("Highlight"));
  m.Highlight().SetCondition(u"x > 1");
  EXPECT_TRUE(stored("Highlight"));
  EXPECT_EQ(m.Highlight().Font().Color(), 255);
  EXPECT_EQ(m.Highlight().Color(), clNone);
}

TEST(MemoProperties, RotationUnderlinesAndDescription) {
  TpgwMemoView m(nullptr);
  m.SetRotation(450);
  EXPECT_EQ(m.Rotation(), 90);
  m.SetRotation(-90);
  EXPECT_EQ(m.ReducedAngle(), 270);

  m.SetUnderlinesTextMode(ulmUnderlinesText);
  EXPECT_TRUE(m.Underlines());
  m.SetUnderlines(true);  // already on: the mode stays
  EXPECT_EQ(m.UnderlinesTextMode(), ulmUnderlinesText);
  m.SetUnderlines(false);
  EXPECT_EQ(m.UnderlinesTextMode(), ulmNone);
  m.SetUnderlines(true);
  EXPECT_EQ(m.UnderlinesTextMode(), ulmUnderlinesAll);

  // Set through the property system, as a template does.
  TPersistent* processing = GetPropValue(m, "Processing").Obj;
  ASSERT_NE(processing, nullptr);
  SetPropValue(*processing, "ProcessAt", TPropValue::String(u"paPageFinished"));
  EXPECT_EQ(m.Processing().ProcessAt, paPageFinished);
  TpgwMemoView plain(nullptr);
  EXPECT_FALSE(plain.IsPostProcessAllowed());
  plain.SetDuplicates(dmMerge);
  EXPECT_TRUE(plain.IsPostProcessAllowed());

  TpgwSysMemoView sys(nullptr);
  EXPECT_NE(m.GetDescription(), sys.GetDescription());
}

// ---- display formats ---------------------------------------------------------------------------------

TEST(MemoFormat, KindsAsATable) {
  struct Case {
    TpgwFormatKind kind;
    const char16_t* formatStr;
    const char16_t* dec;
    const char16_t* thousand;
    Variant value;
    const char16_t* want;
  };
  const Case cases[] = {
      {fkText, u"", u"", u"", Variant(1.5), u"1.5"},
      {fkText, u"", u"", u"", Variant(true), u"True"},
      {fkText, u"", u"", u"", Variant::Null(), u""},
      {fkNumeric, u"#,##0.00", u"", u"", Variant(1234.5), u"1,234.50"},
      // The separators are swapped: the decimal position is taken before the thousands change.
      {fkNumeric, u"#,##0.00", u",", u".", Variant(1234.5), u"1.234,50"},
      {fkNumeric, u"0.000", u"", u"", Variant(2), u"2.000"},
      {fkNumeric, u"%2.2f", u"", u"", Variant(3.14159), u"3.14"},
      {fkNumeric, u"%2.2f", u",", u"", Variant(3.14159), u"3,14"},
      {fkNumeric, u"%d", u"", u"", Variant(41.6), u"42"},
      {fkNumeric, u"%5d", u"", u"", Variant(7), u"    7"},
      {fkNumeric, u"%.1n", u"", u" ", Variant(1234567.25), u"1 234 567.3"},
      {fkNumeric, u"%2.2f", u"", u"", Variant(WideString(u"n/a")), u"n/a"},  // not a number: plain text
      {fkDateTime, u"yyyy-mm-dd", u"", u"", Variant::FromDateTime(EncodeDate(2024, 2, 29)), u"2024-02-29"},
      {fkDateTime, u"dd.mm.yy hh:nn", u"", u"",
       Variant::FromDateTime(EncodeDate(2001, 7, 4) + EncodeTime(13, 5, 0, 0)), u"04.07.01 13:05"},
      {fkBoolean, u"No,Yes", u"", u"", Variant(true), u"Yes"},
      {fkBoolean, u"No,Yes", u"", u"", Variant(false), u"No"},
      {fkBoolean, u"No,Yes", u"", u"", Variant(WideString(u"maybe")), u"No"},
      {fkBoolean, u"No,Yes,Sure", u"", u"", Variant(true), u"Yes,Sure"},
  };
  TpgwMemoView m(nullptr);
  for (const Case& c : cases) {
    TpgwFormat f;
    f.SetKind(c.kind);
    f.SetFormatStr(c.formatStr);
    f.SetDecimalSeparator(c.dec);
    f.SetThousandSeparator(c.thousand);
    EXPECT_EQ(Utf16ToUtf8(m.FormatData(c.value, &f)), Utf16ToUtf8(c.want)) << Utf16ToUtf8(c.formatStr);
  }
  // Without a format argument the display format applies.
  m.DisplayFormat().SetKind(fkNumeric);
  m.DisplayFormat().SetFormatStr(u"0.0");
  EXPECT_EQ(m.FormatData(Variant(2.25)), u"2.3");
}

TEST(MemoFormat, SeparatorsFollowTheFormatWhateverTheSystemUses) {
  TFormatSettings saved = FormatSettings();
  FormatSettings().DecimalSeparator = u',';
  FormatSettings().ThousandSeparator = u'.';
  TpgwMemoView m(nullptr);
  TpgwFormat f;
  f.SetKind(fkNumeric);
  f.SetFormatStr(u"%2.2f");
  f.SetDecimalSeparator(u".");
  EXPECT_EQ(m.FormatData(Variant(3.14159), &f), u"3.14");
  FormatSettings() = saved;
}

// ---- getting the text ----------------------------------------------------------------------------------

// A report holding one text object, with a small expression table in place of the evaluator.
class MemoData : public ::testing::Test {
 protected:
  void SetUp() override {
    memo = &CreateChild<TpgwMemoView>(report);  // the report holds it
    memo->SetName(u"Memo1");
    script.calc = [this](TpgwReport&, const WideString& e) {
      asked.push_back(e);
      auto it = values.find(e);
      return it == values.end() ? Variant::Null() : it->second;
    };
  }
  // One printing of the object: its text afterwards, with the template text restored.
  WideString Print(const WideString& text) {
    memo->SetText(text);
    memo->BeforePrint();
    memo->GetData();
    WideString shown = memo->Text();
    memo->AfterPrint();
    return shown;
  }

  ScriptServiceDouble script;
  DataServiceDouble data;
  TpgwReport report{TpgwReportServices{&data, &script}};
  TpgwMemoView* memo = nullptr;
  std::map<WideString, Variant> values;
  std::vector<WideString> asked;
};

TEST_F(MemoData, ExpressionsAreExpandedAndTheTemplateTextRestored) {
  values = {{u"1+2", Variant(3)},
            {u"[1]+1", Variant(2)},
            {u"'a]b'", Variant(WideString(u"a]b"))},
            {u"3.14159", Variant(3.14159L)},
            {u"1=1", Variant(true)},
            {u"1=2", Variant(false)},
            {u"Date", Variant::FromDateTime(EncodeDate(2026, 12, 10))}};
  struct Case {
    const char16_t* text;
    const char16_t* want;
  } cases[] = {
      {u"Total: [1+2]", u"Total: 3\r\n"},
      {u"[[1]+1]", u"2\r\n"},  // the inner brackets belong to the expression
      {u"['a]b']", u"a]b\r\n"},
      {u"[3.14159 #n%2,2f]", u"3,14\r\n"},
      {u"[3.14159 #n%2.2f]", u"3.14\r\n"},
      {u"[Date #dyyyy-mm-dd]", u"2026-12-10\r\n"},
      {u"[1=1 #bNo,Yes] [1=2 #bNo,Yes]", u"Yes No\r\n"},
      {u"no brackets", u"no brackets\r\n"},
      {u"open [1+2 only", u"open [1+2 only\r\n"},  // unbalanced: left as it is
  };
  for (const Case& c : cases)
    EXPECT_EQ(Utf16ToUtf8(Print(c.text)), Utf16ToUtf8(c.want)) << Utf16ToUtf8(c.text);
  EXPECT_EQ(memo->Text(), u"open [1+2 only\r\n");

  // A "#" suffix containing ")" belongs to the expression.
  asked.clear();
  Print(u"[f(a #b)]");
  EXPECT_EQ(asked, (std::vector<WideString>{u"f(a #b)"}));
}

// Text is Unicode from end to end: a font charset other than the default picks glyphs and never
// recodes the expression or its value ("ALMACÉN" with the Cyrillic charset once became "ALMACЙN").
TEST_F(MemoData, FontCharsetLeavesExpressionsAndValuesAlone) {
  values = {{u"s", Variant(WideString(u"ALMAC\u00C9N"))}, {u"'A\u00F1o'", Variant(WideString(u"A\u00F1o"))}};
  for (int charset : {0, 1, 2, 161, 162, 177, 178, 186, 204, 238}) {
    SCOPED_TRACE(charset);
    memo->Font().SetCharset(charset);
    asked.clear();
    EXPECT_EQ(Print(u"[s] ['A\u00F1o']"), u"ALMAC\u00C9N A\u00F1o\r\n");
    EXPECT_EQ(asked, (std::vector<WideString>{u"s", u"'A\u00F1o'"}));
  }
}

TEST_F(MemoData, FormatsApplyToExpressionsInTurnAndTheLastOneRepeats) {
  values = {{u"x", Variant(1.5)}, {u"y", Variant(2.5)}, {u"z", Variant(3.5)}};
  memo->DisplayFormat().SetKind(fkNumeric);
  memo->DisplayFormat().SetFormatStr(u"0.00");
  EXPECT_EQ(Print(u"[x] [y] [z]"), u"1.50 2.50 3.50\r\n");
  TpgwFormat& second = memo->Formats().Add();
  second.SetKind(fkNumeric);
  second.SetFormatStr(u"%g");
  EXPECT_EQ(Print(u"[x] [y] [z]"), u"1.50 2.5 3.5\r\n");
}

TEST_F(MemoData, DelimitersOfSeveralCharacters) {
  values = {{u"a", Variant(WideString(u"A"))}, {u"[b]", Variant(WideString(u"B"))}};
  memo->SetExpressionDelimiters(u"<%,%>");
  EXPECT_EQ(Print(u"<%a%> [a] <%[b]%>"), u"A [a] B\r\n");
}

TEST_F(MemoData, HideZerosHidesNumbersNotStrings) {
  values = {{u"i", Variant(0)}, {u"f", Variant(0.0)}, {u"s", Variant(WideString(u"0"))}, {u"n", Variant(5)}};
  memo->SetHideZeros(true);
  EXPECT_EQ(Print(u"<[i]><[f]><[s]><[n]>"), u"<><><0><5>\r\n");
  memo->SetHideZeros(false);
  EXPECT_EQ(Print(u"<[i]><[f]>"), u"<0><0>\r\n");
}

TEST_F(MemoData, SuppressRepeatedOverRows) {
  memo->SetSuppressRepeated(true);
  std::vector<WideString> shown;
  for (const char16_t* row : {u"A", u"A", u"B", u"B"}) {
    values[u"v"] = Variant(WideString(row));
    shown.push_back(Print(u"[v]"));
  }
  EXPECT_EQ(shown, (std::vector<WideString>{u"A\r\n", u"", u"B\r\n", u""}));
  memo->ResetSuppress();
  EXPECT_EQ(Print(u"[v]"), u"B\r\n");
}

TEST_F(MemoData, HighlightAppliesTheFirstTrueConditionAndIsUndoneAfterPrint) {
  memo->Font().SetColor(clBlack);
  TpgwHighlight& never = memo->Highlight();
  never.SetCondition(u"never");
  TpgwHighlight& hot = memo->Highlights().Add();
  hot.SetCondition(u"hot");
  hot.Font().SetColor(clWhite);
  hot.SetColor(0x00FF00);
  hot.SetVisible(false);
  TpgwHighlight& later = memo->Highlights().Add();
  later.SetCondition(u"hot");
  later.Font().SetColor(0x123456);
  values = {{u"never", Variant(1)}, {u"hot", Variant(true)}};  // 1 is not Boolean true

  memo->SetText(u"x");
  memo->BeforePrint();
  memo->GetData();
  EXPECT_TRUE(memo->HighlightActivated());
  EXPECT_EQ(memo->Font().Color(), clWhite);
  EXPECT_EQ(memo->Color(), 0x00FF00);
  EXPECT_FALSE(memo->Visible());
  memo->AfterPrint();
  EXPECT_EQ(memo->Font().Color(), clBlack);
  EXPECT_EQ(memo->Color(), clNone);
  EXPECT_TRUE(memo->Visible());

  values[u"hot"] = Variant(false);
  memo->BeforePrint();
  memo->GetData();
  EXPECT_FALSE(memo->HighlightActivated());
  EXPECT_EQ(memo->Font().Color(), clBlack);
  memo->AfterPrint();
}

TEST_F(MemoData, DataFieldTextVersusExpandedText) {
  TComponent dataSet(nullptr);
  Variant fieldValue = Variant(0);
  WideString display = u"0 kg";
  bool blob = false;
  data.fieldValue = [&](TComponent& ds, const WideString& f) {
    EXPECT_EQ(&ds, &dataSet);
    EXPECT_EQ(f, u"Weight");
    return fieldValue;
  };
  data.displayText = [&](TComponent&, const WideString&) { return display; };
  data.isBlobField = [&](TComponent&, const WideString&) { return blob; };
  data.blobText = [&](TComponent&, const WideString&, TStringList& lines) {
    lines.SetText(u"line 1\r\nline 2");
  };
  memo->SetDataSet(&dataSet);
  memo->SetDataField(u"Weight");

  // A field's display text, not an expansion of the template text.
  EXPECT_EQ(Print(u"[never asked]"), u"0 kg\r\n");
  EXPECT_TRUE(asked.empty());
  // HideZeros hides a zero value, but not a null one (its display text shows).
  memo->SetHideZeros(true);
  EXPECT_EQ(Print(u""), u"");
  fieldValue = Variant::Null();
  display = u"";
  EXPECT_EQ(Print(u""), u"");
  fieldValue = Variant::Null();
  display = u"none";
  EXPECT_EQ(Print(u""), u"none\r\n");
  // A display format formats the value instead.
  fieldValue = Variant(12.5);
  memo->DisplayFormat().SetKind(fkNumeric);
  memo->DisplayFormat().SetFormatStr(u"0.00");
  EXPECT_EQ(Print(u""), u"12.50\r\n");
  // A large-object field copies its lines.
  blob = true;
  EXPECT_EQ(Print(u""), u"line 1\r\nline 2\r\n");
}

TEST_F(MemoData, ValueGoesToTheScriptVariable) {
  Variant local;
  script.setLocalValue = [&](TpgwReport& r, const Variant& v) {
    EXPECT_EQ(&r, &report);
    local = v;
  };
  values = {{u"n", Variant(7)}};
  Print(u"[n]");
  EXPECT_EQ(local, Variant(7));
  EXPECT_EQ(memo->Value(), Variant(7));
}

TEST_F(MemoData, PageCountAndCopyNamePlaceholders) {
  Print(u"[TotalPages#] [COPYNAME#]");
  EXPECT_TRUE(asked.empty());
  memo->SetText(u"Page of [TotalPages#], [CopyName#]; [totalpages#]");
  memo->SetTotalPages(12);
  memo->SetCopyNo(2);
  script.globalVariable = [](const WideString& name, Variant& v) {
    if (name != u"CopyName2") return false;
    v = Variant(WideString(u"Copy"));
    return true;
  };
  memo->ExtractMacros();
  EXPECT_EQ(memo->Text(), u"Page of 12, Copy; 12\r\n");

  memo->SetText(u"[TOTALPAGES] of [TotalPages]");
  EXPECT_EQ(memo->GetComponentText(), u"12 of [TotalPages]\r\n");
  memo->SetAllowExpressions(false);
  EXPECT_EQ(memo->GetComponentText(), u"[TOTALPAGES] of [TotalPages]\r\n");
}

TEST_F(MemoData, StyleAppliesAtOnceInsideAReport) {
  TpgwStyleItem& style = report.Styles().Add();
  style.SetName(u"Title");
  style.Font().SetColor(0x0000FF);
  style.SetColor(0x00FFFF);
  style.SetApplyFrame(false);
  memo->SetStyle(u"title");
  EXPECT_EQ(memo->Font().Color(), 0x0000FF);
  EXPECT_EQ(memo->Color(), 0x00FFFF);
  EXPECT_EQ(memo->Style(), u"title");
}

TEST_F(MemoData, FlowToReceivesTheRestAndIsClearedWhenDestroyed) {
  auto* target = &CreateChild<TpgwMemoView>(report);
  target->SetName(u"Memo2");
  memo->SetBounds(0, 0, 200, 17);  // room for one line
  memo->SetFlowTo(target);
  Print(u"first\r\nsecond\r\nthird");
  EXPECT_EQ(target->Text(), u"second\r\nthird\r\n");
  EXPECT_FALSE(target->AllowExpressions());
  delete target;
  EXPECT_EQ(memo->FlowTo(), nullptr);
}

// ---- stored lists and the template text ----------------------------------------------------------

TEST(MemoText, FormatsAndHighlightsAreStoredOnlyWhenThereAreSeveral) {
  TpgwMemoView m(nullptr);
  m.DisplayFormat().SetKind(fkNumeric);
  EXPECT_TRUE(WriteExtraProperties(m).empty());  // one format: the DisplayFormat attributes carry it

  TpgwFormat& second = m.Formats().Add();
  second.SetKind(fkDateTime);
  second.SetFormatStr(u"dd \"quoted\"");
  m.Highlight().SetCondition(u"a");
  TpgwHighlight& h = m.Highlights().Add();
  h.SetCondition(u"b < 2");
  h.Font().SetColor(0x00FF00);
  h.SetFillType(ftGlass);
  const std::string bytes = WriteExtraProperties(m);
  ASSERT_FALSE(bytes.empty());

  TpgwMemoView back(nullptr);
  ReadExtraProperties(back, bytes);
  ASSERT_EQ(back.Formats().Count(), 2);
  EXPECT_EQ(back.Formats()[0].Kind(), fkNumeric);
  EXPECT_EQ(back.Formats()[1].Kind(), fkDateTime);
  EXPECT_EQ(back.Formats()[1].FormatStr(), u"dd \"quoted\"");
  ASSERT_EQ(back.Highlights().Count(), 2);
  EXPECT_EQ(back.Highlights()[1].Condition(), u"b < 2");
  EXPECT_EQ(back.Highlights()[1].Font().Color(), 0x00FF00);
  EXPECT_EQ(back.Highlights()[1].FillType(), ftGlass);
  EXPECT_EQ(back.Highlights()[0].Condition(), u"a");
}

TEST(MemoText, TemplateTextAndPreparedPageText) {
  TpgwMemoView m(nullptr);
  IpgwXMLTextObject& xml = m;
  xml.SetXMLText(u"one\r\ntwo");
  EXPECT_EQ(m.Memo().Count(), 2);
  EXPECT_EQ(xml.XMLText(), u"one\r\ntwo\r\n");  // the writer drops the final break
  EXPECT_EQ(m.Text(), u"one\r\ntwo\r\n");
  // The prepared-page text never ends with a line break.
  EXPECT_EQ(m.DiffText(nullptr), u" u=\"one&#13;&#10;two\"");
  m.SetText(u"");
  EXPECT_EQ(m.DiffText(nullptr), u" u=\"\"");
}

TEST(MemoText, DiffWritesChangedAttributesAndHandsOnTheParagraphState) {
  TpgwMemoView ref(nullptr), m(nullptr);
  m.SetText(u"x");
  m.SetGapX(2.00001);  // within the tolerance
  m.SetHAlign(haCenter);
  m.SetWordWrap(false);
  m.SetHint(u"tip");
  m.DisplayFormat().SetFormatStr(u"0.0");
  m.SetLastParaBreak(true);
  EXPECT_EQ(m.Diff(&ref),
            u" HAlign=\"2\" u=\"x\" Hint=\"tip\" WordWrap=\"0\" DisplayFormat.FormatStr=\"0.0\" "
            u"LastParaBreak=\"1\"");
  EXPECT_TRUE(m.FirstParaBreak());
  EXPECT_FALSE(m.LastParaBreak());
  EXPECT_EQ(m.Diff(&ref),
            u" HAlign=\"2\" u=\"x\" Hint=\"tip\" WordWrap=\"0\" DisplayFormat.FormatStr=\"0.0\" "
            u"FirstParaBreak=\"1\"");
  EXPECT_FALSE(m.FirstParaBreak());
}

}  // namespace

namespace {

TEST(MemoText, TemplateAttributesRoundTrip) {
  TpgwMemoView m(nullptr);
  m.SetText(u"Weight: [w]\r\nsecond \"line\"");
  m.SetHAlign(haRight);
  m.SetGapY(3);
  m.SetRotation(270);
  m.SetExpressionDelimiters(u"<,>");
  m.SetFillType(ftGradient);
  m.DisplayFormat().SetKind(fkNumeric);
  m.DisplayFormat().SetFormatStr(u"#,##0.00");
  m.Highlight().SetCondition(u"w > 10");
  m.Highlight().Font().SetColor(0x0000FF);
  m.Processing().ProcessAt = paReportFinished;
  m.SetDuplicates(dmMerge);
  const WideString attributes = ObjectToXMLAttributes(m);
  // Defaults stay out; the text is its own attribute.
  EXPECT_EQ(attributes.find(u"GapX"), WideString::npos);
  EXPECT_EQ(attributes.find(u"Memo.Text"), WideString::npos);
  EXPECT_NE(attributes.find(u" Text=\"Weight: [w]&#13;&#10;second &#34;line&#34;\""), WideString::npos);

  TpgwMemoView back(nullptr);
  XMLAttributesToObject(attributes, back);
  EXPECT_EQ(back.Text(), m.Text());
  EXPECT_EQ(back.HAlign(), haRight);
  EXPECT_EQ(back.GapY(), 3);
  EXPECT_EQ(back.Rotation(), 270);
  EXPECT_EQ(back.ExpressionDelimiters(), u"<,>");
  EXPECT_EQ(back.FillType(), ftGradient);
  EXPECT_EQ(back.DisplayFormat().Kind(), fkNumeric);
  EXPECT_EQ(back.DisplayFormat().FormatStr(), u"#,##0.00");
  EXPECT_EQ(back.Highlight().Condition(), u"w > 10");
  EXPECT_EQ(back.Highlight().Font().Color(), 0x0000FF);
  EXPECT_EQ(back.Processing().ProcessAt, paReportFinished);
  EXPECT_EQ(back.Duplicates(), dmMerge);
}

}  // namespace

namespace {

struct FakeItem : IpgwMacrosItem {
  std::vector<WideString> texts;
  TpgwCustomMemoView* current = nullptr;
  int last = -1;
  int TextCount() const override { return static_cast<int>(texts.size()); }
  WideString Text(int i) const override { return texts.at(static_cast<size_t>(i)); }
  void SetLastText(const WideString& t) override { texts.back() = t; }
  TpgwCustomMemoView* CurrentObject() const override { return current; }
  void SetCurrentObject(TpgwCustomMemoView* o) override { current = o; }
  int LastIndex() const override { return last; }
  void SetLastIndex(int i) override { last = i; }
};

struct FakePostProcessor : IpgwPostProcessor {
  struct Entry {
    WideString band, name, content;
    bool process;
  };
  std::vector<Entry> entries;
  int Add(const WideString& band, const WideString& name, const WideString& content, TpgwProcessAtMode,
          TpgwCustomMemoView&, bool process) override {
    entries.push_back({band, name, content, process});
    return static_cast<int>(entries.size()) - 1;
  }
};

TEST_F(MemoData, SavedContentBecomesAnIndexAndIsEvaluatedAgainLater) {
  FakePostProcessor pp;
  report.SetName(u"Band1");
  memo->SetText(u"Total [n]");
  memo->Processing().ProcessAt = paReportFinished;
  ASSERT_TRUE(memo->SaveContentToDictionary(report, pp));
  ASSERT_EQ(pp.entries.size(), 1u);
  EXPECT_EQ(pp.entries[0].content, u"Total [n]");  // no trailing line break
  EXPECT_EQ(pp.entries[0].band, u"Band1");
  EXPECT_TRUE(pp.entries[0].process);
  EXPECT_EQ(memo->Text(), u"0\r\n");

  FakeItem item;
  item.texts = {u"Total [n]"};
  values = {{u"n", Variant(9)}};
  memo->SetText(u"Total [n]");
  report.SetCurObject(u"Other");
  memo->ProcessDictionary(item, report, pp);
  EXPECT_EQ(item.texts[0], u"Total 9");
  EXPECT_EQ(memo->Text(), u"Total [n]\r\n");
  EXPECT_EQ(report.CurObject(), u"Other");
}

TEST_F(MemoData, DuplicatesMergeHideOrClearNeighbours) {
  struct Case {
    TpgwDuplicateMerge mode;
    std::vector<bool> hidden;
    std::vector<const char16_t*> shown;
    Extended firstHeight;
  } cases[] = {
      {dmShow, {false, false, false}, {u"A\r\n", u"A\r\n", u"B\r\n"}, 10},
      {dmHide, {false, true, false}, {u"A\r\n", u"A\r\n", u"B\r\n"}, 10},
      {dmClear, {false, false, false}, {u"A\r\n", u"", u"B\r\n"}, 10},
      {dmMerge, {false, true, false}, {u"A\r\n", u"A\r\n", u"B\r\n"}, 20},
  };
  for (const Case& c : cases) {
    FakeItem item;
    item.texts = {u"A", u"B"};
    std::vector<std::unique_ptr<TpgwMemoView>> objects;
    const char16_t* indexes[] = {u"0", u"0", u"1"};
    for (int i = 0; i < 3; ++i) {
      objects.push_back(std::make_unique<TpgwMemoView>(nullptr));
      objects.back()->SetBounds(0, 10 * i, 50, 10);
      objects.back()->SetDuplicates(c.mode);
      objects.back()->SetText(indexes[i]);
    }
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(objects[i]->LoadContentFromDictionary(report, item), c.hidden[i]) << c.mode << " " << i;
      EXPECT_EQ(objects[i]->Text(), c.shown[i]) << c.mode << " " << i;
      // Once per object.
      EXPECT_FALSE(objects[i]->LoadContentFromDictionary(report, item));
    }
    EXPECT_EQ(static_cast<double>(objects[0]->Height()), static_cast<double>(c.firstHeight)) << c.mode;
  }
}

}  // namespace
