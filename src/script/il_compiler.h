// Builds an IL document (the IL builder's output) into a TvmScript.
#pragma once

#include <memory>
#include <vector>

#include "platform/wide_strings.h"
#include "script/interpreter.h"

namespace pagewright {

// A compile error; the compiler records it with the position it was raised at (the current
// position when Pos is empty).
struct TvmCompileError {
  WideString Message;
  WideString Pos;
};

class TvmILCompiler {
 public:
  TvmILCompiler(TvmScript* script, bool needDeclareVars);
  ~TvmILCompiler();
  TvmILCompiler(const TvmILCompiler&) = delete;
  TvmILCompiler& operator=(const TvmILCompiler&) = delete;

  // Builds the root into the script; false after an error, with the script's ErrorMsg,
  // ErrorPos and ErrorUnit set. What was built before the error stays in the script.
  bool Build(const TvmILNode& root);

 private:
  struct WithEntry {
    TvmVariable* Var;
    TvmScript* Prog;
  };

  static bool Is(const TvmILNode& n, std::string_view name) { return AsciiSameText(n.Name(), name); }
  static WideString Text(const TvmILNode& n) { return n.Attr("text"); }
  static WideString Quoted(const WideString& name) { return u"'" + name + u"'"; }

  [[noreturn]] void Error(const WideString& message);
  void SetPos(const TvmILNode& e);

  void DeclareRoutines(const TvmILNode& e, TvmScript* p);
  void BuildProgram(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildElement(const TvmILNode& c, TvmScript* p, TvmStatementList* list);
  void BuildBody(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void ResolveType(WideString name, TvmVarType& typ, WideString& typeName);
  void CheckRedeclared(TvmScript* p, const WideString& name);
  static void DeclarationParts(const TvmILNode& decl, const TvmILNode* ident, const TvmILNode*& array,
                               const TvmILNode*& init);
  // A variable or parameter for one name (an ident leaf) of a declaration.
  TvmVariable* MakeVariable(const TvmILNode& ident, const TvmILNode& decl, TvmScript* p, bool isParam,
                            TvmStatementList* list);
  void DeclareVars(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void DeclareConst(const TvmILNode& e, TvmScript* p);
  void DeclareRoutine(const TvmILNode& e, TvmScript* p);
  void BuildRoutine(const TvmILNode& e, TvmScript* p);
  void BuildUses(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  template <class T>
  std::unique_ptr<T> NewStatement(const TvmILNode& e, TvmScript* p);
  void BuildStatement(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  static const TvmILNode* Child(const TvmILNode& e, size_t i);
  // One builder per statement element.
  void BuildAssignment(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildCall(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildIf(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildCase(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildFor(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildVbFor(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildCppFor(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildWhile(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildRepeat(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildTry(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildBreak(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildContinue(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildExit(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildReturn(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildWith(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildDelete(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  TvmVariable* LoopVariable(const TvmILNode& ident, TvmScript* p);
  TvmCustomVariable* UndeclaredName(const WideString& name);
  // Unknown members of class-typed objects are resolved when the script runs.
  bool LateBindingOn() const;

  std::unique_ptr<TvmExpression> BuildExpression(const TvmILNode& e, TvmScript* p);
  void AddExprChildren(const TvmILNode& e, TvmScript* p, TvmExpression* x, TvmExpressionNode*& cur);
  void Finalize(TvmExpression* x);
  std::unique_ptr<TvmSetExpression> BuildSet(const TvmILNode& e, TvmScript* p);
  WideString SourceText(const WideString& from, const WideString& to) const;
  std::unique_ptr<TvmDesignator> BuildDesignator(const TvmILNode& e, TvmScript* p, TvmEmitOp emitOp);
  TvmCustomVariable* SharedHelper(const WideString& name, bool isString);

  bool Compatible(TvmVarType l, const WideString& lName, TvmVarType r, const WideString& rName) const;
  void CheckAssign(TvmVarType l, const WideString& lName, TvmVarType r, const WideString& rName);

  TvmScript* FScript;
  TvmScript* FProg;  // the program being built
  bool FNeedDeclareVars;
  const TvmILNode* FTypes = nullptr;
  WideString FPos;
  WideString FUnit;
  std::vector<WideString> FUses;
  std::vector<WithEntry> FWith;
  int FWithCount = 0;
};

}  // namespace pagewright
