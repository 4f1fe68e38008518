// The runtime's string list: UTF-16 strings, each with an optional object pointer, optionally kept
// sorted, with name=value access, text and delimited-text forms, and loading and saving as text files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace pagewright {

class TStream;

enum TDuplicates : uint8_t { dupIgnore, dupAccept, dupError };

class TStringList {
 public:
  // Compares the items at two indexes: < 0, 0 or > 0.
  using TStringListSortCompare = std::function<int(const TStringList& list, int index1, int index2)>;
  using TNotifyEvent = std::function<void(TStringList& sender)>;

  TStringList() = default;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;
  virtual ~TStringList();

  int Count() const { return static_cast<int>(items_.size()); }
  // Index checks raise EStringListError "List index out of bounds (%d)".
  const WideString& operator[](int index) const { return Strings(index); }
  const WideString& Strings(int index) const;
  // Replacing an item of a sorted list raises EStringListError "Operation not allowed on sorted list".
  void SetStrings(int index, const WideString& s);
  void* Objects(int index) const;
  void SetObjects(int index, void* object);
  template <typename T>
  T* ObjectAs(int index) const {
    return static_cast<T*>(Objects(index));
  }

  // Adds at the end, or at its sorted place in a sorted list, where a duplicate is dropped (dupIgnore:
  // the existing index is returned), added (dupAccept) or refused (dupError: EStringListError "String
  // list does not allow duplicates"). Duplicates are looked for only in sorted lists.
  int Add(const WideString& s) { return AddObject(s, nullptr); }
  int AddObject(const WideString& s, void* object);
  int AddPair(const WideString& name, const WideString& value) {
    return Add(name + nameValueSeparator_ + value);
  }
  void AddStrings(const TStringList& other);
  // Index 0..Count; not allowed on a sorted list (EStringListError "Operation not allowed on sorted list").
  void Insert(int index, const WideString& s) { InsertObject(index, s, nullptr); }
  void InsertObject(int index, const WideString& s, void* object);
  void Delete(int index);
  void Clear();
  void Exchange(int index1, int index2);
  // Moves an item (with its object) to another index.
  void Move(int curIndex, int newIndex);

  // Index of the first equal item (per CaseSensitive), -1 when none; binary search when sorted.
  int IndexOf(std::u16string_view s) const;
  int IndexOfObject(const void* object) const;
  // Binary search, meaningful on a sorted list: true when found; index is the match, or where s would go.
  bool Find(std::u16string_view s, int& index) const;

  // Sorts (stable) unless the list is already kept sorted.
  void Sort();
  void CustomSort(const TStringListSortCompare& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }
  // Default false: comparisons ignore case (WideCompareText).
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);
  // Comparison of two strings under this list's CaseSensitive.
  int CompareStrings(std::u16string_view a, std::u16string_view b) const;

  // Every item followed by CR LF.
  WideString Text() const;
  // Splits on CR LF, LF or CR; a line break at the end gives no further empty item.
  void SetText(std::u16string_view text);
  // Items joined by Delimiter; an item holding a character <= space, the quote or the delimiter is
  // quoted (blanks do not force quotes with StrictDelimiter). A list of one empty item gives "\"\"".
  WideString DelimitedText() const;
  // Without StrictDelimiter, blanks as well as the delimiter separate items.
  void SetDelimitedText(std::u16string_view text);
  WideString CommaText() const;  // DelimitedText with ',' and '"'
  void SetCommaText(std::u16string_view text);
  char16_t Delimiter() const { return delimiter_; }
  void SetDelimiter(char16_t c) { delimiter_ = c; }
  char16_t QuoteChar() const { return quoteChar_; }
  void SetQuoteChar(char16_t c) { quoteChar_ = c; }
  bool StrictDelimiter() const { return strictDelimiter_; }
  void SetStrictDelimiter(bool v) { strictDelimiter_ = v; }

  // name=value items.
  char16_t NameValueSeparator() const { return nameValueSeparator_; }
  void SetNameValueSeparator(char16_t c) { nameValueSeparator_ = c; }
  // The part before the first separator ("" when there is none).
  WideString Names(int index) const;
  // The part after the first separator ("" when there is none).
  WideString ValueFromIndex(int index) const;
  void SetValueFromIndex(int index, const WideString& value);
  int IndexOfName(std::u16string_view name) const;
  // The value of the first item with that name, "" when none.
  WideString Values(std::u16string_view name) const;
  // Sets the value, adding an item when the name is absent; an empty value deletes the item.
  void SetValues(const WideString& name, const WideString& value);

  // Reading accepts UTF-8 with or without a byte order mark and UTF-16 with one; bytes without a mark
  // that are not valid UTF-8 are read in the system code page. Writing is UTF-8 (with a mark on request).
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream, bool writeBom = false) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName, bool writeBom = false) const;

  // Replaces the items (and objects) by those of another list; this list's own settings stay.
  void Assign(const TStringList& source);
  bool Equals(const TStringList& other) const;

  // Change notification: OnChange after every change, held back between BeginUpdate and the matching
  // EndUpdate (which then notifies once).
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

  // When set, the deleter is called for the object of every item removed (Delete, Clear, destruction).
  void SetOwnsObjects(std::function<void(void*)> deleter) { objectDeleter_ = std::move(deleter); }

 private:
  struct Item {
    WideString str;
    void* object = nullptr;
  };
  void CheckIndex(int index) const;
  void Changing();
  void Changed();
  void InsertItem(int index, const WideString& s, void* object);
  void FreeObject(void* object);
  void SortItems();
  WideString JoinDelimited(char16_t delimiter, char16_t quoteChar, bool strict) const;

  std::vector<Item> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  TDuplicates duplicates_ = dupIgnore;
  char16_t delimiter_ = u',';
  char16_t quoteChar_ = u'"';
  char16_t nameValueSeparator_ = u'=';
  bool strictDelimiter_ = false;
  int updateCount_ = 0;
  std::function<void(void*)> objectDeleter_;
};

}  // namespace pagewright
