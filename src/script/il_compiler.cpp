// Builds an IL document into a program: declarations and statements, with their compile checks
// (expressions and designators are in il_expressions.cpp).
#include "script/il_compiler.h"

#include <algorithm>

#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "script/statements.h"

namespace pagewright {

bool BuiltinTypeCode(std::u16string_view name, TvmVarType& typ) {
  struct Entry {
    std::u16string_view name;
    TvmVarType typ;
  };
  static const Entry table[] = {
      {u"BYTE", fvtInt},
      {u"WORD", fvtInt},
      {u"INTEGER", fvtInt},
      {u"LONGINT", fvtInt},
      {u"CARDINAL", fvtInt},
      {u"TCOLOR", fvtInt},
      {u"TALPHACOLOR", fvtInt},
      {u"INT64", fvtInt64},
      {u"BOOLEAN", fvtBool},
      {u"REAL", fvtFloat},
      {u"SINGLE", fvtFloat},
      {u"DOUBLE", fvtFloat},
      {u"EXTENDED", fvtFloat},
      {u"CURRENCY", fvtFloat},
      {u"TDATE", fvtFloat},
      {u"TTIME", fvtFloat},
      {u"TDATETIME", fvtFloat},
      {u"CHAR", fvtChar},
      {u"STRING", fvtString},
      {u"VARIANT", fvtVariant},
      {u"POINTER", fvtVariant},
      {u"ARRAY", fvtArray},
      {u"CONSTRUCTOR", fvtConstructor},
  };
  WideString upper = WideUpperCase(name);
  for (const Entry& e : table)
    if (e.name == upper) {
      typ = e.typ;
      return true;
    }
  return false;
}

// ---- Type rules ------------------------------------------------------------------------------

bool TvmILCompiler::Compatible(TvmVarType l, const WideString& lName, TvmVarType r,
                               const WideString& rName) const {
  switch (l) {
    case fvtInt:
    case fvtInt64:
      return r == fvtInt || r == fvtFloat || r == fvtVariant || r == fvtEnum || r == fvtInt64;
    case fvtBool:
      return r == fvtBool || r == fvtVariant;
    case fvtFloat:
      // An integer of either size converts to a floating-point value, as in the language.
      return r == fvtInt || r == fvtInt64 || r == fvtFloat || r == fvtVariant;
    case fvtChar:
    case fvtString:
      return r == fvtChar || r == fvtString || r == fvtVariant;
    case fvtClass: {
      if (r == fvtVariant) return true;
      if (r != fvtClass) return false;
      TvmClassVariable* rc = FProg->FindClass(rName);
      return rc ? rc->InheritsFrom(lName) : SameText(lName, rName);
    }
    case fvtArray:
      return r == fvtArray || r == fvtVariant;
    case fvtVariant:
      return true;
    case fvtEnum:
      return r == fvtInt || r == fvtVariant || r == fvtInt64 || (r == fvtEnum && SameText(lName, rName));
    case fvtConstructor:
      return false;
  }
  return false;
}

void TvmILCompiler::CheckAssign(TvmVarType l, const WideString& lName, TvmVarType r,
                                const WideString& rName) {
  bool ok = Compatible(l, lName, r, rName) && !(l == fvtInt && r == fvtFloat);
  if (!ok)
    throw TvmCompileError{VMMessages().SIncompatibleTypes + u": '" + TypeFullName(l, lName) + u"', '" +
                              TypeFullName(r, rName) + u"'",
                          FPos};
}

// ---- Entry ---------------------------------------------------------------------------------

TvmILCompiler::TvmILCompiler(TvmScript* script, bool needDeclareVars)
    : FScript(script), FProg(script), FNeedDeclareVars(needDeclareVars) {}

TvmILCompiler::~TvmILCompiler() = default;

bool TvmILCompiler::Build(const TvmILNode& root) {
  FWith.clear();
  FScript->ErrorUnit.clear();
  FUnit.clear();
  FUses.clear();
  FTypes = root.Find("types");
  try {
    BuildProgram(root, FScript, &FScript->Statement);
  } catch (const TvmCompileError& e) {
    FScript->ErrorMsg = e.Message;
    FScript->ErrorPos = e.Pos.empty() ? FPos : e.Pos;
    FScript->ErrorUnit = FUnit;
    return false;
  } catch (const Exception& e) {
    // A value computed while building (a bound, a constant) failed.
    FScript->ErrorMsg = Utf8ToUtf16(e.Message());
    FScript->ErrorPos = FPos;
    FScript->ErrorUnit = FUnit;
    return false;
  }
  FScript->ErrorPos.clear();
  return true;
}

void TvmILCompiler::Error(const WideString& message) {
  throw TvmCompileError{message, FPos};
}

void TvmILCompiler::SetPos(const TvmILNode& e) {
  if (e.HasAttr("pos")) FPos = e.Attr("pos");
}

// ---- Programs and declarations ---------------------------------------------------------------

void TvmILCompiler::DeclareRoutines(const TvmILNode& e, TvmScript* p) {
  for (const auto& c : e.Children()) {
    if (Is(*c, "compoundstmt"))
      DeclareRoutines(*c, p);
    else if (Is(*c, "procedure") || Is(*c, "function"))
      DeclareRoutine(*c, p);
  }
}

void TvmILCompiler::BuildProgram(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  TvmScript* saved = FProg;
  FProg = p;
  DeclareRoutines(e, p);
  for (const auto& c : e.Children()) BuildElement(*c, p, list);
  FProg = saved;
}

void TvmILCompiler::BuildElement(const TvmILNode& c, TvmScript* p, TvmStatementList* list) {
  if (Is(c, "var"))
    DeclareVars(c, p, list);
  else if (Is(c, "const"))
    DeclareConst(c, p);
  else if (Is(c, "procedure") || Is(c, "function"))
    BuildRoutine(c, p);
  else if (Is(c, "uses"))
    BuildUses(c, p, list);
  else if (Is(c, "compoundstmt"))
    for (const auto& s : c.Children()) BuildElement(*s, p, list);
  else
    BuildStatement(c, p, list);
}

void TvmILCompiler::ResolveType(WideString name, TvmVarType& typ, WideString& typeName) {
  if (FTypes) {
    for (const auto& alias : FTypes->Children())
      if (AsciiSameText(alias->Name(), Utf16ToUtf8(name))) {
        name = alias->Attr("type");
        break;
      }
  }
  typeName = name;
  TvmCustomVariable* item = FProg->Find(name);
  if (item && !dynamic_cast<TvmClassVariable*>(item) && !dynamic_cast<TvmTypeVariable*>(item) &&
      item->Typ != fvtEnum)
    item = nullptr;  // a variable or routine of that name is no type
  if (item) {
    typ = item->Typ;
  } else if (!BuiltinTypeCode(name, typ)) {
    typ = fvtClass;
  }
  if (typ == fvtClass && !FProg->FindClass(name)) Error(VMMessages().SUnknownType + Quoted(name));
}

void TvmILCompiler::CheckRedeclared(TvmScript* p, const WideString& name) {
  if (p->FindLocal(name)) Error(VMMessages().SIdRedeclared + Quoted(name));
}

void TvmILCompiler::DeclarationParts(const TvmILNode& decl, const TvmILNode* ident, const TvmILNode*& array,
                                     const TvmILNode*& init) {
  // With the type first ("int a[2] = x, b = 1") each name has the array and initial value
  // that follow it; with the names first ("a, b: Integer = 0") they belong to every name.
  const auto& kids = decl.Children();
  array = init = nullptr;
  for (const auto& k : kids) {
    if (Is(*k, "ident")) break;
    if (Is(*k, "type")) {
      auto at = std::find_if(kids.begin(), kids.end(), [&](const auto& c) { return c.get() == ident; });
      for (++at; at != kids.end() && !Is(**at, "ident"); ++at) {
        if (Is(**at, "array")) array = at->get();
        if (Is(**at, "init")) init = at->get();
      }
      return;
    }
  }
  array = decl.Find("array");
  init = decl.Find("init");
}

TvmVariable* TvmILCompiler::MakeVariable(const TvmILNode& ident, const TvmILNode& decl, TvmScript* p,
                                         bool isParam, TvmStatementList* list) {
  const WideString name = Text(ident);
  const TvmILNode* arrayNode = nullptr;
  const TvmILNode* initNode = nullptr;
  DeclarationParts(decl, &ident, arrayNode, initNode);
  WideString typeName = u"Variant";
  if (TvmILNode* t = decl.Find("type")) typeName = Text(*t);
  TvmVarType typ;
  WideString fullTypeName;
  ResolveType(typeName, typ, fullTypeName);
  Variant init;
  switch (typ) {
    case fvtBool:
      init = Variant(false);
      break;
    case fvtChar:
    case fvtString:
      init = Variant(WideString());
      break;
    case fvtArray:
    case fvtVariant:
    case fvtEnum:
    case fvtConstructor:
      init = Variant::Null();
      break;
    case fvtInt64:
      init = Variant::FromInt64(0);
      break;
    default:
      init = Variant(0);
      break;
  }
  TvmArrayHelper* helper = nullptr;
  if (const TvmILNode* arr = arrayNode) {
    std::vector<int32_t> bounds;
    for (const auto& dim : arr->Children()) {
      if (!Is(*dim, "dim")) continue;
      std::vector<int32_t> values;
      WideString firstPos;
      for (const auto& x : dim->Children()) {
        if (!Is(*x, "expr")) continue;
        // The IL builder repeats a single bound as a second expression at the same place.
        if (values.size() == 1 && x->HasAttr("pos") && x->Attr("pos") == firstPos) continue;
        if (values.empty()) firstPos = x->Attr("pos");
        values.push_back(BuildExpression(*x, p)->GetValue().AsInteger());
      }
      if (values.size() >= 2) {
        bounds.push_back(values[0]);
        bounds.push_back(values[1]);
      } else if (values.size() == 1) {
        bounds.push_back(0);
        bounds.push_back(values[0] - 1);
      }
    }
    if (bounds.empty()) bounds = {0, 0};
    init = VarArrayCreate(std::span<const int32_t>(bounds), varVariant);
    auto h = std::make_unique<TvmArrayHelper>();
    for (size_t i = 0; i < bounds.size() / 2; ++i) {
      auto param = std::make_unique<TvmParamItem>();
      param->Typ = fvtInt;
      h->Params.push_back(param.get());
      h->OwnedParams.push_back(std::move(param));
    }
    helper = p->AddItem(WideString(), std::move(h));
    typ = fvtArray;
    fullTypeName = u"Array";
  }
  std::unique_ptr<TvmVariable> v;
  if (isParam)
    v = std::make_unique<TvmParamItem>();
  else if (typ == fvtString || typ == fvtChar)
    v = std::make_unique<TvmStringVariable>();
  else
    v = std::make_unique<TvmVariable>();
  v->Name = name;
  v->Typ = typ;
  v->TypeName = fullTypeName;
  v->Value = init;
  v->SourcePos = FPos;
  v->SourceUnit = FUnit;
  if (helper) {
    v->RefItem = helper;
    helper->Array = v.get();
  }
  if (const TvmILNode* in = initNode) {
    TvmILNode* x = in->Find("expr");
    if (x) {
      if (isParam) {
        auto* param = static_cast<TvmParamItem*>(v.get());
        param->Value = BuildExpression(*x, p)->GetValue();
        param->DefValue = param->Value;
        param->IsOptional = true;
      } else {
        // The initialisation runs when execution reaches the declaration.
        auto stmt = std::make_unique<TvmAssignmentStmt>();
        stmt->Prog = p;
        stmt->Pos = FPos;
        stmt->UnitName = FUnit;
        stmt->Expression = BuildExpression(*x, p);
        CheckAssign(v->Typ, v->TypeName, stmt->Expression->Typ, stmt->Expression->TypeName);
        stmt->Target = v.get();
        stmt->Single = stmt->Expression->Single();
        if (list) {
          FScript->AddCodeLine(FUnit, stmt->Pos);
          list->Add(std::move(stmt));
        }
      }
    }
  }
  return v.release();
}

void TvmILCompiler::DeclareVars(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  SetPos(e);
  for (const auto& c : e.Children()) {
    if (!Is(*c, "ident")) continue;
    WideString name = Text(*c);
    CheckRedeclared(p, name);
    std::unique_ptr<TvmVariable> v(MakeVariable(*c, e, p, false, list));
    p->Add(name, std::move(v));
  }
}

void TvmILCompiler::DeclareConst(const TvmILNode& e, TvmScript* p) {
  SetPos(e);
  if (e.Count() < 2) return;
  WideString name = Text(*e.Items(0));
  CheckRedeclared(p, name);
  auto x = BuildExpression(*e.Items(1), p);
  auto v = std::make_unique<TvmVariable>();
  v->Name = name;
  v->Typ = x->Typ;
  v->TypeName = x->TypeName;
  v->Value = x->GetValue();
  v->IsReadOnly = true;
  v->SourcePos = FPos;
  v->SourceUnit = FUnit;
  p->Add(name, std::move(v));
}

void TvmILCompiler::DeclareRoutine(const TvmILNode& e, TvmScript* p) {
  SetPos(e);
  WideString name;
  WideString typeName;
  bool isFunc = Is(e, "function");
  if (isFunc) {
    if (TvmILNode* n = e.Find("name")) name = Text(*n);
    if (TvmILNode* t = e.Find("type")) typeName = Text(*t);
    if (SameText(typeName, u"void")) isFunc = false;
  } else if (e.Count() > 0) {
    name = Text(*e.Items(0));
  }
  CheckRedeclared(p, name);
  auto proc = std::make_unique<TvmProcVariable>(p);
  proc->Name = name;
  proc->IsFunc = isFunc;
  proc->SourcePos = FPos;
  proc->SourceUnit = FUnit;
  TvmScript* local = proc->Prog.get();
  local->AddedBy = 0;
  TvmScript* saved = FProg;
  FProg = p;
  if (isFunc) {
    TvmVarType typ;
    WideString fullName;
    ResolveType(typeName.empty() ? WideString(u"Variant") : typeName, typ, fullName);
    proc->Typ = typ;
    proc->TypeName = fullName;
    std::unique_ptr<TvmVariable> result;
    if (typ == fvtString || typ == fvtChar)
      result = std::make_unique<TvmStringVariable>();
    else
      result = std::make_unique<TvmVariable>();
    result->Name = u"Result";
    result->Typ = typ;
    result->TypeName = fullName;
    proc->ResultVar = local->Add(u"Result", std::move(result));
  } else {
    proc->Typ = fvtVariant;
  }
  if (TvmILNode* params = e.Find("parameters")) {
    bool nextGroupByRef = false;
    FProg = local;
    for (const auto& g : params->Children()) {
      if (Is(*g, "varparams")) {
        nextGroupByRef = true;
        continue;
      }
      if (!Is(*g, "var")) continue;
      bool groupByRef = nextGroupByRef;
      nextGroupByRef = false;
      bool nextByRef = false;
      for (const auto& c : g->Children()) {
        if (Is(*c, "varparam")) {
          nextByRef = true;
          continue;
        }
        if (!Is(*c, "ident")) continue;
        WideString pname = Text(*c);
        CheckRedeclared(local, pname);
        std::unique_ptr<TvmParamItem> param(
            static_cast<TvmParamItem*>(MakeVariable(*c, *g, local, true, nullptr)));
        param->IsVarParam = groupByRef || nextByRef;
        nextByRef = false;
        proc->Params.push_back(param.get());
        local->Add(pname, std::move(param));
      }
    }
  }
  FProg = saved;
  p->Add(name, std::move(proc));
}

void TvmILCompiler::BuildRoutine(const TvmILNode& e, TvmScript* p) {
  SetPos(e);
  WideString name;
  if (Is(e, "function")) {
    if (TvmILNode* n = e.Find("name")) name = Text(*n);
  } else if (e.Count() > 0) {
    name = Text(*e.Items(0));
  }
  auto* proc = dynamic_cast<TvmProcVariable*>(p->FindLocal(name));
  if (!proc) return;
  BuildProgram(e, proc->Prog.get(), &proc->Prog->Statement);
}

void TvmILCompiler::BuildUses(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  WideString savedUnit = FUnit;
  FUnit = e.Attr("unit");
  bool known = false;
  for (const auto& u : FUses) known = known || SameText(u, FUnit);
  if (!known) {
    FUses.push_back(FUnit);
    WideString il;
    if (FScript->OnGetILUnit) FScript->OnGetILUnit(*FScript, FUnit, il);
    if (!il.empty()) {
      auto doc = ReadILDocument(Utf16ToUtf8(il));
      for (const auto& c : doc->Children()) BuildElement(*c, p, list);
    } else {
      for (const auto& c : e.Children()) {
        if (Is(*c, "program")) {
          DeclareRoutines(*c, p);
          for (const auto& s : c->Children()) BuildElement(*s, p, list);
        } else {
          BuildElement(*c, p, list);
        }
      }
    }
  }
  FUnit = savedUnit;
}

// ---- Statements ----------------------------------------------------------------------------

template <class T>
std::unique_ptr<T> TvmILCompiler::NewStatement(const TvmILNode& e, TvmScript* p) {
  SetPos(e);
  auto s = std::make_unique<T>();
  s->Prog = p;
  s->Pos = e.Attr("pos");
  s->UnitName = FUnit;
  // Lines are recorded on the program compiled, routine bodies included.
  FScript->AddCodeLine(FUnit, s->Pos);
  return s;
}

void TvmILCompiler::BuildBody(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  if (Is(e, "compoundstmt") || Is(e, "thenstmt") || Is(e, "elsestmt") || Is(e, "exceptstmt") ||
      Is(e, "finallystmt")) {
    for (const auto& c : e.Children()) BuildElement(*c, p, list);
  } else {
    BuildElement(e, p, list);
  }
}

TvmVariable* TvmILCompiler::LoopVariable(const TvmILNode& ident, TvmScript* p) {
  WideString name = Text(ident);
  TvmCustomVariable* v = p->Find(name);
  if (!v) v = UndeclaredName(name);
  auto* var = dynamic_cast<TvmVariable*>(v);
  if (!var || !(var->Typ == fvtInt || var->Typ == fvtFloat || var->Typ == fvtVariant || var->Typ == fvtInt64))
    Error(VMMessages().SForError);
  return var;
}

bool TvmILCompiler::LateBindingOn() const {
  for (const TvmScript* s = FScript; s; s = s->Parent)
    if (s->UseClassLateBinding) return !s->IsRunning;
  return false;
}

TvmCustomVariable* TvmILCompiler::UndeclaredName(const WideString& name) {
  if (FNeedDeclareVars) Error(VMMessages().SIdUndeclared + Quoted(name));
  auto v = std::make_unique<TvmVariable>();
  v->Name = name;
  v->Typ = fvtVariant;
  v->TypeName = u"Variant";
  return FScript->Add(name, std::move(v));
}

namespace {

using TvmStatementBuilder = void (TvmILCompiler::*)(const TvmILNode&, TvmScript*, TvmStatementList*);

}  // namespace

// Every IL statement element and the function that builds it. Anything else (empty, leaves)
// adds nothing.
void TvmILCompiler::BuildStatement(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  struct Entry {
    std::string_view name;
    TvmStatementBuilder build;
  };
  static const Entry kBuilders[] = {
      {"assignstmt", &TvmILCompiler::BuildAssignment},
      {"callstmt", &TvmILCompiler::BuildCall},
      {"ifstmt", &TvmILCompiler::BuildIf},
      {"casestmt", &TvmILCompiler::BuildCase},
      {"forstmt", &TvmILCompiler::BuildFor},
      {"vbforstmt", &TvmILCompiler::BuildVbFor},
      {"cppforstmt", &TvmILCompiler::BuildCppFor},
      {"whilestmt", &TvmILCompiler::BuildWhile},
      {"repeatstmt", &TvmILCompiler::BuildRepeat},
      {"trystmt", &TvmILCompiler::BuildTry},
      {"break", &TvmILCompiler::BuildBreak},
      {"continue", &TvmILCompiler::BuildContinue},
      {"exit", &TvmILCompiler::BuildExit},
      {"return", &TvmILCompiler::BuildReturn},
      {"with", &TvmILCompiler::BuildWith},
      {"delete", &TvmILCompiler::BuildDelete},
  };
  for (const Entry& b : kBuilders)
    if (Is(e, b.name)) {
      (this->*b.build)(e, p, list);
      return;
    }
}

const TvmILNode* TvmILCompiler::Child(const TvmILNode& e, size_t i) {
  return i < e.Children().size() ? e.Children()[i].get() : nullptr;
}

void TvmILCompiler::BuildAssignment(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmAssignmentStmt>(e, p);
  if (!Child(e, 0)) return;
  s->Designator = BuildDesignator(*Child(e, 0), p, emNone);
  SetPos(e);
  if (s->Designator->IsReadOnly) Error(VMMessages().SLeftCantAssigned);
  size_t i = 1;
  WideString mod;
  if (Child(e, i) && Is(*Child(e, i), "modificator")) mod = Text(*Child(e, i++));
  if (!Child(e, i)) return;
  s->Expression = BuildExpression(*Child(e, i), p);
  SetPos(e);
  CheckAssign(s->Designator->Typ, s->Designator->TypeName, s->Expression->Typ, s->Expression->TypeName);
  if (!mod.empty()) {
    switch (mod[0]) {
      case u'+':
        s->Op = TvmAssignmentStmt::aoPlus;
        break;
      case u'-':
        s->Op = TvmAssignmentStmt::aoMinus;
        break;
      case u'*':
        s->Op = TvmAssignmentStmt::aoMul;
        break;
      case u'/':
        s->Op = TvmAssignmentStmt::aoDiv;
        break;
      default:
        break;
    }
  }
  s->Target = s->Designator.get();
  if (s->Designator->Kind == 1) {
    // A plain variable: "x := x + e" becomes "x += e", read and written in place.
    TvmCustomVariable* var = s->Designator->Items[0].Ref;
    s->Target = var;
    TvmExpressionNode* root = s->Expression->Root;
    auto isTarget = [&](TvmExpressionNode* n) {
      return n && n->Kind == TvmExpressionNode::nkVariable && n->Operand == var;
    };
    if (mod.empty() && root && root->Kind == TvmExpressionNode::nkOperator && root->Right) {
      TvmOperatorType op = root->Op;
      if ((op == opPlus || op == opMinus || op == opMul || op == opDivFloat) && isTarget(root->Left)) {
        s->Op = op == opPlus    ? TvmAssignmentStmt::aoPlus
                : op == opMinus ? TvmAssignmentStmt::aoMinus
                : op == opMul   ? TvmAssignmentStmt::aoMul
                                : TvmAssignmentStmt::aoDiv;
        s->Expression->Root = root->Right;
      } else if ((op == opPlus || op == opMul) && isTarget(root->Right) && var->Typ != fvtString &&
                 var->Typ != fvtVariant) {
        s->Op = op == opPlus ? TvmAssignmentStmt::aoPlus : TvmAssignmentStmt::aoMul;
        s->Expression->Root = root->Left;
      }
    }
  }
  s->Single = s->Expression->Single();
  list->Add(std::move(s));
}

void TvmILCompiler::BuildCall(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmCallStmt>(e, p);
  if (!Child(e, 0)) return;
  s->Designator = BuildDesignator(*Child(e, 0), p, emNone);
  SetPos(e);
  if (const TvmILNode* mod = Child(e, 1)) {
    s->Modificator = Text(*mod).substr(0, 1);
    if (s->Designator->IsReadOnly) Error(VMMessages().SLeftCantAssigned);
  }
  list->Add(std::move(s));
}

void TvmILCompiler::BuildIf(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmIfStmt>(e, p);
  if (!Child(e, 0)) return;
  s->Condition = BuildExpression(*Child(e, 0), p);
  for (size_t i = 1; i < e.Children().size(); ++i) {
    const TvmILNode& c = *Child(e, i);
    if (Is(c, "thenstmt"))
      BuildBody(c, p, &s->Body);
    else if (Is(c, "elsestmt"))
      BuildBody(c, p, &s->ElseStmt);
  }
  list->Add(std::move(s));
}

void TvmILCompiler::BuildCase(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmCaseStmt>(e, p);
  if (!Child(e, 0)) return;
  s->Condition = BuildExpression(*Child(e, 0), p);
  const size_t count = e.Children().size();
  for (size_t i = 1; i < count; ++i) {
    const TvmILNode& c = *Child(e, i);
    if (Is(c, "caseselector")) {
      if (c.Count() != 2) continue;
      auto sel = std::make_unique<TvmCaseSelector>();
      sel->Set = BuildSet(*c.Items(0), p);
      BuildBody(*c.Items(1), p, &sel->Body);
      s->Selectors.push_back(std::move(sel));
    } else if (i + 1 == count) {
      BuildBody(c, p, &s->ElseStmt);
    }
  }
  list->Add(std::move(s));
}

void TvmILCompiler::BuildFor(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmForStmt>(e, p);
  if (e.Count() < 3) return;
  s->Variable = LoopVariable(*Child(e, 0), p);
  s->BeginValue = BuildExpression(*Child(e, 1), p);
  size_t i = 2;
  if (Is(*Child(e, 2), "downto")) {
    s->Down = true;
    i = 3;
  }
  if (!Child(e, i)) return;
  s->EndValue = BuildExpression(*Child(e, i), p);
  SetPos(e);
  CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->BeginValue->Typ, s->BeginValue->TypeName);
  CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->EndValue->Typ, s->EndValue->TypeName);
  if (Child(e, i + 1)) BuildBody(*Child(e, i + 1), p, &s->Body);
  list->Add(std::move(s));
}

