#include "platform/string_list.h"

#include <algorithm>

#include "platform/code_pages.h"
#include "platform/exceptions.h"
#include "platform/scope_guard.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"

namespace pagewright {

namespace {

[[noreturn]] void ListIndexError(int index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

[[noreturn]] void SortedListError() {
  throw EStringListError("Operation not allowed on sorted list");
}

// Restores the update count even when a change throws.
class UpdateGuard {
 public:
  explicit UpdateGuard(TStringList& list) : list_(list) { list_.BeginUpdate(); }
  ~UpdateGuard() { list_.EndUpdate(); }

 private:
  TStringList& list_;
};

}  // namespace

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  for (Item& item : items_) FreeObject(item.object);
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
}

void TStringList::Changing() {
  if (updateCount_ == 0 && OnChanging) OnChanging(*this);
}

void TStringList::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(*this);
}

void TStringList::BeginUpdate() {
  if (updateCount_ == 0) Changing();
  ++updateCount_;
}

void TStringList::EndUpdate() {
  if (updateCount_ <= 0) return;
  if (--updateCount_ == 0) Changed();
}

void TStringList::FreeObject(void* object) {
  if (object && objectDeleter_) objectDeleter_(object);
}

const WideString& TStringList::Strings(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].str;
}

void TStringList::SetStrings(int index, const WideString& s) {
  if (sorted_) SortedListError();
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].str = s;
  Changed();
}

void* TStringList::Objects(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TStringList::SetObjects(int index, void* object) {
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

int TStringList::CompareStrings(std::u16string_view a, std::u16string_view b) const {
  return caseSensitive_ ? WideCompareStr(a, b) : WideCompareText(a, b);
}

void TStringList::InsertItem(int index, const WideString& s, void* object) {
  Changing();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
}

int TStringList::AddObject(const WideString& s, void* object) {
  int index = Count();
  if (sorted_) {
    if (Find(s, index)) {
      if (duplicates_ == dupIgnore) return index;
      if (duplicates_ == dupError) throw EStringListError("String list does not allow duplicates");
    }
  }
  InsertItem(index, s, object);
  return index;
}

void TStringList::AddStrings(const TStringList& other) {
  if (&other == this) {  // adding a list to itself: copy first
    std::vector<Item> copy = items_;
    UpdateGuard guard(*this);
    for (const Item& item : copy) AddObject(item.str, item.object);
    return;
  }
  UpdateGuard guard(*this);
  for (const Item& item : other.items_) AddObject(item.str, item.object);
}

void TStringList::InsertObject(int index, const WideString& s, void* object) {
  if (sorted_) SortedListError();
  if (index < 0 || index > Count()) ListIndexError(index);
  InsertItem(index, s, object);
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  void* object = items_[static_cast<size_t>(index)].object;
  items_.erase(items_.begin() + index);
  FreeObject(object);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  std::vector<Item> old;
  old.swap(items_);
  for (Item& item : old) FreeObject(item.object);
  Changed();
}

void TStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

void TStringList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckIndex(curIndex);
  if (sorted_) SortedListError();
  CheckIndex(newIndex);
  Changing();
  Item item = std::move(items_[static_cast<size_t>(curIndex)]);
  items_.erase(items_.begin() + curIndex);
  items_.insert(items_.begin() + newIndex, std::move(item));
  Changed();
}

bool TStringList::Find(std::u16string_view s, int& index) const {
  int lo = 0, hi = Count();
  while (lo < hi) {  // first item not less than s
    int mid = lo + (hi - lo) / 2;
    if (CompareStrings(items_[static_cast<size_t>(mid)].str, s) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  index = lo;
  return lo < Count() && CompareStrings(items_[static_cast<size_t>(lo)].str, s) == 0;
}

int TStringList::IndexOf(std::u16string_view s) const {
  if (sorted_) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(items_[static_cast<size_t>(i)].str, s) == 0) return i;
  return -1;
}

int TStringList::IndexOfObject(const void* object) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[static_cast<size_t>(i)].object == object) return i;
  return -1;
}

void TStringList::SortItems() {
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const Item& a, const Item& b) { return CompareStrings(a.str, b.str) < 0; });
}

void TStringList::Sort() {
  if (sorted_ || Count() < 2) return;
  Changing();
  SortItems();
  Changed();
}

void TStringList::CustomSort(const TStringListSortCompare& compare) {
  if (sorted_ || Count() < 2) return;
  Changing();
  // Sort an index permutation, so the comparison sees the list as it was.
  std::vector<int> order(items_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(std::move(items_[static_cast<size_t>(i)]));
  items_.swap(sorted);
  Changed();
}

void TStringList::SetSorted(bool value) {
  if (value == sorted_) return;
  if (value) Sort();
  sorted_ = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == caseSensitive_) return;
  caseSensitive_ = value;
  if (sorted_ && Count() > 1) {
    Changing();
    SortItems();
    Changed();
  }
}

WideString TStringList::Text() const {
  size_t len = 0;
  for (const Item& item : items_) len += item.str.size() + 2;
  WideString out;
  out.reserve(len);
  for (const Item& item : items_) {
    out += item.str;
    out += u"\r\n";
  }
  return out;
}

void TStringList::SetText(std::u16string_view text) {
  UpdateGuard guard(*this);
  Clear();
  size_t i = 0, n = text.size();
  while (i < n) {
    size_t start = i;
    while (i < n && text[i] != u'\r' && text[i] != u'\n') ++i;
    Add(WideString(text.substr(start, i - start)));
    if (i < n && text[i] == u'\r') ++i;
    if (i < n && text[i] == u'\n') ++i;
  }
}

