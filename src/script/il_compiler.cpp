// Builds an IL document into a program: declarations, statements, typed expression trees and
// designators, with every compile check.
#include "script/il_compiler.h"

#include <charconv>

#include "platform/component.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "script/statements.h"

namespace pagewright {

namespace {

// A compile error; the compiler records it with the position it was raised at.
struct CompileError {
  WideString Message;
  WideString Pos;
};

WideString Quoted(const WideString& name) {
  return u"'" + name + u"'";
}

bool Is(const TvmILNode& n, std::string_view name) {
  return AsciiSameText(n.Name(), name);
}

WideString Text(const TvmILNode& n) {
  return n.Attr("text");
}

int Priority(TvmOperatorType op) {
  switch (op) {
    case opNone:
      return 7;
    case opLeftBracket:
      return 6;
    case opRightBracket:
      return 5;
    case opGreat:
    case opLess:
    case opLessEq:
    case opGreatEq:
    case opNonEq:
    case opEq:
    case opIn:
    case opIs:
      return 4;
    case opPlus:
    case opMinus:
    case opOr:
    case opXor:
      return 3;
    case opNot:
    case opUnMinus:
      return 1;
    default:
      return 2;
  }
}

bool OperatorCode(std::u16string_view text, TvmOperatorType& op, bool& strCat) {
  struct Entry {
    std::u16string_view text;
    TvmOperatorType op;
  };
  static const Entry table[] = {
      {u">", opGreat},         {u"<", opLess},         {u"<=", opLessEq},
      {u">=", opGreatEq},      {u"<>", opNonEq},       {u"=", opEq},
      {u"+", opPlus},          {u"strcat", opPlus},    {u"-", opMinus},
      {u"or", opOr},           {u"xor", opXor},        {u"*", opMul},
      {u"/", opDivFloat},      {u"div", opDivInt},     {u"mod", opMod},
      {u"and", opAnd},         {u"shl", opShl},        {u"shr", opShr},
      {u"(", opLeftBracket},   {u")", opRightBracket}, {u"not", opNot},
      {u"unminus", opUnMinus}, {u"in", opIn},          {u"is", opIs},
  };
  WideString lower = LowerCase(text);
  for (const Entry& e : table)
    if (e.text == lower) {
      op = e.op;
      strCat = lower == u"strcat";
      return true;
    }
  return false;
}

// An operator's position is recorded just after it; its first character is its length back
// on the same line.
WideString OperatorStart(const WideString& pos, size_t length) {
  size_t colon = pos.find(u':');
  if (colon == WideString::npos) return pos;
  int col = 0;
  for (size_t i = colon + 1; i < pos.size(); ++i) {
    if (pos[i] < u'0' || pos[i] > u'9' || col > 10000000) return pos;
    col = col * 10 + (pos[i] - u'0');
  }
  if (col <= static_cast<int>(length)) return pos;
  return pos.substr(0, colon + 1) + Utf8ToUtf16(std::to_string(col - static_cast<int>(length)));
}

bool IsComparison(TvmOperatorType op) {
  return op >= opGreat && op <= opEq;
}

// The value of a number or string token.
Variant LiteralValue(const WideString& token) {
  if (!token.empty() && token[0] == u'\'') {
    if (token.size() < 2) return Variant(WideString());
    return Variant(token.substr(1, token.size() - 2));
  }
  std::string s = Utf16ToUtf8(token);
  int64_t v = 0;
  bool ok = false;
  if (!s.empty() && s[0] == '$') {
    uint64_t u = 0;
    auto r = std::from_chars(s.data() + 1, s.data() + s.size(), u, 16);
    ok = s.size() > 1 && r.ec == std::errc() && r.ptr == s.data() + s.size();
    v = static_cast<int64_t>(u);
  } else {
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    ok = !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
  }
  if (ok) {
    if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
    return Variant::FromInt64(v);
  }
  double d = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), d);
  if (r.ec != std::errc()) throw CompileError{VMMessages().SIncompatibleTypes, {}};
  return Variant(d);
}