void TvmILCompiler::BuildVbFor(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmVbForStmt>(e, p);
  if (e.Count() < 3) return;
  s->Variable = LoopVariable(*Child(e, 0), p);
  s->BeginValue = BuildExpression(*Child(e, 1), p);
  s->EndValue = BuildExpression(*Child(e, 2), p);
  size_t i = 3;
  if (Child(e, 3) && Is(*Child(e, 3), "expr")) {
    s->Step = BuildExpression(*Child(e, 3), p);
    i = 4;
  }
  SetPos(e);
  CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->BeginValue->Typ, s->BeginValue->TypeName);
  CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->EndValue->Typ, s->EndValue->TypeName);
  if (s->Step) CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->Step->Typ, s->Step->TypeName);
  if (Child(e, i)) BuildBody(*Child(e, i), p, &s->Body);
  list->Add(std::move(s));
}

void TvmILCompiler::BuildCppFor(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  // First items, the condition when there is one, the items after each pass, the body.
  auto s = NewStatement<TvmCppForStmt>(e, p);
  size_t i = 0;
  if (Child(e, i) && !Is(*Child(e, i), "expr")) BuildBody(*Child(e, i++), p, &s->First);
  if (Child(e, i) && Is(*Child(e, i), "expr")) s->Condition = BuildExpression(*Child(e, i++), p);
  if (Child(e, i)) BuildBody(*Child(e, i++), p, &s->Second);
  if (Child(e, i)) BuildBody(*Child(e, i), p, &s->Body);
  if (!s->Condition) {
    // An empty condition never ends the loop by itself.
    s->Condition = std::make_unique<TvmExpression>();
    auto n = std::make_unique<TvmExpressionNode>();
    n->Kind = TvmExpressionNode::nkConst;
    n->Value = Variant(true);
    s->Condition->Root = n.get();
    s->Condition->Nodes.push_back(std::move(n));
  }
  list->Add(std::move(s));
}

