#include "report/component.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/exceptions.h"
#include "report/report.h"

using namespace pagewright;

namespace {

// A printable node with an alignment, standing in for the view classes.
class TestView : public TpgwReportComponent {
 public:
  using TpgwReportComponent::TpgwReportComponent;
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TestView>("TpgwMemoView").Parent<TpgwReportComponent>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  void Draw(void*, Extended, Extended, Extended, Extended) override {}
  TpgwAlign Align() const override { return FAlign; }
  TpgwAlign FAlign = baNone;
};

class TestBand : public TestView {
 public:
  using TestView::TestView;
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TestBand>("TpgwMasterData").Parent<TestView>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  bool IsBand() const override { return true; }
};

// Watches another component and clears its pointer when that one goes.
class Watcher : public TComponent {
 public:
  TComponent* Target = nullptr;
  void Watch(TComponent* c) {
    Target = c;
    FreeNotification(c);
  }

 protected:
  void Notification(TComponent* c, TOperation op) override {
    if (op == opRemove && c == Target) Target = nullptr;
    TComponent::Notification(c, op);
  }
};

TestView* View(TpgwComponent* parent, const char16_t* name = nullptr) {
  auto* v = &CreateChild<TestView>(*parent);
  if (name) v->SetName(name);
  return v;
}

}  // namespace

TEST(ReportTree, ChildIsAppendedAndOwnedForNamesByTheReport) {
  TpgwReport report;
  TestBand* band = &CreateChild<TestBand>(report);
  TestView* a = View(band, u"A");
  TestView* b = View(band, u"B");
  ASSERT_EQ(band->Objects().Count(), 2);
  EXPECT_EQ(band->Objects()[1], b);
  EXPECT_EQ(a->Parent(), band);
  EXPECT_EQ(a->Owner(), &report);
  EXPECT_EQ(report.FindComponent(u"b"), b);
  EXPECT_EQ(a->Report(), &report);
  EXPECT_EQ(a->TopParent(), &report);
  EXPECT_EQ(report.TopParent(), nullptr);
  EXPECT_EQ(a->BaseName(), u"Memo");
  EXPECT_EQ(band->BaseName(), u"MasterData");
}

TEST(ReportTree, RenamingInAnotherCaseChangesNothingAndDuplicatesAreRefused) {
  TpgwReport report;
  TestView* a = View(&report, u"Memo1");
  TestView* b = View(&report, u"Memo2");
  a->SetName(u"MEMO1");
  EXPECT_EQ(a->Name(), u"Memo1");
  try {
    b->SetName(u"memo1");
    FAIL() << "no exception";
  } catch (const EDuplicateName& e) {
    EXPECT_EQ(e.Message(), "prDupl");
  }
  EXPECT_EQ(b->Name(), u"Memo2");
  a->SetAncestor(true);
  try {
    a->SetName(u"Other");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Could not rename Memo1, it was introduced in the ancestor report");
  }
  // The index follows renames: the old name is free again.
  b->SetName(u"Memo3");
  View(&report, u"Memo2");
  EXPECT_TRUE(report.SortedObjects().Contains(u"Memo2"));
}

TEST(ReportTree, CreateUniqueName) {
  struct Case {
    std::vector<std::u16string> names;
    std::u16string expected;
  };
  const Case cases[] = {
      {{u"Memo1", u"Memo2", u"Memo3", u"Band1"}, u"Memo4"},
      {{u"Memo1", u"Memo3"}, u"Memo2"},  // fewer than 4 names: counts up from 1
      {{}, u"Memo1"},
      {{u"Memo2", u"Memo5", u"Page1", u"Band1"}, u"Memo3"},   // 2 numbered names: starts at 2, goes up
      {{u"Memo1", u"Memo2", u"Memo10", u"MemoX"}, u"Memo3"},  // MemoX sorts after the "A" probe
  };
  for (const Case& c : cases) {
    TpgwReport report;
    for (const auto& n : c.names) View(&report, n.c_str());
    TestView* v = View(&report);
    v->CreateUniqueName();
    EXPECT_EQ(v->Name(), c.expected) << c.names.size();
  }
  // The probes stay in the index without a node.
  TpgwReport report;
  for (const char16_t* n : {u"Memo1", u"Memo2", u"Memo3", u"Band1"}) View(&report, n);
  View(&report)->CreateUniqueName();
  TpgwNameIndex& index = report.SortedObjects();
  ASSERT_TRUE(index.Contains(u"Memo0"));
  EXPECT_EQ(index.ObjectOf(u"Memo0"), nullptr);
  ASSERT_TRUE(index.Contains(u"MemoA"));
  EXPECT_EQ(report.FindObject(u"Memo0"), nullptr);
  // A probe name can still be given to a node.
  TestView* z = View(&report, u"Memo0");
  EXPECT_EQ(index.ObjectOf(u"Memo0"), z);
}