TvmVarType TypeOfValue(const Variant& v) {
  switch (v.Kind()) {
    case vkBoolean:
      return fvtBool;
    case vkFloat:
    case vkCurrency:
    case vkExtended:
      return fvtFloat;
    case vkString:
      return fvtString;
    case vkInteger:
      return v.VarType() == varInt64 ? fvtInt64 : fvtInt;
    default:
      return fvtInt;
  }
}

}  // namespace

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
      return r == fvtInt || r == fvtFloat || r == fvtVariant;
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
    throw CompileError{VMMessages().SIncompatibleTypes + u": '" + TypeFullName(l, lName) + u"', '" +
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
  } catch (const CompileError& e) {
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
  throw CompileError{message, FPos};
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

TvmVariable* TvmILCompiler::MakeVariable(const WideString& name, const TvmILNode& decl, TvmScript* p,
                                         bool isParam, TvmStatementList* list) {
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
    default:
      init = Variant(0);
      break;
  }
  TvmArrayHelper* helper = nullptr;
  if (TvmILNode* arr = decl.Find("array")) {
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
  if (TvmILNode* in = decl.Find("init")) {
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
          p->AddCodeLine(FUnit, stmt->Pos);
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
    std::unique_ptr<TvmVariable> v(MakeVariable(name, e, p, false, list));
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
            static_cast<TvmParamItem*>(MakeVariable(pname, *g, local, true, nullptr)));
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
  p->AddCodeLine(FUnit, s->Pos);
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

void TvmILCompiler::BuildStatement(const TvmILNode& e, TvmScript* p, TvmStatementList* list) {
  const auto& kids = e.Children();
  auto child = [&](size_t i) -> const TvmILNode* { return i < kids.size() ? kids[i].get() : nullptr; };

  if (Is(e, "assignstmt")) {
    auto s = NewStatement<TvmAssignmentStmt>(e, p);
    if (!child(0)) return;
    s->Designator = BuildDesignator(*child(0), p, emNone);
    SetPos(e);
    if (s->Designator->IsReadOnly) Error(VMMessages().SLeftCantAssigned);
    size_t i = 1;
    WideString mod;
    if (child(i) && Is(*child(i), "modificator")) mod = Text(*child(i++));
    if (!child(i)) return;
    s->Expression = BuildExpression(*child(i), p);
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
  } else if (Is(e, "callstmt")) {
    auto s = NewStatement<TvmCallStmt>(e, p);
    if (!child(0)) return;
    s->Designator = BuildDesignator(*child(0), p, emNone);
    SetPos(e);
    if (child(1)) {
      s->Modificator = Text(*child(1)).substr(0, 1);
      if (s->Designator->IsReadOnly) Error(VMMessages().SLeftCantAssigned);
    }
    list->Add(std::move(s));
  } else if (Is(e, "ifstmt")) {
    auto s = NewStatement<TvmIfStmt>(e, p);
    if (!child(0)) return;
    s->Condition = BuildExpression(*child(0), p);
    for (size_t i = 1; i < kids.size(); ++i) {
      if (Is(*kids[i], "thenstmt"))
        BuildBody(*kids[i], p, &s->Body);
      else if (Is(*kids[i], "elsestmt"))
        BuildBody(*kids[i], p, &s->ElseStmt);
    }
    list->Add(std::move(s));
  } else if (Is(e, "casestmt")) {
    auto s = NewStatement<TvmCaseStmt>(e, p);
    if (!child(0)) return;
    s->Condition = BuildExpression(*child(0), p);
    for (size_t i = 1; i < kids.size(); ++i) {
      const TvmILNode& c = *kids[i];
      if (Is(c, "caseselector")) {
        if (c.Count() != 2) continue;
        auto sel = std::make_unique<TvmCaseSelector>();
        sel->Set = BuildSet(*c.Items(0), p);
        BuildBody(*c.Items(1), p, &sel->Body);
        s->Selectors.push_back(std::move(sel));
      } else if (i + 1 == kids.size()) {
        BuildBody(c, p, &s->ElseStmt);
      }
    }
    list->Add(std::move(s));
  } else if (Is(e, "forstmt")) {
    auto s = NewStatement<TvmForStmt>(e, p);
    if (kids.size() < 3) return;
    s->Variable = LoopVariable(*child(0), p);
    s->BeginValue = BuildExpression(*child(1), p);
    size_t i = 2;
    if (Is(*child(2), "downto")) {
      s->Down = true;
      i = 3;
    }
    if (!child(i)) return;
    s->EndValue = BuildExpression(*child(i), p);
    SetPos(e);
    CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->BeginValue->Typ, s->BeginValue->TypeName);
    CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->EndValue->Typ, s->EndValue->TypeName);
    if (child(i + 1)) BuildBody(*child(i + 1), p, &s->Body);
    list->Add(std::move(s));
  } else if (Is(e, "vbforstmt")) {
    auto s = NewStatement<TvmVbForStmt>(e, p);
    if (kids.size() < 3) return;
    s->Variable = LoopVariable(*child(0), p);
    s->BeginValue = BuildExpression(*child(1), p);
    s->EndValue = BuildExpression(*child(2), p);
    size_t i = 3;
    if (child(3) && Is(*child(3), "expr")) {
      s->Step = BuildExpression(*child(3), p);
      i = 4;
    }
    SetPos(e);
    CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->BeginValue->Typ, s->BeginValue->TypeName);
    CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->EndValue->Typ, s->EndValue->TypeName);
    if (s->Step) CheckAssign(s->Variable->Typ, s->Variable->TypeName, s->Step->Typ, s->Step->TypeName);
    if (child(i)) BuildBody(*child(i), p, &s->Body);
    list->Add(std::move(s));
  } else if (Is(e, "cppforstmt")) {
    auto s = NewStatement<TvmCppForStmt>(e, p);
    if (child(0)) BuildBody(*child(0), p, &s->First);
    if (child(1)) s->Condition = BuildExpression(*child(1), p);
    if (child(2)) BuildBody(*child(2), p, &s->Second);
    if (child(3)) BuildBody(*child(3), p, &s->Body);
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
  } else if (Is(e, "whilestmt")) {
    auto s = NewStatement<TvmWhileStmt>(e, p);
    if (!child(0)) return;
    s->Condition = BuildExpression(*child(0), p);
    if (child(1)) BuildBody(*child(1), p, &s->Body);
    list->Add(std::move(s));
  } else if (Is(e, "repeatstmt")) {
    auto s = NewStatement<TvmRepeatStmt>(e, p);
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
  } else if (Is(e, "trystmt")) {
    auto s = NewStatement<TvmTryStmt>(e, p);
    for (const auto& c : kids) {
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
  } else if (Is(e, "break")) {
    list->Add(NewStatement<TvmBreakStmt>(e, p));
  } else if (Is(e, "continue")) {
    list->Add(NewStatement<TvmContinueStmt>(e, p));
  } else if (Is(e, "exit")) {
    list->Add(NewStatement<TvmExitStmt>(e, p));
  } else if (Is(e, "return")) {
    if (child(0)) {
      auto s = NewStatement<TvmAssignmentStmt>(e, p);
      TvmCustomVariable* result = p->Find(u"Result");
      if (!result) Error(VMMessages().SIdUndeclared + Quoted(u"Result"));
      s->Designator = std::make_unique<TvmDesignator>();
      s->Designator->Prog = p;
      s->Designator->Items.push_back(TvmDesignatorItem{result, {}, false, FPos, {}});
      s->Designator->Kind = 1;
      s->Designator->Typ = result->Typ;
      s->Designator->TypeName = result->TypeName;
      s->Expression = BuildExpression(*child(0), p);
      SetPos(e);
      CheckAssign(result->Typ, result->TypeName, s->Expression->Typ, s->Expression->TypeName);
      s->Target = result;
      s->Single = s->Expression->Single();
      list->Add(std::move(s));
    }
    list->Add(NewStatement<TvmExitStmt>(e, p));
  } else if (Is(e, "with")) {
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
  } else if (Is(e, "delete")) {
    auto s = NewStatement<TvmCallStmt>(e, p);
    if (!child(0)) return;
    s->Designator = BuildDesignator(*child(0), p, emFree);
    list->Add(std::move(s));
  }
  // Anything else (empty, leaves) adds nothing.
}

