// The system module through the interpreter: each function in an expression or a small program,
// compared as text.
#include "script/sys_functions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/unicode.h"
#include "platform/variant.h"

namespace pagewright {
namespace {

class SysFunctions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitScriptInterpreter(); }
  void SetUp() override {
    saved_ = FormatSettings();
    FormatSettings().DecimalSeparator = u'.';
    FormatSettings().DateSeparator = u'/';
    FormatSettings().ShortDateFormat = u"dd/mm/yyyy";
    FormatSettings().TimeSeparator = u':';
    FormatSettings().LongTimeFormat = u"hh:nn:ss";
  }
  void TearDown() override { FormatSettings() = saved_; }

  std::string Eval(const std::string& expr) {
    TvmScript s;
    TvmSysFunctions module(&s);
    Variant v = s.Evaluate(Utf8ToUtf16(expr));
    EXPECT_FALSE(s.EvaluteRiseError) << expr << ": " << Utf16ToUtf8(VarToStr(v));
    return Utf16ToUtf8(VarToStr(v));
  }

  // Runs a program and gives the value of its global variable R as text.
  std::string Run(const std::string& program) {
    TvmScript s;
    TvmSysFunctions module(&s);
    s.Lines = Utf8ToUtf16(program);
    EXPECT_TRUE(s.Compile()) << Utf16ToUtf8(s.ErrorMsg) << " at " << Utf16ToUtf8(s.ErrorPos);
    s.Execute();
    return Utf16ToUtf8(VarToStr(s.GetVariable(u"R")));
  }

  TFormatSettings saved_;
};

TEST_F(SysFunctions, ExpressionsGiveThePlatformResults) {
  const struct {
    const char* expr;
    const char* expected;
  } cases[] = {
      // conversions
      {"IntToStr(5000000000)", "5000000000"},
      {"IntToStr(-12)", "-12"},
      {"FloatToStr(2.5)", "2.5"},
      {"DateToStr(EncodeDate(2024, 2, 29))", "29/02/2024"},
      {"TimeToStr(EncodeTime(13, 5, 9, 0))", "13:05:09"},
      {"DateTimeToStr(EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 0))", "29/02/2024 13:05:09"},
      {"BoolToStr(True)", "-1"},
      {"BoolToStr(False)", "0"},
      {"VarToStr(Null)", ""},
      {"StrToInt('-42') + 1", "-41"},
      {"StrToInt64('9000000000')", "9000000000"},
      {"StrToFloat('1.25') * 2", "2.5"},
      {"FormatDateTime('yyyy-mm-dd', StrToDate('03/04/2021'))", "2021-04-03"},
      {"FormatDateTime('hh:nn', StrToTime('07:45:00'))", "07:45"},
      {"FormatDateTime('yyyy hh', StrToDateTime('03/04/2021 07:45:00'))", "2021 07"},
      {"StrToBool('True')", "True"},
      // formatting
      {"Format('%d-%s-%.2f', [7, 'x', 1.5])", "7-x-1.50"},
      {"FormatFloat('0.00', 3)", "3.00"},
      {"FormatFloat('#,##0.0', 1234.56)", "1,234.6"},
      {"FormatMaskText('000-000;0;_', '123456')", "123-456"},
      // dates
      {"DayOfWeek(EncodeDate(2024, 2, 29))", "5"},
      {"IsLeapYear(1900)", "False"},
      {"IsLeapYear(2000)", "True"},
      {"DaysInMonth(2023, 2)", "28"},
      {"Date = Int(Now)", "True"},
      {"(Time >= 0) and (Time < 1)", "True"},
      // strings
      {"Length('abc')", "3"},
      {"Length(Null)", "0"},
      {"Length(123)", "3"},
      {"Length(VarArrayCreate([0, 4], varVariant))", "5"},
      {"Length(VarArrayCreate([2, 4], varInteger))", "3"},
      {"Copy('abcdef', 2, 3)", "bcd"},
      {"Copy('abc', 5, 2)", ""},
      {"Pos('cd', 'abcdef')", "3"},
      {"Pos('x', 'abc')", "0"},
      {"Uppercase('straße ä')", "STRAßE Ä"},  // one character for one: the length never changes
      {"Lowercase('ÄBC')", "äbc"},
      {"Trim('  a b  ')", "a b"},
      {"NameCase('jOHN smith')", "John Smith"},
      {"CompareText('abc', 'ABC')", "0"},
      {"CompareText('a', 'B') < 0", "True"},
      {"CompareText('b', 'A') > 0", "True"},
      {"Chr(65) + Chr(1046)", "AЖ"},
      {"Ord('A')", "65"},
      // mathematics
      {"Round(2.5)", "2"},
      {"Round(3.5)", "4"},
      {"Round(-2.5)", "-2"},
      {"Trunc(-2.7)", "-2"},
      {"Round(2147483647.4)", "2147483647"},
      {"Trunc(-2147483648.9)", "-2147483648"},
      {"Int(2.7)", "2"},
      {"Int(2.7) / 4", "0.5"},
      {"Frac(2.75)", "0.75"},
      {"Sqrt(16)", "4"},
      {"Abs(-1.5)", "1.5"},
      {"Round(Sin(Pi / 2) * 1000)", "1000"},
      {"Round(Cos(Pi) * 1000)", "-1000"},
      {"Round(ArcTan(1) * 4000)", "3142"},
      {"Round(Tan(Pi / 4) * 1000)", "1000"},
      {"Round(Ln(Exp(2)) * 1000)", "2000"},
      {"FormatFloat('0.0000000000', Pi)", "3.1415926536"},
      // others
      {"ValidInt('12')", "True"},
      {"ValidInt('12a')", "False"},
      {"ValidFloat('1.5')", "True"},
      {"ValidFloat('1.5x')", "False"},
      {"ValidDate('29/02/2024')", "True"},
      {"ValidDate('30/02/2024')", "False"},
      {"ExtractFilePath('/tmp/dir/file.txt')", "/tmp/dir/"},
      {"VarType('a')", "256"},
      {"VarType(1)", "3"},
      {"VarType(Null) = varNull", "True"},
      {"varByRef + varArray + varTypeMask", "28671"},
      {"(Random >= 0) and (Random < 1)", "True"},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(c.expr), c.expected) << c.expr;
}

