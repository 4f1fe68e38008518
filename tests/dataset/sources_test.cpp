// The data-source readers and the loading of their records into the in-memory table: CSV
// quoting and line numbers, type inference, JSON arrays and lines, SQLite and PostgreSQL.
#include "data/sources/source_table.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/run_program.h"
#include "common/temp_dir.h"
#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/unicode.h"

namespace pagewright {
namespace {

using test_support::TempDir;

// Every record as "a|b|c" (null as "<null>"), the columns first as "name:type".
std::string Dump(TpgwSourceTable& source) {
  source.Scan();
  std::string out;
  for (const TpgwSourceColumn& c : source.Columns()) out += c.name + ":" + ColumnTypeName(c.type) + " ";
  out += "\n";
  TMemTable table(nullptr);
  source.DefineFields(table);
  source.AppendAll(table);
  table.First();
  while (!table.Eof()) {
    for (int i = 0; i < table.Fields().Count(); ++i) {
      TField& f = table.Fields()[i];
      if (i) out += "|";
      out += f.IsNull() ? "<null>" : Utf16ToUtf8(f.AsString());
    }
    out += "\n";
    table.Next();
  }
  return out;
}

template <class F>
std::string Raised(F&& f) {
  try {
    f();
  } catch (const EDataSourceError& e) {
    return e.Message();
  }
  return "(no error)";
}

std::string CsvDump(const std::string& text, char delimiter = ',') {
  TpgwSourceTable source(CsvReaderFromText(text, "t.csv", delimiter));
  return Dump(source);
}

std::string JsonDump(const std::string& text) {
  TpgwSourceTable source(JsonReaderFromText(text, "t.json"));
  return Dump(source);
}

TEST(CsvReader, ReadsQuotedFieldsAndTheHeader) {
  struct Case {
    const char* name;
    std::string text;
    char delimiter;
    std::string expected;
  };
  const Case cases[] = {
      {"plain", "a,b\nx,y\n", ',', "a:text b:text \nx|y\n"},
      {"no final line break", "a,b\nx,y", ',', "a:text b:text \nx|y\n"},
      {"CRLF", "a,b\r\nx,y\r\n", ',', "a:text b:text \nx|y\n"},
      {"byte-order mark", "\xEF\xBB\xBF" "a,b\nx,y\n", ',', "a:text b:text \nx|y\n"},
      {"embedded delimiter and quotes", "a,b\n\"x,1\",\"say \"\"hi\"\"\"\n", ',',
       "a:text b:text \nx,1|say \"hi\"\n"},
      {"embedded line break", "a,b\n\"two\nlines\",z\n", ',', "a:text b:text \ntwo\nlines|z\n"},
      {"spaces are data", "a,b\n x , y \n", ',', "a:text b:text \n x | y \n"},
      {"empty fields are null", "a,b,c\n,x,\n", ',', "a:text b:text c:text \n<null>|x|<null>\n"},
      {"blank lines skipped", "a\n\nx\n\ny\n", ',', "a:text \nx\ny\n"},
      {"semicolon", "a;b\n1,5;x\n", ';', "a:text b:text \n1,5|x\n"},
      {"tab", "a\tb\n1\t2\n", '\t', "a:integer b:integer \n1|2\n"},
      {"header only", "a,b\n", ',', "a:text b:text \n"},
  };
  for (const Case& c : cases) EXPECT_EQ(CsvDump(c.text, c.delimiter), c.expected) << c.name;
}

TEST(CsvReader, MalformedInputNamesTheLine) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"", "t.csv: the file is empty; a header row with the column names is needed"},
      {"a,b\n1,2\n3\n", "t.csv:3: 1 fields, but the header has 2"},
      {"a,b\n1,2\n\"x\ny\",2,3\n", "t.csv:3: 3 fields, but the header has 2"},
      {"a,b\n1,2\n3,\"x\n", "t.csv:3: a quoted field is not closed before the end of the file"},
      {"a,b\n1,x\"y\n", "t.csv:2: malformed quoting"},
      {"a,b\n1,\"x\"y\n", "t.csv:2: malformed quoting"},
      {"a,,c\n", "t.csv:1: column 2 has no name in the header row"},
      {"id,ID\n", "t.csv:1: column name \"ID\" appears twice in the header row"},
      {"a\n\xFF\xFE\n", "t.csv:2: field \"a\": not valid UTF-8"},
  };
  for (const Case& c : cases) {
    const std::string message = Raised([&] { CsvDump(c.text); });
    EXPECT_EQ(message.substr(0, c.message.size()), c.message) << c.text;
  }
}