// ---- Expressions ---------------------------------------------------------------------------

std::unique_ptr<TvmSetExpression> TvmILCompiler::BuildSet(const TvmILNode& e, TvmScript* p) {
  auto set = std::make_unique<TvmSetExpression>();
  set->Typ = fvtVariant;
  bool range = false;
  for (const auto& c : e.Children()) {
    if (Is(*c, "range")) {
      range = true;
    } else if (Is(*c, "expr")) {
      auto x = BuildExpression(*c, p);
      if (range && !set->Elements.empty())
        set->Elements.back().High = std::move(x);
      else
        set->Elements.push_back(TvmSetExpression::Element{std::move(x), nullptr});
      range = false;
    }
  }
  return set;
}

WideString TvmILCompiler::SourceText(const WideString& from, const WideString& to) const {
  auto offset = [&](const WideString& pos) -> long {
    size_t colon = pos.find(u':');
    if (colon == WideString::npos) return -1;
    long line = 0, col = 0;
    for (size_t i = 0; i < colon; ++i) line = line * 10 + (pos[i] - u'0');
    for (size_t i = colon + 1; i < pos.size(); ++i) col = col * 10 + (pos[i] - u'0');
    const WideString& text = FScript->Lines;
    size_t at = 0;
    for (long l = 1; l < line; ++l) {
      size_t nl = text.find(u'\n', at);
      if (nl == WideString::npos) return -1;
      at = nl + 1;
    }
    size_t r = at + static_cast<size_t>(col - 1);
    return r <= text.size() ? static_cast<long>(r) : -1;
  };
  long a = offset(from), b = offset(to);
  if (a < 0 || b < a) return {};
  return FScript->Lines.substr(static_cast<size_t>(a), static_cast<size_t>(b - a));
}

