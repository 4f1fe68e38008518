#include "platform/properties.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/mem_table.h"
#include "platform/string_list.h"
#include "platform/variant.h"

namespace pagewright {
namespace {

template <class F>
std::string Raised(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "";
}

// A small hierarchy with one property of every kind.

enum TTestShape : uint8_t { tsCircle, tsSquare, tsTriangle };
enum TTestStyle : uint8_t { tfBold, tfItalic, tfUnderline };

const TEnumInfo& ShapeInfo() {
  static const TEnumInfo info("TTestShape", {"tsCircle", "tsSquare", "tsTriangle"});
  return info;
}
const TEnumInfo& StyleInfo() {
  static const TEnumInfo info("TTestStyle", {"tfBold", "tfItalic", "tfUnderline"});
  return info;
}

class TTestFrame : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void Assign(const TPersistent& source) override {
    if (auto* f = dynamic_cast<const TTestFrame*>(&source)) {
      FColor = f->FColor;
      FWidth = f->FWidth;
    } else {
      TPersistent::Assign(source);
    }
  }
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  Extended Width() const { return FWidth; }
  void SetWidth(Extended v) { FWidth = v; }

 private:
  TColor FColor = clBlack;
  Extended FWidth = 1;
};

const TClassInfo& TTestFrame::StaticClassInfo() {
  using T = TTestFrame;
  static const TClassInfo& info = Describe<T>("TTestFrame")
                                      .Parent<TPersistent>()
                                      .Color("Color", &T::Color, &T::SetColor)
                                      .Default(clBlack)
                                      .Float("Width", &T::Width, &T::SetWidth)
                                      .Default(1)
                                      .Build();
  return info;
}

class TTestBase : public TComponent {
 public:
  using TComponent::TComponent;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  Extended Left() const { return FLeft; }
  void SetLeft(Extended v) { FLeft = v; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool v) { FVisible = v; }
  TStringList& Lines() { return FLines; }
  TTestFrame* Frame() const { return FFrame.get(); }
  void SetFrame(const TTestFrame& f) { FFrame->Assign(f); }
  const WideString& Description() const { return FDescription; }
  void SetDescription(const WideString& v) { FDescription = v; }

