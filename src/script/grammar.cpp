#include "script/grammar.h"

#include <mutex>

#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/unicode.h"
#include "script/parser.h"
#include "storage/xml_document.h"
#include "support/resources.h"

namespace pagewright {

namespace {

WideString Lower(std::u16string_view s) {
  WideString r(s);
  for (auto& c : r) c = FoldCase(c);
  return r;
}

std::string Narrow(std::u16string_view s) {
  return Utf16ToUtf8(s);
}

struct KindName {
  const char16_t* name;
  TvmGrammarKind kind;
};

constexpr KindName kKinds[] = {
    {u"keyword", gkKeyword},
    {u"ident", gkIdent},
    {u"char", gkChar},
    {u"number", gkNumber},
    {u"string", gkString},
    {u"frstring", gkFRString},
    {u"eol", gkEOL},
    {u"eof", gkEOF},
    {u"sequence", gkSequence},
    {u"switch", gkSwitch},
    {u"optionalswitch", gkOptionalSwitch},
    {u"optional", gkOptional},
    {u"loop", gkLoop},
    {u"optionalloop", gkOptionalLoop},
};

class GrammarReader {
 public:
  GrammarReader(TvmGrammar& g, const TpgwXMLItem* errors) : FGrammar(g), FErrors(errors) {}

  void Read(const TpgwXMLItem& item, TvmGrammarElement& e, bool isRule) {
    WideString lname = Lower(item.Name());
    e.Name = item.Name();
    e.Kind = isRule ? gkRule : gkRuleRef;
    if (!isRule) {
      for (const auto& k : kKinds)
        if (lname == k.name) e.Kind = k.kind;
    }
    e.Text = Lower(item.GetProp(u"text"));
    e.Node = Narrow(item.GetProp(u"node"));
    e.Add = Narrow(item.GetProp(u"add"));
    e.AddText = item.GetProp(u"addtext");
    e.HasAddText = !e.AddText.empty();
    auto errorText = [&](const WideString& name) {
      int i = FErrors ? FErrors->Find(name) : -1;
      return i >= 0 ? FErrors->Items(i)->GetProp(u"text") : WideString();
    };
    WideString err = item.GetProp(u"err");
    if (!err.empty()) {
      e.HasErr = true;
      e.ErrText = errorText(err);
    }
    WideString sepErr = item.GetProp(u"seperr");
    if (!sepErr.empty()) {
      e.HasSepErr = true;
      e.SepErrText = errorText(sepErr);
    }
    WideString notNext = item.GetProp(u"notnext");
    if (!notNext.empty()) e.NotNext = notNext[0];
    WideString skip = item.GetProp(u"skip");
    e.NoSkip = skip == u"0";
    e.SkipError = skip == u"1";
    e.Term = item.GetProp(u"term") == u"1";
    if (e.Kind == gkRuleRef) FRefs.push_back({&e, lname});
    e.Children.resize(static_cast<size_t>(item.Count()));
    for (int i = 0; i < item.Count(); ++i) Read(*item.Items(i), e.Children[static_cast<size_t>(i)], false);
  }

  void ResolveRefs() {
    for (auto& [e, name] : FRefs) e->Rule = FGrammar.FindRule(name);
  }

