// The language registry, grammar documents with every parser setting, language lines and
// unit inclusion.
#include "script/grammar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "script/il_parser.h"

namespace pagewright {
namespace {

// A small line-oriented language that switches every lexer setting away from its default.
constexpr const char* kLinesGrammar = R"(<?xml version="1.0" encoding="utf-8" standalone="no"?>
<language text="TestLines">
  <parser>
    <identchars text="abcdefghijklmnopqrstuvwxyz_"/>
    <commentline1 text=";"/>
    <commentline2 text="rem"/>
    <commentblock1 text="/*,*/"/>
    <commentblock2 text="[[,]]"/>
    <stringquotes text="&quot;"/>
    <hexsequence text="0x"/>
    <specstrchar text="1"/>
    <skipeol text="0"/>
    <skipchar text="\"/>
    <casesensitive text="1"/>
    <declarevars text="0"/>
    <keywords><print/><end/></keywords>
    <errors><err1 text="End of line expected"/><err2 text="Value expected"/><err3 text="'end' expected"/></errors>
  </parser>
  <types><int type="integer"/><decimal type="extended"/></types>
  <empty/>
  <program>
    <optionalloop><eol/></optionalloop>
    <optionalloop><line/></optionalloop>
    <keyword text="END" err="err3"/>
  </program>
  <line node="stmt">
    <keyword text="PRINT"/>
    <loop text=","><value err="err2"/></loop>
    <optionalswitch><char text="!" node="bang"/></optionalswitch>
    <eol err="err1"/>
  </line>
  <value>
    <switch>
      <number add="number"/>
      <string add="string"/>
      <ident add="ident"/>
      <sequence><char text="?"/><undefinedrule/></sequence>
    </switch>
  </value>
</language>
)";

class Grammars : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitScriptLanguages();
    RegisterScriptLanguage(u"TestLines", kLinesGrammar);
  }

  std::string Parse(std::u16string_view language, std::string_view source) {
    TvmILParser p(&host);
    p.SelectLanguage(language);
    return Run(p, source);
  }
  std::string Run(TvmILParser& p, std::string_view source) {
    if (!p.MakeILScript(Utf8ToUtf16(source))) {
      std::string e = "error: ";
      e.append(Utf16ToUtf8(host.ErrorMsg)).append(" at ").append(Utf16ToUtf8(host.ErrorPos));
      return e;
    }
    return DumpIL(*p.ILScript());
  }

  TvmILHost host;
};

TEST_F(Grammars, RegistryFindsReplacesAndRejects) {
  EXPECT_NE(ScriptLanguageGrammar(u"pascalscript").find("<language text=\"PascalScript\">"),
            std::string::npos);
  try {
    ScriptLanguageGrammar(u"Cobol");
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Language 'Cobol' not found");
  }
  TvmILParser p(&host);
  EXPECT_THROW(p.SelectLanguage(u"Cobol"), Exception);

  // Registering a known name replaces its grammar; the names keep their order.
  RegisterScriptLanguage(u"Swap", kLinesGrammar);
  EXPECT_EQ(Parse(u"Swap", "print 1\r\nend"),
            "(program (stmt number:1) (types (int type=integer) (decimal type=extended)))");
  RegisterScriptLanguage(u"SWAP", ScriptLanguageGrammar(u"PascalScript"));
  EXPECT_EQ(Parse(u"Swap", "begin end."), "(program (compoundstmt) (types))");
  auto names = ScriptLanguageNames();
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(std::vector<WideString>(names.begin(), names.begin() + 4),
            (std::vector<WideString>{u"PascalScript", u"C++Script", u"BasicScript", u"JScript"}));
  EXPECT_EQ(std::count(names.begin(), names.end(), u"Swap"), 1);
}

