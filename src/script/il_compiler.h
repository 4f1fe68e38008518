// Builds an IL document (the IL builder's output) into a TvmScript.
#pragma once

#include <memory>
#include <vector>

#include "script/interpreter.h"

namespace pagewright {

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

  [[noreturn]] void Error(const WideString& message);
  void SetPos(const TvmILNode& e);

  void DeclareRoutines(const TvmILNode& e, TvmScript* p);
  void BuildProgram(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void BuildElement(const TvmILNode& c, TvmScript* p, TvmStatementList* list);
  void BuildBody(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void ResolveType(WideString name, TvmVarType& typ, WideString& typeName);
  void CheckRedeclared(TvmScript* p, const WideString& name);
  TvmVariable* MakeVariable(const WideString& name, const TvmILNode& decl, TvmScript* p, bool isParam,
                            TvmStatementList* list);
  void DeclareVars(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  void DeclareConst(const TvmILNode& e, TvmScript* p);
  void DeclareRoutine(const TvmILNode& e, TvmScript* p);
  void BuildRoutine(const TvmILNode& e, TvmScript* p);
  void BuildUses(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
  template <class T>
  std::unique_ptr<T> NewStatement(const TvmILNode& e, TvmScript* p);
  void BuildStatement(const TvmILNode& e, TvmScript* p, TvmStatementList* list);
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
