#include "platform/mem_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/exceptions.h"
#include "platform/properties.h"
#include "platform/unicode.h"

namespace pagewright {

// One field's value in a record. Which member holds it depends on the field's kind.
struct TFieldValue {
  bool Null = true;
  int64_t Int = 0;    // integers, Booleans, BCD (scaled by 10000)
  double Float = 0;   // floats, currency, dates and times
  WideString Text;    // text fields
  std::string Bytes;  // blobs and memos
};

struct TDataSet::Record {
  uint64_t Id = 0;
  std::vector<TFieldValue> Values;
};

namespace {

enum TStorage : uint8_t { stNone, stText, stInteger, stBoolean, stFloat, stBCD, stDateTime, stBlob };

TStorage StorageOf(TFieldType t) {
  switch (t) {
    case ftString:
    case ftWideString:
    case ftFixedChar:
    case ftFixedWideChar:
      return stText;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
    case ftAutoInc:
      return stInteger;
    case ftBoolean:
      return stBoolean;
    case ftFloat:
    case ftCurrency:
      return stFloat;
    case ftBCD:
    case ftFMTBcd:
      return stBCD;
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp:
      return stDateTime;
    case ftBlob:
    case ftMemo:
    case ftWideMemo:
    case ftGraphic:
    case ftFmtMemo:
      return stBlob;
    default:
      return stNone;
  }
}

std::string Utf8(std::u16string_view s) {
  return Utf16ToUtf8(s);
}

[[noreturn]] void DatabaseError(const std::string& message) {
  throw EDatabaseError(message);
}

constexpr double kCurrencyScale = 10000.0;

int64_t ToCurrencyUnits(double v) {
  long double scaled = static_cast<long double>(v) * kCurrencyScale;
  if (!(std::fabs(scaled) < 9.2e18L)) throw EOverflow("Floating point overflow");
  return RoundHalfEven(scaled);
}

std::string Latin1(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char16_t c : s) out.push_back(c < 256 ? static_cast<char>(c) : '?');
  return out;
}

std::unique_ptr<TField> MakeField(TDataSet& ds, int index, const TFieldDef& def) {
  switch (def.DataType()) {
    case ftString:
    case ftFixedChar:
      return std::make_unique<TStringField>(ds, index, def);
    case ftWideString:
    case ftFixedWideChar:
      return std::make_unique<TWideStringField>(ds, index, def);
    case ftSmallint:
      return std::make_unique<TSmallintField>(ds, index, def);
    case ftInteger:
    case ftAutoInc:
      return std::make_unique<TIntegerField>(ds, index, def);
    case ftWord:
      return std::make_unique<TWordField>(ds, index, def);
    case ftLargeint:
      return std::make_unique<TLargeintField>(ds, index, def);
    case ftBoolean:
      return std::make_unique<TBooleanField>(ds, index, def);
    case ftFloat:
      return std::make_unique<TFloatField>(ds, index, def);
    case ftCurrency:
      return std::make_unique<TCurrencyField>(ds, index, def);
    case ftBCD:
      return std::make_unique<TBCDField>(ds, index, def);
    case ftFMTBcd:
      return std::make_unique<TFMTBCDField>(ds, index, def);
    case ftDate:
      return std::make_unique<TDateField>(ds, index, def);
    case ftTime:
      return std::make_unique<TTimeField>(ds, index, def);
    case ftDateTime:
      return std::make_unique<TDateTimeField>(ds, index, def);
    case ftTimeStamp:
      return std::make_unique<TSQLTimeStampField>(ds, index, def);
    case ftMemo:
    case ftFmtMemo:
      return std::make_unique<TMemoField>(ds, index, def);
    case ftWideMemo:
      return std::make_unique<TWideMemoField>(ds, index, def);
    case ftGraphic:
      return std::make_unique<TGraphicField>(ds, index, def);
    default:
      return std::make_unique<TBlobField>(ds, index, def);
  }
}

}  // namespace

// ---- field definitions ----

