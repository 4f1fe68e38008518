// CSV through libcsv (RFC 4180: quoted fields with embedded delimiters, quotes and line
// breaks). This file adds what the library leaves to its caller: the header row, line numbers
// for messages, the byte-order mark, UTF-8 checks and equal field counts.
#include <csv.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <unordered_set>

#include "data/sources/record_reader.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

constexpr size_t kChunk = 64 * 1024;

// Text kept as RFC 4180 has it: spaces around unquoted fields are data.
int NoSpace(unsigned char) {
  return 0;
}

std::string FoldCase(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

class CsvReader final : public IpgwRecordReader {
 public:
  CsvReader(std::string name, std::string fileName, std::string text, bool fromFile, char delimiter)
      : FName(std::move(name)), FFileName(std::move(fileName)), FText(std::move(text)), FFromFile(fromFile),
        FDelimiter(delimiter) {
    Start();
    ReadHeader();
  }

  const std::string& SourceName() const override { return FName; }
  const std::vector<std::string>& ColumnNames() const override { return FColumns; }
  bool ClassifiesAllText() const override { return true; }
  std::string Where() const override { return FName + ":" + std::to_string(FRecordLine); }

  bool Next(std::vector<TpgwSourceValue>& row) override {
    if (!Fill()) return false;
    Record rec = std::move(FReady.front());
    FReady.pop_front();
    FRecordLine = rec.line;
    if (rec.fields.size() != FColumns.size())
      throw EDataSourceError(Where() + ": " + std::to_string(rec.fields.size()) + " fields, but the header has " +
                             std::to_string(FColumns.size()));
    row.resize(FColumns.size());
    for (size_t i = 0; i < rec.fields.size(); ++i) {
      std::string& f = rec.fields[i];
      if (!IsValidUtf8(f))
        throw EDataSourceError(Where() + ": field \"" + FColumns[i] + "\": not valid UTF-8");
      if (f.empty()) {
        row[i].SetNull();
      } else {
        row[i].kind = TpgwSourceValue::Text;
        row[i].text = std::move(f);
      }
    }
    return true;
  }

  void Rewind() override {
    Start();
    ReadHeader();
  }

 private:
  struct Record {
    size_t line = 0;
    std::vector<std::string> fields;
  };

  void Start() {
    FParser.Reset();
    if (csv_init(&FParser.p, CSV_STRICT | CSV_STRICT_FINI) != 0) throw EDataSourceError(FName + ": out of memory");
    FParser.live = true;
    csv_set_delim(&FParser.p, static_cast<unsigned char>(FDelimiter));
    csv_set_space_func(&FParser.p, NoSpace);
    FReady.clear();
    FFields.clear();
    FLine = 1;
    FAtRecordStart = true;
    FStartLine = 1;
    FRecordLine = 0;
    FEnd = false;
    FFirstChunk = true;
    FPos = 0;
    if (FFromFile) {
      FIn = std::ifstream(FFileName, std::ios::binary);
      if (!FIn) throw EDataSourceError(FName + ": " + std::strerror(errno));
    }
  }

  void ReadHeader() {
    if (!Fill()) throw EDataSourceError(FName + ": the file is empty; a header row with the column names is needed");
    Record header = std::move(FReady.front());
    FReady.pop_front();
    FRecordLine = header.line;
    FColumns.clear();
    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < header.fields.size(); ++i) {
      std::string& n = header.fields[i];
      if (!IsValidUtf8(n)) throw EDataSourceError(Where() + ": column " + std::to_string(i + 1) + ": name is not valid UTF-8");
      if (n.empty()) throw EDataSourceError(Where() + ": column " + std::to_string(i + 1) + " has no name in the header row");
      if (!seen.insert(FoldCase(n)).second)
        throw EDataSourceError(Where() + ": column name \"" + n + "\" appears twice in the header row");
      FColumns.push_back(std::move(n));
    }
  }

  size_t ReadChunk(char* buf) {
    if (FFromFile) {
      FIn.read(buf, kChunk);
      if (FIn.bad()) throw EDataSourceError(FName + ": read error");
      return static_cast<size_t>(FIn.gcount());
    }
    const size_t n = std::min(kChunk, FText.size() - FPos);
    std::memcpy(buf, FText.data() + FPos, n);
    FPos += n;
    return n;
  }

  // Feeds input until a record is ready or the input ends; false when none is left.
  bool Fill() {
    if (FBuffer.empty()) FBuffer.resize(kChunk);
    while (FReady.empty() && !FEnd) {
      size_t n = ReadChunk(FBuffer.data());
      const char* p = FBuffer.data();
      if (FFirstChunk) {
        FFirstChunk = false;
        if (n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
          p += 3;
          n -= 3;
        }
      }
      if (n == 0) {
        FEnd = true;
        if (csv_fini(&FParser.p, OnField, OnRecord, this) != 0)
          throw EDataSourceError(FName + ":" + std::to_string(FStartLine) +
                                 ": a quoted field is not closed before the end of the file");
        break;
      }
      // Fed line by line, so that every callback knows the line it is on.
      const char* end = p + n;
      while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* stop = nl ? nl + 1 : end;
        if (FAtRecordStart && !(stop - p == 1 && *p == '\n') && !(stop - p == 2 && p[0] == '\r' && p[1] == '\n')) {
          FStartLine = FLine;
          FAtRecordStart = false;
        }
        const size_t len = static_cast<size_t>(stop - p);
        if (csv_parse(&FParser.p, p, len, OnField, OnRecord, this) != len)
          throw EDataSourceError(FName + ":" + std::to_string(FLine) + ": " + ParseErrorText());
        if (nl) ++FLine;
        p = stop;
      }
    }
    return !FReady.empty();
  }

  std::string ParseErrorText() {
    if (csv_error(&FParser.p) == CSV_EPARSE)
      return "malformed quoting (a quote inside an unquoted field, or text after a closing quote)";
    return csv_strerror(csv_error(&FParser.p));
  }

  static void OnField(void* s, size_t len, void* data) {
    auto* self = static_cast<CsvReader*>(data);
    self->FFields.emplace_back(static_cast<const char*>(s), len);
  }
  static void OnRecord(int, void* data) {
    auto* self = static_cast<CsvReader*>(data);
    self->FReady.push_back(Record{self->FStartLine, std::move(self->FFields)});
    self->FFields.clear();
    self->FAtRecordStart = true;
  }

  std::string FName, FFileName, FText;
  bool FFromFile;
  char FDelimiter;
  std::ifstream FIn;
  std::string FBuffer;  // one chunk of input
  size_t FPos = 0;
  // The library's parser, freed also when the constructor fails on the first records.
  struct Parser {
    csv_parser p{};
    bool live = false;
    void Reset() {
      if (live) csv_free(&p);
      live = false;
    }
    ~Parser() { Reset(); }
  } FParser;
  std::vector<std::string> FColumns;
  std::vector<std::string> FFields;
  std::deque<Record> FReady;
  size_t FLine = 1, FStartLine = 1, FRecordLine = 0;
  bool FAtRecordStart = true, FEnd = false, FFirstChunk = true;
};

}  // namespace

std::unique_ptr<IpgwRecordReader> OpenCsvReader(const std::string& fileName, char delimiter) {
  return std::make_unique<CsvReader>(fileName, fileName, std::string(), true, delimiter);
}

std::unique_ptr<IpgwRecordReader> CsvReaderFromText(std::string text, const std::string& name, char delimiter) {
  return std::make_unique<CsvReader>(name, std::string(), std::move(text), false, delimiter);
}

}  // namespace pagewright
