// The label sample run: builds the one-record label table, loads the label template, binds the
// data, prepares the report and exports it to PDF and JPEG, writing one line per stage.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>

#include "platform/exceptions.h"
#include "platform/mem_table.h"

namespace pagewright {

class TpgwReport;
class TpgwPDFExport;
struct TpgwReportServices;

// A stage of the run that did not do its work (missing or unreadable template, failed
// preparation, no pages, failed export).
PW_DECLARE_EXCEPTION(ELabelRunError, Exception)

// One column of the label table with the value of its single record.
struct LabelField {
  const char16_t* name;
  TFieldType type;
  int size;
  const char16_t* text;  // string fields
  int32_t number;        // integer fields
};

// The 20 columns in table order.
std::span<const LabelField> LabelFields();

// Defines the label columns on an empty table, creates and opens it, and appends and posts the
// one record.
void FillLabelTable(TMemTable& table);

struct LabelRunPaths {
  std::string templatePath = "reportes/EtiquetaVelmo.pw3";
  std::string pdfPath = "scratch/EtiquetaBultoAXU_sample.pdf";
  std::string jpegPath = "scratch/EtiquetaBultoAXU_sample.jpg";
};

// Seams for running the sample with stand-ins for the subsystems.
struct LabelRunHooks {
  // The services the report is made with; unset, the default wiring.
  const TpgwReportServices* services = nullptr;
  // The number of prepared pages; unset, the report's own prepared-page store is counted.
  std::function<int(TpgwReport&)> preparedPageCount;
  // The number of pages the PDF filter was given; unset, the filter's own count.
  std::function<int(TpgwPDFExport&)> exportedPdfPageCount;
};

// The run itself. Raises on the first failure; the five objects it creates are released in
// creation order in any case. The outputs get their final names only when the whole run
// succeeds; after a failure no file written by this run is left behind.
void RunLabelSample(std::ostream& out, const LabelRunPaths& paths = {}, const LabelRunHooks& hooks = {});

// The program: starts the engine, runs the sample, and writes the success line or the error line
// "ERROR: <class>: <message>". Returns the process exit code (0 on success, 1 after an error).
int RunLabelProgram(std::ostream& out, const LabelRunPaths& paths = {}, const LabelRunHooks& hooks = {});

}  // namespace pagewright
