// JSON through simdjson: an array of objects, or JSON Lines (one object a line, read one line
// at a time, so a stream of any length needs memory for one record only). Each key is a
// column; a record that lacks a key has null there. Nested values are refused by name.
#include <simdjson.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "data/sources/record_reader.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

// Skips spaces and a byte-order mark at the start of the text; returns the first byte, or 0.
char FirstSignificant(std::string_view text) {
  size_t i = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  return i < text.size() ? text[i] : 0;
}

class JsonReader final : public IpgwRecordReader {
 public:
  // From a file (`fileName` non-empty) or from `text`.
  JsonReader(std::string name, std::string fileName, std::string text)
      : FName(std::move(name)), FFileName(std::move(fileName)), FText(std::move(text)) {
    std::string head = FText;
    if (!FFileName.empty()) {
      std::ifstream in(FFileName, std::ios::binary);
      if (!in) throw EDataSourceError(FName + ": " + std::strerror(errno));
      head.assign(4096, '\0');
      in.read(head.data(), static_cast<std::streamsize>(head.size()));
      head.resize(static_cast<size_t>(in.gcount()));
    }
    const char first = FirstSignificant(head);
    if (first == '[') {
      FLinesMode = false;
    } else if (first == '{' || first == 0) {
      FLinesMode = true;
    } else {
      throw EDataSourceError(FName + ": expected a JSON array of objects or JSON Lines (one object a line)");
    }
    Rewind();
  }

  const std::string& SourceName() const override { return FName; }
  const std::vector<std::string>& ColumnNames() const override { return FColumns; }

  std::string Where() const override {
    if (FLinesMode) return FName + ":" + std::to_string(FLine);
    return FName + ": record " + std::to_string(FRecord);
  }

  void Rewind() override {
    FRecord = 0;
    FLine = 0;
    if (FLinesMode) {
      if (!FFileName.empty()) {
        FIn = std::ifstream(FFileName, std::ios::binary);
        if (!FIn) throw EDataSourceError(FName + ": " + std::strerror(errno));
      } else {
        FPos = 0;
      }
      return;
    }
    if (!FLoaded) {
      simdjson::padded_string json;
      if (!FFileName.empty()) {
        if (auto error = simdjson::padded_string::load(FFileName).get(json))
          throw EDataSourceError(FName + ": " + simdjson::error_message(error));
      } else {
        json = simdjson::padded_string(FText);
      }
      simdjson::dom::element root;
      if (auto error = FParser.parse(json).get(root))
        throw EDataSourceError(FName + ": " + simdjson::error_message(error));
      if (root.get_array().get(FArray) != simdjson::SUCCESS)
        throw EDataSourceError(FName + ": expected a JSON array of objects");
      FLoaded = true;
    }
    FIt = FArray.begin();
  }

  bool Next(std::vector<TpgwSourceValue>& row) override {
    if (!FLinesMode) {
      if (!(FIt != FArray.end())) return false;
      simdjson::dom::element e = *FIt;
      ++FIt;
      ++FRecord;
      Convert(e, row);
      return true;
    }
    std::string line;
    while (ReadLine(line)) {
      ++FLine;
      if (FirstSignificant(line) == 0) continue;  // blank lines between records
      ++FRecord;
      simdjson::dom::element e;
      if (auto error = FLineParser.parse(line).get(e))
        throw EDataSourceError(Where() + ": " + simdjson::error_message(error));
      Convert(e, row);
      return true;
    }
    return false;
  }

 private:
  bool ReadLine(std::string& line) {
    if (!FFileName.empty()) {
      if (!std::getline(FIn, line)) {
        if (FIn.bad()) throw EDataSourceError(FName + ": read error");
        return false;
      }
      return true;
    }
    if (FPos >= FText.size()) return false;
    const size_t nl = FText.find('\n', FPos);
    const size_t end = nl == std::string::npos ? FText.size() : nl;
    line.assign(FText, FPos, end - FPos);
    FPos = nl == std::string::npos ? FText.size() : nl + 1;
    return true;
  }

  void Convert(simdjson::dom::element e, std::vector<TpgwSourceValue>& row) {
    simdjson::dom::object object;
    if (e.get_object().get(object)) throw EDataSourceError(Where() + ": the record is not an object");
    row.assign(FColumns.size(), TpgwSourceValue());
    FSeen.assign(FColumns.size(), false);
    for (auto field : object) {
      const std::string key(field.key);
      if (!IsValidUtf8(key)) throw EDataSourceError(Where() + ": a key is not valid UTF-8");
      auto found = FIndex.find(key);
      size_t index;
      if (found == FIndex.end()) {
        index = FColumns.size();
        FIndex.emplace(key, index);
        FColumns.push_back(key);
        row.emplace_back();
        FSeen.push_back(false);
      } else {
        index = found->second;
      }
      if (FSeen[index]) throw EDataSourceError(Where() + ": key \"" + key + "\" appears twice");
      FSeen[index] = true;
      TpgwSourceValue& v = row[index];
      switch (field.value.type()) {
        case simdjson::dom::element_type::NULL_VALUE: v.SetNull(); break;
        case simdjson::dom::element_type::BOOL:
          v.kind = TpgwSourceValue::Boolean;
          v.boolean = field.value.get_bool().value_unsafe();
          break;
        case simdjson::dom::element_type::INT64:
          v.kind = TpgwSourceValue::Integer;
          v.integer = field.value.get_int64().value_unsafe();
          break;
        case simdjson::dom::element_type::UINT64:
          // Above the signed range: kept as its decimal text, not rounded.
          v.kind = TpgwSourceValue::Text;
          v.text = std::to_string(field.value.get_uint64().value_unsafe());
          break;
        case simdjson::dom::element_type::DOUBLE:
          v.kind = TpgwSourceValue::Decimal;
          v.decimal = field.value.get_double().value_unsafe();
          break;
        case simdjson::dom::element_type::STRING:
          v.kind = TpgwSourceValue::Text;
          v.text = std::string(field.value.get_string().value_unsafe());
          break;
        case simdjson::dom::element_type::ARRAY:
        case simdjson::dom::element_type::OBJECT:
          throw EDataSourceError(Where() + ": key \"" + key + "\": nested " +
                                 (field.value.type() == simdjson::dom::element_type::ARRAY ? "array" : "object") +
                                 " values are not supported; a record holds numbers, text, Booleans and nulls");
      }
    }
  }

  std::string FName, FFileName, FText;
  bool FLinesMode = false;
  bool FLoaded = false;
  simdjson::dom::parser FParser;      // holds the array document
  simdjson::dom::parser FLineParser;  // one line at a time
  simdjson::dom::array FArray;
  simdjson::dom::array::iterator FIt;
  std::ifstream FIn;
  size_t FPos = 0;
  size_t FLine = 0, FRecord = 0;
  std::vector<std::string> FColumns;
  std::unordered_map<std::string, size_t> FIndex;
  std::vector<bool> FSeen;
};

}  // namespace

std::unique_ptr<IpgwRecordReader> OpenJsonReader(const std::string& fileName) {
  return std::make_unique<JsonReader>(fileName, fileName, std::string());
}

std::unique_ptr<IpgwRecordReader> JsonReaderFromText(std::string text, const std::string& name) {
  return std::make_unique<JsonReader>(name, std::string(), std::move(text));
}

}  // namespace pagewright
