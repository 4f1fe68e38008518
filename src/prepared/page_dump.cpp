#include "prepared/page_dump.h"

#include <charconv>
#include <ostream>
#include <string>

#include "platform/unicode.h"
#include "prepared/preview_pages.h"
#include "report/memo_view.h"
#include "report/pages.h"

namespace pagewright {
namespace {

// Fixed two decimals whatever the process locale.
std::string Number(Extended v) {
  char buf[64];
  const double d = static_cast<double>(v);
  auto r = std::to_chars(buf, buf + sizeof buf, d == 0 ? 0.0 : d, std::chars_format::fixed, 2);
  std::string s(buf, r.ptr);
  return s == "-0.00" ? "0.00" : s;
}

std::string ShownText(const TpgwComponent& obj) {
  const auto* memo = dynamic_cast<const TpgwCustomMemoView*>(&obj);
  if (!memo) return {};
  WideString t = memo->Text();
  while (!t.empty() && (t.back() == u'\n' || t.back() == u'\r')) t.pop_back();
  std::string out;
  for (char c : Utf16ToUtf8(t)) {
    if (c == '\r') continue;
    if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

void Line(std::ostream& out, int page, const std::string& band, const std::string& name,
          const TpgwComponent& obj, const std::string& text) {
  out << page << '\t' << band << '\t' << name << '\t' << Number(obj.Left()) << '\t' << Number(obj.Top())
      << '\t' << Number(obj.Width()) << '\t' << Number(obj.Height()) << '\t' << text << '\n';
}

}  // namespace

void DumpPreparedPages(TpgwPreviewPages& pages, std::ostream& out) {
  for (int index = 0; index < pages.GetCount(); ++index) {
    TpgwReportPage* page = pages.GetPage(index);
    if (!page) continue;
    for (TpgwComponent* band : page->Objects().Snapshot()) {
      const std::string bandName = Utf16ToUtf8(band->Name());
      Line(out, index + 1, bandName, "-", *band, {});
      for (TpgwComponent* obj : band->Objects().Snapshot()) {
        const std::string name = obj->Name().empty() ? "(fill)" : Utf16ToUtf8(obj->Name());
        Line(out, index + 1, bandName, name, *obj, ShownText(*obj));
      }
    }
    // Rebuilt pages are not needed again.
    pages.ClearPageCache();
  }
}

}  // namespace pagewright
