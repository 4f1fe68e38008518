#include "startup/startup.h"

#include <gtest/gtest.h>

#include "platform/properties.h"
#include "render/graphic_formats.h"
#include "report/component.h"
#include "script/grammar.h"

namespace pagewright {
namespace {

TEST(Initialization, FillsEveryProcessTableOnce) {
  InitializeEngine();
  InitializeEngine();  // a second call changes nothing
  for (const char16_t* name :
       {u"TpgwReport", u"tpgwmasterdata", u"TpgwReportPage", u"TpgwDataPage", u"TpgwFrame", u"TpgwPageHeader",
        u"TpgwDBDataset", u"TpgwUserDataSet", u"TpgwLineView", u"TpgwShapeView", u"TpgwMemoView",
        u"TpgwSysMemoView", u"TpgwPictureView", u"TpgwDigitalSignatureView", u"TpgwBarCodeView"})
    EXPECT_NE(FindReportClass(name), nullptr);
  EXPECT_EQ(FindReportClass(u"TpgwNoSuchView"), nullptr);
  for (const char* name : {"TpgwPDFExport", "TpgwJPEGExport", "TpgwIOTransportFile"})
    EXPECT_NE(ClassRegistry().Find(name), nullptr) << name;
  EXPECT_NO_THROW(ScriptLanguageGrammar(u"PascalScript"));
}

}  // namespace
}  // namespace pagewright
