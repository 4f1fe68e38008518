#include "engine/aggregates.h"

#include "platform/format.h"
#include "platform/wide_strings.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/report.h"
#include "report/variables.h"

namespace pagewright {

namespace {

// Variables whose values name each other would otherwise be scanned forever.
constexpr int kMaxScanDepth = 32;
constexpr int kColumnSlots = 1001;

bool IsWordStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0x80;
}

bool IsWordChar(char16_t c) {
  return IsWordStart(c) || (c >= u'0' && c <= u'9');
}

// Index just past the quoted string starting at i (the text's end when unterminated).
size_t SkipQuoted(const WideString& s, size_t i) {
  const char16_t q = s[i];
  size_t j = i + 1;
  while (j < s.size() && s[j] != q) ++j;
  return j < s.size() ? j + 1 : s.size();
}

// Index of the character closing the bracket opened at i (quotes respected); npos when missing.
size_t MatchingClose(const WideString& s, size_t i, char16_t open, char16_t close) {
  int level = 0;
  for (size_t j = i; j < s.size();) {
    const char16_t c = s[j];
    if (c == u'\'' || c == u'"') {
      j = SkipQuoted(s, j);
      continue;
    }
    if (c == open) ++level;
    if (c == close && --level == 0) return j;
    ++j;
  }
  return WideString::npos;
}

TpgwBand* NearestBand(TpgwComponent* obj) {
  for (TpgwComponent* p = obj ? obj->Parent() : nullptr; p; p = p->Parent())
    if (auto* band = dynamic_cast<TpgwBand*>(p)) return band;
  return nullptr;
}

bool IsFieldReference(const WideString& expr) {
  const WideString t = Trim(expr);
  if (t.size() >= 2 && t.front() == u'<' && t.back() == u'>') return true;
  const size_t dot = t.find(u".\"");
  return dot != WideString::npos && dot > 0 && t.back() == u'"' && t.find(u'(') == WideString::npos;
}

bool IsTrueBoolean(const Variant& v) {
  return v.VarType() == varBoolean;
}

}  // namespace

// ---- one accumulator -------------------------------------------------------------------------------

void TpgwAggregateItem::Combine(Variant& into, int& count, const Variant& value) const {
  if (AggregateFunction != agAvg || !value.IsNull()) ++count;
  if (into.IsNull()) {
    into = value;
    return;
  }
  if (value.IsNull()) return;
  switch (AggregateFunction) {
    case agSum:
    case agAvg:
      into = VarAdd(into, value);
      break;
    case agMin:
      if (VarCompare(value, into, voCmpLt)) into = value;
      break;
    case agMax:
      if (VarCompare(value, into, voCmpGt)) into = value;
      break;
    case agCount:
      break;
  }
}

void TpgwAggregateItem::Calc(const Variant& supplied, bool haveValue) {
  if (DataRow && !DataRow->Visible() && !CountInvisibleBands) return;
  if (Report) Report->SetCurObject(MemoName);
  Variant value = Variant::Null();
  if (AggregateFunction != agCount) {
    value = haveValue ? supplied : (Report ? Report->Calc(Expression) : Variant::Null());
    if (value.IsEmpty()) value = Variant::Null();
    if (IsTrueBoolean(value)) value = Variant(static_cast<int32_t>(value.AsBoolean() ? 1 : 0));
  }
  if (VColumn >= 1 && VColumn < kColumnSlots) {
    if (ItemsArray.empty()) {
      ItemsArray.assign(kColumnSlots, Variant::Null());
      ItemsCountArray.assign(kColumnSlots, 0);
    }
    Combine(ItemsArray[static_cast<size_t>(VColumn)], ItemsCountArray[static_cast<size_t>(VColumn)], value);
    return;
  }
  if (Keeping && IsPageFooter) {
    Combine(TempItemsValue, TempItemsCount, value);
    return;
  }
  LastCount = ItemsCount;
  LastValue = ItemsValue;
  Combine(ItemsValue, ItemsCount, value);
}

Variant TpgwAggregateItem::Value() const {
  Variant value = ItemsValue;
  int count = ItemsCount;
  if (!ItemsArray.empty() && VColumn >= 1 && VColumn < kColumnSlots) {
    value = ItemsArray[static_cast<size_t>(VColumn)];
    count = ItemsCountArray[static_cast<size_t>(VColumn)];
  }
  Variant result;
  switch (AggregateFunction) {
    case agAvg:
      result = (value.IsNull() || count == 0) ? Variant::Null()
                                              : VarDiv(value, Variant(static_cast<int32_t>(count)));
      break;
    case agCount:
      result = Variant(static_cast<int32_t>(count));
      break;
    default:
      result = value;
      break;
  }
  if (result.IsNull() || result.IsEmpty()) result = Variant(static_cast<int32_t>(0));
  return result;
}

