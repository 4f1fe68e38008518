// `pagewright render` end to end: runs the built program on small fixtures and checks its
// outputs with the real checkers (qpdf, pdftotext, pdfinfo, zbarimg).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/run_program.h"
#include "common/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using pagewright::test_support::TempDir;

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Fixture(const std::string& name) {
  return (fs::path(PW_TEST_DATA_DIR) / "sources" / name).string();
}

std::string LabelTemplate() {
  return (fs::path(PW_TEST_DATA_DIR) / ".." / ".." / "examples" / "label" / "reportes" / "EtiquetaVelmo.pw3").string();
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool HaveProgram(const std::string& name) {
  return pagewright::test_support::RunCommand("command -v " + name).exitCode == 0;
}

class CliRender : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pagewright::test_support::CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  }
  // Runs `pagewright render` with (already quoted) arguments in the temporary folder; keeps
  // standard output and standard error apart.
  Result Render(const std::string& args) {
    const fs::path errFile = dir.path / ".stderr";
    auto r = pagewright::test_support::RunCommand("(cd " + Quote(dir.path.string()) + " && " +
                                                  Quote(pagewright::test_support::CliProgram()) + " render " + args +
                                                  " 2>" + Quote(errFile.string()) + ")");
    Result result{r.exitCode, r.out, ReadFile(errFile)};
    fs::remove(errFile);
    return result;
  }
  // The files in the folder (recursively), as relative paths.
  std::set<std::string> Files() {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir.path))
      if (e.is_regular_file()) names.insert(fs::relative(e.path(), dir.path).string());
    return names;
  }
  std::string Text(const std::string& pdf) {
    return pagewright::test_support::RunCommand("pdftotext -layout " + Quote((dir.path / pdf).string()) + " -").out;
  }
  int Pages(const std::string& pdf) {
    const std::string info = pagewright::test_support::RunCommand("pdfinfo " + Quote((dir.path / pdf).string())).out;
    std::smatch m;
    return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
  }
  // The PDF with streams uncompressed and objects in order, less the creation dates and
  // document identifiers that differ between runs.
  std::string Normalised(const std::string& pdf) {
    const std::string out = (dir.path / (pdf + ".qdf")).string();
    pagewright::test_support::RunCommand("qpdf --qdf --object-streams=disable " + Quote((dir.path / pdf).string()) + " " +
                                         Quote(out));
    std::string text = ReadFile(out);
    fs::remove(out);
    text = std::regex_replace(text, std::regex("/(CreationDate|ModDate) *\\([^)]*\\)"), "");
    text = std::regex_replace(text, std::regex("/ID *\\[[^\\]]*\\]"), "");
    return text;
  }
  void MakeSqlite(const std::string& db) {
    ASSERT_EQ(pagewright::test_support::RunCommand("sqlite3 " + Quote((dir.path / db).string()) + " < " +
                                                   Quote(Fixture("orders.sql")))
                  .exitCode,
              0);
  }

  TempDir dir{"pw-render"};
};