// The IL each of the other languages gives for its own forms: the same vocabulary as
// PascalScript's, with the elements only these languages produce.
TEST_F(Grammars, TheOtherLanguagesBuildTheSameVocabulary) {
  const struct {
    const char16_t* language;
    const char* source;
    const char* il;  // the program's first element, or the error
  } cases[] = {
      {u"C++Script", "{ x += 2; }",
       "(compoundstmt (assignstmt (dsgn node:x) modificator:+ (expr number:2)))"},
      {u"C++Script", "{ x++; }", "(compoundstmt (callstmt (dsgn node:x) modificator:+))"},
      // "x = 5" is tried as a declaration first and leaves nothing behind
      {u"C++Script", "{ x = 5; }", "(compoundstmt (assignstmt (dsgn node:x) (expr number:5)))"},
      {u"C++Script", "{ int a, b[2] = 1; }",
       "(compoundstmt (var type:int ident:a ident:b (array (dim (expr number:2))) (init (expr number:1))))"},
      {u"C++Script", "{ for (;;) break; }",
       "(compoundstmt (cppforstmt (compoundstmt (empty)) (compoundstmt (empty)) (break)))"},
      {u"C++Script", "{ do x--; while (x); }",
       "(compoundstmt (repeatstmt (callstmt (dsgn node:x) modificator:-) (expr (dsgn node:x)) inverse:))"},
      {u"C++Script", "{ delete o; o = new TList(); }",
       "(compoundstmt (delete (dsgn node:o)) (assignstmt (dsgn node:o) (expr (new (dsgn node:TList)))))"},
      {u"C++Script", "{ p = &q; }", "(compoundstmt (assignstmt (dsgn node:p) (expr (dsgn addr:& node:q))))"},
      {u"C++Script", "{ x = a[1][2]; }",
       "(compoundstmt (assignstmt (dsgn node:x) (expr (dsgn node:a node:[ (expr number:1) (expr "
       "number:2)))))"},
      {u"C++Script", "#define N 3\n{}", "(const ident:N (expr number:3))"},
      {u"C++Script", "{ If (x) y(); }", "error: ';' expected at 1:10"},
      {u"C++Script", "int x;", "error: '{' expected at 1:7"},
      {u"C++Script", "{} x", "error: Statement expected at 1:4"},
      {u"BasicScript", "If a Then b = 1 : c = 2\r\n",
       "(compoundstmt (ifstmt (expr (dsgn node:a)) (thenstmt (assignstmt (dsgn node:b) (expr number:1)) "
       "(assignstmt (dsgn node:c) (expr number:2)))))"},
      {u"BasicScript", "For i = 1 To 9 Step 2\r\nNext\r\n",
       "(compoundstmt (vbforstmt ident:i (expr number:1) (expr number:9) (expr number:2)))"},
      {u"BasicScript", "Do\r\nLoop While x\r\n",
       "(compoundstmt (repeatstmt (compoundstmt) (expr (dsgn node:x)) inverse:))"},
      {u"BasicScript", "With o\r\nx = 1\r\nEnd With\r\n",
       "(compoundstmt (with (dsgn node:o) (compoundstmt (assignstmt (dsgn node:x) (expr number:1)))))"},
      {u"BasicScript", "Sub P\r\nEnd Sub\r\n", "(compoundstmt (procedure name:P (exit)))"},
      {u"BasicScript", "x = \"a\" & 1 _\r\n  + 2\r\n",
       "(compoundstmt (assignstmt (dsgn node:x) (expr string:'a' op:strcat number:1 op:+ number:2)))"},
      {u"BasicScript", "x = 1\ny = 2",
       "(compoundstmt (assignstmt (dsgn node:x) (expr number:1)) (assignstmt (dsgn node:y) (expr "
       "number:2)))"},
      {u"BasicScript", "If a Then b = 1 Else b = 2\r\n", "error: End of line expected at 1:17"},
      {u"BasicScript", "Delete o : p = AddressOf Q\r\n",
       "(compoundstmt (delete (dsgn node:o)) (assignstmt (dsgn node:p) (expr (dsgn addr:AddressOf "
       "node:Q))))"},
      {u"BasicScript", "Set o = New TList\r\n",
       "(compoundstmt (assignstmt (dsgn node:o) (expr (new (dsgn node:TList)))))"},
      {u"JScript", "delete o; o = new TList();",
       "(compoundstmt (delete (dsgn node:o)) (assignstmt (dsgn node:o) (expr (new (dsgn node:TList)))))"},
      {u"JScript", "var a = 1 var b = 2",
       "(compoundstmt (var ident:a (init (expr number:1))) (var ident:b (init (expr number:2))))"},
      {u"JScript", "with (o) x = 1",
       "(compoundstmt (with (dsgn node:o) (assignstmt (dsgn node:x) (expr number:1))))"},
      {u"JScript", "function f(a, &b) { return a; }",
       "(compoundstmt (function name:f (parameters (var ident:a) (var varparam:& ident:b)) (compoundstmt "
       "(return (expr (dsgn node:a))))))"},
      {u"JScript", "for (var i = 0; ; i++) {}",
       "(compoundstmt (cppforstmt (compoundstmt (var ident:i (init (expr number:0)))) (compoundstmt "
       "(callstmt "
       "(dsgn node:i) modificator:+)) (compoundstmt)))"},
  };
  for (const auto& c : cases) {
    std::string got = Parse(c.language, c.source);
    if (got.rfind("(program ", 0) == 0) {
      // The first element of the program.
      int depth = 0;
      size_t end = 9;
      for (; end < got.size(); ++end) {
        if (got[end] == '(') ++depth;
        if (got[end] == ')' && --depth == 0) break;
      }
      got = got.substr(9, end - 8);
    }
    EXPECT_EQ(got, c.il) << Utf16ToUtf8(c.language) << ": " << c.source;
  }
}