TFieldDef& TFieldDefs::Add(const WideString& name, TFieldType type, int size, bool required) {
  if (IndexOf(name) >= 0) DatabaseError("Duplicate field name '" + Utf8(name) + "'");
  if (StorageOf(type) == stNone) DatabaseError("Field '" + Utf8(name) + "' is of an unknown type");
  if (StorageOf(type) == stText) {
    if (size < 0) DatabaseError("Invalid field size");
    if (size == 0) size = 20;
  }
  FItems.push_back(std::make_unique<TFieldDef>(name, type, size, required));
  return *FItems.back();
}

const TFieldDef& TFieldDefs::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return *FItems[static_cast<size_t>(index)];
}

int TFieldDefs::IndexOf(std::u16string_view name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (SameName(FItems[i]->Name(), name)) return static_cast<int>(i);
  return -1;
}

const TFieldDef& TFieldDefs::Find(std::u16string_view name) const {
  int i = IndexOf(name);
  if (i < 0) DatabaseError("Field '" + Utf8(name) + "' not found");
  return *FItems[static_cast<size_t>(i)];
}

// ---- fields ----

TField::TField(TDataSet& dataSet, int index, const TFieldDef& def)
    : FDataSet(dataSet),
      FIndex(index),
      FFieldName(def.Name()),
      FDataType(def.DataType()),
      FSize(def.Size()),
      FRequired(def.Required()) {}

bool TField::IsBlob() const {
  return StorageOf(FDataType) == stBlob;
}

const TFieldValue& TField::Read() const {
  static const TFieldValue null;
  const TDataSet::Record* r = FDataSet.ActiveRecord();
  return r ? r->Values[static_cast<size_t>(FIndex)] : null;
}

TFieldValue& TField::Write() {
  TDataSet::Record& r = FDataSet.EditRecord();
  FDataSet.FModified = true;
  return r.Values[static_cast<size_t>(FIndex)];
}

void TField::AccessError(const char* typeName) const {
  DatabaseError("Cannot access field '" + Utf8(FFieldName) + "' as type " + typeName);
}

bool TField::IsNull() const {
  return Read().Null;
}

void TField::Clear() {
  Write() = TFieldValue();
}

void TField::CheckRange(int64_t v) const {
  int64_t lo, hi;
  switch (FDataType) {
    case ftSmallint:
      lo = -32768, hi = 32767;
      break;
    case ftWord:
      lo = 0, hi = 65535;
      break;
    case ftLargeint:
      return;
    default:
      lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  }
  if (v < lo || v > hi)
    DatabaseError(std::to_string(v) + " is not a valid value for field '" + Utf8(FFieldName) +
                  "'. The allowed range is " + std::to_string(lo) + " to " + std::to_string(hi));
}

void TField::SetInteger(int64_t v) {
  CheckRange(v);
  TFieldValue& w = Write();
  w = TFieldValue();
  w.Null = false;
  w.Int = v;
}

WideString TField::Text(bool display) const {
  const TFieldValue& v = Read();
  if (StorageOf(FDataType) == stBlob && display) {
    // Blobs show their kind, upper case when they hold data.
    std::string desc = ClassName();
    desc = desc.substr(1, desc.size() - 1 - 5);  // "TWideMemoField" -> "WideMemo"
    for (char& c : desc) c = v.Null ? static_cast<char>(std::tolower(c)) : static_cast<char>(std::toupper(c));
    return Utf8ToUtf16("(" + desc + ")");
  }
  if (v.Null) return WideString();
  switch (StorageOf(FDataType)) {
    case stText:
      return v.Text;
    case stInteger:
      return IntToStr(v.Int);
    case stBoolean:
      return v.Int ? u"True" : u"False";
    case stFloat:
      if (FDataType == ftCurrency && display) return Format(u"%m", {TFormatArg(v.Float)});
      return FloatToStr(v.Float);
    case stBCD:
      return CurrToStr(static_cast<Extended>(v.Int) / kCurrencyScale);
    case stDateTime:
      if (FDataType == ftDate) return DateToStr(v.Float);
      if (FDataType == ftTime) return TimeToStr(v.Float);
      return DateTimeToStr(v.Float);
    case stBlob:
      if (FDataType == ftWideMemo) {
        WideString w(v.Bytes.size() / 2, u'\0');
        for (size_t i = 0; i < w.size(); ++i)
          w[i] = static_cast<char16_t>(static_cast<uint8_t>(v.Bytes[2 * i]) |
                                       (static_cast<uint8_t>(v.Bytes[2 * i + 1]) << 8));
        return w;
      }
      if (FDataType == ftMemo || FDataType == ftFmtMemo) return Utf8ToUtf16(v.Bytes);
      {
        WideString w;
        w.reserve(v.Bytes.size());
        for (char c : v.Bytes) w.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
        return w;
      }
    case stNone:
      break;
  }
  return WideString();
}