void TvmILCompiler::BuildWhile(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmWhileStmt>(e, p);
  if (!Child(e, 0)) return;
  s->Condition = BuildExpression(*Child(e, 0), p);
  if (Child(e, 1)) BuildBody(*Child(e, 1), p, &s->Body);
  list->Add(std::move(s));
}

void TvmILCompiler::BuildRepeat(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmRepeatStmt>(e, p);
  const auto& kids = e.Children();
  if (kids.empty()) return;
  size_t condIndex = kids.size() - 1;
  if (Is(*kids.back(), "inverse")) {
    s->InverseCondition = true;
    if (condIndex == 0) return;
    --condIndex;
  }
  for (size_t i = 0; i < condIndex; ++i) BuildBody(*kids[i], p, &s->Body);
  s->Condition = BuildExpression(*kids[condIndex], p);
  list->Add(std::move(s));
}

void TvmILCompiler::BuildTry(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmTryStmt>(e, p);
  for (const auto& c : e.Children()) {
    if (Is(*c, "exceptstmt")) {
      s->IsExcept = true;
      BuildBody(*c, p, &s->Handler);
    } else if (Is(*c, "finallystmt")) {
      BuildBody(*c, p, &s->Handler);
    } else {
      BuildBody(*c, p, &s->Body);
    }
  }
  list->Add(std::move(s));
}