TEST_F(SysFunctions, ByReferenceParametersAreWritten) {
  const struct {
    const char* program;
    const char* expected;
  } cases[] = {
      {"var R: String; y, m, d: Word; begin DecodeDate(EncodeDate(2024, 2, 29), y, m, d); "
       "R := IntToStr(y) + '-' + IntToStr(m) + '-' + IntToStr(d) end.",
       "2024-2-29"},
      {"var R: String; h, n, s, ms: Word; begin DecodeTime(EncodeTime(13, 5, 9, 250), h, n, s, ms); "
       "R := IntToStr(h) + ':' + IntToStr(n) + ':' + IntToStr(s) + '.' + IntToStr(ms) end.",
       "13:5:9.250"},
      {"var R: String; begin R := 'abcdef'; Delete(R, 2, 3) end.", "aef"},
      {"var R: String; begin R := 'abcdef'; DeleteStr(R, 5, 10) end.", "abcd"},
      {"var R: String; begin R := 'ad'; Insert('bc', R, 2) end.", "abcd"},
      {"var R: String; begin R := 'abcdef'; SetLength(R, 2) end.", "ab"},
      {"var R: Integer; a: Variant; begin a := VarArrayCreate([0, 1], varVariant); SetLength(a, 4); "
       "R := Length(a) end.",
       "4"},
      {"var R: Integer; begin R := 5; Inc(R); Inc(R, 10) end.", "16"},
      {"var R: Integer; begin R := 5; Dec(R); Dec(R, 10) end.", "-6"},
      // A date value is judged by its date text, whatever its time of day.
      {"var R: Boolean; v: Variant; begin v := EncodeDate(2024, 2, 29) + EncodeTime(10, 0, 0, 0); "
       "R := ValidDate(v) end.",
       "True"},
  };
  for (const auto& c : cases) EXPECT_EQ(Run(c.program), c.expected) << c.program;
}

