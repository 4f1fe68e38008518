// Printing to CUPS queues against a private cupsd (tests/print/cups_server.sh): a PDF job arrives
// and reads back, raw bytes arrive unchanged (copies repeat them), what the queues take is reported,
// and every refusal names the queue (or server, or file) and gives the reason.
#include "platform/printing.h"

#include "common/run_program.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace pagewright {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a shell command; returns its stdout and sets the exit status.
std::string RunShell(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    status = -1;
    return out;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
  int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

std::string ScriptPath() {
  return std::string(PW_TEST_DATA_DIR) + "/../print/cups_server.sh";
}

class PrintingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (access("/usr/sbin/cupsd", X_OK) != 0) {
      SkipReason() = "cupsd is not installed (Debian package cups-daemon)";
      return;
    }
    char tmpl[] = "/tmp/pw-printing-XXXXXX";
    if (!mkdtemp(tmpl)) {
      StartError() = "cannot create a temporary folder";
      return;
    }
    Dir() = tmpl;
    int status = 0;
    std::string out = RunShell(ScriptPath() + " start " + Dir() + " 2>&1", status);
    size_t at = out.find("PORT=");
    if (status != 0 || at == std::string::npos) {
      StartError() = "cups_server.sh start failed (exit " + std::to_string(status) + "):\n" + out;
      return;
    }
    Server() = "127.0.0.1:" + std::to_string(std::stoi(out.substr(at + 5)));
  }

  static void TearDownTestSuite() {
    if (Dir().empty()) return;
    int status = 0;
    RunShell(ScriptPath() + " stop " + Dir() + " 2>&1", status);
    std::error_code ec;
    fs::remove_all(Dir(), ec);
  }

  void SetUp() override {
    if (!SkipReason().empty()) GTEST_SKIP() << SkipReason();
    ASSERT_TRUE(StartError().empty()) << StartError();
  }

  static std::string& Dir() {
    static std::string dir;
    return dir;
  }
  static std::string& Server() {
    static std::string server;
    return server;
  }
  static std::string& SkipReason() {
    static std::string reason;
    return reason;
  }
  static std::string& StartError() {
    static std::string error;
    return error;
  }

  // The file the next job of the queue lands in: the listener numbers them per queue from 1.
  static std::string NextOutput(const std::string& queue, const std::string& extension) {
    static std::map<std::string, int> counts;
    return Dir() + "/out/" + queue + "-" + std::to_string(++counts[queue]) + "." + extension;
  }

  // The job runs in cupsd and its backend; its file appears (complete) when the data is through.
  static bool WaitForFile(const std::string& path) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(path)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  // `pagewright print` end to end: the label example rendered and sent to the private server.
  static std::string Print(const std::string& options, int& status) {
    const std::string root = std::string(PW_TEST_DATA_DIR) + "/../../examples";
    return RunShell(test_support::CliProgram() + " print '" + root + "/medicine/pack_label.pw3' --data '" + root +
                        "/data/medicines.csv' --server " + Server() + " " + options + " 2>&1",
                    status);
  }

  static std::string WriteTempFile(const std::string& name, const std::string& bytes) {
    std::string path = Dir() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
};

