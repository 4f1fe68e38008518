// Files and folders: existence tests, creation and removal, file-name parts, the temporary folder and
// unique temporary files. File names are UTF-8 (std::string); the name helpers also take UTF-16 text.
// The path delimiter is "/"; the name helpers also accept "\" as a delimiter, as the engine's own
// rules write folder paths with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <string_view>

#include "platform/format.h"
#include "platform/types.h"

namespace pagewright {

inline constexpr char PathDelim = '/';

bool FileExists(const std::string& fileName);      // a file, not a folder
bool DirectoryExists(const std::string& dirName);  // a folder
// Creates the folder and any missing parents; true when the folder exists afterwards. An empty name
// raises EInOutError "Unable to create directory".
bool ForceDirectories(const std::string& dirName);
bool CreateDir(const std::string& dirName);  // one level
bool RemoveDir(const std::string& dirName);  // an empty folder
bool DeleteFile(const std::string& fileName);
// Renames a file; fails (false) when the new name already exists, as on the engine's original platform.
bool RenameFile(const std::string& oldName, const std::string& newName);
// The same for names held as report text.
bool FileExists(const WideString& fileName);
bool DirectoryExists(const WideString& dirName);
bool ForceDirectories(const WideString& dirName);
bool DeleteFile(const WideString& fileName);
// Size in bytes, -1 when the file does not exist.
int64_t FileSizeOf(const std::string& fileName);
// Last modification as a local date-time; false when the file does not exist.
bool FileAge(const std::string& fileName, TDateTime& dateTime);

std::string GetCurrentDir();
bool SetCurrentDir(const std::string& dirName);
// An absolute name with "." and ".." resolved (the file need not exist).
std::string ExpandFileName(const std::string& fileName);

// A path that a file names (a template's parent or picture file), taken from the folder of the file
// that names it: absolute paths stay as they are; relative ones are joined to referringFile's folder,
// or to the working folder when referringFile is empty or has no folder part.
std::string ResolvePathFrom(const std::string& referringFile, const std::string& path);
WideString ResolvePathFrom(const WideString& referringFile, const WideString& path);

// File-name parts. The folder part keeps its trailing delimiter; the extension includes its dot.
std::string ExtractFilePath(const std::string& fileName);
std::string ExtractFileDir(const std::string& fileName);  // without the trailing delimiter
std::string ExtractFileName(const std::string& fileName);
std::string ExtractFileExt(const std::string& fileName);
std::string ChangeFileExt(const std::string& fileName, const std::string& extension);
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);
WideString ExtractFilePath(const WideString& fileName);
WideString ExtractFileDir(const WideString& fileName);
WideString ExtractFileName(const WideString& fileName);
WideString ExtractFileExt(const WideString& fileName);
WideString ChangeFileExt(const WideString& fileName, const WideString& extension);
WideString IncludeTrailingPathDelimiter(const WideString& path);
WideString ExcludeTrailingPathDelimiter(const WideString& path);

// The system's temporary folder with a trailing delimiter: "/tmp/" unless the process has set another
// with SetTempDir (the engine reads no environment variables).
std::string GetTempDir();
void SetTempDir(const std::string& dirName);  // empty restores the default
// Creates a new empty file with a unique name "<dir><prefix><hex digits>.tmp" (atomically: the name did
// not exist before) and returns its name. An empty dir means GetTempDir(). Raises EFCreateError when no
// file can be created there.
std::string CreateTempFile(const std::string& dir, const std::string& prefix);

// Opens a file with the desktop's application for it (xdg-open), without waiting for it and
// without leaving a process behind. Returns false with the reason when there is no desktop session
// (neither DISPLAY nor WAYLAND_DISPLAY is set) or no xdg-open on the PATH.
bool OpenWithDesktop(const std::string& fileName, std::string& whyNot);

// Whether `path` (an existing file, or a name in an existing folder) lies inside one of `folders`,
// after symbolic links and ".." are resolved on both sides.
bool PathIsInside(const std::string& path, const std::vector<std::string>& folders);

}  // namespace pagewright
