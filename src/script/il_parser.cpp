#include "script/il_parser.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

#include "platform/exceptions.h"
#include "platform/stack_guard.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "storage/xml_document.h"
#include "support/resources.h"

namespace pagewright {

// ---------------------------------------------------------------------------------------------
// IL elements

// Units are small source files; anything larger is not one.
constexpr int64_t kMaxUnitFileBytes = int64_t(16) << 20;

namespace {

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

void AppendEscaped(std::string& out, std::u16string_view v) {
  std::string s = Utf16ToUtf8(v);
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '&' && s.compare(i, 6, "&quot;") == 0) {
      // Read back as one quotation mark, so it is written as one.
      out += "&#34;";
      i += 5;
      continue;
    }
    switch (c) {
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '"':
        out += "&#34;";
        break;
      case '<':
        out += "&#60;";
        break;
      case '>':
        out += "&#62;";
        break;
      default:
        out.push_back(c);
    }
  }
}

void WriteElement(std::string& out, const TvmILNode& n) {
  out += '<';
  out += n.Name();
  for (const auto& [name, value] : n.Attributes()) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendEscaped(out, value);
    out += '"';
  }
  if (n.Count() == 0) {
    out += "/>";
    return;
  }
  out += '>';
  for (const auto& c : n.Children()) WriteElement(out, *c);
  out += "</";
  out += n.Name();
  out += '>';
}

void Dump(std::string& out, const TvmILNode& n, bool positions) {
  const WideString* text = nullptr;
  for (const auto& a : n.Attributes())
    if (a.first == "text") text = &a.second;
  auto pos = [&]() {
    if (!positions) return;
    if (n.HasAttr("pos")) {
      out += '@';
      out += Utf16ToUtf8(n.Attr("pos"));
    }
    if (n.HasAttr("pos1")) {
      out += '-';
      out += Utf16ToUtf8(n.Attr("pos1"));
    }
  };
  if (text && n.Count() == 0) {
    out += n.Name();
    out += ':';
    out += Utf16ToUtf8(*text);
    pos();
    return;
  }
  out += '(';
  out += n.Name();
  pos();
  for (const auto& a : n.Attributes())
    if (a.first != "pos" && a.first != "pos1") out += " " + a.first + "=" + Utf16ToUtf8(a.second);
  for (const auto& c : n.Children()) {
    out += ' ';
    Dump(out, *c, positions);
  }
  out += ')';
}

}  // namespace

TvmILNode::~TvmILNode() = default;

WideString TvmILNode::Attr(std::string_view name) const {
  for (const auto& a : FAttrs)
    if (SameAscii(a.first, name)) return a.second;
  return {};
}

bool TvmILNode::HasAttr(std::string_view name) const {
  for (const auto& a : FAttrs)
    if (SameAscii(a.first, name)) return true;
  return false;
}

void TvmILNode::SetAttr(std::string_view name, WideString value) {
  for (auto& a : FAttrs)
    if (SameAscii(a.first, name)) {
      a.second = std::move(value);
      return;
    }
  if (FAttrs.empty()) FAttrs.reserve(2);  // text and pos, or pos and pos1
  FAttrs.emplace_back(std::string(name), std::move(value));
}

TvmILNode* TvmILNode::Add(std::unique_ptr<TvmILNode> child) {
  child->FParent = this;
  FItems.push_back(std::move(child));
  return FItems.back().get();
}

TvmILNode* TvmILNode::Find(std::string_view name) const {
  for (const auto& c : FItems)
    if (SameAscii(c->Name(), name)) return c.get();
  return nullptr;
}

std::unique_ptr<TvmILNode> TvmILNode::Clone() const {
  auto copy = std::make_unique<TvmILNode>(FName);
  copy->FAttrs = FAttrs;
  for (const auto& c : FItems) copy->Add(c->Clone());
  return copy;
}

std::string WriteILElement(const TvmILNode& node) {
  std::string out;
  WriteElement(out, node);
  return out;
}

std::string WriteILDocument(const TvmILNode& root) {
  return "<?xml version=\"1.0\"?>" + WriteILElement(root);
}

