// Expressions and designators of the IL compiler: operator trees with their types, set
// constructors, and designator chains resolved against the program's items.
#include "script/il_compiler.h"

#include <charconv>

#include "platform/component.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "script/statements.h"

namespace pagewright {

namespace {

// Binding strength, tightest first. The "&&" and "||" of the C-like languages (and BasicScript's
// And and Or) bind more loosely than comparisons ("a == 1 && b == 2"); Pascal's and/or bind
// like * and +.
constexpr int kLogicalAnd = 5, kLogicalOr = 6, kRightBracket = 7;

int Priority(TvmOperatorType op, std::u16string_view text) {
  if (text == u"&&") return kLogicalAnd;
  if (text == u"||") return kLogicalOr;
  switch (op) {
    case opNone:
      return 9;
    case opLeftBracket:
      return 8;
    case opRightBracket:
      return kRightBracket;
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
      {u"&&", opAnd},          {u"||", opOr},
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
  if (r.ec != std::errc()) throw TvmCompileError{VMMessages().SIncompatibleTypes, {}};
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
  // Members of a set registered with their bits (AddEnumSet) make the set's value the union
  // of those bits, which is what a set property stores.
  bool mask = !set->Elements.empty();
  for (const auto& el : set->Elements) {
    for (const TvmExpression* x : {el.Low.get(), el.High.get()}) {
      if (!x) continue;
      TvmExpressionNode* n = x->Single();
      auto* type = n && n->Typ == fvtEnum ? dynamic_cast<TvmTypeVariable*>(p->Find(n->TypeName)) : nullptr;
      if (!type || !type->MaskMembers || !SameText(n->TypeName, set->Elements[0].Low->TypeName)) mask = false;
    }
  }
  set->Mask = mask;
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
      n->Priority = Priority(op, Text(c));
      n->Pos = c.Attr("pos");
      n->StartPos = OperatorStart(n->Pos, strCat || op == opUnMinus ? 1 : Text(c).size());
      if (op == opLeftBracket || op == opNot || op == opUnMinus) {
        attach(std::move(n));
      } else if (op == opRightBracket) {
        while (cur->Priority <= kRightBracket && cur->Parent) cur = cur->Parent;
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
  root->Priority = Priority(opNone, {});
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
    if (n->StrCat) {
      // Concatenation takes the text of any value.
      n->Typ = fvtString;
      n->TypeName.clear();
      continue;
    }
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
      if (!ok) throw TvmCompileError{VMMessages().SIncompatibleTypes, n->Pos.empty() ? FPos : n->Pos};
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
    if (op == opIn && l == fvtEnum && n->Right && n->Right->Kind != TvmExpressionNode::nkSet) {
      auto* type = dynamic_cast<TvmTypeVariable*>(FProg->Find(ln));
      n->BitTest = type && type->MaskMembers;
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

}  // namespace pagewright
