// The report module of built-in script items: report constants and enumerations, the report
// classes with the members scripts call, the global variables object and the date functions.
// Every report script gets it (after the system module); the report's own functions Get, Set,
// IIF and the aggregates come with each preparation (report_expressions.h).
#pragma once

#include <memory>

#include "script/interpreter.h"

namespace pagewright {

class TpgwReportFunctions : public TvmRTTIModule {
 public:
  explicit TpgwReportFunctions(TvmScript* script);
};

std::unique_ptr<TvmRTTIModule> MakeReportFunctions(TvmScript* script);

}  // namespace pagewright
