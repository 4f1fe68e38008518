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
#include "script/il_parser.h"
#include "script/sys_functions.h"

namespace pagewright {
namespace {

// A small host class: published properties through its description, the rest by callbacks.
class TTestBox : public TComponent {
 public:
  using TComponent::TComponent;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  int Width() const { return FWidth; }
  void SetWidth(int v) { FWidth = v; }
  WideString Caption() const { return FCaption; }
  void SetCaption(WideString v) { FCaption = std::move(v); }
  bool Visible() const { return FVisible; }
  void SetVisible(bool v) { FVisible = v; }
  Extended Ratio() const { return FRatio; }
  void SetRatio(Extended v) { FRatio = v; }
  std::vector<WideString> Lines{u"zero", u"one", u"two"};

 private:
  int FWidth = 0;
  WideString FCaption;
  bool FVisible = false;
  Extended FRatio = 0;
};

const TClassInfo& TTestBox::StaticClassInfo() {
  using T = TTestBox;
  static const TClassInfo& info = Describe<T>("TTestBox")
                                      .Parent<TComponent>()
                                      .Integer("Width", &T::Width, &T::SetWidth)
                                      .String("Caption", &T::Caption, &T::SetCaption)
                                      .Boolean("Visible", &T::Visible, &T::SetVisible)
                                      .Float("Ratio", &T::Ratio, &T::SetRatio)
                                      .Build();
  return info;
}

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
    // As `pagewright run` runs them: the system functions, ShowMessage as the output.
    SetShowMessageOutput([this](const WideString& t) { output.push_back(Utf16ToUtf8(t)); });
    TvmScript s;
    TvmSysFunctions sys(&s);
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
  SetShowMessageOutput(nullptr);
  EXPECT_GT(files, 0);
}

// Hostile programs and fuzzer findings (tests/data/scripts/fuzz), run as the fuzz target runs
// them: each compiles or fails cleanly and runs within its budgets, twice, ending normally or
// with a script error.
TEST_F(Interpreter, FuzzFindingsRunCleanly) {
  const std::filesystem::path dir = std::filesystem::path(PW_TEST_DATA_DIR) / "scripts" / "fuzz";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no findings kept";
  SetShowMessageOutput([](const WideString&) {});
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TvmScript s;
    TvmSysFunctions sys(&s);
    s.Lines = Utf8ToUtf16(text);
    s.StepLimit = 20000;
    s.MaxCallDepth = 64;
    s.MaxStringLength = 1 << 20;
    if (!s.Compile()) {
      EXPECT_FALSE(s.ErrorMsg.empty()) << entry.path();
      continue;
    }
    for (int run = 0; run < 2; ++run) {
      try {
        s.Execute();
      } catch (const Exception&) {
        EXPECT_FALSE(s.IsRunning) << entry.path();
      }
    }
  }
  SetShowMessageOutput(nullptr);
}

// Left-leaning operator chains longer than the evaluator keeps inline, with an error at the
// far end of one.
TEST_F(Interpreter, LongOperatorChains) {
  std::string sum = "1", failing = "1";
  for (int i = 0; i < 40; ++i) {
    sum += " + 1";
    failing += " + 1";
  }
  failing += " div 0";
  TvmScript s;
  Prepare(s);
  s.Lines = Utf8ToUtf16("var z: Integer;\nbegin\n  Print(" + sum + ");\n  Print(" + failing + ")\nend.");
  ASSERT_TRUE(s.Compile()) << Utf16ToUtf8(s.ErrorMsg);
  EXPECT_THROW(s.Execute(), EDivByZero);
  EXPECT_EQ(output, std::vector<std::string>{"41"});
  EXPECT_EQ(Utf16ToUtf8(s.ErrorDetailPos), "4:" + std::to_string(9 + 40 * 4 + 2));
}

TEST_F(Interpreter, MacroArgumentsArriveAsSourceText) {
  TvmScript s;
  Prepare(s);
  s.Lines = u"var a: Integer; begin a := 2; IIF(a > 1, 'x', 'y') end.";
  ASSERT_TRUE(s.Compile()) << Utf16ToUtf8(s.ErrorMsg);
  s.Execute();
  EXPECT_EQ(output, std::vector<std::string>{"a > 1|'x'|'y'"});
}

