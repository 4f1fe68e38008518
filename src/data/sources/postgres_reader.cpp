// PostgreSQL through libpq: the query runs in single-row mode, so rows arrive one at a time
// and a large result never sits in memory. Column types come from the result's type OIDs.
//
// The client library is loaded when the first PostgreSQL source is opened, not at program start:
// it brings two dozen further libraries (Kerberos, LDAP, TLS) whose loading and relocation would
// otherwise cost every run of every command.
#include <dlfcn.h>
#include <libpq-fe.h>

#include <mutex>
#include <string>
#include <type_traits>

#include "data/sources/record_reader.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

// The functions of libpq this reader calls, looked up once.
struct TLibPq {
  decltype(&::PQclear) clear = nullptr;
  decltype(&::PQconnectdb) connectdb = nullptr;
  decltype(&::PQerrorMessage) errorMessage = nullptr;
  decltype(&::PQexec) exec = nullptr;
  decltype(&::PQfinish) finish = nullptr;
  decltype(&::PQfname) fname = nullptr;
  decltype(&::PQftype) ftype = nullptr;
  decltype(&::PQgetResult) getResult = nullptr;
  decltype(&::PQgetisnull) getisnull = nullptr;
  decltype(&::PQgetlength) getlength = nullptr;
  decltype(&::PQgetvalue) getvalue = nullptr;
  decltype(&::PQnfields) nfields = nullptr;
  decltype(&::PQresultErrorMessage) resultErrorMessage = nullptr;
  decltype(&::PQresultStatus) resultStatus = nullptr;
  decltype(&::PQsendQuery) sendQuery = nullptr;
  decltype(&::PQsetSingleRowMode) setSingleRowMode = nullptr;
  decltype(&::PQstatus) status = nullptr;
};

const TLibPq& Pq() {
  static TLibPq lib;
  static std::string failure;
  static std::once_flag once;
  std::call_once(once, [] {
    void* handle = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      failure = std::string("the PostgreSQL client library cannot be loaded: ") + (why ? why : "libpq.so.5");
      return;
    }
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
      if (!slot && failure.empty()) failure = std::string("the PostgreSQL client library lacks ") + name;
    };
    bind(lib.clear, "PQclear");
    bind(lib.connectdb, "PQconnectdb");
    bind(lib.errorMessage, "PQerrorMessage");
    bind(lib.exec, "PQexec");
    bind(lib.finish, "PQfinish");
    bind(lib.fname, "PQfname");
    bind(lib.ftype, "PQftype");
    bind(lib.getResult, "PQgetResult");
    bind(lib.getisnull, "PQgetisnull");
    bind(lib.getlength, "PQgetlength");
    bind(lib.getvalue, "PQgetvalue");
    bind(lib.nfields, "PQnfields");
    bind(lib.resultErrorMessage, "PQresultErrorMessage");
    bind(lib.resultStatus, "PQresultStatus");
    bind(lib.sendQuery, "PQsendQuery");
    bind(lib.setSingleRowMode, "PQsetSingleRowMode");
    bind(lib.status, "PQstatus");
  });
  if (!failure.empty()) throw EDataSourceError("postgresql: " + failure);
  return lib;
}


// Type OIDs of the built-in types (fixed by the server's catalogue).
TpgwColumnType TypeOfOid(Oid oid) {
  switch (oid) {
    case 16: return ctBoolean;                      // bool
    case 20: case 21: case 23: case 26: return ctInteger;  // int8, int2, int4, oid
    case 700: case 701: case 1700: return ctDecimal;  // float4, float8, numeric
    case 1082: return ctDate;                       // date
    case 1114: case 1184: return ctDateTime;        // timestamp, timestamptz
    default: return ctText;
  }
}

// A password in the connection text stays out of messages.
std::string SafeName(const std::string& uri) {
  const size_t scheme = uri.find("://");
  const size_t at = uri.find('@');
  if (scheme == std::string::npos || at == std::string::npos) return uri;
  const size_t colon = uri.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return uri;
  return uri.substr(0, colon) + ":***" + uri.substr(at);
}

class PostgresReader final : public IpgwRecordReader {
 public:
  PostgresReader(const std::string& uri, const std::string& query)
      : FName(SafeName(uri)), FSql(QueryFromTableOrStatement(query)) {
    if (query.empty()) throw EDataSourceError(FName + ": a query or table name is needed (--query)");
    FConn.reset(Pq().connectdb(uri.c_str()));
    if (!FConn || Pq().status(FConn.get()) != CONNECTION_OK)
      throw EDataSourceError(FName + ": " + ConnError());
    // Times come back in one zone, whatever the server's default.
    Result r(Pq().exec(FConn.get(), "SET TIME ZONE 'UTC'; SET DateStyle = 'ISO'"));
    if (Pq().resultStatus(r.get()) != PGRES_COMMAND_OK) throw EDataSourceError(FName + ": " + ConnError());
    Start();
  }
  ~PostgresReader() override { Drain(); }