TEST_F(SysFunctions, BadInputRaisesTheRuntimeErrors) {
  const struct {
    const char* expr;
    const char* className;
  } cases[] = {
      {"StrToInt('12a')", "EConvertError"},
      {"StrToFloat('x')", "EConvertError"},
      {"StrToDate('31/02/2024')", "EConvertError"},
      {"EncodeDate(2023, 2, 29)", "EConvertError"},
      {"Format('%d', ['x'])", "EConvertError"},
      {"Sqrt(-1)", "EInvalidOp"},
      {"Ln(0)", "EZeroDivide"},
      {"Chr(70000)", "ERangeError"},
      {"VarArrayCreate([0], varVariant)", "EVariantArrayCreateError"},
      {"Round(1e20)", "EInvalidOp"},
      {"Trunc(-3e9)", "EInvalidOp"},
      {"CreateOleObject('Excel.Application')", "EInvalidOperation"},
  };
  for (const auto& c : cases) {
    TvmScript s;
    TvmSysFunctions module(&s);
    try {
      s.Evaluate(Utf8ToUtf16(c.expr));
      ADD_FAILURE() << c.expr << " did not raise";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), c.className) << c.expr << ": " << e.Message();
    }
  }
}

TEST_F(SysFunctions, RaiseExceptionCarriesTheMessage) {
  TvmScript s;
  TvmSysFunctions module(&s);
  s.Lines = u"var R: String; begin try RaiseException('boom') except R := ExceptionMessage end end.";
  ASSERT_TRUE(s.Compile());
  s.Execute();
  EXPECT_EQ(VarToStr(s.GetVariable(u"R")), u"boom");
  try {
    s.Evaluate(u"RaiseException('bang')");
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "bang");
    EXPECT_STREQ(e.ClassName(), "Exception");
  }
}

TEST_F(SysFunctions, ShowMessageGoesToTheOutputAndRandomFollowsItsSeed) {
  std::vector<std::string> shown;
  SetShowMessageOutput([&](const WideString& t) { shown.push_back(Utf16ToUtf8(t)); });
  Eval("ShowMessage(12)");
  SetShowMessageOutput(nullptr);
  EXPECT_EQ(shown, std::vector<std::string>{"12"});

  SetRandomSeed(7);
  std::string first = Eval("FloatToStr(Random) + ' ' + FloatToStr(Random)");
  SetRandomSeed(7);
  EXPECT_EQ(Eval("FloatToStr(Random) + ' ' + FloatToStr(Random)"), first);
}

TEST_F(SysFunctions, DeclarationsCarryTheirCategories) {
  TvmScript s;
  TvmSysFunctions module(&s);
  const struct {
    const char16_t* name;
    const char16_t* category;
  } cases[] = {{u"IntToStr", u"ctConv"},   {u"FormatFloat", u"ctFormat"},
               {u"DecodeDate", u"ctDate"}, {u"NameCase", u"ctString"},
               {u"Pi", u"ctMath"},         {u"VarType", u"ctOther"}};
  for (const auto& c : cases) {
    auto* m = dynamic_cast<TvmMethodHelper*>(s.Find(c.name));
    ASSERT_NE(m, nullptr) << Utf16ToUtf8(c.name);
    EXPECT_EQ(m->Category, c.category);
  }
  auto* inc = dynamic_cast<TvmMethodHelper*>(s.Find(u"Inc"));
  ASSERT_NE(inc, nullptr);
  EXPECT_EQ(inc->Syntax, u"procedure Inc(var i: Integer; incr: Integer = 1)");
  EXPECT_EQ(inc->RequiredParamCount(), 1);
}

}  // namespace
}  // namespace pagewright
