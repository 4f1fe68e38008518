// The grammar matcher over the PascalScript grammar: the IL built for programs, statements and
// expressions, and every syntax error with its position.
#include "script/il_parser.h"

#include <gtest/gtest.h>

#include "platform/unicode.h"

namespace pagewright {
namespace {

class PascalIL : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitScriptLanguages(); }

  // IL of a whole program, without the trailing (types).
  std::string Program(std::string_view source, bool positions = false) {
    TvmILParser p(&host);
    p.SelectLanguage(u"PascalScript");
    if (!p.MakeILScript(Utf8ToUtf16(source))) {
      std::string e = "error: ";
      e.append(Utf16ToUtf8(host.ErrorMsg)).append(" at ").append(Utf16ToUtf8(host.ErrorPos));
      return e;
    }
    std::string dump = DumpIL(*p.ILScript(), positions);
    const std::string tail = " (types))";
    EXPECT_EQ(dump.substr(dump.size() - tail.size()), tail);
    return dump.substr(0, dump.size() - tail.size()) + ")";
  }
  std::unique_ptr<TvmILNode> Parse(std::u16string_view source) {
    TvmILParser p(&host);
    p.SelectLanguage(u"PascalScript");
    if (!p.MakeILScript(source)) return std::make_unique<TvmILNode>("error");
    return p.TakeILScript();
  }
  // IL of the statements of a main block.
  std::string Statements(std::string_view body) {
    std::string dump = Program("begin " + std::string(body) + " end.");
    const std::string head = "(program (compoundstmt ";
    if (dump.rfind(head, 0) != 0) return dump;
    return dump.substr(head.size(), dump.size() - head.size() - 2);
  }
  // IL of one expression.
  std::string Expr(std::string_view expr) {
    std::string s = Statements("x := " + std::string(expr));
    const std::string head = "(assignstmt (dsgn node:x) ";
    if (s.rfind(head, 0) != 0) return s;
    return s.substr(head.size(), s.size() - head.size() - 1);
  }

  TvmILHost host;
};

struct Case {
  const char* source;
  const char* il;
};