// The own text handler serves display only; AsString is the value's text.
WideString TField::AsString() const {
  return Text(false);
}

WideString TField::DisplayText() const {
  if (FOnGetText) {
    WideString text;
    FOnGetText(*this, text, true);
    return text;
  }
  return Text(true);
}

void TField::SetAsString(const WideString& s) {
  TStorage st = StorageOf(FDataType);
  if (st != stText && st != stBlob && s.empty()) {
    Clear();
    return;
  }
  switch (st) {
    case stText: {
      TFieldValue& w = Write();
      w = TFieldValue();
      w.Null = false;
      w.Text = s.size() > static_cast<size_t>(FSize) ? s.substr(0, static_cast<size_t>(FSize)) : s;
      return;
    }
    case stInteger:
      SetInteger(StrToInt64(s));
      return;
    case stBoolean: {
      // A prefix of "False" or "True", in any case.
      auto prefixOf = [&](std::u16string_view word) {
        return s.size() <= word.size() && SameName(s, word.substr(0, s.size()));
      };
      if (prefixOf(u"False"))
        SetAsBoolean(false);
      else if (prefixOf(u"True"))
        SetAsBoolean(true);
      else
        DatabaseError("'" + Utf8(s) + "' is not a valid boolean value for field '" + Utf8(FFieldName) + "'");
      return;
    }
    case stFloat:
    case stBCD:
      SetAsFloat(static_cast<double>(StrToFloat(s)));
      return;
    case stDateTime:
      if (FDataType == ftDate)
        SetAsDateTime(StrToDate(s));
      else if (FDataType == ftTime)
        SetAsDateTime(StrToTime(s));
      else
        SetAsDateTime(StrToDateTime(s));
      return;
    case stBlob:
      if (FDataType == ftWideMemo) {
        std::string bytes;
        bytes.reserve(s.size() * 2);
        for (char16_t c : s) {
          bytes.push_back(static_cast<char>(c & 0xFF));
          bytes.push_back(static_cast<char>(c >> 8));
        }
        SetAsBytes(std::move(bytes));
      } else if (FDataType == ftMemo || FDataType == ftFmtMemo) {
        SetAsBytes(Utf16ToUtf8(s));
      } else {
        SetAsBytes(Latin1(s));
      }
      return;
    case stNone:
      break;
  }
  AccessError("String");
}

int32_t TField::AsInteger() const {
  const TFieldValue& v = Read();
  switch (StorageOf(FDataType)) {
    case stText:
      return StrToInt(AsString());
    case stInteger:
      return static_cast<int32_t>(v.Int);
    case stFloat:
      return static_cast<int32_t>(RoundHalfEven(v.Float));
    case stBCD:
      return static_cast<int32_t>(RoundHalfEven(static_cast<Extended>(v.Int) / kCurrencyScale));
    default:
      AccessError("Integer");
  }
}