// A run-time error names the statement (ErrorPos) and, inside it, the operator or call that
// failed (ErrorDetailPos), also from inside routines and host calls.
TEST_F(Interpreter, RunTimeErrorsCarryTheirPosition) {
  const struct {
    const char* source;
    const char* pos;
    const char* detail;
  } cases[] = {
      {"var a, b: Integer;\nbegin\n  a := 1 + 10 div b\nend.", "3:3", "3:15"},
      {"var s: String;\nbegin\n  s := 'abc';\n  s := s + s[9]\nend.", "4:3", "4:12"},
      {"procedure P;\nbegin\n  RaiseException('deep')\nend;\nbegin\n  P\nend.", "3:3", "3:3"},
      {"function F(n: Integer): Integer;\nbegin\n  Result := n div 0\nend;\nbegin\n  F(1)\nend.", "3:3",
       "3:15"},
      {"var v: Variant;\nbegin\n  v := 'abc';\n  v := -v\nend.", "4:3", "4:8"},
  };
  for (const auto& c : cases) {
    TvmScript s;
    Prepare(s);
    s.Lines = Utf8ToUtf16(c.source);
    ASSERT_TRUE(s.Compile()) << c.source << ": " << Utf16ToUtf8(s.ErrorMsg);
    EXPECT_THROW(s.Execute(), Exception) << c.source;
    EXPECT_EQ(Utf16ToUtf8(s.ErrorPos), c.pos) << c.source;
    EXPECT_EQ(Utf16ToUtf8(s.ErrorDetailPos), c.detail) << c.source;
  }
}

// A host method that raises in the middle of nested script calls leaves nothing behind: the
// same program runs to its end next time, and its routines can be called from the host again.
TEST_F(Interpreter, ErrorInAHostCallLeavesTheEngineSound) {
  TvmScript s;
  Prepare(s);
  bool fail = true;
  s.AddMethod(u"function Fetch(n: Integer): Integer",
              [&fail](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>& a) {
                if (fail) throw EConvertError("no data for " + std::to_string(a[0].AsInteger()));
                return Variant(a[0].AsInteger() * 10);
              });
  s.Lines =
      u"var total: Integer;\n"
      u"function Sum(n: Integer): Integer;\n"
      u"var mine: Integer;\n"
      u"begin\n"
      u"  mine := n;\n"
      u"  if n = 0 then Result := Fetch(mine) else Result := Sum(n - 1) + mine\n"
      u"end;\n"
      u"begin\n"
      u"  total := Sum(3);\n"
      u"  Print(total)\n"
      u"end.";
  ASSERT_TRUE(s.Compile());
  try {
    s.Execute();
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "no data for 0");
  }
  EXPECT_EQ(Utf16ToUtf8(s.ErrorPos), "6:17");
  EXPECT_FALSE(s.IsRunning);
  EXPECT_EQ(s.ProgRunning, nullptr);
  EXPECT_EQ(s.FCallDepth, 0);
  auto* sum = dynamic_cast<TvmProcVariable*>(s.Find(u"Sum"));
  ASSERT_NE(sum, nullptr);
  EXPECT_FALSE(sum->Executing);
  EXPECT_TRUE(sum->SavedLocals.empty());
  EXPECT_THROW(s.CallFunction(u"Sum", VarArrayOf({Variant(2)})), EConvertError);
  fail = false;
  s.Execute();
  EXPECT_EQ(output, std::vector<std::string>{"6"});
  EXPECT_EQ(VarToStr(s.CallFunction(u"Sum", VarArrayOf({Variant(2)}))), u"3");
}

// A copy of the tree without its skip-th element (counted depth first, root excluded).
std::unique_ptr<TvmILNode> CopyWithout(const TvmILNode& n, int& counter, int skip) {
  auto copy = std::make_unique<TvmILNode>(n.Name());
  for (const auto& [name, value] : n.Attributes()) copy->SetAttr(name, value);
  for (const auto& c : n.Children()) {
    if (++counter == skip) continue;
    copy->Add(CopyWithout(*c, counter, skip));
  }
  return copy;
}