TEST(ReportTree, CreateUniqueNameWithDefaultReportMergesOwnNamesTemporarily) {
  TpgwReport report;
  for (const char16_t* n : {u"Memo1", u"Page1", u"Band1", u"Band2"}) View(&report, n);
  TestBand free(nullptr);
  View(&free, u"Memo2");
  TestView* v = View(&free);
  v->CreateUniqueName(&report);
  EXPECT_EQ(v->Name(), u"Memo3");
  EXPECT_FALSE(report.SortedObjects().Contains(u"Memo2"));  // merged names removed again
}

TEST(ReportTree, FindObjectSearchesDepthFirstAndNotItself) {
  TpgwReport report;
  TestBand* b1 = &CreateChild<TestBand>(report);
  b1->SetName(u"B1");
  // Two trees built apart, each with an "X", then merged under one parent.
  TestBand first(nullptr), second(nullptr);
  first.SetName(u"First");
  TestView* x1 = View(&first, u"X");
  TestView* x2 = View(&second, u"X");
  auto* inner = View(&second, u"Inner");
  EXPECT_EQ(first.FindObject(u"first"), nullptr);
  EXPECT_EQ(first.FindObject(u"x"), x1);
  x2->SetParent(inner);  // depth-first: Inner's child comes after Inner
  EXPECT_EQ(second.FindObject(u"X"), x2);
  EXPECT_EQ(report.FindObject(u"nothing"), nullptr);
}

TEST(ReportTree, AnchorsFollowParentResize) {
  struct Case {
    TpgwAnchors anchors;
    Extended dh;
    Extended top, height;  // of the child afterwards
  };
  const Case cases[] = {
      {{fraLeft, fraBottom}, 0.005L, 10, 20},  // within 0.01: nothing moves
      {{fraLeft, fraBottom}, 1, 11, 20},
      {{fraLeft, fraTop, fraBottom}, 1, 10, 21},
      {{fraLeft, fraTop}, 5, 10, 20},
      {{fraLeft}, 5, 14, 20},      // 5 / 1.18 = 4.24 -> 4
      {{fraLeft}, 1.77L, 12, 20},  // 1.5 -> 2 (ties to even)
      {{fraLeft}, -5, 6, 20},      // -4.24 -> -4
  };
  for (const Case& c : cases) {
    TestBand band(nullptr);
    band.SetBounds(0, 0, 100, 50);
    TestView* v = View(&band);
    v->SetBounds(5, 10, 30, 20);
    v->SetAnchors(c.anchors);
    band.SetHeight(50 + c.dh);
    EXPECT_EQ(band.Height(), 50 + c.dh);
    EXPECT_DOUBLE_EQ(static_cast<double>(v->Top()), static_cast<double>(c.top)) << static_cast<double>(c.dh);
    EXPECT_DOUBLE_EQ(static_cast<double>(v->Height()), static_cast<double>(c.height));
    EXPECT_EQ(v->Left(), 5);
  }
  // Horizontal, with the right anchor alone.
  TestBand band(nullptr);
  band.SetBounds(0, 0, 100, 50);
  TestView* v = View(&band);
  v->SetBounds(5, 10, 30, 20);
  v->SetAnchors({fraRight, fraTop});
  band.SetWidth(110);
  EXPECT_EQ(v->Left(), 15);
}

