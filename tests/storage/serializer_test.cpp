// The object serializer over a small tree of its own: nodes with a property of every kind, a
// text object, a frame-like sub-object, references and extra properties.
#include "storage/serializer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/properties.h"
#include "platform/property_stream.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "storage/xml_document.h"
#include "storage/xml_text_object.h"

namespace pagewright {
namespace {

enum TTestAlign : uint8_t { taNone, taLeft, taRight };
enum TTestSide : uint8_t { tsLeft, tsTop, tsRight, tsBottom };

const TEnumInfo& AlignInfo() {
  static const TEnumInfo info("TTestAlign", {"taNone", "taLeft", "taRight"});
  return info;
}
const TEnumInfo& SideInfo() {
  static const TEnumInfo info("TTestSide", {"tsLeft", "tsTop", "tsRight", "tsBottom"});
  return info;
}

class TTestLine : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo() {
    using T = TTestLine;
    static const TClassInfo& info = Describe<T>("TTestLine")
                                        .Parent<TPersistent>()
                                        .Color("Color", &T::Color, &T::SetColor)
                                        .Default(0)
                                        .Float("Width", &T::Width, &T::SetWidth)
                                        .Stored(&T::IsWidthStored)
                                        .Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  int Color() const { return FColor; }
  void SetColor(int v) { FColor = v; }
  Extended Width() const { return FWidth; }
  void SetWidth(Extended v) { FWidth = v; }
  bool IsWidthStored() const { return FWidth != 1; }

 private:
  int FColor = 0;
  Extended FWidth = 1;
};

class TTestFrame : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo() {
    using T = TTestFrame;
    static const TClassInfo& info = Describe<T>("TTestFrame")
                                        .Parent<TPersistent>()
                                        .SetOf("Typ", &T::Typ, &T::SetTyp, SideInfo())
                                        .Default(Set<TTestSide>{})
                                        .Object("TopLine", &T::TopLine)
                                        .Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  Set<TTestSide> Typ() const { return FTyp; }
  void SetTyp(Set<TTestSide> v) { FTyp = v; }
  TTestLine& TopLine() { return FTopLine; }