TEST_F(Interpreter, MalformedILNeverCrashes) {
  // Every annotated program with each one of its IL elements removed in turn: building and
  // running the rest ends normally or with an error, never a crash or a hang.
  const std::filesystem::path dir = std::filesystem::path(PW_TEST_DATA_DIR) / "scripts";
  int built = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".pas") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TvmILHost host;
    TvmILParser parser(&host);
    parser.SelectLanguage(u"PascalScript");
    ASSERT_TRUE(parser.MakeILScript(Utf8ToUtf16(text)));
    int total = 0;
    CopyWithout(*parser.ILScript(), total, -1);
    for (int skip = 1; skip <= total; ++skip) {
      int counter = 0;
      auto il = CopyWithout(*parser.ILScript(), counter, skip);
      TvmScript s;
      Prepare(s);
      s.Lines = Utf8ToUtf16(text);
      s.StepLimit = 20000;
      s.MaxCallDepth = 50;
      if (!s.SetILCode(*il)) {
        EXPECT_FALSE(s.ErrorMsg.empty());
        continue;
      }
      ++built;
      try {
        s.Execute();
      } catch (const Exception&) {
        EXPECT_FALSE(s.IsRunning);
      }
    }
  }
  EXPECT_GT(built, 0);
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
      {"procedure P(a: Integer); begin end; begin P('x') end.",
       "Incompatible types: 'Integer', 'String' at 1:43"},
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
      {"var a: Integer; procedure P; var a: String; begin a := 'x'; Q end; procedure Q; begin end; begin "
       "end.",
       "ok"},
      {"var f: Extended; begin f := 1 end.", "ok"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompileError(c.source), c.error) << c.source;
}

// Report expressions in the other languages are wrapped into a one-function program of that
// language, as Evaluate does: each evaluates with its own operators and reports its own errors.
TEST_F(Interpreter, EvaluateInEveryLanguage) {
  struct Case {
    const char16_t* language;
    const char16_t* expr;
    const char* value;
    bool error;
  };
  const Case cases[] = {
      {u"C++Script", u"x * 2 + 1", "13", false},
      {u"C++Script", u"x == 6 && !(x != 6)", "True", false},
      {u"C++Script", u"x % 4 << 1", "4", false},
      {u"C++Script", u"\"a\" + \"b\"", "ab", false},
      {u"C++Script", u"x +", "Expression expected", true},
      {u"BasicScript", u"x * 2 + 1", "13", false},
      {u"BasicScript", u"\"n=\" & x", "n=6", false},
      {u"BasicScript", u"x \\ 4 + x Mod 4", "3", false},
      {u"BasicScript", u"x <> 6 Or Not (x = 6)", "False", false},
      {u"BasicScript", u"x +", "Expression expected", true},
      {u"JScript", u"x * 2 + 1", "13", false},
      {u"JScript", u"x >= 6 || x < 0", "True", false},
      {u"JScript", u"(x", "')' expected", true},
  };
  for (const Case& c : cases) {
    TvmScript s;
    Prepare(s);
    s.SyntaxType = c.language;
    s.AddVariable(u"x", u"Integer", Variant(6));
    Variant v = s.Evaluate(c.expr);
    EXPECT_EQ(s.EvaluteRiseError, c.error) << Utf16ToUtf8(c.expr);
    EXPECT_EQ(Utf16ToUtf8(VarToStr(v)), c.value) << Utf16ToUtf8(c.language) << ": " << Utf16ToUtf8(c.expr);
  }
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
      {u"1 + 2 * 3", "7"},
      {u"(1 + 2) * 3", "9"},
      {u"10 - 4 - 3", "3"},
      {u"7 div 2 + 7 mod 2", "4"},
      {u"7 / 2", "3.5"},
      {u"not True = False", "True"},
      {u"x * 2", "12"},
      {u"'a' + 'b'", "ab"},
      {u"x in [1, 5..7]", "True"},
      {u"x in [1, 2]", "False"},
      {u"1 shl 4 or 1", "17"},
      {u"-x + 1", "-5"},
      {u"2147483647 + 1", "2147483648"},
      {u"$FF xor 15", "240"},
      {u"(x > 5) and (x < 7)", "True"},
  };
  for (const auto& c : cases) {
    Variant v = s.Evaluate(c.expr);
    EXPECT_FALSE(s.EvaluteRiseError) << Utf16ToUtf8(c.expr) << ": " << Utf16ToUtf8(VarToStr(v));
    EXPECT_EQ(Utf16ToUtf8(VarToStr(v)), c.value) << Utf16ToUtf8(c.expr);
  }
  Variant bad = s.Evaluate(u"1 +");
  EXPECT_TRUE(s.EvaluteRiseError);
  EXPECT_EQ(Utf16ToUtf8(VarToStr(bad)), "Expression expected");
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

