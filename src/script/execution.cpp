// How each statement runs.
#include "script/statements.h"

#include "platform/unicode.h"

namespace pagewright {

namespace {

bool IsTrue(TvmExpression* e) {
  return e->GetValue().AsBoolean();
}

// Ends a loop pass: true when the loop must stop; continue is consumed. A pass counts as a
// step, so that a loop with an empty body stays within the host's budget too.
bool LoopPassEnds(TvmScript* p) {
  TvmScript* root = p->Root();
  if (root->StepLimit > 0 && ++root->FSteps > root->StepLimit)
    throw EvmStepLimitExceeded("Script stopped after " + std::to_string(root->StepLimit) + " steps");
  if (p->FBreakCalled || p->FExitCalled) return true;
  p->FContinueCalled = false;
  return false;
}

struct BreakReset {
  TvmScript* p;
  ~BreakReset() { p->FBreakCalled = false; }
};

Variant ValueOf(TvmExpression* e, TvmExpressionNode* single) {
  if (!single) return e->GetValue();
  if (single->Kind == TvmExpressionNode::nkConst) return single->Value;
  if (const Variant* ref = single->Operand->ValueRef()) return *ref;
  return single->Operand->GetValue();
}

}  // namespace

void TvmAssignmentStmt::Execute() {
  if (!Enter()) return;
  Variant v = ValueOf(Expression.get(), Single);
  switch (Op) {
    case aoPlain:
      Target->SetValue(v);
      return;
    case aoPlus: {
      const Variant* cur = Target->ValueRef();
      if (cur && cur->IsString() && v.IsString()) CheckStringLength(cur->StringRef().size() + v.StringRef().size());
      Variant sum = VarAdd(cur ? *cur : Target->GetValue(), v);
      CheckStringLength(sum);
      Target->SetValue(sum);
      return;
    }
    case aoMinus:
      Target->SetValue(VarSub(Target->GetValue(), v));
      return;
    case aoMul:
      Target->SetValue(VarMul(Target->GetValue(), v));
      return;
    case aoDiv:
      Target->SetValue(VarDiv(Target->GetValue(), v));
      return;
  }
}

void TvmCallStmt::Execute() {
  if (!Enter()) return;
  Designator->FNeedResult = false;
  if (Modificator.empty()) {
    Designator->GetValue();
  } else {
    Variant v = Designator->GetValue();
    Designator->SetValue(Modificator == u"+" ? VarAdd(v, Variant(1)) : VarSub(v, Variant(1)));
  }
}

void TvmIfStmt::Execute() {
  if (!Enter()) return;
  if (IsTrue(Condition.get()))
    Body.Execute(Prog);
  else
    ElseStmt.Execute(Prog);
}

void TvmCaseStmt::Execute() {
  Variant v = Condition->GetValue();
  if (!Enter()) return;
  for (auto& s : Selectors)
    if (s->Set->Contains(v)) {
      s->Body.Execute(Prog);
      return;
    }
  ElseStmt.Execute(Prog);
}

void TvmForStmt::Execute() {
  if (!Enter()) return;
  BreakReset reset{Prog};
  int32_t from = BeginValue->GetValue().AsInteger();
  int32_t to = EndValue->GetValue().AsInteger();
  if (!Down) {
    for (int64_t i = from; i <= to; ++i) {
      Variable->SetValue(Variant(static_cast<int32_t>(i)));
      Body.Execute(Prog);
      if (LoopPassEnds(Prog) || Prog->FTerminated) break;
    }
  } else {
    for (int64_t i = from; i >= to; --i) {
      Variable->SetValue(Variant(static_cast<int32_t>(i)));
      Body.Execute(Prog);
      if (LoopPassEnds(Prog) || Prog->FTerminated) break;
    }
  }
}

void TvmVbForStmt::Execute() {
  if (!Enter()) return;
  BreakReset reset{Prog};
  Variant counter = BeginValue->GetValue();
  Variant end = EndValue->GetValue();
  Variant step = Step ? Step->GetValue() : Variant(1);
  bool down = VarCompare(step, Variant(0), voCmpLt);
  while (down ? VarCompare(counter, end, voCmpGe) : VarCompare(counter, end, voCmpLe)) {
    Variable->SetValue(counter);
    Body.Execute(Prog);
    if (LoopPassEnds(Prog) || Prog->FTerminated) break;
    counter = VarAdd(counter, step);
  }
}

void TvmCppForStmt::Execute() {
  if (!Enter()) return;
  BreakReset reset{Prog};
  First.Execute(Prog);
  while (IsTrue(Condition.get())) {
    Body.Execute(Prog);
    if (LoopPassEnds(Prog) || Prog->FTerminated) break;
    Second.Execute(Prog);
  }
}

void TvmWhileStmt::Execute() {
  if (!Enter()) return;
  BreakReset reset{Prog};
  while (IsTrue(Condition.get())) {
    Body.Execute(Prog);
    if (LoopPassEnds(Prog) || Prog->FTerminated) break;
  }
}

void TvmRepeatStmt::Execute() {
  if (!Enter()) return;
  BreakReset reset{Prog};
  for (;;) {
    Body.Execute(Prog);
    if (LoopPassEnds(Prog) || Prog->FTerminated) break;
    bool c = IsTrue(Condition.get());
    if (InverseCondition ? !c : c) break;
  }
}

void TvmTryStmt::Execute() {
  if (!Enter()) return;
  if (IsExcept) {
    try {
      Body.Execute(Prog);
    } catch (const EvmStepLimitExceeded&) {
      throw;  // the host's budget is not the script's to catch
    } catch (const Exception& e) {
      Prog->Root()->FErrorPending = false;
      TakeErrorPos();
      Prog->SetVariable(u"ExceptionClassName", Variant(Utf8ToUtf16(e.ClassName())));
      Prog->SetVariable(u"ExceptionMessage", Variant(Utf8ToUtf16(e.Message())));
      Prog->ErrorPos = Prog->FLastSourcePos;
      Handler.Execute(Prog);
    }
    return;
  }
  auto runFinally = [&] {
    bool exitCalled = Prog->FExitCalled;
    Prog->FExitCalled = false;
    Handler.Execute(Prog);
    Prog->FExitCalled = exitCalled || Prog->FExitCalled;
  };
  try {
    Body.Execute(Prog);
  } catch (...) {
    runFinally();
    throw;
  }
  runFinally();
}

void TvmBreakStmt::Execute() {
  if (Enter()) Prog->FBreakCalled = true;
}

void TvmContinueStmt::Execute() {
  if (Enter()) Prog->FContinueCalled = true;
}

void TvmExitStmt::Execute() {
  if (Enter()) Prog->FExitCalled = true;
}

void TvmWithStmt::Execute() {
  if (!Enter()) return;
  Variable->Value = Designator->GetValue();
}

}  // namespace pagewright