namespace {

// Attributes of a raw attribute text: name="value" pairs separated by blanks.
void ReadAttributes(const WideString& raw, TvmILNode& node) {
  size_t i = 0, n = raw.size();
  while (i < n) {
    while (i < n && raw[i] <= u' ') ++i;
    size_t eq = raw.find(u'=', i);
    if (eq == WideString::npos || eq + 1 >= n || raw[eq + 1] != u'"') return;
    size_t close = raw.find(u'"', eq + 2);
    if (close == WideString::npos) return;
    node.SetAttr(Utf16ToUtf8(std::u16string_view(raw).substr(i, eq - i)),
                 DecodeXmlEntities(std::u16string_view(raw).substr(eq + 2, close - eq - 2)));
    i = close + 1;
  }
}

void ReadItem(const TpgwXMLItem& item, TvmILNode& node) {
  ReadAttributes(item.Text(), node);
  for (const auto& c : item.Children()) ReadItem(*c, *node.Add(Utf16ToUtf8(c->Name())));
}

}  // namespace

std::unique_ptr<TvmILNode> ReadILDocument(std::string_view xml) {
  // IL documents are UTF-8 whatever their declaration says; the storage reader takes a
  // declaration without "standalone" for the old 8-bit format, so it gets one that has it.
  std::string text;
  size_t end = xml.find("?>");
  if (xml.substr(0, 5) == "<?xml" && end != std::string_view::npos &&
      xml.substr(0, end).find("standalone=") == std::string_view::npos) {
    text = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>";
    text.append(xml.substr(end + 2));
    xml = text;
  }
  TpgwXMLDocument doc;
  doc.LoadFromString(xml);
  auto root = std::make_unique<TvmILNode>(Utf16ToUtf8(doc.Root()->Name()));
  ReadItem(*doc.Root(), *root);
  return root;
}

std::string DumpIL(const TvmILNode& node, bool positions) {
  std::string out;
  Dump(out, node, positions);
  return out;
}

// ---------------------------------------------------------------------------------------------
// The IL parser

// One IL line: an opening tag, a closing tag, a leaf, or a whole unit document.
struct TvmILParser::Line {
  enum Kind : uint8_t { Open, Close, Leaf, Tree };
  Line(Kind k, const std::string* n, int p = -1, int p1 = -1, WideString t = {},
       std::unique_ptr<TvmILNode> tr = {})
      : kind(k), name(n), pos(p), pos1(p1), text(std::move(t)), tree(std::move(tr)) {}
  Kind kind;
  const std::string* name;  // the grammar's text or a constant; lives longer than the line
  int pos;                  // character index; -1 for none
  int pos1;                 // character index after an expression; -1 for none
  WideString text;          // leaf text, or a unit name
  std::unique_ptr<TvmILNode> tree;
};

TvmILParser::TvmILParser(TvmILHost* program) : FProgram(program) {
  if (!FProgram) {
    FOwnHost = std::make_unique<TvmILHost>();
    FProgram = FOwnHost.get();
  }
}
TvmILParser::~TvmILParser() = default;

void TvmILParser::SelectLanguage(std::u16string_view langName) {
  auto grammar = ScriptLanguageRules(langName);
  FParser.Clear();
  FLangName = langName;
  FGrammar = std::move(grammar);
  FGrammar->Apply(FParser, FNeedDeclareVars);
}

int TvmILParser::SkippedFrom(int index) {
  int saved = FParser.Position();
  FParser.SetPosition(index);
  FParser.SkipSpaces();
  int result = FParser.Position();
  FParser.SetPosition(saved);
  return result;
}

void TvmILParser::RecordError(const TvmGrammarElement& e, int entry) {
  if (!e.HasErr || !FErrorMsg.empty()) return;
  FErrorMsg = e.ErrText;
  ++FErrorCount;
  FErrorPos = FParser.PositionText(SkippedFrom(entry));
  FErrorTerm = e.Term;
}

