// `pagewright serve` starting up: the refusals before it listens (usage, paths, a port in use).
// Serving itself is tested in a real browser (tests/serve/browser_test.mjs).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

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

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class CliServe : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pagewright::test_support::CliProgramBuilt()) FAIL() << "the pagewright program is not built";
    std::ofstream(dir.path / "data.csv") << "a\n1\n";
  }
  Result Serve(const std::string& args) {
    const fs::path errFile = dir.path / ".stderr";
    // A start that is not refused would serve for ever: the timeout ends it (exit 124).
    auto r = pagewright::test_support::RunCommand("(cd " + Quote(dir.path.string()) + " && timeout 10 " +
                                                  Quote(pagewright::test_support::CliProgram()) + " serve " +
                                                  args + " 2>" + Quote(errFile.string()) + ")");
    std::ifstream in(errFile);
    Result result{r.exitCode, r.out,
                  std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())};
    fs::remove(errFile);
    return result;
  }
  TempDir dir;
};

TEST_F(CliServe, RefusesBadStartsWithTheirReason) {
  struct Case {
    const char* args;
    int exitCode;
    const char* message;
  } cases[] = {
      {"", 2, "pagewright serve: no PATH given (a template or a folder of templates)"},
      {"--port 70000 .", 2, "pagewright serve: --port wants a whole number from 0 to 65535, not '70000'"},
      {"--port=http .", 2, "pagewright serve: --port wants a whole number from 0 to 65535, not 'http'"},
      {"--time-limit 0 .", 2, "pagewright serve: --time-limit wants a whole number from 1 to 3600, not '0'"},
      {"--watch .", 2, "pagewright serve: unknown option '--watch'"},
      {". other", 2, "pagewright serve: only one PATH can be served ('other' is a second)"},
      {"--data . --data .", 2, "pagewright serve: --data .: that data set is given twice"},
      {"--allow-path nowhere .", 2, "pagewright serve: --allow-path nowhere: not a folder"},
      {"nowhere", 1, "pagewright serve: nowhere: no such file or folder"},
      {"data.csv", 1, "pagewright serve: data.csv: not a template (.pw3) or a folder"},
  };
  for (const Case& c : cases) {
    const Result r = Serve(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.err;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.message) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
  }
}

TEST_F(CliServe, HelpGoesToStandardOutput) {
  const Result r = Serve("--help");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("usage: pagewright serve [--bind ADDR] [--port N] PATH", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(CliServe, APortInUseIsAFailureNamingIt) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(fd, 1), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const int port = ntohs(addr.sin_port);
  const Result r = Serve("--port " + std::to_string(port) + " .");
  close(fd);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("pagewright serve: cannot listen on 127.0.0.1:" + std::to_string(port)),
            std::string::npos)
      << r.err;
}

}  // namespace
