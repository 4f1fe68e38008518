#include "script/interpreter.h"

#include <sys/resource.h>

#include <algorithm>
#include <iterator>
#include <optional>

#include "platform/component.h"
#include "platform/properties.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "script/grammar.h"
#include "script/statements.h"
#include "support/resources.h"

namespace pagewright {

namespace {

TvmMessages& MutableMessages() {
  static TvmMessages m;
  return m;
}

}  // namespace

const TvmMessages& VMMessages() {
  return MutableMessages();
}

void InitScriptInterpreter() {
  InitScriptLanguages();
  ResourceStore().SetVMResourcesHook([](std::string_view key, const WideString& text) {
    TvmMessages& m = MutableMessages();
    struct Slot {
      std::string_view key;
      WideString TvmMessages::*field;
    };
    static const Slot slots[] = {
        {"SIdRedeclared", &TvmMessages::SIdRedeclared},
        {"SUnknownType", &TvmMessages::SUnknownType},
        {"SIncompatibleTypes", &TvmMessages::SIncompatibleTypes},
        {"SIdUndeclared", &TvmMessages::SIdUndeclared},
        {"SClassRequired", &TvmMessages::SClassRequired},
        {"SIndexRequired", &TvmMessages::SIndexRequired},
        {"SStringError", &TvmMessages::SStringError},
        {"SClassError", &TvmMessages::SClassError},
        {"SArrayRequired", &TvmMessages::SArrayRequired},
        {"SVarRequired", &TvmMessages::SVarRequired},
        {"SNotEnoughParams", &TvmMessages::SNotEnoughParams},
        {"STooManyParams", &TvmMessages::STooManyParams},
        {"SLeftCantAssigned", &TvmMessages::SLeftCantAssigned},
        {"SForError", &TvmMessages::SForError},
        {"SEventError", &TvmMessages::SEventError},
    };
    // A key the store lacks comes back as the key itself: keep the built-in text then.
    if (Utf16ToUtf8(text) == key) return;
    for (const Slot& s : slots)
      if (s.key == key) m.*(s.field) = text;
  });
  ResourceStore().UpdateVMResources();
}

WideString TypeFullName(TvmVarType typ, const WideString& typeName) {
  switch (typ) {
    case fvtInt:
      return u"Integer";
    case fvtBool:
      return u"Boolean";
    case fvtFloat:
      return u"Extended";
    case fvtChar:
      return u"Char";
    case fvtString:
      return u"String";
    case fvtClass:
      return typeName;
    case fvtArray:
      return u"Array";
    case fvtVariant:
      return u"Variant";
    case fvtEnum:
      return typeName;
    case fvtConstructor:
      return u"Variant";
    case fvtInt64:
      return u"Int64";
  }
  return u"Variant";
}

// ---- Items ----------------------------------------------------------------------------------

TvmCustomVariable::~TvmCustomVariable() = default;

Variant TvmCustomVariable::GetValue() {
  return Value;
}

void TvmCustomVariable::SetValue(const Variant& v) {
  if (!IsReadOnly) Value = v;
}

int TvmCustomVariable::RequiredParamCount() const {
  int n = 0;
  for (auto* p : Params)
    if (!p->IsOptional) ++n;
  return n;
}

void TvmVariable::SetValue(const Variant& v) {
  if (IsReadOnly) return;
  // An Int64 variable holds a 64-bit value whatever integer it is given, so that what works on
  // its value (Inc, Dec) works at its width.
  if (Typ == fvtInt64 && v.Kind() == vkInteger && v.VarType() != varInt64)
    Value = Variant::FromInt64(v.AsInt64());
  else
    Value = v;
}

void TvmStringVariable::SetValue(const Variant& v) {
  if (IsReadOnly) return;
  if (v.IsString())
    Value = v;
  else
    Value = Variant(VarToStr(v));
}

TPersistent* TvmCustomHelper::Instance() const {
  if (ParentValue.IsNull() || ParentValue.IsEmpty()) return nullptr;
  return ParentValue.AsObject();
}

// ---- The program ---------------------------------------------------------------------------

TvmScript::TvmScript(TvmScript* parent) : Parent(parent) {}

TvmScript::~TvmScript() {
  // Items refer to each other; free the later ones first, as they were built on the earlier.
  Statement.Clear();
  FNames.clear();
  while (!FOwned.empty()) FOwned.pop_back();
  FModules.clear();
}

namespace {

std::vector<TvmRTTIModuleClass>& ModuleClasses() {
  static std::vector<TvmRTTIModuleClass> list;
  return list;
}

}  // namespace

void RegisterRTTIModule(TvmRTTIModuleClass moduleClass) {
  ModuleClasses().push_back(std::move(moduleClass));
}

void ClearRTTIModules() {
  ModuleClasses().clear();
}

void TvmScript::AddRTTI() {
  if (!FModules.empty()) return;
  intptr_t saved = AddedBy;
  AddedBy = 1;
  struct Restore {
    TvmScript* s;
    intptr_t v;
    ~Restore() { s->AddedBy = v; }
  } restore{this, saved};
  for (const auto& make : ModuleClasses())
    if (auto m = make(this)) FModules.push_back(std::move(m));
}

void TvmScript::ClearRTTI() {
  Statement.Clear();
  RemoveItems(1);
  FModules.clear();
}

TvmScript* TvmScript::Root() {
  TvmScript* p = this;
  while (p->Parent) p = p->Parent;
  return p;
}

TvmScript* TvmScript::MainProgram() {
  for (TvmScript* p = this; p; p = p->Parent)
    if (p->MainProg) return p;
  return Root();
}

TvmCustomVariable* TvmScript::Add(const WideString& name, std::unique_ptr<TvmCustomVariable> item) {
  TvmCustomVariable* p = item.get();
  if (AddedBy) p->AddedBy = AddedBy;
  FOwned.push_back(std::move(item));
  if (!name.empty()) {
    WideString upper = WideUpperCase(name);
    const auto before = FNames.lower_bound(upper);
    FNames.emplace_hint(before, std::move(upper), p);
  }
  return p;
}

TvmCustomVariable* TvmScript::FindLocal(std::u16string_view name) const {
  if (FNames.empty()) return nullptr;
  const WideString upper = WideUpperCase(name);
  const auto it = FNames.lower_bound(upper);
  if (it != FNames.end() && it->first == upper) return it->second;
  return nullptr;
}

TvmCustomVariable* TvmScript::Find(std::u16string_view name) const {
  for (const TvmScript* p = this; p; p = p->Parent)
    if (auto* v = p->FindLocal(name)) return v;
  return nullptr;
}

TvmClassVariable* TvmScript::FindClass(std::u16string_view name) const {
  return dynamic_cast<TvmClassVariable*>(Find(name));
}

void TvmScript::RemoveAt(size_t index) {
  TvmCustomVariable* item = FOwned[index].get();
  for (auto it = FNames.begin(); it != FNames.end();) it = it->second == item ? FNames.erase(it) : std::next(it);
  FOwned.erase(FOwned.begin() + static_cast<ptrdiff_t>(index));
}

void TvmScript::RemoveItems(intptr_t owner) {
  for (size_t i = FOwned.size(); i-- > 0;)
    if (FOwned[i]->AddedBy == owner) RemoveAt(i);
}

void TvmScript::ClearItems(intptr_t owner) {
  RemoveItems(owner);
  Statement.Clear();
  FUnitLines.clear();
}

void TvmScript::Clear() {
  Statement.Clear();
  for (size_t i = FOwned.size(); i-- > 0;)
    if (FOwned[i]->AddedBy != 1) RemoveAt(i);
  FUnitLines.clear();
  ErrorMsg.clear();
  ErrorPos.clear();
  ErrorUnit.clear();
  ErrorClassName.clear();
}

void TvmScript::AddCodeLine(const WideString& unitName, const WideString& pos) {
  size_t colon = pos.find(u':');
  int line = 0;
  for (size_t i = 0; i < colon && i < pos.size(); ++i) {
    if (pos[i] < u'0' || pos[i] > u'9') return;
    line = line * 10 + (pos[i] - u'0');
    if (line > 100000000) return;
  }
  auto it = std::find_if(FUnitLines.begin(), FUnitLines.end(),
                         [&](const auto& u) { return SameText(u.first, unitName); });
  if (it == FUnitLines.end()) {
    FUnitLines.emplace_back(unitName, std::vector<int>());
    it = FUnitLines.end() - 1;
  }
  auto at = std::lower_bound(it->second.begin(), it->second.end(), line);
  if (at == it->second.end() || *at != line) it->second.insert(at, line);
}

bool TvmScript::IsExecutableLine(int lineN, const WideString& unitName) const {
  for (const auto& u : FUnitLines)
    if (SameText(u.first, unitName)) return std::binary_search(u.second.begin(), u.second.end(), lineN);
  return false;
}

Variant TvmScript::GetVariable(std::u16string_view name) const {
  if (auto* v = Find(name)) return v->GetValue();
  return Variant::Null();
}

void TvmScript::SetVariable(const WideString& name, const Variant& value) {
  if (auto* v = Find(name))
    v->SetValue(value);
  else
    AddVariable(name, u"Variant", value);
}

// ---- Running -------------------------------------------------------------------------------

namespace {

// Scripts run on the calling thread; an error on its way out is on this thread too.
struct TErrorNote {
  bool Set = false;
  WideString Pos;
};
thread_local TErrorNote gErrorNote;

}  // namespace

namespace {
thread_local size_t gMaxStringLength = 0;
}  // namespace

void CheckStringLength(size_t length) {
  if (gMaxStringLength && length > gMaxStringLength)
    throw EOutOfMemory("String longer than the script may make (" + std::to_string(gMaxStringLength) +
                       " characters)");
}

void CheckStringLength(const Variant& v) {
  if (v.IsString()) CheckStringLength(v.StringRef().size());
}

TvmStringLimitScope::TvmStringLimitScope(size_t limit) : FSaved(gMaxStringLength) {
  gMaxStringLength = limit;
}

TvmStringLimitScope::~TvmStringLimitScope() {
  gMaxStringLength = FSaved;
}

void NoteErrorPos(const WideString& pos) {
  if (gErrorNote.Set || pos.empty()) return;
  gErrorNote.Set = true;
  gErrorNote.Pos = pos;
}

WideString TakeErrorPos() {
  WideString pos;
  if (gErrorNote.Set) pos = std::move(gErrorNote.Pos);
  gErrorNote.Set = false;
  gErrorNote.Pos.clear();
  return pos;
}

namespace {

// Clears a program's run flags when it leaves, also after an error.
struct RunScope {
  TvmScript* p;
  explicit RunScope(TvmScript* prog) : p(prog) {
    // A break or continue outside any loop must not reach into the next run.
    p->FBreakCalled = false;
    p->FContinueCalled = false;
    p->FExitCalled = false;
    p->FTerminated = false;
    p->IsRunning = true;
  }
  ~RunScope() {
    p->FExitCalled = false;
    p->FTerminated = false;
    p->IsRunning = false;
  }
};

}  // namespace

void TvmScript::Execute() {
  MainProg = true;
  TvmScript* root = Root();
  root->FSteps = 0;
  root->FCallDepth = 0;
  root->FStackBase = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  root->FErrorPending = false;
  TakeErrorPos();
  ErrorClassName.clear();
  ErrorDetailPos.clear();
  TvmStringLimitScope limit(root->MaxStringLength);
  RunScope scope(this);
  try {
    Statement.Execute(this);
  } catch (const Exception& e) {
    ErrorMsg = Utf8ToUtf16(e.Message());
    ErrorClassName = Utf8ToUtf16(e.ClassName());
    throw;
  }
}

bool TvmScript::Run() {
  if (!Compile()) return false;
  Execute();
  return true;
}

void TvmScript::Terminate() {
  FExitCalled = true;
  FTerminated = true;
  for (auto& item : FOwned)
    if (auto* proc = dynamic_cast<TvmProcVariable*>(item.get())) proc->Prog->Terminate();
}

void TvmStatementList::Execute(TvmScript* prog) {
  prog->ErrorPos.clear();
  for (auto& s : FItems) {
    if (prog->FTerminated) break;
    prog->FLastSourcePos = s->Pos;
    try {
      s->Execute();
    } catch (...) {
      // The innermost statement records the position, for its program and the main program
      // (the position of an error a script caught earlier does not count).
      TvmScript* root = prog->Root();
      WideString detail = TakeErrorPos();
      if (!root->FErrorPending) {
        root->FErrorPending = true;
        prog->ErrorPos = prog->FLastSourcePos;
        prog->ErrorDetailPos = detail.empty() ? prog->ErrorPos : detail;
        TvmScript* main = prog->MainProgram();
        if (main != prog) {
          main->ErrorPos = prog->ErrorPos;
          main->ErrorDetailPos = prog->ErrorDetailPos;
        }
      }
      throw;
    }
    if (prog->FBreakCalled || prog->FContinueCalled || prog->FExitCalled) break;
  }
}

bool TvmStatement::Enter() {
  TvmScript* root = Prog->Root();
  for (TvmScript* p = Prog; p; p = p->Parent)
    if (p->OnRunLine) {
      p->OnRunLine(*Prog, UnitName, Pos);
      break;
    }
  if (root->StepLimit > 0 && ++root->FSteps > root->StepLimit)
    throw EvmStepLimitExceeded("Script stopped after " + std::to_string(root->StepLimit) + " steps");
  return !Prog->FTerminated;
}

// ---- Routines ------------------------------------------------------------------------------

namespace {

// How much of the thread's stack nested script calls may use: half of it, so that the host's
// own frames and the error's way out still fit.
size_t ScriptStackBudget() {
  static const size_t budget = [] {
    constexpr size_t kFallback = size_t{4} << 20;
    rlimit rl{};
    if (getrlimit(RLIMIT_STACK, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return kFallback;
    return std::min<size_t>(rl.rlim_cur / 2, size_t{256} << 20);
  }();
  return budget;
}

}  // namespace

TvmProcVariable::TvmProcVariable(TvmScript* parent) : Prog(std::make_unique<TvmScript>(parent)) {
  IsReadOnly = true;
}

TvmProcVariable::~TvmProcVariable() = default;

void TvmProcVariable::SaveLocals() {
  std::vector<Variant> saved;
  saved.reserve(static_cast<size_t>(Prog->Count()));
  for (int i = 0; i < Prog->Count(); ++i) {
    auto* item = Prog->GetItem(i);
    saved.push_back(dynamic_cast<TvmVariable*>(item) ? item->Value : Variant());
  }
  SavedLocals.push_back(std::move(saved));
}

void TvmProcVariable::RestoreLocals(bool keepVarParams) {
  if (SavedLocals.empty()) return;
  std::vector<Variant> saved = std::move(SavedLocals.back());
  SavedLocals.pop_back();
  for (int i = 0; i < Prog->Count() && static_cast<size_t>(i) < saved.size(); ++i) {
    auto* item = Prog->GetItem(i);
    if (!dynamic_cast<TvmVariable*>(item)) continue;
    if (keepVarParams) {
      auto* param = dynamic_cast<TvmParamItem*>(item);
      if (param && param->IsVarParam) continue;
    }
    item->Value = std::move(saved[static_cast<size_t>(i)]);
  }
}

Variant TvmProcVariable::GetValue() {
  TvmScript* main = Prog->MainProgram();
  TvmScript* root = Prog->Root();
  if (root->FCallDepth >= root->MaxCallDepth)
    throw EStackOverflow("Script routines nested too deeply (more than " +
                         std::to_string(root->MaxCallDepth) + " calls)");
  const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  std::optional<TvmStringLimitScope> limit;
  if (root->FCallDepth == 0) {  // a call from the host
    root->FErrorPending = false;
    TakeErrorPos();
    root->FStackBase = here;
    limit.emplace(root->MaxStringLength);
  } else if (root->FStackBase > here && root->FStackBase - here > ScriptStackBudget()) {
    throw EStackOverflow("Script routines nested too deeply (the stack is nearly used up after " +
                         std::to_string(root->FCallDepth) + " calls)");
  }
  ++root->FCallDepth;
  bool wasExecuting = Executing;
  Executing = true;
  TvmCustomVariable* result = IsFunc ? ResultVar : nullptr;
  if (result) result->Value = Variant();
  TvmScript* oldRunning = main->ProgRunning;
  main->ProgRunning = Prog.get();
  struct Restore {
    TvmProcVariable* self;
    TvmScript* main;
    TvmScript* oldRunning;
    TvmScript* root;
    bool wasExecuting;
    ~Restore() {
      main->ProgRunning = oldRunning;
      self->Executing = wasExecuting;
      --root->FCallDepth;
      if (main->ClearLocalVars) {
        for (int i = 0; i < self->Prog->Count(); ++i) {
          auto* v = dynamic_cast<TvmVariable*>(self->Prog->GetItem(i));
          if (!v || v->Value.IsEmpty() || SameText(v->Name, u"Result")) continue;
          switch (v->Typ) {
            case fvtInt:
            case fvtFloat:
            case fvtChar:
              v->Value = Variant(0);
              break;
            case fvtString:
              v->Value = Variant(WideString());
              break;
            case fvtVariant:
              v->Value = Variant::Null();
              break;
            default:
              break;
          }
        }
      }
    }
  } restore{this, main, oldRunning, root, wasExecuting};
  {
    RunScope scope(Prog.get());
    Prog->ProgName = Name;
    struct NameReset {
      TvmScript* p;
      ~NameReset() { p->ProgName.clear(); }
    } nameReset{Prog.get()};
    Prog->Statement.Execute(Prog.get());
  }
  return result ? result->Value : Variant::Null();
}

// ---- Accessors -----------------------------------------------------------------------------

namespace {

std::vector<int32_t> IndexValues(const std::vector<TvmParamItem*>& params) {
  std::vector<int32_t> idx;
  idx.reserve(params.size());
  for (auto* p : params) idx.push_back(p->Value.AsInteger());
  return idx;
}

}  // namespace

Variant TvmArrayHelper::GetValue() {
  TvmCustomVariable* arr = Array ? Array : ParentRef;
  if (!arr) return Variant::Null();
  auto idx = IndexValues(Params);
  if (const Variant* ref = arr->ValueRef()) return ref->GetElement(idx);
  return arr->GetValue().GetElement(idx);
}

void TvmArrayHelper::SetValue(const Variant& v) {
  TvmCustomVariable* arr = Array ? Array : ParentRef;
  if (!arr) return;
  auto idx = IndexValues(Params);
  if (arr->ValueRef()) {
    arr->Value.PutElement(idx, v);
  } else {
    Variant a = arr->GetValue();
    a.PutElement(idx, v);
    arr->SetValue(a);
  }
}

Variant TvmStringHelper::GetValue() {
  WideString s = ParentValue.IsString() ? ParentValue.StringRef() : VarToStr(ParentValue);
  int i = Params.empty() ? 0 : Params[0]->Value.AsInteger();
  if (i < 1 || static_cast<size_t>(i) > s.size())
    throw ERangeError("String index " + std::to_string(i) + " out of range");
  return Variant(WideString(1, s[static_cast<size_t>(i - 1)]));
}

void TvmStringHelper::SetValue(const Variant& v) {
  if (!ParentRef) return;
  WideString s = VarToStr(ParentRef->GetValue());
  int i = Params.empty() ? 0 : Params[0]->Value.AsInteger();
  if (i < 1 || static_cast<size_t>(i) > s.size())
    throw ERangeError("String index " + std::to_string(i) + " out of range");
  WideString c = VarToStr(v);
  s[static_cast<size_t>(i - 1)] = c.empty() ? u'\0' : c[0];
  ParentRef->SetValue(Variant(s));
}

// ---- Sets ----------------------------------------------------------------------------------

bool TvmSetExpression::Contains(const Variant& v) {
  for (auto& e : Elements) {
    if (!e.High) {
      if (VarCompare(e.Low->GetValue(), v, voCmpEq)) return true;
    } else if (VarCompare(e.Low->GetValue(), v, voCmpLe) && VarCompare(v, e.High->GetValue(), voCmpLe)) {
      return true;
    }
  }
  return false;
}

Variant TvmSetExpression::GetValue() {
  if (Mask) {
    uint64_t bits = 0;
    for (auto& e : Elements) {
      uint64_t low = static_cast<uint64_t>(e.Low->GetValue().AsInt64());
      if (!e.High) {
        bits |= low;
        continue;
      }
      // A range takes every member from the low one's bit to the high one's.
      uint64_t high = static_cast<uint64_t>(e.High->GetValue().AsInt64());
      for (uint64_t b = low; b != 0 && b <= high; b <<= 1) bits |= b;
    }
    if (bits <= static_cast<uint64_t>(INT32_MAX)) return Variant(static_cast<int32_t>(bits));
    return Variant::FromInt64(static_cast<int64_t>(bits));
  }
  std::vector<Variant> values;
  for (auto& e : Elements) {
    values.push_back(e.Low->GetValue());
    if (e.High) {
      values.push_back(Variant::Null());
      values.push_back(e.High->GetValue());
    }
  }
  return VarArrayOf(std::span<const Variant>(values));
}

// ---- Expressions ---------------------------------------------------------------------------

namespace {

bool InArray(const Variant& v, const Variant& arr) {
  if (!arr.IsArray()) return VarCompare(v, arr, voCmpEq);
  int lo = VarArrayLowBound(arr, 1), hi = VarArrayHighBound(arr, 1);
  for (int i = lo; i <= hi; ++i) {
    Variant e = arr.GetElement({i});
    if (i + 2 <= hi && arr.GetElement({i + 1}).IsNull()) {
      if (VarCompare(e, v, voCmpLe) && VarCompare(v, arr.GetElement({i + 2}), voCmpLe)) return true;
      i += 2;
    } else if (VarCompare(e, v, voCmpEq)) {
      return true;
    }
  }
  return false;
}

Variant Operand(TvmExpressionNode* n) {
  if (!n) return Variant::Null();  // an operator missing an operand (hand-made IL)
  switch (n->Kind) {
    case TvmExpressionNode::nkConst:
      return n->Value;
    case TvmExpressionNode::nkVariable: {
      if (const Variant* ref = n->Operand->ValueRef()) return *ref;
      return n->Operand->GetValue();
    }
    case TvmExpressionNode::nkDesignator:
    case TvmExpressionNode::nkSet:
      return n->Operand->GetValue();
    default:
      return TvmExpression::Eval(n);
  }
}

bool IsClassOf(const Variant& obj, TvmExpressionNode* right) {
  TPersistent* o = obj.IsNull() || obj.IsEmpty() ? nullptr : obj.AsObject();
  if (!o || !right || right->Kind != TvmExpressionNode::nkDesignator) return false;
  auto* cls =
      dynamic_cast<TvmClassVariable*>(static_cast<TvmDesignator*>(right->Operand)->Items.empty()
                                          ? nullptr
                                          : static_cast<TvmDesignator*>(right->Operand)->Items.back().Ref);
  if (!cls) return false;
  if (cls->ClassRef) return o->InheritsFrom(*cls->ClassRef);
  return false;
}

// Combines an operator's left value with its right operand.
Variant Apply(TvmExpressionNode* n, Variant&& l) {
  switch (n->Op) {
    case opAnd:
      if (n->FOptimizeBool) return l.AsBoolean() ? Operand(n->Right) : std::move(l);
      return VarAnd(l, Operand(n->Right));
    case opOr:
      if (n->FOptimizeBool) return l.AsBoolean() ? std::move(l) : Operand(n->Right);
      return VarOr(l, Operand(n->Right));
    case opNot:
      return VarNot(l);
    case opUnMinus:
      return VarNeg(l);
    case opIs:
      return Variant(IsClassOf(l, n->Right));
    case opIn: {
      if (n->Right && n->Right->Kind == TvmExpressionNode::nkSet)
        return Variant(static_cast<TvmSetExpression*>(n->Right->Operand)->Contains(l));
      if (n->BitTest) {
        Variant r = Operand(n->Right);
        if (r.Kind() == vkInteger) {
          uint64_t bit = static_cast<uint64_t>(l.AsInt64());
          return Variant(bit != 0 && (static_cast<uint64_t>(r.AsInt64()) & bit) == bit);
        }
        return Variant(InArray(l, r));
      }
      return Variant(InArray(l, Operand(n->Right)));
    }
    default:
      break;
  }
  Variant r = n->Right ? Operand(n->Right) : Variant::Null();
  switch (n->Op) {
    case opGreat:
      return Variant(VarCompare(l, r, voCmpGt));
    case opLess:
      return Variant(VarCompare(l, r, voCmpLt));
    case opLessEq:
      return Variant(VarCompare(l, r, voCmpLe));
    case opGreatEq:
      return Variant(VarCompare(l, r, voCmpGe));
    case opNonEq:
      return Variant(VarCompare(l, r, voCmpNe));
    case opEq:
      return Variant(VarCompare(l, r, voCmpEq));
    case opPlus: {
      // Two strings too long together are refused before the joined one takes the memory.
      if (l.IsString() && r.IsString()) CheckStringLength(l.StringRef().size() + r.StringRef().size());
      // String concatenation (&) joins the texts of any two values.
      Variant sum = !n->StrCat     ? VarAdd(l, r)
                    : l.IsString() ? Variant(l.StringRef() + VarToStr(r))
                                   : Variant(VarToStr(l) + VarToStr(r));
      CheckStringLength(sum);
      return sum;
    }
    case opMinus:
      return VarSub(l, r);
    case opMul:
      return VarMul(l, r);
    case opDivFloat:
      return VarDiv(l, r);
    case opDivInt:
      return VarIntDiv(l, r);
    case opMod:
      return VarMod(l, r);
    case opXor:
      return VarXor(l, r);
    case opShl:
      return VarShl(l, r);
    case opShr:
      return VarShr(l, r);
    default:
      return l;
  }
}

bool IsUnary(TvmOperatorType op) {
  return op == opNot || op == opUnMinus;
}

}  // namespace

Variant TvmExpression::Eval(TvmExpressionNode* n) {
  if (!n) return Variant::Null();
  if (n->Kind != TvmExpressionNode::nkOperator) return Operand(n);
  if (n->Op == opNone || n->Op == opLeftBracket) return Eval(n->Left);
  // Left-associated chains (a + b + c ...) are walked in a loop: a long flat expression must
  // not nest as deep as it is long.
  // The spine lives on the stack unless it is unusually long: no allocation per evaluation.
  constexpr size_t kInline = 16;
  TvmExpressionNode* inlineSpine[kInline];
  std::vector<TvmExpressionNode*> longSpine;
  size_t depth = 0;
  TvmExpressionNode* cur = n;
  while (cur->Kind == TvmExpressionNode::nkOperator && !IsUnary(cur->Op) && cur->Op != opNone &&
         cur->Op != opLeftBracket && cur->Left) {
    if (depth < kInline) {
      inlineSpine[depth] = cur;
    } else {
      if (longSpine.empty()) longSpine.assign(inlineSpine, inlineSpine + kInline);
      longSpine.push_back(cur);
    }
    ++depth;
    cur = cur->Left;
  }
  TvmExpressionNode** spine = depth <= kInline ? inlineSpine : longSpine.data();
  Variant acc;
  if (cur->Kind == TvmExpressionNode::nkOperator && IsUnary(cur->Op)) {
    // A prefix operator holds its operand on whichever side it was attached.
    try {
      acc = Apply(cur, Operand(cur->Left ? cur->Left : cur->Right));
    } catch (...) {
      NoteErrorPos(cur->StartPos.empty() ? cur->Pos : cur->StartPos);
      throw;
    }
  } else if (cur->Kind == TvmExpressionNode::nkOperator && !cur->Left) {
    acc = Eval(cur->Right);  // an operator whose left side is missing
  } else {
    acc = Operand(cur);
  }
  size_t i = depth;
  try {
    while (i > 0) {
      --i;
      acc = Apply(spine[i], std::move(acc));
    }
  } catch (...) {
    NoteErrorPos(spine[i]->StartPos.empty() ? spine[i]->Pos : spine[i]->StartPos);
    throw;
  }
  return acc;
}

Variant TvmExpression::GetValue() {
  return Eval(Root);
}

// ---- Designators ---------------------------------------------------------------------------

Variant TvmDesignator::GetValue() {
  if (Kind == 1) return Items[0].Ref->GetValue();
  return Walk(false, nullptr);
}

void TvmDesignator::SetValue(const Variant& v) {
  if (Kind == 1) {
    Items[0].Ref->SetValue(v);
    return;
  }
  Walk(true, &v);
}

Variant TvmDesignator::Walk(bool assign, const Variant* newValue) {
  Variant cur = Variant::Null();
  TvmCustomVariable* prev = nullptr;
  const size_t count = Items.size();
  size_t i = 0;
  try {
    for (; i < count; ++i) {
      if (!Items[i].Ref) {
        i = ApplyLate(i, cur, prev, assign, newValue);
        continue;
      }
      WalkItem(i, cur, prev, assign, newValue);
    }
  } catch (...) {
    NoteErrorPos(Items[i < count ? i : count - 1].Pos);
    throw;
  }
  return cur;
}

void TvmDesignator::WalkItem(size_t i, Variant& cur, TvmCustomVariable*& prev, bool assign,
                             const Variant* newValue) {
  const size_t count = Items.size();
  {
    TvmDesignatorItem& item = Items[i];
    TvmCustomVariable* ref = item.Ref;
    bool last = i + 1 == count;
    if (auto* nested = dynamic_cast<TvmDesignator*>(ref)) {
      cur = nested->GetValue();
      prev = ref;
      return;
    }
    auto* proc = dynamic_cast<TvmProcVariable*>(ref);
    bool recursing = proc && proc->Executing;
    // Argument values are taken before the callee's locals are saved: an argument may read them.
    std::vector<Variant> args;
    args.reserve(item.Args.size());
    for (size_t a = 0; a < item.Args.size() && a < ref->Params.size(); ++a) {
      TvmExpression* e = item.Args[a].get();
      if (ref->IsMacro)
        args.push_back(Variant(e->Source));
      else if (auto* single = e->Single())
        args.push_back(single->Kind == TvmExpressionNode::nkConst ? single->Value
                                                                  : single->Operand->GetValue());
      else
        args.push_back(e->GetValue());
    }
    if (recursing) proc->SaveLocals();
    struct LocalsGuard {
      TvmProcVariable* proc;
      bool active;
      ~LocalsGuard() {
        if (active) proc->RestoreLocals(false);
      }
    } guard{proc, recursing};
    for (size_t a = 0; a < args.size(); ++a) {
      TvmParamItem* param = ref->Params[a];
      if (param->Typ == fvtInt64)
        param->SetValue(args[a]);
      else
        param->Value = std::move(args[a]);
    }
    if (auto* helper = dynamic_cast<TvmCustomHelper*>(ref)) {
      helper->ParentRef = prev;
      helper->ParentValue = cur;
      helper->Prog = Prog;
    }
    if (assign && last) {
      ref->SetValue(*newValue);
    } else {
      ref->FNeedResult = !last || FNeedResult;
      cur = ref->GetValue();
    }
    // By-reference parameters give their final values back to the arguments, after the
    // caller's locals are back.
    if (!ref->IsMacro) {
      std::vector<std::pair<size_t, Variant>> outs;
      for (size_t a = 0; a < item.Args.size() && a < ref->Params.size(); ++a)
        if (ref->Params[a]->IsVarParam) outs.emplace_back(a, ref->Params[a]->Value);
      if (!outs.empty() && guard.active) {
        guard.active = false;
        proc->RestoreLocals(false);
      }
      for (auto& [a, out] : outs) {
        TvmExpression* e = item.Args[a].get();
        if (e->Root && (e->Root->Kind == TvmExpressionNode::nkVariable ||
                        e->Root->Kind == TvmExpressionNode::nkDesignator))
          e->Root->Operand->SetValue(out);
      }
    }
    prev = ref;
  }
}

}  // namespace pagewright