void TvmILCompiler::AddExprChildren(const TvmILNode& e, TvmScript* p, TvmExpression* x,
                                    TvmExpressionNode*& cur) {
  auto attach = [&](std::unique_ptr<TvmExpressionNode> n) {
    TvmExpressionNode* raw = n.get();
    x->Nodes.push_back(std::move(n));
    raw->Parent = cur;
    if (!cur->Left)
      cur->Left = raw;
    else
      cur->Right = raw;
    cur = raw;
  };
  for (const auto& cp : e.Children()) {
    const TvmILNode& c = *cp;
    if (Is(c, "op")) {
      TvmOperatorType op = opNone;
      bool strCat = false;
      SetPos(c);
      if (!OperatorCode(Text(c), op, strCat)) Error(VMMessages().SIncompatibleTypes);
      auto n = std::make_unique<TvmExpressionNode>();
      n->Op = op;
      n->StrCat = strCat;
      n->Priority = Priority(op);
      n->Pos = c.Attr("pos");
      n->StartPos = OperatorStart(n->Pos, strCat || op == opUnMinus ? 1 : Text(c).size());
      if (op == opLeftBracket || op == opNot || op == opUnMinus) {
        attach(std::move(n));
      } else if (op == opRightBracket) {
        while (cur->Priority <= 5 && cur->Parent) cur = cur->Parent;
        if (cur->Op == opLeftBracket && cur->Parent) {
          TvmExpressionNode* parent = cur->Parent;
          TvmExpressionNode* inner = cur->Left;
          (parent->Left == cur ? parent->Left : parent->Right) = inner;
          if (inner) inner->Parent = parent;
          cur = inner ? inner : parent;
        }
      } else {
        TvmExpressionNode* cand = cur;
        TvmExpressionNode* up = cand->Parent;
        while (up && up->Priority <= n->Priority) {
          cand = up;
          up = up->Parent;
        }
        if (!up) up = cand;  // never above the root
        TvmExpressionNode* raw = n.get();
        x->Nodes.push_back(std::move(n));
        if (up == cand) {
          // Only the root can be its own stop: the operator becomes its operand.
          raw->Parent = up;
          raw->Left = up->Left;
          if (raw->Left) raw->Left->Parent = raw;
          up->Left = raw;
        } else {
          (up->Left == cand ? up->Left : up->Right) = raw;
          raw->Parent = up;
          raw->Left = cand;
          cand->Parent = raw;
        }
        cur = raw;
      }
    } else if (Is(c, "number") || Is(c, "string")) {
      auto n = std::make_unique<TvmExpressionNode>();
      n->Kind = TvmExpressionNode::nkConst;
      SetPos(c);
      n->Pos = c.Attr("pos");
      n->Value = LiteralValue(Text(c));
      n->Typ = TypeOfValue(n->Value);
      attach(std::move(n));
    } else if (Is(c, "dsgn") || Is(c, "new")) {
      std::unique_ptr<TvmDesignator> d;
      if (Is(c, "dsgn")) {
        d = BuildDesignator(c, p, emNone);
      } else {
        if (c.Count() == 0) continue;
        d = BuildDesignator(*c.Items(0), p, emCreate);
      }
      auto n = std::make_unique<TvmExpressionNode>();
      n->Pos = c.Attr("pos");
      n->Typ = d->Typ;
      n->TypeName = d->TypeName;
      if (d->Kind == 1) {
        n->Kind = TvmExpressionNode::nkVariable;
        n->Operand = d->Items[0].Ref;
      } else {
        n->Kind = TvmExpressionNode::nkDesignator;
        n->Operand = d.get();
      }
      x->Operands.push_back(std::move(d));
      attach(std::move(n));
    } else if (Is(c, "set")) {
      auto set = BuildSet(c, p);
      auto n = std::make_unique<TvmExpressionNode>();
      n->Kind = TvmExpressionNode::nkSet;
      n->Pos = c.Attr("pos");
      n->Typ = fvtVariant;
      n->Operand = set.get();
      x->Operands.push_back(std::move(set));
      attach(std::move(n));
    } else if (Is(c, "expr")) {
      AddExprChildren(c, p, x, cur);
    }
  }
}

