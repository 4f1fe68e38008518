// Host binding: a host class with every kind of published property, a method with default and
// by-reference parameters, an indexed default property and events, used from scripts both
// ways; late binding on objects held by Variants; components registered with their children.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/component.h"
#include "platform/properties.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "script/interpreter.h"
#include "script/sys_functions.h"

namespace pagewright {
namespace {

enum TGadgetShade : uint8_t { gsLight, gsDark, gsBright };
enum TGadgetFlag : uint8_t { gfA, gfB, gfC };

const TEnumInfo& GadgetShadeInfo() {
  static const TEnumInfo info("TGadgetShade", {"gsLight", "gsDark", "gsBright"});
  return info;
}
const TEnumInfo& GadgetFlagInfo() {
  static const TEnumInfo info("TGadgetFlag", {"gfA", "gfB", "gfC"});
  return info;
}

class TGadgetFrame : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo() {
    using T = TGadgetFrame;
    static const TClassInfo& info =
        Describe<T>("TGadgetFrame").Integer("Width", &T::Width, &T::SetWidth).Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  int Width() const { return FWidth; }
  void SetWidth(int v) { FWidth = v; }

 private:
  int FWidth = 1;
};

class TGadget : public TComponent {
 public:
  using TComponent::TComponent;
  static const TClassInfo& StaticClassInfo() {
    using T = TGadget;
    static const TClassInfo& info = Describe<T>("TGadget")
                                        .Parent<TComponent>()
                                        .Integer("Count", &T::Count, &T::SetCount)
                                        .Float("Ratio", &T::Ratio, &T::SetRatio)
                                        .String("Title", &T::Title, &T::SetTitle)
                                        .Enum("Shade", &T::Shade, &T::SetShade, GadgetShadeInfo())
                                        .SetOf("Flags", &T::Flags, &T::SetFlags, GadgetFlagInfo())
                                        .Object("Frame", static_cast<TGadgetFrame& (T::*)()>(&T::Frame))
                                        .Reference("Partner", &T::Partner, &T::SetPartner)
                                        .Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  int Count() const { return FCount; }
  void SetCount(int v) { FCount = v; }
  Extended Ratio() const { return FRatio; }
  void SetRatio(Extended v) { FRatio = v; }
  WideString Title() const { return FTitle; }
  void SetTitle(WideString v) { FTitle = std::move(v); }
  TGadgetShade Shade() const { return FShade; }
  void SetShade(TGadgetShade v) { FShade = v; }
  Set<TGadgetFlag> Flags() const { return FFlags; }
  void SetFlags(Set<TGadgetFlag> v) { FFlags = v; }
  TGadgetFrame& Frame() { return FFrame; }
  const TGadgetFrame& Frame() const { return FFrame; }
  TGadget* Partner() const { return FPartner; }
  void SetPartner(TGadget* v) { FPartner = v; }

  std::vector<WideString> Items{u"zero", u"one", u"two"};
  // Host events: method pointers the script's adapters are installed into.
  TvmNotifyEvent::THostEvent OnChange;
  TvmCloseQueryEvent::THostEvent OnCloseQuery;
  void Change() {
    if (OnChange) OnChange(this);
  }
  bool CanClose() {
    bool can = true;
    if (OnCloseQuery) OnCloseQuery(this, can);
    return can;
  }

 private:
  int FCount = 0;
  Extended FRatio = 0;
  WideString FTitle;
  TGadgetShade FShade = gsLight;
  Set<TGadgetFlag> FFlags;
  TGadgetFrame FFrame;
  TGadget* FPartner = nullptr;
};

class HostBinding : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitScriptInterpreter(); }
  void SetUp() override {
    SetShowMessageOutput([this](const WideString& t) { output.push_back(Utf16ToUtf8(t)); });
  }
  void TearDown() override { SetShowMessageOutput(nullptr); }

