// Loads a data source into the in-memory table the data-set adapter reads: settles each
// column's type (the user's override, else what the source declares, else what a first pass
// over the values shows), defines the table's fields, and appends records, converting each
// value with a message that names the record and field when it does not convert.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/sources/record_reader.h"
#include "platform/mem_table.h"

namespace pagewright {

struct TpgwSourceColumn {
  std::string name;
  TpgwColumnType type = ctText;
  int size = 1;  // text columns: the longest value in UTF-16 code units
};

class TpgwSourceTable {
 public:
  // `overrides`: column name (case-insensitive) and the type it must have.
  TpgwSourceTable(std::unique_ptr<IpgwRecordReader> reader,
                  std::vector<std::pair<std::string, TpgwColumnType>> overrides = {});

  IpgwRecordReader& Reader() { return *FReader; }
  const std::string& SourceName() const { return FReader->SourceName(); }

  // Reads the source once to settle the columns and count the records; raises
  // EDataSourceError for a malformed record or an override naming no column.
  void Scan();
  const std::vector<TpgwSourceColumn>& Columns() const { return FColumns; }
  int64_t RecordCount() const { return FRecordCount; }

  // Defines the columns on an empty table and creates it (open, no records).
  void DefineFields(TMemTable& table) const;
  // Starts reading from the first record again.
  void Rewind();
  // Appends and posts the next record; false at the end. Raises EDataSourceError
  // ("parcels.csv:17: field "weight": "abc" is not a number").
  bool AppendNext(TMemTable& table);
  // Appends every remaining record; returns how many.
  int64_t AppendAll(TMemTable& table);
  // The place of the record read last.
  std::string Where() const { return FReader->Where(); }

 private:
  std::unique_ptr<IpgwRecordReader> FReader;
  std::vector<std::pair<std::string, TpgwColumnType>> FOverrides;
  std::vector<TpgwSourceColumn> FColumns;
  std::vector<TpgwSourceValue> FRow;
  int64_t FRecordCount = 0;
  bool FScanned = false;
};

}  // namespace pagewright