std::unique_ptr<TvmExpression> TvmILCompiler::BuildExpression(const TvmILNode& e, TvmScript* p) {
  SetPos(e);
  auto x = std::make_unique<TvmExpression>();
  auto root = std::make_unique<TvmExpressionNode>();
  root->Op = opNone;
  root->Priority = 7;
  TvmExpressionNode* cur = root.get();
  TvmExpressionNode* top = root.get();
  x->Nodes.push_back(std::move(root));
  AddExprChildren(e, p, x.get(), cur);
  if (e.HasAttr("pos1")) x->Source = SourceText(e.Attr("pos"), e.Attr("pos1"));
  x->Root = top->Left;
  if (x->Root) x->Root->Parent = nullptr;
  Finalize(x.get());
  SetPos(e);
  return x;
}

void TvmILCompiler::Finalize(TvmExpression* x) {
  if (!x->Root) {
    x->Typ = fvtVariant;
    return;
  }
  // Post-order without recursion: a flat expression may be thousands of operators long.
  std::vector<TvmExpressionNode*> stack{x->Root}, order;
  while (!stack.empty()) {
    TvmExpressionNode* n = stack.back();
    stack.pop_back();
    order.push_back(n);
    if (n->Left) stack.push_back(n->Left);
    if (n->Right) stack.push_back(n->Right);
  }
  for (size_t k = order.size(); k-- > 0;) {
    TvmExpressionNode* n = order[k];
    if (n->Kind != TvmExpressionNode::nkOperator) continue;
    TvmVarType l = n->Left ? n->Left->Typ : fvtVariant;
    TvmVarType r = n->Right ? n->Right->Typ : fvtVariant;
    const WideString& ln = n->Left ? n->Left->TypeName : WideString();
    const WideString& rn = n->Right ? n->Right->TypeName : WideString();
    TvmOperatorType op = n->Op;
    if (l == fvtBool && r == fvtBool) n->FOptimizeBool = true;
    if (!(op == opIs && l == fvtClass && r == fvtClass)) {
      bool ok = Compatible(l, ln, r, rn);
      if (ok) {
        switch (l) {
          case fvtBool:
            ok = op == opNonEq || op == opEq || op == opOr || op == opXor || op == opAnd || op == opNot;
            break;
          case fvtChar:
          case fvtString:
            ok = IsComparison(op) || op == opPlus || op == opIn;
            break;
          case fvtClass:
          case fvtArray:
            ok = op == opNonEq || op == opEq;
            break;
          default:
            break;
        }
      }
      if (!ok) throw CompileError{VMMessages().SIncompatibleTypes, n->Pos.empty() ? FPos : n->Pos};
    }
    n->Typ = l;
    n->TypeName = ln;
    if ((l == fvtInt && r == fvtFloat) || (l == fvtFloat && r == fvtInt) ||
        (l == fvtFloat && r == fvtInt64) || (l == fvtInt64 && r == fvtFloat) ||
        (l == fvtInt && r == fvtInt && op == opDivFloat) ||
        ((l == fvtInt || l == fvtInt64) && r == fvtInt64 && op == opDivFloat)) {
      n->Typ = fvtFloat;
      n->TypeName.clear();
    }
    if (IsComparison(op) || op == opIn || op == opIs) {
      n->Typ = fvtBool;
      n->TypeName.clear();
    }
  }
  x->Typ = x->Root->Typ;
  x->TypeName = x->Root->TypeName;
}

