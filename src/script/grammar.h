// Script language grammars: the registry of languages (name to grammar document) and the
// grammar document read once into a tree of elements the matcher walks without re-reading
// text (unit vm_xml's role for grammars).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace pagewright {

class TvmParser;

enum TvmGrammarKind : uint8_t {
  gkRule,     // a rule definition (child of the grammar root); its body is a sequence
  gkKeyword,  // any word, reserved or not
  gkIdent,    // an identifier that is not reserved
  gkChar,     // one punctuation character
  gkNumber,
  gkString,
  gkFRString,  // a report field reference up to the matching '>'
  gkEOL,
  gkEOF,  // nothing but white space, comments and line ends up to the end of the text
  gkSequence,
  gkSwitch,
  gkOptionalSwitch,
  gkOptional,
  gkLoop,
  gkOptionalLoop,
  gkRuleRef,  // any other element name
};

struct TvmGrammarElement {
  TvmGrammarKind Kind = gkSequence;
  WideString Name;     // element name as written
  WideString Text;     // `text`, lower-cased: required token, or a loop's separator
  std::string Node;    // `node`: IL element wrapping the element's lines
  std::string Add;     // `add`: IL leaf emitted on a match
  WideString AddText;  // `addtext`
  bool HasAddText = false;
  bool HasErr = false;  // `err` given
  WideString ErrText;   // the error text `err` names
  bool NoSkip = false;  // `skip` = "0" on char: no white space before the character
  // `notnext` on char: the character matches only when this one does not follow it (a member
  // "." is not the first of a range's "..").
  char16_t NotNext = 0;
  bool SkipError = false;  // `skip` = "1" on a loop: discard a pending error
  bool Term = false;       // `term` = "1"
  // `seperr` on a loop with a separator: the error recorded when the separator is missing
  // although what follows would make another repetition ("a := 1 b := 2" lacks a ';').
  bool HasSepErr = false;
  WideString SepErrText;
  int Rule = -1;  // gkRuleRef: index of the rule in TvmGrammar::Rules, -1 when undefined
  std::vector<TvmGrammarElement> Children;
};

// One parser setting of the grammar's `parser` element, in document order.
struct TvmGrammarSetting {
  WideString Name;  // lower-cased
  WideString Text;
};

struct TvmTypeAlias {
  WideString Alias;
  WideString Type;
};

struct TvmGrammar {
  WideString LanguageName;  // the root's `text`
  std::vector<TvmGrammarSetting> Settings;
  std::vector<WideString> Keywords;
  std::vector<TvmTypeAlias> Types;
  std::vector<TvmGrammarElement> Rules;  // every rule definition, in document order
  int ProgramRule = -1;

  // Index of a rule by name (case-insensitive), or -1.
  int FindRule(std::u16string_view name) const;
  // Applies the keywords and parser settings to a lexer; `declarevars` "0" clears
  // needDeclareVars (it is never set here).
  void Apply(TvmParser& parser, bool& needDeclareVars) const;
};

// Reads a grammar document (UTF-8 XML). Raises TpgwInvalidXMLException for a document that is
// not XML.
std::unique_ptr<TvmGrammar> ReadGrammar(std::string_view xml);

// The process-wide language registry. Registering a known name replaces its grammar.
void RegisterScriptLanguage(std::u16string_view name, std::string_view grammar);
// The grammar text; raises Exception "Language '%s' not found" for an unknown name.
std::string ScriptLanguageGrammar(std::u16string_view name);
// The grammar of a language read once and shared by every IL parser; raises as above.
std::shared_ptr<const TvmGrammar> ScriptLanguageRules(std::u16string_view name);
// Names in registration order.
std::vector<WideString> ScriptLanguageNames();

// Registers the built-in languages. Called once from the engine's start-up list; calling it
// again does no harm.
void InitScriptLanguages();

// A grammar document embedded at build time from src/script/grammars/<stem>.xml; empty when
// there is none of that name.
std::string_view EmbeddedScriptGrammar(std::string_view stem);

}  // namespace pagewright