 private:
  TvmGrammar& FGrammar;
  const TpgwXMLItem* FErrors;
  std::vector<std::pair<TvmGrammarElement*, WideString>> FRefs;
};

}  // namespace

int TvmGrammar::FindRule(std::u16string_view name) const {
  for (size_t i = 0; i < Rules.size(); ++i)
    if (SameTextFolded(Rules[i].Name, name)) return static_cast<int>(i);
  return -1;
}

void TvmGrammar::Apply(TvmParser& parser, bool& needDeclareVars) const {
  for (const auto& k : Keywords) parser.AddKeyword(k);
  for (const auto& s : Settings) {
    const WideString& n = s.Name;
    if (n == u"identchars")
      parser.ConstructCharset(s.Text);
    else if (n == u"commentline1")
      parser.SetCommentLine1(s.Text);
    else if (n == u"commentline2")
      parser.SetCommentLine2(s.Text);
    else if (n == u"commentblock1")
      parser.SetCommentBlock1(s.Text);
    else if (n == u"commentblock2")
      parser.SetCommentBlock2(s.Text);
    else if (n == u"stringquotes")
      parser.SetStringQuotes(s.Text);
    else if (n == u"hexsequence")
      parser.SetHexSequence(s.Text);
    else if (n == u"skipchar")
      parser.SetSkipChar(s.Text);
    else if (n == u"specstrchar") {
      if (s.Text == u"1") parser.SetSpecStrChar(true);
    } else if (n == u"skipeol") {
      if (s.Text == u"0") parser.SetSkipEOL(false);
    } else if (n == u"casesensitive") {
      if (s.Text == u"1") parser.SetCaseSensitive(true);
    } else if (n == u"declarevars") {
      if (s.Text == u"0") needDeclareVars = false;
    }
  }
}

std::unique_ptr<TvmGrammar> ReadGrammar(std::string_view xml) {
  TpgwXMLDocument doc;
  doc.LoadFromString(xml);
  const TpgwXMLItem* root = doc.Root();
  auto g = std::make_unique<TvmGrammar>();
  g->LanguageName = root->GetProp(u"text");

  const TpgwXMLItem* parser = nullptr;
  const TpgwXMLItem* errors = nullptr;
  if (int i = root->Find(u"parser"); i >= 0) {
    parser = root->Items(i);
    if (int e = parser->Find(u"errors"); e >= 0) errors = parser->Items(e);
    for (const auto& child : parser->Children()) {
      WideString n = Lower(child->Name());
      if (n == u"keywords") {
        for (const auto& k : child->Children()) g->Keywords.push_back(k->Name());
      } else if (n != u"errors") {
        g->Settings.push_back({n, child->GetProp(u"text")});
      }
    }
  }
  if (int i = root->Find(u"types"); i >= 0) {
    for (const auto& t : root->Items(i)->Children()) g->Types.push_back({t->Name(), t->GetProp(u"type")});
  }

  // Rules are sized first so that references can point at them while they are read.
  std::vector<const TpgwXMLItem*> ruleItems;
  for (const auto& child : root->Children()) {
    WideString n = Lower(child->Name());
    if (n != u"parser" && n != u"types") ruleItems.push_back(child.get());
  }
  g->Rules.resize(ruleItems.size());
  GrammarReader reader(*g, errors);
  for (size_t i = 0; i < ruleItems.size(); ++i) reader.Read(*ruleItems[i], g->Rules[i], true);
  reader.ResolveRefs();
  g->ProgramRule = g->FindRule(u"program");
  return g;
}

// ---------------------------------------------------------------------------------------------
// The registry.

namespace {

struct LanguageEntry {
  WideString Name;
  std::string Grammar;
  std::shared_ptr<const TvmGrammar> Rules;  // read on first use
};

struct Registry {
  std::mutex Lock;
  std::vector<LanguageEntry> Entries;

  LanguageEntry* Find(std::u16string_view name) {
    for (auto& e : Entries)
      if (SameTextFolded(e.Name, name)) return &e;
    return nullptr;
  }
};

Registry& TheRegistry() {
  static Registry r;
  return r;
}

[[noreturn]] void LanguageNotFound(std::u16string_view name) {
  throw Exception(Utf16ToUtf8(Format(ResourceGet("SLangNotFound"), {TFormatArg(WideString(name))})));
}

}  // namespace

void RegisterScriptLanguage(std::u16string_view name, std::string_view grammar) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.Lock);
  if (LanguageEntry* e = r.Find(name)) {
    if (e->Grammar != grammar) {  // the same text keeps the rules already read
      e->Grammar = grammar;
      e->Rules.reset();
    }
    return;
  }
  r.Entries.push_back({WideString(name), std::string(grammar), nullptr});
}

std::string ScriptLanguageGrammar(std::u16string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.Lock);
  if (LanguageEntry* e = r.Find(name)) return e->Grammar;
  LanguageNotFound(name);
}

std::shared_ptr<const TvmGrammar> ScriptLanguageRules(std::u16string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.Lock);
  LanguageEntry* e = r.Find(name);
  if (!e) LanguageNotFound(name);
  if (!e->Rules) e->Rules = ReadGrammar(e->Grammar);
  return e->Rules;
}

std::vector<WideString> ScriptLanguageNames() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.Lock);
  std::vector<WideString> names;
  for (const auto& e : r.Entries) names.push_back(e.Name);
  return names;
}

void InitScriptLanguages() {
  static const struct {
    const char16_t* name;
    const char* stem;
  } kLanguages[] = {
      {u"PascalScript", "pascal"},
      {u"C++Script", "cppscript"},
      {u"BasicScript", "basicscript"},
      {u"JScript", "jscript"},
  };
  for (const auto& l : kLanguages) RegisterScriptLanguage(l.name, EmbeddedScriptGrammar(l.stem));
}

}  // namespace pagewright