int64_t TField::AsLargeInt() const {
  const TFieldValue& v = Read();
  switch (StorageOf(FDataType)) {
    case stText:
      return StrToInt64(AsString());
    case stInteger:
      return v.Int;
    case stFloat:
      return RoundHalfEven(v.Float);
    case stBCD:
      return RoundHalfEven(static_cast<Extended>(v.Int) / kCurrencyScale);
    default:
      AccessError("LargeInt");
  }
}

double TField::AsFloat() const {
  const TFieldValue& v = Read();
  switch (StorageOf(FDataType)) {
    case stText:
      return static_cast<double>(StrToFloat(AsString()));
    case stInteger:
      return static_cast<double>(v.Int);
    case stFloat:
    case stDateTime:
      return v.Float;
    case stBCD:
      return static_cast<double>(v.Int) / kCurrencyScale;
    default:
      AccessError("Float");
  }
}

double TField::AsCurrency() const {
  if (StorageOf(FDataType) == stBCD) return static_cast<double>(Read().Int) / kCurrencyScale;
  return static_cast<double>(ToCurrencyUnits(AsFloat())) / kCurrencyScale;
}

bool TField::AsBoolean() const {
  switch (StorageOf(FDataType)) {
    case stText: {
      WideString s = AsString();
      return !s.empty() && (s[0] == u'T' || s[0] == u't' || s[0] == u'Y' || s[0] == u'y');
    }
    case stBoolean:
      return Read().Int != 0;
    default:
      AccessError("Boolean");
  }
}

TDateTime TField::AsDateTime() const {
  switch (StorageOf(FDataType)) {
    case stText:
      return StrToDateTime(AsString());
    case stDateTime:
      return Read().Float;
    default:
      AccessError("DateTime");
  }
}

Variant TField::AsVariant() const {
  const TFieldValue& v = Read();
  if (v.Null) return Variant::Null();
  switch (StorageOf(FDataType)) {
    case stText:
      return Variant::FromString(
          v.Text, FDataType == ftWideString || FDataType == ftFixedWideChar ? varOleStr : varUString);
    case stInteger:
      if (FDataType == ftSmallint) return Variant::FromSmallint(static_cast<int16_t>(v.Int));
      if (FDataType == ftWord) return Variant::FromWord(static_cast<uint16_t>(v.Int));
      if (FDataType == ftLargeint) return Variant::FromInt64(v.Int);
      return Variant::FromInteger(static_cast<int32_t>(v.Int));
    case stBoolean:
      return Variant::FromBoolean(v.Int != 0);
    case stFloat:
      return Variant::FromDouble(v.Float);
    case stBCD:
      return Variant::FromCurrencyScaled(v.Int);
    case stDateTime:
      return Variant::FromDateTime(v.Float);
    case stBlob:
      return Variant::FromString(Text(false), FDataType == ftWideMemo ? varOleStr : varUString);
    case stNone:
      break;
  }
  return Variant::Null();
}

void TField::SetAsVariant(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) {
    Clear();
    return;
  }
  switch (StorageOf(FDataType)) {
    case stInteger:
      SetAsLargeInt(v.AsInt64());
      return;
    case stBoolean:
      SetAsBoolean(v.AsBoolean());
      return;
    case stFloat:
      SetAsFloat(v.AsDouble());
      return;
    case stBCD: {
      int64_t units = v.AsCurrencyScaled();
      TFieldValue& w = Write();
      w = TFieldValue();
      w.Null = false;
      w.Int = units;
      return;
    }
    case stDateTime:
      SetAsDateTime(v.AsDateTime());
      return;
    default:
      SetAsString(v.AsString());
  }
}

std::string TField::AsBytes() const {
  if (StorageOf(FDataType) != stBlob) AccessError("Blob");
  return Read().Bytes;
}

void TField::SetAsInteger(int32_t v) {
  SetAsLargeInt(v);
}

void TField::SetAsLargeInt(int64_t v) {
  switch (StorageOf(FDataType)) {
    case stText:
      SetAsString(IntToStr(v));
      return;
    case stInteger:
      SetInteger(v);
      return;
    case stFloat:
    case stBCD:
      SetAsFloat(static_cast<double>(v));
      return;
    default:
      AccessError("Integer");
  }
}