void TvmILParser::Wrap(const std::string& node, size_t first, int entry) {
  // The opening tag belongs before line `first`; it is kept aside and merged when the tree is
  // built, so wrapping never moves the lines already emitted.
  FOpens.push_back({first, &node, SkippedFrom(entry), node == "expr" ? FParser.Position() : -1});
  FLines.push_back(Line(Line::Close, &node));
}

void TvmILParser::Truncate(size_t first) {
  // Tags kept aside for these lines were recorded after the lines before them, so they are the
  // last ones.
  while (!FOpens.empty() && FOpens.back().Index >= first) FOpens.pop_back();
  FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(first), FLines.end());
}

void TvmILParser::EmitLeaf(const std::string& name, std::u16string_view text, int pos) {
  FLines.push_back(Line(Line::Leaf, &name, pos, -1, WideString(text)));
}

void TvmILParser::EmitFieldReference(std::u16string_view token) {
  // A field reference is a call of Get with the reference text as its argument.
  static const std::string kDsgn = "dsgn", kNode = "node", kExpr = "expr", kString = "string";
  int p = FParser.Position();
  FLines.push_back(Line(Line::Open, &kDsgn, p));
  EmitLeaf(kNode, u"Get", p);
  FLines.push_back(Line(Line::Open, &kExpr, p));
  WideString quoted;
  quoted.reserve(token.size() + 2);
  quoted.push_back(u'\'');
  quoted.append(token);
  quoted.push_back(u'\'');
  EmitLeaf(kString, quoted, p);
  FLines.push_back(Line(Line::Close, &kExpr));
  FLines.push_back(Line(Line::Close, &kDsgn));
}

bool TvmILParser::MatchGrammarElement(const TvmGrammarElement& e) {
  // A fixed depth alone is not enough on a small thread stack: the stack left counts too.
  const int64_t stackLeft = RemainingStack();
  if (FDepth >= MaxMatchDepth || (stackLeft >= 0 && stackLeft < static_cast<int64_t>(kDefaultStackMargin)))
    throw TooDeep{FParser.Position()};
  struct DepthGuard {
    int& d;
    explicit DepthGuard(int& depth) : d(depth) { ++d; }
    ~DepthGuard() { --d; }
  } guard(FDepth);

  const int entry = FParser.Position();
  const size_t first = FLines.size();
  bool matched = true;
  bool isToken = false;
  std::u16string_view token;

  switch (e.Kind) {
    case gkRule:
    case gkSequence:
      break;
    case gkChar:
      if (!e.NoSkip) FParser.SkipSpaces();
      token = FParser.ReadChar();
      if (e.NotNext != 0 && !token.empty() && FParser.Ch(FParser.Position()) == e.NotNext) token = {};
      isToken = true;
      break;
    case gkKeyword:
      token = FParser.ReadWord();
      isToken = true;
      break;
    case gkIdent:
      token = FParser.ReadIdent();
      isToken = true;
      break;
    case gkNumber:
      token = FParser.ReadNumber(FScratch);
      isToken = true;
      break;
    case gkString:
      if (FParser.ReadString(FScratch)) token = FScratch;
      isToken = true;
      break;
    case gkFRString:
      token = FParser.ReadFRString();
      EmitFieldReference(token);
      isToken = true;
      break;
    case gkEOL:
      // The end of the text ends the last line too, whether or not it has a line end.
      matched = FParser.GetEOL() || FParser.Position() > FParser.Size();
      break;
    case gkEOF:
      // A program that must fill its text: what is left over is an error, not ignored.
      while (FParser.GetEOL()) {
      }
      matched = FParser.Position() > FParser.Size();
      break;
    case gkSwitch:
    case gkOptionalSwitch:
      for (const auto& c : e.Children)
        if (MatchGrammarElement(c)) return true;
      FParser.SetPosition(entry);
      if (e.Kind == gkOptionalSwitch) return true;
      RecordError(e, entry);
      return false;
    case gkOptional:
      for (const auto& c : e.Children)
        if (!MatchGrammarElement(c)) {
          FParser.SetPosition(entry);
          break;
        }
      return true;
    case gkLoop:
    case gkOptionalLoop:
      return MatchLoop(e, entry);
    case gkRuleRef:
      if (e.Rule < 0) throw Exception(Utf16ToUtf8(ResourceGet("SInvalidLanguage")));
      matched = MatchGrammarElement(FGrammar->Rules[static_cast<size_t>(e.Rule)]);
      break;
  }
  if (isToken) {
    matched = !token.empty() &&
              (e.Text.empty() || (FParser.CaseSensitive() ? token == e.Text : SameTextFolded(token, e.Text)));
  }

  bool result = matched;
  if (matched) {
    if (e.Kind != gkRule && !e.Node.empty()) Wrap(e.Node, first, entry);
    if (!e.Add.empty())
      EmitLeaf(e.Add, e.HasAddText ? std::u16string_view(e.AddText) : token, FParser.Position());
    for (const auto& c : e.Children)
      if (!MatchGrammarElement(c)) {
        result = false;
        break;
      }
  } else {
    RecordError(e, entry);
  }
  if (!result) FParser.SetPosition(entry);

  if (e.Kind == gkRule && !e.Node.empty()) {
    if (e.Node == "uses") {
      IncludeUnits(first);
    } else if (result) {
      Wrap(e.Node, first, entry);
    } else {
      Truncate(first);
    }
  }
  return result;
}

