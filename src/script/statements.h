// The statement classes the compiler builds and the interpreter runs.
#pragma once

#include <memory>
#include <vector>

#include "script/interpreter.h"

namespace pagewright {

// The position of the innermost expression or call that a run-time error is leaving, noted on
// its way out (the first note wins) and taken by the statement list that records the error.
void NoteErrorPos(const WideString& pos);
// The noted position, or empty; forgets it.
WideString TakeErrorPos();

// Raises EOutOfMemory when v is a string longer than the running script allows.
void CheckStringLength(const Variant& v);
// The same for a string about to be made `length` characters long.
void CheckStringLength(size_t length);
// Makes a script's string limit the one in force on this thread while it runs.
class TvmStringLimitScope {
 public:
  explicit TvmStringLimitScope(size_t limit);
  ~TvmStringLimitScope();
  TvmStringLimitScope(const TvmStringLimitScope&) = delete;
  TvmStringLimitScope& operator=(const TvmStringLimitScope&) = delete;

 private:
  size_t FSaved;
};

class TvmAssignmentStmt : public TvmStatement {
 public:
  enum TOp : uint8_t { aoPlain, aoPlus, aoMinus, aoMul, aoDiv };
  void Execute() override;
  TOp Op = aoPlain;
  TvmCustomVariable* Target = nullptr;  // the variable itself, or the designator
  std::unique_ptr<TvmDesignator> Designator;
  std::unique_ptr<TvmExpression> Expression;
  TvmExpressionNode* Single = nullptr;  // the expression when it is one constant or variable
};

class TvmCallStmt : public TvmStatement {
 public:
  void Execute() override;
  std::unique_ptr<TvmDesignator> Designator;
  WideString Modificator;
};

class TvmIfStmt : public TvmStatement {
 public:
  void Execute() override;
  std::unique_ptr<TvmExpression> Condition;
  TvmStatementList Body;
  TvmStatementList ElseStmt;
};

class TvmCaseSelector {
 public:
  std::unique_ptr<TvmSetExpression> Set;
  TvmStatementList Body;
};

class TvmCaseStmt : public TvmStatement {
 public:
  void Execute() override;
  std::unique_ptr<TvmExpression> Condition;
  std::vector<std::unique_ptr<TvmCaseSelector>> Selectors;
  TvmStatementList ElseStmt;
};

class TvmForStmt : public TvmStatement {
 public:
  void Execute() override;
  TvmCustomVariable* Variable = nullptr;
  std::unique_ptr<TvmExpression> BeginValue;
  std::unique_ptr<TvmExpression> EndValue;
  bool Down = false;
  TvmStatementList Body;
};

class TvmVbForStmt : public TvmStatement {
 public:
  void Execute() override;
  TvmCustomVariable* Variable = nullptr;
  std::unique_ptr<TvmExpression> BeginValue;
  std::unique_ptr<TvmExpression> EndValue;
  std::unique_ptr<TvmExpression> Step;
  TvmStatementList Body;
};

class TvmCppForStmt : public TvmStatement {
 public:
  void Execute() override;
  TvmStatementList First;
  std::unique_ptr<TvmExpression> Condition;
  TvmStatementList Second;
  TvmStatementList Body;
};

class TvmWhileStmt : public TvmStatement {
 public:
  void Execute() override;
  std::unique_ptr<TvmExpression> Condition;
  TvmStatementList Body;
};

class TvmRepeatStmt : public TvmStatement {
 public:
  void Execute() override;
  TvmStatementList Body;
  std::unique_ptr<TvmExpression> Condition;
  bool InverseCondition = false;
};

class TvmTryStmt : public TvmStatement {
 public:
  void Execute() override;
  TvmStatementList Body;
  TvmStatementList Handler;
  bool IsExcept = false;
};

class TvmBreakStmt : public TvmStatement {
 public:
  void Execute() override;
};

class TvmContinueStmt : public TvmStatement {
 public:
  void Execute() override;
};

class TvmExitStmt : public TvmStatement {
 public:
  void Execute() override;
};

class TvmWithStmt : public TvmStatement {
 public:
  void Execute() override;
  TvmCustomVariable* Variable = nullptr;
  std::unique_ptr<TvmDesignator> Designator;
};

}  // namespace pagewright