TEST_F(PrintingTest, PdfJobArrivesUnchangedAndReadsBack) {
  std::string pdf = std::string(PW_TEST_DATA_DIR) + "/print/hello.pdf";
  std::string target = NextOutput("pw-pdf", "pdf");
  int id = SubmitPrintJob(Server(), "pw-pdf", pdf, "application/pdf", 1, "hello");
  EXPECT_GT(id, 0);
  ASSERT_TRUE(WaitForFile(target)) << target << " did not arrive; see " << Dir() << "/log/error_log";
  EXPECT_EQ(ReadAll(target), ReadAll(pdf));
  int status = 0;
  std::string text = RunShell("pdftotext '" + target + "' -", status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(text.find("Pagewright print check 4711"), std::string::npos) << text;
}

TEST_F(PrintingTest, RawJobArrivesByteForByteOncePerCopy) {
  // NUL, 0xFF, CR LF and a lone high byte: nothing in the path may translate or stop at them.
  const std::string zpl("^XA^FO50,50^A0N,40,40^FDPW\x00\xff\r\n\x80^FS^XZ", 34);
  std::string source = WriteTempFile("label.zpl", zpl);
  int previous = 0;
  for (int copies : {1, 3}) {
    SCOPED_TRACE("copies " + std::to_string(copies));
    std::string target = NextOutput("pw-raw", "bin");
    int id = SubmitPrintJob(Server(), "pw-raw", source, "application/vnd.cups-raw", copies, "label");
    EXPECT_GT(id, previous);  // ids increase job by job
    previous = id;
    ASSERT_TRUE(WaitForFile(target)) << target << " did not arrive";
    std::string expected;
    for (int i = 0; i < copies; ++i) expected += zpl;
    EXPECT_EQ(ReadAll(target), expected);
  }
}

TEST_F(PrintingTest, QueueInfoTellsWhatEachQueueTakes) {
  struct Case {
    const char* queue;
    bool exists, accepting, isRaw, acceptsPdf, acceptsRaw;
    int dpi;
  };
  const Case cases[] = {
      {"pw-pdf", true, true, false, true, true, 300},
      {"pw-raw", true, true, true, false, true, 0},
      {"pw-closed", true, false, true, false, true, 0},
      {"nope", false, false, false, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.queue);
    TPrintQueueInfo info = QueryPrintQueue(Server(), c.queue);
    EXPECT_EQ(info.Name, c.queue);
    EXPECT_EQ(info.Exists, c.exists);
    EXPECT_EQ(info.AcceptingJobs, c.accepting);
    EXPECT_EQ(info.IsRaw, c.isRaw);
    EXPECT_EQ(info.AcceptsPdf, c.acceptsPdf);
    EXPECT_EQ(info.AcceptsRaw, c.acceptsRaw);
    EXPECT_EQ(info.Dpi, c.dpi);
    EXPECT_EQ(info.Takes("application/pdf"), c.exists);  // cupsd lists PDF for raw queues too
  }
}

TEST_F(PrintingTest, EmptyServerIsTheOneCupsServerNames) {
  // Earlier calls have let libcups settle on a default server already; a changed variable still counts.
  const char* previous = getenv("CUPS_SERVER");
  std::string saved = previous ? previous : "";
  setenv("CUPS_SERVER", Server().c_str(), 1);
  TPrintQueueInfo info = QueryPrintQueue("", "pw-raw");
  setenv("CUPS_SERVER", "127.0.0.1:1", 1);
  std::string refusal;
  try {
    QueryPrintQueue("", "pw-raw");
  } catch (const EPrinter& e) {
    refusal = e.Message();
  }
  if (previous)
    setenv("CUPS_SERVER", saved.c_str(), 1);
  else
    unsetenv("CUPS_SERVER");
  EXPECT_TRUE(info.Exists);
  EXPECT_TRUE(info.IsRaw);
  EXPECT_NE(refusal.find("print server \"127.0.0.1:1\": cannot connect: "), std::string::npos) << refusal;
}

TEST_F(PrintingTest, RefusalsNameTheQueueAndTheReason) {
  std::string pdf = std::string(PW_TEST_DATA_DIR) + "/print/hello.pdf";
  struct Case {
    const char* what;
    std::string server, queue, file, format;
    int copies;
    std::vector<std::string> expected;  // parts of the message
  };
  const Case cases[] = {
      {"missing queue",
       Server(),
       "nope",
       pdf,
       "application/pdf",
       1,
       {"printer \"nope\": ", "The printer or class does not exist."}},
      {"queue rejecting jobs",
       Server(),
       "pw-closed",
       pdf,
       "application/pdf",
       1,
       {"printer \"pw-closed\": ", "not accepting jobs"}},
      {"format the queue cannot print",
       Server(),
       "pw-pdf",
       pdf,
       "application/x-pagewright-nothing",
       1,
       {"printer \"pw-pdf\": ", "application/x-pagewright-nothing"}},
      {"queue name leaving the printers folder",
       Server(),
       "../jobs",
       pdf,
       "application/pdf",
       1,
       {"printer \"../jobs\": not a valid queue name"}},
      {"empty queue name", Server(), "", pdf, "application/pdf", 1, {"printer \"\": not a valid queue name"}},
      {"no copies",
       Server(),
       "pw-pdf",
       pdf,
       "application/pdf",
       0,
       {"printer \"pw-pdf\": copies must be at least 1, not 0"}},
      {"more copies than the server allows", Server(), "pw-raw", pdf, "application/vnd.cups-raw", 100000,
       {"printer \"pw-raw\": ", "copies"}},
      {"format that is no MIME type",
       Server(),
       "pw-pdf",
       pdf,
       "pdf",
       1,
       {"printer \"pw-pdf\": \"pdf\" is not a document format"}},
      {"missing file",
       Server(),
       "pw-pdf",
       Dir() + "/missing.pdf",
       "application/pdf",
       1,
       {"\"" + Dir() + "/missing.pdf\": cannot open for printing: No such file or directory"}},
      {"folder instead of a file",
       Server(),
       "pw-pdf",
       Dir(),
       "application/pdf",
       1,
       {"\"" + Dir() + "\": not a regular file"}},
      {"server that does not answer",
       "127.0.0.1:1",
       "pw-pdf",
       pdf,
       "application/pdf",
       1,
       {"print server \"127.0.0.1:1\": cannot connect: "}},
      {"server with a bad port",
       "127.0.0.1:70000",
       "pw-pdf",
       pdf,
       "application/pdf",
       1,
       {"print server \"127.0.0.1:70000\": the port is not a number from 1 to 65535"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      SubmitPrintJob(c.server, c.queue, c.file, c.format, c.copies, "refused");
      ADD_FAILURE() << "no exception";
    } catch (const EPrinter& e) {
      for (const std::string& part : c.expected)
        EXPECT_NE(e.Message().find(part), std::string::npos) << e.Message();
    }
  }
}

TEST_F(PrintingTest, PrintCommandSendsEachKindOfQueueWhatItTakes) {
  ASSERT_TRUE(test_support::CliProgramBuilt()) << "the pagewright program is not built";
  int status = 0;
  // A PDF queue: one job, the PDF whose text reads back.
  std::string pdf = NextOutput("pw-pdf", "pdf");
  std::string out = Print("--printer pw-pdf", status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out.rfind("pw-pdf-", 0), 0U) << out;
  ASSERT_TRUE(WaitForFile(pdf)) << pdf;
  EXPECT_NE(RunShell("pdftotext '" + pdf + "' -", status).find("Paracetamol Velmo"), std::string::npos);

  // A queue of pictures: one PNG job a label page, at the queue's 200 dpi (90 mm -> 708 pixels).
  out = Print("--printer pw-png", status);
  EXPECT_EQ(status, 0) << out;
  const int pages = static_cast<int>(std::count(out.begin(), out.end(), '\n'));
  EXPECT_EQ(pages, 3) << out;
  for (int i = 0; i < pages; ++i) {
    std::string png = NextOutput("pw-png", "png");
    ASSERT_TRUE(WaitForFile(png)) << png;
    EXPECT_NE(RunShell("file '" + png + "'", status).find("PNG image data, 708 x"), std::string::npos) << png;
  }

  // A raw queue of a label printer with --raw-zpl: every label once per copy.
  std::string zpl = NextOutput("pw-raw", "bin");
  out = Print("--printer pw-raw --raw-zpl --copies 2", status);
  EXPECT_EQ(status, 0) << out;
  ASSERT_TRUE(WaitForFile(zpl)) << zpl;
  const std::string labels = ReadAll(zpl);
  size_t count = 0;
  for (size_t at = labels.find("^XA"); at != std::string::npos; at = labels.find("^XA", at + 1)) ++count;
  EXPECT_EQ(count, 6U);
}

TEST_F(PrintingTest, PrintCommandRefusesQueuesThatCannotTakeTheJobBeforeRendering) {
  ASSERT_TRUE(test_support::CliProgramBuilt()) << "the pagewright program is not built";
  const struct {
    const char* options;
    int exitCode;
    const char* message;
  } cases[] = {
      {"--printer nope", 1, "printer \"nope\" does not exist on 127.0.0.1:"},
      {"--printer pw-closed", 1, "printer \"pw-closed\" is not accepting jobs"},
      {"--printer pw-raw", 1, "is a raw queue (its data reaches the device unchanged): send a label printer ZPL with --raw-zpl"},
      {"--printer pw-pdf --pdf x.pdf", 2, "--pdf is an output of `pagewright render`"},
      {"--printer pw-pdf --copies 0", 2, "--copies takes a number from 1 to 999"},
      {"", 2, "no queue given: use --printer QUEUE"},
  };
  for (const auto& c : cases) {
    int status = 0;
    const std::string out = Print(c.options, status);
    EXPECT_EQ(status, c.exitCode) << c.options << ": " << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.options << ": " << out;
  }
}

}  // namespace
}  // namespace pagewright