void TField::SetAsFloat(double v) {
  switch (StorageOf(FDataType)) {
    case stText:
      SetAsString(FloatToStr(v));
      return;
    case stInteger:
      SetInteger(RoundHalfEven(v));
      return;
    case stFloat:
    case stDateTime: {
      TFieldValue& w = Write();
      w = TFieldValue();
      w.Null = false;
      w.Float = v;
      return;
    }
    case stBCD: {
      int64_t units = ToCurrencyUnits(v);
      TFieldValue& w = Write();
      w = TFieldValue();
      w.Null = false;
      w.Int = units;
      return;
    }
    default:
      AccessError("Float");
  }
}

void TField::SetAsCurrency(double v) {
  SetAsFloat(static_cast<double>(ToCurrencyUnits(v)) / kCurrencyScale);
}

void TField::SetAsBoolean(bool v) {
  switch (StorageOf(FDataType)) {
    case stText:
      SetAsString(v ? u"T" : u"F");
      return;
    case stBoolean: {
      TFieldValue& w = Write();
      w = TFieldValue();
      w.Null = false;
      w.Int = v ? 1 : 0;
      return;
    }
    default:
      AccessError("Boolean");
  }
}

void TField::SetAsDateTime(TDateTime v) {
  switch (StorageOf(FDataType)) {
    case stText:
      SetAsString(DateTimeToStr(v));
      return;
    case stDateTime: {
      TFieldValue& w = Write();
      w = TFieldValue();
      w.Null = false;
      w.Float = v;
      return;
    }
    default:
      AccessError("DateTime");
  }
}

void TField::SetAsBytes(std::string v) {
  if (StorageOf(FDataType) != stBlob) AccessError("Blob");
  TFieldValue& w = Write();
  w = TFieldValue();
  w.Null = false;
  w.Bytes = std::move(v);
}

int TField::DisplayWidth() const {
  if (FDisplayWidth >= 0) return FDisplayWidth;
  switch (FDataType) {
    case ftString:
    case ftWideString:
    case ftFixedChar:
    case ftFixedWideChar:
      return FSize;
    case ftSmallint:
      return 6;
    case ftInteger:
    case ftAutoInc:
      return 11;
    case ftWord:
      return 5;
    case ftLargeint:
      return 15;
    case ftBoolean:
      return 5;
    default:
      return 10;
  }
}

void TField::SaveToStream(TStream& stream) const {
  const std::string bytes = AsBytes();
  stream.WriteBuffer(bytes);
}

void TField::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  SetAsBytes(stream.ReadToEnd());
}

TField& TFields::Fields(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return *FItems[static_cast<size_t>(index)];
}

TField* TFields::FindField(std::u16string_view name) const {
  for (const auto& f : FItems)
    if (SameName(f->FieldName(), name)) return f.get();
  return nullptr;
}

TField& TFields::FieldByName(std::u16string_view name) const {
  TField* f = FindField(name);
  if (!f) DatabaseError("Field '" + Utf8(name) + "' not found");
  return *f;
}

// ---- blob streams ----

// A copy of a blob's bytes; writes go back into the field at once.
class TBlobStream : public TStream {
 public:
  static constexpr int64_t kMaxBlob = std::numeric_limits<int32_t>::max();