bool TvmILParser::MatchLoop(const TvmGrammarElement& e, int entry) {
  int count = 0;
  bool result = true;
  int after = entry;
  bool afterSeparator = false;  // the last repetition followed a separator
  int errorsBefore = FErrorCount;
  for (;;) {
    ++count;
    afterSeparator = count > 1 && !e.Text.empty();
    errorsBefore = FErrorCount;
    const int start = FParser.Position();
    for (const auto& c : e.Children) {
      result = MatchGrammarElement(c);
      if (!result) break;
    }
    after = FParser.Position();
    if (result && !e.Text.empty()) {
      FParser.SkipSpaces();
      std::u16string_view sep = FParser.ReadChar();
      if (sep != e.Text) {
        FParser.SetPosition(after);
        if (e.HasSepErr && FErrorMsg.empty() && WouldRepeat(e)) {
          // The separator is what is missing, where the next repetition starts.
          FErrorMsg = e.SepErrText;
          ++FErrorCount;
          FErrorPos = FParser.PositionText(SkippedFrom(after));
          FErrorTerm = false;
        }
        break;
      }
    }
    if (!result || FParser.Position() == start) break;
  }
  if (count >= 2) {
    // The first repetition matched: what follows the last good one is left for the caller.
    // An error marked as a possible end of the list is dropped when the repetition that ended
    // the loop recorded it, unless a separator promised one more item ("var a, : Integer"
    // must still report the missing identifier).
    bool endOfList = FErrorTerm && FErrorCount != errorsBefore && !(afterSeparator && !result);
    if (e.SkipError || endOfList) {
      FErrorMsg.clear();
      FErrorPos.clear();
      FErrorTerm = false;
    }
    FParser.SetPosition(after);
    result = true;
  }
  if (!result) {
    FParser.SetPosition(entry);
    if (e.Kind == gkOptionalLoop) return true;
    RecordError(e, entry);
  }
  return result;
}

bool TvmILParser::WouldRepeat(const TvmGrammarElement& e) {
  const int start = FParser.Position();
  const size_t lines = FLines.size();
  const WideString errorMsg = FErrorMsg, errorPos = FErrorPos;
  const bool errorTerm = FErrorTerm;
  const int errorCount = FErrorCount;
  bool matched = true;
  for (const auto& c : e.Children)
    if (!MatchGrammarElement(c)) {
      matched = false;
      break;
    }
  const bool progress = matched && FParser.Position() > SkippedFrom(start);
  Truncate(lines);
  FErrorMsg = errorMsg;
  FErrorPos = errorPos;
  FErrorTerm = errorTerm;
  FErrorCount = errorCount;
  FParser.SetPosition(start);
  return progress;
}

// ---------------------------------------------------------------------------------------------
// Units