void TvmILCompiler::BuildBreak(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  list->Add(NewStatement<TvmBreakStmt>(e, p));
}

void TvmILCompiler::BuildContinue(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  list->Add(NewStatement<TvmContinueStmt>(e, p));
}

void TvmILCompiler::BuildExit(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  list->Add(NewStatement<TvmExitStmt>(e, p));
}

// "return e" assigns the function's Result and leaves it.
void TvmILCompiler::BuildReturn(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  if (const TvmILNode* value = Child(e, 0)) {
    auto s = NewStatement<TvmAssignmentStmt>(e, p);
    TvmCustomVariable* result = p->Find(u"Result");
    if (!result) Error(VMMessages().SIdUndeclared + Quoted(u"Result"));
    s->Designator = std::make_unique<TvmDesignator>();
    s->Designator->Prog = p;
    s->Designator->Items.push_back(TvmDesignatorItem{result, {}, false, FPos, {}});
    s->Designator->Kind = 1;
    s->Designator->Typ = result->Typ;
    s->Designator->TypeName = result->TypeName;
    s->Expression = BuildExpression(*value, p);
    SetPos(e);
    CheckAssign(result->Typ, result->TypeName, s->Expression->Typ, s->Expression->TypeName);
    s->Target = result;
    s->Single = s->Expression->Single();
    list->Add(std::move(s));
  }
  list->Add(NewStatement<TvmExitStmt>(e, p));
}