  TBlobStream(TField& field, TBlobStreamMode mode) : FField(field), FWritable(mode != bmRead) {
    if (mode != bmWrite) FData = field.IsNull() ? std::string() : field.AsBytes();
    if (mode == bmWrite) field.SetAsBytes(std::string());
  }
  int64_t Read(void* buffer, int64_t count) override {
    if (count <= 0 || FPos >= static_cast<int64_t>(FData.size())) return 0;
    int64_t n = std::min<int64_t>(count, static_cast<int64_t>(FData.size()) - FPos);
    std::memcpy(buffer, FData.data() + FPos, static_cast<size_t>(n));
    FPos += n;
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    if (!FWritable || count <= 0) return 0;
    // Blob sizes are 32-bit, as in the runtime's blob fields.
    if (FPos > kMaxBlob || count > kMaxBlob - FPos) throw EOutOfMemory("Out of memory");
    if (FPos + count > static_cast<int64_t>(FData.size())) FData.resize(static_cast<size_t>(FPos + count));
    std::memcpy(FData.data() + FPos, buffer, static_cast<size_t>(count));
    FPos += count;
    FField.SetAsBytes(FData);
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    int64_t base = origin == soBeginning ? 0
                   : origin == soCurrent ? FPos
                                         : static_cast<int64_t>(FData.size());
    int64_t p;
    if (__builtin_add_overflow(base, offset, &p) || p < 0) throw EStreamError("Invalid stream position");
    FPos = p;
    return FPos;
  }
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t newSize) override {
    if (!FWritable) throw EWriteError("Stream write error");
    if (newSize < 0) newSize = 0;
    if (newSize > kMaxBlob) throw EOutOfMemory("Out of memory");
    FData.resize(static_cast<size_t>(newSize));
    if (FPos > newSize) FPos = newSize;
    FField.SetAsBytes(FData);
  }

 private:
  TField& FField;
  bool FWritable;
  std::string FData;
  int64_t FPos = 0;
};

// ---- data set ----

const TClassInfo& TDataSet::StaticClassInfo() {
  using T = TDataSet;
  static const TClassInfo& info = Describe<T>("TDataSet")
                                      .Parent<TComponent>()
                                      .Boolean("Active", &T::Active, &T::SetActive)
                                      .Default(false)
                                      .Build();
  return info;
}

const TClassInfo& TDataSet::ClassInfo() const {
  return StaticClassInfo();
}

TDataSet::TDataSet(TComponent* owner, TLifetime lifetime) : TComponent(owner, lifetime) {}

// Closing while destroyed runs no events: the handlers may belong to objects already gone.
TDataSet::~TDataSet() = default;

bool TDataSet::IsEmpty() const {
  return FRecords.empty();
}

bool TDataSet::HasCurrent() const {
  return FCurrent >= 0 && FCurrent < static_cast<int>(FRecords.size());
}

void TDataSet::GetFieldNames(std::vector<WideString>& names) const {
  names.clear();
  for (const auto& f : FFields.FItems) names.push_back(f->FieldName());
}

void TDataSet::CheckActive() const {
  if (FState == dsInactive) DatabaseError("Cannot perform this operation on a closed dataset");
}

const TDataSet::Record* TDataSet::ActiveRecord() const {
  if (FState == dsInactive) return nullptr;
  if (FState == dsEdit || FState == dsInsert) return FBuffer.get();
  return HasCurrent() ? &FRecords[static_cast<size_t>(FCurrent)] : nullptr;
}

TDataSet::Record& TDataSet::EditRecord() {
  CheckActive();
  if (FState != dsEdit && FState != dsInsert) DatabaseError("Dataset not in edit or insert mode");
  return *FBuffer;
}

TDataSet::Record TDataSet::NewRecord() {
  Record r;
  r.Values.resize(FFields.FItems.size());
  return r;
}

void TDataSet::CreateFields() {
  FBuffer.reset();
  FRecords.clear();
  FCurrent = -1;
  FFields.FItems.clear();
  for (int i = 0; i < FFieldDefs.Count(); ++i) FFields.FItems.push_back(MakeField(*this, i, FFieldDefs[i]));
  if (FFields.FOnChange) FFields.FOnChange(FFields);
}

void TDataSet::Open() {
  if (Active()) return;
  Fire(FBeforeOpen);
  if (FFields.FItems.empty()) {
    if (FFieldDefs.Count() == 0) DatabaseError("No fields defined. Cannot create dataset");
    CreateFields();
  }
  FState = dsBrowse;
  FCurrent = FRecords.empty() ? -1 : 0;
  FBof = true;
  FEof = FRecords.empty();
  Fire(FAfterOpen);
  Fire(FAfterScroll);
}