TEST(CsvReader, LineNumbersCountLinesInsideQuotedFields) {
  // The third record starts on line 5 because the second spans two lines.
  const std::string message =
      Raised([] { CsvDump("n,w\nx,1\n\"two\nlines\",2\ny,abc\n", ','); });
  EXPECT_EQ(message, "(no error)");  // w is text: "abc" makes the column text
  TpgwSourceTable source(CsvReaderFromText("n,w\nx,1\n\"two\nlines\",2\ny,abc\n", "p.csv", ','),
                         {{"w", ctDecimal}});
  EXPECT_EQ(Raised([&] { Dump(source); }), "p.csv:5: field \"w\": \"abc\" is not a number");
}

TEST(ColumnTypes, TextIsClassifiedConservatively) {
  struct Case {
    const char* text;
    TpgwColumnType type;
  };
  const Case cases[] = {
      {"0", ctInteger},          {"-12", ctInteger},         {"123456789012345", ctInteger},
      {"1234567890123456", ctText},  // 16 digits: an identifier, not a number
      {"0003", ctText},          {"384123450000000073", ctText}, {"+5", ctText},
      {"1.5", ctDecimal},        {"-0.25", ctDecimal},       {"2e3", ctDecimal},
      {".5", ctText},            {"1.", ctText},             {"1,5", ctText},
      {"2024-02-29", ctDate},    {"2023-02-29", ctText},     {"2024-13-01", ctText},
      {"2024-05-01T10:30", ctDateTime}, {"2024-05-01 10:30:15", ctDateTime},
      {"2024-05-01T10:30:15.250", ctDateTime}, {"2024-05-01T25:00", ctText},
      {"yes", ctText},           {"", ctText},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyText(c.text), c.type) << c.text;
}

TEST(ColumnTypes, ColumnsTakeTheTypeEveryValueFits) {
  EXPECT_EQ(CsvDump("i,d,mix,date,dt,code\n"
                    "1,1.5,1,2024-05-01,2024-05-01,0001\n"
                    "2,2,x,2024-05-02,2024-05-02T08:00,0002\n"
                    ",,,,,\n"),
            "i:integer d:decimal mix:text date:date dt:datetime code:text \n"
            "1|1.5|1|5/1/2024|5/1/2024|0001\n"
            "2|2|x|5/2/2024|5/2/2024 8:00:00 AM|0002\n"
            "<null>|<null>|<null>|<null>|<null>|<null>\n");
  // An override wins over inference, and names a missing column clearly.
  TpgwSourceTable source(CsvReaderFromText("code,flag\n0001,yes\n0002,0\n", "t.csv", ','),
                         {{"CODE", ctInteger}, {"flag", ctBoolean}});
  EXPECT_EQ(Dump(source), "code:integer flag:boolean \n1|True\n2|False\n");
  TpgwSourceTable missing(CsvReaderFromText("a\n1\n", "t.csv", ','), {{"weight", ctDecimal}});
  EXPECT_EQ(Raised([&] { missing.Scan(); }),
            "t.csv: --column weight: there is no column of that name (columns: a)");
}

