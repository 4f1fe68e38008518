// Report variables: an ordered list of named values, grouped into categories. A category is an
// item too: an item whose name starts with a space heads the category named by the rest of the
// name, and the items after it, up to the next header or an item with an empty name, belong to
// it. Items before the first header belong to no category.
//
// The list lives with the report root (which owns one and writes it as the template's nested
// "Variables" element); how a value is evaluated is the expression evaluator's business.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/properties.h"
#include "platform/string_list.h"
#include "platform/types.h"
#include "platform/variant.h"

namespace pagewright {

class TStream;
class TpgwXMLItem;

// An item that takes part in template inheritance: it is known to a derived template by its
// inherited name.
class TpgwCollectionItem : public TPersistent {
 public:
  int UniqueIndex() const { return FUniqueIndex; }
  void SetUniqueIndex(int v) { FUniqueIndex = v; }
  bool IsInherited() const { return FInherited; }
  void SetIsInherited(bool v) { FInherited = v; }
  // "pgwUIN" followed by UniqueIndex, unless the item has a name of its own.
  virtual WideString InheritedName() const;

 protected:
  int FUniqueIndex = 0;
  bool FInherited = false;
};

class TpgwVariable : public TpgwCollectionItem {
 public:
  TpgwVariable() = default;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  // Name, Value and IsInherited.
  void Assign(const TPersistent& source) override;

  const WideString& Name() const { return FName; }
  void SetName(const WideString& v) { FName = v; }
  const Variant& Value() const { return FValue; }
  void SetValue(const Variant& v) { FValue = v; }
  WideString InheritedName() const override;

 private:
  WideString FName;
  Variant FValue = Variant::Null();
};

// A persistent object so that scripts can hold the list (the global variables object).
class TpgwVariables : public TPersistent {
 public:
  TpgwVariables() = default;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwVariable& Items(int index) const;
  // An empty variable at the end / at `index` (0..Count).
  TpgwVariable& Add();
  TpgwVariable& Insert(int index);
  void Delete(int index);
  void Clear() { FItems.clear(); }
  // The first item whose name matches, ignoring case; -1 when none.
  int IndexOf(std::u16string_view name) const;
  // The first item whose inherited name equals `name` exactly; null when none.
  TpgwVariable* FindByName(std::u16string_view name) const;
  void SetInherited(bool v);
  void Assign(const TpgwVariables& source);

  // The value of the named item (null when there is none) / sets it, appending a new item when
  // there is none.
  Variant GetVariable(std::u16string_view name) const;
  void SetVariable(const WideString& name, const Variant& value);

  // Categories. AddVariable changes the value of a variable of that name anywhere in the list
  // or inserts a new one at the end of the category; without the category nothing happens.
  void AddVariable(std::u16string_view category, const WideString& name, const Variant& value);
  void DeleteVariable(std::u16string_view name);
  // The header and every item of the category.
  void DeleteCategory(std::u16string_view name);
  // The category names (without the leading space, at most 254 characters).
  void GetCategoriesList(TStringList& list, bool clearList = true) const;
  // The names of a category's items; the empty category is the items before the first header.
  void GetVariablesList(std::u16string_view category, TStringList& list) const;

  // Variables files: an indented document with the root "variables" and one "item" element per
  // variable carrying its properties as attributes. Loading clears the list first; a document
  // with another root leaves it empty.
  void SaveToStream(TStream& stream) const;
  void SaveToFile(const WideString& fileName) const;
  void SaveToXMLItem(TpgwXMLItem& item) const;
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const WideString& fileName);
  // `oldFormat` is accepted for callers of the earlier file layout; both read the same way.
  void LoadFromXMLItem(const TpgwXMLItem& item, bool oldFormat = false);

 private:
  // Index of the header of `category`, -1 when none.
  int CategoryIndex(std::u16string_view category) const;
  std::vector<std::unique_ptr<TpgwVariable>> FItems;
};

// The process-wide variables, consulted by expressions after a report's own variables.
TpgwVariables& pgwGlobalVariables();

}  // namespace pagewright
