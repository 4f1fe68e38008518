// The process-wide resource store: every message and caption by key.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/types.h"

namespace pagewright {

class TStream;

// Texts by key. Keys are compared without regard to letter case; a key without a text yields
// the key itself. Tables are XML documents: a root "Resources" with a "CodePage" attribute and
// one "StrRes" child (attributes "Name" and "Text") per entry.
class TpgwResources {
 public:
  // Receives each script compile message (key, text) when UpdateVMResources runs.
  using TVMResourcesHook = std::function<void(std::string_view key, const WideString& text)>;
  // The keys of the script engine's compile messages, in the order they are handed over.
  static const std::vector<std::string_view>& VMResourceKeys();

  // Lists the language files beside the program; adds no tables (ResourceStore does).
  TpgwResources();
  ~TpgwResources();
  TpgwResources(const TpgwResources&) = delete;
  TpgwResources& operator=(const TpgwResources&) = delete;

  WideString Get(std::u16string_view key) const;
  WideString Get(std::string_view key) const;  // an ASCII or UTF-8 key
  // Sets the text of a key: a known key keeps its index and first spelling.
  void Add(std::string_view key, std::string_view text);  // UTF-8 key and text
  void AddW(const WideString& key, const WideString& text);
  // Lines "key=value"; lines with an empty key or value are skipped.
  void AddStrings(const WideString& text);
  // A whole table as bytes (UTF-8 unless its header says otherwise).
  void AddXML(std::string_view bytes);
  void Clear();
  // A missing file changes nothing.
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(TStream& stream);
  // Hands the script engine's compile messages their texts through the hook, if one is set.
  void UpdateVMResources();
  void SetVMResourcesHook(TVMResourcesHook hook) { FVMResourcesHook = std::move(hook); }

  // Number of entries.
  int Count() const { return static_cast<int>(FValues.size()); }
  // Code page declared by the last table loaded.
  uint32_t CP() const { return FCP; }
  // Language names from the "*.pwc" files beside the program, sorted.
  const std::vector<WideString>& Languages() const { return FLanguages; }
  const WideString& HelpFile() const { return FHelpFile; }
  void SetHelpFile(WideString v) { FHelpFile = std::move(v); }
  int ImagesPPI() const { return FImagesPPI; }
  void SetImagesPPI(int v) { FImagesPPI = v; }

  // Language names of the "*.pwc" files in a folder: "GERMAN.PWC" gives "German".
  static std::vector<WideString> FindLanguages(const std::string& folder);

 private:
  int IndexOf(std::u16string_view key) const;

  // Keys case-folded, mapped to the index of their text; the spelling first added is kept.
  std::unordered_map<WideString, int> FNames;
  std::vector<WideString> FKeys;
  std::vector<WideString> FValues;
  std::vector<WideString> FLanguages;
  std::vector<std::string> FImagesList;
  WideString FHelpFile;
  uint32_t FCP = 0;
  int FImagesPPI = 96;
  TVMResourcesHook FVMResourcesHook;
};

// The one store of the process, created on first call with the built-in tables.
TpgwResources& ResourceStore();
// Text of a key; a key missing from the store yields the key itself.
WideString ResourceGet(std::string_view key);
// Lookup of a numeric key (the number in decimal).
WideString ResourceText(int number);

// The XML text of the two built-in tables.
std::string_view BuiltinMainResources();
std::string_view BuiltinExportResources();

}  // namespace pagewright