TEST_F(PascalIL, Expressions) {
  const Case cases[] = {
      {"1 + 2 * 3", "(expr number:1 op:+ number:2 op:* number:3)"},
      {"(1 + 2) * 3", "(expr op:( (expr number:1 op:+ number:2) op:) op:* number:3)"},
      {"-a - b", "(expr op:unminus (dsgn node:a) op:- (dsgn node:b))"},
      {"not a = b", "(expr op:not (dsgn node:a) op:= (dsgn node:b))"},
      {"a >= b", "(expr (dsgn node:a) op:>= (dsgn node:b))"},
      {"a <> b", "(expr (dsgn node:a) op:<> (dsgn node:b))"},
      {"a <= b", "(expr (dsgn node:a) op:<= (dsgn node:b))"},
      {"a < b", "(expr (dsgn node:a) op:< (dsgn node:b))"},
      {"a > b", "(expr (dsgn node:a) op:> (dsgn node:b))"},
      {"a in [1, 3..5]",
       "(expr (dsgn node:a) op:in (set (expr number:1) (expr number:3) range:. (expr number:5)))"},
      {"a is b", "(expr (dsgn node:a) op:is (dsgn node:b))"},
      {"a or b xor c", "(expr (dsgn node:a) op:or (dsgn node:b) op:xor (dsgn node:c))"},
      {"a / b div c mod d and e shl f shr g",
       "(expr (dsgn node:a) op:/ (dsgn node:b) op:div (dsgn node:c) op:mod (dsgn node:d) op:and (dsgn "
       "node:e) "
       "op:shl (dsgn node:f) op:shr (dsgn node:g))"},
      {"'It''s'#13 + 1.5e+3 + $FF", "(expr string:'It's\r' op:+ number:1.5e+3 op:+ number:$FF)"},
      {"a.B[1, 2].c(x, 'y')(z)",
       "(expr (dsgn node:a node:B node:[ (expr number:1) (expr number:2) node:c (expr (dsgn node:x)) "
       "(expr string:'y') (expr (dsgn node:z))))"},
      {"a.begin", "(expr (dsgn node:a node:begin))"},
      {"@Proc", "(expr (dsgn addr:@ node:Proc))"},
      {"f()", "(expr (dsgn node:f))"},
      {"f(a, )", "(expr (dsgn node:f (expr (dsgn node:a))))"},
      {"<pgwDBmaster.\"Name\">", "(expr (dsgn node:Get (expr string:'pgwDBmaster.\"Name\"')))"},
      {"<a<b>[c]\"x>\">", "(expr (dsgn node:Get (expr string:'a<b>[c]\"x>\"')))"},
      {"[]", "(expr (set))"},
      {"[[]]", "(expr (set (expr (set))))"},
      // a range of names: the first "." of ".." is no member access
      {"[a..b, c.d]",
       "(expr (set (expr (dsgn node:a)) range:. (expr (dsgn node:b)) (expr (dsgn node:c node:d))))"},
      // A minus after an operator negates the operand that follows.
      {"3 - -2", "(expr number:3 op:- op:unminus number:2)"},
      {"x * -1", "(expr (dsgn node:x) op:* op:unminus number:1)"},
      {"7 mod -2", "(expr number:7 op:mod op:unminus number:2)"},
      {"-a < - -b", "(expr op:unminus (dsgn node:a) op:< op:unminus op:unminus (dsgn node:b))"},
      {"1 + ", "error: Expression expected at 1:17"},
      {"1 * ", "error: Expression expected at 1:17"},
      {"1 = ", "error: Expression expected at 1:17"},
      {"- ", "error: Expression expected at 1:12"},
  };
  for (const auto& c : cases) EXPECT_EQ(Expr(c.source), c.il) << c.source;
}

TEST_F(PascalIL, Statements) {
  const Case cases[] = {
      {"a := 1; b; break; continue; exit",
       "(assignstmt (dsgn node:a) (expr number:1)) (callstmt (dsgn node:b)) (break) (continue) (exit)"},
      {"if a then b else c",
       "(ifstmt (expr (dsgn node:a)) (thenstmt (callstmt (dsgn node:b))) (elsestmt (callstmt (dsgn "
       "node:c))))"},
      {"if a then else b", "(ifstmt (expr (dsgn node:a)) (thenstmt) (elsestmt (callstmt (dsgn node:b))))"},
      {"if a then if b then c else d",
       "(ifstmt (expr (dsgn node:a)) (thenstmt (ifstmt (expr (dsgn node:b)) (thenstmt (callstmt (dsgn "
       "node:c))) "
       "(elsestmt (callstmt (dsgn node:d))))))"},
      {"case x of 1: a; 2, 3..4: b; else c end",
       "(casestmt (expr (dsgn node:x)) (caseselector (set (expr number:1)) (callstmt (dsgn node:a))) "
       "(caseselector (set (expr number:2) (expr number:3) range:. (expr number:4)) (callstmt (dsgn "
       "node:b))) "
       "(callstmt (dsgn node:c)))"},
      {"case x of 'a': ; end", "(casestmt (expr (dsgn node:x)) (caseselector (set (expr string:'a'))))"},
      {"for i := 1 to n do s := s + i",
       "(forstmt ident:i (expr number:1) (expr (dsgn node:n)) (assignstmt (dsgn node:s) (expr (dsgn node:s) "
       "op:+ "
       "(dsgn node:i))))"},
      {"for i := 9 downto 0 do ;", "(forstmt ident:i (expr number:9) downto:downto (expr number:0))"},
      {"while a < 3 do a := a + 1",
       "(whilestmt (expr (dsgn node:a) op:< number:3) (assignstmt (dsgn node:a) (expr (dsgn node:a) op:+ "
       "number:1)))"},
      {"repeat a; b until c",
       "(repeatstmt (callstmt (dsgn node:a)) (callstmt (dsgn node:b)) (expr (dsgn node:c)))"},
      {"try a finally b; c end",
       "(trystmt (callstmt (dsgn node:a)) (finallystmt (callstmt (dsgn node:b)) (callstmt (dsgn node:c))))"},
      {"try a except end", "(trystmt (callstmt (dsgn node:a)) (exceptstmt))"},
      {"with a, b.c do d := 1",
       "(with (dsgn node:a) (dsgn node:b node:c) (assignstmt (dsgn node:d) (expr number:1)))"},
      {"begin a; begin end; end", "(compoundstmt (callstmt (dsgn node:a)) (compoundstmt))"},
      {"a[i] := <ds.\"f\">",
       "(assignstmt (dsgn node:a node:[ (expr (dsgn node:i))) (expr (dsgn node:Get (expr "
       "string:'ds.\"f\"'))))"},
  };
  for (const auto& c : cases) EXPECT_EQ(Statements(c.source), c.il) << c.source;
}

