#include "render/font_config.h"

#include <fontconfig/fontconfig.h>

#include <memory>
#include <mutex>
#include <string_view>

#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright {
namespace {

struct FcConfigDeleter {
  void operator()(FcConfig* c) const { FcConfigDestroy(c); }
};
struct FcPatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using ConfigPtr = std::unique_ptr<FcConfig, FcConfigDeleter>;
using PatternPtr = std::unique_ptr<FcPattern, FcPatternDeleter>;

constexpr const char* kDefaultFamily = "DejaVu Sans";

// Names pinned to the metric-compatible faces; every other name that is not one of the pinned
// families themselves goes to the default sans face.
struct Alias {
  std::string_view name;
  const char* family;
};
constexpr Alias kAliases[] = {
    {"arial", "Liberation Sans"},
    {"helvetica", "Liberation Sans"},
    {"times new roman", "Liberation Serif"},
    {"times", "Liberation Serif"},
    {"courier new", "Liberation Mono"},
    {"courier", "Liberation Mono"},
};
constexpr const char* kPinnedFamilies[] = {
    "Liberation Sans",   "Liberation Serif",     "Liberation Mono",       "DejaVu Sans",
    "DejaVu Serif",      "DejaVu Sans Mono",     "DejaVu Sans Condensed", "DejaVu Serif Condensed",
    "DejaVu Sans Light", "DejaVu Math TeX Gyre",
};

constexpr const char kConfigXml[] =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
    "<fontconfig>\n"
    "  <dir>/usr/share/fonts</dir>\n"
    "  <cachedir>/var/cache/fontconfig</cachedir>\n"
    "</fontconfig>\n";

std::mutex& ConfigMutex() {
  static std::mutex m;
  return m;
}
ConfigPtr& ConfigSlot() {
  static ConfigPtr config;
  return config;
}

FcConfig* Config() {
  ConfigPtr& slot = ConfigSlot();
  if (!slot) {
    ConfigPtr config(FcConfigCreate());
    if (!config) throw EOutOfMemory("Cannot create the font configuration");
    if (!FcConfigParseAndLoadFromMemory(config.get(), reinterpret_cast<const FcChar8*>(kConfigXml), FcTrue))
      throw EInvalidOperation("Cannot load the font configuration");
    if (!FcConfigBuildFonts(config.get())) throw EInvalidOperation("Cannot build the font list");
    slot = std::move(config);
  }
  return slot.get();
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

bool HasFamily(FcPattern* p, const std::string& family) {
  FcChar8* value = nullptr;
  for (int i = 0; FcPatternGetString(p, FC_FAMILY, i, &value) == FcResultMatch; ++i)
    if (Lower(reinterpret_cast<const char*>(value)) == Lower(family)) return true;
  return false;
}

// The best face of a family for the style, or null when the family is not installed.
PatternPtr MatchFamily(FcConfig* config, const std::string& family, bool bold, bool italic) {
  PatternPtr pattern(FcPatternCreate());
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddInteger(pattern.get(), FC_WIDTH, FC_WIDTH_NORMAL);
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  PatternPtr match(FcFontMatch(config, pattern.get(), &result));
  if (!match || result != FcResultMatch || !HasFamily(match.get(), family)) return nullptr;
  return match;
}

TResolvedFace FromPattern(FcPattern* p) {
  TResolvedFace face;
  FcChar8* file = nullptr;
  if (FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch)
    throw EInvalidOperation("Font without a file");
  face.Path = reinterpret_cast<const char*>(file);
  int index = 0;
  if (FcPatternGetInteger(p, FC_INDEX, 0, &index) == FcResultMatch) face.Index = index;
  FcChar8* family = nullptr;
  if (FcPatternGetString(p, FC_FAMILY, 0, &family) == FcResultMatch)
    face.Family = reinterpret_cast<const char*>(family);
  int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(p, FC_WEIGHT, 0, &weight);
  FcPatternGetInteger(p, FC_SLANT, 0, &slant);
  face.Bold = weight >= FC_WEIGHT_DEMIBOLD;
  face.Italic = slant != FC_SLANT_ROMAN;
  return face;
}

}  // namespace

std::string PinnedFamily(const WideString& name) {
  std::string key = Lower(Utf16ToUtf8(name));
  while (!key.empty() && key.back() == ' ') key.pop_back();
  while (!key.empty() && key.front() == ' ') key.erase(key.begin());
  for (const auto& a : kAliases)
    if (key == a.name) return a.family;
  for (const char* f : kPinnedFamilies)
    if (key == Lower(f)) return f;
  return kDefaultFamily;
}

TResolvedFace ResolveFace(const WideString& name, bool bold, bool italic) {
  std::lock_guard<std::mutex> lock(ConfigMutex());
  FcConfig* config = Config();
  for (const std::string& family :
       {PinnedFamily(name), std::string(kDefaultFamily), std::string("Liberation Sans")}) {
    if (PatternPtr match = MatchFamily(config, family, bold, italic)) return FromPattern(match.get());
  }
  // Neither pinned package is installed: any scalable face is better than none.
  PatternPtr pattern(FcPatternCreate());
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  FcObjectSet* os = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_WEIGHT, FC_SLANT, nullptr);
  FcFontSet* set = FcFontList(config, pattern.get(), os);
  FcObjectSetDestroy(os);
  if (set && set->nfont > 0) {
    TResolvedFace face = FromPattern(set->fonts[0]);
    FcFontSetDestroy(set);
    return face;
  }
  if (set) FcFontSetDestroy(set);
  throw EInvalidOperation("No font files found under /usr/share/fonts (run scripts/install-deps.sh)");
}

void ReleaseFontConfig() {
  std::lock_guard<std::mutex> lock(ConfigMutex());
  ConfigSlot().reset();
  FcFini();
}

}  // namespace pagewright