TEST(ColumnTypes, ValuesThatDoNotConvertAreNamed) {
  struct Case {
    std::string csv;
    TpgwColumnType type;
    std::string message;
  };
  const Case cases[] = {
      {"v\n1\nabc\n", ctDecimal, "t.csv:3: field \"v\": \"abc\" is not a number"},
      {"v\n1.5\n", ctInteger, "t.csv:2: field \"v\": \"1.5\" is not an integer"},
      {"v\nmaybe\n", ctBoolean, "t.csv:2: field \"v\": \"maybe\" is not a Boolean (true, false, yes, no, 1 or 0)"},
      {"v\n2024-02-30\n", ctDate, "t.csv:2: field \"v\": \"2024-02-30\" is not a date (YYYY-MM-DD)"},
      {"v\n2024-02-03T10:00\n", ctDate, "t.csv:2: field \"v\": \"2024-02-03T10:00\" is not a date (YYYY-MM-DD) but has a time"},
  };
  for (const Case& c : cases) {
    TpgwSourceTable source(CsvReaderFromText(c.csv, "t.csv", ','), {{"v", c.type}});
    EXPECT_EQ(Raised([&] { Dump(source); }), c.message) << c.csv;
  }
}

TEST(JsonReader, ArraysAndLinesGiveTheSameRecords) {
  const std::string expected =
      "id:integer name:text price:decimal ok:boolean day:date extra:text \n"
      "1|Ana|2.5|True|5/1/2024|<null>\n"
      "2|<null>|3|False|<null>|late\n";
  EXPECT_EQ(JsonDump(R"([{"id":1,"name":"Ana","price":2.5,"ok":true,"day":"2024-05-01"},
                         {"id":2,"name":null,"price":3,"ok":false,"extra":"late"}])"),
            expected);
  EXPECT_EQ(JsonDump("{\"id\":1,\"name\":\"Ana\",\"price\":2.5,\"ok\":true,\"day\":\"2024-05-01\"}\n\n"
                     "{\"id\":2,\"name\":null,\"price\":3,\"ok\":false,\"extra\":\"late\"}\n"),
            expected);
  EXPECT_EQ(JsonDump("[]"), "\n");
}

TEST(JsonReader, ProblemsNameTheRecordAndKey) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {R"([{"a":1},{"a":{"b":2}}])",
       "t.json: record 2: key \"a\": nested object values are not supported; a record holds numbers, text, "
       "Booleans and nulls"},
      {"{\"a\":1}\n{\"a\":[1,2]}\n",
       "t.json:2: key \"a\": nested array values are not supported; a record holds numbers, text, Booleans and "
       "nulls"},
      {"{\"a\":1}\n{\"a\":1,\"a\":2}\n", "t.json:2: key \"a\" appears twice"},
      {"{\"a\":1}\n\n{\"a\":\n", "t.json:3: "},
      {"[1,2]", "t.json: record 1: the record is not an object"},
      {"\"text\"", "t.json: expected a JSON array of objects or JSON Lines (one object a line)"},
      {"[{\"a\":1}", "t.json: "},
      {"[{\"A\":1,\"a\":2}]", "t.json: the column name \"a\" appears twice"},
  };
  for (const Case& c : cases) {
    const std::string message = Raised([&] { JsonDump(c.text); });
    EXPECT_EQ(message.substr(0, c.message.size()), c.message) << c.text;
  }
}

// Regression inputs found by fuzzing the readers: each must end in a clean error or load.
TEST(SourceReaders, FuzzFindingsStaySound) {
  const std::filesystem::path dir = std::filesystem::path(PW_TEST_DATA_DIR) / "sources" / "fuzz";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no fuzz findings kept";
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string name = entry.path().filename().string();
    try {
      if (name.rfind("csv", 0) == 0 && !bytes.empty()) {
        TpgwSourceTable source(CsvReaderFromText(bytes.substr(1), name, ",;\t|"[bytes[0] % 4]));
        Dump(source);
      } else {
        TpgwSourceTable source(JsonReaderFromText(bytes, name));
        Dump(source);
      }
    } catch (const EDataSourceError&) {
    }
  }
}

std::string Shell(const std::string& cmd) {
  return test_support::RunCommand(cmd).out;
}

