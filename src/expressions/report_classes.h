// The report module's classes as scripts see them, beyond their published properties: the
// objects a script may create (string lists, memory streams, variable lists, style lists,
// arrays), the lists through which it reaches the tree, and the members of the report classes.
//
// Scripts come from templates and are untrusted. What they create is owned by the script
// program and counted against the memory budget; files are read only inside the template's
// folder (and the folders the host allowed), never written unless the host allows it, and
// streams are only the in-memory streams the script created.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/types.h"

namespace pagewright {

class TPersistent;
class TStringList;
class TpgwComponent;
class TpgwReport;
class TvmScript;

// The most objects one script program may create; a loop creating objects stops here.
inline constexpr size_t kMaxScriptObjects = 100000;
// The largest file a script may read.
inline constexpr int64_t kMaxScriptFileBytes = int64_t{64} << 20;

// Classes the report's members refer to (TObject, TList, TStream, TMemoryStream, TWideStrings,
// TCollection, fills, option classes): registered before the report classes, so that members
// typed with them are typed at compile time.
void AddScriptBaseClasses(TvmScript& script);
// The members of the report classes (after the report classes are registered).
void AddReportClassMembers(TvmScript& script);

// The list of a script's TWideStrings object; null for anything else.
TStringList* ScriptStringList(TPersistent* obj);

// A prepared page copied for a script: the script's program keeps it (as it keeps what it
// creates) and remembers its index; returns the page.
TpgwComponent* KeepScriptPage(TvmScript& script, std::unique_ptr<TpgwComponent> page, int index);
// The prepared-page index of a page kept for the script; -1 for any other object.
int ScriptPageIndex(TvmScript& script, const TpgwComponent* page);

// The report a script belongs to: its folder bounds the files the script may read. A script
// without a report reads no files.
void SetScriptReport(TvmScript& script, TpgwReport* report);
// Whether the script's SaveToFile members may write files (inside the same folders as reading).
// Off unless the host turns it on.
void SetScriptFileWrites(TvmScript& script, bool allowed);

}  // namespace pagewright
