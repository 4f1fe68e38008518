// What a report needs from the subsystems above it: data sets, the script and expression
// evaluator, the band engine and the prepared-page store. The report module sits below all of
// them, so it sees them only through these interfaces; a report is given one set of them when it
// is made (startup/startup.h has the default wiring). A service that is absent leaves an error line
// saying what is not available, so a report never pretends to have prepared or exported anything.
//
// Implementations are stateless or keep their state in the report they are handed, so one set of
// services serves every report of the process.
#pragma once

#include <memory>
#include <string_view>

#include "platform/string_list.h"
#include "platform/variant.h"

namespace pagewright {

class TComponent;
class TPersistent;
class TStream;
class TpgwBand;
class TpgwComponent;
class TpgwCustomPreviewPages;
class TpgwReport;

// Data sets: lookups by name and field access for report objects.
class IpgwDataService {
 public:
  virtual ~IpgwDataService() = default;
  // A node's data set by user name, with the current data set as the default.
  virtual TComponent* FindDataSet(TComponent* from, TComponent* current, std::u16string_view name) = 0;
  // The first data set of the process with that user name (UseGlobalDataSetList).
  virtual TComponent* FindGlobalDataSet(std::u16string_view name) = 0;
  // (user name, data set) for every data set of the process.
  virtual void ListGlobalDataSets(TStringList& list) = 0;
  virtual bool IsBlobField(TComponent& dataSet, const WideString& field) = 0;
  // A large-object field's text into `lines`, or its bytes into `into`.
  virtual void AssignBlobTo(TComponent& dataSet, const WideString& field, TStringList& lines) = 0;
  virtual void AssignBlobTo(TComponent& dataSet, const WideString& field, TStream& into) = 0;
  virtual Variant FieldValue(TComponent& dataSet, const WideString& field) = 0;
  virtual WideString FieldDisplayText(TComponent& dataSet, const WideString& field) = 0;
};

// The script engine as the report uses it: its preparation, expressions, and the variables the
// text object sets while it computes its value.
class IpgwScriptService {
 public:
  virtual ~IpgwScriptService() = default;
  // Prepares the script scope; false ends the preparation without pages.
  virtual bool Prepare(TpgwReport& report) = 0;
  virtual Variant Calc(TpgwReport& report, const WideString& expression) = 0;
  // The script variables Value and Self.
  virtual void SetLocalValue(TpgwReport& report, const Variant& value) = 0;
  virtual void SetSelf(TpgwReport& report, TPersistent* view) = 0;
  // A process-wide report variable by name; false when there is none.
  virtual bool GlobalVariable(const WideString& name, Variant& value) = 0;
};

// The band engine.
class IpgwEngineService {
 public:
  virtual ~IpgwEngineService() = default;
  // Runs the engine over the report into its prepared-page store; its success.
  virtual bool Run(TpgwReport& report) = 0;
};

// The prepared-page store and its export walk. The store's class lives above the report, so the
// service that makes a store also releases it.
class IpgwPreparedPagesService;
struct TpgwPreviewPagesRelease {
  IpgwPreparedPagesService* service = nullptr;
  void operator()(TpgwCustomPreviewPages* pages) const;
};
using TpgwPreviewPagesPtr = std::unique_ptr<TpgwCustomPreviewPages, TpgwPreviewPagesRelease>;

class IpgwPreparedPagesService {
 public:
  virtual ~IpgwPreparedPagesService() = default;
  virtual TpgwPreviewPagesPtr Create(TpgwReport& report) = 0;
  virtual void Destroy(TpgwCustomPreviewPages* pages) = 0;
  // Empties a store before the report prepares again.
  virtual void Clear(TpgwCustomPreviewPages& pages) = 0;
  // Hands the report's prepared pages to an export filter; its result.
  virtual bool Export(TpgwReport& report, TComponent& filter) = 0;
};

inline void TpgwPreviewPagesRelease::operator()(TpgwCustomPreviewPages* pages) const {
  if (pages && service) service->Destroy(pages);
}

// Where a picture's expanded data link is loaded from (the host's link protocols).
class IpgwLinkService {
 public:
  virtual ~IpgwLinkService() = default;
  // Loads what the link names into the stream; false when it cannot.
  virtual bool Load(const WideString& link, TStream& into) = 0;
};

// The running engine of a report, as the expression evaluator sees it while the report runs.
class IpgwRunningEngine {
 public:
  virtual ~IpgwRunningEngine() = default;
  // SUM, AVG, MIN, MAX, COUNT over the expression for the band (an object or a number).
  virtual Variant AggregateValue(const WideString& funcName, const WideString& expr, const Variant& band,
                                 int flags) = 0;

  // What a report script sees as Engine, Outline and PreviewPages while the report runs.
  virtual void NewPage() = 0;
  virtual void NewColumn() = 0;
  virtual void PrintBand(TpgwBand* band) = 0;  // ShowBand as a script calls it
  virtual void StopReport() = 0;
  virtual Extended FreeSpace() = 0;
  virtual Extended CurX() const = 0;
  virtual void SetCurX(Extended v) = 0;
  virtual Extended CurY() const = 0;
  virtual void SetCurY(Extended v) = 0;
  virtual int CurLine() const = 0;
  virtual int CurColumn() const = 0;
  virtual int PageNo() = 0;  // the logical page number, 1-based
  virtual int TotalPages() const = 0;
  virtual Extended PageHeight() const = 0;
  virtual Extended PageWidth() const = 0;
  virtual bool FinalPass() const = 0;
  virtual void AddAnchor(const WideString& text) = 0;
  virtual int GetAnchorPage(const WideString& text) = 0;  // 1-based, 0 when unknown
  virtual void AddOutlineItem(const WideString& text) = 0;
  virtual void OutlineLevelRoot() = 0;
  virtual void OutlineLevelUp() = 0;
  virtual int PreparedPageCount() = 0;
  virtual int CurPreparedPage() = 0;  // 0-based
  // Hands an object whose values are computed at a custom moment (ProcessAt paCustom) to the
  // post-processor now; other objects are left alone.
  virtual void ProcessObject(TpgwComponent* obj) = 0;
  // The post-processor: the names of the objects it keeps values for (one a line), and forgetting
  // the neighbouring duplicates of one band's objects.
  virtual void PostProcessorMacroList(TStringList& list) = 0;
  virtual void ResetPostProcessorDuplicates(const WideString& bandName) = 0;
  // A prepared page (0-based) built afresh for a script that keeps it; null out of range.
  virtual std::unique_ptr<TpgwComponent> PreparedPageCopy(int index) = 0;
  // Writes the objects of such a copy, changed, over the objects of prepared page `index`.
  virtual void ReplacePreparedPageObjects(int index, TpgwComponent& page) = 0;
};

// The services a report is made with. Null members are services this report does not have.
struct TpgwReportServices {
  IpgwDataService* Data = nullptr;
  IpgwScriptService* Script = nullptr;
  IpgwEngineService* Engine = nullptr;
  IpgwPreparedPagesService* PreparedPages = nullptr;
  IpgwLinkService* Links = nullptr;
};

}  // namespace pagewright