TEST_F(PascalIL, Declarations) {
  const Case cases[] = {
      {"program P; begin end.", "(program (compoundstmt))"},
      {"begin end. anything { not read", "(program (compoundstmt))"},
      {"const a = 1; b = 'x'; begin end.",
       "(program (const ident:a (expr number:1)) (const ident:b (expr string:'x')) (compoundstmt))"},
      {"var a, b: Integer; c: String = 'x'; begin end.",
       "(program (var ident:a ident:b type:Integer) (var ident:c type:String (init (expr string:'x'))) "
       "(compoundstmt))"},
      // A single bound is read by the second alternative after the range alternative has
      // matched its first expression and failed: the switch keeps that expression's lines.
      {"var a: array[1..3, 5] of Integer; b: array of Variant; begin end.",
       "(program (var ident:a (array (dim (expr number:1) (expr number:3)) (dim (expr number:5) (expr "
       "number:5))) "
       "type:Integer) "
       "(var ident:b (array) type:Variant) (compoundstmt))"},
      {"procedure P(a: Integer; var b, c: String; const d: Variant = 1);\n"
       "var x: Integer;\n"
       "  procedure Q; begin end;\n"
       "begin Q end;\n"
       "function F: Boolean; begin Result := True end;\n"
       "begin P(1, s, t) end.",
       "(program (procedure name:P (parameters (var ident:a type:Integer) (varparams) (var ident:b ident:c "
       "type:String) (var ident:d type:Variant (init (expr number:1)))) (var ident:x type:Integer) "
       "(procedure name:Q (compoundstmt)) (compoundstmt (callstmt (dsgn node:Q)))) (function name:F "
       "type:Boolean "
       "(compoundstmt (assignstmt (dsgn node:Result) (expr (dsgn node:True))))) (compoundstmt (callstmt "
       "(dsgn "
       "node:P (expr number:1) (expr (dsgn node:s)) (expr (dsgn node:t))))))"},
      {"BEGIN A := 1 END.", "(program (compoundstmt (assignstmt (dsgn node:A) (expr number:1))))"},
  };
  for (const auto& c : cases) EXPECT_EQ(Program(c.source), c.il) << c.source;
}

TEST_F(PascalIL, PositionsOfNodesAndLeaves) {
  // Nodes carry the position of their first character, leaves the position after the token,
  // expressions also where they end; lines are counted across CR LF.
  EXPECT_EQ(
      Program("var a: Integer;\r\nbegin\r\n  a := (a + 10) { c }\r\nend.", true),
      "(program (var@1:5 ident:a@1:6 type:Integer@1:15) (compoundstmt@2:1 (assignstmt@3:3 (dsgn@3:3 "
      "node:a@3:4) (expr@3:8-3:16 op:(@3:9 (expr@3:9-3:15 (dsgn@3:9 node:a@3:10) op:+@3:12 number:10@3:15) "
      "op:)@3:16))))");
  // A field reference takes the position of its closing '>' everywhere.
  EXPECT_EQ(Program("begin x := <d.\"f\"> end.", true),
            "(program (compoundstmt@1:1 (assignstmt@1:7 (dsgn@1:7 node:x@1:8) (expr@1:12-1:19 (dsgn@1:18 "
            "node:Get@1:18 (expr@1:18 string:'d.\"f\"'@1:18))))))");
}

