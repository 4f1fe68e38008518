// Styles of a report: named sets of font, frame and fill that objects take by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/properties.h"
#include "platform/streams.h"
#include "report/component.h"

namespace pagewright {

class TpgwBaseFill;
class TpgwFrame;
class TpgwReport;
class TpgwXMLItem;
// Fill kinds (ftBrush, ftGradient, ftGlass), declared with the views.
enum TpgwFillType : uint8_t;

// --- styles -----------------------------------------------------------------------------------------------

class TpgwStyles;

class TpgwStyleItem : public TPersistent {
 public:
  explicit TpgwStyleItem(TpgwStyles* collection = nullptr);
  ~TpgwStyleItem() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  const WideString& Name() const { return FName; }
  // Raises "Duplicate name" when another style of the collection has that name.
  void SetName(const WideString& v);
  TpgwFont& Font() { return FFont; }
  const TpgwFont& Font() const { return FFont; }
  void SetFont(const TpgwFont& v) { FFont.Assign(v); }
  // The brush fill's BackColor or the gradient's middle colour; no colour for other fills.
  TColor Color() const;
  // Changes only a brush fill's BackColor.
  void SetColor(TColor v);
  TpgwFrame& Frame() { return *FFrame; }
  const TpgwFrame& Frame() const { return *FFrame; }
  void SetFrame(const TpgwFrame& v);
  TpgwFillType FillType() const;
  // Another kind replaces the fill by a new one of that kind.
  void SetFillType(TpgwFillType v);
  TpgwBaseFill& Fill() { return *FFill; }
  const TpgwBaseFill& Fill() const { return *FFill; }
  // Switches to the kind of `v`, then copies it.
  void SetFill(const TpgwBaseFill& v);
  bool ApplyFont() const { return FApplyFont; }
  void SetApplyFont(bool v) { FApplyFont = v; }
  bool ApplyFill() const { return FApplyFill; }
  void SetApplyFill(bool v) { FApplyFill = v; }
  bool ApplyFrame() const { return FApplyFrame; }
  void SetApplyFrame(bool v) { FApplyFrame = v; }
  bool IsInherited() const { return FInherited; }
  void SetIsInherited(bool v) { FInherited = v; }
  void CreateUniqueName();

 private:
  friend class TpgwStyles;
  TpgwStyles* FCollection;
  WideString FName;
  TpgwFont FFont;
  std::unique_ptr<TpgwFrame> FFrame;
  std::unique_ptr<TpgwBaseFill> FFill;
  bool FApplyFont = true;
  bool FApplyFill = true;
  bool FApplyFrame = true;
  bool FInherited = false;
};

class TpgwStyles {
 public:
  explicit TpgwStyles(TpgwReport* report) : FReport(report) {}
  TpgwStyles(const TpgwStyles&) = delete;
  TpgwStyles& operator=(const TpgwStyles&) = delete;

  TpgwReport* Report() const { return FReport; }
  const WideString& Name() const { return FName; }
  void SetName(const WideString& v) { FName = v; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwStyleItem& Items(int index) const { return *FItems.at(static_cast<size_t>(index)); }
  TpgwStyleItem& Add();
  void Delete(int index);
  void Clear();
  // Hands every item over, detached from this collection, and leaves it empty: for a holder that
  // must keep the items alive (a script may still refer to them).
  std::vector<std::unique_ptr<TpgwStyleItem>> TakeItems();
  // Case-insensitive by the locale's comparison; null when absent.
  TpgwStyleItem* Find(std::u16string_view name) const;
  void GetList(TStringList& list) const;
  // Copies the styles of `source` and applies them to the report.
  void Assign(const TpgwStyles& source);
  // Re-applies each text object's style, or clears a style name that is not in the list.
  void Apply();
  void SetInherited(bool v);

  // Style sheet files: an indented XML document with the root element "style" (attribute Name)
  // and one "item" element per style. Loading replaces the styles and applies them.
  void SaveToStream(TStream& stream) const;
  void SaveToFile(const WideString& fileName) const;
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const WideString& fileName);

 private:
  TpgwReport* FReport;
  WideString FName;
  std::vector<std::unique_ptr<TpgwStyleItem>> FItems;
};

}  // namespace pagewright
