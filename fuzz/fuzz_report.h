// What the report-level fuzz programs share: a report wired like the programs' reports, loaded
// from the input bytes with every limit a hostile template can meet set low, so that one input
// stays short whatever it asks for (huge data ranges, endless page breaks, long expressions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "expressions/report_expressions.h"
#include "platform/streams.h"
#include "prepared/preview_pages.h"
#include "report/report.h"
#include "report/services.h"
#include "startup/startup.h"

namespace pagewright::fuzz {

// Inputs larger than this are skipped: bigger templates find nothing smaller ones do not, and
// only slow each run down.
inline constexpr size_t kMaxTemplateBytes = 64 * 1024;
// A prepared-page store that stops the run (the report's Terminated flag, which every engine
// loop checks) once it holds this many pages or objects.
inline constexpr int kMaxPages = 6;
inline constexpr int kMaxObjects = 1500;
// Script statements per expression (the engine's own default is far larger).
inline constexpr int64_t kStepLimit = 20000;

class BoundedPreviewPages : public TpgwPreviewPages {
 public:
  using TpgwPreviewPages::TpgwPreviewPages;
  void AddPage(TpgwReportPage& page) override {
    TpgwPreviewPages::AddPage(page);
    if (++FPages >= kMaxPages) FReport.SetTerminated(true);
  }
  void AddObject(TpgwComponent& obj) override {
    TpgwPreviewPages::AddObject(obj);
    if (++FObjects >= kMaxObjects) FReport.SetTerminated(true);
  }
  void Clear() override {
    TpgwPreviewPages::Clear();
    FPages = FObjects = 0;
  }

 private:
  int FPages = 0, FObjects = 0;
};

class BoundedPagesService : public IpgwPreparedPagesService {
 public:
  TpgwPreviewPagesPtr Create(TpgwReport& report) override {
    return TpgwPreviewPagesPtr(new BoundedPreviewPages(report), TpgwPreviewPagesRelease{this});
  }
  void Destroy(TpgwCustomPreviewPages* pages) override { delete pages; }
  void Clear(TpgwCustomPreviewPages& pages) override { pages.Clear(); }
  bool Export(TpgwReport& report, TComponent& filter) override {
    TpgwCustomPreviewPages* pages = report.PreviewPages();
    return pages && pages->Export(&filter);
  }
};

inline const TpgwReportServices& BoundedServices() {
  static BoundedPagesService pages;
  static const TpgwReportServices services = [] {
    TpgwReportServices s = DefaultReportServices();
    s.PreparedPages = &pages;
    return s;
  }();
  return services;
}

// The options the programs run templates with, set again after loading since a template stores
// its own: no dialogs, no password prompt, no script run (the script programs have their own
// fuzz targets), files only from a folder that does not exist.
inline void Confine(TpgwReport& report) {
  report.EngineOptions().SetSilentMode(true);
  report.EngineOptions().SetEnableThreadSafe(true);
  report.EngineOptions().SetRunScripts(false);
  report.EngineOptions().SetUseFileCache(false);
  report.SetShowProgress(false);
  report.SetRestrictFilePaths(true);
  report.SetFileName(u"/nonexistent-pagewright-fuzz/template.pw3");
}

// The report loaded from the bytes; null when the input is too large or nothing loaded.
inline std::unique_ptr<TpgwReport> LoadBoundedReport(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    InitializeEngine();
    return true;
  }();
  (void)initialised;
  if (size > kMaxTemplateBytes) return nullptr;
  auto report = std::make_unique<TpgwReport>(BoundedServices());
  Confine(*report);
  TStringStream in(std::string(reinterpret_cast<const char*>(data), size));
  report->LoadFromStream(in);
  Confine(*report);
  ReportScript(*report).SetStepLimit(kStepLimit);
  return report;
}

// Prepares with the limits above; false when nothing was prepared.
inline bool PrepareBounded(TpgwReport& report) {
  try {
    return report.PrepareReport(true) && report.PreviewPages();
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace pagewright::fuzz