TEST(ReportTree, AlignChildren) {
  TestBand band(nullptr);
  band.SetBounds(0, 0, 200, 100);
  auto make = [&](TpgwAlign al, Extended l, Extended t, Extended w, Extended h) {
    TestView* v = View(&band);
    v->FAlign = al;
    v->SetBounds(l, t, w, h);
    return v;
  };
  TestView* left1 = make(baLeft, 50, 0, 20, 10);
  TestView* left2 = make(baLeft, 90, 5, 30, 10);   // overlaps left1 vertically: goes to its right edge
  TestView* left3 = make(baLeft, 80, 40, 10, 10);  // overlaps none: to the client's left edge
  TestView* right1 = make(baRight, 150, 0, 10, 10);
  TestView* width1 = make(baWidth, 130, 40, 10, 10);
  TestView* bottom = make(baBottom, 0, 60, 5, 10);
  TestView* hidden = make(baHidden, 7, 7, 7, 7);
  band.AlignChildren();
  EXPECT_EQ(left1->Left(), 0);
  EXPECT_EQ(left2->Left(), 20);
  EXPECT_EQ(left3->Left(), 0);
  EXPECT_EQ(right1->Left(), 190);
  // First placed right of left3 (overlapping, not further right), then widened to the client's edge.
  EXPECT_EQ(width1->Left(), 10);
  EXPECT_EQ(width1->Width(), 190);
  EXPECT_EQ(bottom->Top(), 90);
  EXPECT_EQ(hidden->Left(), 7);

  TestBand b2(nullptr);
  b2.SetBounds(0, 0, 100, 40);
  TestView* client = View(&b2);
  client->FAlign = baClient;
  TestView* center = View(&b2);
  center->FAlign = baCenter;
  center->SetWidth(20);
  center->SetVisible(false);
  b2.AlignChildren(true);
  EXPECT_EQ(client->Width(), 100);
  EXPECT_EQ(client->Height(), 40);
  EXPECT_EQ(center->Left(), 0);  // invisible: ignored
  b2.AlignChildren(false);
  EXPECT_EQ(center->Left(), 40);
}

TEST(ReportTree, MirrorPosition) {
  TestBand band(nullptr);
  band.SetBounds(0, 0, 200, 100);
  TestView* v = View(&band);
  v->SetBounds(10, 20, 30, 40);
  v->MirrorPosition({mcmRTLObjects});
  EXPECT_EQ(v->Left(), 160);
  v->MirrorPosition({mcmBTTObjects, mcmOnlyAllowed});  // not allowed: untouched
  EXPECT_EQ(v->Top(), 20);
  v->SetAllowMirrorMode(true);
  v->MirrorPosition({mcmBTTObjects, mcmOnlyAllowed});
  EXPECT_EQ(v->Top(), 40);
}

TEST(ReportTree, FontInheritance) {
  TestBand band(nullptr);
  EXPECT_EQ(band.Font().Name(), u"Arial");
  EXPECT_EQ(band.Font().Height(), -13);
  TestView* v = View(&band);
  TestView* w = View(v);
  EXPECT_TRUE(v->ParentFont());
  band.Font().SetName(u"Courier New");  // change handler passes it down
  EXPECT_EQ(v->Font().Name(), u"Courier New");
  EXPECT_EQ(w->Font().Name(), u"Courier New");
  EXPECT_FALSE(band.ParentFont());
  TpgwFont f;
  f.SetSize(20);
  v->SetFont(f);
  EXPECT_FALSE(v->ParentFont());
  EXPECT_EQ(w->Font().Height(), f.Height());
  band.Font().SetColor(255);
  EXPECT_EQ(v->Font().Color(), 0);  // no longer follows
  v->Font().SetStyle({fsBold});
  EXPECT_TRUE(w->Font().Style().Contains(fsBold));
  // A node moved under another parent takes that parent's font.
  TestBand other(nullptr);
  other.Font().SetName(u"Times New Roman");
  w->SetParent(&other);
  EXPECT_EQ(w->Font().Name(), u"Times New Roman");
}

TEST(ReportTree, ClearKeepsInheritedChildrenAndIndexFollows) {
  TpgwReport report;
  TestBand* kept = &CreateChild<TestBand>(report);
  kept->SetName(u"Kept");
  kept->SetAncestor(true);
  View(kept, u"Inner");
  View(&report, u"Gone");
  ASSERT_TRUE(report.SortedObjects().Contains(u"Gone"));
  report.TpgwComponent::Clear();
  ASSERT_EQ(report.Objects().Count(), 1);
  EXPECT_EQ(report.Objects()[0], kept);
  EXPECT_EQ(kept->Objects().Count(), 0);
  EXPECT_EQ(report.FindObject(u"Gone"), nullptr);
  EXPECT_EQ(report.FindComponent(u"Gone"), nullptr);
  View(&report, u"Gone");  // the name is free again
}

