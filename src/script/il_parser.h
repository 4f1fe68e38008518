// The IL builder (unit vm_iilparser): matches source text against a language's grammar with a
// recursive, backtracking matcher and builds the IL document the interpreter compiles.
//
// The IL document is kept as a tree of TvmILNode elements; WriteILDocument gives its XML text.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/types.h"
#include "script/grammar.h"
#include "script/parser.h"

namespace pagewright {

// One element of an IL document: a name, attributes in order, children.
class TvmILNode {
 public:
  explicit TvmILNode(std::string name) : FName(std::move(name)) {}
  TvmILNode(const TvmILNode&) = delete;
  TvmILNode& operator=(const TvmILNode&) = delete;
  ~TvmILNode();

  const std::string& Name() const { return FName; }
  TvmILNode* Parent() const { return FParent; }

  const std::vector<std::pair<std::string, WideString>>& Attributes() const { return FAttrs; }
  // Value of an attribute (name compared ignoring case), empty when absent.
  WideString Attr(std::string_view name) const;
  bool HasAttr(std::string_view name) const;
  void SetAttr(std::string_view name, WideString value);

  int Count() const { return static_cast<int>(FItems.size()); }
  TvmILNode* Items(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  const std::vector<std::unique_ptr<TvmILNode>>& Children() const { return FItems; }
  TvmILNode* Add(std::unique_ptr<TvmILNode> child);
  TvmILNode* Add(std::string name) { return Add(std::make_unique<TvmILNode>(std::move(name))); }
  // First child of that name (ignoring case), or null.
  TvmILNode* Find(std::string_view name) const;
  std::unique_ptr<TvmILNode> Clone() const;

 private:
  std::string FName;
  TvmILNode* FParent = nullptr;
  std::vector<std::pair<std::string, WideString>> FAttrs;
  std::vector<std::unique_ptr<TvmILNode>> FItems;
};

// The element as XML text (UTF-8), without declaration or line breaks. Attribute values are
// written with LF, CR, '"', '<' and '>' as decimal character references.
std::string WriteILElement(const TvmILNode& node);
// The whole document: declaration and root element.
std::string WriteILDocument(const TvmILNode& root);
// Reads an IL document written by WriteILDocument (or by hand). Raises
// TpgwInvalidXMLException for text that is not such a document.
std::unique_ptr<TvmILNode> ReadILDocument(std::string_view xml);
// Compact one-line form for reading and comparing: (name child ...) for elements,
// name:text for leaves (elements with a `text` attribute); with positions, @pos (and -pos1)
// follow the name or text.
std::string DumpIL(const TvmILNode& node, bool positions = false);

// What the IL builder needs of the script that owns the compilation.
struct TvmILHost {
  using TvmGetUnitEvent =
      std::function<void(TvmILHost& sender, const WideString& unitName, WideString& unitText)>;

  WideString ErrorMsg;
  WideString ErrorPos;
  WideString ErrorUnit;
  // Folders searched for unit files, in order.
  std::vector<std::string> IncludePath{std::string()};
  // Supplies unit texts instead of the include folders when assigned.
  TvmGetUnitEvent OnGetUnit;
};

class TvmILParser {
 public:
  // Deep nesting ends in a syntax error instead of exhausting the stack: a level of grammar
  // takes about 100 bytes of stack (400 with the address sanitizer), and one level of
  // parentheses about ten levels of grammar.
  static constexpr int MaxMatchDepth = 8000;

  explicit TvmILParser(TvmILHost* program);
  ~TvmILParser();

  // Loads the language's grammar and applies its lexer settings. Raises Exception "Language
  // '%s' not found" for an unknown name.
  void SelectLanguage(std::u16string_view langName);
  // Builds the IL document; false on a syntax error (the host's ErrorMsg and ErrorPos tell).
  bool MakeILScript(std::u16string_view text);

  TvmILNode* ILScript() const { return FILScript.get(); }
  std::unique_ptr<TvmILNode> TakeILScript() { return std::move(FILScript); }

  const WideString& LangName() const { return FLangName; }
  bool NeedDeclareVars() const { return FNeedDeclareVars; }
  const WideString& UnitName() const { return FUnitName; }
  void SetUnitName(std::u16string_view name) { FUnitName = name; }
  const std::vector<WideString>& UsesList() const { return FUsesList; }
  void SetUsesList(std::vector<WideString> list) { FUsesList = std::move(list); }
  TvmParser& Parser() { return FParser; }
  const TvmGrammar* Grammar() const { return FGrammar.get(); }

  // Matches one grammar element at the lexer's Position; on failure Position is back where it
  // was. Emits IL lines and records the first error as it goes.
  bool MatchGrammarElement(const TvmGrammarElement& e);

 private:
  struct Line;
  struct PendingOpen {
    size_t Index;  // the tag stands before this line
    const std::string* Name;
    int Pos;
    int Pos1;
  };
  struct TooDeep {
    int Index;
  };

  bool MatchLoop(const TvmGrammarElement& e, int entry);
  // Whether the loop's children would match once more at Position, making progress; nothing
  // of the attempt (lines, errors, position) remains.
  bool WouldRepeat(const TvmGrammarElement& e);
  void Wrap(const std::string& node, size_t first, int entry);
  void Truncate(size_t first);
  void EmitLeaf(const std::string& name, std::u16string_view text, int pos);
  void EmitFieldReference(std::u16string_view token);
  void RecordError(const TvmGrammarElement& e, int entry);
  int SkippedFrom(int index);
  void IncludeUnits(size_t first);
  std::unique_ptr<TvmILNode> IncludeUnit(const WideString& name);
  WideString ReadUnitFile(const WideString& name);
  std::unique_ptr<TvmILNode> BuildTree();

  std::shared_ptr<const TvmGrammar> FGrammar;
  TvmParser FParser;
  TvmILHost* FProgram;
  std::unique_ptr<TvmILHost> FOwnHost;  // when created without a script
  std::unique_ptr<TvmILNode> FILScript;
  WideString FLangName;
  bool FNeedDeclareVars = true;
  std::vector<WideString> FUsesList;
  WideString FUnitName;

  // State of one build.
  std::vector<Line> FLines;
  std::vector<PendingOpen> FOpens;
  WideString FErrorMsg;
  WideString FErrorPos;
  bool FErrorTerm = false;
  int FErrorCount = 0;  // errors recorded so far, to tell which loop repetition recorded one
  int FDepth = 0;
  WideString FScratch;  // value of the string token being matched
};

}  // namespace pagewright