TEST(SqliteReader, TypesComeFromTheDeclarations) {
  if (test_support::RunCommand("command -v sqlite3").exitCode != 0) FAIL() << "the sqlite3 program is not installed (scripts/install-deps.sh installs it)";
  TempDir dir;
  const std::string db = (dir.path / "t.db").string();
  ASSERT_EQ(test_support::RunCommand("sqlite3 '" + db +
                                     "' \"CREATE TABLE t (id INTEGER, name TEXT, price REAL, day DATE, at DATETIME, "
                                     "ok BOOLEAN, code VARCHAR(10));"
                                     "INSERT INTO t VALUES (1,'Ana',2.5,'2024-05-01','2024-05-01 10:00:00',1,'0003');"
                                     "INSERT INTO t VALUES (2,NULL,3,NULL,NULL,0,'0004');\"")
                .exitCode,
            0);
  TpgwSourceTable source(OpenSqliteReader(db, "t"));
  EXPECT_EQ(Dump(source),
            "id:integer name:text price:decimal day:date at:datetime ok:boolean code:text \n"
            "1|Ana|2.5|5/1/2024|5/1/2024 10:00:00 AM|True|0003\n"
            "2|<null>|3|<null>|<null>|False|0004\n");
  // An expression column has no declared type: its values tell.
  TpgwSourceTable expr(OpenSqliteReader(db, "SELECT id * 2 AS twice, upper(name) AS n FROM t ORDER BY id"));
  EXPECT_EQ(Dump(expr), "twice:integer n:text \n2|ANA\n4|<null>\n");
  EXPECT_EQ(Raised([&] { OpenSqliteReader(db, "SELECT nope FROM t"); }), "sqlite:" + db + ": no such column: nope");
  EXPECT_EQ(Raised([&] { OpenSqliteReader(db, "DELETE FROM t"); }),
            "sqlite:" + db + ": the query would change the database");
  EXPECT_EQ(Raised([&] { OpenSqliteReader(db, "SELECT 1; SELECT 2"); }),
            "sqlite:" + db + ": the query holds more than one statement");
  EXPECT_EQ(Raised([&] { OpenSqliteReader(db, ""); }), "sqlite:" + db + ": a query or table name is needed (--query)");
  const std::string missing = (dir.path / "none.db").string();
  EXPECT_EQ(Raised([&] { OpenSqliteReader(missing, "t"); }).substr(0, missing.size() + 9), "sqlite:" + missing + ": ");
}

// A throwaway PostgreSQL server in a temporary folder, on a free port, stopped at the end.
class PostgresServer {
 public:
  PostgresServer() {
    bin_ = Shell("ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1");
    while (!bin_.empty() && bin_.back() == '\n') bin_.pop_back();
    if (bin_.empty() || !std::filesystem::exists(bin_ + "/initdb")) {
      reason_ = "the postgresql package is not installed (scripts/install-deps.sh installs it)";
      return;
    }
    // The server refuses to run as root; it runs as the postgres account then.
    if (geteuid() == 0) {
      if (test_support::RunCommand("id -u postgres").exitCode != 0) {
        reason_ = "running as root and there is no postgres account to run the server as";
        return;
      }
      as_ = "runuser -u postgres -- ";
      Shell("chown postgres '" + dir_.path.string() + "'");
    }
    port_ = std::to_string(20000 + (getpid() % 20000));
    const std::string data = (dir_.path / "data").string();
    if (test_support::RunCommand(as_ + bin_ + "/initdb -A trust -U pw -D '" + data + "'").exitCode != 0) {
      reason_ = "initdb failed";
      return;
    }
    const std::string opts = "-c listen_addresses='' -k " + dir_.path.string() + " -p " + port_;
    if (test_support::RunCommand(as_ + bin_ + "/pg_ctl -w -t 60 -D '" + data + "' -o \"" + opts + "\" -l '" +
                                 (dir_.path / "log").string() + "' start")
            .exitCode != 0) {
      reason_ = "the server did not start: " + Shell("cat '" + (dir_.path / "log").string() + "'");
      return;
    }
    started_ = true;
  }
  ~PostgresServer() {
    if (started_) test_support::RunCommand(as_ + bin_ + "/pg_ctl -w -D '" + (dir_.path / "data").string() + "' -m immediate stop");
  }
  const std::string& Reason() const { return reason_; }
  bool Started() const { return started_; }
  std::string Uri() const {
    return "postgresql://pw@/postgres?host=" + dir_.path.string() + "&port=" + port_;
  }
  int Psql(const std::string& sql) {
    return test_support::RunCommand(bin_ + "/psql -v ON_ERROR_STOP=1 -q '" + Uri() + "' -c \"" + sql + "\"").exitCode;
  }

