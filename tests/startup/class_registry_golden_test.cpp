// The class registry after start-up, as one text: every registered class with its parent and its
// published properties in order, each with its kind, type and declared default. It is compared
// with tests/data/golden/class_registry.txt; PW_UPDATE_GOLDEN=1 writes the file anew, and the
// diff is what a reviewer reads when a property is added, moved or given another default.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/format.h"
#include "platform/properties.h"
#include "platform/unicode.h"
#include "startup/startup.h"

namespace pagewright {
namespace {

const char* KindName(TPropKind kind) {
  switch (kind) {
    case pkInteger: return "integer";
    case pkInt64: return "int64";
    case pkFloat: return "float";
    case pkBoolean: return "boolean";
    case pkEnumeration: return "enumeration";
    case pkSet: return "set";
    case pkString: return "string";
    case pkStringList: return "strings";
    case pkObject: return "object";
    case pkReference: return "reference";
    case pkEvent: return "event";
    case pkVariant: return "variant";
  }
  return "?";
}

std::string DefaultText(const TPropInfo& p) {
  if (!p.HasDefault()) return "";
  const TPropValue& d = p.Default();
  switch (p.Kind()) {
    case pkBoolean:
      return d.Int ? " = True" : " = False";
    case pkEnumeration:
      return " = " + (p.Enum() ? p.Enum()->Name(d.Int) : std::to_string(d.Int));
    case pkSet:
      return " = " + (p.Enum() ? Utf16ToUtf8(SetToString(*p.Enum(), d.Bits)) : std::to_string(d.Bits));
    case pkFloat:
      return " = " + Utf16ToUtf8(FloatToStr(d.Float));
    case pkString:
    case pkEvent:
      return " = '" + Utf16ToUtf8(d.Str) + "'";
    default:
      return " = " + std::to_string(d.Int);
  }
}

std::string RegistryDump() {
  std::vector<const TClassInfo*> classes = ClassRegistry().Classes();
  std::sort(classes.begin(), classes.end(),
            [](const TClassInfo* a, const TClassInfo* b) { return a->Name() < b->Name(); });
  std::ostringstream out;
  for (const TClassInfo* c : classes) {
    out << c->Name();
    if (c->Parent()) out << " : " << c->Parent()->Name();
    out << '\n';
    for (const TPropInfo* p : c->Properties()) {
      out << "  " << p->Name() << ": " << KindName(p->Kind());
      if (!p->TypeName().empty()) out << ' ' << p->TypeName();
      out << DefaultText(*p) << '\n';
    }
  }
  return out.str();
}

TEST(ClassRegistry, PublishedPropertiesInOrderWithDefaultsMatchTheGolden) {
  InitializeEngine();
  const std::string path = std::string(PW_TEST_DATA_DIR) + "/golden/class_registry.txt";
  const std::string dump = RegistryDump();
  if (const char* update = std::getenv("PW_UPDATE_GOLDEN"); update && std::string(update) == "1") {
    std::ofstream(path, std::ios::binary) << dump;
    GTEST_SKIP() << "wrote " << path;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path << " is missing: run with PW_UPDATE_GOLDEN=1 and review it";
  std::ostringstream golden;
  golden << in.rdbuf();
  if (golden.str() == dump) return;
  // The first differing line says where to look.
  std::istringstream a(golden.str()), b(dump);
  std::string la, lb;
  int line = 0;
  while (true) {
    ++line;
    const bool ga = static_cast<bool>(std::getline(a, la)), gb = static_cast<bool>(std::getline(b, lb));
    if (!ga && !gb) break;
    if (!ga || !gb || la != lb) {
      FAIL() << path << ":" << line << ": golden '" << (ga ? la : "<end>") << "', now '" << (gb ? lb : "<end>")
             << "' (PW_UPDATE_GOLDEN=1 rewrites it)";
    }
  }
}

}  // namespace
}  // namespace pagewright