// Each object of a with statement is kept in a hidden variable that names inside the body are
// looked up on.
void TvmILCompiler::BuildWith(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  const auto& kids = e.Children();
  if (kids.empty()) return;
  size_t pushed = 0;
  for (size_t i = 0; i + 1 < kids.size(); ++i) {
    auto s = NewStatement<TvmWithStmt>(e, p);
    s->Designator = BuildDesignator(*kids[i], p, emNone);
    SetPos(*kids[i]);
    if (s->Designator->Typ != fvtClass && s->Designator->Typ != fvtVariant)
      Error(VMMessages().SClassRequired);
    auto hidden = std::make_unique<TvmVariable>();
    hidden->Name = u"_WithList_" + Utf8ToUtf16(std::to_string(++FWithCount));
    hidden->Typ = s->Designator->Typ;
    hidden->TypeName = s->Designator->TypeName;
    WideString hiddenName = hidden->Name;
    s->Variable = p->AddItem(hiddenName, std::move(hidden));
    FWith.push_back(WithEntry{static_cast<TvmVariable*>(s->Variable), p});
    ++pushed;
    list->Add(std::move(s));
  }
  BuildBody(*kids.back(), p, list);
  FWith.resize(FWith.size() - pushed);
}

void TvmILCompiler::BuildDelete(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  auto s = NewStatement<TvmCallStmt>(e, p);
  if (!Child(e, 0)) return;
  s->Designator = BuildDesignator(*Child(e, 0), p, emFree);
  list->Add(std::move(s));
}

