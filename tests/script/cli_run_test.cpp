// `pagewright run` end to end: the annotated programs of tests/data/scripts give their noted
// output on standard output, and their noted error on standard error with exit code 1.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/run_program.h"

namespace pagewright {
namespace {

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the program with the given (shell-quoted) arguments, keeping both output streams.
Outcome RunProgram(const std::string& args) {
  Outcome o;
  const std::filesystem::path errFile =
      std::filesystem::temp_directory_path() / ("pw_cli_run_" + std::to_string(::getpid()) + ".err");
  std::string cmd = "'" + test_support::CliProgram() + "' " + args + " 2>'" + errFile.string() + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return o;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.out.append(buf, n);
  int status = pclose(p);
  o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.err = ReadAll(errFile);
  std::filesystem::remove(errFile);
  return o;
}

// What an annotated program notes in comments (COMMENT is the language's line comment):
// "COMMENT => text" outputs, one per line; "COMMENT raises: Class: message" the run-time
// error leaving the program at that line, kept as "LINE:Class: message"; "COMMENT error:
// LINE:COLUMN: message" a compile error; "COMMENT options: ..." options for the run.
struct Annotations {
  std::string out;
  std::string raises;
  std::string error;
  std::string options;
};

Annotations Expectations(const std::string& text, const std::string& comment = "//") {
  Annotations a;
  const std::string output = comment + " => ", raises = comment + " raises: ", error = comment + " error: ",
                    options = comment + " options: ";
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Each output runs up to the next annotation on the line.
    for (size_t at = line.find(output); at != std::string::npos;) {
      size_t from = at + output.size();
      size_t next = line.find(" " + comment + " ", from);
      a.out += line.substr(from, next == std::string::npos ? std::string::npos : next - from) + "\n";
      at = next == std::string::npos ? next : line.find(output, next + 1);
    }
    if (size_t r = line.find(raises); r != std::string::npos)
      a.raises = std::to_string(number) + ":" + line.substr(r + raises.size());
    if (size_t e = line.find(error); e != std::string::npos) a.error = line.substr(e + error.size());
    if (size_t o = line.find(options); o != std::string::npos)
      a.options = line.substr(o + options.size()) + " ";
  }
  return a;
}

// Checks a run against its program's annotations.
void CheckRun(const std::string& file, const Annotations& want, const Outcome& r) {
  EXPECT_EQ(r.out, want.out) << file;
  if (!want.error.empty()) {
    EXPECT_EQ(r.exitCode, 1) << file;
    EXPECT_EQ(r.err, file + ":" + want.error + "\n") << file;
  } else if (want.raises.empty()) {
    EXPECT_EQ(r.exitCode, 0) << file;
    EXPECT_EQ(r.err, "") << file;
  } else {
    // FILE:LINE:COLUMN: Class: message
    EXPECT_EQ(r.exitCode, 1) << file;
    size_t colon = want.raises.find(':');
    std::string prefix = file + ":" + want.raises.substr(0, colon) + ":";
    EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
    EXPECT_NE(r.err.find(": " + want.raises.substr(colon + 1) + "\n"), std::string::npos) << r.err;
  }
}

TEST(CliRun, AnnotatedProgramsPrintTheirNotedOutput) {
  if (!test_support::CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  const std::filesystem::path dir = std::filesystem::path(PW_TEST_DATA_DIR) / "scripts";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".pas") continue;
    ++files;
    const std::string file = entry.path().string();
    CheckRun(file, Expectations(ReadAll(entry.path())), RunProgram("run '" + file + "'"));
  }
  EXPECT_GT(files, 0);
}

// The other languages: one folder of annotated programs each, run in the language of their
// extension; and one small program written in all four languages, which print the same.
TEST(CliRun, AnnotatedProgramsOfEveryLanguage) {
  if (!test_support::CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  struct Language {
    const char* extension;
    const char* name;
    const char* comment;
  };
  const Language languages[] = {{".pas", "PascalScript", "//"},
                                {".cpps", "C++Script", "//"},
                                {".bas", "BasicScript", "'"},
                                {".js", "JScript", "//"}};
  const std::filesystem::path root = std::filesystem::path(PW_TEST_DATA_DIR) / "scripts";
  for (const char* folder : {"cppscript", "basicscript", "jscript", "same"}) {
    std::map<std::string, std::string> outputs;  // language: what its program printed
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
      const Language* language = nullptr;
      for (const Language& l : languages)
        if (entry.path().extension() == l.extension) language = &l;
      if (!language) continue;
      ++files;
      const std::string file = entry.path().string();
      Annotations want = Expectations(ReadAll(entry.path()), language->comment);
      Outcome r = RunProgram("run " + want.options + "--language " + language->name + " '" + file + "'");
      CheckRun(file, want, r);
      outputs[language->name] = r.out;
    }
    EXPECT_GT(files, 0) << folder;
    if (std::string(folder) == "same") {
      ASSERT_EQ(outputs.size(), 4u);
      for (const auto& [name, out] : outputs) EXPECT_EQ(out, outputs["PascalScript"]) << name;
    }
  }
}

