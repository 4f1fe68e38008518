#include "support/resources.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "platform/code_pages.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "storage/xml_document.h"

namespace pagewright {

namespace {

// Folder of the running program, with a trailing delimiter; empty when unknown.
std::string ProgramFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return IncludeTrailingPathDelimiter(exe.parent_path().string());
}

}  // namespace

const std::vector<std::string_view>& TpgwResources::VMResourceKeys() {
  static const std::vector<std::string_view> keys = {
      "SLangNotFound",  "SInvalidLanguage", "SIdRedeclared",    "SUnknownType",   "SIncompatibleTypes",
      "SIdUndeclared",  "SClassRequired",   "SIndexRequired",   "SStringError",   "SClassError",
      "SArrayRequired", "SVarRequired",     "SNotEnoughParams", "STooManyParams", "SLeftCantAssigned",
      "SForError",      "SEventError"};
  return keys;
}

TpgwResources::TpgwResources() {
  std::string folder = ProgramFolder();
  if (!folder.empty()) FLanguages = FindLanguages(folder);
}

TpgwResources::~TpgwResources() = default;

std::vector<WideString> TpgwResources::FindLanguages(const std::string& folder) {
  std::vector<WideString> result;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string file = it->path().filename().string();
    if (file.size() < 4 || !AsciiSameText(std::string_view(file).substr(file.size() - 4), ".pwc")) continue;
    if (!it->is_regular_file(ec)) continue;
    WideString name = WideLowerCase(Utf8ToUtf16(file));
    if (!name.empty()) name[0] = WideUpperChar(name[0]);
    size_t dot = name.find(u".pwc");
    if (dot != WideString::npos) name.erase(dot, 4);
    result.push_back(std::move(name));
  }
  std::sort(result.begin(), result.end(),
            [](const WideString& a, const WideString& b) { return WideCompareText(a, b) < 0; });
  return result;
}

int TpgwResources::IndexOf(std::u16string_view key) const {
  auto it = FNames.find(WideUpperCase(key));
  return it == FNames.end() ? -1 : it->second;
}

WideString TpgwResources::Get(std::u16string_view key) const {
  int i = IndexOf(key);
  WideString result = i >= 0 ? FValues[static_cast<size_t>(i)] : WideString(key);
  // A leading "!" marks a text that must not be shown as it is stored.
  if (!result.empty() && result[0] == u'!') result.erase(0, 1);
  return result;
}

WideString TpgwResources::Get(std::string_view key) const {
  return Get(Utf8ToUtf16(key));
}

void TpgwResources::Add(std::string_view key, std::string_view text) {
  AddW(Utf8ToUtf16(key), Utf8ToUtf16(text));
}

void TpgwResources::AddW(const WideString& key, const WideString& text) {
  auto [it, inserted] = FNames.try_emplace(WideUpperCase(key), static_cast<int>(FValues.size()));
  if (inserted) {
    FKeys.push_back(key);
    FValues.push_back(text);
  } else {
    FValues[static_cast<size_t>(it->second)] = text;
  }
}

void TpgwResources::AddStrings(const WideString& text) {
  size_t start = 0;
  const size_t n = text.size();
  while (start < n) {
    size_t end = start;
    while (end < n && text[end] != u'\r' && text[end] != u'\n') ++end;
    std::u16string_view line(text.data() + start, end - start);
    size_t eq = line.find(u'=');
    if (eq != std::u16string_view::npos && eq > 0 && eq + 1 < line.size())
      AddW(WideString(line.substr(0, eq)), WideString(line.substr(eq + 1)));
    // A line ends at CR, LF or CR LF.
    if (end < n && text[end] == u'\r' && end + 1 < n && text[end + 1] == u'\n') ++end;
    start = end + 1;
  }
}

void TpgwResources::AddXML(std::string_view bytes) {
  TStringStream stream{std::string(bytes)};
  LoadFromStream(stream);
}

void TpgwResources::Clear() {
  FNames.clear();
  FKeys.clear();
  FValues.clear();
}

void TpgwResources::LoadFromFile(const std::string& fileName) {
  if (!FileExists(fileName)) return;
  TFileStream stream(fileName, fmOpenRead | fmShareDenyNone);
  LoadFromStream(stream);
}

void TpgwResources::LoadFromStream(TStream& stream) {
  TpgwXMLDocument doc;
  doc.LoadFromStream(stream, false);
  const TpgwXMLItem* root = doc.Root();
  if (root->Name() == u"Resources") {
    FCP = static_cast<uint32_t>(StrToInt(root->GetProp(u"CodePage")));
    for (const auto& child : root->Children()) {
      if (child->Name() != u"StrRes") continue;
      // Texts are encoded twice in tables, so they are decoded once more here.
      WideString text = DecodeXmlEntities(child->GetProp(u"Text"));
      if (doc.OldVersion()) text = Utf8ToUtf16(WideToAnsi(text));
      AddW(child->GetProp(u"Name"), text);
    }
  }
  UpdateVMResources();
}

void TpgwResources::UpdateVMResources() {
  if (!FVMResourcesHook) return;
  for (std::string_view key : VMResourceKeys()) FVMResourcesHook(key, Get(key));
}

TpgwResources& ResourceStore() {
  static TpgwResources* store = [] {
    static TpgwResources instance;
    instance.AddXML(BuiltinMainResources());
    instance.AddXML(BuiltinExportResources());
    return &instance;
  }();
  return *store;
}

WideString ResourceGet(std::string_view key) {
  return ResourceStore().Get(key);
}

WideString ResourceText(int number) {
  return ResourceStore().Get(std::to_string(number));
}

}  // namespace pagewright