// ---- TvmScript operations that compile -------------------------------------------------------

bool TvmScript::SetILCode(const TvmILNode& root) {
  ErrorMsg.clear();
  bool needDeclare = true;
  try {
    TvmILParser parser(this);
    parser.SelectLanguage(SyntaxType);
    needDeclare = parser.NeedDeclareVars();
  } catch (const Exception& e) {
    ErrorMsg = Utf8ToUtf16(e.Message());
    return false;
  }
  TvmILCompiler compiler(this, needDeclare);
  compiler.Build(root);
  if (!ErrorMsg.empty()) return false;
  ErrorPos.clear();
  return true;
}

namespace {

// The first steps of Compile and GetILCode: the last error cleared, the script's language
// selected and the IL document built from its lines; false with ErrorMsg set when either fails.
bool MakeIL(TvmScript& script, TvmILParser& parser) {
  script.ErrorMsg.clear();
  script.ErrorClassName.clear();
  try {
    parser.SelectLanguage(script.SyntaxType);
  } catch (const Exception& e) {
    script.ErrorMsg = Utf8ToUtf16(e.Message());
    return false;
  }
  if (parser.MakeILScript(script.Lines)) return true;
  if (script.ErrorMsg.empty()) script.ErrorMsg = u"Syntax error";
  return false;
}

}  // namespace