TEST_F(Interpreter, HostClassWithPublishedPropertiesMethodsAndDefaultProperty) {
  TTestBox box(nullptr);
  auto* inner = &CreateChild<TTestBox>(box);  // owned by box
  inner->SetName(u"Inner");
  inner->SetWidth(7);
  TvmScript s;
  Prepare(s);
  s.AddClass(TComponent::StaticClassInfo(), u"");
  TvmClassVariable* cls = s.AddClass(TTestBox::StaticClassInfo(), u"TComponent");
  ASSERT_NE(cls, nullptr);
  cls->AddMethod(u"function Area(scale: Integer): Integer",
                 [](TPersistent* obj, TvmClassVariable*, const WideString& name, std::vector<Variant>& a) {
                   EXPECT_EQ(name, u"AREA");
                   auto* b = static_cast<TTestBox*>(obj);
                   return Variant(b->Width() * a[0].AsInteger());
                 });
  cls->AddMethod(u"procedure Measure(var w: Integer)",
                 [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>& a) {
                   a[0] = Variant(static_cast<TTestBox*>(obj)->Width());
                   return Variant::Null();
                 });
  cls->AddDefaultProperty(
      u"Lines", u"Integer", u"String",
      [](TPersistent* obj, TvmClassVariable*, const WideString& name, std::vector<Variant>& a) {
        auto* b = static_cast<TTestBox*>(obj);
        size_t i = static_cast<size_t>(a.at(0).AsInteger());
        if (name == u"LINES.SET") b->Lines.at(i) = VarToStr(a.at(1));
        return Variant(b->Lines.at(i));
      });
  cls->AddConstructor(u"constructor Create(AOwner: TComponent)",
                      [&box](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                        return Variant::FromObject(&CreateChild<TTestBox>(box));
                      });
  s.AddObject(u"Box", &box);
  s.Lines =
      u"var b: TTestBox; w: Integer;\n"
      u"begin\n"
      u"  Box.Width := 20; Box.Caption := 'Hi'; Box.Visible := True; Box.Ratio := 0.5;\n"
      u"  Print(Box.Width + 1); Print(Box.Caption); Print(Box.Visible); Print(Box.Ratio);\n"
      u"  Print(Box.Area(3));\n"
      u"  Box.Measure(w); Print(w);\n"
      u"  Print(Box[1]); Box[2] := 'TWO'; Print(Box.Lines[2]);\n"
      u"  with Box do Width := Width * 2;\n"
      u"  Print(Box.Width);\n"
      u"  b := TTestBox.Create(nil); b.Width := 5; Print(b.Width); Print(b is TComponent);\n"
      u"  Print(Box.Inner.Width); Print(TTestBox(Box.Inner).Width);\n"
      u"end.";
  ASSERT_TRUE(s.Compile()) << Utf16ToUtf8(s.ErrorMsg) << " at " << Utf16ToUtf8(s.ErrorPos);
  s.Execute();
  EXPECT_EQ(output, (std::vector<std::string>{"21", "Hi", "True", "0.5", "60", "20", "one", "TWO", "40", "5",
                                              "True", "7", "7"}));
  // A component member is read-only.
  TvmScript assign(&s);
  assign.Lines = u"begin Box.Inner := nil end.";
  ASSERT_TRUE(assign.Compile()) << Utf16ToUtf8(assign.ErrorMsg);
  try {
    assign.Execute();
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Can not assign value to component field Inner");
  }
  EXPECT_EQ(box.Caption(), u"Hi");
  EXPECT_TRUE(box.Visible());

  const struct {
    const char* source;
    const char* error;
  } errors[] = {
      {"begin Box.Nothing := 1 end.", "Undeclared identifier: 'Nothing' at 1:7"},
      {"begin Box.Lines := 1 end.", "Not enough actual parameters at 1:7"},
      {"begin Box.Lines.Count end.", "Index required at 1:7"},
      {"begin Box.Width := 'x' end.", "Incompatible types: 'Integer', 'String' at 1:7"},
  };
  for (const auto& e : errors) {
    TvmScript t(&s);
    t.Lines = Utf8ToUtf16(e.source);
    EXPECT_FALSE(t.Compile()) << e.source;
    EXPECT_EQ(Utf16ToUtf8(t.ErrorMsg) + " at " + Utf16ToUtf8(t.ErrorPos), e.error) << e.source;
  }
}

