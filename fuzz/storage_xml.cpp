// Feeds arbitrary bytes to the XML reader: whole loading, partial loading with every unloaded
// element read back, attribute lookups, and writing the result and reading it again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "storage/xml_document.h"

using namespace pagewright;

namespace {

void Walk(TpgwXMLDocument& doc, TpgwXMLItem* item, int& budget) {
  if (--budget < 0) return;
  if (item->Unloadable() && !item->Loaded()) doc.LoadItem(item);
  try {
    item->GetProp(u"Name");
    item->PropExists(u"ld");
  } catch (const EConvertError&) {
    // a character reference whose digits are not a number
  }
  for (int i = 0; i < item->Count(); ++i) Walk(doc, item->Items(i), budget);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    TpgwXMLDocument doc;
    doc.LoadFromString(bytes);
    int budget = 100000;
    Walk(doc, doc.Root(), budget);
    std::string written = doc.SaveToString();
    TpgwXMLDocument again;
    again.LoadFromString(written);
  } catch (const Exception&) {
  }
  try {
    TStringStream stream(bytes);
    TpgwXMLDocument doc;
    doc.LoadFromStream(stream, true);
    int budget = 100000;
    Walk(doc, doc.Root(), budget);
    doc.SaveToString();
  } catch (const Exception&) {
  }
  return 0;
}