// ---- Designators ---------------------------------------------------------------------------

TvmCustomVariable* TvmILCompiler::SharedHelper(const WideString& name, bool isString) {
  if (TvmCustomVariable* h = FProg->Find(name)) return h;
  TvmScript* root = FScript->Root();
  std::unique_ptr<TvmCustomHelper> h;
  if (isString)
    h = std::make_unique<TvmStringHelper>();
  else
    h = std::make_unique<TvmArrayHelper>();
  h->Name = name;
  h->Typ = isString ? fvtChar : fvtVariant;
  int count = isString ? 1 : 3;
  for (int i = 0; i < count; ++i) {
    auto param = std::make_unique<TvmParamItem>();
    param->Typ = fvtVariant;
    param->IsOptional = i > 0;
    h->Params.push_back(param.get());
    h->OwnedParams.push_back(std::move(param));
  }
  return root->Add(name, std::move(h));
}

std::unique_ptr<TvmDesignator> TvmILCompiler::BuildDesignator(const TvmILNode& e, TvmScript* p,
                                                              TvmEmitOp emitOp) {
  SetPos(e);
  auto d = std::make_unique<TvmDesignator>();
  d->Prog = p;
  auto& items = d->Items;
  bool addr = false;
  bool late = false;  // the rest of the chain is resolved when it runs
  for (const auto& cp : e.Children()) {
    const TvmILNode& c = *cp;
    if (Is(c, "addr")) {
      addr = true;
      continue;
    }
    if (Is(c, "expr")) {
      if (items.empty()) continue;
      items.back().Args.push_back(BuildExpression(c, p));
      continue;
    }
    if (!Is(c, "node")) continue;
    WideString name = Text(c);
    if (items.empty()) {
      if (addr) {
        if (e.Count() != 2) Error(VMMessages().SVarRequired);
        auto v = std::make_unique<TvmVariable>();
        v->Typ = fvtString;
        v->Value = Variant(name);
        v->IsReadOnly = true;
        items.push_back(TvmDesignatorItem{p->AddItem(WideString(), std::move(v)), {}, false, FPos, {}});
        continue;
      }
      bool found = false;
      for (size_t w = FWith.size(); w-- > 0 && !found;) {
        TvmVariable* hidden = FWith[w].Var;
        if (FWith[w].Prog != p) continue;
        if (hidden->Typ == fvtVariant) {
          // What the name means here wins; anything else is a member of the object.
          if (p->Find(name)) break;
          items.push_back(TvmDesignatorItem{hidden, {}, false, FPos, {}});
          items.push_back(TvmDesignatorItem{nullptr, {}, false, FPos, name});
          late = true;
          found = true;
          break;
        }
        if (hidden->Typ == fvtClass) {
          TvmClassVariable* cls = p->FindClass(hidden->TypeName);
          if (TvmCustomHelper* member = cls ? cls->Find(name) : nullptr) {
            items.push_back(TvmDesignatorItem{hidden, {}, false, FPos, {}});
            items.push_back(TvmDesignatorItem{member, {}, false, FPos, {}});
            found = true;
          }
        }
      }
      if (found) continue;
      TvmCustomVariable* ref = p->Find(name);
      if (!ref) ref = UndeclaredName(name);
      if (emitOp == emCreate) {
        auto* cls = dynamic_cast<TvmClassVariable*>(ref);
        if (!cls) Error(VMMessages().SClassRequired);
        items.push_back(TvmDesignatorItem{cls, {}, false, FPos, {}});
        TvmCustomHelper* create = cls->Find(u"Create");
        if (!create) Error(VMMessages().SIdUndeclared + Quoted(u"Create"));
        items.push_back(TvmDesignatorItem{create, {}, false, FPos, {}});
        continue;
      }
      items.push_back(TvmDesignatorItem{ref, {}, false, FPos, {}});
      continue;
    }
    if (late) {
      items.push_back(TvmDesignatorItem{nullptr, {}, false, FPos, name});
      continue;
    }
    // A member or an index after what came before.
    TvmDesignatorItem& prev = items.back();
    TvmCustomVariable* P = prev.Ref;
    bool bracket = name == u"[";
    auto* method = dynamic_cast<TvmMethodHelper*>(P);
    if (method && method->IndexMethod && !prev.IndexTaken) {
      if (!bracket) Error(VMMessages().SIndexRequired);
      prev.IndexTaken = true;
      continue;
    }
    TvmVarType g = P->Typ;
    WideString typeName = P->TypeName;
    if (g == fvtConstructor && items.size() >= 2) {
      g = fvtClass;
      typeName = items[items.size() - 2].Ref->TypeName;
    }
    if (g == fvtVariant) {
      const Variant& value = P->Value;
      if (value.IsString()) {
        g = fvtString;
      } else if (value.IsArray()) {
        if (!bracket) Error(VMMessages().SIndexRequired);
        items.push_back(TvmDesignatorItem{SharedHelper(u"__ArrayHelper", false), {}, false, FPos, {}});
        continue;
      } else if (value.IsObject() && value.AsObject()) {
        g = fvtClass;
        typeName = Utf8ToUtf16(value.AsObject()->ClassName());
      } else {
        // The value is known only when the script runs: so is the member.
        items.push_back(TvmDesignatorItem{nullptr, {}, false, FPos, name});
        late = true;
        continue;
      }
    }
    switch (g) {
      case fvtString:
      case fvtChar:
        if (!bracket) Error(VMMessages().SStringError);
        items.push_back(TvmDesignatorItem{SharedHelper(u"__StringHelper", true), {}, false, FPos, {}});
        break;
      case fvtClass: {
        TvmClassVariable* cls = p->FindClass(typeName);
        if (!cls) Error(VMMessages().SUnknownType + Quoted(typeName));
        if (bracket) {
          if (!cls->DefProperty) {
            WideString msg = VMMessages().SClassError;
            size_t at = msg.find(u"%s");
            if (at != WideString::npos) msg.replace(at, 2, typeName);
            Error(msg);
          }
          items.push_back(TvmDesignatorItem{cls->DefProperty, {}, true, FPos, {}});
        } else {
          TvmCustomHelper* member = cls->Find(name, true);
          if (!member) {
            // A component the object owns becomes a member of its class.
            const Variant& value = P->Value;
            auto* owner = value.IsObject() ? dynamic_cast<TComponent*>(value.AsObject()) : nullptr;
            TComponent* child = owner ? owner->FindComponent(name) : nullptr;
            if (child) member = cls->AddComponent(name, Utf8ToUtf16(child->ClassName()));
          }
          if (!member && LateBindingOn()) {
            items.push_back(TvmDesignatorItem{nullptr, {}, false, FPos, name});
            late = true;
            break;
          }
          if (!member) Error(VMMessages().SIdUndeclared + Quoted(name));
          items.push_back(TvmDesignatorItem{member, {}, false, FPos, {}});
        }
        break;
      }
      case fvtArray:
        if (!bracket) Error(VMMessages().SIndexRequired);
        if (P->RefItem)
          items.push_back(TvmDesignatorItem{P->RefItem, {}, false, FPos, {}});
        else
          items.push_back(TvmDesignatorItem{SharedHelper(u"__ArrayHelper", false), {}, false, FPos, {}});
        break;
      default:
        Error(VMMessages().SArrayRequired);
    }
  }
  if (items.empty()) Error(VMMessages().SVarRequired);
  if (emitOp == emFree) {
    TvmCustomVariable* last = items.back().Ref;
    if (last && last->Typ != fvtClass && last->Typ != fvtVariant) Error(VMMessages().SClassRequired);
    TvmClassVariable* obj = p->FindClass(u"TObject");
    TvmCustomHelper* fr = obj ? obj->Find(u"Free") : nullptr;
    if (!fr) Error(VMMessages().SIdUndeclared + Quoted(u"Free"));
    items.push_back(TvmDesignatorItem{fr, {}, false, FPos, {}});
  }
  // Kind and type.
  SetPos(e);
  TvmCustomVariable* last = items.back().Ref;
  if (!last) {
    // Late-bound: a Variant that any value may be assigned to. The arguments of the items
    // resolved here are checked as usual.
    d->Typ = fvtVariant;
    d->TypeName = u"Variant";
    d->IsReadOnly = false;
    d->Kind = 0;
  }
  if (last) {
    d->Typ = last->Typ;
    d->TypeName = last->TypeName;
    d->IsReadOnly = last->IsReadOnly;
    if (last->Typ == fvtConstructor && items.size() >= 2) {
      d->Typ = fvtClass;
      d->TypeName = items[items.size() - 2].Ref->TypeName;
    }
    if (items.size() == 1 && items[0].Args.empty() && dynamic_cast<TvmVariable*>(last)) d->Kind = 1;
    if (items.size() == 2 && dynamic_cast<TvmStringVariable*>(items[0].Ref) &&
        dynamic_cast<TvmStringHelper*>(last))
      d->Kind = 2;
    if (items.size() == 2 && items[0].Ref->Typ == fvtArray && items[0].Ref->RefItem == last) d->Kind = 3;
  }
  // Arguments against parameters.
  for (auto& item : items) {
    TvmCustomVariable* ref = item.Ref;
    if (!ref || dynamic_cast<TvmDesignator*>(ref)) continue;
    size_t nargs = item.Args.size();
    if (static_cast<int>(nargs) < ref->RequiredParamCount()) Error(VMMessages().SNotEnoughParams);
    if (nargs > ref->Params.size()) Error(VMMessages().STooManyParams);
    for (size_t i = nargs; i < ref->Params.size(); ++i) {
      auto x = std::make_unique<TvmExpression>();
      auto n = std::make_unique<TvmExpressionNode>();
      n->Kind = TvmExpressionNode::nkConst;
      n->Value = ref->Params[i]->DefValue;
      n->Typ = ref->Params[i]->Typ;
      x->Root = n.get();
      x->Typ = n->Typ;
      x->Nodes.push_back(std::move(n));
      item.Args.push_back(std::move(x));
    }
    for (size_t i = 0; i < nargs; ++i) {
      TvmParamItem* param = ref->Params[i];
      CheckAssign(param->Typ, param->TypeName, item.Args[i]->Typ, item.Args[i]->TypeName);
    }
  }
  SetPos(e);
  return d;
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

bool TvmScript::Compile() {
  ErrorMsg.clear();
  ErrorClassName.clear();
  TvmILParser parser(this);
  try {
    parser.SelectLanguage(SyntaxType);
  } catch (const Exception& e) {
    ErrorMsg = Utf8ToUtf16(e.Message());
    return false;
  }
  if (parser.MakeILScript(Lines)) {
    TvmILCompiler compiler(this, parser.NeedDeclareVars());
    compiler.Build(*parser.ILScript());
  } else if (ErrorMsg.empty()) {
    ErrorMsg = u"Syntax error";
  }
  if (!ErrorMsg.empty()) return false;
  ErrorPos.clear();
  return true;
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