 private:
  Set<TTestSide> FTyp;
  TTestLine FTopLine;
};

std::vector<std::string>& LoadedLog() {
  static std::vector<std::string> log;
  return log;
}

// A tree node: held by its parent, named through the tree's top node (its platform owner).
class TTestNode : public TComponent, public IpgwSerializedNode {
 public:
  explicit TTestNode(TComponent* owner)
      : TComponent(TopOf(owner), owner ? TLifetime::External : TLifetime::ByOwner) {
    if (auto* p = dynamic_cast<TTestNode*>(owner)) {
      FParent = p;
      p->FChildren.emplace_back(this);
    }
  }
  ~TTestNode() override {
    Destroying();
    FChildren.clear();
  }
  static const TClassInfo& StaticClassInfo() {
    using T = TTestNode;
    static const TClassInfo& info = Describe<T>("TTestNode")
                                        .Parent<TComponent>()
                                        .Float("Left", &T::Left, &T::SetLeft)
                                        .Float("Top", &T::Top, &T::SetTop)
                                        .Float("Width", &T::Width, &T::SetWidth)
                                        .Float("Height", &T::Height, &T::SetHeight)
                                        .Boolean("Visible", &T::Visible, &T::SetVisible)
                                        .Default(true)
                                        .Enum("Align", &T::Align, &T::SetAlign, AlignInfo())
                                        .Default(taNone)
                                        .Integer("Count", &T::Count, &T::SetCount)
                                        .Default(0)
                                        .String("Caption", &T::Caption, &T::SetCaption)
                                        .StringList("Lines", &T::Lines)
                                        .Object("Frame", &T::Frame)
                                        .Reference("Link", &T::Link, &T::SetLink)
                                        .Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  Extended Left() const { return FLeft; }
  void SetLeft(Extended v) { FLeft = v; }
  Extended Top() const { return FTop; }
  void SetTop(Extended v) { FTop = v; }
  Extended Width() const { return FWidth; }
  void SetWidth(Extended v) { FWidth = v; }
  Extended Height() const { return FHeight; }
  void SetHeight(Extended v) { FHeight = v; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool v) { FVisible = v; }
  TTestAlign Align() const { return FAlign; }
  void SetAlign(TTestAlign v) { FAlign = v; }
  int Count() const { return FCount; }
  void SetCount(int v) { FCount = v; }
  const WideString& Caption() const { return FCaption; }
  void SetCaption(const WideString& v) { FCaption = v; }
  TStringList& Lines() { return FLines; }
  TTestFrame& Frame() { return FFrame; }
  TComponent* Link() const { return FLink; }
  void SetLink(TComponent* v) { FLink = v; }
  bool Loading() const { return FLoading; }
  TTestNode* Child(int i) const { return FChildren.at(static_cast<size_t>(i)).get(); }
  int Children() const { return static_cast<int>(FChildren.size()); }

  // Extra property "Secret", stored when set.
  std::string Secret;
  void DefineProperties(TFiler& filer) override {
    filer.DefineProperty(
        "Secret", [this](TPropertyReader& r) { Secret = Utf16ToUtf8(r.ReadString()); },
        [this](TPropertyWriter& w) { w.WriteString(Utf8ToUtf16(Secret)); }, !Secret.empty());
  }

  // IpgwSerializedNode
  TComponent& NodeComponent() override { return *this; }
  int ChildNodeCount() const override { return Children(); }
  IpgwSerializedNode* ChildNode(int index) const override { return Child(index); }
  IpgwSerializedNode* ParentNode() const override { return FParent; }
  bool IsReportNode() const override { return false; }
  bool IsFromParentTemplate() const override { return FFromParent; }
  void SetLoadingMark(bool on) override { FLoading = on; }
  void SetWritingMark(bool) override {}
  void NodeLoaded() override { LoadedLog().push_back(Utf16ToUtf8(Name())); }
  TComponent* FindReferenceTarget(std::u16string_view name) override {
    TComponent* top = TopOf(this);
    return top ? top->FindComponent(name) : nullptr;
  }
  bool HandlesNestedProperties() const override { return false; }
  void WriteNestedProperties(TpgwXMLItem&, TpgwXMLSerializer&) override {}
  bool ReadNestedProperty(TpgwXMLItem&, TpgwXMLSerializer&) override { return false; }
  IpgwSerializedNode* CreateChildNode(const TClassInfo& cls) override {
    if (!cls.InheritsFrom(TTestNode::StaticClassInfo()) || !cls.CanCreate()) return nullptr;
    return &CreateChildAs<TTestNode>(cls, *this);
  }
  void MoveNodeToEnd() override {
    auto& list = FParent->FChildren;
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i].get() == this) {
        auto keep = std::move(list[i]);
        list.erase(list.begin() + static_cast<long>(i));
        list.push_back(std::move(keep));
        return;
      }
  }
  bool FFromParent = false;

 private:
  static TComponent* TopOf(TComponent* owner) {
    auto* n = dynamic_cast<TTestNode*>(owner);
    if (!n) return owner;
    while (n->FParent) n = n->FParent;
    return n;
  }
  TTestNode* FParent = nullptr;
  std::vector<std::unique_ptr<TTestNode>> FChildren;
  Extended FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  TTestAlign FAlign = taNone;
  int FCount = 0;
  WideString FCaption;
  TStringList FLines;
  TTestFrame FFrame;
  TComponent* FLink = nullptr;
  bool FLoading = false;
};

class TTestText : public TTestNode, public IpgwXMLTextObject {
 public:
  using TTestNode::TTestNode;
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TTestText>("TTestText").Parent<TTestNode>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  WideString XMLText() const override { return FText; }
  void SetXMLText(const WideString& text) override { FText = text; }

