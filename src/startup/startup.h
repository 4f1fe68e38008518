// Process start-up and the default wiring of reports. This library sits above every subsystem
// and nothing but programs, tests and benchmarks depends on it.
//
// InitializeEngine fills the process-wide tables (class registry, resource strings, picture
// formats, script languages and registration modules) in one visible order; DefaultReportServices
// connects a report to the data sets, the script engine, the band engine and the prepared-page
// store.
#pragma once

#include <memory>

#include "report/report.h"

namespace pagewright {

// Idempotent; call once before loading a template. The tables are read without locks afterwards.
void InitializeEngine();

// The services every report of the programs runs with.
const TpgwReportServices& DefaultReportServices();

// A report root without an owner, wired with the default services.
std::unique_ptr<TpgwReport> CreateReport();

}  // namespace pagewright
