#include "cli/template_loading.h"

#include <filesystem>
#include <fstream>
#include <ostream>

#include "startup/startup.h"
#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "report/report.h"

namespace pagewright::cli {

std::unique_ptr<TpgwReport> LoadTemplate(const std::string& command, const std::string& fileName,
                                         std::ostream& err) {
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

}  // namespace pagewright::cli