bool TvmScript::Compile() {
  TvmILParser parser(this);
  if (!MakeIL(*this, parser)) return false;
  TvmILCompiler compiler(this, parser.NeedDeclareVars());
  compiler.Build(*parser.ILScript());
  if (!ErrorMsg.empty()) return false;
  ErrorPos.clear();
  return true;
}

bool TvmScript::GetILCode(TStream& stream) {
  TvmILParser parser(this);
  if (!MakeIL(*this, parser)) return false;
  const std::string document = WriteILDocument(*parser.ILScript());
  stream.Write(document.data(), static_cast<int64_t>(document.size()));
  ErrorPos.clear();
  return true;
}

bool TvmScript::SetILCode(TStream& stream) {
  ErrorMsg.clear();
  std::string bytes(static_cast<size_t>(std::max<int64_t>(0, stream.Size() - stream.Position())), '\0');
  bytes.resize(static_cast<size_t>(stream.Read(bytes.data(), static_cast<int64_t>(bytes.size()))));
  std::unique_ptr<TvmILNode> root;
  try {
    root = ReadILDocument(bytes);
  } catch (const Exception& e) {
    ErrorMsg = Utf8ToUtf16(e.Message());
    return false;
  }
  return SetILCode(*root);
}

Variant TvmScript::Evaluate(const WideString& expression) {
  EvaluteRiseError = false;
  Variant result = Variant::Null();
  TvmScript* parent = ProgRunning ? ProgRunning : this;
  TvmScript tmp(parent);
  if (!parent->Root()->HasRTTI()) tmp.AddRTTI();
  tmp.SyntaxType = SyntaxType;
  tmp.ExtendedCharset = ExtendedCharset;
  tmp.OnGetUnit = OnGetUnit;
  tmp.IncludePath = IncludePath;
  if (SameText(SyntaxType, u"C++Script"))
    tmp.Lines = u"Variant vmEvaluateFUNC() { return " + expression + u"; } {}";
  else if (SameText(SyntaxType, u"BasicScript"))
    tmp.Lines = u"function vmEvaluateFUNC\r\nreturn " + expression + u"\r\nend function";
  else if (SameText(SyntaxType, u"JScript"))
    tmp.Lines = u"function vmEvaluateFUNC() { return (" + expression + u"); }";
  else
    tmp.Lines = u"function vmEvaluateFUNC: Variant; begin Result := " + expression + u" end; begin end.";
  TvmRunLineEvent savedRunLine = std::move(OnRunLine);
  OnRunLine = nullptr;
  struct Restore {
    TvmScript* self;
    TvmRunLineEvent& saved;
    ~Restore() { self->OnRunLine = std::move(saved); }
  } restore{this, savedRunLine};
  if (tmp.Compile()) {
    if (TvmCustomVariable* f = tmp.FindLocal(u"vmEvaluateFUNC")) result = f->GetValue();
  } else {
    result = Variant(tmp.ErrorMsg);
    EvaluteRiseError = true;
  }
  return result;
}

}  // namespace pagewright