TEST_F(PascalIL, SyntaxErrors) {
  const Case cases[] = {
      {"program ;", "Identifier expected at 1:9"},
      {"var a, : Integer; begin end.", "Identifier expected at 1:8"},
      {"var a Integer; begin end.", "':' expected at 1:7"},
      {"var a: ; begin end.", "Identifier expected at 1:8"},
      {"var a: Integer begin end.", "';' expected at 1:16"},
      {"const a 1; begin end.", "'=' expected at 1:9"},
      {"const a = ; begin end.", "Expression expected at 1:11"},
      {"begin end", "'.' expected at 1:10"},
      {"var a: Integer;", "'BEGIN' expected at 1:16"},
      {"begin a := 1 b := 2 end.", "';' expected at 1:14"},
      {"begin a := (1 end.", "')' expected at 1:15"},
      {"begin a := b[1 end.", "']' expected at 1:16"},
      {"begin a :- 1 end.", "'=' expected at 1:10"},
      {"var a: array[1 Integer; begin end.", "']' expected at 1:16"},
      {"var a: array[1] Integer; begin end.", "'OF' expected at 1:17"},
      {"begin case a 1: b end end.", "'OF' expected at 1:14"},
      {"begin case a of 1 b end end.", "':' expected at 1:19"},
      {"begin case a of 1: b; 2: c d end.", "'END' expected at 1:28"},
      {"begin if a b end.", "'THEN' expected at 1:12"},
      {"begin repeat a end.", "'UNTIL' expected at 1:16"},
      {"begin for i := 1 til 2 do end.", "'TO' or 'DOWNTO' expected at 1:18"},
      {"begin for i = 1 to 2 do end.", "':' expected at 1:13"},
      {"begin for := 1 to 2 do end.", "Identifier expected at 1:11"},
      {"begin while a b end.", "'DO' expected at 1:15"},
      {"begin try a end.", "'FINALLY' or 'EXCEPT' expected at 1:13"},
      // What is missing, where it is missing: a ';' between statements, an 'END' after them.
      {"begin try a finally b end;", "'END' expected at 1:27"},
      {"begin a := 1 b := 2 end.", "';' expected at 1:14"},
      {"begin if a then b := 1 c end.", "';' expected at 1:24"},
      {"begin repeat a b until c end.", "';' expected at 1:16"},
      {"begin\n  begin\n    a := 1;\n  b := 2;\nend.", "'END' expected at 5:4"},
      {"begin a := 1; end", "'.' expected at 1:18"},
      {"begin a := 1;", "'END' expected at 1:14"},
      {"begin with do a end.", "Expression expected at 1:12"},
      {"begin x := [1 .] end.", "'.' expected at 1:16"},
      {"begin x := [1 ..] end.", "']' expected at 1:15"},
      {"begin x := [1, 2 end.", "']' expected at 1:18"},
      {"begin x := <abc end.", "'>' expected at 1:21"},
      {"begin x := not end.", "Expression expected at 1:16"},
      {"begin x := a. end.", "Identifier expected at 1:19"},  // 'end' is a member name,
      {"begin x := 'abc end.", "Expression expected at 1:12"},
      {"begin x := 'ab\ncd' end.", "Expression expected at 1:12"},
      {"uses ; begin end.", "Identifier expected at 1:6"},
      {"procedure ; begin end; begin end.", "Identifier expected at 1:11"},
      {"procedure P begin end; begin end.", "';' expected at 1:13"},
      {"procedure P; begin end begin end.", "';' expected at 1:24"},
      {"function F; begin end; begin end.", "':' expected at 1:11"},
      {"function F: ; begin end; begin end.", "Identifier expected at 1:13"},
      {"procedure P(a: Integer; ); begin end; begin end.", "Identifier expected at 1:25"},
      {"procedure P(a: Integer; begin end; begin end.", "Identifier expected at 1:25"},
      {"procedure P(a: Integer begin end; begin end.", "')' expected at 1:24"},
      {"begin\r\n  a := ;\r\nend.", "Expression expected at 2:8"},
      {"", "'BEGIN' expected at 1:1"},
  };
  for (const auto& c : cases) {
    std::string got = Program(c.source);
    EXPECT_EQ(got, std::string("error: ") + (c.il[0] == 'e' ? c.il + 7 : c.il)) << c.source;
  }
}