void TpgwAggregateItem::ClearValue() {
  ItemsCount = 0;
  ItemsValue = Variant::Null();
  ItemsArray.clear();
  ItemsCountArray.clear();
}

void TpgwAggregateItem::Reset() {
  if (DontReset && ItemsCount != 0) return;
  ClearValue();
}

void TpgwAggregateItem::StartKeep() {
  if (!IsPageFooter || Keeping) return;
  Keeping = true;
  TempItemsCount = 0;
  TempItemsValue = Variant::Null();
}

void TpgwAggregateItem::EndKeep() {
  if (!IsPageFooter || !Keeping) return;
  Keeping = false;
  ItemsCount += TempItemsCount;
  // The kept rows' value joins the total; the count is already added.
  int ignored = 0;
  if (!TempItemsValue.IsNull()) Combine(ItemsValue, ignored, TempItemsValue);
  TempItemsCount = 0;
  TempItemsValue = Variant::Null();
}

void TpgwAggregateItem::DeleteValue() {
  ItemsCount = LastCount;
  ItemsValue = LastValue;
}

// ---- the list ----------------------------------------------------------------------------------------

void TpgwAggregateList::ClearValues() {
  for (auto& item : FList) item->ClearValue();
}

void TpgwAggregateList::AddValue(TpgwComponent* dataRow, int vColumn) {
  for (auto& item : FList)
    if (item->DataRow == dataRow) {
      item->VColumn = vColumn;
      item->Calc(Variant::Null(), false);
    }
}

bool TpgwAggregateList::AddCalculatedValue(TpgwComponent* dataRow, const Variant& value, int vColumn) {
  bool taken = false;
  for (auto& item : FList)
    if (item->DataRow == dataRow) {
      item->VColumn = vColumn;
      item->Calc(value, true);
      taken = true;
    }
  return taken;
}

void TpgwAggregateList::DeleteValue(TpgwComponent* dataRow) {
  for (auto& item : FList)
    if (item->DataRow == dataRow) item->DeleteValue();
}

void TpgwAggregateList::SaveValue(TpgwComponent* dataRow) {
  for (auto& item : FList)
    if (item->DataRow == dataRow) {
      item->SavedCount = item->ItemsCount;
      item->SavedValue = item->ItemsValue;
    }
}

void TpgwAggregateList::RestoreValue(TpgwComponent* dataRow) {
  for (auto& item : FList)
    if (item->DataRow == dataRow) {
      item->ItemsCount = item->SavedCount;
      item->ItemsValue = item->SavedValue;
    }
}

void TpgwAggregateList::StartKeep() {
  for (auto& item : FList) item->StartKeep();
}

void TpgwAggregateList::EndKeep() {
  for (auto& item : FList) item->EndKeep();
}

void TpgwAggregateList::Reset(TpgwComponent* parentContainer) {
  for (auto& item : FList) {
    // A data row's own later-computed total runs over all its rows, not one.
    if (item->Deferred && dynamic_cast<TpgwDataBand*>(item->ParentContainer)) continue;
    if (item->ParentContainer == parentContainer) item->Reset();
  }
}

Variant TpgwAggregateList::GetValue(TpgwComponent* parentContainer, const WideString& complexName,
                                    int vColumn) {
  const WideString name = Trim(complexName);
  for (auto& item : FList)
    if (item->ParentContainer == parentContainer && SameText(item->OriginalName, name)) {
      item->VColumn = vColumn;
      return item->Value();
    }
  return Variant::Null();
}

Variant TpgwAggregateList::GetValue(TpgwComponent* parentContainer, int vColumn, const WideString& name,
                                    const WideString& expression, TpgwComponent* dataRow, int flags) {
  const WideString fn = UpperCase(Trim(name));
  const TpgwAggregateFunction func = fn == u"SUM"   ? agSum
                                     : fn == u"AVG" ? agAvg
                                     : fn == u"MIN" ? agMin
                                     : fn == u"MAX" ? agMax
                                                    : agCount;
  const WideString expr = Trim(expression);
  const bool invisible = (flags & 1) != 0;
  const bool dontReset = (flags & 2) != 0;
  for (auto& item : FList) {
    if (item->ParentContainer != parentContainer || item->AggregateFunction != func) continue;
    if (!SameText(item->Expression, expr)) continue;
    if (dataRow && item->DataRow != dataRow) continue;
    if (item->CountInvisibleBands != invisible || item->DontReset != dontReset) continue;
    item->VColumn = vColumn;
    return item->Value();
  }
  return Variant::Null();
}

