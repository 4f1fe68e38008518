// Loading a template for the command-line tool: every class registered, no prompts, errors
// collected in the report.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace pagewright {
class TpgwReport;
}

namespace pagewright::cli {

// Exit code of a template that cannot be read at all.
inline constexpr int kExitUnreadable = 2;

// A report with the template loaded, or null when the file cannot be read (a message naming
// `command` and the file is printed to `err`). Files the template names must lie in its folder
// or in one of `allowedFolders` (--allow-path).
std::unique_ptr<TpgwReport> LoadTemplate(const std::string& command, const std::string& fileName,
                                         std::ostream& err, const std::vector<std::string>& allowedFolders = {});
// Prints the report's error lines as "error: <fileName>: <line>"; returns whether there were
// any. Call it right after loading: preparing the report starts a new list.
bool PrintErrors(TpgwReport& report, const std::string& fileName, std::ostream& err);
// Applies a command's --scripts switch; without it, says once on `err` when the template has a
// script or names event procedures that will therefore not run.
void ApplyScriptsSwitch(TpgwReport& report, bool runScripts, const std::string& command,
                        const std::string& fileName, std::ostream& err);

}  // namespace pagewright::cli
