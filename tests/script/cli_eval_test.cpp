// `pagewright eval` end to end: runs the built command-line program when it is there.
#include <gtest/gtest.h>

#include "common/run_program.h"

namespace pagewright {
namespace {

using test_support::RunCli;

TEST(CliEval, PrintsEachValueOnItsOwnLine) {
  if (!test_support::CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  auto r = RunCli("eval '1 + 2 * 3' \"FormatFloat('#,##0.00', 1234.5)\" \"Copy('ALMACEN', 2, 3)\" '7 / 2'");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "7\n1,234.50\nLMA\n3.5\n");
}

TEST(CliEval, ErrorsExitWithOne) {
  if (!test_support::CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  for (const char* args : {"eval '1 +'", "eval \"StrToInt('12a')\"", "eval 'NoSuchFunction(1)'"}) {
    auto r = RunCli(args);
    EXPECT_EQ(r.exitCode, 1) << args;
  }
  EXPECT_EQ(RunCli("eval").exitCode, 2);
}

}  // namespace
}  // namespace pagewright
