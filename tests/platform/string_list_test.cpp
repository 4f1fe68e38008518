#include "platform/string_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"

namespace pagewright {
namespace {

std::vector<WideString> Items(const TStringList& l) {
  std::vector<WideString> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l[i]);
  return v;
}

using V = std::vector<WideString>;

template <typename F>
void ExpectListError(F f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected " << message;
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.ClassName(), "EStringListError");
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(StringList, SortedListsHandleDuplicatesAndCase) {
  TStringList l;
  l.SetSorted(true);
  EXPECT_EQ(l.Add(u"pear"), 0);
  EXPECT_EQ(l.Add(u"Apple"), 0);
  EXPECT_EQ(l.Add(u"\u00C9clair"), 2);  // after the ASCII letters
  EXPECT_EQ(l.Add(u"APPLE"), 0);        // dupIgnore: the existing index, nothing added
  EXPECT_EQ(Items(l), (V{u"Apple", u"pear", u"\u00C9clair"}));
  int index = -1;
  EXPECT_TRUE(l.Find(u"\u00E9CLAIR", index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(l.Find(u"banana", index));
  EXPECT_EQ(index, 1);
  EXPECT_EQ(l.IndexOf(u"PEAR"), 1);

  l.SetDuplicates(dupError);
  ExpectListError([&] { l.Add(u"apple"); }, "String list does not allow duplicates");
  EXPECT_EQ(l.Count(), 3);
  l.SetDuplicates(dupAccept);
  l.Add(u"apple");
  EXPECT_EQ(l.Count(), 4);

  l.SetCaseSensitive(true);  // re-sorts ordinally
  EXPECT_EQ(Items(l), (V{u"Apple", u"apple", u"pear", u"\u00C9clair"}));
  EXPECT_EQ(l.IndexOf(u"PEAR"), -1);
  ExpectListError([&] { l.Insert(0, u"x"); }, "Operation not allowed on sorted list");
  ExpectListError([&] { l.SetStrings(0, u"x"); }, "Operation not allowed on sorted list");

  TStringList u;  // unsorted lists keep duplicates and order
  u.Add(u"b");
  u.Add(u"a");
  u.Add(u"B");
  EXPECT_EQ(u.IndexOf(u"b"), 0);
  u.SetSorted(true);
  EXPECT_EQ(Items(u), (V{u"a", u"b", u"B"}));  // stable
}

TEST(StringList, TextSplitsOnEveryLineEnd) {
  struct Case {
    const char16_t* text;
    V items;
  } cases[] = {
      {u"", {}},
      {u"a", {u"a"}},
      {u"a\r\nb\nc\rd", {u"a", u"b", u"c", u"d"}},
      {u"a\r\n", {u"a"}},
      {u"a\r\n\r\n", {u"a", u""}},
      {u"\n", {u""}},
      {u"a\n\rb", {u"a", u"", u"b"}},
      {u"a\r\r\nb", {u"a", u"", u"b"}},
  };
  for (const auto& c : cases) {
    TStringList l;
    l.SetText(c.text);
    EXPECT_EQ(Items(l), c.items) << Utf16ToUtf8(c.text);
  }
  TStringList l;
  l.SetText(u"begin\n\nend.");
  EXPECT_EQ(l.Text(), u"begin\r\n\r\nend.\r\n");
}

TEST(StringList, DelimitedAndCommaText) {
  TStringList l;
  l.Add(u"plain");
  l.Add(u"two words");
  l.Add(u"say \"hi\"");
  l.Add(u"");
  l.Add(u"a,b");
  EXPECT_EQ(l.CommaText(), u"plain,\"two words\",\"say \"\"hi\"\"\",,\"a,b\"");
  TStringList r;
  r.SetCommaText(l.CommaText());
  EXPECT_EQ(Items(r), Items(l));

  struct Case {
    const char16_t* text;
    V items;
  } cases[] = {
      {u"a b,c", {u"a", u"b", u"c"}},  // blanks separate too
      {u"  a , b  ", {u"a", u"b"}},
      {u"a,", {u"a", u""}},
      {u"\"x, y\"z", {u"x, y", u"z"}},
      {u"\"open", {u"open"}},
      {u"", {}},
  };
  for (const auto& c : cases) {
    r.SetCommaText(c.text);
    EXPECT_EQ(Items(r), c.items) << Utf16ToUtf8(c.text);
  }
  TStringList one;
  one.Add(u"");
  EXPECT_EQ(one.CommaText(), u"\"\"");

  TStringList s;
  s.SetDelimiter(u';');
  s.SetStrictDelimiter(true);
  s.SetDelimitedText(u" a b ;c");
  EXPECT_EQ(Items(s), (V{u" a b ", u"c"}));
  EXPECT_EQ(s.DelimitedText(), u" a b ;c");
}

TEST(StringList, NamesAndValues) {
  TStringList l;
  l.SetText(u"Name=MasterData1\nTop=1=2\nflag\nEmpty=");
  EXPECT_EQ(l.Names(0), u"Name");
  EXPECT_EQ(l.ValueFromIndex(1), u"1=2");
  EXPECT_EQ(l.Names(2), u"");
  EXPECT_EQ(l.ValueFromIndex(2), u"");
  EXPECT_EQ(l.Values(u"TOP"), u"1=2");
  EXPECT_EQ(l.IndexOfName(u"empty"), 3);
  EXPECT_EQ(l.IndexOfName(u"flag"), -1);
  l.SetValues(u"Left", u"5");
  EXPECT_EQ(l[4], u"Left=5");
  l.SetValues(u"top", u"3");
  EXPECT_EQ(l[1], u"top=3");
  l.SetValues(u"Name", u"");  // an empty value removes the item
  EXPECT_EQ(l.IndexOfName(u"Name"), -1);
  EXPECT_EQ(l.Count(), 4);
  l.AddPair(u"k", u"v");
  EXPECT_EQ(l.Values(u"K"), u"v");
}

TEST(StringList, IndexChecksObjectsAndEditing) {
  TStringList l;
  ExpectListError([&] { (void)l[0]; }, "List index out of bounds (0)");
  l.Add(u"a");
  l.Add(u"b");
  l.Add(u"c");
  ExpectListError([&] { (void)l[-1]; }, "List index out of bounds (-1)");
  ExpectListError([&] { l.Delete(3); }, "List index out of bounds (3)");
  ExpectListError([&] { l.Insert(4, u"x"); }, "List index out of bounds (4)");
  ExpectListError([&] { l.Exchange(0, 9); }, "List index out of bounds (9)");
  l.Insert(3, u"d");  // Count itself is a valid insert position
  l.Move(0, 3);
  EXPECT_EQ(Items(l), (V{u"b", u"c", u"d", u"a"}));
  l.Exchange(0, 1);
  EXPECT_EQ(Items(l), (V{u"c", u"b", u"d", u"a"}));
  l.CustomSort([](const TStringList& s, int i, int j) { return WideCompareStr(s[j], s[i]); });  // descending
  EXPECT_EQ(Items(l), (V{u"d", u"c", u"b", u"a"}));

  int deleted = 0;
  int payload[2] = {7, 8};
  {
    TStringList owner;
    owner.SetOwnsObjects([&](void* p) {
      ++deleted;
      EXPECT_TRUE(p == &payload[0] || p == &payload[1]);
    });
    owner.AddObject(u"x", &payload[0]);
    owner.AddObject(u"y", &payload[1]);
    owner.Add(u"z");  // no object: nothing to release
    EXPECT_EQ(*owner.ObjectAs<int>(1), 8);
    EXPECT_EQ(owner.IndexOfObject(&payload[1]), 1);
    owner.Delete(0);
    EXPECT_EQ(deleted, 1);
  }
  EXPECT_EQ(deleted, 2);
}

TEST(StringList, ChangeNotificationsAndAssign) {
  TStringList l;
  int changes = 0;
  l.OnChange = [&](TStringList&) { ++changes; };
  l.Add(u"a");
  EXPECT_EQ(changes, 1);
  l.BeginUpdate();
  l.Add(u"b");
  l.Add(u"c");
  EXPECT_EQ(changes, 1);
  l.EndUpdate();
  EXPECT_EQ(changes, 2);
  l.SetText(u"x\ny");  // one notification for the whole text
  EXPECT_EQ(changes, 3);

  TStringList target;
  target.SetSorted(true);
  target.Add(u"old");
  target.Assign(l);
  EXPECT_EQ(Items(target), (V{u"x", u"y"}));
  EXPECT_TRUE(target.Sorted());  // the target keeps its own settings
  EXPECT_TRUE(target.Equals(l));
  l.AddStrings(l);
  EXPECT_EQ(Items(l), (V{u"x", u"y", u"x", u"y"}));
}

TEST(StringList, LoadsAndSavesTextStreams) {
  struct Case {
    std::string bytes;
    V items;
  } cases[] = {
      {"a\r\n\xC3\xA9", {u"a", u"\u00E9"}},  // UTF-8
      {"\xEF\xBB\xBF"
       "b\n",
       {u"b"}},  // UTF-8 with BOM
      {std::string("\xFF\xFE"
                   "c\0\r\0\n\0\x16\x04",
                   10),
       {u"c", u"\u0416"}},                                             // UTF-16LE
      {std::string("\xFE\xFF\0d\0\n\x04\x16", 8), {u"d", u"\u0416"}},  // UTF-16BE
      {"caf\xE9", {u"caf\u00E9"}},                                     // not UTF-8: the system code page
  };
  for (const auto& c : cases) {
    TStringStream in(c.bytes);
    TStringList l;
    l.LoadFromStream(in);
    EXPECT_EQ(Items(l), c.items);
  }
  TStringList l;
  l.SetText(u"\u00C9\nz");
  TStringStream out;
  l.SaveToStream(out, true);
  EXPECT_EQ(out.DataString(), "\xEF\xBB\xBF\xC3\x89\r\nz\r\n");
  EXPECT_THROW(l.LoadFromFile("/nonexistent/pw/list.txt"), EFOpenError);
}

}  // namespace
}  // namespace pagewright