 private:
  TempDir dir_{"pw-pg"};
  std::string bin_, as_, port_, reason_;
  bool started_ = false;
};

TEST(PostgresReader, ReadsTypedRowsFromAThrowawayServer) {
  PostgresServer server;
  if (!server.Started()) GTEST_SKIP() << server.Reason();
  ASSERT_EQ(server.Psql("CREATE TABLE t (id integer, name text, price numeric(8,2), day date, "
                        "at timestamptz, ok boolean, big bigint);"
                        "INSERT INTO t VALUES (1,'Ana',2.5,'2024-05-01','2024-05-01 10:00:00+00',true,9000000000),"
                        "(2,NULL,3,NULL,NULL,false,NULL);"),
            0);
  TpgwSourceTable source(OpenPostgresReader(server.Uri(), "SELECT * FROM t ORDER BY id"));
  EXPECT_EQ(Dump(source),
            "id:integer name:text price:decimal day:date at:datetime ok:boolean big:integer \n"
            "1|Ana|2.5|5/1/2024|5/1/2024 10:00:00 AM|True|9000000000\n"
            "2|<null>|3|<null>|<null>|False|<null>\n");
  TpgwSourceTable table(OpenPostgresReader(server.Uri(), "t"));
  table.Scan();
  EXPECT_EQ(table.RecordCount(), 2);
  const std::string message = Raised([&] { OpenPostgresReader(server.Uri(), "SELECT nope FROM t"); });
  EXPECT_NE(message.find("column \"nope\" does not exist"), std::string::npos) << message;

  // The same rows through the command, as a template's data set.
  TempDir dir{"pw-pg-cli"};
  const std::string tpl = (dir.path / "t.pw3").string();
  std::ofstream(tpl) << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TpgwReport>\n"
                        "<TpgwReportPage Name=\"Page1\" PaperWidth=\"100\" PaperHeight=\"100\">\n"
                        "<TpgwMasterData Name=\"MasterData1\" Height=\"20\" Left=\"0\" Top=\"0\" Width=\"300\" "
                        "DataSetName=\"t\">\n<TpgwMemoView Name=\"M\" Left=\"0\" Top=\"0\" Width=\"300\" Height=\"18\" "
                        "Text=\"[t.&#34;id&#34;] [t.&#34;name&#34;] [&lt;t.&#34;price&#34;&gt; * 2]\"/>\n"
                        "</TpgwMasterData></TpgwReportPage></TpgwReport>\n";
  const std::string err = (dir.path / "err.txt").string();
  const test_support::ProgramResult dump = test_support::RunCommand(
      "'" + test_support::CliProgram() + "' prepare '" + tpl + "' --dump --data 't=" + server.Uri() +
      "' --query 'SELECT * FROM t ORDER BY id' 2>'" + err + "'; r=$?; cat '" + err + "' >&2; exit $r");
  std::ifstream errIn(err);
  const std::string errText((std::istreambuf_iterator<char>(errIn)), std::istreambuf_iterator<char>());
  EXPECT_EQ(dump.exitCode, 0) << errText;
  EXPECT_NE(dump.out.find("\t1 Ana 5\n"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("\t2  6\n"), std::string::npos) << dump.out;
}

}  // namespace
}  // namespace pagewright