 private:
  WideString FText;
};

class TTestRoot : public TTestNode {
 public:
  TTestRoot() : TTestNode(nullptr) {}
  explicit TTestRoot(TComponent*) : TTestNode(nullptr) {}
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TTestRoot>("TTestRoot").Parent<TTestNode>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  bool IsReportNode() const override { return true; }
};

class SerializerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClassRegistry().Register(TTestNode::StaticClassInfo());
    ClassRegistry().Register(TTestText::StaticClassInfo());
    ClassRegistry().Register(TTestRoot::StaticClassInfo());
    LoadedLog().clear();
  }
  void TearDown() override { FormatSettings().DecimalSeparator = u'.'; }

  static std::string Save(TTestRoot& root, bool defaults = false) {
    TStringStream out;
    TpgwXMLSerializer s(&out);
    s.SetSerializeDefaultValues(defaults);
    s.WriteRootComponent(root);
    return out.DataString();
  }
  // Loads into `root`; the error lines joined.
  static std::string Load(TTestRoot& root, const std::string& xml) {
    TStringStream in(xml);
    TpgwXMLSerializer s(&in);
    s.ReadRootComponent(root);
    return Utf16ToUtf8(s.Errors().Text());
  }
  static std::string Doc(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\r\n" + body;
  }
};

TEST_F(SerializerTest, ObjectAttributesFollowPropertyOrderAndOmitDefaults) {
  TTestRoot root;
  auto* n = &CreateChild<TTestNode>(root);
  n->SetName(u"A");
  n->SetLeft(12.5L);
  n->SetAlign(taRight);
  n->SetCaption(u"a \"q\" <b>\r\n");
  n->Frame().TopLine().SetColor(255);
  n->Lines().Add(u"one");
  n->Lines().Add(u"two");
  EXPECT_EQ(Utf16ToUtf8(ObjectToXMLAttributes(*n)),
            " Left=\"12.5\" Top=\"0\" Width=\"0\" Height=\"0\" Align=\"taRight\""
            " Caption=\"a &#34;q&#34; &#60;b&#62;&#13;&#10;\" Lines.Text=\"one&#13;&#10;two\""
            " Frame.TopLine.Color=\"255\"");

  TTestRoot other;
  auto* m = &CreateChild<TTestNode>(other);
  XMLAttributesToObject(ObjectToXMLAttributes(*n), *m);
  EXPECT_EQ(m->Left(), 12.5L);
  EXPECT_EQ(m->Align(), taRight);
  EXPECT_EQ(Utf16ToUtf8(m->Caption()), "a \"q\" <b>\r\n");
  EXPECT_EQ(m->Lines().Count(), 2);
  EXPECT_EQ(m->Frame().TopLine().Color(), 255);
  // Conversion errors are dropped by the convenience function; the other attributes apply.
  XMLAttributesToObject(u"Count=\"x\" Top=\"3\"", *m);
  EXPECT_EQ(m->Top(), 3);
}

TEST_F(SerializerTest, DefaultValuesAreWrittenOnRequestAndStringListsAlways) {
  TTestRoot root;
  TpgwXMLSerializer s;
  const std::string plain = Utf16ToUtf8(s.ObjToXML(root));
  EXPECT_EQ(plain, " Left=\"0\" Top=\"0\" Width=\"0\" Height=\"0\" Lines.Text=\"\"");
  s.SetSerializeDefaultValues(true);
  EXPECT_EQ(Utf16ToUtf8(s.ObjToXML(root)),
            " Tag=\"0\" Left=\"0\" Top=\"0\" Width=\"0\" Height=\"0\" Visible=\"True\" Align=\"taNone\""
            " Count=\"0\" Caption=\"\" Lines.Text=\"\" Frame.Typ=\"0\" Frame.TopLine.Color=\"0\"");
}

