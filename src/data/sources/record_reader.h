// A reader of records from a data source (a CSV file, JSON, an SQLite or PostgreSQL query):
// column names, the types the source declares, and the records one at a time, each with the
// place it came from for messages. Readers stream: only the current record is held.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/sources/column_types.h"

namespace pagewright {

class IpgwRecordReader {
 public:
  virtual ~IpgwRecordReader() = default;

  // The source as messages name it ("parcels.csv", "sqlite:orders.db").
  virtual const std::string& SourceName() const = 0;
  // The column names in order. JSON readers add names as records bring new keys.
  virtual const std::vector<std::string>& ColumnNames() const = 0;
  // The type each column is declared with; ctUnknown (or a shorter list) when the values tell.
  virtual std::vector<TpgwColumnType> DeclaredTypes() const { return {}; }
  // How text values are classified when the values tell the type: all text (CSV, where every
  // value is text) or only as dates (JSON and databases, whose numbers have types of their own).
  virtual bool ClassifiesAllText() const { return false; }
  // Reads the next record into `row` (one value per column known so far); false at the end.
  // Raises EDataSourceError naming the place of a malformed record.
  virtual bool Next(std::vector<TpgwSourceValue>& row) = 0;
  // The place of the record Next returned last: "parcels.csv:17", "orders.json: record 3".
  virtual std::string Where() const = 0;
  // Starts again from the first record.
  virtual void Rewind() = 0;
};

// Which reader a source text selects:
//   sqlite:FILE                          SQLite database (needs a query or table name)
//   postgresql://... or postgres://...   PostgreSQL (needs a query or table name)
//   anything else                        a file: JSON when its first character (after spaces
//                                        and a byte-order mark) is "[" or "{", else CSV
struct TpgwSourceOptions {
  char csvDelimiter = ',';
  // A SELECT statement or a table name, for databases.
  std::string query;
};

std::unique_ptr<IpgwRecordReader> OpenRecordReader(const std::string& source, const TpgwSourceOptions& options);

// The individual readers (used by OpenRecordReader, tests and fuzzing).
std::unique_ptr<IpgwRecordReader> OpenCsvReader(const std::string& fileName, char delimiter);
// Reads CSV from text in memory (fuzzing); `name` is used in messages.
std::unique_ptr<IpgwRecordReader> CsvReaderFromText(std::string text, const std::string& name, char delimiter);
std::unique_ptr<IpgwRecordReader> OpenJsonReader(const std::string& fileName);
std::unique_ptr<IpgwRecordReader> JsonReaderFromText(std::string text, const std::string& name);
std::unique_ptr<IpgwRecordReader> OpenSqliteReader(const std::string& fileName, const std::string& query);
std::unique_ptr<IpgwRecordReader> OpenPostgresReader(const std::string& uri, const std::string& query);

// A table name becomes "SELECT * FROM "name""; anything else is taken as a statement.
std::string QueryFromTableOrStatement(const std::string& queryOrTable);

}  // namespace pagewright