TEST_F(Interpreter, HostVariablesConstantsAndCalls) {
  TvmScript s;
  s.AddedBy = 1;  // host registrations survive Clear
  Prepare(s);
  s.AddVariable(u"Counter", u"Integer", Variant(1));
  s.AddConst(u"Limit", u"Integer", Variant(3));
  s.AddEnum(u"TShade", u"shLight, shDark");
  s.AddEnumSet(u"TFlag", u"flA, flB, flC");
  // An existing name keeps its item.
  s.AddVariable(u"Counter", u"String", Variant(u"ignored"));
  s.AddedBy = 0;
  s.Lines =
      u"var sh: TShade;\n"
      u"function Twice(n: Integer): Integer; begin Result := n * 2 end;\n"
      u"procedure Inc2(var n: Integer); begin n := n + 2 end;\n"
      u"begin\n"
      u"  while Counter < Limit do Counter := Counter + 1;\n"
      u"  sh := shDark; Print(sh); Print(flC);\n"
      u"  Fresh := 'made by the host';\n"
      u"end.";
  ASSERT_FALSE(s.Compile());  // Fresh is not declared yet
  EXPECT_EQ(Utf16ToUtf8(s.ErrorMsg), "Undeclared identifier: 'Fresh'");
  s.Clear();
  s.SetVariable(u"Fresh", Variant(0));
  ASSERT_TRUE(s.Compile()) << Utf16ToUtf8(s.ErrorMsg);
  s.Execute();
  EXPECT_EQ(output, (std::vector<std::string>{"1", "4"}));
  EXPECT_EQ(VarToStr(s.GetVariable(u"Counter")), u"3");
  EXPECT_EQ(VarToStr(s.GetVariable(u"Fresh")), u"made by the host");
  EXPECT_TRUE(s.GetVariable(u"NoSuchName").IsNull());
  EXPECT_EQ(VarToStr(s.CallFunction(u"Twice", VarArrayOf({Variant(21)}))), u"42");
  Variant args = VarArrayOf({Variant(5)});
  s.CallFunction1(u"Inc2", args);
  EXPECT_EQ(VarToStr(args.GetElement({0})), u"7");
  EXPECT_TRUE(s.CallFunction(u"Counter", Variant::Null()).IsNull());
  EXPECT_TRUE(s.IsExecutableLine(5));
  EXPECT_FALSE(s.IsExecutableLine(1));
}

// Every line a statement starts on is executable, inside routines as well as in the main block.
TEST_F(Interpreter, ExecutableLinesIncludeRoutineBodies) {
  TvmScript s;
  Prepare(s);
  s.Lines =
      u"var a: Integer;\n"      // 1
      u"procedure P;\n"         // 2
      u"var b: Integer = 3;\n"  // 3: the initialisation runs
      u"begin\n"                // 4
      u"  a := 1;\n"            // 5
      u"  if a > 0 then\n"      // 6
      u"    Print(b)\n"         // 7
      u"end;\n"                 // 8
      u"begin\n"                // 9
      u"  P\n"                  // 10
      u"end.";                  // 11
  ASSERT_TRUE(s.Compile()) << Utf16ToUtf8(s.ErrorMsg);
  std::vector<int> executable;
  for (int line = 1; line <= 12; ++line)
    if (s.IsExecutableLine(line)) executable.push_back(line);
  EXPECT_EQ(executable, (std::vector<int>{3, 5, 6, 7, 10}));
}