TEST_F(Grammars, ParserSettingsComeFromTheDocument) {
  const struct {
    const char* source;
    const char* il;
  } cases[] = {
      {"print 0x1F, \"a\\n\\x41\", x_y\r\nend",
       "(program (stmt number:$1F string:'a\nA' ident:x_y) (types (int type=integer) (decimal "
       "type=extended)))"},
      // comments of both kinds, a continuation line, blank lines
      {"\r\n; note\r\nprint 1, /* c */ \\\r\n  2 [[ d ]] rem tail\r\n\r\nprint 3!\r\nend",
       "(program (stmt number:1 number:2) (stmt number:3 (bang)) (types (int type=integer) (decimal "
       "type=extended)))"},
      // case-sensitive: grammar words are matched in lower case only
      {"PRINT 1\r\nend", "error: 'end' expected at 1:1"},
      {"print 1\r\nEND", "error: 'end' expected at 2:1"},
      // identifiers take only the document's characters
      {"print Abc\r\nend", "error: Value expected at 1:7"},
      // line ends are tokens, CR LF and LF alike
      {"print 1 print 2\r\nend", "error: End of line expected at 1:9"},
      {"print 1\nend", "(program (stmt number:1) (types (int type=integer) (decimal type=extended)))"},
      // a rule the document does not define fails only when reached
      {"print 1\r\nend", "(program (stmt number:1) (types (int type=integer) (decimal type=extended)))"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(u"TestLines", c.source), c.il) << c.source;

  TvmILParser p(&host);
  p.SelectLanguage(u"TestLines");
  EXPECT_FALSE(p.NeedDeclareVars());
  try {
    p.MakeILScript(u"print ?\r\nend");
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid language definition");
  }
}

TEST_F(Grammars, LanguageLineSwitchesTheLanguage) {
  TvmILParser p(&host);
  p.SelectLanguage(u"PascalScript");
  EXPECT_EQ(Run(p, "#language TestLines \r\nprint 1\r\nend"),
            "(program (stmt number:1) (types (int type=integer) (decimal type=extended)))");
  EXPECT_EQ(p.LangName(), u"TestLines");
  // Case sensitivity set by a grammar is never reset by the next one.
  EXPECT_EQ(Run(p, "#language PascalScript\r\nBEGIN END."), "error: 'BEGIN' expected at 2:1");
  EXPECT_EQ(Run(p, "#language PascalScript\r\nbegin end."), "(program (compoundstmt) (types))");
  EXPECT_TRUE(p.Parser().CaseSensitive());

  TvmILParser q(&host);
  q.SelectLanguage(u"PascalScript");
  // Only a '#' in the first column starts a language line.
  EXPECT_EQ(Run(q, " #language TestLines\r\nprint 1\r\nend"), "error: 'BEGIN' expected at 1:2");
  EXPECT_EQ(Run(q, "#lang TestLines\r\nbegin end."), "error: 'BEGIN' expected at 1:1");
  EXPECT_THROW(Run(q, "#language Nope\r\nbegin end."), Exception);
}

class Units : public Grammars {
 protected:
  void SetUp() override {
    host.OnGetUnit = [this](TvmILHost&, const WideString& name, WideString& text) {
      requested.push_back(Utf16ToUtf8(name));
      auto it = units.find(Utf16ToUtf8(name));
      if (it != units.end()) text = Utf8ToUtf16(it->second);
    };
  }
  std::map<std::string, std::string> units;
  std::vector<std::string> requested;
};

TEST_F(Units, BlocksStandInReverseOrderAndEachUnitOnce) {
  units["A"] = "uses 'C', 'b'; begin a end.";
  units["B"] = "uses 'C'; begin b end.";
  units["C"] = "begin c end.";
  EXPECT_EQ(
      Parse(u"PascalScript", "uses 'A', 'B'; begin end."),
      "(program (uses unit=B (program (uses unit=C (program (compoundstmt (callstmt (dsgn node:c))) "
      "(types))) "
      "(compoundstmt (callstmt (dsgn node:b))) (types))) (uses unit=A (program (uses unit=b) (uses unit=C) "
      "(compoundstmt (callstmt (dsgn node:a))) (types))) (compoundstmt) (types))");
  // B came first and brought C; 'b' is B (names compare ignoring case).
  EXPECT_EQ(requested, (std::vector<std::string>{"B", "C", "A"}));
}

TEST_F(Units, UnitErrorsBecomeTheScriptsError) {
  units["Good"] = "begin end.";
  units["Bad"] = "begin\r\n  x := ;\r\nend.";
  EXPECT_EQ(Parse(u"PascalScript", "uses 'Good', 'Bad'; begin end."), "error: Expression expected at 2:8");
  EXPECT_EQ(host.ErrorUnit, u"Bad");
  // A unit error replaces an error recorded before it; the unit is read even when the clause
  // itself is broken.
  host.ErrorUnit.clear();
  requested.clear();
  EXPECT_EQ(Parse(u"PascalScript", "uses 'Bad' begin end."), "error: Expression expected at 2:8");
  EXPECT_EQ(requested, std::vector<std::string>{"Bad"});
  // An empty unit text includes nothing.
  EXPECT_EQ(Parse(u"PascalScript", "uses 'Missing'; begin end."),
            "(program (uses unit=Missing) (compoundstmt) (types))");
}

TEST(UnitFiles, SearchTheIncludePathInOrder) {
  InitScriptLanguages();
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("pw_units_" + std::to_string(::getpid()));
  fs::create_directories(dir / "second");
  {
    std::ofstream(dir / "second" / "lib.pas") << "\xEF\xBB\xBF"
                                              << "begin Lib end.";
  }
  TvmILHost host;
  host.IncludePath = {(dir / "first").string(), (dir / "second").string() + "/"};
  TvmILParser p(&host);
  p.SelectLanguage(u"PascalScript");
  ASSERT_TRUE(p.MakeILScript(u"uses 'lib.pas'; begin end."));
  EXPECT_EQ(DumpIL(*p.ILScript()),
            "(program (uses unit=lib.pas (program (compoundstmt (callstmt (dsgn node:Lib))) (types))) "
            "(compoundstmt) "
            "(types))");
  try {
    p.MakeILScript(u"uses 'none.pas'; begin end.");
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    // The file is looked for last in the last folder tried.
    EXPECT_NE(e.Message().find((dir / "second" / "none.pas").string()), std::string::npos) << e.Message();
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pagewright
