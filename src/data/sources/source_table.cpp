#include "data/sources/source_table.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/scope_guard.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// UTF-16 length of UTF-8 text without converting it: one unit per character, two above U+FFFF.
int Utf16Length(const std::string& s) {
  int64_t n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80) ++n;
    if (c >= 0xF0) ++n;
  }
  return static_cast<int>(std::min<int64_t>(n, 1 << 30));
}

}  // namespace

TpgwSourceTable::TpgwSourceTable(std::unique_ptr<IpgwRecordReader> reader,
                                 std::vector<std::pair<std::string, TpgwColumnType>> overrides)
    : FReader(std::move(reader)), FOverrides(std::move(overrides)) {}

void TpgwSourceTable::Scan() {
  const bool allText = FReader->ClassifiesAllText();
  std::vector<TpgwColumnType> seen;
  std::vector<int> sizes;
  FRecordCount = 0;
  while (FReader->Next(FRow)) {
    ++FRecordCount;
    if (seen.size() < FRow.size()) {
      seen.resize(FRow.size(), ctUnknown);
      sizes.resize(FRow.size(), 1);
    }
    for (size_t i = 0; i < FRow.size(); ++i) {
      const TpgwSourceValue& v = FRow[i];
      if (v.kind == TpgwSourceValue::Null) continue;
      const TpgwColumnType t =
          allText && v.kind == TpgwSourceValue::Text ? ClassifyText(v.text) : ValueColumnType(v, true);
      seen[i] = JoinColumnTypes(seen[i], t);
      if (v.kind == TpgwSourceValue::Text)
        sizes[i] = std::max(sizes[i], Utf16Length(v.text));
      else
        sizes[i] = std::max(sizes[i], 32);  // numbers shown as text
    }
  }
  const std::vector<std::string>& names = FReader->ColumnNames();
  const std::vector<TpgwColumnType> declared = FReader->DeclaredTypes();
  seen.resize(names.size(), ctUnknown);
  sizes.resize(names.size(), 1);
  FColumns.clear();
  for (size_t i = 0; i < names.size(); ++i) {
    TpgwSourceColumn c;
    c.name = names[i];
    c.type = i < declared.size() && declared[i] != ctUnknown ? declared[i] : seen[i];
    if (c.type == ctUnknown) c.type = ctText;
    c.size = sizes[i];
    FColumns.push_back(std::move(c));
  }
  for (const auto& override : FOverrides) {
    const std::string& name = override.first;
    auto it = std::find_if(FColumns.begin(), FColumns.end(),
                           [&](const TpgwSourceColumn& c) { return SameName(c.name, name); });
    if (it == FColumns.end()) {
      std::string list;
      for (const TpgwSourceColumn& c : FColumns) list += (list.empty() ? "" : ", ") + c.name;
      throw EDataSourceError(SourceName() + ": --column " + name +
                             ": there is no column of that name (columns: " + list + ")");
    }
    it->type = override.second;
  }
  for (size_t i = 0; i < FColumns.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (SameName(FColumns[i].name, FColumns[j].name))
        throw EDataSourceError(SourceName() + ": the column name \"" + FColumns[i].name + "\" appears twice");
  FScanned = true;
  FReader->Rewind();
}

void TpgwSourceTable::DefineFields(TMemTable& table) const {
  table.Close();
  table.FieldDefs().Clear();
  for (const TpgwSourceColumn& c : FColumns) {
    const TFieldType ft = FieldTypeOf(c.type);
    table.FieldDefs().Add(Utf8ToUtf16(c.name), ft, ft == ftWideString ? std::max(c.size, 1) : 0, false);
  }
  // A table needs a field; a source with no records and no declared columns (an empty JSON
  // array) has none, and its empty table still has to open so the report's empty case renders.
  if (FColumns.empty()) table.FieldDefs().Add(u"(no columns)", ftWideString, 1, false);
  table.CreateDataSet();
}

void TpgwSourceTable::Rewind() {
  FReader->Rewind();
}

bool TpgwSourceTable::AppendNext(TMemTable& table) {
  if (!FReader->Next(FRow)) return false;
  if (FRow.size() > FColumns.size())
    throw EDataSourceError(FReader->Where() + ": the record has more values than the source had columns");
  table.Append();
  auto cancel = ScopeFail([&] { table.Cancel(); });
  for (size_t i = 0; i < FRow.size(); ++i) {
    const std::string problem = StoreValue(table.Fields()[static_cast<int>(i)], FColumns[i].type, FRow[i]);
    if (!problem.empty())
      throw EDataSourceError(FReader->Where() + ": field \"" + FColumns[i].name + "\": " + problem);
  }
  table.Post();
  return true;
}

int64_t TpgwSourceTable::AppendAll(TMemTable& table) {
  int64_t n = 0;
  while (AppendNext(table)) ++n;
  return n;
}

std::string QueryFromTableOrStatement(const std::string& queryOrTable) {
  const bool identifier =
      !queryOrTable.empty() && std::all_of(queryOrTable.begin(), queryOrTable.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '.';
      });
  if (!identifier) return queryOrTable;
  // schema.table quotes each part
  std::string quoted = "\"";
  for (char c : queryOrTable) quoted += c == '.' ? std::string("\".\"") : std::string(1, c);
  quoted += "\"";
  return "SELECT * FROM " + quoted;
}

std::unique_ptr<IpgwRecordReader> OpenRecordReader(const std::string& source,
                                                   const TpgwSourceOptions& options) {
  if (source.rfind("sqlite:", 0) == 0) return OpenSqliteReader(source.substr(7), options.query);
  if (source.rfind("postgresql://", 0) == 0 || source.rfind("postgres://", 0) == 0)
    return OpenPostgresReader(source, options.query);
  if (!options.query.empty())
    throw EDataSourceError(source + ": --query applies to sqlite: and postgresql:// sources only");
  // A file: JSON when it starts like JSON, else CSV.
  std::FILE* f = std::fopen(source.c_str(), "rb");
  if (!f) throw EDataSourceError(source + ": " + std::strerror(errno));
  char head[4096];
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  size_t i = n >= 3 && std::string_view(head, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  while (i < n && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
  if (i < n && (head[i] == '[' || head[i] == '{')) return OpenJsonReader(source);
  return OpenCsvReader(source, options.csvDelimiter);
}

}  // namespace pagewright