  // The system functions, the gadget classes with their methods and events. The flags are
  // registered either by ordinal or, as the report registers its sets, by bit.
  void Register(TvmScript& s, bool flagsAsBits = false) {
    TvmSysFunctions sys(&s);
    s.AddEnum(u"TGadgetShade", u"gsLight, gsDark, gsBright");
    if (flagsAsBits)
      s.AddEnumSet(u"TGadgetFlag", u"gfA, gfB, gfC");
    else
      s.AddEnum(u"TGadgetFlag", u"gfA, gfB, gfC");
    s.AddClassChain(TGadgetFrame::StaticClassInfo());
    TvmClassVariable* cls = s.AddClassChain(TGadget::StaticClassInfo());
    ASSERT_NE(cls, nullptr);
    cls->AddMethod(u"function Scale(var Value: Integer; Factor: Integer = 2): Integer",
                   [](TPersistent* obj, TvmClassVariable*, const WideString& name, std::vector<Variant>& a) {
                     EXPECT_EQ(name, u"SCALE");
                     a[0] = Variant(a[0].AsInteger() * a[1].AsInteger());
                     return Variant(static_cast<TGadget*>(obj)->Count() + a[0].AsInteger());
                   });
    cls->AddMethod(u"procedure Change",
                   [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                     static_cast<TGadget*>(obj)->Change();
                     return Variant::Null();
                   });
    cls->AddDefaultProperty(
        u"Items", u"Integer", u"String",
        [](TPersistent* obj, TvmClassVariable*, const WideString& name, std::vector<Variant>& a) {
          auto* g = static_cast<TGadget*>(obj);
          size_t i = static_cast<size_t>(a.at(0).AsInteger());
          if (i >= g->Items.size()) throw ERangeError("List index out of bounds (" + std::to_string(i) + ")");
          if (name == u"ITEMS.SET") g->Items[i] = VarToStr(a.at(1));
          return Variant(g->Items[i]);
        });
    cls->AddEvent<TvmNotifyEvent>(u"OnChange", [](TPersistent* obj, TvmCustomEvent* e) {
      static_cast<TGadget*>(obj)->OnChange = e ? static_cast<TvmNotifyEvent*>(e)->Callback() : nullptr;
    });
    cls->AddEvent<TvmCloseQueryEvent>(u"OnCloseQuery", [](TPersistent* obj, TvmCustomEvent* e) {
      static_cast<TGadget*>(obj)->OnCloseQuery =
          e ? static_cast<TvmCloseQueryEvent*>(e)->Callback() : nullptr;
    });
  }

  void CompileAndRun(TvmScript& s, const char* source) {
    s.Lines = Utf8ToUtf16(source);
    ASSERT_TRUE(s.Compile()) << Utf16ToUtf8(s.ErrorMsg) << " at " << Utf16ToUtf8(s.ErrorPos);
    s.Execute();
  }

