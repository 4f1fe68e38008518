// The sample label template: what the label program and the GS1 logistic label layout rely on.
#include "storage/xml_document.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/format.h"
#include "platform/types.h"
#include "platform/unicode.h"

namespace pagewright {
namespace {

const char kTemplatePath[] = PW_TEST_DATA_DIR "/../../examples/label/reportes/EtiquetaVelmo.pw3";
constexpr Extended kPixelsPerMm = 3.77953L;
constexpr Extended kTolerance = 0.0001L;

// The fields of the label record, in table order.
const char* const kFields[] = {"proveedor_nombre",
                               "proveedor_operador",
                               "proveedor_dir",
                               "lugar_entrega_linea1",
                               "lugar_entrega_linea2",
                               "lugar_entrega_linea3",
                               "destino_linea1",
                               "destino_linea2",
                               "destino_linea3",
                               "sucursal_codigo",
                               "barcode_ia91",
                               "dpto_pventa",
                               "pedido_num",
                               "albaran_num",
                               "barcode_ia98",
                               "bulto_texto",
                               "bulto_num",
                               "total_bultos",
                               "sscc",
                               "barcode_ia00"};

std::string U8(const WideString& s) {
  return Utf16ToUtf8(s);
}

WideString Prop(const TpgwXMLItem* item, const char* name) {
  return item->GetProp(Utf8ToUtf16(name));
}

// A numeric attribute; absent attributes take the property's default.
Extended Num(const TpgwXMLItem* item, const char* name, Extended absent = 0) {
  const WideString name16 = Utf8ToUtf16(name);
  if (!item->PropExists(name16)) return absent;
  return StrToFloat(item->GetProp(name16));
}

void Collect(const TpgwXMLItem* item, const char* className, std::vector<const TpgwXMLItem*>& out) {
  for (const auto& child : item->Children()) {
    if (U8(child->Name()) == className) out.push_back(child.get());
    Collect(child.get(), className, out);
  }
}

struct Box {
  Extended left, top, right, bottom;
};

Box BoxOf(const TpgwXMLItem* item) {
  const Extended left = Num(item, "Left"), top = Num(item, "Top");
  return {left, top, left + Num(item, "Width"), top + Num(item, "Height")};
}

bool Overlap(const Box& a, const Box& b) {
  return a.left < b.right - kTolerance && b.left < a.right - kTolerance && a.top < b.bottom - kTolerance &&
         b.top < a.bottom - kTolerance;
}

class LabelTemplate : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.LoadFromFile(kTemplatePath);
    root = doc.Root();
    std::vector<const TpgwXMLItem*> bands;
    Collect(root, "TpgwMasterData", bands);
    ASSERT_EQ(bands.size(), 1u);
    band = bands[0];
    for (const auto& child : band->Children()) objects.push_back(child.get());
    ASSERT_FALSE(objects.empty());
  }

  TpgwXMLDocument doc;
  const TpgwXMLItem* root = nullptr;
  const TpgwXMLItem* band = nullptr;
  std::vector<const TpgwXMLItem*> objects;
};

TEST_F(LabelTemplate, PageBandAndEveryFieldAreWhereTheLabelProgramLooks) {
  // Written the way templates are written: header line, CR LF after every line.
  std::ifstream in(kTemplatePath, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\r\n", 0), 0u);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at byte " << i;
    }
  }

  EXPECT_EQ(U8(root->Name()), "TpgwReport");
  EXPECT_FALSE(root->PropExists(u"Name"));
  const int datasets = root->Find(u"Datasets");
  ASSERT_GE(datasets, 0);
  ASSERT_EQ(root->Items(datasets)->Count(), 1);
  EXPECT_EQ(U8(Prop(root->Items(datasets)->Items(0), "DataSetName")), "pgwDBmaster");

  const TpgwXMLItem* page = band->Parent();
  ASSERT_EQ(U8(page->Name()), "TpgwReportPage");
  EXPECT_EQ(Num(page, "PaperWidth"), 105);
  EXPECT_EQ(Num(page, "PaperHeight"), 148);
  EXPECT_EQ(Num(page, "PaperSize"), 256);  // custom size: keeps its own width and height

  EXPECT_EQ(U8(Prop(band, "Name")), "MasterData1");
  EXPECT_EQ(U8(Prop(band, "DataSetName")), "pgwDBmaster");
  const Extended printableWidth =
      (Num(page, "PaperWidth") - Num(page, "LeftMargin") - Num(page, "RightMargin")) * kPixelsPerMm;
  const Extended printableHeight =
      (Num(page, "PaperHeight") - Num(page, "TopMargin") - Num(page, "BottomMargin")) * kPixelsPerMm;
  const Extended bandWidth = Num(band, "Width"), bandHeight = Num(band, "Height");
  EXPECT_LE(Num(band, "Left") + bandWidth, printableWidth + kTolerance);
  EXPECT_LE(bandHeight, printableHeight + kTolerance);  // one label, one page

  std::set<std::string> referenced;
  for (const TpgwXMLItem* object : objects) {
    const Box b = BoxOf(object);
    const std::string name = U8(Prop(object, "Name"));
    EXPECT_GE(b.left, 0) << name;
    EXPECT_GE(b.top, 0) << name;
    EXPECT_LE(b.right, bandWidth + kTolerance) << name;
    EXPECT_LE(b.bottom, bandHeight + kTolerance) << name;
    const std::string text = U8(Prop(object, "Text")) + U8(Prop(object, "Expression"));
    for (const char* field : kFields) {
      if (U8(Prop(object, "DataField")) == field ||
          text.find(std::string("pgwDBmaster.\"") + field + "\"") != std::string::npos)
        referenced.insert(field);
    }
  }
  for (const char* field : kFields) EXPECT_EQ(referenced.count(field), 1u) << field << " is shown nowhere";
}

