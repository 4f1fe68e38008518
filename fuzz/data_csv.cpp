// Feeds arbitrary bytes to the CSV reader and the table loading behind it: header checks, line
// numbering, type inference over the whole input and the conversion of every value. Malformed
// input must end in EDataSourceError, never a crash, hang or out-of-bounds read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/sources/source_table.h"
#include "platform/exceptions.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the delimiter, as --csv-delimiter would.
  static const char delimiters[] = {',', ';', '\t', '|'};
  const char delimiter = delimiters[data[0] % 4];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    TpgwSourceTable source(CsvReaderFromText(std::move(text), "fuzz.csv", delimiter));
    source.Scan();
    TMemTable table(nullptr);
    source.DefineFields(table);
    source.AppendAll(table);
    // A second reading gives the same records.
    source.Rewind();
    table.EmptyDataSet();
    source.AppendAll(table);
  } catch (const EDataSourceError&) {
  }
  return 0;
}