 private:
  Extended FLeft = 0;
  bool FVisible = true;
  TStringList FLines;
  std::unique_ptr<TTestFrame> FFrame = std::make_unique<TTestFrame>();
  WideString FDescription;
};

const TClassInfo& TTestBase::StaticClassInfo() {
  using T = TTestBase;
  static const TClassInfo& info = Describe<T>("TTestBase")
                                      .Parent<TComponent>()
                                      .Abstract()
                                      .Float("Left", &T::Left, &T::SetLeft)
                                      .Boolean("Visible", &T::Visible, &T::SetVisible)
                                      .Default(true)
                                      .StringList("Lines", &T::Lines)
                                      .Object("Frame", &T::Frame, &T::SetFrame)
                                      .String("Description", &T::Description, &T::SetDescription)
                                      .Build();
  return info;
}

class TTestView : public TTestBase {
 public:
  explicit TTestView(TComponent* owner) : TTestBase(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  TTestShape Shape() const { return FShape; }
  void SetShape(TTestShape v) { FShape = v; }
  Set<TTestStyle> Style() const { return FStyle; }
  void SetStyle(Set<TTestStyle> v) { FStyle = v; }
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  int32_t Count() const { return FCount; }
  void SetCount(int32_t v) { FCount = v; }
  bool IsCountStored() const { return FCount > 0; }
  TTestView* Buddy() const { return FBuddy; }
  void SetBuddy(TTestView* v) {
    if (FBuddy) RemoveFreeNotification(FBuddy);
    FBuddy = v;
    if (v) FreeNotification(v);
  }
  const WideString& OnBeforePrint() const { return FOnBeforePrint; }
  void SetOnBeforePrint(const WideString& v) { FOnBeforePrint = v; }
  int32_t Serial() const { return 42; }
  const Variant& Value() const { return FValue; }
  void SetValue(const Variant& v) { FValue = v; }

 protected:
  void Notification(TComponent* c, TOperation op) override {
    if (op == opRemove && c == FBuddy) FBuddy = nullptr;
    TTestBase::Notification(c, op);
  }

 private:
  TTestShape FShape = tsCircle;
  Set<TTestStyle> FStyle{tfBold};
  TColor FColor = clNone;
  int32_t FCount = 0;
  TTestView* FBuddy = nullptr;
  WideString FOnBeforePrint;
  Variant FValue = Variant::Null();
};

const TClassInfo& TTestView::StaticClassInfo() {
  using T = TTestView;
  static const TClassInfo& info = Describe<T>("TTestView")
                                      .Parent<TTestBase>()
                                      .Enum("Shape", &T::Shape, &T::SetShape, ShapeInfo())
                                      .Default(tsCircle)
                                      .SetOf("Style", &T::Style, &T::SetStyle, StyleInfo())
                                      .Default(Set<TTestStyle>{tfBold})
                                      .Color("Color", &T::Color, &T::SetColor)
                                      .Default(clNone)
                                      .Integer("Count", &T::Count, &T::SetCount)
                                      .Stored(&T::IsCountStored)
                                      .Reference("Buddy", &T::Buddy, &T::SetBuddy)
                                      .Event("OnBeforePrint", &T::OnBeforePrint, &T::SetOnBeforePrint)
                                      .Integer("Serial", &T::Serial, nullptr)
                                      .VariantValue("Value", &T::Value, &T::SetValue)
                                      // Republished: keeps the inherited place, never stored.
                                      .String("Description", &T::Description, &T::SetDescription)
                                      .Stored(false)
                                      .Build();
  return info;
}

std::vector<std::string> Names(const TClassInfo& c) {
  std::vector<std::string> out;
  for (const TPropInfo* p : c.Properties()) out.push_back(p->Name());
  return out;
}

TEST(Properties, ListInheritedPropertiesFirstAndRepublishedInTheirFirstPlace) {
  const TClassInfo& view = TTestView::StaticClassInfo();
  EXPECT_EQ(Names(view), (std::vector<std::string>{"Name", "Tag", "Left", "Visible", "Lines", "Frame",
                                                   "Description", "Shape", "Style", "Color", "Count", "Buddy",
                                                   "OnBeforePrint", "Serial", "Value"}));
  for (size_t i = 0; i < view.Properties().size(); ++i) EXPECT_EQ(view.Properties()[i]->Index(), int(i));
  EXPECT_EQ(&view.FindProperty("description")->DeclaringClass(), &view);
  EXPECT_EQ(&TTestBase::StaticClassInfo().FindProperty("Description")->DeclaringClass(),
            &TTestBase::StaticClassInfo());
  EXPECT_EQ(view.FindProperty(std::u16string_view(u"COLOR"))->TypeName(), "TColor");
  EXPECT_EQ(view.FindProperty("Frame")->TypeName(), "TTestFrame");
  EXPECT_EQ(view.FindProperty("Buddy")->TypeName(), "TTestView");
  EXPECT_EQ(view.FindProperty("Style")->TypeName(), "set of TTestStyle");
  EXPECT_EQ(view.FindProperty("Nope"), nullptr);
  EXPECT_TRUE(view.InheritsFrom(TComponent::StaticClassInfo()));
  EXPECT_FALSE(TTestFrame::StaticClassInfo().IsComponent());
}

TEST(Properties, DefaultsAndStoredTests) {
  TTestView v(nullptr);
  v.SetName(u"View1");
  struct Case {
    const char* prop;
    bool stored, isDefault;
  } fresh[] = {
      {"Name", false, false},        {"Tag", true, true},     {"Left", true, false},   // floats never
      {"Visible", true, true},       {"Lines", true, false},  {"Frame", true, false},  //
      {"Description", false, true},  {"Shape", true, true},   {"Style", true, true},   //
      {"Color", true, true},         {"Count", false, false}, {"Buddy", true, true},   // no default: written
      {"OnBeforePrint", true, true}, {"Serial", true, false}, {"Value", true, true},
  };
  for (const auto& c : fresh) {
    const TPropInfo& p = GetPropInfo(v, c.prop);
    EXPECT_EQ(p.IsStored(v), c.stored) << c.prop;
    EXPECT_EQ(p.IsDefaultValue(v), c.isDefault) << c.prop;
  }
  TTestView other(nullptr);
  v.SetVisible(false);
  v.SetStyle({});
  v.SetColor(0);
  v.SetCount(3);
  v.SetBuddy(&other);
  v.SetOnBeforePrint(u"View1OnBeforePrint");
  for (const char* name : {"Visible", "Style", "Color", "Buddy", "OnBeforePrint"})
    EXPECT_FALSE(GetPropInfo(v, name).IsDefaultValue(v)) << name;
  EXPECT_TRUE(GetPropInfo(v, "Count").IsStored(v));
  v.SetValue(Variant(0));
  EXPECT_FALSE(GetPropInfo(v, "Value").IsDefaultValue(v));
  EXPECT_EQ(GetPropInfo(v, "Style").Default(), TPropValue::SetBits(1));
  EXPECT_EQ(GetPropInfo(TTestFrame(), "Width").Default(), TPropValue::FloatValue(1));
}

TEST(Properties, ReadAndWriteByNameWithConversions) {
  TTestView v(nullptr);
  TStringList lines;
  lines.Add(u"one");
  lines.Add(u"two");
  struct Case {
    const char* prop;
    TPropValue in, out;
  } cases[] = {
      {"LEFT", TPropValue::FloatValue(12.5L), TPropValue::FloatValue(12.5L)},
      {"Left", TPropValue::Integer(3), TPropValue::FloatValue(3)},
      {"Visible", TPropValue::Boolean(false), TPropValue::Boolean(false)},
      {"Visible", TPropValue::String(u"true"), TPropValue::Boolean(true)},
      {"Visible", TPropValue::Integer(0), TPropValue::Boolean(false)},
      {"Shape", TPropValue::String(u"TSSQUARE"), TPropValue::Enum(tsSquare)},
      {"Shape", TPropValue::Integer(2), TPropValue::Enum(tsTriangle)},
      {"Style", TPropValue::String(u"[tfItalic, tfUnderline]"), TPropValue::SetBits(6)},
      {"Style", TPropValue::String(u"[]"), TPropValue::SetBits(0)},
      {"Style", TPropValue::Integer(5), TPropValue::SetBits(5)},
      {"Color", TPropValue::Integer(0xFFFFFFFFLL), TPropValue::Integer(-1)},  // $FFFFFFFF wraps
      {"Color", TPropValue::Integer(255), TPropValue::Integer(255)},
      {"Count", TPropValue::Enum(7), TPropValue::Integer(7)},
      {"Description", TPropValue::String(u"Almac\u00E9n"), TPropValue::String(u"Almac\u00E9n")},
      {"OnBeforePrint", TPropValue::String(u"Memo1OnBeforePrint"), TPropValue::String(u"Memo1OnBeforePrint")},
      {"Tag", TPropValue::Integer(-5), TPropValue::Integer(-5)},
  };
  for (const auto& c : cases) {
    SetPropValue(v, c.prop, c.in);
    EXPECT_EQ(GetPropValue(v, c.prop), c.out) << c.prop;
  }
  EXPECT_EQ(v.Style(), (Set<TTestStyle>{tfBold, tfUnderline}));

  // The string list: from text, and from another list (a copy, not the same list).
  SetPropValue(v, "Lines", TPropValue::String(u"a\r\nb\r\nc"));
  EXPECT_EQ(v.Lines().Count(), 3);
  SetPropValue(v, "Lines", TPropValue::Strings(&lines));
  EXPECT_EQ(GetPropValue(v, "Lines").List, &v.Lines());
  EXPECT_EQ(v.Lines().Text(), lines.Text());
  lines.Clear();
  EXPECT_EQ(v.Lines().Count(), 2);

  // Variants: plain values become variants of their kind; pvNone is Null.
  SetPropValue(v, "Value", TPropValue::String(u"54 / 58"));
  EXPECT_EQ(v.Value().AsString(), u"54 / 58");
  SetPropValue(v, "Value", TPropValue::Integer(58));
  EXPECT_EQ(VarType(*GetPropValue(v, "Value").Var), varInt64);
  SetPropValue(v, "Value", TPropValue::FromVariant(Variant::FromDateTime(2.5)));
  EXPECT_EQ(v.Value().VarType(), varDate);
  SetPropValue(v, "Value", TPropValue());
  EXPECT_TRUE(v.Value().IsNull());

  // Name goes through the component's own checks.
  SetPropValue(v, "Name", TPropValue::String(u"Memo1"));
  EXPECT_EQ(v.Name(), u"Memo1");
}

TEST(Properties, BadValuesAreRefusedAndLeaveTheValue) {
  TTestView v(nullptr);
  TComponent notAView;
  struct Case {
    const char* prop;
    TPropValue in;
    std::string error;
  } cases[] = {
      {"Nope", TPropValue::Integer(1), "EPropertyError: Property Nope does not exist"},
      {"Shape", TPropValue::Integer(3), "EPropertyError: Invalid property value"},
      {"Shape", TPropValue::Integer(-1), "EPropertyError: Invalid property value"},
      {"Shape", TPropValue::String(u"tsHexagon"), "EPropertyError: Invalid property value"},
      {"Visible", TPropValue::Integer(2), "EPropertyError: Invalid property value"},
      {"Style", TPropValue::String(u"[tfBold,tfNope]"), "EPropertyError: Invalid property element: tfNope"},
      {"Style", TPropValue::Integer(8), "EPropertyError: Invalid property value"},
      {"Style", TPropValue::String(u"[tfBold,,tfItalic]"), "EPropertyError: Invalid property element: "},
      {"Style", TPropValue::String(u"[tfBold"), ""},  // lenient about brackets
      {"Count", TPropValue::String(u"7"), "EPropertyError: Invalid property type: Count"},
      {"Count", TPropValue::Integer(int64_t{1} << 33), "EPropertyError: Invalid property value"},
      {"Left", TPropValue::String(u"1.5"), "EPropertyError: Invalid property type: Left"},
      {"Serial", TPropValue::Integer(1), "EPropertyError: Property is read-only"},
      {"Buddy", TPropValue::Object(&notAView), "EPropertyError: Invalid property value"},
      {"Frame", TPropValue::Object(&notAView), "EPropertyError: Invalid property value"},
      {"Name", TPropValue::String(u"9lives"), "EComponentError: '9lives' is not a valid component name"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Raised([&] { SetPropValue(v, c.prop, c.in); }), c.error) << c.prop;
  }
  EXPECT_EQ(v.Shape(), tsCircle);
  EXPECT_EQ(v.Style(), Set<TTestStyle>{tfBold});
  EXPECT_EQ(v.Count(), 0);
  EXPECT_EQ(v.Buddy(), nullptr);
}

TEST(Properties, EnumerationAndSetText) {
  const TEnumInfo& style = StyleInfo();
  struct Case {
    uint64_t bits;
    WideString text;
  } cases[] = {
      {0, u"[]"}, {1, u"[tfBold]"}, {3, u"[tfBold,tfItalic]"}, {7, u"[tfBold,tfItalic,tfUnderline]"}};
  for (const auto& c : cases) {
    EXPECT_EQ(SetToString(style, c.bits), c.text);
    EXPECT_EQ(StringToSet(style, c.text), c.bits);
  }
  EXPECT_EQ(StringToSet(style, u" tfunderline , TFBOLD "), 5u);
  EXPECT_EQ(ShapeInfo().Ordinal("tsTRIANGLE"), 2);
  EXPECT_EQ(ShapeInfo().Ordinal(std::u16string_view(u"tsNone")), -1);
  EXPECT_EQ(ShapeInfo().Name(1), "tsSquare");
  EXPECT_EQ(ShapeInfo().Name(3), "");
  EXPECT_EQ(BooleanInfo().Ordinal("TRUE"), 1);
}

TEST(Properties, SubObjectsAndReferences) {
  TComponent report;
  auto* a = &CreateChild<TTestView>(report);
  a->SetName(u"Memo1");
  auto* b = &CreateChild<TTestView>(report);
  b->SetName(u"Memo2");

  // The sub-object is the object's own; it has its own description.
  const TPropInfo& frame = GetPropInfo(*a, "Frame");
  EXPECT_EQ(frame.Kind(), pkObject);
  EXPECT_EQ(frame.ObjectClass(), &TTestFrame::StaticClassInfo());
  TPersistent* sub = GetPropValue(*a, "Frame").Obj;
  ASSERT_EQ(sub, a->Frame());
  SetPropValue(*sub, "Color", TPropValue::Integer(255));
  EXPECT_EQ(a->Frame()->Color(), 255);
  // Setting the sub-object copies the source into it.
  TTestFrame source;
  source.SetWidth(2.5L);
  SetPropValue(*a, "Frame", TPropValue::Object(&source));
  EXPECT_EQ(a->Frame()->Width(), 2.5L);
  EXPECT_EQ(a->Frame()->Color(), clBlack);
  EXPECT_EQ(GetPropValue(*a, "Frame").Obj, a->Frame());

  // A reference points without owning and is cleared when its target goes.
  const TPropInfo& buddy = GetPropInfo(*a, "Buddy");
  EXPECT_EQ(buddy.Kind(), pkReference);
  EXPECT_EQ(buddy.ObjectClass(), &TTestView::StaticClassInfo());
  buddy.Set(*a, TPropValue::Object(b));
  EXPECT_EQ(a->Buddy(), b);
  delete b;
  EXPECT_EQ(GetPropValue(*a, "Buddy").Obj, nullptr);
  buddy.Set(*a, TPropValue());  // none
  EXPECT_EQ(a->Buddy(), nullptr);
}

void RegisterTestClasses() {
  ClassRegistry().Register(TTestView::StaticClassInfo());
  ClassRegistry().Register(TTestView::StaticClassInfo());  // again: harmless
  ClassRegistry().Register(TTestBase::StaticClassInfo());
  ClassRegistry().Register(TTestFrame::StaticClassInfo());
}

TEST(ClassRegistry, FindsClassesIgnoringCaseAndCreatesThemByName) {
  RegisterPlatformClasses();
  RegisterTestClasses();
  TClassRegistry& reg = ClassRegistry();
  EXPECT_EQ(reg.Find("ttestview"), &TTestView::StaticClassInfo());
  EXPECT_EQ(reg.Find(std::u16string_view(u"TTESTVIEW")), &TTestView::StaticClassInfo());
  EXPECT_EQ(reg.Find("TComponent"), &TComponent::StaticClassInfo());
  int views = 0;
  for (const TClassInfo* c : reg.Classes()) views += c == &TTestView::StaticClassInfo();
  EXPECT_EQ(views, 1);

  TComponent owner;
  TComponent* c = &reg.CreateChild("TTESTVIEW", owner);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->ClassName(), "TTestView");
  EXPECT_EQ(c->Owner(), &owner);
  EXPECT_EQ(GetPropValue(*c, "Visible"), TPropValue::Boolean(true));
  c->SetName(u"Memo1");
  EXPECT_EQ(owner.FindComponent(u"memo1"), c);

  std::unique_ptr<TPersistent> frame = reg.Create("ttestframe");
  EXPECT_EQ(frame->ClassName(), "TTestFrame");
  std::unique_ptr<TPersistent> table = reg.Create("TMemTable");
  EXPECT_NE(dynamic_cast<TMemTable*>(table.get()), nullptr);

  EXPECT_EQ(Raised([&] { reg.CreateChild("TNope", owner); }), "EClassNotFound: Class TNope not found");
  EXPECT_EQ(Raised([&] { reg.CreateChild("TTestBase", owner); }),
            "EClassNotFound: Cannot create an instance of class TTestBase");
  EXPECT_EQ(Raised([&] { reg.CreateChild("TTestFrame", owner); }),
            "EClassNotFound: Class TTestFrame is not a component class");
  EXPECT_EQ(owner.ComponentCount(), 1);
}

}  // namespace
}  // namespace pagewright