// ---- finding the calls ---------------------------------------------------------------------------------

void TpgwAggregateList::AddItems(TpgwReportPage& page) {
  std::vector<TpgwBand*> stack(page.SubBands.rbegin(), page.SubBands.rend());
  while (!stack.empty()) {
    TpgwBand* band = stack.back();
    stack.pop_back();
    if (band->Footer) AddFromChain(band->Footer, band);
    if (band->Group)
      for (TpgwBand* header : band->Group->SubBands)
        if (header->Footer) AddFromChain(header->Footer, band);
    for (auto it = band->SubBands.rbegin(); it != band->SubBands.rend(); ++it) stack.push_back(*it);
  }
  if (page.SubBands.empty()) return;
  TpgwBand* first = page.SubBands.front();
  for (const TClassInfo* cls : {&TpgwPageFooter::StaticClassInfo(), &TpgwColumnFooter::StaticClassInfo(),
                                &TpgwReportSummary::StaticClassInfo()})
    if (TpgwBand* band = page.FindBand(*cls)) AddFromChain(band, first);

  // Texts computed later total over the rows of their own data band (or of the first one for
  // the bands of the page).
  stack.assign(page.SubBands.rbegin(), page.SubBands.rend());
  while (!stack.empty()) {
    TpgwBand* band = stack.back();
    stack.pop_back();
    AddDeferredFrom(band, band);
    AddDeferredFrom(band->Header, band);
    if (band->Group)
      for (TpgwBand* header : band->Group->SubBands) AddDeferredFrom(header, band);
    for (auto it = band->SubBands.rbegin(); it != band->SubBands.rend(); ++it) stack.push_back(*it);
  }
  for (const TClassInfo* cls : {&TpgwReportTitle::StaticClassInfo(), &TpgwPageHeader::StaticClassInfo(),
                                &TpgwColumnHeader::StaticClassInfo()})
    AddDeferredFrom(page.FindBand(*cls), first);
}

void TpgwAggregateList::AddDeferredFrom(TpgwBand* band, TpgwBand* defaultDataRow) {
  if (!band) return;
  for (const auto& item : FList)
    if (item->ParentContainer == band) return;  // already read (a band met twice)
  for (TpgwComponent* obj : band->AllObjects()) {
    auto* memo = dynamic_cast<TpgwCustomMemoView*>(obj);
    if (!memo || memo->Processing().ProcessAt == paDefault) continue;
    const size_t before = FList.size();
    AddFromMemo(*memo, defaultDataRow);
    for (size_t i = before; i < FList.size(); ++i) FList[i]->Deferred = true;
  }
}

void TpgwAggregateList::AddFromChain(TpgwBand* band, TpgwBand* defaultDataRow) {
  // A child chain may loop back on itself through a bad template: each band once.
  std::vector<TpgwBand*> seen;
  for (TpgwBand* b = band; b; b = b->Child()) {
    for (TpgwBand* s : seen)
      if (s == b) return;
    seen.push_back(b);
    AddFromBand(b, defaultDataRow);
  }
}

void TpgwAggregateList::AddFromBand(TpgwBand* band, TpgwBand* defaultDataRow) {
  for (TpgwComponent* obj : band->AllObjects())
    if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(obj)) AddFromMemo(*memo, defaultDataRow);
}

void TpgwAggregateList::AddFromMemo(TpgwCustomMemoView& memo, TpgwBand* defaultDataRow) {
  if (!memo.AllowExpressions()) return;
  const WideString& delims = memo.ExpressionDelimiters();
  const size_t comma = delims.find(u',');
  if (comma == WideString::npos || comma == 0 || comma + 1 >= delims.size()) return;
  const WideString open = delims.substr(0, comma);
  const WideString close = delims.substr(comma + 1);
  const WideString text = memo.Memo().Text();
  for (int i = 0; i < static_cast<int>(text.size()); ++i) {
    if (text.compare(static_cast<size_t>(i), open.size(), open) != 0) continue;
    int j = i;
    const WideString expr = FindBracketedExpression(text, open, close, i, j);
    if (j == i) continue;
    ParseExpression(expr, memo, defaultDataRow, 0);
    i = j;
  }
}