void TDataSet::Close() {
  if (!Active()) return;
  Fire(FBeforeClose);
  FBuffer.reset();
  FState = dsInactive;
  Fire(FAfterClose);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  Fire(FBeforeRefresh);
  Fire(FAfterRefresh);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (FState == dsEdit || FState == dsInsert) {
    if (FModified)
      Post();
    else
      Cancel();
  }
}

void TDataSet::First() {
  CheckBrowseMode();
  Fire(FBeforeScroll);
  FCurrent = FRecords.empty() ? -1 : 0;
  FBof = true;
  FEof = FRecords.empty();
  Fire(FAfterScroll);
}

void TDataSet::Last() {
  CheckBrowseMode();
  Fire(FBeforeScroll);
  FCurrent = static_cast<int>(FRecords.size()) - 1;
  FEof = true;
  FBof = FRecords.empty();
  Fire(FAfterScroll);
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  Fire(FBeforeScroll);
  int moved = 0;
  if ((distance > 0 && !FEof) || (distance < 0 && !FBof)) {
    FBof = false;
    FEof = false;
    const int last = static_cast<int>(FRecords.size()) - 1;
    if (distance > 0) {
      moved = std::min(distance, last - FCurrent);
      FCurrent += moved;
      if (moved < distance) FEof = true;
    } else {
      moved = -std::min(-distance, FCurrent);
      FCurrent += moved;
      if (moved > distance) FBof = true;
    }
    Fire(FAfterScroll);
  }
  return moved;
}

void TDataSet::Next() {
  MoveBy(1);
}

void TDataSet::Prior() {
  MoveBy(-1);
}

int TDataSet::RecordCount() const {
  CheckActive();
  return static_cast<int>(FRecords.size());
}

int TDataSet::RecNo() const {
  CheckActive();
  if (FState == dsInsert || !HasCurrent()) return 0;
  return FCurrent + 1;
}

void TDataSet::SetRecNo(int recNo) {
  CheckBrowseMode();
  if (recNo < 1 || recNo > static_cast<int>(FRecords.size())) DatabaseError("Record not found");
  Fire(FBeforeScroll);
  FCurrent = recNo - 1;
  FBof = FEof = false;
  Fire(FAfterScroll);
}

void TDataSet::BeginInsert(bool append) {
  CheckBrowseMode();
  Fire(FBeforeInsert);
  Fire(FBeforeScroll);
  FBuffer = std::make_unique<Record>(NewRecord());
  FInsertAt = append || !HasCurrent() ? static_cast<int>(FRecords.size()) : FCurrent;
  FState = dsInsert;
  FModified = false;
  FBof = FEof = false;
  Fire(FOnNewRecord);
  Fire(FAfterInsert);
  Fire(FAfterScroll);
}

void TDataSet::Append() {
  BeginInsert(true);
}

void TDataSet::Insert() {
  BeginInsert(false);
}

void TDataSet::Edit() {
  CheckActive();
  if (FState == dsEdit || FState == dsInsert) return;
  if (FRecords.empty()) {
    Append();
    return;
  }
  Fire(FBeforeEdit);
  FBuffer = std::make_unique<Record>(FRecords[static_cast<size_t>(FCurrent)]);
  FState = dsEdit;
  FModified = false;
  Fire(FAfterEdit);
}

void TDataSet::Post() {
  CheckActive();
  if (FState != dsEdit && FState != dsInsert) return;
  Fire(FBeforePost);
  for (const auto& f : FFields.FItems)
    if (f->Required() && FBuffer->Values[static_cast<size_t>(f->Index())].Null)
      DatabaseError("Field '" + Utf8(f->FieldName()) + "' must have a value");
  if (FState == dsInsert) {
    FBuffer->Id = FNextId++;
    FRecords.insert(FRecords.begin() + FInsertAt, std::move(*FBuffer));
    FCurrent = FInsertAt;
  } else {
    FRecords[static_cast<size_t>(FCurrent)] = std::move(*FBuffer);
  }
  FBuffer.reset();
  FModified = false;
  FState = dsBrowse;
  FBof = FEof = false;
  Fire(FAfterPost);
}