TEST_F(SerializerTest, TreeRoundTripKeepsStructureAndBytes) {
  TTestRoot root;
  auto* a = &CreateChild<TTestNode>(root);
  a->SetName(u"A");
  a->SetWidth(100.25L);
  a->Frame().SetTyp({tsLeft, tsBottom});
  auto* t = &CreateChild<TTestText>(*a);
  t->SetName(u"T1");
  t->SetXMLText(u"line 1\r\nline 2\r\n");
  t->SetLink(a);
  t->Secret = "hidden";
  auto* b = &CreateChild<TTestNode>(root);
  b->SetName(u"B");
  b->SetLink(t);  // a reference to a node read before it

  const std::string first = Save(root);
  EXPECT_NE(first.find("<TTestText Name=\"T1\""), std::string::npos) << first;
  EXPECT_NE(first.find(" Text=\"line 1&#13;&#10;line 2\""), std::string::npos) << first;
  EXPECT_NE(first.find(" PropData=\""), std::string::npos) << first;
  EXPECT_NE(first.find(" Frame.Typ=\"9\""), std::string::npos) << first;

  TTestRoot again;
  EXPECT_EQ(Load(again, first), "");
  ASSERT_EQ(again.Children(), 2);
  TTestNode* a2 = again.Child(0);
  ASSERT_EQ(a2->Children(), 1);
  auto* t2 = dynamic_cast<TTestText*>(a2->Child(0));
  ASSERT_NE(t2, nullptr);
  EXPECT_EQ(Utf16ToUtf8(t2->XMLText()), "line 1\r\nline 2");
  EXPECT_EQ(t2->Link(), a2);
  EXPECT_EQ(t2->Secret, "hidden");
  EXPECT_EQ(again.Child(1)->Link(), t2);
  EXPECT_EQ(a2->Width(), 100.25L);
  EXPECT_EQ(Save(again), first);
  // Loaded notifications in reading order, after every reference is set; marks cleared.
  EXPECT_EQ(LoadedLog(), (std::vector<std::string>{"A", "T1", "B"}));
  EXPECT_FALSE(t2->Loading());
}

TEST_F(SerializerTest, TextIsAlwaysWrittenAndCompactAttributesRead) {
  TTestRoot root;
  auto* t = &CreateChild<TTestText>(root);
  t->SetName(u"T");
  EXPECT_NE(
      Save(root).find(
          "<TTestText Name=\"T\" Left=\"0\" Top=\"0\" Width=\"0\" Height=\"0\" Lines.Text=\"\" Text=\"\"/>"),
      std::string::npos)
      << Save(root);

  TpgwXMLSerializer s;
  s.XMLToObj(u"l=\"1.5\" t=\"2\" w=\"30\" h=\"4,25\" u=\"a&#13;&#10;b\"", *t);
  EXPECT_EQ(t->Left(), 1.5L);
  EXPECT_EQ(t->Top(), 2);
  EXPECT_EQ(t->Width(), 30);
  EXPECT_EQ(t->Height(), 4.25L);
  EXPECT_EQ(Utf16ToUtf8(t->XMLText()), "a\r\nb");
  s.XMLToObj(u"x=\"other\"", *t);
  EXPECT_EQ(Utf16ToUtf8(t->XMLText()), "other");
}

TEST_F(SerializerTest, FloatsReadTheSameWithEitherSeparator) {
  TTestRoot root;
  auto* n = &CreateChild<TTestNode>(root);
  n->SetName(u"N");
  n->SetLeft(12.5L);
  n->SetTop(-0.125L);
  FormatSettings().DecimalSeparator = u',';
  const std::string comma = Save(root);
  EXPECT_NE(comma.find("Left=\"12,5\" Top=\"-0,125\""), std::string::npos) << comma;
  FormatSettings().DecimalSeparator = u'.';
  TTestRoot point;
  EXPECT_EQ(Load(point, comma), "");
  EXPECT_EQ(point.Child(0)->Left(), 12.5L);
  EXPECT_EQ(point.Child(0)->Top(), -0.125L);
  // And the other way round.
  const std::string dot = Save(point);
  FormatSettings().DecimalSeparator = u',';
  TTestRoot back;
  EXPECT_EQ(Load(back, dot), "");
  EXPECT_EQ(back.Child(0)->Left(), 12.5L);
  EXPECT_EQ(Utf16ToUtf8(FloatToStr(back.Child(0)->Left())), "12,5");
}

