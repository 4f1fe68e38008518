#include "support/resources.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include <unistd.h>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "storage/xml_document.h"

namespace pagewright {
namespace {

std::string U8(const WideString& s) {
  return Utf16ToUtf8(s);
}

std::string Table(const std::string& entries, const std::string& root = "Resources",
                  const std::string& header = "<?xml version=\"1.1\" encoding=\"utf-8\"?>") {
  return header + "<" + root + " CodePage=\"1250\">" + entries + "</" + root + ">";
}

TEST(Resources, TextsThatOtherSubsystemsQuote) {
  const std::map<std::string, std::string> expected = {
      {"clErrors", "The following error(s) have occured:"},
      {"clDSNotExist", "Dataset \"%s\" does not exist"},
      {"clDSNotIncl", "(dataset is not included in Report.DataSets)"},
      {"clDecompressError", "Stream decompress error"},
      {"clCantRen", "Could not rename %s, it was introduced in the ancestor report"},
      {"clCirRefNotAllow", "Circular child reference is not allowed"},
      {"clDupName", "Duplicate name"},
      {"clExprError", "Error in expression"},
      {"clErrorInExp", "Error in Calc expression:"},
      {"clUnknownVar", "Unknown variable or datafield:"},
      {"clScrError", "Script error at %s: %s"},
      {"clNoPrinters", "No printers installed on your system"},
      {"xrCantFindClass", "Cannot find class"},
      {"dbFldNotFound", "Field not found:"},
      {"dbNotConn", "DataSet %s is not connected to data"},
      {"enUnconnHeader", "Unconnected header/footer"},
      {"enUnconnGroup", "No data band for the group"},
      {"enUnconnGFooter", "No group header for"},
      {"enBandPos", "Incorrect band position:"},
      {"prRunningFirst", "First pass: page %d"},
      {"prRunning", "Preparing page %d"},
      {"prPrinting", "Printing page %d"},
      {"prExporting", "Exporting page %d"},
      {"mbError", "Error"},
      {"erInvalidImg", "Invalid image format"},
      {"PDFexport", "PDF file"},
      {"JPEGexport", "JPEG image"},
      {"JPEGexportFilter", "Jpeg image (*.jpg)|*.jpg"},
      {"163", "File"},
      {"8707", "Adobe PDF file (*.pdf)|*.pdf"},
      {"8708", ".pdf"},
      {"poDirect", "Direct (1-9)"},  // stored with a leading "!"
      {"SLangNotFound", "Language '%s' not found"},
      {"SInvalidLanguage", "Invalid language definition"},
      {"SIdRedeclared", "Identifier redeclared: "},
      {"SStringError", "Strings do not have properties or methods"},
      {"SForError", "For loop variable must be numeric variable"},
      {"SEventError", "Event handler must be a procedure"},
      {"Code39 Extended", "Code39 Extended"},
      {"MasterData", "MasterData"},
      // keys no table holds: the key itself
      {"prDupl", "prDupl"},
      {"prInvProp", "prInvProp"},
      {"clDecryptError", "clDecryptError"},
      {"Invalid password", "Invalid password"},
      {"obText", "obText"},
      {"dsComprRepFilter", "dsComprRepFilter"},
  };
  for (const auto& [key, text] : expected) EXPECT_EQ(U8(ResourceGet(key)), text) << key;
  EXPECT_EQ(U8(ResourceText(163)), "File");
  EXPECT_EQ(U8(ResourceGet("CLERRORS")), "The following error(s) have occured:");
  EXPECT_EQ(U8(ResourceGet("clerrors")), "The following error(s) have occured:");
}

TEST(Resources, BuiltInTablesHaveTheirEntriesAndCodePage) {
  struct Case {
    std::string_view xml;
    int entries;
  } cases[] = {{BuiltinMainResources(), 257}, {BuiltinExportResources(), 327}};
  TpgwResources both;
  for (const auto& c : cases) {
    TpgwResources store;
    store.AddXML(c.xml);
    EXPECT_EQ(store.Count(), c.entries);
    EXPECT_EQ(store.CP(), 1252u);
    both.AddXML(c.xml);
  }
  EXPECT_EQ(both.Count(), 257 + 327);  // no key in both tables
  // Every entry has a text of its own (a missing one would read back as the key).
  TpgwXMLDocument doc;
  for (const auto& c : cases) {
    doc.LoadFromString(c.xml);
    for (const auto& item : doc.Root()->Children()) {
      WideString key = item->GetProp(u"Name");
      EXPECT_FALSE(DecodeXmlEntities(item->GetProp(u"Text")).empty()) << U8(key);
    }
  }
}

TEST(Resources, LaterTablesReplaceTextsKeyByKey) {
  TpgwResources store;
  store.AddXML(BuiltinMainResources());
  const int before = store.Count();
  store.AddXML(Table("<StrRes Name=\"CLERRORS\" Text=\"Fehler:\"/><StrRes Name=\"newKey\" Text=\"n\"/>"));
  EXPECT_EQ(U8(store.Get("clErrors")), "Fehler:");
  EXPECT_EQ(U8(store.Get("clDupName")), "Duplicate name");
  EXPECT_EQ(store.Count(), before + 1);
  EXPECT_EQ(store.CP(), 1250u);
}

TEST(Resources, TextsAreDecodedTwice) {
  TpgwResources store;
  store.AddXML(
      Table("<StrRes Name=\"q\" Text=\"say &#38;#34;hi&#38;#34;\"/>"
            "<StrRes Name=\"crlf\" Text=\"a&#13;&#10;b\"/>"
            "<StrRes Name=\"amp\" Text=\"R&#38;#38;D &#38;amp;\"/>"
            "<StrRes Name=\"bang\" Text=\"!!x\"/>"
            "<StrRes Name=\"utf\" Text=\"\xC3\x89t\xC3\xA9 \xE2\x82\xAC\"/>"));
  struct Case {
    const char* key;
    WideString text;
  } cases[] = {{"q", u"say \"hi\""},
               {"crlf", u"a\r\nb"},
               {"amp", u"R&D &"},
               {"bang", u"!x"},
               {"utf", u"\u00C9t\u00E9 \u20AC"}};
  for (const auto& c : cases) EXPECT_EQ(store.Get(c.key), c.text) << c.key;
  EXPECT_EQ(store.Get("!lone"), u"lone");  // also for a key returned for lack of a text
}

TEST(Resources, OldFormatTablesAreReadAsUtf8AfterDecoding) {
  TpgwResources store;
  store.AddXML(
      Table("<StrRes Name=\"k\" Text=\"\xC3\x89t\xC3\xA9\"/>", "Resources", "<?xml version=\"1.0\"?>"));
  EXPECT_EQ(store.Get("k"), u"\u00C9t\u00E9");
}

TEST(Resources, TableFailures) {
  TpgwResources store;
  store.Add("kept", "yes");
  EXPECT_THROW(store.AddXML(Table("<StrRes Name=\"a\" Text=\"1\"")), TpgwInvalidXMLException);
  EXPECT_THROW(store.AddXML("<?xml version=\"1.1\"?><Resources><StrRes Name=\"a\" Text=\"1\"/></Resources>"),
               EConvertError);  // no CodePage: nothing of that table
  EXPECT_THROW(
      store.AddXML(
          "<?xml version=\"1.1\"?><Resources CodePage=\"x\"><StrRes Name=\"a\" Text=\"1\"/></Resources>"),
      EConvertError);
  int hookCalls = 0;
  store.SetVMResourcesHook([&](std::string_view, const WideString&) { ++hookCalls; });
  store.AddXML(Table("<StrRes Name=\"b\" Text=\"1\"/>", "resources"));  // root name is case-sensitive
  store.AddXML(Table("<strres Name=\"c\" Text=\"1\"/><Other Name=\"d\" Text=\"1\"/>"));
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(U8(store.Get("kept")), "yes");
  EXPECT_EQ(U8(store.Get("a")), "a");
  EXPECT_EQ(hookCalls, 2 * 17);  // script messages refreshed after each table that loaded
}

TEST(Resources, VMResourcesHookReceivesTheScriptMessagesInOrder) {
  TpgwResources store;
  store.AddXML(BuiltinMainResources());
  std::vector<std::pair<std::string, std::string>> got;
  store.SetVMResourcesHook(
      [&](std::string_view key, const WideString& text) { got.emplace_back(key, U8(text)); });
  store.AddStrings(u"SIncompatibleTypes=Types do not match");
  store.UpdateVMResources();
  ASSERT_EQ(got.size(), 17u);
  EXPECT_EQ(got.front(), (std::pair<std::string, std::string>{"SLangNotFound", "Language '%s' not found"}));
  EXPECT_EQ(got[4], (std::pair<std::string, std::string>{"SIncompatibleTypes", "Types do not match"}));
  EXPECT_EQ(got.back().first, "SEventError");
}

TEST(Resources, AddStringsTakesKeyAndValueAroundTheFirstEquals) {
  TpgwResources store;
  store.AddStrings(u"a=1\r\nb=x=y\n=novalue\nnokey=\nnoequals\rc=3\r\n\r\n");
  EXPECT_EQ(store.Count(), 3);
  EXPECT_EQ(store.Get("a"), u"1");
  EXPECT_EQ(store.Get("b"), u"x=y");
  EXPECT_EQ(store.Get("c"), u"3");
  EXPECT_EQ(store.Get("nokey"), u"nokey");
  EXPECT_EQ(store.Get("noequals"), u"noequals");
}

TEST(Resources, KeysKeepTheirFirstSpellingAndIndex) {
  TpgwResources store;
  store.AddW(u"\u00C9tat", u"1");
  store.AddW(u"\u00E9TAT", u"2");
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(store.Get(u"\u00C9TAT"), u"2");
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.Get(u"\u00C9tat"), u"\u00C9tat");
}

class ResourceFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("pw_res_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const char* name, const std::string& bytes) {
    std::ofstream((dir_ / name).string(), std::ios::binary) << bytes;
  }
  std::filesystem::path dir_;
};

TEST_F(ResourceFiles, LanguageFileLoadsAndMissingFileIsIgnored) {
  Write("german.pwc", Table("<StrRes Name=\"clErrors\" Text=\"Fehler\"/>"));
  TpgwResources store;
  store.AddXML(BuiltinMainResources());
  store.LoadFromFile((dir_ / "missing.pwc").string());
  EXPECT_EQ(U8(store.Get("clErrors")), "The following error(s) have occured:");
  store.LoadFromFile((dir_ / "german.pwc").string());
  EXPECT_EQ(U8(store.Get("clErrors")), "Fehler");
}

TEST_F(ResourceFiles, LanguagesComeFromPwcFileNames) {
  for (const char* f : {"GERMAN.PWC", "french.pwc", "Spanish.Pwc", "notes.txt", "a.pwc.pwc"}) Write(f, "");
  std::filesystem::create_directories(dir_ / "folder.pwc");
  auto langs = TpgwResources::FindLanguages(dir_.string());
  std::vector<std::string> names;
  for (const auto& l : langs) names.push_back(U8(l));
  EXPECT_EQ(names, (std::vector<std::string>{"A.pwc", "French", "German", "Spanish"}));
}

}  // namespace
}  // namespace pagewright
