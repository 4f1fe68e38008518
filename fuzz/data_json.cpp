// Feeds arbitrary bytes to the JSON reader (an array of objects, or JSON Lines when the input
// starts with "{") and the table loading behind it. Malformed input, nested values and keys
// repeated in a record must end in EDataSourceError, never a crash or hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/sources/source_table.h"
#include "platform/exceptions.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    TpgwSourceTable source(JsonReaderFromText(std::move(text), "fuzz.json"));
    source.Scan();
    TMemTable table(nullptr);
    source.DefineFields(table);
    source.AppendAll(table);
  } catch (const EDataSourceError&) {
  }
  return 0;
}
