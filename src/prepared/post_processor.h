// Deferred values of prepared pages: text objects and barcodes whose value is known only later
// (at the end of a group, a data band, a page or the report) store their printed instances here
// by index; the value is computed when the band engine reaches that point, and a rebuilt page
// takes its texts from here.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "barcode_view/barcode_view.h"
#include "platform/types.h"
#include "report/memo_view.h"

namespace pagewright {

class TpgwComponent;
class TpgwReport;
class TpgwView;
class TpgwXMLItem;

// The instances of one object name.
class TpgwMacrosItem : public IpgwMacrosItem {
 public:
  int TextCount() const override { return static_cast<int>(FTexts.size()); }
  WideString Text(int index) const override;
  // Replaces the text of the instance being processed (the last one when none is).
  void SetLastText(const WideString& text) override;
  TpgwCustomMemoView* CurrentObject() const override { return FCurrentObject; }
  void SetCurrentObject(TpgwCustomMemoView* object) override { FCurrentObject = object; }
  int LastIndex() const override { return FLastIndex; }
  void SetLastIndex(int index) override { FLastIndex = index; }

  int Add(const WideString& text);
  void Clear();
  // Drops the instances from `count` on.
  void Truncate(int count);
  // Forgets the neighbouring-duplicate memory.
  void ResetDuplicates() {
    FCurrentObject = nullptr;
    FLastIndex = -1;
  }

  WideString Name;
  TpgwProcessAtMode ProcessAt = paDefault;
  int GroupLevel = 0;
  int DataLevel = 0;
  WideString BandName;
  // The instance SetLastText writes (-1: the last).
  int ProcessIndex = -1;

 private:
  std::vector<WideString> FTexts;
  TpgwCustomMemoView* FCurrentObject = nullptr;
  int FLastIndex = -1;
};

class TpgwPostProcessor : public IpgwPostProcessor, public IpgwBarcodePostProcessor {
 public:
  TpgwPostProcessor() = default;
  TpgwPostProcessor(const TpgwPostProcessor&) = delete;
  TpgwPostProcessor& operator=(const TpgwPostProcessor&) = delete;

  // Text objects.
  int Add(const WideString& bandName, const WideString& name, const WideString& content,
          TpgwProcessAtMode processAt, TpgwCustomMemoView& source, bool process) override;
  // Barcodes.
  int Add(const WideString& bandName, const WideString& objectName, const WideString& content,
          TpgwProcessAtMode processAt, TpgwView& object, bool process) override;

  void EnterData() { ++FDataLevel; }
  void LeaveData() {
    if (FDataLevel > 0) --FDataLevel;
  }
  void EnterGroup() { ++FGroupLevel; }
  void LeaveGroup() {
    if (FGroupLevel > 0) --FGroupLevel;
  }
  int DataLevel() const { return FDataLevel; }
  int GroupLevel() const { return FGroupLevel; }
  // A header printed again at a page break belongs to its own group level, not the current one.
  void SetGroupLevel(int v) { FGroupLevel = v; }

  // Computes the pending values whose moment `mode` has come (band end); each is computed once.
  void ProcessExpressions(TpgwReport& report, TpgwComponent* band, TpgwProcessAtMode mode);
  // Forgets the neighbouring duplicates of the objects of one band.
  void ResetDuplicates(const WideString& bandName);
  // ... of every object (a rebuilt page's objects are about to go).
  void ResetAllDuplicates();
  // A rebuilt object with stored instances takes its text from them. True when the object is
  // not to be kept (a hidden or merged duplicate).
  bool LoadValue(TpgwReport& report, TpgwComponent& object);

  // Null when the name has no instances.
  TpgwMacrosItem* Find(const WideString& name) const;
  // Replaces the list's lines by the names that have instances.
  void GetMacroList(TStringList& list) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  int PendingCount() const { return static_cast<int>(FPending.size()); }
  void Clear();
  // Instances per name (upper case), to go back to when a pass is thrown away.
  std::map<WideString, int> InstanceCounts() const;
  void TruncateTo(const std::map<WideString, int>& counts);
  // The "postprocessing" section: one element per object name, one "i" per instance.
  void SaveToXML(TpgwXMLItem& section) const;
  void LoadFromXML(const TpgwXMLItem& section);

 private:
  struct Pending {
    TpgwMacrosItem* Item;
    int Index;
    TpgwView* Source;
    TpgwProcessAtMode ProcessAt;
    int DataLevel;
    int GroupLevel;
  };
  int AddInstance(const WideString& bandName, const WideString& name, const WideString& content,
                  TpgwProcessAtMode processAt, TpgwView& source, bool process);

  std::map<WideString, std::unique_ptr<TpgwMacrosItem>> FItems;
  std::vector<Pending> FPending;
  int FDataLevel = 0;
  int FGroupLevel = 0;
};

}  // namespace pagewright