TEST(CliRun, ErrorsCarryTheirPositionAndUsageProblemsExitWithTwo) {
  if (!test_support::CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const std::filesystem::path compile = dir / ("pw_cli_run_compile_" + std::to_string(::getpid()) + ".pas");
  const std::filesystem::path runtime = dir / ("pw_cli_run_runtime_" + std::to_string(::getpid()) + ".pas");
  const std::filesystem::path forever = dir / ("pw_cli_run_forever_" + std::to_string(::getpid()) + ".pas");
  std::ofstream(compile) << "var i: Integer;\nbegin\n  i := 'x'\nend.\n";
  std::ofstream(runtime) << "var i, z: Integer;\nbegin\n  ShowMessage('before');\n  i := 1 + 4 div z\nend.\n";
  std::ofstream(forever) << "begin\n  while True do ShowMessage('again')\nend.\n";

  Outcome c = RunProgram("run '" + compile.string() + "'");
  EXPECT_EQ(c.exitCode, 1);
  EXPECT_EQ(c.err, compile.string() + ":3:3: Incompatible types: 'Integer', 'String'\n");
  Outcome r = RunProgram("run '" + runtime.string() + "'");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "before\n");
  EXPECT_EQ(r.err, runtime.string() + ":4:14: EDivByZero: Division by zero\n");
  Outcome f = RunProgram("run --steps 7 '" + forever.string() + "'");
  EXPECT_EQ(f.exitCode, 1);
  EXPECT_EQ(f.out, "again\nagain\nagain\n");
  EXPECT_NE(f.err.find("EvmStepLimitExceeded"), std::string::npos) << f.err;

  // The same positions through eval: within the expression.
  Outcome e = RunProgram("eval '1 + 10 div 0'");
  EXPECT_EQ(e.exitCode, 1);
  EXPECT_EQ(e.err, "pagewright eval: EDivByZero: Division by zero at 1:8 in: 1 + 10 div 0\n");

  for (const char* args :
       {"run", "run --steps", "run --steps -1 x.pas", "run --frobnicate x.pas", "run a.pas b.pas",
        "run --max-memory lots x.pas", "eval --steps x 1"})
    EXPECT_EQ(RunProgram(args).exitCode, 2) << args;
  Outcome help = RunProgram("run --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: pagewright run"), std::string::npos);
  EXPECT_EQ(RunProgram("run /nonexistent/program.pas").exitCode, 1);
  std::filesystem::remove(compile);
  std::filesystem::remove(runtime);
  std::filesystem::remove(forever);
}

// Whatever compiling or running raises ends the run with a message on standard error and exit
// code 1, never with an abort; units are found next to the program.
TEST(CliRun, EveryFailureEndsWithAMessageAndExitCodeOne) {
  if (!test_support::CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("pw_cli_run_units_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "greeting.pas")
      << "procedure Greet;\nbegin ShowMessage('from the unit') end;\nbegin end.\n";
  std::filesystem::create_symlink("/etc/hostname", dir / "link.pas");
  ASSERT_EQ(mkfifo((dir / "fifo.pas").c_str(), 0600), 0);  // reading it would block for ever
  std::filesystem::create_directory(dir / "folder");
  struct Case {
    const char* source;
    const char* options;
    int exitCode;
    const char* out;
    const char* errPart;  // part of the message on standard error ("" for none)
  };
  const Case cases[] = {
      {"#language NoSuchLanguage\nbegin end.\n", "", 1, "",
       ": Exception: Language 'NoSuchLanguage' not found\n"},
      {"uses 'missing_unit.pas';\nbegin end.\n", "", 1, "", ": EFOpenError: Cannot open file"},
      {"begin end.\n", "--language NoSuchLanguage ", 1, "", ": Language 'NoSuchLanguage' not found\n"},
      {"uses 'greeting.pas';\nbegin Greet end.\n", "", 0, "from the unit\n", ""},
      // Units come only from the program's own folder, and only as regular files.
      {"uses '/etc/hostname';\nbegin end.\n", "", 1, "", "a unit is a file in the program's own folder"},
      {"uses '../greeting.pas';\nbegin end.\n", "", 1, "", "a unit is a file in the program's own folder"},
      {"uses 'sub/../../x.pas';\nbegin end.\n", "", 1, "", "a unit is a file in the program's own folder"},
      {"uses 'link.pas';\nbegin end.\n", "", 1, "", "it is a symbolic link"},
      {"uses 'fifo.pas';\nbegin end.\n", "", 1, "", "It is not a regular file"},
      {"uses 'folder';\nbegin end.\n", "", 1, "", "Is a directory"},
      {"#language C++Script\n{ ShowMessage(\"braces\"); }\n", "", 0, "braces\n", ""},
      {"begin ShowMessage('chosen') end.\n", "--language PascalScript ", 0, "chosen\n", ""},
      // Limits: strings, the memory budget and the step budget stop a program before the machine.
      {"var s: String;\nbegin\n  SetLength(s, 300000000)\nend.\n", "", 1, "",
       ":3:3: EOutOfMemory: String longer than the script may make (100000000 characters)"},
      {"var s: String; i: Integer;\nbegin\n  s := 'x';\n  for i := 1 to 40 do s := s + s\nend.\n", "--steps 0 ", 1, "",
       "EOutOfMemory: String longer than the script may make (100000000 characters)"},
      {"var a: array of String; i: Integer; s: String;\nbegin\n  SetLength(a, 100);\n  s := 'x';\n"
       "  for i := 1 to 22 do s := s + s;\n  for i := 0 to 99 do a[i] := s + IntToStr(i)\nend.\n",
       "--max-memory 64M ", 1, "", "EOutOfMemory: Out of memory: a string of 4194305 characters needs"},
      {"begin\n  while True do\nend.\n", "", 1, "", "EvmStepLimitExceeded: Script stopped after 1000000 steps"},
  };
  for (const Case& c : cases) {
    const std::filesystem::path program = dir / "program.pas";
    std::ofstream(program) << c.source;
    std::string args = "run ";
    args += c.options;
    args += "'" + program.string() + "'";
    Outcome r = RunProgram(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.source;
    EXPECT_EQ(r.out, c.out) << c.source;
    if (*c.errPart) {
      EXPECT_EQ(r.err.rfind(program.string(), 0), 0u) << r.err;
      EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.err, "") << c.source;
    }
  }
  EXPECT_EQ(RunProgram("run --language").exitCode, 2);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace pagewright