// Every problem of a load names its line, element and attribute, and costs only that attribute:
// the other attributes and every later element still load.
TEST_F(SerializerTest, LoadErrorsNameLineElementAndAttributeAndTheRestLoads) {
  struct Case {
    const char* attributes;  // of the second of three nodes, on line 5 (after the header, the root, A and a
                             // blank line)
    const char* error;
  };
  const Case cases[] = {
      {"Name=\"B\" Left=\"abc\"",
       "line 5: <TTestNode Name=\"B\">: Left: 'abc' is not a valid floating point value"},
      {"Name=\"B\" Count=\"12x\"",
       "line 5: <TTestNode Name=\"B\">: Count: '12x' is not a valid integer value"},
      {"Name=\"B\" Caption=\"a&#9x;b\"",
       "line 5: <TTestNode Name=\"B\">: Caption: '&#9x;' is not a valid character reference"},
      {"Name=\"B&#;\" Left=\"3\"", "line 5: <TTestNode>: Name: '&#;' is not a valid character reference"},
      {"Name=\"B C\" Left=\"3\"",
       "line 5: <TTestNode Name=\"B C\">: Name: 'B C' is not a valid component name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attributes);
    TTestRoot root;
    const std::string errors = Load(root, Doc(std::string("<TTestRoot>\r\n") +
                                              "  <TTestNode Name=\"A\"/>\r\n"
                                              "\r\n"
                                              "  <TTestNode " +
                                              c.attributes +
                                              "/>\r\n"
                                              "  <TTestNode Name=\"After\" Left=\"5\"/>\r\n"
                                              "</TTestRoot>\r\n"));
    EXPECT_EQ(errors, std::string(c.error) + "\r\n");
    ASSERT_EQ(root.Children(), 3);
    EXPECT_EQ(Utf16ToUtf8(root.Child(2)->Name()), "After");
    EXPECT_EQ(root.Child(2)->Left(), 5);
  }
}

// A document cut off after whole elements keeps what was read and says that it ends early.
TEST_F(SerializerTest, DocumentEndingInsideAnElementIsAnError) {
  TTestRoot root;
  EXPECT_EQ(Load(root, Doc("<TTestRoot>\r\n  <TTestNode Name=\"A\" Left=\"1\"/>\r\n")),
            "The template ends before all its elements are closed\r\n");
  ASSERT_EQ(root.Children(), 1);
  EXPECT_EQ(root.Child(0)->Left(), 1);
  TTestRoot whole;
  EXPECT_EQ(Load(whole, Doc("<TTestRoot>\r\n  <TTestNode Name=\"A\"/>\r\n</TTestRoot>\r\n")), "");
}

// A value of a megabyte is quoted in part: the error line stays readable.
TEST_F(SerializerTest, HugeValueIsQuotedInPart) {
  TTestRoot root;
  const std::string errors = Load(root, Doc("<TTestRoot><TTestNode Name=\"A\" Count=\"" +
                                            std::string(1 << 20, '7') + "\"/></TTestRoot>"));
  EXPECT_EQ(errors.rfind("line 2: <TTestNode Name=\"A\">: Count: '777", 0), 0u);
  EXPECT_LT(errors.size(), 500u);
  EXPECT_NE(errors.find("...\r\n"), std::string::npos);
}

TEST_F(SerializerTest, UnknownClassGivesOneLineAndSkipsItsSubtree) {
  TTestRoot root;
  const std::string errors =
      Load(root, Doc("<TTestRoot>\r\n"
                     "  <TNoSuchClass Name=\"X\"><TTestNode Name=\"Inner\"/></TNoSuchClass>\r\n"
                     "  <TTestNode Name=\"After\" Left=\"5\"/>\r\n"
                     "</TTestRoot>\r\n"));
  EXPECT_EQ(errors, "line 3: Cannot find class TNoSuchClass\r\n");
  ASSERT_EQ(root.Children(), 1);
  EXPECT_EQ(Utf16ToUtf8(root.Child(0)->Name()), "After");
  EXPECT_EQ(root.FindComponent(u"Inner"), nullptr);
  // A class that is registered but cannot be a child here is skipped the same way.
  TTestRoot other;
  EXPECT_EQ(Load(other, Doc("<TTestRoot><TComponent Name=\"C\"/></TTestRoot>")),
            "line 2: Cannot find class TComponent\r\n");
  EXPECT_EQ(other.Children(), 0);
}

TEST_F(SerializerTest, BadValuesAddTheirMessageAndTheRestStillApplies) {
  struct Case {
    const char* attrs;
    const char* errorPart;  // empty: no error
  };
  const Case cases[] = {
      {"Count=\"abc\" Left=\"7\"", "abc"},
      {"Align=\"taBogus\" Left=\"7\"", "Invalid property value"},
      {"Align=\"9\" Left=\"7\"", "Invalid property value"},
      {"Frame.Typ=\"1024\" Left=\"7\"", "Invalid property value"},
      {"Left=\"1.2.3\" Top=\"7\"", "1.2.3"},
      {"NoSuchProperty=\"1\" Frame.NoSuch=\"2\" Left=\"7\"", ""},
      {"Align=\"2\" Left=\"7\"", ""},
      {"Align=\"TARIGHT\" Left=\"7\"", ""},
      {"Count=\"$10\" Left=\"7\"", ""},
  };
  for (const Case& c : cases) {
    TTestRoot root;
    auto* n = &CreateChild<TTestNode>(root);
    TpgwXMLSerializer s;
    s.XMLToObj(Utf8ToUtf16(c.attrs), *n);
    const std::string errors = Utf16ToUtf8(s.Errors().Text());
    if (*c.errorPart) {
      EXPECT_NE(errors.find(c.errorPart), std::string::npos) << c.attrs << " -> " << errors;
    }
    else
      EXPECT_EQ(errors, "") << c.attrs;
    EXPECT_TRUE(n->Left() == 7 || n->Top() == 7) << c.attrs;
    EXPECT_LE(static_cast<int>(n->Align()), static_cast<int>(taRight)) << c.attrs;
  }
}

TEST_F(SerializerTest, UnresolvedReferenceStaysNoneSilently) {
  TTestRoot root;
  EXPECT_EQ(Load(root, Doc("<TTestRoot><TTestNode Name=\"A\" Link=\"Nowhere\"/><TTestNode Name=\"B\" "
                           "Link=\"A\"/></TTestRoot>")),
            "");
  EXPECT_EQ(root.Child(0)->Link(), nullptr);
  EXPECT_EQ(root.Child(1)->Link(), root.Child(0));
}

TEST_F(SerializerTest, BrokenPropDataIsIgnored) {
  TTestRoot root;
  auto* n = &CreateChild<TTestNode>(root);
  TpgwXMLSerializer s;
  s.XMLToObj(u"PropData=\"0653\" Left=\"1\" PropData=\"zz\"", *n);
  EXPECT_EQ(s.Errors().Count(), 0);
  EXPECT_EQ(n->Left(), 1);
  EXPECT_EQ(n->Secret, "");
}

TEST_F(SerializerTest, ExistingNamesAreReusedAndInheritedElementsMoveToTheEnd) {
  TTestRoot root;
  auto* a = &CreateChild<TTestNode>(root);
  a->SetName(u"A");
  a->FFromParent = true;
  auto* b = &CreateChild<TTestNode>(root);
  b->SetName(u"B");
  EXPECT_EQ(Load(root, Doc("<TTestRoot><inherited Name=\"A\" Left=\"9\"/><inherited Name=\"Gone\"><TTestNode "
                           "Name=\"Under\"/></inherited></TTestRoot>")),
            "");
  ASSERT_EQ(root.Children(), 2);
  EXPECT_EQ(root.Child(0), b);
  EXPECT_EQ(root.Child(1), a);
  EXPECT_EQ(a->Left(), 9);
  EXPECT_EQ(root.FindComponent(u"Under"), nullptr);
}

TEST_F(SerializerTest, AncestorDifferencesAndNil) {
  TTestRoot parent;
  auto* pa = &CreateChild<TTestNode>(parent);
  pa->SetName(u"A");
  pa->SetLeft(10);
  pa->SetCount(3);
  pa->SetLink(pa);
  TTestRoot child;
  auto* ca = &CreateChild<TTestNode>(child);
  ca->SetName(u"A");
  ca->FFromParent = true;
  ca->SetLeft(10.0000001L);
  ca->SetCount(4);
  TStringStream out;
  TpgwXMLSerializer s(&out);
  s.OnGetAncestor = [&](IpgwSerializedNode& node) -> TPersistent* {
    if (&node == &child) return &parent;
    return parent.FindComponent(node.NodeComponent().Name());
  };
  s.WriteRootComponent(child);
  const std::string xml = out.DataString();
  EXPECT_NE(xml.find("<inherited Name=\"A\" Count=\"4\" Link=\"nil\"/>"), std::string::npos) << xml;
}

TEST_F(SerializerTest, CustomDataElementGoesToTheCallbacks) {
  TTestRoot root;
  TStringStream out;
  TpgwXMLSerializer w(&out);
  w.OnSaveCustomDataEvent = [](TpgwXMLItem& item) { item.SetProp(u"Key", u"v\"1"); };
  w.WriteRootComponent(root);
  EXPECT_NE(out.DataString().find("<PgwCustomData Key=\"v&#34;1\"/>"), std::string::npos);
  out.SetPosition(0);
  TTestRoot back;
  TpgwXMLSerializer r(&out);
  WideString seen;
  r.GetCustomDataEvent = [&](TpgwXMLItem& item) { seen = item.GetProp(u"Key"); };
  r.ReadRootComponent(back);
  EXPECT_EQ(Utf16ToUtf8(seen), "v\"1");
  EXPECT_EQ(back.Children(), 0);
}

TEST_F(SerializerTest, SingleElementStringsRoundTrip) {
  TTestRoot root;
  auto* t = &CreateChild<TTestText>(root);
  t->SetLeft(4);
  t->SetXMLText(u"hi");
  TStringStream out;
  TpgwXMLSerializer w(&out);
  w.WriteComponent(*t);
  EXPECT_EQ(out.DataString(),
            "<TTestText Left=\"4\" Top=\"0\" Width=\"0\" Height=\"0\" Lines.Text=\"\" Text=\"hi\"/>");
  out.SetPosition(0);
  TTestRoot other;
  TpgwXMLSerializer r(&out);
  auto* made = dynamic_cast<TTestText*>(r.ReadComponent(other));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->Left(), 4);
  EXPECT_EQ(Utf16ToUtf8(made->XMLText()), "hi");
  EXPECT_EQ(LoadedLog().size(), 1u);
  EXPECT_EQ(r.ReadComponentStr(other, u"TNoSuch Left=\"1\""), nullptr);
  EXPECT_EQ(Utf16ToUtf8(r.Errors().Text()), "Cannot find class TNoSuch\r\n");
}

