// Feeds arbitrary bytes to the text decoders and parsers of the runtime layer: code-page decoding
// (single- and double-byte), UTF-8 and UTF-16 text files read into string lists, delimited text, and
// the bounds-checked byte reader. None may crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/code_pages.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/string_list.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const uint32_t pages[] = {1250, 1251, 1252, 1253, 1254, 1255, 1256,    1257,
                                   1258, 874,  932,  936,  949,  950,  CP_UTF8, CP_SYMBOL};
  uint32_t cp = pages[data[0] % (sizeof pages / sizeof pages[0])];
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  WideString w = CodePageToWide(bytes, cp);
  std::string back = WideToCodePage(w, cp);
  WideString u16 = Utf16BytesToWide(bytes, data[0] & 1);
  (void)WideToCodePage(u16, cp);
  (void)WideUpperCase(u16);
  (void)StringReplace(u16, Copy(u16, 2, 3), u"x", {rfReplaceAll, rfIgnoreCase});
  (void)AnsiDequotedStr(u16, u'\'');

  TStringStream in(bytes);
  TStringList list;
  list.SetSorted(data[0] & 2);
  list.LoadFromStream(in);
  TStringList other;
  other.SetCommaText(list.CommaText());
  other.SetDelimitedText(u16);
  (void)list.Values(u16.substr(0, 4));

  TByteReader r(bytes, false);
  for (int steps = 0; steps < 1000 && !r.Failed() && !r.AtEnd(); ++steps) {  // seeks may go back
    switch (r.U8() % 5) {
      case 0:
        r.U16BE();
        break;
      case 1:
        r.U32LE();
        break;
      case 2:
        r.Skip(r.U8());
        break;
      case 3:
        r = r.Sub(r.U8(), r.U8());
        break;
      default:
        r.Seek(r.U16LE());
        break;
    }
  }
  return 0;
}
