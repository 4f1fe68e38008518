#include "script/sys_functions.h"

#include <chrono>
#include <cmath>
#include <iostream>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "platform/wide_strings.h"
#include "script/statements.h"

namespace pagewright {
namespace {

using Args = std::vector<Variant>;
using Fn = Variant (*)(Args& a);

// ---- Process-wide state: message output and the random generator ---------------------------

std::mutex& StateMutex() {
  static std::mutex m;
  return m;
}

TvmShowMessageOutput& MessageOutput() {
  static TvmShowMessageOutput out;
  return out;
}

std::mt19937_64& Generator() {
  static std::mt19937_64 gen(0);
  return gen;
}

// ---- Argument helpers -----------------------------------------------------------------------

const Variant& Arg(const Args& a, size_t i) {
  static const Variant empty;
  return i < a.size() ? a[i] : empty;
}

WideString Str(const Args& a, size_t i) {
  return VarToStr(Arg(a, i));
}
int32_t Int(const Args& a, size_t i) {
  return Arg(a, i).AsInteger();
}
Extended Flt(const Args& a, size_t i) {
  return Arg(a, i).AsExtended();
}
TDateTime Dt(const Args& a, size_t i) {
  return Arg(a, i).AsDateTime();
}

// An optional step of Inc/Dec: the default 1 when the argument was left out.
int64_t Step(const Args& a, size_t i) {
  const Variant& v = Arg(a, i);
  return v.IsEmpty() || v.IsNull() ? 1 : v.AsInt64();
}

// Inc and Dec keep the kind of the value they change: a 64-bit integer wraps at 64 bits, a
// floating-point value stays one, anything else is a 32-bit integer and wraps at 32 bits.
Variant Stepped(const Variant& v, int64_t step) {
  switch (v.Kind()) {
    case vkFloat:
    case vkExtended:
    case vkCurrency:
      return Variant(static_cast<Extended>(v.AsExtended() + static_cast<Extended>(step)));
    case vkDate:
      return Variant::FromDateTime(v.AsDateTime() + static_cast<TDateTime>(step));
    default:
      break;
  }
  uint64_t sum = static_cast<uint64_t>(v.AsInt64()) + static_cast<uint64_t>(step);
  if (v.VarType() == varInt64) return Variant::FromInt64(static_cast<int64_t>(sum));
  return Variant(static_cast<int32_t>(static_cast<uint32_t>(sum)));
}

// A 32-bit result of Round or Trunc; values beyond it are an invalid operation, not a wrap.
int32_t Checked32(long double v, int64_t r) {
  if (!std::isfinite(v) || r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
    throw EInvalidOp("Invalid floating point operation");
  return static_cast<int32_t>(r);
}

// Guards the helpers' 64-bit conversion before it is made.
bool Fits64(long double v) {
  return std::isfinite(v) && std::fabs(v) < 9.0e18L;
}

Variant Date(TDateTime d) {
  return Variant::FromDateTime(d);
}

// A script value as one argument of Format.
TFormatArg FormatArg(const Variant& v) {
  switch (v.Kind()) {
    case vkInteger: {
      int64_t i = v.AsInt64();
      if (v.VarType() != varInt64 && i >= std::numeric_limits<int32_t>::min() &&
          i <= std::numeric_limits<int32_t>::max())
        return TFormatArg(static_cast<int>(i));
      return TFormatArg(i);
    }
    case vkBoolean:
      return TFormatArg(v.AsBoolean() ? 1 : 0);
    case vkFloat:
    case vkExtended:
    case vkDate:
      return TFormatArg(static_cast<long double>(v.AsExtended()));
    case vkCurrency:
      return TFormatArg::Currency(v.AsCurrency());
    default:
      return TFormatArg(VarToStr(v));
  }
}

std::vector<TFormatArg> FormatArgs(const Variant& v) {
  std::vector<TFormatArg> out;
  if (!v.IsArray()) {
    if (!v.IsEmpty() && !v.IsNull()) out.push_back(FormatArg(v));
    return out;
  }
  if (VarArrayDimCount(v) < 1) return out;
  int32_t lo = VarArrayLowBound(v, 1), hi = VarArrayHighBound(v, 1);
  for (int32_t i = lo; i <= hi; ++i) {
    int32_t idx[1] = {i};
    out.push_back(FormatArg(VarArrayGet(v, idx)));
  }
  return out;
}

WideString NameCase(const WideString& s) {
  WideString r = WideLowerCase(s);
  for (size_t i = 0; i < r.size(); ++i) {
    if (i == 0 || r[i - 1] == u' ') {
      WideString up = WideUpperCase(std::u16string_view(r).substr(i, 1));
      if (up.size() == 1) r[i] = up[0];
    }
  }
  return r;
}

bool ValidDate(const Variant& v) {
  TDateTime d;
  if (v.Kind() == vkDate) return TryStrToDate(DateToStr(v.AsDateTime()), d);
  return TryStrToDate(VarToStr(v), d);
}

struct Decl {
  const char16_t* syntax;
  Fn call;
};

// ---- The functions by category ----------------------------------------------------------------

const Decl kConv[] = {
    {u"function IntToStr(i: Integer): String",
     [](Args& a) { return Variant(IntToStr(Arg(a, 0).AsInt64())); }},
    {u"function FloatToStr(e: Extended): String", [](Args& a) { return Variant(FloatToStr(Flt(a, 0))); }},
    {u"function DateToStr(e: Extended): String", [](Args& a) { return Variant(DateToStr(Dt(a, 0))); }},
    {u"function TimeToStr(e: Extended): String", [](Args& a) { return Variant(TimeToStr(Dt(a, 0))); }},
    {u"function DateTimeToStr(e: Extended): String",
     [](Args& a) { return Variant(DateTimeToStr(Dt(a, 0))); }},
    {u"function BoolToStr(B: Boolean): string;",
     [](Args& a) { return Variant(BoolToStr(Arg(a, 0).AsBoolean(), false)); }},
    {u"function VarToStr(v: Variant): String", [](Args& a) { return Variant(VarToStr(Arg(a, 0))); }},
    {u"function StrToInt(s: String): Integer",
     [](Args& a) { return Variant(static_cast<int>(StrToInt(Str(a, 0)))); }},
    {u"function StrToInt64(s: String): Int64",
     [](Args& a) { return Variant(static_cast<int64_t>(StrToInt64(Str(a, 0)))); }},
    {u"function StrToFloat(s: String): Extended",
     [](Args& a) { return Variant(static_cast<long double>(StrToFloat(Str(a, 0)))); }},
    {u"function StrToDate(s: String): Extended", [](Args& a) { return Date(StrToDate(Str(a, 0))); }},
    {u"function StrToTime(s: String): Extended", [](Args& a) { return Date(StrToTime(Str(a, 0))); }},
    {u"function StrToDateTime(s: String): Extended", [](Args& a) { return Date(StrToDateTime(Str(a, 0))); }},
    {u"function StrToBool(const S: string): Boolean;", [](Args& a) { return Variant(StrToBool(Str(a, 0))); }},
};

const Decl kFormat[] = {
    {u"function Format(Fmt: String; Args: array): String",
     [](Args& a) { return Variant(Format(Str(a, 0), FormatArgs(Arg(a, 1)))); }},
    {u"function FormatFloat(Fmt: String; Value: Extended): String",
     [](Args& a) { return Variant(FormatFloat(Str(a, 0), Flt(a, 1) * 1.0L)); }},
    {u"function FormatDateTime(Fmt: String; DateTime: TDateTime): String",
     [](Args& a) { return Variant(FormatDateTime(Str(a, 0), Dt(a, 1))); }},
    {u"function FormatMaskText(EditMask: string; Value: string): string",
     [](Args& a) { return Variant(FormatMaskText(Str(a, 0), Str(a, 1))); }},
};

const Decl kDate[] = {
    {u"function EncodeDate(Year, Month, Day: Word): TDateTime",
     [](Args& a) { return Date(EncodeDate(Int(a, 0), Int(a, 1), Int(a, 2))); }},
    {u"procedure DecodeDate(Date: TDateTime; var Year, Month, Day: Word)",
     [](Args& a) {
       int y = 0, m = 0, d = 0;
       DecodeDate(Dt(a, 0), y, m, d);
       a.resize(4);
       a[1] = Variant(y);
       a[2] = Variant(m);
       a[3] = Variant(d);
       return Variant::Null();
     }},
    {u"function EncodeTime(Hour, Min, Sec, MSec: Word): TDateTime",
     [](Args& a) { return Date(EncodeTime(Int(a, 0), Int(a, 1), Int(a, 2), Int(a, 3))); }},
    {u"procedure DecodeTime(Time: TDateTime; var Hour, Min, Sec, MSec: Word)",
     [](Args& a) {
       int h = 0, m = 0, s = 0, ms = 0;
       DecodeTime(Dt(a, 0), h, m, s, ms);
       a.resize(5);
       a[1] = Variant(h);
       a[2] = Variant(m);
       a[3] = Variant(s);
       a[4] = Variant(ms);
       return Variant::Null();
     }},
    {u"function Date: TDateTime", [](Args&) { return Date(pagewright::Date()); }},
    {u"function Time: TDateTime", [](Args&) { return Date(pagewright::Time()); }},
    {u"function Now: TDateTime", [](Args&) { return Date(pagewright::Now()); }},
    {u"function DayOfWeek(aDate: TDateTime): Integer", [](Args& a) { return Variant(DayOfWeek(Dt(a, 0))); }},
    {u"function IsLeapYear(Year: Word): Boolean", [](Args& a) { return Variant(IsLeapYear(Int(a, 0))); }},
    {u"function DaysInMonth(nYear, nMonth: Integer): Integer",
     [](Args& a) { return Variant(DaysInMonth(Int(a, 0), Int(a, 1))); }},
};

Variant DeleteChars(Args& a) {
  WideString s = Str(a, 0);
  Delete(s, Int(a, 1), Int(a, 2));
  a[0] = Variant(std::move(s));
  return Variant::Null();
}

const Decl kString[] = {
    {u"function Length(s: Variant): Integer",
     [](Args& a) {
       const Variant& v = Arg(a, 0);
       if (v.IsArray() && VarArrayDimCount(v) >= 1)
         return Variant(VarArrayHighBound(v, 1) - VarArrayLowBound(v, 1) + 1);
       return Variant(static_cast<int>(VarToStr(v).size()));
     }},
    {u"function Copy(s: String; from, count: Integer): String",
     [](Args& a) { return Variant(Copy(Str(a, 0), Int(a, 1), Int(a, 2))); }},
    {u"function Pos(substr, s: String): Integer", [](Args& a) { return Variant(Pos(Str(a, 0), Str(a, 1))); }},
    {u"procedure Delete(var s: String; from, count: Integer)", DeleteChars},
    {u"procedure DeleteStr(var s: String; from, count: Integer)", DeleteChars},
    {u"procedure Insert(s: String; var s2: String; pos: Integer)",
     [](Args& a) {
       WideString s2 = Str(a, 1);
       Insert(Str(a, 0), s2, Int(a, 2));
       a[1] = Variant(std::move(s2));
       return Variant::Null();
     }},
    {u"function Uppercase(s: String): String", [](Args& a) { return Variant(WideUpperCase(Str(a, 0))); }},
    {u"function Lowercase(s: String): String", [](Args& a) { return Variant(WideLowerCase(Str(a, 0))); }},
    {u"function Trim(s: String): String",
     [](Args& a) { return Variant(Trim(std::u16string_view(Str(a, 0)))); }},
    {u"function NameCase(s: String): String", [](Args& a) { return Variant(NameCase(Str(a, 0))); }},
    {u"function CompareText(s, s1: String): Integer",
     [](Args& a) { return Variant(WideCompareText(Str(a, 0), Str(a, 1))); }},
    {u"function Chr(i: Integer): Char",
     [](Args& a) {
       int32_t c = Int(a, 0);
       if (c < 0 || c > 0xFFFF) throw ERangeError("Range check error");
       return Variant(static_cast<char16_t>(c));
     }},
    {u"function Ord(ch: Char): Integer",
     [](Args& a) {
       WideString s = Str(a, 0);
       return Variant(s.empty() ? 0 : static_cast<int>(s[0]));
     }},
    {u"procedure SetLength(var S: Variant; L: Integer)",
     [](Args& a) {
       int32_t n = Int(a, 1);
       if (a[0].IsArray()) {
         VarArrayRedim(a[0], n - 1);
       } else {
         if (n < 0) n = 0;
         // Checked before the string is made: a long one would take the memory first.
         CheckStringLength(static_cast<size_t>(n));
         WideString s = Str(a, 0);
         s.resize(static_cast<size_t>(n), u' ');
         a[0] = Variant(std::move(s));
       }
       return Variant::Null();
     }},
};

const Decl kMath[] = {
    {u"function Round(e: Extended): Integer",
     [](Args& a) {
       Extended e = Flt(a, 0);
       return Variant(static_cast<int>(Checked32(e, Fits64(e) ? RoundHalfEven(e) : INT64_MAX)));
     }},
    {u"function Trunc(e: Extended): Integer",
     [](Args& a) {
       Extended e = Flt(a, 0);
       return Variant(static_cast<int>(Checked32(e, Fits64(e) ? Trunc(e) : INT64_MAX)));
     }},
    // The integral part stays floating point whatever the declaration says.
    {u"function Int(e: Extended): Integer",
     [](Args& a) { return Variant(static_cast<long double>(std::truncl(Flt(a, 0)))); }},
    {u"function Frac(X: Extended): Extended",
     [](Args& a) {
       Extended x = Flt(a, 0);
       return Variant(static_cast<long double>(x - std::truncl(x)));
     }},
    {u"function Sqrt(e: Extended): Extended",
     [](Args& a) {
       Extended x = Flt(a, 0);
       if (x < 0) throw EInvalidOp("Invalid floating point operation");
       return Variant(static_cast<long double>(std::sqrt(x)));
     }},
    {u"function Abs(e: Extended): Extended",
     [](Args& a) { return Variant(static_cast<long double>(std::fabs(Flt(a, 0)))); }},
    {u"function Sin(e: Extended): Extended",
     [](Args& a) { return Variant(static_cast<long double>(std::sin(Flt(a, 0)))); }},
    {u"function Cos(e: Extended): Extended",
     [](Args& a) { return Variant(static_cast<long double>(std::cos(Flt(a, 0)))); }},
    {u"function ArcTan(X: Extended): Extended",
     [](Args& a) { return Variant(static_cast<long double>(std::atan(Flt(a, 0)))); }},
    {u"function Tan(X: Extended): Extended",
     [](Args& a) {
       Extended x = Flt(a, 0);
       return Variant(static_cast<long double>(std::sin(x) / std::cos(x)));
     }},
    {u"function Exp(X: Extended): Extended",
     [](Args& a) {
       Extended r = std::exp(Flt(a, 0));
       if (!std::isfinite(r)) throw EOverflow("Floating point overflow");
       return Variant(static_cast<long double>(r));
     }},
    {u"function Ln(X: Extended): Extended",
     [](Args& a) {
       Extended x = Flt(a, 0);
       if (x == 0) throw EZeroDivide("Floating point division by zero");
       if (x < 0 || std::isnan(x)) throw EInvalidOp("Invalid floating point operation");
       return Variant(static_cast<long double>(std::log(x)));
     }},
    {u"function Pi: Extended", [](Args&) { return Variant(3.1415926535897932385L); }},
};

const Decl kOther[] = {
    {u"procedure Inc(var i: Integer; incr: Integer = 1)",
     [](Args& a) {
       a[0] = Stepped(a[0], Step(a, 1));
       return Variant::Null();
     }},
    {u"procedure Dec(var i: Integer; decr: Integer = 1)",
     [](Args& a) {
       a[0] = Stepped(a[0], static_cast<int64_t>(0 - static_cast<uint64_t>(Step(a, 1))));
       return Variant::Null();
     }},
    {u"procedure RaiseException(Param: String)",
     [](Args& a) -> Variant { throw Exception(Utf16ToUtf8(Str(a, 0))); }},
    {u"procedure ShowMessage(Msg: Variant)",
     [](Args& a) {
       WideString text = VarToStr(Arg(a, 0));
       TvmShowMessageOutput out;
       {
         std::lock_guard<std::mutex> lock(StateMutex());
         out = MessageOutput();
       }
       if (out)
         out(text);
       else
         std::cerr << Utf16ToUtf8(text) << std::endl;
       return Variant::Null();
     }},
    {u"procedure Randomize",
     [](Args&) {
       std::random_device rd;
       uint64_t seed = (static_cast<uint64_t>(rd()) << 32) ^
                       static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
       SetRandomSeed(seed);
       return Variant::Null();
     }},
    {u"function Random: Extended",
     [](Args&) {
       std::lock_guard<std::mutex> lock(StateMutex());
       // 53 random bits: a value from 0 up to but never reaching 1.
       uint64_t bits = Generator()() >> 11;
       return Variant(static_cast<long double>(static_cast<double>(bits) * 0x1.0p-53));
     }},
    {u"function ValidInt(cInt: String): Boolean",
     [](Args& a) {
       int32_t v;
       return Variant(TryStrToInt(Str(a, 0), v));
     }},
    {u"function ValidFloat(cFlt: String): Boolean",
     [](Args& a) {
       Extended v;
       return Variant(TryStrToFloat(Str(a, 0), v));
     }},
    {u"function ValidDate(cDate: String): Boolean", [](Args& a) { return Variant(ValidDate(Arg(a, 0))); }},
    {u"function ExtractFilePath(const FileName: string): string;",
     [](Args& a) { return Variant(ExtractFilePath(Str(a, 0))); }},
    {u"function CreateOleObject(ClassName: String): Variant",
     [](Args& a) -> Variant {
       throw EInvalidOperation("Cannot create automation object \"" + Utf16ToUtf8(Str(a, 0)) +
                               "\": automation objects are not available on this platform");
     }},
    {u"function VarArrayCreate(Bounds: Array; Typ: Integer): Variant",
     [](Args& a) { return VarArrayCreate(Arg(a, 0), static_cast<TVarType>(Int(a, 1))); }},
    {u"function VarType(V: Variant): Integer",
     [](Args& a) { return Variant(static_cast<int>(Arg(a, 0).VarType())); }},
};

template <size_t N>
void AddAll(TvmScript* s, const Decl (&list)[N], const char16_t* category) {
  for (const Decl& d : list) {
    Fn fn = d.call;
    s->AddMethod(
        d.syntax,
        [fn](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>& a) { return fn(a); },
        category);
  }
}

}  // namespace

TvmSysFunctions::TvmSysFunctions(TvmScript* script) : TvmRTTIModule(script) {
  script->AddBasicTypes();
  static const std::pair<const char16_t*, int> varCodes[] = {
      {u"varEmpty", 0},     {u"varNull", 1},      {u"varSmallint", 2},    {u"varInteger", 3},
      {u"varSingle", 4},    {u"varDouble", 5},    {u"varCurrency", 6},    {u"varDate", 7},
      {u"varOleStr", 8},    {u"varDispatch", 9},  {u"varError", 10},      {u"varBoolean", 11},
      {u"varVariant", 12},  {u"varUnknown", 13},  {u"varShortInt", 16},   {u"varByte", 17},
      {u"varWord", 18},     {u"varLongWord", 19}, {u"varInt64", 20},      {u"varStrArg", 72},
      {u"varString", 256},  {u"varAny", 257},     {u"varTypeMask", 4095}, {u"varArray", 8192},
      {u"varByRef", 16384},
  };
  for (const auto& [name, value] : varCodes) script->AddConst(name, u"Integer", Variant(value));
  AddAll(script, kConv, u"ctConv");
  AddAll(script, kFormat, u"ctFormat");
  AddAll(script, kDate, u"ctDate");
  AddAll(script, kString, u"ctString");
  AddAll(script, kMath, u"ctMath");
  AddAll(script, kOther, u"ctOther");
}

void RegisterSysFunctions() {
  RegisterRTTIModule([](TvmScript* s) { return std::make_unique<TvmSysFunctions>(s); });
}

void SetShowMessageOutput(TvmShowMessageOutput output) {
  std::lock_guard<std::mutex> lock(StateMutex());
  MessageOutput() = std::move(output);
}

void SetRandomSeed(uint64_t seed) {
  std::lock_guard<std::mutex> lock(StateMutex());
  Generator().seed(seed);
}

}  // namespace pagewright