TEST_F(SerializerTest, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  // 100,000 nested elements: the document reader refuses them as malformed.
  std::string body = "<TTestRoot>";
  for (int i = 0; i < 100000; ++i) body += "<TTestNode>";
  TTestRoot root;
  EXPECT_THROW(Load(root, Doc(body)), TpgwInvalidXMLException);
  // An item tree built in memory deeper than the limit gives an error line.
  TpgwXMLItem top;
  top.SetName(u"TTestRoot");
  TpgwXMLItem* item = &top;
  for (int i = 0; i < TpgwXMLSerializer::MaxDepth + 5; ++i) item = item->Add(u"TTestNode");
  TTestRoot deep;
  TpgwXMLSerializer s;
  s.ReadRootComponent(deep, &top);
  EXPECT_EQ(Utf16ToUtf8(s.Errors().Text()), "Template elements are nested too deeply\r\n");
}

TEST_F(SerializerTest, HugeAttributeValuesGiveErrorLines) {
  TTestRoot root;
  const std::string huge(2'000'000, '9');
  const std::string errors =
      Load(root, Doc("<TTestRoot><TTestNode Name=\"N\" Count=\"" + huge + "\" Left=\"" + huge +
                     "e99999\" Caption=\"" + std::string(1'000'000, 'c') + "\"/></TTestRoot>"));
  EXPECT_NE(errors, "");
  ASSERT_EQ(root.Children(), 1);
  EXPECT_EQ(root.Child(0)->Caption().size(), 1'000'000u);
}

