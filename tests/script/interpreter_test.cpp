// The interpreter: annotated programs in tests/data/scripts (each line's expected output in
// "// =>" comments next to it, in the order printed; an error the program ends with in a
// "// raises:" comment on the line that raises it), compile
// errors with their positions, expressions, and host binding.
#include "script/interpreter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/component.h"
#include "platform/properties.h"
#include "platform/unicode.h"

namespace pagewright {
namespace {

class Interpreter : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitScriptInterpreter(); }

  // A program with the basic types and a Print procedure that collects its output.
  void Prepare(TvmScript& s) {
    s.AddBasicTypes();
    s.AddMethod(u"procedure Print(v: Variant)",
                [this](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>& a) {
                  output.push_back(Utf16ToUtf8(VarToStr(a[0])));
                  return Variant::Null();
                });
    s.AddMethod(u"function IntToStr(i: Integer): String",
                [](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>& a) {
                  return Variant(VarToStr(a[0]));
                });
    s.AddMethod(u"procedure RaiseException(Param: String)",
                [](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>& a) -> Variant {
                  throw Exception(Utf16ToUtf8(VarToStr(a[0])));
                });
    s.AddMethod(u"macrofunction IIF(Expr: Boolean; TrueValue, FalseValue: Variant): Variant",
                [this](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>& a) {
                  output.push_back(Utf16ToUtf8(VarToStr(a[0])) + "|" + Utf16ToUtf8(VarToStr(a[1])) + "|" +
                                   Utf16ToUtf8(VarToStr(a[2])));
                  return Variant::Null();
                });
  }

  // "ok" or the compile error with its position.
  std::string CompileError(std::string_view source) {
    TvmScript s;
    Prepare(s);
    s.Lines = Utf8ToUtf16(source);
    if (s.Compile()) return "ok";
    return Utf16ToUtf8(s.ErrorMsg) + " at " + Utf16ToUtf8(s.ErrorPos);
  }

  std::vector<std::string> output;
};

struct ProgramExpectations {
  std::vector<std::string> output;
  std::string raises;  // "EClass: message at line L", or empty
};

ProgramExpectations ReadExpectations(const std::string& text) {
  ProgramExpectations e;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t at = line.find("// => ");
    while (at != std::string::npos) {
      size_t next = line.find(" // => ", at + 6);
      e.output.push_back(line.substr(at + 6, next == std::string::npos ? std::string::npos : next - at - 6));
      at = next == std::string::npos ? next : next + 1;
    }
    size_t r = line.find("// raises: ");
    if (r != std::string::npos) e.raises = line.substr(r + 11) + " at line " + std::to_string(number);
  }
  return e;
}

TEST_F(Interpreter, AnnotatedPrograms) {
  const std::filesystem::path dir = std::filesystem::path(PW_TEST_DATA_DIR) / "scripts";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".pas") continue;
    ++files;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ProgramExpectations want = ReadExpectations(text);
    output.clear();
    TvmScript s;
    Prepare(s);
    s.Lines = Utf8ToUtf16(text);
    const std::string name = entry.path().filename().string();
    ASSERT_TRUE(s.Compile()) << name << ": " << Utf16ToUtf8(s.ErrorMsg) << " at " << Utf16ToUtf8(s.ErrorPos);
    std::string raised;
    try {
      s.Execute();
    } catch (const Exception& e) {
      std::string pos = Utf16ToUtf8(s.ErrorPos);
      raised = std::string(e.ClassName()) + ": " + e.Message() + " at line " + pos.substr(0, pos.find(':'));
    }
    EXPECT_EQ(raised, want.raises) << name;
    EXPECT_EQ(output, want.output) << name;
  }
  EXPECT_GT(files, 0);
}

