#include "startup/startup.h"

#include <mutex>

#include "barcode_view/barcode2d_view.h"
#include "barcode_view/barcode_view.h"
#include "data/data_set.h"
#include "engine/band_engine.h"
#include "export/export_classes.h"
#include "expressions/report_expressions.h"
#include "platform/properties.h"
#include "prepared/preview_pages.h"
#include "render/graphic_formats.h"
#include "report/bands.h"
#include "report/component.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/shape_views.h"
#include "report/view.h"
#include "script/grammar.h"
#include "script/interpreter.h"
#include "script/sys_functions.h"
#include "support/resources.h"

namespace pagewright {

void InitializeEngine() {
  static std::once_flag once;
  std::call_once(once, [] {
    ResourceStore();  // the built-in tables, before anything looks a message up
    RegisterPlatformClasses();
    // Report object classes: each module gives the list its classes, then all register in the
    // list's order.
    ProvideViewClasses();
    ProvideShapeClasses();
    ProvideMemoClasses();
    ProvidePictureClasses();
    ProvideBandClasses();
    ProvidePageClasses();
    RegisterReportClasses();
    RegisterBarcodeClasses();  // one palette item per symbology, outside the report class list
    RegisterBarcode2DClasses();
    RegisterDataClasses();
    RegisterExportClasses();
    RegisterGraphicFormats();
    InitScriptLanguages();
    InitScriptInterpreter();      // takes the compile messages from the resource store
    RegisterSysFunctions();       // the system module every script and expression sees
    RegisterReportExpressions();  // the report module of built-in script items
  });
}

const TpgwReportServices& DefaultReportServices() {
  static const TpgwReportServices services{&ReportDataService(), &ReportScriptService(), &ReportEngineService(),
                                           &ReportPreparedPagesService(), nullptr};
  return services;
}

std::unique_ptr<TpgwReport> CreateReport() {
  return std::make_unique<TpgwReport>(DefaultReportServices());
}

}  // namespace pagewright
