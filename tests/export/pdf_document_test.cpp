#include "export/pdf/pdf_document.h"

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "export/pdf/pdf_page_content.h"
#include "export/pdf/pdf_security.h"
#include "export/pdf_export.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "render/bitmap.h"
#include "render/picture_codecs.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

using test_support::TempDir;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a checker; arguments are shell-quoted by the caller.
ToolRun RunTool(const std::string& command, const fs::path& errFile) {
  ToolRun r;
  FILE* p = popen((command + " 2>'" + errFile.string() + "'").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream e(errFile, std::ios::binary);
  r.err.assign(std::istreambuf_iterator<char>(e), {});
  return r;
}

// Pinned date, zone and identifier; random bytes from a counter that starts afresh with every
// environment.
TPDFEnvironment PinnedEnvironment() {
  auto counter = std::make_shared<uint8_t>(0);
  return {[] { return EncodeDate(2026, 3, 4) + EncodeTime(5, 6, 7, 0); }, [] { return -90; },
          [] { return std::string("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"); },
          [counter](std::span<uint8_t> bytes) {
            for (auto& b : bytes) b = (*counter)++;
          }};
}

std::vector<uint8_t> SampleJpeg() {
  TBitmap bitmap(48, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) bitmap.SetPixel(x, y, x < 24 ? 0x0000FF : 0xFF0000);
  TMemoryStream stream;
  EncodeJPEG(bitmap, 95, 96, false, stream);
  return std::vector<uint8_t>(stream.Bytes().begin(), stream.Bytes().end());
}

TFont MakeFont(const char16_t* name, int size, TFontStyles style = {}) {
  TFont font;
  font.SetName(name);
  font.SetSize(size);
  font.SetStyle(style);
  return font;
}

// Two A5 pages: text with non-ASCII letters, a framed rectangle, a line and the same JPEG twice.
std::string WriteSample(const TpgwPDFExport& settings) {
  TMemoryStream out;
  TpgwPDFDocument pdf(settings, out, PinnedEnvironment());
  pdf.Start();
  const auto jpeg = SampleJpeg();
  pdf.StartPage(559, 794, 10, 10);
  pdf.Rectangle(30, 40, 480, 100, 0xEEEEEE, clBlack, 2);
  pdf.TextOut(MakeFont(u"Arial", 20), 40, 80, u"ALMACÉN CENTRAL");
  pdf.TextOut(MakeFont(u"Arial", 12, {fsBold}), 40, 120, u"Bulto 1/2 – peso 12,5 kg");
  pdf.Line(30, 160, 510, 160, 0x0000FF, 1);
  const int image = pdf.AddJPEGImage(jpeg);
  pdf.DrawImage(image, 40, 200, 192, 128);
  TBitmap stripes(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) stripes.SetPixel(x, y, y % 2 ? 0x00FF00 : clWhite);
  pdf.DrawImage(pdf.AddBitmapImage(stripes, false), 300, 200, 64, 64);
  pdf.FinishPage();
  pdf.StartPage(559, 794, 10, 10);
  pdf.TextOut(MakeFont(u"Arial", 10), 40, 80, u"Segunda página");
  EXPECT_EQ(pdf.AddJPEGImage(jpeg), image) << "the same picture is one image object";
  pdf.DrawImage(image, 40, 200, 96, 64);
  pdf.Frame(30, 40, 480, 60, {ftLeft, ftRight, ftTop, ftBottom}, 0x808080, 1, fsDash);
  pdf.Shape(skEllipse, 300, 200, 150, 80, 0xCCFFCC, clBlack, 1);
  pdf.AddWebLink(300, 200, 150, 80, u" https://example.org/seguimiento?id=(42) ");
  pdf.FinishPage();
  pdf.Finish();
  return std::string(reinterpret_cast<const char*>(out.Bytes().data()), out.Bytes().size());
}

class PdfDocumentFiles : public ::testing::Test {
 protected:
  TempDir dir;
  fs::path Save(const std::string& bytes, const std::string& name) {
    const fs::path p = dir.path / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  ToolRun Tool(const std::string& command) { return RunTool(command, dir.path / "stderr.txt"); }
};

TEST_F(PdfDocumentFiles, EmbeddedSubsetPassesTheCheckersAndGivesTheTextBack) {
  TpgwPDFExport settings;
  settings.SetEmbeddedFonts(true);
  settings.SetTitle(u"Etiqueta de envío");
  const std::string bytes = WriteSample(settings);
  const fs::path file = Save(bytes, "sample.pdf");
  const std::string q = "'" + file.string() + "'";

  const ToolRun check = Tool("qpdf --check " + q);
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("No syntax or stream encoding errors"), std::string::npos) << check.out;

  const ToolRun page1 = Tool("pdftotext -f 1 -l 1 -enc UTF-8 " + q + " -");
  EXPECT_NE(page1.out.find("ALMACÉN CENTRAL"), std::string::npos) << page1.out;
  EXPECT_NE(page1.out.find("Bulto 1/2 – peso 12,5 kg"), std::string::npos) << page1.out;
  const ToolRun page2 = Tool("pdftotext -f 2 -l 2 -enc UTF-8 " + q + " -");
  EXPECT_NE(page2.out.find("Segunda página"), std::string::npos) << page2.out;

  // Two faces (regular and bold), each an embedded subset named with a six-letter tag.
  const ToolRun fonts = Tool("pdffonts " + q);
  std::regex row(R"(([A-Z]{6})\+Liberation Sans(,Bold)?\s+CID TrueType\s+Identity-H\s+yes\s+yes\s+yes)");
  const auto rows =
      std::distance(std::sregex_iterator(fonts.out.begin(), fonts.out.end(), row), std::sregex_iterator());
  EXPECT_EQ(rows, 2) << fonts.out;

  // The embedded glyphs are drawn: the title's area inside the light rectangle holds ink, and the
  // renderer's font engine reports nothing about the embedded program.
  const ToolRun render = Tool("pdftoppm -f 1 -l 1 -r 36 -gray -x 18 -y 18 -W 90 -H 14 " + q);
  EXPECT_EQ(render.exitCode, 0);
  EXPECT_EQ(render.err, "");
  const size_t header = render.out.find("255\n");
  ASSERT_NE(header, std::string::npos);
  size_t dark = 0;
  for (size_t i = header + 4; i < render.out.size(); ++i) dark += static_cast<uint8_t>(render.out[i]) < 128;
  EXPECT_GT(dark, 60u);

  EXPECT_EQ(WriteSample(settings), bytes) << "same input, same bytes";
  if (getenv("PW_KEEP_PDF")) std::ofstream(getenv("PW_KEEP_PDF"), std::ios::binary) << bytes;
}

TEST_F(PdfDocumentFiles, CrossReferenceEntriesPointAtTheirObjects) {
  TpgwPDFExport settings;
  settings.SetCompressed(false);
  const std::string bytes = WriteSample(settings);
  const size_t startxref = bytes.rfind("startxref\r\n");
  ASSERT_NE(startxref, std::string::npos);
  const size_t xref = std::stoul(bytes.substr(startxref + 11));
  ASSERT_EQ(bytes.compare(xref, 6, "xref\r\n"), 0);
  std::istringstream table(bytes.substr(xref + 6));
  int first = 0, count = 0;
  table >> first >> count;
  EXPECT_EQ(first, 0);
  size_t entry = bytes.find("\r\n", xref + 6) + 2;
  EXPECT_EQ(bytes.compare(entry, 20, "0000000000 65535 f\r\n"), 0);
  for (int n = 1; n < count; ++n) {
    entry += 20;
    const std::string line = bytes.substr(entry, 20);
    ASSERT_EQ(line.substr(10), " 00000 n\r\n") << n;
    const size_t offset = std::stoul(line.substr(0, 10));
    EXPECT_EQ(bytes.compare(offset, std::to_string(n).size() + 6, std::to_string(n) + " 0 obj"), 0) << n;
  }
  EXPECT_NE(bytes.find("/Size " + std::to_string(count) + "\r\n"), std::string::npos);
  // Object 1 is the page tree; the empty title has its byte-order mark only and no display flag.
  EXPECT_NE(bytes.find("1 0 obj\r\n<<\r\n/Type /Pages\r\n/Kids [2 0 R "), std::string::npos);
  EXPECT_NE(bytes.find("/Title <FEFF>"), std::string::npos);
  EXPECT_EQ(bytes.find("/DisplayDocTitle"), std::string::npos);
  EXPECT_NE(bytes.find("/CreationDate <" + HexUpper(std::string_view("D:20260304050607-01'30'")) + ">"),
            std::string::npos);
  EXPECT_NE(bytes.find("/ID [<" + HexLower(MD5Of("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"))),
            std::string::npos);
  // "Arial" resolves to a stand-in face, embedded even with the switch off; ToUnicode maps the space.
  EXPECT_NE(bytes.find("/FontFile2"), std::string::npos);
  EXPECT_NE(bytes.find("<0003> <0020>"), std::string::npos);
  EXPECT_NE(bytes.find("+Liberation#20Sans,Bold"), std::string::npos);
  // The web link: the view's rectangle in points and the trimmed address.
  EXPECT_NE(bytes.find("/Rect [225.50 385.00 338.00 445.00]\r\n/BS << /W 0 >>\r\n/A <<\r\n/URI <" +
                       HexUpper(std::string_view("https://example.org/seguimiento?id=(42)")) + ">"),
            std::string::npos);
  EXPECT_NE(bytes.find("/Annots ["), std::string::npos);
}

// Both encryption methods, opened by qpdf and poppler with the user and the owner password and
// refused with a wrong one; the permissions come through. Passwords are 8-bit (ISO 8859-1)
// text: revision 3 uses those bytes, revision 6 hashes their UTF-8 form (at most 127 bytes).
TEST_F(PdfDocumentFiles, PasswordProtectedFileOpensWithItsPasswords) {
  struct Case {
    const char* name;
    TPDFEncryptionMethod method;
    std::string user, owner;  // 8-bit passwords
    TpgwPDFEncBits flags;
    const char* permission;
    const char* revision;
    const char* algorithm;  // as pdfinfo names it
  } cases[] = {
      {"RC4, both passwords", peRC4_128, "lector", "due\xF1o", {ePrint, eModify, eCopy, eAnnot}, "/P -4", "R = 3",
       "RC4"},
      {"RC4, user password only, print only", peRC4_128, "lector", "", {ePrint}, "/P -60", "R = 3", "RC4"},
      {"AES-256, both passwords, print and copy", peAES_256, "lector", "due\xF1o", {ePrint, eCopy}, "/P -44",
       "R = 6", "AES-256"},
      {"AES-256, user password only, nothing allowed", peAES_256, "lector", "", {}, "/P -64", "R = 6", "AES-256"},
      {"AES-256, long password", peAES_256, std::string(200, 'k'), "o", {eModify, eAnnot}, "/P -24", "R = 6",
       "AES-256"},
  };
  auto utf8 = [](const std::string& latin1) {
    std::u16string wide;
    for (unsigned char c : latin1) wide.push_back(c);
    return Utf16ToUtf8(wide);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TpgwPDFExport settings;
    settings.SetEmbeddedFonts(true);
    settings.SetUserPassword(c.user);
    settings.SetOwnerPassword(c.owner);
    settings.SetProtectionFlags(c.flags);
    settings.SetEncryptionMethod(c.method);
    const std::string bytes = WriteSample(settings);
    EXPECT_EQ(WriteSample(settings), bytes) << "a pinned random source gives the same bytes";
    EXPECT_NE(bytes.find(std::string(c.permission) + "\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find("ALMAC"), std::string::npos);
    EXPECT_EQ(bytes.find("Segunda"), std::string::npos);
    const fs::path file = Save(bytes, "protected.pdf");
    const std::string q = "'" + file.string() + "'";
    const auto asTyped = [&](const std::string& password) {
      return c.method == peAES_256 ? utf8(password) : password;
    };
    const std::string user = asTyped(c.user), owner = asTyped(c.owner.empty() ? c.user : c.owner);

    EXPECT_NE(Tool("qpdf --check --password=wrong " + q).exitCode, 0);
    EXPECT_NE(Tool("pdftotext -upw wrong " + q + " -").exitCode, 0);
    EXPECT_NE(Tool("pdftotext -opw wrong " + q + " -").exitCode, 0);
    const std::string p = c.permission;  // "/P n"
    for (const std::string& password : {user, owner}) {
      SCOPED_TRACE(password);
      const ToolRun check = Tool("qpdf --check '--password=" + password + "' " + q);
      EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
      EXPECT_EQ(check.err, "") << "no warnings";
      const ToolRun show = Tool("qpdf --show-encryption '--password=" + password + "' " + q);
      EXPECT_EQ(show.exitCode, 0) << show.err;
      EXPECT_NE(show.out.find(c.revision), std::string::npos) << show.out;
      EXPECT_NE(show.out.find("P = " + p.substr(3) + "\n"), std::string::npos) << show.out;
      const std::pair<TpgwPDFEncBit, const char*> rights[] = {{ePrint, "print high resolution"},
                                                             {eModify, "modify other"},
                                                             {eCopy, "extract for any purpose"},
                                                             {eAnnot, "modify annotations"}};
      for (const auto& [bit, text] : rights)
        EXPECT_NE(show.out.find(std::string(text) + (c.flags.Contains(bit) ? ": allowed" : ": not allowed")),
                  std::string::npos)
            << text << "\n"
            << show.out;
    }
    // The poppler tools take passwords of up to 32 bytes on their command line.
    if (user.size() > 32 || owner.size() > 32) continue;
    for (const std::string& option : {"-upw '" + user + "'", "-opw '" + owner + "'"}) {
      SCOPED_TRACE(option);
      const ToolRun text = Tool("pdftotext -enc UTF-8 " + option + " " + q + " -");
      EXPECT_EQ(text.exitCode, 0) << text.err;
      EXPECT_NE(text.out.find("ALMACÉN CENTRAL"), std::string::npos) << text.out;
      EXPECT_NE(text.out.find("Segunda página"), std::string::npos) << text.out;
      const ToolRun info = Tool("pdfinfo " + option + " " + q);
      auto yes = [&](TpgwPDFEncBit bit) { return c.flags.Contains(bit) ? "yes" : "no"; };
      EXPECT_NE(info.out.find(std::string("print:") + yes(ePrint) + " copy:" + yes(eCopy) + " change:" +
                              yes(eModify) + " addNotes:" + yes(eAnnot) + " algorithm:" + c.algorithm),
                std::string::npos)
          << info.out;
      EXPECT_NE(Tool("pdffonts " + option + " " + q).out.find("+Liberation Sans"), std::string::npos);
    }
  }
}

// The random source feeds the keys: another source, other bytes; the file still opens.
TEST_F(PdfDocumentFiles, Aes256KeysComeFromTheRandomSource) {
  TpgwPDFExport settings;
  settings.SetUserPassword("lector");
  settings.SetEncryptionMethod(peAES_256);
  const std::string first = WriteSample(settings);
  TMemoryStream out;
  TPDFEnvironment environment = PinnedEnvironment();
  environment.RandomBytes = [](std::span<uint8_t> bytes) {
    for (auto& b : bytes) b = 0xA5;
  };
  TpgwPDFDocument pdf(settings, out, environment);
  pdf.Start();
  pdf.StartPage(559, 794);
  pdf.TextOut(MakeFont(u"Arial", 20), 40, 80, u"ALMACÉN CENTRAL");
  pdf.FinishPage();
  pdf.Finish();
  const std::string second(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
  const auto ue = [](const std::string& b) { return b.substr(b.find("/UE <"), 70); };
  EXPECT_NE(ue(first), ue(second));
  const fs::path file = Save(second, "fixed.pdf");
  const ToolRun text = Tool("pdftotext -enc UTF-8 -upw lector '" + file.string() + "' -");
  EXPECT_NE(text.out.find("ALMACÉN CENTRAL"), std::string::npos) << text.out << text.err;
  // A 256-bit key needs a 1.7 reader with the extension, whatever version was asked for.
  settings.SetPDFVersion(pv14);
  const std::string old = WriteSample(settings);
  EXPECT_EQ(old.rfind("%PDF-1.7\r\n", 0), 0u);
  EXPECT_NE(old.find("/Extensions << /ADBE << /BaseVersion /1.7 /ExtensionLevel 8 >> >>"), std::string::npos);
}

// Text is written as glyph indices, which only the embedded font program gives a meaning: a face
// asked for by its own name is embedded like a stand-in for another name, with the switch off too.
TEST(PdfDocumentFonts, FacesAreEmbeddedEvenWithTheSwitchOff) {
  const std::pair<const char16_t*, bool> cases[] = {{u"Arial", true}, {u"Liberation Sans", true}};
  for (const auto& [face, embedded] : cases) {
    TpgwPDFExport settings;
    settings.SetCompressed(false);
    TMemoryStream out;
    TpgwPDFDocument pdf(settings, out, PinnedEnvironment());
    pdf.Start();
    pdf.StartPage(794, 1123);
    pdf.TextOut(MakeFont(face, 10), 0, 20, u"AB");
    pdf.FinishPage();
    pdf.Finish();
    const std::string bytes(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
    EXPECT_EQ(bytes.find("/FontFile2") != std::string::npos, embedded) << Utf16ToUtf8(face);
  }
}

TEST(PdfDocumentContent, TextRunsWriteSizedGlyphStringsAndShareFontRecords) {
  TpgwPDFExport settings;
  TMemoryStream out;
  TpgwPDFDocument pdf(settings, out, PinnedEnvironment());
  pdf.Start();
  pdf.StartPage(794, 1123);
  pdf.TextOut(MakeFont(u"Arial", 10), 0, 20, u"AB");
  EXPECT_NE(pdf.PageContent().find("BT\r\n/F0 9.900 Tf\r\n[] 0 d\r\n0 0 0 rg\r\n"), std::string::npos)
      << pdf.PageContent();
  EXPECT_NE(pdf.PageContent().find("<00240025> Tj\r\nET"), std::string::npos) << pdf.PageContent();
  pdf.TextOut(MakeFont(u"Arial", 12), 0, 40, u"A");
  pdf.TextOut(MakeFont(u"Arial", 8), 0, 60, u"A");
  EXPECT_NE(pdf.PageContent().find("/F0 11.900 Tf"), std::string::npos);
  EXPECT_NE(pdf.PageContent().find("/F0 7.900 Tf"), std::string::npos);
  EXPECT_EQ(pdf.Fonts().Count(), 1u) << "sizes share one font";
  pdf.TextOut(MakeFont(u"Arial", 10, {fsBold}), 0, 80, u"A");
  EXPECT_EQ(pdf.Fonts().Count(), 2u) << "bold is a second font";
  pdf.TextOut(MakeFont(u"Courier New", 10), 0, 100, u"A");
  EXPECT_NE(pdf.PageContent().find("/F2 10.005 Tf"), std::string::npos) << "monospaced correction";
  // Baseline at 20 px of a page 1123 px high: 842.25 - 15 points.
  EXPECT_NE(pdf.PageContent().find("0.00 827.25 Td"), std::string::npos) << pdf.PageContent();
  // Justified: the three spaces share the missing width as negative TJ adjustments.
  const std::string before = pdf.PageContent();
  pdf.TextOut(MakeFont(u"Arial", 10), 0, 120, u"a b c d", false, 200);
  const std::string justified = pdf.PageContent().substr(before.size());
  std::smatch m;
  ASSERT_TRUE(std::regex_search(justified, m, std::regex(R"(\[<00440003>(-\d+)<00450003>(-\d+)<0046)")))
      << justified;
  const int first = std::stoi(m[1]);
  EXPECT_LT(first, -1000);
  EXPECT_LE(std::abs(first - std::stoi(m[2])), 1) << "equal shares, rounding carried";
  EXPECT_NE(justified.find(">] TJ"), std::string::npos);
  pdf.FinishPage();
  pdf.Finish();
}

// Names that resolve to one face share its record, so the face is embedded once; the styles
// that select another face get their own.
TEST(PdfDocumentFonts, NamesOfOneFaceShareOneFontObject) {
  TpgwPDFExport settings;
  settings.SetCompressed(false);
  TMemoryStream out;
  TpgwPDFDocument pdf(settings, out, PinnedEnvironment());
  pdf.Start();
  pdf.StartPage(794, 1123);
  struct Case {
    const char16_t* face;
    TFontStyles style;
    size_t records;  // after this text
  } cases[] = {
      {u"Arial", {}, 1},
      {u"Liberation Sans", {}, 1},      // the face "Arial" stands for
      {u"Helvetica", {fsUnderline}, 1},  // another name for it; underline is drawn, not a face
      {u"Arial", {fsBold}, 2},
      {u"Liberation Sans", {fsBold}, 2},
      {u"Times New Roman", {}, 3},
      {u"Liberation Serif", {}, 3},
  };
  double y = 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.face));
    pdf.TextOut(MakeFont(c.face, 10, c.style), 0, y += 20, u"Ab");
    EXPECT_EQ(pdf.Fonts().Count(), c.records);
  }
  pdf.FinishPage();
  pdf.Finish();
  const std::string bytes(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
  size_t programs = 0;
  for (size_t at = bytes.find("/FontFile2"); at != std::string::npos; at = bytes.find("/FontFile2", at + 1))
    ++programs;
  EXPECT_EQ(programs, 3u);
}

TEST(PdfDocumentContent, FramesAndShapesAreVectorPaths) {
  TpgwPDFExport settings;
  TMemoryStream out;
  TpgwPDFDocument pdf(settings, out, PinnedEnvironment());
  pdf.Start();
  pdf.StartPage(400, 400);
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  struct Case {
    const char* name;
    TpgwFrameTypes sides;
    TpgwFrameStyle style;
    size_t strokes;
    const char* pattern;
  } frames[] = {
      {"bottom only", {ftBottom}, fsSolid, 1, "[] 0 d\r\n2 J"},
      {"all sides dashed", {ftLeft, ftRight, ftTop, ftBottom}, fsDash, 4, "[13.5 4.5] 0 d\r\n2 J"},
      {"double bottom", {ftBottom}, fsDouble, 2, "[] 0 d"},
      {"square dots", {ftTop}, fsSquare, 1, "[1.5 1.5] 0 d\r\n0 J"},
  };
  for (const auto& f : frames) {
    SCOPED_TRACE(f.name);
    const size_t before = pdf.PageContent().size();
    pdf.Frame(10, 10, 100, 50, f.sides, clBlack, 2, f.style);
    const std::string written = pdf.PageContent().substr(before);
    EXPECT_EQ(count(written, " m\r\n"), f.strokes);
    EXPECT_EQ(count(written, "\r\nS\r\n"), f.strokes);
    EXPECT_NE(written.find(f.pattern), std::string::npos) << written;
  }
  // Bottom first: from (10, 60) px to (110, 60) px on a 300-point page.
  const size_t before = pdf.PageContent().size();
  pdf.Frame(10, 10, 100, 50, {ftBottom}, clBlack, 1);
  EXPECT_NE(pdf.PageContent().find("7.50 255.00 m\r\n82.50 255.00 l", before), std::string::npos);

  const size_t shapes = pdf.PageContent().size();
  pdf.Shape(skEllipse, 0, 0, 100, 100, clWhite, clBlack, 1);
  const std::string ellipse = pdf.PageContent().substr(shapes);
  EXPECT_EQ(count(ellipse, " c\r\n"), 4u);
  // Control points at radius x 0.5522847498 from the centre (37.5, 262.5).
  EXPECT_NE(ellipse.find("75.00 262.50 m\r\n75.00 283.21 58.21 300.00 37.50 300.00 c"), std::string::npos)
      << ellipse;
  EXPECT_NE(ellipse.find("1 1 1 rg"), std::string::npos);
  EXPECT_NE(ellipse.find("\r\nB\r\nQ"), std::string::npos);
  const size_t diagonal = pdf.PageContent().size();
  pdf.Shape(skDiagonal1, 0, 0, 100, 100, clWhite, clBlack, 1);
  EXPECT_NE(pdf.PageContent().find("0.00 225.00 m\r\n75.00 300.00 l\r\nS\r\n", diagonal), std::string::npos);
  pdf.FinishPage();
  pdf.Finish();
}

TEST(PdfDocumentContent, BrokenImagesAreRefusedWithoutWritingAnything) {
  TpgwPDFExport settings;
  TMemoryStream out;
  TpgwPDFDocument pdf(settings, out, PinnedEnvironment());
  pdf.Start();
  const int64_t size = out.Size();
  auto jpeg = SampleJpeg();
  std::vector<uint8_t> zeroWidth = jpeg;
  for (size_t i = 2; i + 9 < zeroWidth.size(); ++i)
    if (zeroWidth[i] == 0xFF && zeroWidth[i + 1] == 0xC0) {
      zeroWidth[i + 7] = zeroWidth[i + 8] = 0;  // the frame's width
      break;
    }
  const std::vector<std::vector<uint8_t>> broken = {{},
                                                    {0xFF},
                                                    {0x89, 'P', 'N', 'G'},
                                                    {0xFF, 0xD8},
                                                    {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF},
                                                    zeroWidth,
                                                    std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 12)};
  for (const auto& data : broken) EXPECT_THROW(pdf.AddJPEGImage(data), EPDFError) << data.size();
  EXPECT_THROW(pdf.AddRGBImage(2, 2, std::vector<uint8_t>(11)), EPDFError);
  EXPECT_EQ(out.Size(), size);
  pdf.StartPage(100, 100);
  EXPECT_THROW(pdf.DrawImage(0, 0, 0, 10, 10), EPDFError) << "no image with that index";
  pdf.Finish();
}

// A JPEG of plain areas (a rasterised barcode) gains from a second, Flate filter; a viewer
// decodes both and draws the bars where they were.
TEST_F(PdfDocumentFiles, JpegOfPlainAreasIsAlsoDeflated) {
  TBitmap bars(400, 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 400; ++x) bars.SetPixel(x, y, x < 200 && (x / 10) % 2 == 0 ? clBlack : clWhite);
  TMemoryStream jpegStream;
  EncodeJPEG(bars, 100, 96, false, jpegStream);
  const std::vector<uint8_t> jpeg(jpegStream.Bytes().begin(), jpegStream.Bytes().end());
  for (bool compressed : {true, false}) {
    SCOPED_TRACE(compressed);
    TpgwPDFExport settings;
    settings.SetCompressed(compressed);
    TMemoryStream out;
    TpgwPDFDocument pdf(settings, out, PinnedEnvironment());
    pdf.Start();
    pdf.StartPage(400, 100);
    pdf.DrawImage(pdf.AddJPEGImage(jpeg), 0, 0, 400, 100);
    pdf.FinishPage();
    pdf.Finish();
    const std::string bytes(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
    EXPECT_EQ(bytes.find("/Filter [/FlateDecode /DCTDecode]") != std::string::npos, compressed);
    if (compressed) {
      EXPECT_LT(bytes.size(), jpeg.size());
    }
    const fs::path file = Save(bytes, "bars.pdf");
    EXPECT_EQ(Tool("qpdf --check '" + file.string() + "'").exitCode, 0);
    // Left half striped, right half white, at 1 pixel per report pixel (72 dpi is 0.75).
    const ToolRun render = Tool("pdftoppm -r 72 -gray '" + file.string() + "'");
    ASSERT_EQ(render.exitCode, 0) << render.err;
    const size_t header = render.out.find("255\n");
    ASSERT_NE(header, std::string::npos);
    const std::string pixels = render.out.substr(header + 4);
    const size_t width = 300, row = 40 * width;
    ASSERT_GE(pixels.size(), row + width);
    EXPECT_LT(static_cast<uint8_t>(pixels[row + 3]), 64) << "first bar";
    EXPECT_GT(static_cast<uint8_t>(pixels[row + 11]), 192) << "first gap";
    EXPECT_GT(static_cast<uint8_t>(pixels[row + 250]), 192) << "white half";
  }
}

TEST(PdfSecurity, DigestAndCipherMatchTheirPublishedVectors) {
  EXPECT_EQ(HexLower(MD5Of("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(HexLower(MD5Of("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(HexLower(MD5Of(std::string(1000, 'a'))), "cabe45dcc9ae5b66ba86600cca6b8ba8");
  std::string text = "Plaintext";
  const std::string key = "Key";
  RC4Crypt(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(key.data()), key.size()),
           std::span<uint8_t>(reinterpret_cast<uint8_t*>(text.data()), text.size()));
  EXPECT_EQ(HexUpper(text), "BBF316E8D940AF0AD3");
  EXPECT_EQ(PDFPermissionValue({ePrint, eModify, eCopy, eAnnot}), -4);
  EXPECT_EQ(PDFPermissionValue({ePrint}), -60);
  EXPECT_EQ(PDFPermissionValue({}), -64);
}

TEST(PdfSecurity, Revision6PasswordsAreUtf8OfAtMost127Bytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"lector", "lector"},
      {"due\xF1o", "due\xC3\xB1o"},
      {std::string(200, 'k'), std::string(127, 'k')},
      // A two-byte character that would end at byte 128 is left out whole.
      {std::string(126, 'k') + "\xE9", std::string(126, 'k')},
      {std::string(125, 'k') + "\xE9x", std::string(125, 'k') + "\xC3\xA9"},
  };
  for (const auto& [latin1, utf8] : cases) EXPECT_EQ(PDFPasswordUtf8(latin1), utf8) << latin1.size();
  EXPECT_EQ(HexLower(SHA256Of(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("abc"), 3))),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(PdfDocumentContent, VersionHeaderAndOneFilePerDocument) {
  TpgwPDFExport settings;
  settings.SetPDFVersion(pv14);
  TMemoryStream out;
  TpgwPDFDocument pdf(settings, out, PinnedEnvironment());
  pdf.Start();
  pdf.Finish();
  const std::string bytes(reinterpret_cast<const char*>(out.Bytes().data()), out.Bytes().size());
  EXPECT_EQ(bytes.rfind("%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n", 0), 0u);
  EXPECT_NE(bytes.find("/Version /1.4\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("/Count 0\r\n"), std::string::npos);
  EXPECT_THROW(pdf.Start(), EPDFError);
  EXPECT_THROW(pdf.StartPage(10, 10), EPDFError);
}

}  // namespace
}  // namespace pagewright

namespace pagewright {
namespace {

// Solid fills of one colour are written as one path, where the colour first came, unless that
// would paint a rectangle under one of another colour that was drawn later over it.
TEST(PdfVectorCanvas, FillsOfOneColourJoinUnlessTheOrderShows) {
  struct Fill {
    TColor color;
    TRect rect;
  };
  struct Case {
    const char* what;
    std::vector<Fill> fills;
    int paths;                                  // "f" operators written
    std::vector<std::string> orderOfRectangles;  // "x y w h re" texts, in the order expected
  };
  const TColor black = 0x000000, white = 0xFFFFFF;
  const Case cases[] = {
      {"bars and spaces side by side",
       {{black, Rect(0, 0, 16, 160)}, {white, Rect(16, 0, 32, 160)}, {black, Rect(32, 0, 64, 160)},
        {white, Rect(64, 0, 80, 160)}},
       2,
       {"0.00 834.75 0.75 7.50 re", "1.50 834.75 1.50 7.50 re", "0.75 834.75 0.75 7.50 re",
        "3.00 834.75 0.75 7.50 re"}},
      {"a later fill over a later colour stays above it",
       {{black, Rect(0, 0, 32, 32)}, {white, Rect(16, 16, 48, 48)}, {black, Rect(32, 32, 64, 64)}},
       3,
       {"0.00 840.75 1.50 1.50 re", "0.75 840.00 1.50 1.50 re", "1.50 839.25 1.50 1.50 re"}},
  };
  for (const Case& c : cases) {
    TpgwPDFExport settings;
    settings.SetCompressed(false);
    TMemoryStream out;
    TpgwPDFDocument pdf(settings, out, PinnedEnvironment());
    pdf.Start();
    pdf.StartPage(794, 1123);
    {
      TPDFVectorCanvas canvas(pdf, 0, 0, 16);
      for (const Fill& f : c.fills) {
        canvas.Brush().SetColor(f.color);
        canvas.FillRect(f.rect);
      }
      canvas.Flush();
    }
    const std::string content = pdf.PageContent();
    int paths = 0;
    for (size_t at = content.find("\nf\r"); at != std::string::npos; at = content.find("\nf\r", at + 1)) ++paths;
    EXPECT_EQ(paths, c.paths) << c.what << "\n" << content;
    size_t last = 0;
    for (const std::string& r : c.orderOfRectangles) {
      const size_t at = content.find(r);
      ASSERT_NE(at, std::string::npos) << c.what << ": " << r << "\n" << content;
      EXPECT_GT(at, last) << c.what << ": " << r << "\n" << content;
      last = at;
    }
  }
}

}  // namespace
}  // namespace pagewright