TEST_F(CliRender, UsageErrorsExitWithTwo) {
  struct Case {
    std::string args;
    std::string message;
  };
  const std::string tpl = Quote(Fixture("orders.pw3"));
  const std::string data = " --data Orders=" + Quote(Fixture("orders.csv")) + " --data Lines=" + Quote(Fixture("lines.csv"));
  const Case cases[] = {
      {"", "no template given"},
      {tpl + data, "no output given"},
      {tpl + data + " --pdf a.pdf --bogus", "unknown option '--bogus'"},
      {tpl + data + " --pdf", "--pdf needs a value"},
      {tpl + data + " --pdf - --prepared -", "only one output can go to standard output"},
      {tpl + data + " --pdf a.pdf --pdf a.pdf", "a.pdf is given as two outputs"},
      {tpl + data + " --split 'x/{id}.pdf' --pdf a.pdf", "--split writes one output per record"},
      {tpl + data + " --split 'x/{id}.txt'", "the pattern must end in .pdf, .jpg or .png"},
      {tpl + data + " --split 'x/{nope}.pdf'", "has no column \"nope\" (columns: id, customer, placed, total)"},
      {tpl + data + " --split 'x/{id.pdf'", "a \"{\" is not closed"},
      {tpl + data + " --pages abc --pdf a.pdf", "--pages wants page numbers"},
      {tpl + data + " --column weight --pdf a.pdf", "--column wants NAME=TYPE"},
      {tpl + data + " --csv-delimiter ab --pdf a.pdf", "--csv-delimiter wants one character"},
      {tpl + " --data " + Quote(Fixture("orders.csv")) + " --pdf a.pdf",
       "the template's data bands use several data sets (Orders, Lines); name the one for"},
      {tpl + " --data Orders=" + Quote(Fixture("orders.csv")) + " --pdf a.pdf",
       "the data set Lines is not bound; give --data Lines=SOURCE"},
      {tpl + data + " --data Extra=" + Quote(Fixture("lines.csv")) + " --pdf a.pdf",
       "--data Extra: the template has no data set of that name (its data bands use: Orders, Lines)"},
      {tpl + data + " --pdf a.pdf --pdf-encryption des", "--pdf-encryption wants rc4 or aes256"},
      {tpl + data + " --pdf a.pdf --pdf-permissions print,fly --pdf-owner-password x",
       "--pdf-permissions wants a comma list of print, modify, copy and annotate"},
      {tpl + data + " --pdf a.pdf --pdf-permissions print", "protect the PDF with a password"},
      {tpl + data + " --pdf a.pdf --pdf-user-password-env PW_SURELY_UNSET_VARIABLE",
       "PW_SURELY_UNSET_VARIABLE: the environment variable is not set"},
      {tpl + data + " --png a.png --dpi 5", "--dpi wants a whole number from 24 to 1200"},
      {tpl + data + " --zpl a.zpl --dpi 250", "--zpl prints at 203, 300 or 600 dots per inch (--dpi), not 250"},
      {tpl + data + " --jpeg a.jpg --jpeg-quality 101", "--jpeg-quality wants a whole number from 1 to 100"},
  };
  for (const Case& c : cases) {
    const Result r = Render(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(r.out, "") << c.args;
  }
  EXPECT_TRUE(Files().empty());
  const Result help = Render("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: pagewright render TEMPLATE"), std::string::npos);
  EXPECT_EQ(help.err, "");
}