TEST(ReportTree, DestroyingNodesLeavesNoDanglingPointers) {
  Watcher watcher;
  {
    TpgwReport report;
    TestBand* band = &CreateChild<TestBand>(report);
    TestView* a = View(band, u"A");
    View(a, u"AChild");
    watcher.Watch(a);
    TestView* b = View(band, u"B");
    b->SetOriginalComponent(a);
    (void)report.SortedObjects();
    delete a;  // leaves its parent, index and owner; b forgets it
    EXPECT_EQ(watcher.Target, nullptr);
    EXPECT_EQ(b->OriginalComponent(), nullptr);
    EXPECT_EQ(band->Objects().Count(), 1);
    EXPECT_FALSE(report.SortedObjects().Contains(u"A"));
    EXPECT_FALSE(report.SortedObjects().Contains(u"AChild"));
    EXPECT_EQ(report.FindComponent(u"AChild"), nullptr);
    watcher.Watch(b);
  }
  EXPECT_EQ(watcher.Target, nullptr);  // the report destroyed its tree
}

TEST(ReportTree, DetachAndReattach) {
  TpgwReport report;
  TestView* v = View(&report, u"V");
  std::unique_ptr<TpgwComponent> held = v->DetachFromParent();
  EXPECT_EQ(report.Objects().Count(), 0);
  EXPECT_EQ(report.FindObject(u"V"), nullptr);
  TestBand* band = &CreateChild<TestBand>(report);
  held.release()->SetParent(band);
  EXPECT_EQ(report.FindObject(u"V"), v);
}

TEST(ReportTree, ReportComponentSavesAndRestoresBounds) {
  TestBand band(nullptr);
  band.SetBounds(10, 20, 0, 0);
  TestView* v = View(&band);
  v->SetBounds(1, 2, 3, 4);
  v->BeforePrint();
  v->SetBounds(9, 9, 9, 9);
  v->AfterPrint();
  EXPECT_EQ(v->Left(), 1);
  EXPECT_EQ(v->Height(), 4);
  TpgwRect r = v->GetRealBounds();
  EXPECT_EQ(r.Left, 11);
  EXPECT_EQ(r.Bottom, 26);
  EXPECT_EQ(v->AbsTop(), 22);
}

TEST(ReportTree, PublishedProperties) {
  std::vector<std::string> names;
  for (const TPropInfo* p : TestView::StaticClassInfo().Properties()) names.push_back(p->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Description", "IndexTag"}));
  TestView v(nullptr);
  const TPropInfo& indexTag = GetPropInfo(v, "IndexTag");
  EXPECT_FALSE(indexTag.IsStored(v));
  v.SetIndexTag(3);
  EXPECT_TRUE(indexTag.IsStored(v));
  std::vector<std::string> font;
  for (const TPropInfo* p : TpgwFont::StaticClassInfo().Properties()) font.push_back(p->Name());
  EXPECT_EQ(font, (std::vector<std::string>{"Charset", "Color", "Height", "Name", "Orientation", "Pitch",
                                            "Size", "Style", "Quality"}));
  EXPECT_FALSE(GetPropInfo(v.Font(), "Size").IsStored(v.Font()));
}

TEST(ClassRegistry, ReportClassesInOrderAndCaseInsensitive) {
  const auto& list = ReportClassList();
  ASSERT_EQ(list.size(), 35u);
  EXPECT_STREQ(list.front().Name, "TpgwChild");
  EXPECT_STREQ(list[23].Name, "TpgwReport");
  EXPECT_STREQ(list.back().Name, "TpgwDigitalSignatureView");
  RegisterReportClasses();
  RegisterReportClasses();  // harmless twice
  const TClassInfo* cls = FindReportClass(u"tpgwREPORT");
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(cls, &TpgwReport::StaticClassInfo());
  EXPECT_EQ(FindReportClass(u"TpgwNoSuchView"), nullptr);
  EXPECT_FALSE(ProvideReportClass("TpgwNoSuchView", &TestView::StaticClassInfo));
}

TEST(ClassRegistry, PaletteCollection) {
  pgwObjects().Clear();
  RegisterObject1(TestView::StaticClassInfo(), nullptr, u"hint");
  RegisterObject1(TestView::StaticClassInfo(), nullptr, u"again");  // same flags: ignored
  RegisterObject1(TestView::StaticClassInfo(), nullptr, u"variant", WideString(), 2);
  RegisterCategory(u"Other", nullptr, 5, u"cat");
  ASSERT_EQ(pgwObjects().Count(), 3);
  EXPECT_EQ(pgwObjects().Items(0).Category, TpgwObjectCategories{ctReport});
  EXPECT_EQ(pgwObjects().Items(2).ClassRef, nullptr);
  EXPECT_NE(ClassRegistry().Find("TpgwMemoView"), nullptr);
  Unregister(TestView::StaticClassInfo());
  EXPECT_EQ(pgwObjects().Count(), 1);
  pgwObjects().Clear();
}
