// SQLite through the sqlite3 library: the database opened read-only, one statement stepped a
// row at a time. Column types come from the declared types of the query's columns.
#include <sqlite3.h>

#include "data/sources/record_reader.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

std::string Upper(const char* s) {
  std::string r = s ? s : "";
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

// SQLite's affinity rules, plus the date and Boolean names that applications declare.
TpgwColumnType TypeOfDeclaration(const char* declared) {
  const std::string d = Upper(declared);
  if (d.empty()) return ctUnknown;
  if (d.find("INT") != std::string::npos) return ctInteger;
  if (d.find("CHAR") != std::string::npos || d.find("CLOB") != std::string::npos || d.find("TEXT") != std::string::npos)
    return ctText;
  if (d.find("BOOL") != std::string::npos) return ctBoolean;
  if (d.find("DATETIME") != std::string::npos || d.find("TIMESTAMP") != std::string::npos) return ctDateTime;
  if (d.find("DATE") != std::string::npos) return ctDate;
  if (d.find("REAL") != std::string::npos || d.find("FLOA") != std::string::npos ||
      d.find("DOUB") != std::string::npos || d.find("DEC") != std::string::npos ||
      d.find("NUMERIC") != std::string::npos)
    return ctDecimal;
  return ctUnknown;
}

class SqliteReader final : public IpgwRecordReader {
 public:
  SqliteReader(const std::string& fileName, const std::string& query) : FName("sqlite:" + fileName) {
    if (query.empty()) throw EDataSourceError(FName + ": a query or table name is needed (--query)");
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(fileName.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr);
    FDb.reset(db);
    if (rc != SQLITE_OK)
      throw EDataSourceError(FName + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
    const std::string sql = QueryFromTableOrStatement(query);
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) != SQLITE_OK)
      throw EDataSourceError(FName + ": " + sqlite3_errmsg(db));
    FStmt.reset(stmt);
    if (!stmt) throw EDataSourceError(FName + ": the query is empty");
    if (tail && std::string_view(tail).find_first_not_of(" \t\r\n;") != std::string_view::npos)
      throw EDataSourceError(FName + ": the query holds more than one statement");
    if (!sqlite3_stmt_readonly(stmt)) throw EDataSourceError(FName + ": the query would change the database");
    const int n = sqlite3_column_count(stmt);
    if (n == 0) throw EDataSourceError(FName + ": the statement returns no columns");
    for (int i = 0; i < n; ++i) {
      const char* name = sqlite3_column_name(stmt, i);
      FColumns.push_back(name ? name : "");
      FTypes.push_back(TypeOfDeclaration(sqlite3_column_decltype(stmt, i)));
    }
  }

  const std::string& SourceName() const override { return FName; }
  const std::vector<std::string>& ColumnNames() const override { return FColumns; }
  std::vector<TpgwColumnType> DeclaredTypes() const override { return FTypes; }
  std::string Where() const override { return FName + ": row " + std::to_string(FRow); }

  void Rewind() override {
    sqlite3_reset(FStmt.get());
    FRow = 0;
  }

  bool Next(std::vector<TpgwSourceValue>& row) override {
    sqlite3_stmt* s = FStmt.get();
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return false;
    ++FRow;
    if (rc != SQLITE_ROW) throw EDataSourceError(Where() + ": " + sqlite3_errmsg(FDb.get()));
    row.resize(FColumns.size());
    for (int i = 0; i < static_cast<int>(FColumns.size()); ++i) {
      TpgwSourceValue& v = row[static_cast<size_t>(i)];
      switch (sqlite3_column_type(s, i)) {
        case SQLITE_NULL: v.SetNull(); break;
        case SQLITE_INTEGER:
          v.kind = TpgwSourceValue::Integer;
          v.integer = sqlite3_column_int64(s, i);
          break;
        case SQLITE_FLOAT:
          v.kind = TpgwSourceValue::Decimal;
          v.decimal = sqlite3_column_double(s, i);
          break;
        case SQLITE_TEXT: {
          const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
          v.kind = TpgwSourceValue::Text;
          v.text.assign(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(s, i)));
          if (!IsValidUtf8(v.text))
            throw EDataSourceError(Where() + ": column \"" + FColumns[static_cast<size_t>(i)] + "\": not valid UTF-8");
          break;
        }
        default:
          throw EDataSourceError(Where() + ": column \"" + FColumns[static_cast<size_t>(i)] +
                                 "\": binary (blob) values are not supported");
      }
    }
    return true;
  }

 private:
  struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  struct Finalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
  };
  std::string FName;
  // Declared after the statement's owner so that the statement is finalized first.
  std::unique_ptr<sqlite3, CloseDb> FDb;
  std::unique_ptr<sqlite3_stmt, Finalize> FStmt;
  std::vector<std::string> FColumns;
  std::vector<TpgwColumnType> FTypes;
  int64_t FRow = 0;
};

}  // namespace

std::unique_ptr<IpgwRecordReader> OpenSqliteReader(const std::string& fileName, const std::string& query) {
  return std::make_unique<SqliteReader>(fileName, query);
}

}  // namespace pagewright
