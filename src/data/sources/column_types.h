// Column types of the records a data source reads, how a text value is classified, and how
// values become fields of the in-memory table the report reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/exceptions.h"
#include "platform/mem_table.h"
#include "platform/types.h"

namespace pagewright {

// A problem with a data source or one of its records; the message says where.
PW_DECLARE_EXCEPTION(EDataSourceError, Exception)

// ctUnknown: the values must tell (a column with no value at all becomes text).
enum TpgwColumnType : uint8_t { ctUnknown, ctInteger, ctDecimal, ctBoolean, ctDate, ctDateTime, ctText };

// "integer", "decimal", "boolean", "date", "datetime", "text".
const char* ColumnTypeName(TpgwColumnType type);
// The type of a name as above (also "int", "number", "float", "bool", "string", "timestamp"),
// ignoring case; nullopt for anything else.
std::optional<TpgwColumnType> ColumnTypeByName(std::string_view name);

// The table field type that holds the column type.
TFieldType FieldTypeOf(TpgwColumnType type);

// One value as read: null, an integer, a decimal, a Boolean or text (UTF-8). Dates are text
// until the column type says otherwise.
struct TpgwSourceValue {
  enum Kind : uint8_t { Null, Integer, Decimal, Boolean, Text };
  Kind kind = Null;
  int64_t integer = 0;
  double decimal = 0;
  bool boolean = false;
  std::string text;

  void SetNull() {
    kind = Null;
    text.clear();
  }
};

// The narrowest type for a text value, as CSV columns are inferred: integers (an optional
// minus sign and up to 15 digits, no leading zero, so that codes such as "0003" or 18-digit
// container numbers stay text), decimals (digits with one "." and optional exponent), ISO dates
// "YYYY-MM-DD", ISO date-times "YYYY-MM-DDTHH:MM[:SS[.fff]]" (or a space for "T"), else text.
TpgwColumnType ClassifyText(std::string_view text);

// The type of a column whose values were seen as `seen` so far and now `next`: the least
// general type that holds both (integer joins decimal as decimal; date joins date-time as
// date-time; any other mix is text).
TpgwColumnType JoinColumnTypes(TpgwColumnType seen, TpgwColumnType next);

// The column type a value read from JSON or a database suggests by itself (text is classified
// as dates only when `classifyText`).
TpgwColumnType ValueColumnType(const TpgwSourceValue& value, bool classifyText);

// Parses an ISO date or date-time; false when the text is not one or names no real day.
bool ParseIsoDateTime(std::string_view text, TDateTime& value, bool& hasTime);

// Stores `value` into `field` as the column type says. Returns an empty string on success, else
// the reason, e.g. "\"abc\" is not a number".
std::string StoreValue(TField& field, TpgwColumnType type, const TpgwSourceValue& value);

}  // namespace pagewright