void TvmILParser::IncludeUnits(size_t first) {
  std::vector<WideString> names;
  for (size_t i = FLines.size(); i > first; --i) {
    const Line& l = FLines[i - 1];
    if (l.kind != Line::Leaf) continue;
    WideString name = l.text;
    if (name.size() >= 2)
      name = name.substr(1, name.size() - 2);
    else
      name.clear();
    names.push_back(std::move(name));
  }
  Truncate(first);
  static const std::string kUses = "uses";
  for (const auto& name : names) {
    std::unique_ptr<TvmILNode> unit = IncludeUnit(name);
    std::vector<Line> block;
    block.push_back(Line(Line::Open, &kUses, -1, -1, name));
    if (unit) block.push_back(Line(Line::Tree, &kUses, -1, -1, WideString(), std::move(unit)));
    block.push_back(Line(Line::Close, &kUses));
    // Each block goes after the previous one, which makes them stand in the reverse order of
    // the clause.
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(first), std::make_move_iterator(block.begin()),
                  std::make_move_iterator(block.end()));
    first += block.size();
  }
}

WideString TvmILParser::ReadUnitFile(const WideString& name) {
  const std::string file = Utf16ToUtf8(name);
  // A program names units beside it (or in a folder below): scripts come from templates, which
  // must not reach other files of the machine through `uses`.
  bool outside = file.empty() || file.front() == '/' || file.find('\\') != std::string::npos;
  for (size_t start = 0; !outside && start <= file.size();) {
    const size_t slash = std::min(file.find('/', start), file.size());
    if (file.compare(start, slash - start, "..") == 0 && slash - start == 2) outside = true;
    start = slash + 1;
  }
  if (outside)
    throw EFOpenError("Cannot use unit \"" + file +
                      "\": a unit is a file in the program's own folder, named without \"/\" at the start or \"..\"");
  auto join = [&](const std::string& folder) {
    if (folder.empty()) return file;  // the current folder
    const char last = folder.back();
    return last == '/' ? folder + file : folder + '/' + file;
  };
  std::string path = file;
  for (const auto& folder : FProgram->IncludePath) {
    path = join(folder);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISLNK(st.st_mode))
      throw EFOpenError("Cannot use unit \"" + file + "\": it is a symbolic link, which may lead out of the folder");
    break;
  }
  // Only a regular file of sane size: a device or a pipe would block or never end.
  std::unique_ptr<TMemoryStream> unit = OpenRegularFileForReading(path, kMaxUnitFileBytes);
  const std::string bytes(reinterpret_cast<const char*>(unit->Memory()), static_cast<size_t>(unit->Size()));
  std::string_view v(bytes);
  if (v.substr(0, 3) == "\xEF\xBB\xBF") v.remove_prefix(3);
  return Utf8ToUtf16(v);
}

