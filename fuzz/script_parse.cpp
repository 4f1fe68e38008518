// Lexing and building the IL of arbitrary text: no crash, no hang, no unbounded recursion,
// whatever the text. The grammar is PascalScript's unless the first byte is 1, 2 or 3
// (C++Script, BasicScript, JScript). PW_FUZZ_LANGUAGE (0 to 3, in that order) fixes the grammar for
// a whole run instead, so that each one gets a run of its own, seeded with its own programs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "script/il_parser.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    InitScriptLanguages();
    return true;
  }();
  (void)initialised;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const char16_t* const kLanguages[] = {u"PascalScript", u"C++Script", u"BasicScript", u"JScript"};
  static const int fixed = [] {
    const char* v = std::getenv("PW_FUZZ_LANGUAGE");
    return v && v[0] >= '0' && v[0] <= '3' && !v[1] ? v[0] - '0' : -1;
  }();
  const char16_t* language = kLanguages[fixed < 0 ? 0 : fixed];
  if (fixed < 0 && !bytes.empty() && bytes[0] >= 1 && bytes[0] <= 3) {
    language = kLanguages[static_cast<int>(bytes[0])];
    bytes.remove_prefix(1);
  }
  WideString text = Utf8ToUtf16(bytes);

  // Every token reader from positions spread over the text, with the default settings and
  // with the other languages' settings (line ends as tokens, continuations, escapes, "0x").
  for (int dialect = 0; dialect < 2; ++dialect) {
    TvmParser lexer;
    if (dialect == 1) {
      lexer.SetCommentLine1(u"'");
      lexer.SetCommentLine2(u"rem");
      lexer.SetCommentBlock1(u"/*,*/");
      lexer.SetStringQuotes(u"\"");
      lexer.SetHexSequence(u"0x");
      lexer.SetSpecStrChar(true);
      lexer.SetSkipEOL(false);
      lexer.SetSkipChar(u"_");
    }
    lexer.SetText(text);
    for (int p = 1; p <= lexer.Size() + 1; p += 1 + lexer.Size() / 64) {
      lexer.SetPosition(p);
      lexer.GetNumber();
      lexer.SetPosition(p);
      lexer.GetString();
      lexer.SetPosition(p);
      lexer.GetWord();
      lexer.SetPosition(p);
      lexer.GetFRString();
      lexer.SetPosition(p);
      lexer.GetEOL();
      lexer.GetXYPosition();
    }
  }

  // Units resolve to the text itself, so inclusion and its recursion are exercised too.
  TvmILHost host;
  host.OnGetUnit = [&text](TvmILHost&, const WideString& name, WideString& unit) {
    if (name.size() < 3) unit = text;
  };
  try {
    TvmILParser parser(&host);
    parser.SelectLanguage(language);
    if (parser.MakeILScript(text)) {
      std::string xml = WriteILDocument(*parser.ILScript());
      if (xml.empty()) __builtin_trap();
    } else if (host.ErrorMsg.empty() && !host.ErrorPos.empty()) {
      __builtin_trap();  // a position without a message
    }
  } catch (const Exception&) {
    // Unknown languages named by a language line are reported by an exception.
  }
  return 0;
}