TEST_F(CliRender, EverySourceKindGivesTheSameDocument) {
  if (!HaveProgram("qpdf") || !HaveProgram("pdftotext")) FAIL() << "qpdf and pdftotext are needed (scripts/install-deps.sh installs them)";
  if (!HaveProgram("sqlite3")) FAIL() << "the sqlite3 program is needed to make the database (scripts/install-deps.sh installs it)";
  MakeSqlite("orders.db");
  const std::string tpl = Quote(Fixture("orders.pw3"));
  struct Case {
    const char* pdf;
    std::string data;
  };
  const Case cases[] = {
      {"csv.pdf", " --data Orders=" + Quote(Fixture("orders.csv")) + " --data Lines=" + Quote(Fixture("lines.csv"))},
      {"json.pdf", " --data Orders=" + Quote(Fixture("orders.json")) + " --data Lines=" + Quote(Fixture("lines.jsonl"))},
      {"jsonl.pdf", " --data Orders=" + Quote(Fixture("orders.jsonl")) + " --data Lines=" + Quote(Fixture("lines.csv"))},
      {"sqlite.pdf", " --data Orders=sqlite:orders.db --query orders --data Lines=sqlite:orders.db --query "
                     "'SELECT order_id, item, qty FROM lines ORDER BY rowid'"},
  };
  for (const Case& c : cases) {
    const Result r = Render(tpl + c.data + " --pdf " + c.pdf);
    ASSERT_EQ(r.exitCode, 0) << c.pdf << "\n" << r.err;
    EXPECT_EQ(r.err, "") << c.pdf;
    EXPECT_EQ(r.out, "") << c.pdf;
    EXPECT_EQ(pagewright::test_support::RunCommand("qpdf --check " + Quote((dir.path / c.pdf).string())).exitCode, 0);
  }
  // Master and detail records from two sources, typed alike by every reader.
  const std::string text = Text("csv.pdf");
  for (const char* line : {"Order 1 for Núñez, Ana on 5/1/2024 total 12.5", "line apple x 3", "line pear x 2",
                           "Order 2 for Bob \"the\" Builder on 5/2/2024 total 7", "line nail x 100",
                           "line plum x 1", "total 100.25"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  EXPECT_LT(text.find("line pear"), text.find("Order 2"));
  const std::string reference = Normalised("csv.pdf");
  ASSERT_NE(reference.find("%QDF-1.0"), std::string::npos);
  for (const char* pdf : {"json.pdf", "jsonl.pdf", "sqlite.pdf"}) EXPECT_TRUE(Normalised(pdf) == reference) << pdf;
}

TEST_F(CliRender, LabelPagesCarryEachRecord) {
  if (!HaveProgram("pdftotext") || !HaveProgram("zbarimg")) FAIL() << "pdftotext and zbarimg are needed (scripts/install-deps.sh installs them)";
  const std::string csv = (fs::path(PW_TEST_DATA_DIR) / ".." / ".." / "examples" / "data" / "parcels.csv").string();
  const Result r = Render(Quote(LabelTemplate()) + " --data " + Quote(csv) + " --pdf labels.pdf --jpeg out/p.jpg"
                          " --png p.png --pages 2-3");
  // The folder of an output must exist; nothing is written when one is missing.
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("out/p.1.jpg"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
  EXPECT_TRUE(Files().empty());
  fs::create_directory(dir.path / "out");
  const Result ok = Render(Quote(LabelTemplate()) + " --data " + Quote(csv) +
                           " --pdf labels.pdf --jpeg out/p.jpg --png p.png --pages 2-3");
  ASSERT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_EQ(Files(), (std::set<std::string>{"labels.pdf", "out/p.1.jpg", "out/p.2.jpg", "p.1.png", "p.2.png"}));
  EXPECT_EQ(Pages("labels.pdf"), 2);
  EXPECT_NE(Text("labels.pdf").find("384123450000000028"), std::string::npos);
  // Page 2 of the report is the second record, with its own container code in the barcode.
  const std::string codes =
      pagewright::test_support::RunCommand("zbarimg -q " + Quote((dir.path / "p.1.png").string()) + " " +
                                           Quote((dir.path / "out/p.1.jpg").string()))
          .out;
  EXPECT_EQ(codes.find("CODE-128:00384123450000000028"), 0u) << codes;
  EXPECT_NE(codes.rfind("CODE-128:00384123450000000028"), 0u) << codes;
}

// The filters' options reach the files: protection with either cipher, a password from the
// environment, permissions, uncompressed streams, and the page images' resolution and colours.
TEST_F(CliRender, FilterOptionsReachTheOutputs) {
  if (!HaveProgram("qpdf") || !HaveProgram("zbarimg")) FAIL() << "qpdf and zbarimg are needed (scripts/install-deps.sh installs them)";
  const std::string csv = (fs::path(PW_TEST_DATA_DIR) / ".." / ".." / "examples" / "data" / "parcels.csv").string();
  const std::string label = Quote(LabelTemplate()) + " --data " + Quote(csv) + " --pages 1";
  ASSERT_EQ(Render(label + " --pdf aes.pdf --pdf-encryption aes256 --pdf-owner-password own --pdf-user-password usr"
                           " --pdf-permissions print,copy")
                .exitCode,
            0);
  const std::string shown =
      pagewright::test_support::RunCommand("qpdf --password=usr --show-encryption " + Quote((dir.path / "aes.pdf").string())).out;
  EXPECT_NE(shown.find("R = 6"), std::string::npos) << shown;
  EXPECT_NE(shown.find("print high resolution: allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify other: not allowed"), std::string::npos) << shown;
  EXPECT_NE(pagewright::test_support::RunCommand("qpdf --password=wrong --check " + Quote((dir.path / "aes.pdf").string())).exitCode, 0);

  const Result rc4 = Render(label + " --pdf rc4.pdf --pdf-user-password-env HOME");  // any variable that is set
  ASSERT_EQ(rc4.exitCode, 0) << rc4.err;
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  EXPECT_EQ(pagewright::test_support::RunCommand("qpdf --password=" + Quote(home) + " --check " + Quote((dir.path / "rc4.pdf").string())).exitCode, 0);
  EXPECT_NE(pagewright::test_support::RunCommand("qpdf --check " + Quote((dir.path / "rc4.pdf").string())).exitCode, 0);

  ASSERT_EQ(Render(label + " --pdf plain.pdf --no-pdf-compress").exitCode, 0);
  EXPECT_EQ(ReadFile(dir.path / "plain.pdf").find("/FlateDecode"), std::string::npos);

  ASSERT_EQ(Render(label + " --png hi.png --dpi 203 --monochrome").exitCode, 0);
  const std::string png = ReadFile(dir.path / "hi.1.png");
  ASSERT_GT(png.size(), 24u);
  auto be32 = [&](size_t at) {
    return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) | (uint32_t(uint8_t(png[at + 2])) << 8) |
           uint32_t(uint8_t(png[at + 3]));
  };
  EXPECT_EQ(be32(16), 839u);  // 105 mm at 203 dpi
  const std::string codes = pagewright::test_support::RunCommand("zbarimg -q " + Quote((dir.path / "hi.1.png").string())).out;
  EXPECT_NE(codes.find("CODE-128:00384123450000000011"), std::string::npos) << codes;
}

// Files a template names come from its own folder, or from a folder given with --allow-path: a
// picture or parent report reached by "..", an absolute name or a symbolic link out is refused.
TEST_F(CliRender, TemplatesNameFilesInTheirOwnFolderOnly) {
  fs::create_directories(dir.path / "tpl");
  fs::create_directories(dir.path / "outside");
  const fs::path picture = fs::path(PW_TEST_DATA_DIR) / "pdf_compare" / "disc_alpha.png";
  fs::copy_file(picture, dir.path / "tpl" / "inside.png");
  fs::copy_file(picture, dir.path / "outside" / "away.png");
  fs::create_symlink(dir.path / "outside" / "away.png", dir.path / "tpl" / "link.png");
  auto write = [&](const std::string& name, const std::string& attributes) {
    std::ofstream(dir.path / "tpl" / name)
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TpgwReport " << attributes
        << ">\n<TpgwReportPage Name=\"Page1\" PaperWidth=\"50\" PaperHeight=\"50\">\n"
           "<TpgwReportTitle Name=\"Title1\" Height=\"100\" Left=\"0\" Top=\"0\" Width=\"150\">\n"
           "<TpgwPictureView Name=\"Pic\" Left=\"0\" Top=\"0\" Width=\"50\" Height=\"50\" FileLink=\""
        << (attributes.empty() ? std::string("inside.png") : std::string()) << "\"/>\n"
        << "</TpgwReportTitle></TpgwReportPage></TpgwReport>\n";
  };
  auto withLink = [&](const std::string& name, const std::string& link) {
    write(name, "");
    std::string text = ReadFile(dir.path / "tpl" / name);
    text.replace(text.find("inside.png"), 10, link);
    std::ofstream(dir.path / "tpl" / name) << text;
  };
  withLink("in.pw3", "inside.png");
  withLink("up.pw3", "../outside/away.png");
  withLink("abs.pw3", (dir.path / "outside" / "away.png").string());
  withLink("link.pw3", "link.png");
  write("parent.pw3", "ParentReport=\"../outside/base.pw3\"");
  fs::copy_file(dir.path / "tpl" / "in.pw3", dir.path / "outside" / "base.pw3");
  struct Case {
    std::string args;
    int exitCode;
    std::string message;
  } cases[] = {
      {"tpl/in.pw3 --pdf a.pdf", 0, ""},
      {"tpl/up.pw3 --pdf a.pdf", 1, "A template may name files in its own folder only"},
      {"tpl/abs.pw3 --pdf a.pdf", 1, "A template may name files in its own folder only"},
      {"tpl/link.pw3 --pdf a.pdf", 1, "A template may name files in its own folder only"},
      {"tpl/parent.pw3 --pdf a.pdf", 1, "A template may name files in its own folder only"},
      {"tpl/up.pw3 --pdf a.pdf --allow-path outside", 0, ""},
      {"tpl/parent.pw3 --pdf a.pdf --allow-path outside", 0, ""},
      {"tpl/in.pw3 --pdf a.pdf --allow-path nowhere", 2, "--allow-path nowhere: not a folder"},
  };
  for (const Case& c : cases) {
    const Result r = Render(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.err;
    if (!c.message.empty()) {
      EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    }
  }
}

// A link to an anchor of the prepared report goes to the page the anchor is on: here an event
// procedure marks Cleo's row (the third record, on the third page) and the title links to it.
TEST_F(CliRender, AnchorLinksGoToTheAnchorsPage) {
  const std::string tpl = (fs::path(PW_TEST_DATA_DIR) / "engine" / "anchor_link.pw3").string();
  const std::string csv = (fs::path(PW_TEST_DATA_DIR) / "engine" / "sales.csv").string();
  const Result r = Render(Quote(tpl) + " --data sales=" + Quote(csv) + " --pdf a.pdf --scripts");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string qdf = Normalised("a.pdf");
  std::smatch page3, dest;
  ASSERT_TRUE(std::regex_search(qdf, page3, std::regex("%% Page 3\\n%%[^\\n]*\\n(\\d+) 0 obj")));
  ASSERT_TRUE(std::regex_search(qdf, dest, std::regex("/Dest \\[\\s*(\\d+) 0 R")));
  EXPECT_EQ(dest[1], page3[1]);
}

TEST_F(CliRender, SplitNamesAreSafeAndUnique) {
  std::ofstream(dir.path / "hostile.csv") << "id,customer,placed,total\n"
                                             "1,../x,2024-05-01,1\n"
                                             "2,a/b,2024-05-01,2\n"
                                             "3,same,2024-05-01,3\n"
                                             "4,same,2024-05-01,4\n"
                                             "5,..,2024-05-01,5\n"
                                             "6,.hidden,2024-05-01,6\n"
                                             "7,\"tab\tname\",2024-05-01,7\n";
  std::ofstream(dir.path / "lines.csv") << "order_id,item,qty\n1,x,1\n";
  const std::string tpl = Quote(Fixture("orders.pw3"));
  const Result r = Render(tpl + " --data Orders=hostile.csv --data Lines=lines.csv --split 'out/{customer}.pdf'");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Files(), (std::set<std::string>{"hostile.csv", "lines.csv", "out/___x.pdf", "out/a_b.pdf", "out/same.pdf",
                                            "out/same-2.pdf", "out/__.pdf", "out/_hidden.pdf", "out/tab_name.pdf"}));
  EXPECT_NE(Text("out/same-2.pdf").find("Order 4"), std::string::npos);
  EXPECT_EQ(Pages("out/___x.pdf"), 1);

  // An empty value is refused with the record's place, and then nothing is written at all.
  fs::remove_all(dir.path / "out");
  std::ofstream(dir.path / "hostile.csv", std::ios::app) << "8,,2024-05-01,8\n";
  const Result refused = Render(tpl + " --data Orders=hostile.csv --data Lines=lines.csv --split 'out/{customer}.png'");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("hostile.csv:9: --split: field \"customer\" is empty"), std::string::npos) << refused.err;
  EXPECT_EQ(Files(), (std::set<std::string>{"hostile.csv", "lines.csv"}));
}

TEST_F(CliRender, AFailedRunLeavesNoOutput) {
  std::ofstream(dir.path / "orders.csv") << "id,customer,placed,total\n1,A,2024-05-01,1\n2,B,2024-05-01,x\n";
  std::ofstream(dir.path / "lines.csv") << "order_id,item,qty\n1,x,1\n";
  std::ofstream(dir.path / "keep.pdf") << "earlier output";
  const std::string tpl = Quote(Fixture("orders.pw3"));
  const Result r = Render(tpl + " --data Orders=orders.csv --column total=decimal --data Lines=lines.csv"
                                " --pdf keep.pdf --jpeg page.jpg --prepared run.fp3");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "pagewright render: orders.csv:3: field \"total\": \"x\" is not a number\n");
  EXPECT_EQ(Files(), (std::set<std::string>{"orders.csv", "lines.csv", "keep.pdf"}));
  EXPECT_EQ(ReadFile(dir.path / "keep.pdf"), "earlier output");
  // The same in --split mode: records already rendered are not left behind.
  const Result split = Render(tpl + " --data Orders=orders.csv --column total=decimal --data Lines=lines.csv"
                                    " --split 'o/{id}.pdf'");
  EXPECT_EQ(split.exitCode, 1);
  EXPECT_TRUE(fs::is_empty(dir.path / "o"));
}

