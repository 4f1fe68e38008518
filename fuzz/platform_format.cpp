// The formatting functions on their own: arbitrary bytes give a routine (first byte), numbers
// (the next 16 bytes) and a format string or text (the rest, UTF-8). Conversion errors are the
// routines' way to refuse; anything else (a crash, an endless loop, a huge result) is a fault.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/unicode.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHeader = 17;
  if (size < kHeader || size > 4096) return 0;
  const uint8_t which = data[0];
  double d = 0;
  int64_t i = 0;
  std::memcpy(&d, data + 1, sizeof d);
  std::memcpy(&i, data + 9, sizeof i);
  const WideString text = Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data + kHeader), size - kHeader));
  const TFormatSettings& fs = FormatSettings();
  try {
    switch (which % 12) {
      case 0: (void)FormatFloat(text, d, fs); break;
      case 1: (void)FormatDateTime(text, d, fs); break;
      case 2: {
        // Arguments of every kind, in an order the next bytes choose.
        std::vector<TFormatArg> args;
        for (int k = 0; k < 4; ++k) switch ((which >> 4 >> (k % 2)) + k & 3) {
            case 0: args.emplace_back(static_cast<int>(i)); break;
            case 1: args.emplace_back(i); break;
            case 2: args.emplace_back(d); break;
            default: args.emplace_back(text.substr(0, 8)); break;
          }
        args.push_back(TFormatArg::Currency(d));
        args.push_back(TFormatArg::Pointer(static_cast<uint64_t>(i)));
        (void)Format(text, args, fs);
        break;
      }
      case 3: (void)FloatToStr(d, fs); (void)CurrToStr(d, fs); break;
      case 4: (void)DateToStr(d, fs); (void)TimeToStr(d, fs); (void)DateTimeToStr(d, fs); break;
      case 5: (void)IntToHex(i, static_cast<int>(which >> 4) * 2); (void)IntToStr(i); break;
      case 6: (void)FormatMaskText(text, text.substr(text.size() / 2)); break;
      case 7: {
        Extended e = 0;
        (void)TryStrToFloat(text, e, fs);
        int64_t n = 0;
        (void)TryStrToInt64(text, n);
        int32_t m = 0;
        (void)TryStrToInt(text, m);
        bool b = false;
        (void)TryStrToBool(text, b);
        break;
      }
      case 8: {
        TDateTime t = 0;
        (void)TryStrToDate(text, t, fs);
        (void)TryStrToTime(text, t, fs);
        (void)TryStrToDateTime(text, t, fs);
        break;
      }
      case 9: {
        int y = 0, mo = 0, dd = 0, hh = 0, mi = 0, ss = 0, ms = 0;
        DecodeDate(d, y, mo, dd);
        DecodeTime(d, hh, mi, ss, ms);
        (void)DayOfWeek(d);
        TDateTime t = 0;
        (void)TryEncodeDate(static_cast<int>(i), static_cast<int>(i >> 32), static_cast<int>(i >> 48), t);
        (void)TryEncodeTime(static_cast<int>(i & 0xFF), static_cast<int>((i >> 8) & 0xFF), static_cast<int>((i >> 16) & 0xFF),
                            static_cast<int>(i >> 24), t);
        break;
      }
      case 10: (void)FormatFloat(text, static_cast<Extended>(i) / 1000, fs); break;
      default: (void)FormatDateTime(text, static_cast<Extended>(i % 3000000) + d / 1e9, fs); break;
    }
  } catch (const Exception&) {
  }
  return 0;
}