std::unique_ptr<TvmILNode> TvmILParser::IncludeUnit(const WideString& name) {
  for (const auto& u : FUsesList)
    if (SameTextFolded(u, name)) return nullptr;
  FUsesList.push_back(name);

  WideString text;
  if (FProgram->OnGetUnit) {
    FProgram->OnGetUnit(*FProgram, name, text);
  } else {
    text = ReadUnitFile(name);
  }
  if (text.empty()) return nullptr;

  TvmILParser unit(FProgram);
  unit.FUnitName = name;
  unit.FDepth = FDepth;  // a chain of units nests the matcher too
  unit.SelectLanguage(FLangName);
  unit.FUsesList = FUsesList;
  if (unit.MakeILScript(text)) {
    FUsesList = unit.FUsesList;
    return unit.TakeILScript();
  }
  FErrorMsg = FProgram->ErrorMsg;
  FErrorPos = FProgram->ErrorPos;
  FErrorTerm = false;
  if (FProgram->ErrorUnit.empty()) FProgram->ErrorUnit = name;
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Building

std::unique_ptr<TvmILNode> TvmILParser::BuildTree() {
  auto root = std::make_unique<TvmILNode>("program");
  std::vector<TvmILNode*> stack{root.get()};
  // Opening tags at the same line index stand outermost first, that is, latest wrapped first.
  std::vector<size_t> order(FOpens.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return FOpens[a].Index != FOpens[b].Index ? FOpens[a].Index < FOpens[b].Index : a > b;
  });
  size_t nextOpen = 0;
  for (size_t i = 0; i < FLines.size(); ++i) {
    for (; nextOpen < order.size() && FOpens[order[nextOpen]].Index == i; ++nextOpen) {
      const PendingOpen& o = FOpens[order[nextOpen]];
      auto n = std::make_unique<TvmILNode>(*o.Name);
      n->SetAttr("pos", FParser.PositionText(o.Pos));
      if (o.Pos1 >= 0) n->SetAttr("pos1", FParser.PositionText(o.Pos1));
      stack.push_back(stack.back()->Add(std::move(n)));
    }
    Line& l = FLines[i];
    switch (l.kind) {
      case Line::Open: {
        auto n = std::make_unique<TvmILNode>(*l.name);
        if (*l.name == "uses" && l.pos < 0) n->SetAttr("unit", l.text);
        if (l.pos >= 0) n->SetAttr("pos", FParser.PositionText(l.pos));
        if (l.pos1 >= 0) n->SetAttr("pos1", FParser.PositionText(l.pos1));
        stack.push_back(stack.back()->Add(std::move(n)));
        break;
      }
      case Line::Close:
        if (stack.size() > 1) stack.pop_back();
        break;
      case Line::Leaf: {
        auto n = std::make_unique<TvmILNode>(*l.name);
        n->SetAttr("text", std::move(l.text));
        n->SetAttr("pos", FParser.PositionText(l.pos));
        stack.back()->Add(std::move(n));
        break;
      }
      case Line::Tree:
        stack.back()->Add(std::move(l.tree));
        break;
    }
  }
  TvmILNode* types = root->Add("types");
  if (FGrammar)
    for (const auto& t : FGrammar->Types) types->Add(Utf16ToUtf8(t.Alias))->SetAttr("type", t.Type);
  return root;
}

bool TvmILParser::MakeILScript(std::u16string_view text) {
  FParser.SetText(text);
  FLines.clear();
  FOpens.clear();
  FErrorMsg.clear();
  FErrorPos.clear();
  FErrorTerm = false;
  FILScript.reset();

  int start = 1;
  if (FParser.Ch(1) == u'#') {
    FParser.SetPosition(2);
    if (SameTextFolded(FParser.ReadWord(), u"language")) {
      // The rest of the line names the language; parsing starts on the next line.
      int p = FParser.Position();
      int end = p;
      while (end <= FParser.Size() && FParser.Ch(end) != u'\r' && FParser.Ch(end) != u'\n') ++end;
      std::u16string_view name =
          std::u16string_view(text).substr(static_cast<size_t>(p - 1), static_cast<size_t>(end - p));
      while (!name.empty() && name.front() <= u' ') name.remove_prefix(1);
      while (!name.empty() && name.back() <= u' ') name.remove_suffix(1);
      start = end;
      if (FParser.Ch(start) == u'\r') ++start;
      if (FParser.Ch(start) == u'\n') ++start;
      SelectLanguage(name);
      FParser.SetText(text);
    }
  }
  FParser.SetPosition(start);

  if (!FGrammar || FGrammar->ProgramRule < 0) throw Exception(Utf16ToUtf8(ResourceGet("SInvalidLanguage")));
  bool ok = false;
  try {
    ok =
        MatchGrammarElement(FGrammar->Rules[static_cast<size_t>(FGrammar->ProgramRule)]) && FErrorMsg.empty();
  } catch (const TooDeep& t) {
    ok = false;
    FErrorMsg = u"Nesting too deep";
    FErrorPos = FParser.PositionText(t.Index);
  }
  if (ok) {
    FILScript = BuildTree();
    FErrorMsg.clear();
    FErrorPos.clear();
  }
  FLines.clear();
  FOpens.clear();
  FProgram->ErrorPos = FErrorPos;
  FProgram->ErrorMsg = FErrorMsg;
  return ok;
}

}  // namespace pagewright
