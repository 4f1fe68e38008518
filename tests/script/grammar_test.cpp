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
  EXPECT_EQ(names.front(), u"PascalScript");
  EXPECT_EQ(std::count(names.begin(), names.end(), u"Swap"), 1);
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