TEST_F(LabelTemplate, BarcodesAreScannableGs1SymbolsWithTheSsccAtTheBottom) {
  std::vector<const TpgwXMLItem*> barcodes;
  Collect(band, "TpgwBarCodeView", barcodes);
  ASSERT_EQ(barcodes.size(), 3u);
  const Extended bandWidth = Num(band, "Width");
  std::set<std::string> fields;
  const TpgwXMLItem* sscc = nullptr;
  for (const TpgwXMLItem* code : barcodes) {
    const std::string name = U8(Prop(code, "Name"));
    const std::string field = U8(Prop(code, "DataField"));
    fields.insert(field);
    if (field == "barcode_ia00") sscc = code;
    EXPECT_EQ(U8(Prop(code, "BarType")), "bcGS1Code128") << name;
    EXPECT_EQ(U8(Prop(code, "DataSetName")), "pgwDBmaster") << name;

    // Whole pixels per module at 96 per inch.
    const Extended zoom = Num(code, "Zoom", 1);
    EXPECT_EQ(zoom, 2) << name;
    const int rotation = static_cast<int>(Num(code, "Rotation"));
    const bool vertical = rotation == 90 || rotation == 270;
    const Extended along = Num(code, vertical ? "Height" : "Width");
    const Extended across = Num(code, vertical ? "Width" : "Height");
    EXPECT_EQ(along / zoom, Trunc(along / zoom)) << name << ": not a whole number of modules";

    // The bars are the object's height in modules less the text band (text height + 2, and 2
    // more below the bars); GS1 asks for at least 25 mm.
    const bool showText = U8(Prop(code, "ShowText")) != "False";
    const Extended textModules = showText ? 2 - Num(code, "Font.Height", -12) + 2 : 0;
    const Extended barHeight = (RoundHalfEven(across / zoom) - textModules) * zoom;
    EXPECT_GE(barHeight, 25 * kPixelsPerMm) << name;

    // Ten blank modules before and after the symbol; the object holds one of them at each end.
    ASSERT_FALSE(vertical) << name << ": quiet zones are checked for horizontal symbols";
    const Box b = BoxOf(code);
    const Extended quiet = 9 * zoom;
    EXPECT_GE(b.left, quiet - kTolerance) << name;
    EXPECT_LE(b.right + quiet, bandWidth + kTolerance) << name;
    const Box zone = {b.left - quiet, b.top, b.right + quiet, b.bottom};
    for (const TpgwXMLItem* other : objects) {
      if (other != code) {
        EXPECT_FALSE(Overlap(zone, BoxOf(other))) << name << " and " << U8(Prop(other, "Name"));
      }
    }
  }
  EXPECT_EQ(fields, (std::set<std::string>{"barcode_ia00", "barcode_ia91", "barcode_ia98"}));

  ASSERT_NE(sscc, nullptr);
  for (const TpgwXMLItem* object : objects) {
    if (object == sscc) continue;
    EXPECT_LT(BoxOf(object).top, BoxOf(sscc).top) << U8(Prop(object, "Name"));
    EXPECT_LE(BoxOf(object).bottom, BoxOf(sscc).bottom) << U8(Prop(object, "Name"));
  }
}

}  // namespace
}  // namespace pagewright