TEST_F(CliRender, SingleFileOutputsGoToStandardOutput) {
  const std::string tpl = Quote(Fixture("orders.pw3"));
  const std::string data = " --data Orders=" + Quote(Fixture("orders.csv")) + " --data Lines=" + Quote(Fixture("lines.csv"));
  Result r = Render(tpl + data + " --pdf -");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("%PDF-", 0), 0u);
  EXPECT_NE(r.out.find("%%EOF"), std::string::npos);
  r = Render(tpl + data + " --prepared - --param Title=Weekly");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("<?xml", 0), 0u);
  EXPECT_NE(r.out.find("Weekly"), std::string::npos);
  r = Render(tpl + data + " --png -");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_TRUE(Files().empty());
}

TEST_F(CliRender, ProblemsAreReportedWithTheirPlace) {
  std::ofstream(dir.path / "nested.json") << "[{\"id\":1,\"customer\":\"A\"},{\"id\":2,\"customer\":{\"n\":1}}]";
  std::ofstream(dir.path / "nocust.csv") << "id,placed,total\n1,2024-05-01,1\n";
  std::ofstream(dir.path / "empty.csv") << "id,customer,placed,total\n";
  std::ofstream(dir.path / "lines.csv") << "order_id,item,qty\n1,x,1\n";
  const std::string tpl = Quote(Fixture("orders.pw3"));
  struct Case {
    std::string args;
    int exitCode;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {tpl + " --data Orders=nested.json --data Lines=lines.csv --pdf o.pdf", 1,
       {"pagewright render: nested.json: record 2: key \"customer\": nested object values are not supported"}},
      {tpl + " --data Orders=nocust.csv --data Lines=lines.csv --pdf o.pdf", 1,
       {"orders.pw3: MemoOrder: Field not found: Orders.\"customer\"", "nocust.csv: the columns are: id, placed, total"}},
      {tpl + " --data Orders=missing.csv --data Lines=lines.csv --pdf o.pdf", 1,
       {"pagewright render: missing.csv: No such file or directory"}},
      {tpl + " --data Orders=sqlite:missing.db --query orders --data Lines=lines.csv --pdf o.pdf", 1,
       {"pagewright render: sqlite:missing.db: unable to open database file"}},
      {Quote(Fixture("broken.pw3")) + " --data empty.csv --pdf o.pdf", 1,
       {"broken.pw3: line 4: Cannot find class TpgwNoSuchView", "the template has errors"}},
      {Quote(Fixture("broken.pw3")) + " --data empty.csv --pdf o.pdf --keep-going", 0,
       {"broken.pw3: warning: line 4: Cannot find class TpgwNoSuchView", "empty.csv: warning: the source has no records"}},
      {"nothere.pw3 --data empty.csv --pdf o.pdf", 1, {"nothere.pw3: cannot read the template (no such file)"}},
  };
  for (const Case& c : cases) {
    const Result r = Render(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.err;
    for (const std::string& m : c.messages) EXPECT_NE(r.err.find(m), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(r.out, "");
  }
  // Only the run that succeeded wrote its output: the empty case of the report.
  EXPECT_EQ(Pages("o.pdf"), 1);
}

}  // namespace
