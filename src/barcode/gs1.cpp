#include "barcode/gs1.h"

#include <iterator>

namespace pagewright {

namespace {

constexpr TpgwAICodesData kAITable[] = {
    {"00", 2, 18, 18, false},  {"01", 2, 14, 14, false},  {"02", 2, 14, 14, false}, {"10", 2, 1, 20, true},
    {"11", 2, 6, 6, false},    {"12", 2, 6, 6, false},    {"13", 2, 6, 6, false},   {"15", 2, 6, 6, false},
    {"16", 2, 6, 6, false},    {"17", 2, 6, 6, false},    {"20", 2, 2, 2, false},   {"21", 2, 1, 20, true},
    {"22", 2, 1, 20, true},    {"240", 3, 1, 30, true},   {"241", 3, 1, 30, true},  {"242", 3, 1, 6, true},
    {"243", 3, 1, 20, true},   {"250", 3, 1, 30, true},   {"251", 3, 1, 30, true},  {"253", 3, 13, 30, true},
    {"254", 3, 1, 20, true},   {"255", 3, 13, 25, true},  {"30", 2, 1, 8, true},    {"31XX", 4, 6, 6, false},
    {"32XX", 4, 6, 6, false},  {"33XX", 4, 6, 6, false},  {"34XX", 4, 6, 6, false}, {"35XX", 4, 6, 6, false},
    {"36XX", 4, 6, 6, false},  {"37", 2, 1, 8, true},     {"390X", 4, 1, 15, true}, {"391X", 4, 3, 18, true},
    {"392X", 4, 1, 15, true},  {"393X", 4, 3, 18, true},  {"394X", 4, 4, 4, true},  {"400", 3, 1, 30, true},
    {"401", 3, 1, 30, true},   {"402", 3, 17, 17, true},  {"403", 3, 1, 30, true},  {"41X", 3, 13, 13, false},
    {"420", 3, 1, 20, true},   {"421", 3, 3, 12, true},   {"422", 3, 3, 3, true},   {"423", 3, 3, 15, true},
    {"424", 3, 3, 3, true},    {"425", 3, 3, 15, true},   {"426", 3, 3, 3, true},   {"7001", 4, 13, 13, true},
    {"7002", 4, 1, 30, true},  {"7003", 4, 10, 10, true}, {"7004", 4, 1, 4, true},  {"7005", 4, 1, 12, true},
    {"7006", 4, 6, 6, true},   {"7007", 4, 6, 12, true},  {"7008", 4, 1, 3, true},  {"7009", 4, 1, 10, true},
    {"7010", 4, 1, 2, true},   {"7020", 4, 1, 20, true},  {"7021", 4, 1, 20, true}, {"7022", 4, 1, 20, true},
    {"7023", 4, 1, 30, true},  {"703X", 4, 3, 30, true},  {"710", 3, 1, 20, true},  {"711", 3, 1, 20, true},
    {"712", 3, 1, 20, true},   {"713", 3, 1, 20, true},   {"71X", 3, 1, 20, true},  {"8001", 4, 14, 14, true},
    {"8002", 4, 1, 20, true},  {"8003", 4, 14, 30, true}, {"8004", 4, 1, 30, true}, {"8005", 4, 6, 6, true},
    {"8006", 4, 18, 18, true}, {"8007", 4, 1, 34, true},  {"8008", 4, 8, 12, true}, {"8010", 4, 1, 30, true},
    {"8011", 4, 1, 12, true},  {"8012", 4, 1, 20, true},  {"8013", 4, 1, 30, true}, {"8017", 4, 18, 18, true},
    {"8018", 4, 18, 18, true}, {"8019", 4, 1, 10, true},  {"8020", 4, 1, 25, true}, {"8110", 4, 1, 70, true},
    {"8111", 4, 4, 4, true},   {"8112", 4, 1, 70, true},  {"8200", 4, 1, 70, true}, {"90", 2, 1, 30, true},
    {"9X", 2, 1, 90, true},
};
static_assert(std::size(kAITable) == 89);

}  // namespace

const TpgwAICodesData* GS1AITable(int& count) {
  count = static_cast<int>(std::size(kAITable));
  return kAITable;
}

const TpgwAICodesData* GS1FindAI(std::string_view text, size_t pos) {
  // "(" plus at least three characters: two identifier digits and ")" at the least
  if (pos >= text.size() || text[pos] != '(' || text.size() - pos < 4) return nullptr;
  std::string_view rest = text.substr(pos + 1);
  for (const TpgwAICodesData& e : kAITable) {
    size_t n = static_cast<size_t>(e.AISize);
    if (rest.size() <= n || rest[n] != ')') continue;
    bool match = true;
    for (size_t i = 0; i < n && match; ++i) match = e.AI[i] == 'X' || e.AI[i] == rest[i];
    if (match) return &e;
  }
  return nullptr;
}

std::string GS1ParseElementString(std::string_view text) {
  if (text.size() <= 2) return {};
  std::string out = "&1;";
  out.reserve(text.size() + 8);
  size_t pos = 0;
  while (pos < text.size()) {
    const TpgwAICodesData* ai = GS1FindAI(text, pos);
    if (!ai) return {};
    size_t aiSize = static_cast<size_t>(ai->AISize);
    size_t dataStart = pos + 1 + aiSize + 1;
    size_t dataEnd;
    if (!ai->FNC1) {
      dataEnd = dataStart + static_cast<size_t>(ai->DataMaxSize);
      if (dataEnd > text.size()) return {};
    } else {
      dataEnd = dataStart;
      while (dataEnd < text.size() && !(text[dataEnd] == '(' && GS1FindAI(text, dataEnd))) ++dataEnd;
      size_t len = dataEnd - dataStart;
      if (len < static_cast<size_t>(ai->DataMinSize) || len > static_cast<size_t>(ai->DataMaxSize)) return {};
    }
    out.append(text.substr(pos + 1, aiSize));
    out.append(text.substr(dataStart, dataEnd - dataStart));
    if (ai->FNC1 && dataEnd < text.size()) out.append("&1;");
    pos = dataEnd;
  }
  return out;
}

}  // namespace pagewright
