// The argument parsers of the `pagewright` commands: arbitrary bytes become a command (first
// byte) and its arguments (the rest, split at NUL bytes), and the command runs with its output
// going nowhere. It runs in a scratch folder holding a small template, data and a script, so
// that file names in the arguments reach real files; arguments that could leave that folder
// or wait for something outside the process (paths with "/", "-" for standard input, database
// URIs, a print queue) make the input be skipped, as do loops in `eval`'s expressions (it runs
// them without a step limit, as asked).
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/barcode_command.h"
#include "cli/command.h"
#include "cli/eval_command.h"
#include "cli/prepare_command.h"
#include "cli/print_command.h"
#include "cli/render_command.h"
#include "cli/resave_command.h"
#include "cli/run_command.h"
#include "cli/tree_command.h"

using namespace pagewright::cli;

namespace {

const CliCommand* const kCommands[] = {&kBarcodeCommand, &kEvalCommand,    &kRunCommand,  &kRenderCommand,
                                       &kPrintCommand,   &kPrepareCommand, &kTreeCommand, &kResaveCommand};

struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
};

constexpr const char* kTemplate = R"(<?xml version="1.0" encoding="utf-8" standalone="no"?>
<TpgwReport ReportOptions.Name="PackLabel">
  <Variables><item Name="Lot" Value="&#39;L1&#39;"/></Variables>
  <TpgwReportPage Name="Page1" PaperWidth="90" PaperHeight="50" LeftMargin="3" RightMargin="3" TopMargin="3" BottomMargin="3">
    <TpgwMasterData Name="MasterData1" Height="100" Left="0" Top="0" Width="317" DataSetName="meds" RowCount="2">
      <TpgwMemoView Name="MemoProduct" Left="4" Top="2" Width="200" Height="22" Text="[meds.&#34;product&#34;] [Lot]"/>
      <TpgwBarCodeView Name="BarEan" Left="4" Top="30" Width="160" Height="60" BarType="bcCodeEAN13" Expression="&#60;meds.&#34;ean13&#34;&#62;"/>
    </TpgwMasterData>
  </TpgwReportPage>
</TpgwReport>
)";

struct SeedFile {
  const char* name;
  const char* text;
};
const SeedFile kSeeds[] = {
    {"t.pw3", kTemplate},
    {"meds.csv", "product,ean13,qty\nAspirin,4006381333931,2\n\"Ibu, 400\",5901234123457,1\n"},
    {"meds.json", "[{\"product\":\"Aspirin\",\"ean13\":\"4006381333931\",\"qty\":2}]\n"},
    {"s.pas", "begin\n  ShowMessage('x' + IntToStr(2));\nend.\n"},
};

// Removes what the last run wrote into the folder (files, and folders it left empty).
void EmptyFolder(const std::string& dir) {
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "/" + name;
      if (unlink(path.c_str()) != 0) rmdir(path.c_str());
    }
    closedir(d);
  }
}

std::string Scratch() {
  // A plain array, so that it outlives the exit handler that removes the folder.
  static char name[] = "/tmp/pagewright-fuzz-cli-XXXXXX";
  static const bool made = [] {
    if (!mkdtemp(name)) __builtin_trap();
    // Gone when the program ends normally (libFuzzer's runs end with exit).
    std::atexit([] {
      EmptyFolder(name);
      rmdir(name);
    });
    return true;
  }();
  (void)made;
  return name;
}

// Empties the scratch folder and puts the seed files back.
void ResetScratch(const std::string& dir) {
  EmptyFolder(dir);
  for (const SeedFile& s : kSeeds) std::ofstream(dir + "/" + s.name, std::ios::binary) << s.text;
}

bool Refused(const CliCommand& command, const std::string& a) {
  std::string lower(a);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (a == "-" || a.find('/') != std::string::npos || lower.find("postgres") != std::string::npos) return true;
  if (&command == &kPrintCommand && (lower.rfind("--printer", 0) == 0 || lower.rfind("--server", 0) == 0))
    return true;
  if (&command == &kEvalCommand)
    for (const char* loop : {"while", "repeat", "for", "goto", "until", "do"})
      if (lower.find(loop) != std::string::npos) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1024) return 0;
  const CliCommand& command = *kCommands[data[0] % std::size(kCommands)];
  std::vector<std::string> args;
  std::string current;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (size > 1) args.push_back(current);
  if (args.size() > 24) return 0;
  for (const std::string& a : args)
    if (Refused(command, a)) return 0;
  const std::string dir = Scratch();
  ResetScratch(dir);
  char previous[4096];
  if (!getcwd(previous, sizeof previous) || chdir(dir.c_str()) != 0) __builtin_trap();
  NullBuffer null;
  std::ostream out(&null), err(&null);
  int code = 0;
  try {
    code = command.run(args, out, err);
  } catch (...) {
    code = kExitFailure;  // as main reports what a command did not catch
  }
  if (chdir(previous) != 0) __builtin_trap();
  if (code != kExitOk && code != kExitFailure && code != kExitUsage) __builtin_trap();
  return 0;
}