TEST_F(PascalIL, DocumentTextEscapesValuesAndReadsBack) {
  TvmILParser p(&host);
  p.SelectLanguage(u"PascalScript");
  ASSERT_TRUE(p.MakeILScript(u"begin s := 'a\"<b>&c&quot;'#13#10 end."));
  std::string xml = WriteILDocument(*p.ILScript());
  EXPECT_NE(xml.find("<string text=\"'a&#34;&#60;b&#62;&c&#34;&#13;&#10;'\" pos=\"1:33\"/>"),
            std::string::npos)
      << xml;
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"?><program><compoundstmt pos=\"1:1\">", 0), 0u) << xml;
  auto back = ReadILDocument(xml);
  EXPECT_EQ(DumpIL(*ReadILDocument(WriteILDocument(*Parse(u"begin \u00e9 := '\u20ac' end.")))),
            "(program (compoundstmt (assignstmt (dsgn node:\u00e9) (expr string:'\u20ac'))) (types))");
  EXPECT_EQ(DumpIL(*back, true),
            "(program (compoundstmt@1:1 (assignstmt@1:7 (dsgn@1:7 node:s@1:8) (expr@1:12-1:33 "
            "string:'a\"<b>&c\"\r\n'@1:33))) (types))");
}

TEST_F(PascalIL, FailedRuleLeavesNoLinesBehind) {
  // The assignment attempt parses the designator with its arguments and fails at ':='; the
  // call that matches next must not see the assignment's lines.
  EXPECT_EQ(Statements("f(g(1), h[2])"),
            "(callstmt (dsgn node:f (expr (dsgn node:g (expr number:1))) (expr (dsgn node:h node:[ (expr "
            "number:2)))))");
}

TEST_F(PascalIL, DeepNestingEndsInAnError) {
  std::string deep = "begin x := " + std::string(10000, '(') + "1" + std::string(10000, ')') + " end.";
  EXPECT_EQ(Program(deep).substr(0, 29), "error: Nesting too deep at 1:");
  // Nesting that real scripts use stays well inside the limit.
  std::string nested = "begin x := " + std::string(300, '(') + "1" + std::string(300, ')') + "; ";
  for (int i = 0; i < 200; ++i) nested += "f(";
  nested += std::string(200, ')') + " end.";
  EXPECT_EQ(Program(nested).substr(0, 40), "(program (compoundstmt (assignstmt (dsgn");
  std::string blocks;
  for (int i = 0; i < 10000; ++i) blocks += "begin ";
  EXPECT_EQ(Program(blocks).substr(0, 25), "error: Nesting too deep a");
  // A long flat line is a loop, not a recursion.
  std::string flat = "begin x := 1";
  for (int i = 0; i < 50000; ++i) flat += " + a[1] * 2";
  flat += " end.";
  EXPECT_EQ(Program(flat).substr(0, 40), "(program (compoundstmt (assignstmt (dsgn");
}

}  // namespace
}  // namespace pagewright
