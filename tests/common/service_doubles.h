// Stand-ins for the services a report is made with, for tests that run a report without the
// band engine, the script engine or the prepared-page store. Each does what its function member
// says; unset members do nothing and succeed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/unicode.h"
#include "report/bands.h"
#include "report/report.h"
#include "report/services.h"

namespace pagewright {

struct ScriptServiceDouble : IpgwScriptService {
  std::function<bool(TpgwReport&)> prepare;
  std::function<Variant(TpgwReport&, const WideString&)> calc;
  std::function<void(TpgwReport&, const Variant&)> setLocalValue;
  std::function<bool(const WideString&, Variant&)> globalVariable;
  bool Prepare(TpgwReport& report) override { return prepare ? prepare(report) : true; }
  Variant Calc(TpgwReport& report, const WideString& expression) override {
    return calc ? calc(report, expression) : Variant::Null();
  }
  void SetLocalValue(TpgwReport& report, const Variant& value) override {
    if (setLocalValue) setLocalValue(report, value);
  }
  void SetSelf(TpgwReport&, TPersistent*) override {}
  bool GlobalVariable(const WideString& name, Variant& value) override {
    return globalVariable && globalVariable(name, value);
  }
};

// Finds data sets through `findDataSet` (unset: the current one for any name); fields through
// the function members.
struct DataServiceDouble : IpgwDataService {
  std::function<TComponent*(std::u16string_view)> findDataSet;
  std::function<bool(TComponent&, const WideString&)> isBlobField;
  std::function<void(TComponent&, const WideString&, TStringList&)> blobText;
  std::function<void(TComponent&, const WideString&, TStream&)> blobBytes;
  std::function<Variant(TComponent&, const WideString&)> fieldValue;
  std::function<WideString(TComponent&, const WideString&)> displayText;
  TComponent* FindDataSet(TComponent*, TComponent* current, std::u16string_view name) override {
    if (findDataSet) return findDataSet(name);
    return name.empty() ? nullptr : current;
  }
  TComponent* FindGlobalDataSet(std::u16string_view) override { return nullptr; }
  void ListGlobalDataSets(TStringList&) override {}
  bool IsBlobField(TComponent& ds, const WideString& field) override {
    return isBlobField && isBlobField(ds, field);
  }
  void AssignBlobTo(TComponent& ds, const WideString& field, TStringList& lines) override {
    if (blobText) blobText(ds, field, lines);
  }
  void AssignBlobTo(TComponent& ds, const WideString& field, TStream& into) override {
    if (blobBytes) blobBytes(ds, field, into);
  }
  Variant FieldValue(TComponent& ds, const WideString& field) override {
    return fieldValue ? fieldValue(ds, field) : Variant::Null();
  }
  WideString FieldDisplayText(TComponent& ds, const WideString& field) override {
    return displayText ? displayText(ds, field) : WideString();
  }
};

struct LinkServiceDouble : IpgwLinkService {
  std::function<bool(const WideString&, TStream&)> load;
  bool Load(const WideString& link, TStream& into) override { return load && load(link, into); }
};

struct EngineServiceDouble : IpgwEngineService {
  std::function<bool(TpgwReport&)> run;
  bool Run(TpgwReport& report) override { return run ? run(report) : true; }
};

// Makes no store; exports through `exportRun`.
struct PreparedPagesServiceDouble : IpgwPreparedPagesService {
  std::function<bool(TpgwReport&, TComponent&)> exportRun;
  TpgwPreviewPagesPtr Create(TpgwReport&) override { return TpgwPreviewPagesPtr(nullptr, {this}); }
  void Destroy(TpgwCustomPreviewPages*) override {}
  void Clear(TpgwCustomPreviewPages&) override {}
  bool Export(TpgwReport& report, TComponent& filter) override {
    return exportRun ? exportRun(report, filter) : true;
  }
};

// A running engine that answers totals through a function and keeps what scripts ask of it:
// placement calls are counted and recorded, positions and pages are plain fields.
struct RunningEngineDouble : IpgwRunningEngine {
  std::function<Variant(const WideString&, const WideString&, const Variant&, int)> aggregate;
  std::vector<std::string> calls;  // "NewPage", "ShowBand Band1", "AddAnchor x", ...
  Extended curX = 0, curY = 0, freeSpace = 100, pageHeight = 1000, pageWidth = 700;
  int curLine = 1, curColumn = 1, pageNo = 1, totalPages = 0, preparedPages = 1, curPreparedPage = 0;
  bool finalPass = true;
  std::vector<WideString> macros;  // what the post-processor keeps values for
  std::function<std::unique_ptr<TpgwComponent>(int)> pageCopy;  // the prepared pages

  Variant AggregateValue(const WideString& f, const WideString& e, const Variant& band, int flags) override {
    return aggregate ? aggregate(f, e, band, flags) : Variant::Null();
  }
  void NewPage() override { calls.push_back("NewPage"); }
  void NewColumn() override { calls.push_back("NewColumn"); }
  void PrintBand(TpgwBand* band) override {
    calls.push_back("ShowBand " + std::string(band ? Utf16ToUtf8(band->Name()) : std::string("-")));
  }
  void StopReport() override { calls.push_back("StopReport"); }
  Extended FreeSpace() override { return freeSpace; }
  Extended CurX() const override { return curX; }
  void SetCurX(Extended v) override { curX = v; }
  Extended CurY() const override { return curY; }
  void SetCurY(Extended v) override { curY = v; }
  int CurLine() const override { return curLine; }
  int CurColumn() const override { return curColumn; }
  int PageNo() override { return pageNo; }
  int TotalPages() const override { return totalPages; }
  Extended PageHeight() const override { return pageHeight; }
  Extended PageWidth() const override { return pageWidth; }
  bool FinalPass() const override { return finalPass; }
  void AddAnchor(const WideString& text) override { calls.push_back("AddAnchor " + Utf16ToUtf8(text)); }
  int GetAnchorPage(const WideString&) override { return 3; }
  void AddOutlineItem(const WideString& text) override { calls.push_back("AddItem " + Utf16ToUtf8(text)); }
  void OutlineLevelRoot() override { calls.push_back("LevelRoot"); }
  void OutlineLevelUp() override { calls.push_back("LevelUp"); }
  int PreparedPageCount() override { return preparedPages; }
  int CurPreparedPage() override { return curPreparedPage; }
  void ProcessObject(TpgwComponent* obj) override {
    calls.push_back("ProcessObject " + std::string(obj ? Utf16ToUtf8(obj->Name()) : std::string("-")));
  }
  void PostProcessorMacroList(TStringList& list) override {
    list.Clear();
    for (const WideString& name : macros) list.Add(name);
  }
  void ResetPostProcessorDuplicates(const WideString& band) override {
    calls.push_back("ResetDuplicates " + Utf16ToUtf8(band));
  }
  std::unique_ptr<TpgwComponent> PreparedPageCopy(int index) override {
    return pageCopy ? pageCopy(index) : nullptr;
  }
  void ReplacePreparedPageObjects(int index, TpgwComponent& page) override {
    calls.push_back("ReplacePage " + std::to_string(index) + " " + Utf16ToUtf8(page.Name()));
  }
};

}  // namespace pagewright