  const std::string& SourceName() const override { return FName; }
  const std::vector<std::string>& ColumnNames() const override { return FColumns; }
  std::vector<TpgwColumnType> DeclaredTypes() const override { return FTypes; }
  std::string Where() const override { return FName + ": row " + std::to_string(FRow); }

  void Rewind() override {
    Drain();
    Start();
  }

  bool Next(std::vector<TpgwSourceValue>& row) override {
    if (!FPending) {
      if (FDone) return false;
      FPending.reset(Pq().getResult(FConn.get()));
    }
    Result r = std::move(FPending);
    const ExecStatusType st = r ? Pq().resultStatus(r.get()) : PGRES_TUPLES_OK;
    if (!r || st == PGRES_TUPLES_OK) {
      FDone = true;
      Drain();
      return false;
    }
    ++FRow;
    if (st != PGRES_SINGLE_TUPLE) {
      const std::string message = r ? Pq().resultErrorMessage(r.get()) : "";
      Drain();
      throw EDataSourceError(Where() + ": " + Trimmed(message.empty() ? ConnError() : message));
    }
    row.resize(FColumns.size());
    for (int i = 0; i < static_cast<int>(FColumns.size()); ++i) {
      TpgwSourceValue& v = row[static_cast<size_t>(i)];
      if (Pq().getisnull(r.get(), 0, i)) {
        v.SetNull();
        continue;
      }
      std::string text(Pq().getvalue(r.get(), 0, i), static_cast<size_t>(Pq().getlength(r.get(), 0, i)));
      const TpgwColumnType type = FTypes[static_cast<size_t>(i)];
      if (type == ctBoolean) {
        v.kind = TpgwSourceValue::Boolean;
        v.boolean = text == "t";
      } else {
        if (type == ctDateTime && text.size() > 19) {
          // "2024-05-01 10:00:00+00": the zone is UTC, set above.
          const size_t zone = text.find_first_of("+-", 19);
          if (zone != std::string::npos) text.resize(zone);
        }
        v.kind = TpgwSourceValue::Text;  // the column type converts it
        v.text = std::move(text);
      }
    }
    return true;
  }

 private:
  struct ClearResult {
    void operator()(PGresult* r) const { Pq().clear(r); }
  };
  struct Finish {
    void operator()(PGconn* c) const { Pq().finish(c); }
  };
  using Result = std::unique_ptr<PGresult, ClearResult>;

  std::string ConnError() const { return Trimmed(FConn ? Pq().errorMessage(FConn.get()) : "cannot connect"); }
  static std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    for (char& c : s)
      if (c == '\n') c = ' ';
    return s;
  }

  void Start() {
    FRow = 0;
    FDone = false;
    FPending.reset();
    if (!Pq().sendQuery(FConn.get(), FSql.c_str())) throw EDataSourceError(FName + ": " + ConnError());
    if (!Pq().setSingleRowMode(FConn.get())) throw EDataSourceError(FName + ": " + ConnError());
    // The first result carries the column descriptions (or the query's error).
    FPending.reset(Pq().getResult(FConn.get()));
    const ExecStatusType st = FPending ? Pq().resultStatus(FPending.get()) : PGRES_FATAL_ERROR;
    if (st != PGRES_SINGLE_TUPLE && st != PGRES_TUPLES_OK) {
      const std::string message = FPending ? Pq().resultErrorMessage(FPending.get()) : ConnError();
      Drain();
      throw EDataSourceError(FName + ": " + Trimmed(message));
    }
    const int n = Pq().nfields(FPending.get());
    if (n == 0) throw EDataSourceError(FName + ": the statement returns no columns");
    FColumns.clear();
    FTypes.clear();
    for (int i = 0; i < n; ++i) {
      FColumns.push_back(Pq().fname(FPending.get(), i));
      FTypes.push_back(TypeOfOid(Pq().ftype(FPending.get(), i)));
    }
  }

  // Reads what is left of the current query so that the connection can run another.
  void Drain() {
    FPending.reset();
    if (!FConn) return;
    while (PGresult* r = Pq().getResult(FConn.get())) Pq().clear(r);
  }

  std::string FName, FSql;
  std::unique_ptr<PGconn, Finish> FConn;
  Result FPending;
  bool FDone = false;
  std::vector<std::string> FColumns;
  std::vector<TpgwColumnType> FTypes;
  int64_t FRow = 0;
};

}  // namespace

std::unique_ptr<IpgwRecordReader> OpenPostgresReader(const std::string& uri, const std::string& query) {
  return std::make_unique<PostgresReader>(uri, query);
}

}  // namespace pagewright
