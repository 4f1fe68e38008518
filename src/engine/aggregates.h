// Totals over printed data rows: one accumulator per SUM, AVG, MIN, MAX or COUNT call found in
// the text objects of footers, page footers, column footers and summaries. Data bands feed them
// as their rows print; footers read them and reset them after printing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/types.h"
#include "platform/variant.h"

namespace pagewright {

class TpgwBand;
class TpgwComponent;
class TpgwCustomMemoView;
class TpgwReport;
class TpgwReportPage;

enum TpgwAggregateFunction : uint8_t { agSum, agAvg, agMin, agMax, agCount };

class TpgwAggregateItem {
 public:
  TpgwAggregateFunction AggregateFunction = agSum;
  TpgwComponent* DataRow = nullptr;
  bool CountInvisibleBands = false;
  bool DontReset = false;
  // In a text computed later (at a group's, a data band's or the report's end).
  bool Deferred = false;
  WideString Expression;
  bool IsPageFooter = false;
  // Per vertical column (0..1000) once a column is used; empty otherwise.
  std::vector<Variant> ItemsArray;
  int ItemsCount = 0;
  std::vector<int> ItemsCountArray;
  Variant ItemsValue = Variant::Null();
  bool Keeping = false;
  int LastCount = 0;
  Variant LastValue = Variant::Null();
  int SavedCount = 0;
  Variant SavedValue = Variant::Null();
  WideString MemoName;
  WideString OriginalName;
  TpgwComponent* ParentContainer = nullptr;
  TpgwReport* Report = nullptr;
  int TempItemsCount = 0;
  Variant TempItemsValue = Variant::Null();
  int VColumn = 0;

  // One row: `value` supplied, or (null) the expression evaluated.
  void Calc(const Variant& supplied, bool haveValue);
  Variant Value() const;
  void Reset();
  void ClearValue();
  void StartKeep();
  void EndKeep();
  void DeleteValue();

 private:
  void Combine(Variant& into, int& count, const Variant& value) const;
};

class TpgwAggregateList {
 public:
  explicit TpgwAggregateList(TpgwReport& report) : FReport(report) {}

  void Clear() { FList.clear(); }
  // Resets every item, running totals included (between the passes of a double pass).
  void ClearValues();
  // Creates the items for the calls in the page's footers, page footer, column footer and
  // summary (the band structure must be built).
  void AddItems(TpgwReportPage& page);
  void AddValue(TpgwComponent* dataRow, int vColumn = 0);
  bool AddCalculatedValue(TpgwComponent* dataRow, const Variant& value, int vColumn = 0);
  void DeleteValue(TpgwComponent* dataRow);
  void SaveValue(TpgwComponent* dataRow);
  void RestoreValue(TpgwComponent* dataRow);
  void StartKeep();
  void EndKeep();
  void Reset(TpgwComponent* parentContainer);
  // By the call's text ("SUM(<ds."x">)"), ignoring case; null when no item matches.
  Variant GetValue(TpgwComponent* parentContainer, const WideString& complexName, int vColumn);
  // By function name, expression, data row and flags; null when no item matches.
  Variant GetValue(TpgwComponent* parentContainer, int vColumn, const WideString& name,
                   const WideString& expression, TpgwComponent* dataRow, int flags);

  int Count() const { return static_cast<int>(FList.size()); }
  TpgwAggregateItem& Items(int index) const { return *FList.at(static_cast<size_t>(index)); }

 private:
  void AddFromBand(TpgwBand* band, TpgwBand* defaultDataRow);
  void AddFromChain(TpgwBand* band, TpgwBand* defaultDataRow);
  void AddFromMemo(TpgwCustomMemoView& memo, TpgwBand* defaultDataRow);
  // The calls in texts computed later, in bands outside the footers.
  void AddDeferredFrom(TpgwBand* band, TpgwBand* defaultDataRow);
  void ParseExpression(const WideString& expr, TpgwCustomMemoView& memo, TpgwBand* defaultDataRow, int depth);
  void ParseText(const WideString& text, TpgwCustomMemoView& memo, TpgwBand* defaultDataRow, int depth);
  void AddCall(const WideString& funcName, const std::vector<WideString>& args, const WideString& callText,
               TpgwCustomMemoView& memo, TpgwBand* defaultDataRow);

  TpgwReport& FReport;
  std::vector<std::unique_ptr<TpgwAggregateItem>> FList;
};

}  // namespace pagewright