WideString TStringList::JoinDelimited(char16_t delimiter, char16_t quoteChar, bool strict) const {
  if (Count() == 1 && items_[0].str.empty()) return WideString(2, quoteChar);
  WideString out;
  for (size_t i = 0; i < items_.size(); ++i) {
    const WideString& s = items_[i].str;
    bool quote = std::any_of(s.begin(), s.end(), [&](char16_t c) {
      return c == quoteChar || c == delimiter || c == 0 || (!strict && c <= u' ');
    });
    if (i > 0) out.push_back(delimiter);
    out += quote ? AnsiQuotedStr(s, quoteChar) : s;
  }
  return out;
}

WideString TStringList::DelimitedText() const {
  return JoinDelimited(delimiter_, quoteChar_, strictDelimiter_);
}

void TStringList::SetDelimitedText(std::u16string_view text) {
  // The text ends at its first NUL character.
  text = text.substr(0, std::min(text.size(), text.find(u'\0')));
  auto isBlank = [](char16_t c) { return c >= 1 && c <= u' '; };
  UpdateGuard guard(*this);
  Clear();
  size_t p = 0, n = text.size();
  if (!strictDelimiter_)
    while (p < n && isBlank(text[p])) ++p;
  while (p < n) {
    WideString s;
    if (text[p] == quoteChar_) {
      s = AnsiExtractQuotedStr(text, p, quoteChar_);
    } else {
      size_t start = p;
      while (p < n && (strictDelimiter_ || text[p] > u' ') && text[p] != delimiter_) ++p;
      s = WideString(text.substr(start, p - start));
    }
    Add(s);
    if (!strictDelimiter_)
      while (p < n && isBlank(text[p])) ++p;
    if (p < n && text[p] == delimiter_) {
      if (p + 1 == n) Add(WideString());  // a delimiter at the very end ends with an empty item
      do {
        ++p;
      } while (p < n && !strictDelimiter_ && isBlank(text[p]));
    }
  }
}

WideString TStringList::CommaText() const {
  return JoinDelimited(u',', u'"', false);
}

void TStringList::SetCommaText(std::u16string_view text) {
  char16_t d = delimiter_, q = quoteChar_;
  bool strict = strictDelimiter_;
  delimiter_ = u',';
  quoteChar_ = u'"';
  strictDelimiter_ = false;
  auto restore = ScopeExit([&] { delimiter_ = d, quoteChar_ = q, strictDelimiter_ = strict; });
  SetDelimitedText(text);
}

WideString TStringList::Names(int index) const {
  const WideString& s = Strings(index);
  size_t p = s.find(nameValueSeparator_);
  return p == WideString::npos ? WideString() : s.substr(0, p);
}

WideString TStringList::ValueFromIndex(int index) const {
  if (index < 0) return WideString();
  const WideString& s = Strings(index);
  size_t p = s.find(nameValueSeparator_);
  return p == WideString::npos ? WideString() : s.substr(p + 1);
}

void TStringList::SetValueFromIndex(int index, const WideString& value) {
  if (!value.empty()) {
    if (index < 0) index = Add(WideString());
    SetStrings(index, Names(index) + nameValueSeparator_ + value);
  } else if (index >= 0) {
    Delete(index);
  }
}

int TStringList::IndexOfName(std::u16string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const WideString& s = items_[static_cast<size_t>(i)].str;
    size_t p = s.find(nameValueSeparator_);
    if (p != WideString::npos && CompareStrings(std::u16string_view(s).substr(0, p), name) == 0) return i;
  }
  return -1;
}

WideString TStringList::Values(std::u16string_view name) const {
  int i = IndexOfName(name);
  return i >= 0 ? ValueFromIndex(i) : WideString();
}

void TStringList::SetValues(const WideString& name, const WideString& value) {
  int i = IndexOfName(name);
  if (!value.empty()) {
    if (i < 0) i = Add(WideString());
    SetStrings(i, name + nameValueSeparator_ + value);
  } else if (i >= 0) {
    Delete(i);
  }
}

void TStringList::LoadFromStream(TStream& stream) {
  std::string bytes = stream.ReadToEnd();
  std::string_view b = bytes;
  WideString text;
  if (b.size() >= 3 && b.substr(0, 3) == "\xEF\xBB\xBF")
    text = Utf8ToUtf16(b.substr(3));
  else if (b.size() >= 2 && b.substr(0, 2) == "\xFF\xFE")
    text = Utf16BytesToWide(b.substr(2), false);
  else if (b.size() >= 2 && b.substr(0, 2) == "\xFE\xFF")
    text = Utf16BytesToWide(b.substr(2), true);
  else if (IsValidUtf8(b))
    text = Utf8ToUtf16(b);
  else
    text = AnsiToWide(b);
  SetText(text);
}

void TStringList::SaveToStream(TStream& stream, bool writeBom) const {
  if (writeBom) stream.WriteBuffer("\xEF\xBB\xBF", 3);
  stream.WriteBuffer(Utf16ToUtf8(Text()));
}

void TStringList::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TStringList::SaveToFile(const std::string& fileName, bool writeBom) const {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f, writeBom);
}

void TStringList::Assign(const TStringList& source) {
  if (&source == this) return;
  UpdateGuard guard(*this);
  Clear();
  AddStrings(source);
}

bool TStringList::Equals(const TStringList& other) const {
  if (Count() != other.Count()) return false;
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].str != other.items_[i].str) return false;
  return true;
}

}  // namespace pagewright