TEST_F(SerializerTest, OldFormatTextIsTakenAsUtf8Bytes) {
  // No standalone declaration: attribute bytes are 8-bit text, and text attributes held UTF-8.
  TTestRoot root;
  EXPECT_EQ(Load(root,
                 "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                 "<TTestRoot><TTestText Name=\"T\" Caption=\"\xC3\xA9\" Text=\"\xC3\xA9\"/></TTestRoot>"),
            "");
  auto* t = dynamic_cast<TTestText*>(root.Child(0));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->XMLText(), u"\u00E9");
  EXPECT_EQ(t->Caption().size(), 2u);  // other strings stay as read
}

// Old-format text that is not UTF-8 is in the code page the document implies: 1252, or the one
// its header names. It no longer becomes U+FFFD.
TEST_F(SerializerTest, OldFormatTextThatIsNotUtf8IsReadInTheCodePage) {
  struct Case {
    const char* encoding;
    const char* text;  // bytes of the Text attribute
    std::u16string want;
  } cases[] = {
      {"utf-8", "Caf\xE9", u"Caf\u00E9"},
      {"utf-8", "Caf\xC3\xA9", u"Caf\u00E9"},  // UTF-8 bytes stay UTF-8
      {"windows-1252", "\x80 5", u"\u20AC 5"},
      {"windows-1251", "\xC0\xEB\xEC\xE0", u"\u0410\u043B\u043C\u0430"},
      {"cp1250", "\x8A\xE8", u"\u0160\u010D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TTestRoot root;
    EXPECT_EQ(Load(root, std::string("<?xml version=\"1.0\" encoding=\"") + c.encoding + "\"?>\r\n" +
                             "<TTestRoot><TTestText Name=\"T\" Text=\"" + c.text + "\"/></TTestRoot>"),
              "");
    auto* t = dynamic_cast<TTestText*>(root.Child(0));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Utf16ToUtf8(t->XMLText()), Utf16ToUtf8(c.want));
  }
}

TEST_F(SerializerTest, ManyReferencesToOneNameResolveToIt) {
  TTestRoot root;
  std::string body = "<TTestRoot><TTestNode Name=\"Target\"/>";
  for (int i = 0; i < 50; ++i) body += "<TTestNode Name=\"N" + std::to_string(i) + "\" Link=\"target\"/>";
  EXPECT_EQ(Load(root, Doc(body + "</TTestRoot>")), "");
  for (int i = 1; i <= 50; ++i) EXPECT_EQ(root.Child(i)->Link(), root.Child(0));
}

}  // namespace
}  // namespace pagewright