TEST_F(Interpreter, CompileErrorsWithPositions) {
  struct Case {
    const char* source;
    const char* error;
  };
  const Case cases[] = {
      {"var a: Integer; a: String; begin end.", "Identifier redeclared: 'a' at 1:17"},
      {"var a: TNothing; begin end.", "Unknown type: 'TNothing' at 1:5"},
      {"var i: Integer; begin i := 1.5 end.", "Incompatible types: 'Integer', 'Extended' at 1:23"},
      {"var s: String; begin s := 'a' * 2 end.", "Incompatible types at 1:32"},
      {"var s: String; begin s := 'a' + 1 end.", "Incompatible types at 1:32"},
      {"var b: Boolean; begin b := b + 1 end.", "Incompatible types at 1:31"},
      {"begin x := 1 end.", "Undeclared identifier: 'x' at 1:7"},
      {"var s: String; begin s.Length := 1 end.", "Strings do not have properties or methods at 1:22"},
      {"var i: Integer; begin i[1] := 1 end.", "Array type required at 1:23"},
      {"procedure P(a, b: Integer); begin end; begin P(1) end.", "Not enough actual parameters at 1:46"},
      {"procedure P(a: Integer); begin end; begin P(1, 2) end.", "Too many actual parameters at 1:43"},
      {"procedure P(a: Integer); begin end; begin P('x') end.", "Incompatible types: 'Integer', 'String' at 1:43"},
      {"const c = 1; begin c := 2 end.", "Left side cannot be assigned to at 1:20"},
      {"var s: String; begin for s := 1 to 2 do end.", "For loop variable must be numeric variable at 1:22"},
      {"var i: Integer; begin with i do Print(1) end.", "Class type required at 1:28"},
      {"procedure P; var a, a: Integer; begin end; begin end.", "Identifier redeclared: 'a' at 1:18"},
      {"begin Print(1) end", "'.' expected at 1:19"},
      {"var a: Integer; begin a := @Print end.", "Incompatible types: 'Integer', 'String' at 1:23"},
      {"var v: Variant; begin v := @Print end.", "ok"},
      // "and" binds tighter than ">": the operands need brackets.
      {"var b: Boolean; begin b := 1 > 5 and 2 < 7 end.", "Incompatible types at 1:41"},
      // A local may shadow a global, and a routine may be called above its definition.
      {"var a: Integer; procedure P; var a: String; begin a := 'x'; Q end; procedure Q; begin end; begin end.",
       "ok"},
      {"var f: Extended; begin f := 1 end.", "ok"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompileError(c.source), c.error) << c.source;
}

TEST_F(Interpreter, EvaluateExpressions) {
  TvmScript s;
  Prepare(s);
  s.AddVariable(u"x", u"Integer", Variant(6));
  struct Case {
    const char16_t* expr;
    const char* value;
  };
  const Case cases[] = {
      {u"1 + 2 * 3", "7"},          {u"(1 + 2) * 3", "9"},        {u"10 - 4 - 3", "3"},
      {u"7 div 2 + 7 mod 2", "4"},  {u"7 / 2", "3.5"},            {u"not True = False", "True"},
      {u"x * 2", "12"},             {u"'a' + 'b'", "ab"},         {u"x in [1, 5..7]", "True"},
      {u"x in [1, 2]", "False"},    {u"1 shl 4 or 1", "17"},      {u"-x + 1", "-5"},
      {u"2147483647 + 1", "2147483648"}, {u"$FF xor 15", "240"}, {u"(x > 5) and (x < 7)", "True"},
  };
  for (const auto& c : cases) {
    Variant v = s.Evaluate(c.expr);
    EXPECT_FALSE(s.EvaluteRiseError) << Utf16ToUtf8(c.expr) << ": " << Utf16ToUtf8(VarToStr(v));
    EXPECT_EQ(Utf16ToUtf8(VarToStr(v)), c.value) << Utf16ToUtf8(c.expr);
  }
  Variant bad = s.Evaluate(u"1 +");
  EXPECT_TRUE(s.EvaluteRiseError);
  EXPECT_EQ(Utf16ToUtf8(VarToStr(bad)), "';' expected");
  s.Evaluate(u"x");
  EXPECT_FALSE(s.EvaluteRiseError);
}

TEST_F(Interpreter, RunTimeErrorsNameTheirClassAndDoNotSpoilTheNextRun) {
  TvmScript s;
  Prepare(s);
  s.Lines = u"var a, b: Integer;\nbegin\n  Print(1);\n  a := 10 div b;\n  Print(2)\nend.";
  ASSERT_TRUE(s.Compile());
  for (int run = 0; run < 2; ++run) {
    output.clear();
    try {
      s.Execute();
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), "EDivByZero");
    }
    EXPECT_EQ(Utf16ToUtf8(s.ErrorPos), "4:3");
    EXPECT_EQ(output, std::vector<std::string>{"1"});
    EXPECT_FALSE(s.IsRunning);
  }
  s.SetVariable(u"b", Variant(5));
  output.clear();
  s.Execute();
  EXPECT_EQ(output, (std::vector<std::string>{"1", "2"}));
}

}  // namespace
}  // namespace pagewright