TEST_F(Interpreter, GuardsStopRunawayScripts) {
  TvmScript s;
  Prepare(s);
  s.Lines =
      u"function Down(n: Integer): Integer; begin Result := Down(n + 1) end;\n"
      u"begin Down(0) end.";
  ASSERT_TRUE(s.Compile());
  s.MaxCallDepth = 200;
  try {
    s.Execute();
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "EStackOverflow");
  }
  EXPECT_EQ(Utf16ToUtf8(s.ErrorPos), "1:43");  // the innermost statement
  // However high the host sets the depth, the thread's stack is not run out of.
  s.MaxCallDepth = 100000000;
  EXPECT_THROW(s.Execute(), EStackOverflow);
  s.MaxCallDepth = 1000;

  TvmScript loop;
  Prepare(loop);
  loop.Lines = u"var n: Integer; begin while True do try n := n + 1 except end end.";
  ASSERT_TRUE(loop.Compile());
  loop.StepLimit = 1000;
  EXPECT_THROW(loop.Execute(), EvmStepLimitExceeded);
  // A string doubled in a loop stops at the host's limit, in an expression or a compound
  // assignment alike.
  for (const char* doubling : {"var s: String; begin s := 'ab'; while True do s := s + s end.",
                               "var s: String; begin s := 'ab'; while True do s := 'x' + s + s end."}) {
    TvmScript grow;
    Prepare(grow);
    grow.Lines = Utf8ToUtf16(doubling);
    ASSERT_TRUE(grow.Compile());
    grow.MaxStringLength = 100000;
    EXPECT_THROW(grow.Execute(), EOutOfMemory) << doubling;
    EXPECT_LE(VarToStr(grow.GetVariable(u"s")).size(), 100000u);
  }
  // No budget by default, and the same program runs again once the host lifts the limit.
  loop.StepLimit = 0;
  loop.Lines = u"";
  TvmScript finite;
  Prepare(finite);
  finite.Lines = u"var n: Integer; begin while n < 5000 do n := n + 1; Print(n) end.";
  ASSERT_TRUE(finite.Compile());
  finite.Execute();
  EXPECT_EQ(output, std::vector<std::string>{"5000"});
}

TEST_F(Interpreter, ClearLocalVarsResetsLocalsBetweenCalls) {
  TvmScript s;
  Prepare(s);
  s.Lines =
      u"procedure P; var k: Integer; begin k := k + 1; Print(k) end;\n"
      u"begin P; P end.";
  ASSERT_TRUE(s.Compile());
  s.Execute();
  EXPECT_EQ(output, (std::vector<std::string>{"1", "2"}));
  // Locals are reset when a routine leaves: the first call still sees the 2 left behind.
  output.clear();
  s.ClearLocalVars = true;
  s.Execute();
  EXPECT_EQ(output, (std::vector<std::string>{"3", "1"}));
}

TEST_F(Interpreter, RegistrationModulesAreMadeOnceAndOutliveClear) {
  struct Answers : TvmRTTIModule {
    explicit Answers(TvmScript* s) : TvmRTTIModule(s) { s->AddConst(u"Answer", u"Integer", Variant(42)); }
  };
  RegisterRTTIModule([](TvmScript* s) { return std::make_unique<Answers>(s); });
  TvmScript s;
  s.AddRTTI();
  s.AddRTTI();
  Prepare(s);
  s.Lines = u"begin Print(Answer) end.";
  ASSERT_TRUE(s.Compile());
  s.Execute();
  s.Clear();
  EXPECT_EQ(VarToStr(s.GetVariable(u"Answer")), u"42");
  EXPECT_TRUE(s.GetVariable(u"Print").IsNull());  // host items without the stamp went
  // Expressions of a script without modules get their own.
  TvmScript bare;
  bare.AddBasicTypes();
  EXPECT_EQ(VarToStr(bare.Evaluate(u"Answer + 1")), u"43");
  s.ClearRTTI();
  EXPECT_TRUE(s.GetVariable(u"Answer").IsNull());
  ClearRTTIModules();
  EXPECT_EQ(output, std::vector<std::string>{"42"});
}

TEST_F(Interpreter, TerminateStopsTheProgramFromAHostCall) {
  TvmScript s;
  Prepare(s);
  s.AddMethod(u"procedure Stop",
              [&s](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                s.Terminate();
                return Variant::Null();
              });
  s.Lines =
      u"var i: Integer; begin for i := 1 to 10 do begin Print(i); if i = 2 then Stop end; Print('end') end.";
  ASSERT_TRUE(s.Compile());
  std::vector<std::string> lines;
  s.OnRunLine = [&lines](TvmScript&, const WideString&, const WideString& pos) {
    lines.push_back(Utf16ToUtf8(pos));
  };
  s.Execute();
  EXPECT_EQ(output, (std::vector<std::string>{"1", "2"}));
  // The line hook sees each statement as it starts; nothing runs after Stop.
  EXPECT_EQ(lines, (std::vector<std::string>{"1:23", "1:49", "1:59", "1:49", "1:59", "1:73"}));
}

}  // namespace
}  // namespace pagewright
