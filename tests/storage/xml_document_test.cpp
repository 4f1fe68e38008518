#include "storage/xml_document.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include <unistd.h>

#include "platform/unicode.h"

namespace pagewright {
namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>";

std::string Doc(const std::string& body) {
  return kHeader + body;
}

std::string U8(const WideString& s) {
  return Utf16ToUtf8(s);
}

// Loads bytes and expects the reader's format error.
void ExpectInvalid(const std::string& bytes) {
  TpgwXMLDocument doc;
  try {
    doc.LoadFromString(bytes);
    ADD_FAILURE() << "accepted: " << bytes.substr(0, 200);
  } catch (const TpgwInvalidXMLException& e) {
    EXPECT_STREQ(e.what(), "Invalid file format");
    EXPECT_STREQ(e.ClassName(), "TpgwInvalidXMLException");
  }
}

TEST(XmlText, EncodeWritesReferencesForMarkupAndLineBreaks) {
  struct Case {
    WideString in;
    WideString out;
  } cases[] = {
      {u"a\"b&c<d>e", u"a&#34;b&#38;c&#60;d&#62;e"},
      {u"l1\r\nl2", u"l1&#13;&#10;l2"},
      {u"say &quot;hi&quot;", u"say &#34;hi&#34;"},
      {u"&quo", u"&#38;quo"},
      {u"tab\there \u00C9\u20AC", u"tab\there \u00C9\u20AC"},  // kept as they are
      {WideString(u"a\0b", 3), u"a&#0;b"},                     // short text: NUL as a reference
      {WideString(u"0123456789012345678901234567890\0", 32), u"0123456789012345678901234567890 "},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeXmlText(c.in), c.out) << U8(c.in);
}

TEST(XmlText, DecodeReadsReferencesOncePerPosition) {
  struct Case {
    WideString in;
    WideString out;
  } cases[] = {
      {u"&#34;&quot;&amp;&lt;&gt;", u"\"\"&<>"},
      {u"&#38;#34;", u"&#34;"},  // a decoded ampersand starts nothing
      {u"&#65601;", u"A"},       // modulo 65536
      {u"&apos; &#x41; &foo; x&", u"&apos; &#x41; &foo; x&"},
      {u"&#65", u"&#65"},  // no semicolon anywhere after it
      {u"&#13;&#10;", u"\r\n"},
      {u"&&#38;&", u"&&&"},
      {u"\u00E9&#8364;", u"\u00E9\u20AC"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeXmlEntities(c.in), c.out) << U8(c.in);
  EXPECT_THROW(DecodeXmlEntities(u"&#1a;"), EConvertError);
  EXPECT_THROW(DecodeXmlEntities(u"&#1.5; x"), EConvertError);
  EXPECT_THROW(DecodeXmlEntities(u"&#99999999999;"), EConvertError);
}

TEST(XmlText, ManyUnterminatedReferencesStayLinear) {
  WideString s;
  for (int i = 0; i < 200000; ++i) s += u"&#";
  EXPECT_EQ(DecodeXmlEntities(s), s);
}

TEST(XmlText, ValueToXmlTextByKind) {
  struct Case {
    Variant v;
    WideString text;
  } cases[] = {
      {Variant(42), u"42"},
      {Variant::FromSmallint(-7), u"-7"},
      {Variant::FromByte(200), u"200"},
      {Variant(2.5), u"2.5"},
      {Variant(0.1), u"0.1"},
      {Variant::FromCurrency(12.5L), u"12.5"},
      {Variant::FromDateTime(45000.75), u"3/15/2023"},  // the short date, no time
      {Variant::FromWord(5), u""},
      {Variant(int64_t{5}), u""},  // 64-bit integers are not written
      {Variant(true), u"1"},
      {Variant(false), u"0"},
      {Variant(u"a\"b<c"), u"a&#34;b&#60;c"},
      {Variant(), u""},
      {Variant::Null(), u""},
  };
  for (const auto& c : cases) EXPECT_EQ(ValueToXmlText(c.v), c.text) << U8(c.text);
}

TEST(XmlItem, HostileAttributeValuesSurviveWriteAndRead) {
  const WideString values[] = {
      u"plain",
      u"\"quoted\" & <tagged> 'single'",
      u"line1\r\nline2\nline3\r",
      u"ctl \x01\x02\x1F\x7F\ttab",
      u"ALMAC\u00C9N \u20AC \U0001F4E6 \u4E2D\u6587",
      u"&amp; stays &#38; literal &#x41;",
      u"",
      u"  leading and trailing  ",
      u"/",
      u"ld=\"0\"",
      WideString(u"nul\0inside", 10),
  };
  TpgwXMLDocument doc;
  doc.SetAutoIndent(true);
  doc.Root()->SetName(u"root");
  for (const auto& v : values) {
    TpgwXMLItem* item = doc.Root()->Add(u"item");
    item->SetProp(u"v", v);
    item->SetProp(u"after", u"x");
  }
  TpgwXMLDocument back;
  back.LoadFromString(doc.SaveToString());
  ASSERT_EQ(back.Root()->Count(), static_cast<int>(std::size(values)));
  for (int i = 0; i < back.Root()->Count(); ++i) {
    EXPECT_EQ(back.Root()->Items(i)->GetProp(u"v"), values[i]) << i;
    EXPECT_EQ(back.Root()->Items(i)->GetProp(u"after"), u"x") << i;
  }
}

TEST(XmlItem, QuotEntityInValueReadsBackAsOneQuotationMark) {
  TpgwXMLItem item;
  item.SetProp(u"a", u"x&quot;y");
  EXPECT_EQ(item.Text(), u"a=\"x&#34;y\"");
  EXPECT_EQ(item.GetProp(u"a"), u"x\"y");
}

TEST(XmlItem, AttributeLookupRules) {
  TpgwXMLItem item;
  item.SetText(u"Name=\"x\" Other='single' a=\"1\"\tTabbed=\"2\"\nBroken=\"3\" \u00C9t\u00E9=\"4\" Open=\"5");
  struct Case {
    const char16_t* name;
    bool exists;
    const char16_t* value;
  } cases[] =
      {
          {u"name", true, u"x"},          {u"NAME", true, u"x"},
          {u"Other", false, u""},         {u"a", true, u"1"},
          {u"Tabbed", false, u""},        {u"Broken", false, u""},
          {u"\u00C9T\u00C9", true, u"4"},  // non-ASCII names fold too
          {u"Open", true, u"5"},           // unterminated: up to the end
          {u"ame", false, u""},
      };
  for (const auto& c : cases) {
    EXPECT_EQ(item.PropExists(c.name), c.exists) << U8(c.name);
    EXPECT_EQ(item.GetProp(c.name), c.value) << U8(c.name);
  }
}

TEST(XmlItem, SetPropAndDeletePropEditTheRawText) {
  struct Case {
    const char16_t* before;
    const char16_t* op;  // "set" or "del"
    const char16_t* name;
    const char16_t* value;
    const char16_t* after;
  } cases[] = {
      {u"", u"set", u"a", u"1", u"a=\"1\""},
      {u"a=\"1\"", u"set", u"b", u"<", u"a=\"1\" b=\"&#60;\""},
      {u"a=\"1\" ", u"set", u"b", u"2", u"a=\"1\" b=\"2\""},
      {u"A=\"1\" b=\"2\"", u"set", u"a", u"long value", u"a=\"long value\" b=\"2\""},
      {u"a=\"1\" b=\"2\" c=\"3\"", u"del", u"B", u"", u"a=\"1\" c=\"3\""},
      {u"a=\"1\" b=\"2\"", u"del", u"b", u"", u"a=\"1\" "},
      {u"a=\"1\" b=\"2\"", u"del", u"a", u"", u"b=\"2\""},
      {u"a=\"1\"", u"del", u"zz", u"", u"a=\"1\""},
  };
  for (const auto& c : cases) {
    TpgwXMLItem item;
    item.SetText(c.before);
    if (WideString(c.op) == u"set")
      item.SetProp(c.name, c.value);
    else
      item.DeleteProp(c.name);
    EXPECT_EQ(item.Text(), c.after) << U8(c.before) << " " << U8(c.op) << " " << U8(c.name);
  }
}

TEST(XmlItem, TreeOperations) {
  TpgwXMLItem root;
  TpgwXMLItem* a = root.Add(u"a");
  TpgwXMLItem* b = root.Add(u"B");
  TpgwXMLItem* c = a->Add(u"c");
  EXPECT_EQ(root.Find(u"b"), 1);
  EXPECT_EQ(root.Find(u"c"), -1);
  EXPECT_EQ(root.FindItem(u"A"), a);
  TpgwXMLItem* d = root.FindItem(u"d");
  EXPECT_EQ(root.Count(), 3);
  EXPECT_EQ(d->Parent(), &root);
  EXPECT_EQ(c->Root(), &root);

  b->AddItem(c);  // moves from a to b
  EXPECT_EQ(a->Count(), 0);
  EXPECT_EQ(b->Items(0), c);
  EXPECT_EQ(c->Parent(), b);
  root.InsertItem(0, d);
  EXPECT_EQ(root.IndexOf(d), 0);
  EXPECT_THROW(c->AddItem(b), EInvalidOperation);  // would make a cycle
  EXPECT_THROW(root.Items(7), EListError);

  c->Free();
  EXPECT_EQ(b->Count(), 0);
  auto orphan = std::make_unique<TpgwXMLItem>();
  orphan->SetData(u"o", u"x=\"1\"", u"v");
  TpgwXMLItem* adopted = b->AddItem(std::move(orphan));
  EXPECT_EQ(adopted->Parent(), b);
  EXPECT_EQ(adopted->GetProp(u"x"), u"1");

  b->SetUnloadable(true);
  b->Clear();
  EXPECT_EQ(b->Count(), 0);
  EXPECT_FALSE(b->Loaded());
}

TEST(XmlReader, ElementShapes) {
  struct Case {
    std::string body;
    std::string expect;  // name(text)[children] of the root, recursively
  } cases[] = {
      {"<a></a>", "a()"},
      {"<a/>", "a()"},
      {"<a x=\"1\"/>", "a(x=\"1\")"},
      {"<a x=\"1\" />", "a(x=\"1\" )"},
      {"<a><b/></A>", "a()[b()]"},
      {"<a>text<b>more</b> tail</a>", "a()[b()]"},
      {"\xEF\xBB\xBF<a/>", "a()"},
      {"<!-- c --><a><!-- x > y --><b/><!----></a>", "a()[b()]"},
      {"<a><!-- a --->b/> still --><c/></a>", "a()[c()]"},  // three dashes do not end it
      {"<a x=\"\xC3\x89\" y=\"&#233;\"/>", "a(x=\"\xC3\x89\" y=\"&#233;\")"},
      {"<a\tx=\"1\"/>", "a\tx=\"1\"()"},    // only a blank separates
      {"<a><b><c/></b>", "a()[b()[c()]]"},  // truncated after the last complete element
      {"", "()"},
  };
  for (const auto& c : cases) {
    TpgwXMLDocument doc;
    doc.LoadFromString(Doc(c.body));
    std::function<std::string(const TpgwXMLItem*)> show = [&](const TpgwXMLItem* it) {
      std::string s = U8(it->Name()) + "(" + U8(it->Text()) + ")";
      if (it->Count()) {
        s += "[";
        for (int i = 0; i < it->Count(); ++i) {
          if (i) s += ",";
          s += show(it->Items(i));
        }
        s += "]";
      }
      return s;
    };
    EXPECT_EQ(show(doc.Root()), c.expect) << c.body;
  }
}

TEST(XmlReader, OldFormatReadsAttributeBytesInTheCodePage) {
  TpgwXMLDocument oldDoc;
  oldDoc.LoadFromString("<?xml version=\"1.0\"?><a n=\"ALMAC\xC9N\"/>");
  EXPECT_TRUE(oldDoc.OldVersion());
  EXPECT_EQ(oldDoc.Root()->GetProp(u"n"), u"ALMAC\u00C9N");

  TpgwXMLDocument newDoc;
  newDoc.LoadFromString("<?xml version=\"1.1\" encoding=\"utf-8\"?><a n=\"ALMAC\xC3\x89N\"/>");
  EXPECT_FALSE(newDoc.OldVersion());
  EXPECT_EQ(newDoc.Root()->GetProp(u"n"), u"ALMAC\u00C9N");

  TpgwXMLDocument standalone;
  standalone.LoadFromString(Doc("<a n=\"\xC3\x89\"/>"));
  EXPECT_FALSE(standalone.OldVersion());
  EXPECT_EQ(standalone.Root()->GetProp(u"n"), u"\u00C9");
}

TEST(XmlReader, MalformedDocumentsRaiseInvalidFormat) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<d>";
  const std::string cases[] = {
      "<a/>",                        // no header
      "<xml version=\"1.0\"?><a/>",  // header without '?'
      Doc("<a x=\"<\"/>"),           // '<' inside a tag
      Doc("<a x=\"1\""),             // end of stream inside a tag
      Doc("<a><b></c></a>"),         // closing tag of another element
      Doc("<a></b>"),
      Doc("<a><!-- never closed </a>"),
      Doc(deep),  // nesting beyond the limit
  };
  for (const auto& c : cases) ExpectInvalid(c);
  std::string allowed;
  for (int i = 0; i < TpgwXMLReader::MaxDepth; ++i) allowed += "<d>";
  TpgwXMLDocument doc;
  EXPECT_NO_THROW(doc.LoadFromString(Doc(allowed)));
  EXPECT_NO_THROW(doc.LoadFromString(Doc("<a x=\"&#12b;\"/>")));
  EXPECT_THROW(doc.Root()->GetProp(u"x"), EConvertError);  // decoded on lookup only
}

TEST(XmlReader, HugeAttributeAndBufferBoundaries) {
  std::string big(300000, 'x');
  TpgwXMLDocument doc;
  doc.LoadFromString(Doc("<a v=\"" + big + "\"><b/></a>"));
  EXPECT_EQ(doc.Root()->GetProp(u"v").size(), big.size());
  // A tag that straddles every buffer boundary position.
  for (size_t pad = 4090; pad < 4100; ++pad) {
    TpgwXMLDocument d;
    d.LoadFromString(Doc(std::string(pad, ' ') + "<root k=\"v\"><c/></root>"));
    EXPECT_EQ(d.Root()->GetProp(u"k"), u"v");
    EXPECT_EQ(d.Root()->Count(), 1);
  }
}

TEST(XmlReader, LeavesTheStreamAfterTheLastByteConsumed) {
  TStringStream in(Doc("<a><b/></a>TRAILER"));
  TpgwXMLDocument doc;
  doc.LoadFromStream(in);
  EXPECT_EQ(in.ReadToEnd(), "TRAILER");
}

TEST(XmlWriter, ExactBytes) {
  TpgwXMLDocument doc;
  TpgwXMLItem* root = doc.Root();
  root->SetName(u"TpgwReport");
  root->SetText(u"Version=\"1\"");
  TpgwXMLItem* page = root->Add(u"TpgwReportPage");
  page->SetText(u" Name=\"P\u00E1ge1\"");  // already begins with a blank
  page->Add(u"TpgwMemoView")->SetValue(u"content");
  page->Add(u"Empty");
  TpgwXMLItem* unload = root->Add(u"U");
  unload->SetUnloadable(true);

  EXPECT_EQ(doc.SaveToString(),
            kHeader +
                "<TpgwReport Version=\"1\"><TpgwReportPage Name=\"P\xC3\xA1ge1\"><TpgwMemoView>content"
                "</TpgwMemoView><Empty/></TpgwReportPage><U ld=\"0\"/></TpgwReport>");
  doc.SetAutoIndent(true);
  EXPECT_EQ(doc.SaveToString(),
            kHeader +
                "\r\n<TpgwReport Version=\"1\">\r\n  <TpgwReportPage Name=\"P\xC3\xA1ge1\">\r\n"
                "    <TpgwMemoView>content</TpgwMemoView>\r\n    <Empty/>\r\n  </TpgwReportPage>\r\n"
                "  <U ld=\"0\"/>\r\n</TpgwReport>\r\n");
}

TEST(XmlWriter, LargeOutputIsIdenticalThroughTheBuffer) {
  TpgwXMLDocument doc;
  doc.Root()->SetName(u"r");
  for (int i = 0; i < 3000; ++i) doc.Root()->Add(u"i")->SetProp(u"n", WideString(i % 50, u'\u00E9'));
  std::string bytes = doc.SaveToString();
  TMemoryStream out;
  doc.SaveToStream(out);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Memory()), out.Size()), bytes);
  TpgwXMLDocument back;
  back.LoadFromString(bytes);
  ASSERT_EQ(back.Root()->Count(), 3000);
  EXPECT_EQ(back.Root()->Items(2999)->GetProp(u"n"), WideString(2999 % 50, u'\u00E9'));
  EXPECT_EQ(back.SaveToString(), bytes);
}

class XmlPartialLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("pw_xml_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

// Builds a document with two unloadable pages of objects.
void BuildPages(TpgwXMLDocument& doc) {
  doc.Root()->SetName(u"preparedreport");
  TpgwXMLItem* pages = doc.Root()->Add(u"previewpages");
  for (int p = 0; p < 2; ++p) {
    TpgwXMLItem* page = pages->Add(u"page");
    page->SetProp(u"n", WideString(1, static_cast<char16_t>(u'0' + p)));
    page->SetUnloadable(true);
    for (int o = 0; o < 3; ++o)
      page->Add(u"obj")->SetProp(u"t", u"\u00C9 <" + WideString(1, u'a' + o) + u">");
  }
}

TEST_F(XmlPartialLoading, MarkedElementsLoadOnDemandFromTheFile) {
  TpgwXMLDocument doc;
  BuildPages(doc);
  doc.SaveToFile(Path("r.xml"));  // saves and loads again, partially
  EXPECT_FALSE(std::filesystem::exists(Path("r.xml.tmp")));
  TpgwXMLItem* pages = doc.Root()->Items(0);
  ASSERT_EQ(pages->Count(), 2);
  TpgwXMLItem* page = pages->Items(1);
  EXPECT_TRUE(page->Unloadable());
  EXPECT_FALSE(page->Loaded());
  EXPECT_EQ(page->Count(), 0);
  EXPECT_EQ(page->Text(), u"n=\"1\"");  // the marker is not part of the text
  doc.LoadItem(page);
  ASSERT_EQ(page->Count(), 3);
  EXPECT_EQ(page->Items(2)->GetProp(u"t"), u"\u00C9 <c>");

  // Without partial loading the marker is dropped and the children stay.
  TFileStream in(Path("r.xml"), fmOpenRead);
  TpgwXMLDocument whole;
  whole.LoadFromStream(in, false);
  EXPECT_EQ(whole.Root()->Items(0)->Items(0)->Count(), 3);
  EXPECT_FALSE(whole.Root()->Items(0)->Items(0)->Unloadable());
}

TEST_F(XmlPartialLoading, UnloadedItemsGoToTheBackingFileAndComeBack) {
  TpgwXMLDocument doc;
  doc.SetTempDir(dir_.string());
  BuildPages(doc);
  TpgwXMLItem* page = doc.Root()->Items(0)->Items(0);
  page->Items(1)->SetProp(u"t", u"changed");
  doc.UnloadItem(page);
  EXPECT_TRUE(doc.TempFileCreated());
  EXPECT_EQ(std::filesystem::path(doc.TempFile()).parent_path(), dir_);
  EXPECT_EQ(std::filesystem::path(doc.TempFile()).filename().string().substr(0, 2), "pw");
  EXPECT_EQ(page->Count(), 0);
  doc.UnloadItem(doc.Root()->Items(0)->Items(1));

  // Saving writes unloaded items in full and leaves them unloaded.
  TpgwXMLDocument reread;
  reread.LoadFromString(doc.SaveToString());
  EXPECT_EQ(page->Count(), 0);
  EXPECT_EQ(reread.Root()->Items(0)->Items(0)->Items(1)->GetProp(u"t"), u"changed");
  EXPECT_EQ(reread.Root()->Items(0)->Items(1)->Count(), 3);

  doc.LoadItem(page);
  ASSERT_EQ(page->Count(), 3);
  EXPECT_EQ(page->Items(1)->GetProp(u"t"), u"changed");
  std::string tempFile = doc.TempFile();
  doc.Clear();
  EXPECT_FALSE(std::filesystem::exists(tempFile));
}

TEST_F(XmlPartialLoading, UnloadAfterPartialLoadKeepsOlderOffsetsValid) {
  {
    TpgwXMLDocument doc;
    BuildPages(doc);
    doc.SaveToFile(Path("r.xml"));
  }
  TpgwXMLDocument doc;
  doc.SetTempDir(dir_.string());
  doc.LoadFromFile(Path("r.xml"));
  TpgwXMLItem* first = doc.Root()->Items(0)->Items(0);
  TpgwXMLItem* second = doc.Root()->Items(0)->Items(1);
  doc.LoadItem(first);
  first->Add(u"extra");
  doc.UnloadItem(first);  // switches to a backing file of its own
  doc.LoadItem(second);
  EXPECT_EQ(second->Count(), 3);
  doc.LoadItem(first);
  EXPECT_EQ(first->Count(), 4);
}

TEST_F(XmlPartialLoading, SavingOverTheBackingFileKeepsUnloadedContent) {
  {
    TpgwXMLDocument doc;
    BuildPages(doc);
    doc.SaveToFile(Path("r.xml"));
  }
  TpgwXMLDocument doc;
  doc.LoadFromFile(Path("r.xml"));
  doc.Root()->Items(0)->Items(1)->SetProp(u"n", u"renamed");
  doc.SaveToFile(Path("r.xml"));  // the file being replaced is the one still read from
  TpgwXMLItem* page = doc.Root()->Items(0)->Items(1);
  EXPECT_EQ(page->GetProp(u"n"), u"renamed");
  doc.LoadItem(page);
  ASSERT_EQ(page->Count(), 3);
  EXPECT_EQ(page->Items(0)->GetProp(u"t"), u"\u00C9 <a>");
}

TEST_F(XmlPartialLoading, OldFormatBytesStayOldAfterUnloading) {
  const std::string bytes =
      "<?xml version=\"1.0\"?><r><p ld=\"0\"><o t=\"\xC9\"/></p><p ld=\"0\"><o t=\"\xC9\"/></p></r>";
  TStringStream stream(bytes);
  TpgwXMLDocument doc;
  doc.SetTempDir(dir_.string());
  doc.LoadFromStream(stream, true);
  ASSERT_TRUE(doc.OldVersion());
  TpgwXMLItem* first = doc.Root()->Items(0);
  TpgwXMLItem* second = doc.Root()->Items(1);
  doc.LoadItem(first);
  doc.UnloadItem(first);  // written back in UTF-8 into a backing file of its own
  doc.LoadItem(second);   // still the original's 8-bit bytes
  doc.LoadItem(first);
  EXPECT_EQ(first->Items(0)->GetProp(u"t"), u"\u00C9");
  EXPECT_EQ(second->Items(0)->GetProp(u"t"), u"\u00C9");
}

TEST(XmlDocument, MissingFileRaisesOpenError) {
  TpgwXMLDocument doc;
  EXPECT_THROW(doc.LoadFromFile("/nonexistent/dir/file.xml"), EFOpenError);
}

}  // namespace
}  // namespace pagewright
