#include "cli/template_loading.h"

#include <filesystem>
#include <fstream>
#include <ostream>

#include "startup/startup.h"
#include "platform/exceptions.h"
#include "platform/properties.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/report.h"

namespace pagewright::cli {

std::unique_ptr<TpgwReport> LoadTemplate(const std::string& command, const std::string& fileName,
                                         std::ostream& err, const std::vector<std::string>& allowedFolders) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fileName, ec) || !std::ifstream(fileName, std::ios::binary)) {
    err << "pagewright " << command << ": cannot read " << fileName << "\n";
    return nullptr;
  }
  InitializeEngine();
  auto report = CreateReport();
  report->EngineOptions().SetSilentMode(true);
  // No password prompt: this tool never asks.
  report->EngineOptions().SetEnableThreadSafe(true);
  report->SetRestrictFilePaths(true);
  for (const std::string& f : allowedFolders) report->AllowFolder(f);
  try {
    report->LoadFromFile(Utf8ToUtf16(fileName), true);
  } catch (const Exception& e) {
    err << "pagewright " << command << ": cannot read " << fileName << ": " << e.Message() << "\n";
    return nullptr;
  }
  return report;
}

bool PrintErrors(TpgwReport& report, const std::string& fileName, std::ostream& err) {
  for (int i = 0; i < report.Errors().Count(); ++i) {
    std::string line = Utf16ToUtf8(report.Errors()[i]);
    // One problem, one line.
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';
    err << "error: " << fileName << ": " << line << "\n";
  }
  return report.Errors().Count() > 0;
}

namespace {

// Whether the script text does something: not empty and not the empty program a new template has.
bool ScriptDoesSomething(const WideString& text) {
  std::string words;
  for (char16_t c : text)
    if (c > u' ') words += c < 128 ? static_cast<char>(c >= u'a' && c <= u'z' ? c - 32 : c) : '?';
  return !words.empty() && words != "BEGINEND." && words != "{}" && words != "BEGINEND" && words != "SUBMAIN()ENDSUB";
}

// The first object (the report included) that names an event procedure, or null.
TpgwComponent* FirstWithEvent(TpgwReport& report) {
  std::vector<TpgwComponent*> objects = report.AllObjects();
  objects.insert(objects.begin(), &report);
  for (TpgwComponent* c : objects)
    for (const TPropInfo* p : c->ClassInfo().Properties())
      if (p->Kind() == pkEvent && !Trim(p->Get(*c).Str).empty()) return c;
  return nullptr;
}

}  // namespace

void ApplyScriptsSwitch(TpgwReport& report, bool runScripts, const std::string& command,
                        const std::string& fileName, std::ostream& err) {
  report.EngineOptions().SetRunScripts(runScripts);
  if (runScripts) return;
  const bool script = ScriptDoesSomething(report.ScriptText().Text());
  TpgwComponent* withEvent = FirstWithEvent(report);
  if (!script && !withEvent) return;
  err << "pagewright " << command << ": note: " << fileName << ": the template's "
      << (script ? "script" : "event procedures") << " did not run";
  if (!script && withEvent && !withEvent->Name().empty()) err << " (first: " << Utf16ToUtf8(withEvent->Name()) << ")";
  err << "; --scripts runs them\n";
}

}  // namespace pagewright::cli