void TpgwAggregateList::ParseExpression(const WideString& expr, TpgwCustomMemoView& memo,
                                        TpgwBand* defaultDataRow, int depth) {
  if (depth > kMaxScanDepth) return;
  const WideString name = Trim(expr);
  if (TpgwVariable* var = FReport.Variables().FindByName(name)) {
    ParseExpression(VarToStr(var->Value()), memo, defaultDataRow, depth + 1);
    return;
  }
  if (IsFieldReference(name)) return;
  ParseText(expr, memo, defaultDataRow, depth);
}

void TpgwAggregateList::ParseText(const WideString& s, TpgwCustomMemoView& memo, TpgwBand* defaultDataRow,
                                  int depth) {
  if (depth > kMaxScanDepth) return;
  size_t i = 0;
  while (i < s.size()) {
    const char16_t c = s[i];
    if (c == u'\'' || c == u'"') {
      i = SkipQuoted(s, i);
    } else if (c == u'(' || c == u'<') {
      const size_t close = MatchingClose(s, i, c, c == u'(' ? u')' : u'>');
      if (close == WideString::npos) {
        ParseText(s.substr(i + 1), memo, defaultDataRow, depth + 1);
        return;
      }
      ParseText(s.substr(i + 1, close - i - 1), memo, defaultDataRow, depth + 1);
      i = close + 1;
    } else if (IsWordStart(c)) {
      size_t j = i;
      while (j < s.size() && IsWordChar(s[j])) ++j;
      const WideString word = s.substr(i, j - i);
      const WideString upper = UpperCase(word);
      const bool aggregate =
          upper == u"SUM" || upper == u"MIN" || upper == u"MAX" || upper == u"AVG" || upper == u"COUNT";
      if (aggregate && j < s.size() && s[j] == u'(') {
        const size_t close = MatchingClose(s, j, u'(', u')');
        const size_t end = close == WideString::npos ? s.size() : close;
        std::vector<WideString> args;
        WideString cur;
        int level = 0;
        for (size_t k = j + 1; k < end;) {
          const char16_t ch = s[k];
          if (ch == u'\'' || ch == u'"') {
            const size_t q = SkipQuoted(s, k);
            cur += s.substr(k, q - k);
            k = q;
            continue;
          }
          if (ch == u'(') ++level;
          if (ch == u')') --level;
          if (ch == u',' && level == 0) {
            args.push_back(cur);
            cur.clear();
          } else {
            cur += ch;
          }
          ++k;
        }
        args.push_back(cur);
        if (args.size() > 3) args.resize(3);
        const WideString callText = Trim(s.substr(i, (close == WideString::npos ? s.size() : close + 1) - i));
        AddCall(upper, args, callText, memo, defaultDataRow);
        i = close == WideString::npos ? s.size() : close + 1;
      } else {
        if (!aggregate) {
          if (TpgwVariable* var = FReport.Variables().FindByName(word))
            ParseExpression(VarToStr(var->Value()), memo, defaultDataRow, depth + 1);
        }
        i = j;
      }
    } else {
      ++i;
    }
  }
}

void TpgwAggregateList::AddCall(const WideString& funcName, const std::vector<WideString>& args,
                                const WideString& callText, TpgwCustomMemoView& memo,
                                TpgwBand* defaultDataRow) {
  auto item = std::make_unique<TpgwAggregateItem>();
  item->AggregateFunction = funcName == u"SUM"   ? agSum
                            : funcName == u"AVG" ? agAvg
                            : funcName == u"MIN" ? agMin
                            : funcName == u"MAX" ? agMax
                                                 : agCount;
  auto arg = [&](size_t i) { return i < args.size() ? Trim(args[i]) : WideString(); };
  WideString bandName, flagsText;
  if (item->AggregateFunction == agCount) {
    bandName = arg(0);
    flagsText = arg(1);
  } else {
    item->Expression = arg(0);
    bandName = arg(1);
    flagsText = arg(2);
  }
  item->DataRow = defaultDataRow;
  if (!bandName.empty())
    if (auto* band = dynamic_cast<TpgwBand*>(FReport.FindObject(bandName))) item->DataRow = band;
  int32_t flags = 0;
  if (!flagsText.empty() && !TryStrToInt(flagsText, flags)) flags = 0;
  item->CountInvisibleBands = (flags & 1) != 0;
  item->DontReset = (flags & 2) != 0;
  item->ParentContainer = NearestBand(&memo);
  item->IsPageFooter = dynamic_cast<TpgwPageFooter*>(item->ParentContainer) != nullptr;
  item->OriginalName = callText;
  item->MemoName = memo.Name();
  item->Report = &FReport;
  item->Reset();
  FList.push_back(std::move(item));
}

}  // namespace pagewright