void TDataSet::Cancel() {
  CheckActive();
  if (FState != dsEdit && FState != dsInsert) return;
  Fire(FBeforeCancel);
  const bool wasInsert = FState == dsInsert;
  FBuffer.reset();
  FModified = false;
  FState = dsBrowse;
  if (wasInsert) FBof = FEof = FRecords.empty();
  Fire(FAfterCancel);
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert) {
    Cancel();
    return;
  }
  if (FRecords.empty()) DatabaseError("Cannot perform this operation on an empty dataset");
  Fire(FBeforeDelete);
  Fire(FBeforeScroll);
  FBuffer.reset();
  FModified = false;
  FState = dsBrowse;
  FRecords.erase(FRecords.begin() + FCurrent);
  if (FCurrent >= static_cast<int>(FRecords.size())) FCurrent = static_cast<int>(FRecords.size()) - 1;
  FBof = FEof = FRecords.empty();
  Fire(FAfterDelete);
  Fire(FAfterScroll);
}

void TDataSet::EmptyDataSet() {
  CheckActive();
  FBuffer.reset();
  FModified = false;
  FState = dsBrowse;
  FRecords.clear();
  FCurrent = -1;
  FBof = FEof = true;
}

int TDataSet::IndexOfId(uint64_t id) const {
  for (size_t i = 0; i < FRecords.size(); ++i)
    if (FRecords[i].Id == id) return static_cast<int>(i);
  return -1;
}

namespace {

bool BookmarkId(const TBookmark& b, uint64_t& id) {
  if (b.size() != 8) return false;
  id = 0;
  for (int i = 7; i >= 0; --i) id = (id << 8) | b[static_cast<size_t>(i)];
  return true;
}

}  // namespace

TBookmark TDataSet::GetBookmark() const {
  CheckActive();
  if (FState == dsInsert || !HasCurrent()) return {};
  uint64_t id = FRecords[static_cast<size_t>(FCurrent)].Id;
  TBookmark b(8);
  for (size_t i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(id >> (8 * i));
  return b;
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) const {
  uint64_t id;
  return Active() && BookmarkId(bookmark, id) && IndexOfId(id) >= 0;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  CheckBrowseMode();
  uint64_t id;
  int index = BookmarkId(bookmark, id) ? IndexOfId(id) : -1;
  if (index < 0) DatabaseError("Record not found");
  Fire(FBeforeScroll);
  FCurrent = index;
  FBof = FEof = false;
  Fire(FAfterScroll);
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  uint64_t ia = 0, ib = 0;
  bool va = BookmarkId(a, ia), vb = BookmarkId(b, ib);
  if (!va || !vb) return va == vb ? 0 : (va ? 1 : -1);
  if (ia == ib) return 0;
  int pa = IndexOfId(ia), pb = IndexOfId(ib);
  return pa < pb ? -1 : pa > pb ? 1 : 0;
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  CheckActive();
  if (&field.DataSet() != this) DatabaseError("Field '" + Utf8(field.FieldName()) + "' not found");
  if (!field.IsBlob()) field.AccessError("Blob");
  if (mode != bmRead) EditRecord();  // raises outside Edit/Insert
  return std::make_unique<TBlobStream>(field, mode);
}

// ---- memory table ----

const TClassInfo& TMemTable::StaticClassInfo() {
  static const TClassInfo& info = Describe<TMemTable>("TMemTable").Parent<TDataSet>().Build();
  return info;
}

const TClassInfo& TMemTable::ClassInfo() const {
  return StaticClassInfo();
}

void TMemTable::CreateDataSet() {
  Close();
  CreateFields();
  Open();
}

}  // namespace pagewright