  std::vector<std::string> output;
};

// A set literal stored into a set property sets the bits of its members, whichever way the
// members were registered.
TEST_F(HostBinding, SetLiteralsStoreTheBitsOfTheirMembers) {
  struct Case {
    const char* literal;
    Set<TGadgetFlag> stored;
    const char* read;  // the property read back, as the script prints it
    bool byOrdinalOnly;
  };
  const Case cases[] = {
      {"[gfA, gfB]", Set<TGadgetFlag>{gfA, gfB}, "3", false},
      {"[gfB]", Set<TGadgetFlag>{gfB}, "2", false},
      {"[gfC, gfA]", Set<TGadgetFlag>{gfA, gfC}, "5", false},
      {"[]", Set<TGadgetFlag>{}, "0", false},
      {"[gfA..gfC]", Set<TGadgetFlag>{gfA, gfB, gfC}, "7", false},
      {"[gfB .. gfC]", Set<TGadgetFlag>{gfB, gfC}, "6", false},
      {"[0..1, 2]", Set<TGadgetFlag>{gfA, gfB, gfC}, "7", true},
      {"[1..2]", Set<TGadgetFlag>{gfB, gfC}, "6", true},
  };
  for (bool asBits : {false, true}) {
    for (const Case& c : cases) {
      if (asBits && c.byOrdinalOnly) continue;
      TGadget g(nullptr);
      g.SetFlags(Set<TGadgetFlag>{gfC});
      TvmScript s;
      Register(s, asBits);
      s.AddObject(u"G", &g);
      output.clear();
      CompileAndRun(s, (std::string("begin G.Flags := ") + c.literal +
                        "; ShowMessage(G.Flags); ShowMessage(gfB in " + c.literal + ") end.")
                           .c_str());
      const bool hasB = c.stored.Contains(gfB);
      EXPECT_EQ(g.Flags(), c.stored) << c.literal << (asBits ? " by bit" : " by ordinal");
      EXPECT_EQ(output, (std::vector<std::string>{c.read, hasB ? "True" : "False"}))
          << c.literal << (asBits ? " by bit" : " by ordinal");
      if (asBits) {
        // A member of a bit-valued set is in a set property when its bit is set.
        output.clear();
        TvmScript t;
        Register(t, true);
        t.AddObject(u"G", &g);
        CompileAndRun(t, "begin ShowMessage(gfB in G.Flags); ShowMessage(gfB in G.Count) end.");
        EXPECT_EQ(output, (std::vector<std::string>{hasB ? "True" : "False", "False"})) << c.literal;
      }
    }
  }
}

TEST_F(HostBinding, EveryPropertyKindMethodsIndexesAndEventsBothWays) {
  TGadget g(nullptr), other(nullptr);
  g.SetCount(3);
  g.SetTitle(u"host title");
  g.SetShade(gsBright);
  g.SetFlags(Set<TGadgetFlag>{gfB});
  g.Frame().SetWidth(4);
  other.SetTitle(u"other");
  TvmScript s;
  Register(s);
  s.AddObject(u"G", &g);
  s.AddObject(u"Other", &other);
  // The script reads what the host set ...
  CompileAndRun(s,
                "var n: Integer;\n"
                "procedure Changed(Sender: Variant);\n"
                "begin ShowMessage('changed: ' + TGadget(Sender).Title) end;\n"
                "procedure Closing(Sender: Variant; var CanClose: Boolean);\n"
                "begin CanClose := TGadget(Sender).Count < 100 end;\n"
                "begin\n"
                "  ShowMessage(G.Count); ShowMessage(G.Title); ShowMessage(G.Shade = gsBright);\n"
                "  ShowMessage(G.Flags); ShowMessage(G.Frame.Width); ShowMessage(G[1]);\n"
                "  G.Count := G.Count * 10; G.Ratio := 0.25; G.Title := 'script title';\n"
                "  G.Shade := gsDark; G.Flags := [gfA, gfC]; G.Frame.Width := 9; G.Partner := Other;\n"
                "  G.Items[2] := 'TWO'; G[0] := 'ZERO';\n"
                "  n := 5;\n"
                "  ShowMessage(G.Scale(n)); ShowMessage(n);\n"
                "  ShowMessage(G.Scale(n, 3)); ShowMessage(n);\n"
                "  ShowMessage(G.Partner.Title);\n"
                "  G.OnChange := @Changed; G.OnCloseQuery := @Closing;\n"
                "  G.Change;\n"
                "end.");
  EXPECT_EQ(output, (std::vector<std::string>{"3", "host title", "True", "2", "4", "one", "40", "10", "60",
                                              "30", "other", "changed: script title"}));
  // ... and the host sees what the script set.
  EXPECT_EQ(g.Count(), 30);
  EXPECT_EQ(g.Ratio(), 0.25L);
  EXPECT_EQ(g.Title(), u"script title");
  EXPECT_EQ(g.Shade(), gsDark);
  EXPECT_EQ(g.Flags(), (Set<TGadgetFlag>{gfA, gfC}));
  EXPECT_EQ(g.Frame().Width(), 9);
  EXPECT_EQ(g.Partner(), &other);
  EXPECT_EQ(g.Items, (std::vector<WideString>{u"ZERO", u"one", u"TWO"}));

  // Events fired by the host run the script's procedures, by-reference arguments come back.
  output.clear();
  g.SetTitle(u"fired by the host");
  g.Change();
  EXPECT_EQ(output, std::vector<std::string>{"changed: fired by the host"});
  EXPECT_TRUE(g.CanClose());
  g.SetCount(500);
  EXPECT_FALSE(g.CanClose());

  // nil removes a handler; a function cannot handle an event.
  TvmScript off(&s);
  CompileAndRun(off, "begin G.OnChange := nil end.");
  EXPECT_FALSE(g.OnChange);
  TvmScript bad(&s);
  bad.Lines = u"function F: Integer; begin Result := 1 end;\nbegin G.OnChange := @F end.";
  ASSERT_TRUE(bad.Compile()) << Utf16ToUtf8(bad.ErrorMsg);
  try {
    bad.Execute();
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Event handler must be a procedure");
  }

  // Compile-time checks of the members.
  const struct {
    const char* source;
    const char* error;
  } errors[] = {
      {"begin G.Scale end.", "Not enough actual parameters at 1:7"},
      {"begin G.Scale(1, 2, 3) end.", "Too many actual parameters at 1:7"},
      {"begin G.Title := 1 end.", "Incompatible types: 'String', 'Integer' at 1:7"},
      {"begin G.Frame.Height := 1 end.", "Undeclared identifier: 'Height' at 1:7"},
  };
  for (const auto& e : errors) {
    TvmScript t(&s);
    t.Lines = Utf8ToUtf16(e.source);
    EXPECT_FALSE(t.Compile()) << e.source;
    EXPECT_EQ(Utf16ToUtf8(t.ErrorMsg) + " at " + Utf16ToUtf8(t.ErrorPos), e.error) << e.source;
  }
}

TEST_F(HostBinding, VariantsReachMembersByNameWhenTheScriptRuns) {
  TGadget a(nullptr), b(nullptr);
  a.SetTitle(u"a");
  b.SetTitle(u"b");
  b.SetCount(2);
  auto* child = &CreateChild<TGadget>(a);
  child->SetName(u"Inner");
  child->SetCount(8);
  TvmScript s;
  Register(s);
  s.AddVariable(u"Picked", u"Variant", Variant::Null());  // an object arrives only at run time
  s.AddObject(u"A", &a);
  s.AddObject(u"B", &b);
  s.Lines =
      u"var v: Variant; n: Integer; i: Integer;\n"
      u"begin\n"
      u"  for i := 1 to 2 do begin\n"
      u"    if i = 1 then v := A else v := B;\n"
      u"    v.Count := v.Count + 1; ShowMessage(v.Title + ' ' + IntToStr(v.Count));\n"
      u"  end;\n"
      u"  n := 3; ShowMessage(v.Scale(n)); ShowMessage(n);\n"
      u"  v[1] := 'uno'; ShowMessage(v.Items[1]);\n"
      u"  with v do Title := 'with ' + Title;\n"
      u"  ShowMessage(Picked.Inner.Count);\n"
      u"  v := 'text'; ShowMessage(v[2]);\n"
      u"end.";
  ASSERT_TRUE(s.Compile()) << Utf16ToUtf8(s.ErrorMsg) << " at " << Utf16ToUtf8(s.ErrorPos);
  s.SetVariable(u"Picked", Variant::FromObject(&a));
  s.Execute();
  EXPECT_EQ(output, (std::vector<std::string>{"a 1", "b 3", "9", "6", "uno", "8", "e"}));
  EXPECT_EQ(b.Title(), u"with b");
  EXPECT_EQ(b.Items[1], u"uno");

  // What cannot be resolved is a run-time error at the member.
  const struct {
    const char* source;
    const char* message;
    const char* pos;
  } errors[] = {
      {"var v: Variant;\nbegin\n  v := A;\n  v.Missing := 1\nend.", "Undeclared identifier: 'Missing'",
       "4:3"},
      {"var v: Variant;\nbegin\n  v := A;\n  v.Scale\nend.", "Not enough actual parameters", "4:3"},
      {"var v: Variant;\nbegin\n  ShowMessage(v.Count)\nend.",
       "Cannot use 'Count': the value is not an object", "3:15"},
      {"var v: Variant;\nbegin\n  v := A;\n  v.Inner := nil\nend.",
       "Can not assign value to component field Inner", "4:3"},
  };
  for (const auto& e : errors) {
    TvmScript t(&s);
    t.Lines = Utf8ToUtf16(e.source);
    ASSERT_TRUE(t.Compile()) << e.source << ": " << Utf16ToUtf8(t.ErrorMsg);
    try {
      t.Execute();
      ADD_FAILURE() << "no error: " << e.source;
    } catch (const Exception& x) {
      EXPECT_EQ(x.Message(), e.message) << e.source;
    }
    EXPECT_EQ(Utf16ToUtf8(t.ErrorDetailPos), e.pos) << e.source;
  }

  // Automation objects do not exist here: creating one is a clear error.
  TvmScript ole(&s);
  ole.Lines = u"var x: Variant; begin x := CreateOleObject('Word.Application'); x.Visible := True end.";
  ASSERT_TRUE(ole.Compile()) << Utf16ToUtf8(ole.ErrorMsg);
  try {
    ole.Execute();
    ADD_FAILURE() << "no error";
  } catch (const Exception& x) {
    EXPECT_NE(x.Message().find("automation objects are not available"), std::string::npos) << x.Message();
  }
}

TEST_F(HostBinding, ClassLateBindingIsAnOption) {
  TGadget g(nullptr);
  g.SetTitle(u"gadget");
  TvmScript s;
  Register(s);
  s.AddVariable(u"Comp", u"TComponent", Variant::FromObject(&g));
  const char* source = "begin ShowMessage(Comp.Title) end.";
  TvmScript off(&s);
  off.Lines = Utf8ToUtf16(source);
  EXPECT_FALSE(off.Compile());
  EXPECT_EQ(Utf16ToUtf8(off.ErrorMsg), "Undeclared identifier: 'Title'");
  s.UseClassLateBinding = true;
  TvmScript on(&s);
  CompileAndRun(on, source);
  EXPECT_EQ(output, std::vector<std::string>{"gadget"});
}

TEST_F(HostBinding, AddComponentRegistersTheComponentAndItsChildren) {
  TGadget form(nullptr);
  form.SetName(u"Form1");
  auto* knob = &CreateChild<TGadget>(form);
  knob->SetName(u"Knob");
  auto* dial = &CreateChild<TGadget>(form);
  dial->SetName(u"Dial");
  TvmScript s;
  TvmSysFunctions sys(&s);
  s.AddComponent(&form);
  ASSERT_NE(s.FindClass(u"TGadget"), nullptr);
  ASSERT_NE(s.FindClass(u"TComponent"), nullptr);  // its ancestors too
  CompileAndRun(s,
                "begin\n"
                "  Form1.Knob.Count := 4; Form1.Dial.Title := 'dial';\n"
                "  ShowMessage(Form1.Knob.Count); ShowMessage(Form1.Dial.Title)\n"
                "end.");
  EXPECT_EQ(knob->Count(), 4);
  EXPECT_EQ(dial->Title(), u"dial");
  EXPECT_EQ(output, (std::vector<std::string>{"4", "dial"}));
}

// Extended callbacks get the member itself: a property callback tells its members apart by the
// member, a method callback reads the parameters and writes by-reference results into them, and
// an indexed property written from a script passes the new value through the member.
TEST_F(HostBinding, ExtendedCallbacksReceiveTheMember) {
  TGadget g(nullptr);
  g.SetCount(7);
  TvmScript s;
  Register(s);
  TvmClassVariable* cls = s.FindClass(u"TGadget");
  ASSERT_NE(cls, nullptr);
  std::vector<std::string> seen;
  auto get = [&](TPersistent* obj, TvmClassVariable*, const WideString& name, TvmPropertyHelper& member) {
    seen.push_back(Utf16ToUtf8(name) + " " + Utf16ToUtf8(member.TypeName));
    return Variant(static_cast<TGadget*>(obj)->Count() * (member.Typ == fvtFloat ? 1.5 : 1));
  };
  cls->AddPropertyEx(u"Whole", u"Integer", get);
  cls->AddPropertyEx(u"Half", u"Extended", get,
                     [&](TPersistent* obj, TvmClassVariable*, const WideString&, TvmPropertyHelper& member,
                         const Variant& v) {
                       seen.push_back("set " + Utf16ToUtf8(member.Name));
                       static_cast<TGadget*>(obj)->SetCount(v.AsInteger());
                     });
  cls->AddMethod(u"function Split(Total: Integer; var Rest: Integer): Integer",
                 [](TPersistent*, TvmClassVariable*, const WideString& name, TvmMethodHelper& member) {
                   EXPECT_EQ(name, u"SPLIT");
                   const int total = member.Params[0]->Value.AsInteger();
                   member.Params[1]->Value = Variant(total % 3);
                   return Variant(total / 3);
                 });
  cls->AddIndexProperty(u"Cell", u"Integer", u"Integer", nullptr)->OnCallNew =
      [](TPersistent* obj, TvmClassVariable*, const WideString& name, TvmMethodHelper& member) {
        auto* gadget = static_cast<TGadget*>(obj);
        const int index = member.Params[0]->Value.AsInteger();
        if (name == u"CELL.SET") gadget->SetCount(index * 100 + member.SetValueArg.AsInteger());
        return Variant(gadget->Count() + index);
      };
  s.AddObject(u"G", &g);
  CompileAndRun(s,
                "var r: Integer;\n"
                "begin\n"
                "  ShowMessage(G.Whole); ShowMessage(G.Half); G.Half := 4;\n"
                "  ShowMessage(G.Split(17, r)); ShowMessage(r);\n"
                "  G.Cell[2] := 5; ShowMessage(G.Cell[1])\n"
                "end.");
  EXPECT_EQ(output, (std::vector<std::string>{"7", "10.5", "5", "2", "206"}));
  EXPECT_EQ(seen, (std::vector<std::string>{"WHOLE Integer", "HALF Extended", "set Half"}));
  // Without a setter the property is read-only.
  s.Lines = u"begin G.Whole := 1 end.";
  EXPECT_FALSE(s.Compile());
  EXPECT_EQ(Utf16ToUtf8(s.ErrorMsg), "Left side cannot be assigned to");
}

// GetILCode writes the IL document the text translates into; SetILCode builds a program from it
// that runs as the compiled text would.
TEST_F(HostBinding, IlCodeRoundTripsThroughAStream) {
  TvmScript source;
  TvmSysFunctions sys(&source);
  source.Lines = u"var i: Integer;\nbegin\n  for i := 1 to 3 do ShowMessage(i * i)\nend.";
  TMemoryStream il;
  ASSERT_TRUE(source.GetILCode(il)) << Utf16ToUtf8(source.ErrorMsg);
  const std::string document(reinterpret_cast<const char*>(il.Memory()), static_cast<size_t>(il.Size()));
  EXPECT_EQ(document.rfind("<?xml", 0), 0u) << document;
  EXPECT_NE(document.find("<program"), std::string::npos) << document;

  TvmScript built;
  TvmSysFunctions builtSys(&built);
  il.Seek(0, soBeginning);
  ASSERT_TRUE(built.SetILCode(il)) << Utf16ToUtf8(built.ErrorMsg);
  built.Execute();
  EXPECT_EQ(output, (std::vector<std::string>{"1", "4", "9"}));

  // Text that does not translate, and a language that does not exist: nothing is written.
  const std::tuple<const char16_t*, const char16_t*, const char*> bad[] = {
      {u"PascalScript", u"begin ShowMessage( end.", "')' expected"},
      {u"Nope", u"begin end.", "Language 'Nope' not found"},
  };
  for (const auto& [language, text, message] : bad) {
    TvmScript s;
    s.SyntaxType = language;
    s.Lines = text;
    TMemoryStream out;
    EXPECT_FALSE(s.GetILCode(out));
    EXPECT_NE(Utf16ToUtf8(s.ErrorMsg).find(message), std::string::npos) << Utf16ToUtf8(s.ErrorMsg);
    EXPECT_EQ(out.Size(), 0);
  }
  TStringStream notIl("<not an IL document");
  TvmScript s;
  EXPECT_FALSE(s.SetILCode(notIl));
  EXPECT_FALSE(s.ErrorMsg.empty());
}

}  // namespace
}  // namespace pagewright
