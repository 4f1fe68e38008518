// The encoder's properties, width classes, check digits, text rewriting and failures.
#include "barcode/barcode.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/exceptions.h"
#include "platform/properties.h"

namespace pagewright {
namespace {

TEST(Barcode, DefaultsAndTypeDependentModul) {
  TpgwBarcode bc;
  EXPECT_EQ(bc.Typ(), bcCodeEAN13);
  EXPECT_EQ(bc.Modul(), 1);
  EXPECT_EQ(bc.Ratio(), 2.0);
  EXPECT_FALSE(bc.Checksum());
  EXPECT_EQ(bc.CheckSumMethod(), csmModulo10);
  EXPECT_EQ(bc.Color(), clWhite);
  EXPECT_EQ(bc.ColorBar(), clBlack);
  EXPECT_EQ(bc.Angle(), 0.0);
  EXPECT_EQ(bc.Font().Name, u"Arial");
  EXPECT_EQ(bc.Font().Size, 9);
  EXPECT_EQ(bc.Font().Height(), -12);
  bc.SetTyp(bcCodeUSPSIntelligentMail);
  EXPECT_EQ(bc.Modul(), 3);
  bc.SetTyp(bcCode39);
  EXPECT_EQ(bc.Modul(), 1);
}

TEST(Barcode, PublishedPropertiesInDeclarationOrder) {
  TpgwBarcode bc;
  EXPECT_EQ(bc.ClassName(), "TpgwBarcode");
  std::string names;
  for (const TPropInfo* p : TpgwBarcode::StaticClassInfo().Properties()) names += p->Name() + " ";
  EXPECT_NE(names.find("Angle Color ColorBar Checksum CheckSumMethod Height Modul Ratio Text Typ "),
            std::string::npos)
      << names;
  for (const char* name : {"Color", "ColorBar", "Checksum", "CheckSumMethod", "Height", "Modul", "Typ"})
    EXPECT_TRUE(GetPropInfo(bc, name).IsDefaultValue(bc)) << name;
  for (const char* name : {"Angle", "Ratio"})  // floats record their initial value
    EXPECT_EQ(GetPropValue(bc, name).Float, GetPropInfo(bc, name).Default().Float) << name;
  // by name, as scripts set them: the enumeration by ordinal, the text in UTF-16
  SetPropValue(bc, "Typ", TPropValue::Enum(bcCodeUSPSIntelligentMail));
  EXPECT_EQ(bc.Typ(), bcCodeUSPSIntelligentMail);
  EXPECT_EQ(bc.Modul(), 3);
  SetPropValue(bc, "Text", TPropValue::String(u"caf\u00e9"));
  EXPECT_EQ(bc.Text(), "caf\xe9");
  EXPECT_EQ(GetPropValue(bc, "Text").Str, u"caf\u00e9");
}

TEST(Barcode, AssignCopiesFieldsButNotTheFont) {
  TpgwBarcode a;
  a.SetTyp(bcCode93);
  a.SetText("ABC");
  a.SetChecksum(true);
  a.SetRatio(2.5);
  a.SetAngle(90);
  a.SetColorBar(0x0000FF);
  TpgwBarcodeFont f;
  f.Size = 7;
  a.SetFont(f);
  TpgwBarcode b;
  b.Assign(a);
  EXPECT_EQ(b.Typ(), bcCode93);
  EXPECT_EQ(b.Text(), "ABC");
  EXPECT_TRUE(b.Checksum());
  EXPECT_EQ(b.Ratio(), 2.5);
  EXPECT_EQ(b.Angle(), 90.0);
  EXPECT_EQ(b.ColorBar(), 0x0000FF);
  EXPECT_EQ(b.Font().Size, 9);
}

TEST(Barcode, WidthClassesFromModulAndClampedRatio) {
  struct Case {
    TpgwBarcodeType type;
    int modul;
    double ratio;
    double storedRatio;
    std::array<int, 4> classes;
  } cases[] = {
      {bcCodeEAN13, 1, 2.0, 2.0, {1, 2, 3, 4}},
      {bcCodeEAN13, 1, 2.5, 2.5, {1, 2, 3, 4}},  // 2.5 rounds to 2, ties to even
      {bcCodeEAN13, 2, 2.5, 2.5, {2, 5, 7, 10}},
      {bcCodeEAN13, 1, 3.5, 3.0, {1, 3, 4, 6}},
      {bcCode39, 1, 1.5, 2.0, {1, 2, 3, 4}},
      {bcCode_2_5_matrix, 1, 2.0, 2.25, {1, 2, 3, 4}},
      {bcCode_2_5_matrix, 1, 3.5, 3.0, {1, 3, 4, 6}},
      {bcCode_2_5_matrix, 4, 2.5, 2.5, {4, 10, 15, 20}},
      {bcCode128, 1, 5.0, 5.0, {1, 5, 7, 10}},  // the Code 128 family keeps any ratio
      {bcCodePostNet, 1, 1.0, 1.0, {1, 1, 1, 2}},
      {bcPharmacode, 1, 1.0, 1.0, {1, 1, 1, 2}},
      {bcCodeCodabar, 1, 9.0, 3.0, {1, 3, 4, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(BarcodeTypeValueName(c.type)) + " ratio " + std::to_string(c.ratio));
    TpgwBarcode bc;
    bc.SetTyp(c.type);
    bc.SetModul(c.modul);
    bc.SetRatio(c.ratio);
    bc.SetText(c.type == bcPharmacode ? "100" : "12");
    bc.BuildElementPattern();
    EXPECT_EQ(bc.Ratio(), c.storedRatio);
    EXPECT_EQ(bc.Modules(), c.classes);
  }
}

TEST(Barcode, ElementCharactersDecodeToWidthAndKind) {
  TpgwBarcode bc;
  bc.SetTyp(bcCode128);
  bc.SetModul(2);
  bc.SetRatio(3);
  bc.SetText("A");
  bc.BuildElementPattern();  // classes 2, 6, 9, 12
  struct Case {
    char e;
    int width;
    TpgwBarKind kind;
  } cases[] = {{'0', 2, bkSpace},    {'1', 6, bkSpace},    {'2', 9, bkSpace},    {'3', 12, bkSpace},
               {'5', 2, bkFullBar},  {'6', 6, bkFullBar},  {'7', 9, bkFullBar},  {'8', 12, bkFullBar},
               {'A', 2, bkShortBar}, {'B', 6, bkShortBar}, {'C', 9, bkShortBar}, {'D', 12, bkShortBar},
               {'F', 2, bkTracker},  {'G', 2, bkAscender}, {'H', 2, bkDescender}};
  for (const Case& c : cases) {
    int w = 0;
    TpgwBarKind k = bkSpace;
    bc.ElementWidthAndKind(c.e, w, k);
    EXPECT_EQ(w, c.width) << c.e;
    EXPECT_EQ(k, c.kind) << c.e;
  }
  for (char bad : {'4', '9', 'E', 'I', ' ', '\0'}) {
    int w;
    TpgwBarKind k;
    try {
      bc.ElementWidthAndKind(bad, w, k);
      ADD_FAILURE() << "no exception for " << int(bad);
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "TpgwBarcode: internal Error");
    }
  }
}

TEST(Barcode, TypeNamesAsTemplatesAndResourcesWriteThem) {
  TpgwBarcodeType t;
  ASSERT_TRUE(FindBarcodeType("bcCodeEAN128C", t));
  EXPECT_EQ(t, bcCodeEAN128C);
  ASSERT_TRUE(FindBarcodeType("EAN128C", t));
  EXPECT_EQ(t, bcCodeEAN128C);
  ASSERT_TRUE(FindBarcodeType("codebar", t));
  EXPECT_EQ(t, bcCodeCodabar);
  ASSERT_TRUE(FindBarcodeType("USPS Intelligent Mail", t));
  EXPECT_EQ(t, bcCodeUSPSIntelligentMail);
  ASSERT_TRUE(FindBarcodeType("bcDeutsche_Post_Leitcode", t));
  EXPECT_EQ(t, bcDeutsche_Post_Leitcode);
  EXPECT_FALSE(FindBarcodeType("EAN14", t));
  EXPECT_FALSE(FindBarcodeType("", t));
  EXPECT_STREQ(BarcodeTypeData(bcCode_2_5_interleaved).Name, "2_5_interleaved");
  EXPECT_TRUE(BarcodeTypeData(bcPharmacode).num);
  EXPECT_FALSE(BarcodeTypeData(bcGS1Code128).num);
}

TEST(Barcode, ModuloTenCheckDigits) {
  struct Case {
    const char* text;
    const char* withCheck;
  } cases[] = {
      {"400638133393", "4006381333931"},
      {"0038412345000000007", "00384123450000000073"},
      {"03600029145", "036000291452"},
      {"1234567", "12345670"},  // check 0
      {"000", "0000"},
      {"", "0"},
      {"9", "93"},
      {"12a3", "12a36"},  // other characters take no part
  };
  for (const Case& c : cases) EXPECT_EQ(CheckSumText(c.text, csmModulo10), c.withCheck) << c.text;
  EXPECT_EQ(CheckSumText("123", csmNone), "123");
}

// What each type adds to or makes of its text.
TEST(Barcode, CheckCharactersAndRewrittenText) {
  struct Case {
    TpgwBarcodeType type;
    const char* text;
    bool checksum;
    const char* textAfter;
    const char* encoded;
  } cases[] = {
      {bcCodeEAN13, "400638133393", true, "4006381333931", "4006381333931"},
      {bcCodeEAN13, "4006381333931", true, "4006381333931", "4006381333931"},  // same again
      {bcCodeEAN13, "123", false, "0000000000123", "0000000000123"},
      {bcCodeEAN13, " 5901234123457 ", false, "5901234123457", "5901234123457"},
      {bcCodeEAN8, "5512345", true, "5512345", "55123457"},
      {bcCodeEAN8, "55123450", true, "55123450", "55123457"},  // a wrong check digit is replaced
      {bcCodeEAN8, "123", false, "123", "00000123"},
      {bcCodeUPC_A, "03600029145", false, "003600029145", "003600029145"},
      {bcCodeUPC_A, "036000291450", true, "036000291452", "036000291452"},
      {bcCodeUPC_A, "03600029145", true, "036000291452", "036000291452"},  // eleven data digits
      {bcCodeUPC_E0, "4252610", true, "4252614", "4252614"},  // check digit of 04210000526: 4
      {bcCodeUPC_E1, "123456", true, "0123454", "0123454"},
      {bcCodeUPC_Supp5, "52495", true, "524951", "52495"},
      {bcCodeUPC_Supp5, "524951", true, "524951", "52495"},  // the appended digit is not added twice
      {bcCodeUPC_Supp2, "5", false, "5", "05"},
      {bcCode_2_5_interleaved, "12345", false, "012345", "012345"},
      {bcCode_2_5_interleaved, "123", true, "1236", "1236"},
      {bcCode_2_5_interleaved, "1234", true, "1234", "1234"},  // even: no check digit
      {bcCode_2_5_interleaved, "1", true, "17", "17"},
      {bcCodeMSI, "1234567", true, "1234567", "12345674"},  // every other digit doubled from the right
      {bcCodeMSI, "123456", true, "123456", "1234566"},
      {bcCodeMSI, "19", true, "19", "190"},  // sum 10: check 0
      {bcCode39, "CODE39", true, "CODE39", "CODE39W"},
      {bcCode39, "code-39", false, "code-39", "-39"},  // characters outside the table are skipped
      {bcCode39Extended, "a", false, "a", "+A"},
      {bcCode93Extended, "a$", false, "a$", "}A$"},
      {bcCodeCodabar, "&c;123&D;", false, "&c;123&D;", "C123D"},
      {bcCodeCodabar, "123", false, "123", "A123B"},
      {bcDeutsche_Post_Identcode, "56310243031", true, "56.310 243.031 3", "563102430313"},
      {bcDeutsche_Post_Identcode, "56.310 243.031 3", true, "56.310 243.031 3", "563102430313"},
      {bcDeutsche_Post_Leitcode, "2134807501640", true, "21348. 075. 016. 40 1", "21348075016401"},
      {bcCodeUSPSIntelligentMail, " 01234567094987654321-01234 ", false, "01234567094987654321-01234",
       "0123456709498765432101234"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(BarcodeTypeValueName(c.type)) + " \"" + c.text + "\"");
    TpgwBarcode bc;
    bc.SetTyp(c.type);
    bc.SetText(c.text);
    bc.SetChecksum(c.checksum);
    bc.BuildElementPattern();
    EXPECT_EQ(bc.Text(), c.textAfter);
    EXPECT_EQ(bc.EncodedText(), c.encoded);
  }
}

TEST(Barcode, ParityWithoutACheckDigitMethodComesFromTheSeventhDigit) {
  TpgwBarcode a, b;
  a.SetTyp(bcCodeUPC_E0);
  a.SetText("4252610");
  a.SetCheckSumMethod(csmNone);
  b.SetTyp(bcCodeUPC_E0);
  b.SetText("4252610");  // modulo 10 finds 4
  EXPECT_NE(a.BuildElementPattern(), b.BuildElementPattern());
  a.SetText("4252614");
  EXPECT_EQ(a.BuildElementPattern(), b.BuildElementPattern());
}

TEST(Barcode, LeitcodeForcesTheModuloTenMethod) {
  TpgwBarcode bc;
  bc.SetTyp(bcDeutsche_Post_Leitcode);
  bc.SetCheckSumMethod(csmNone);
  bc.SetText("2134807501640");
  bc.SetChecksum(true);
  bc.BuildElementPattern();
  EXPECT_EQ(bc.CheckSumMethod(), csmModulo10);
  EXPECT_EQ(bc.EncodedText().size(), 14u);
}

TEST(Barcode, FailuresCarryTheirMessages) {
  struct Case {
    TpgwBarcodeType type;
    const char* text;
    bool checksum;
    const char* message;
  } cases[] = {
      {bcGS1Code128, "(00)12345", false, "Invalid Barcode"},
      {bcGS1Code128, "384123450000000073", false, "Invalid Barcode"},
      {bcGS1Code128, "(10)", false, "Invalid Barcode"},
      {bcGS1Code128, "", false, "Invalid Barcode"},
      {bcCode128, "", false, "Invalid Barcode"},
      {bcCode128, "a\x7f", false, "Invalid Barcode"},  // DEL is in no code set
      {bcCode128, "\xe9", false, "Invalid Barcode"},
      {bcCode128A, "abc", false, "Invalid Barcode"},
      {bcCode128B, "\x01", false, "Invalid Barcode"},
      {bcCode128C, "123", false, "Invalid Barcode"},
      {bcCode128C, "12a4", false, "Invalid Barcode"},
      {bcCode128C, "12&2;", false, "Invalid Barcode"},  // no FNC2 in set C
      {bcCode128A, "A&S;", false, "Invalid Barcode"},
      {bcCodeEAN13, "(00)384123450000000073", false, "Barcode must be numeric"},
      {bcCode_2_5_interleaved, "12)", false, "Barcode must be numeric"},
      {bcCode_2_5_interleaved, "12a4", false, "Barcode must be numeric"},
      {bcCodePostNet, "12-45", false, "Barcode must be numeric"},
      {bcCodeMSI, "x", false, "Barcode must be numeric"},
      {bcCodeEAN13, "12345678901234", false, "Invalid Text len (EAN13)"},
      {bcCodeEAN13, "12345678901a", false, "Invalid Text len (EAN13)"},
      {bcCodeEAN8, "123456789", false, "Invalid Text len (EAN8)"},
      {bcCodeEAN8, "1234567x", false, "Invalid Text len (EAN8)"},
      {bcCodeUPC_A, "1234567890123", false, "Invalid Barcode"},
      {bcCodeUPC_E0, "12345678", false, "Invalid Barcode"},
      {bcCodeUPC_Supp2, "123", false, "Invalid Barcode"},
      {bcCodeUPC_Supp5, "524956", false, "Invalid Barcode"},  // a sixth digit that is not the check
      {bcCode_ITF_14, "123456789012", false, "The length should be 13 or 14"},
      {bcCode_ITF_14, "123456789012345", false, "The length should be 13 or 14"},
      {bcCode_ITF_14, "92345678901234", false, "The first character must be 1-8"},
      {bcCode_ITF_14, "02345678901234", false, "The first character must be 1-8"},
      {bcCode_ITF_14, "1234567890123A", false, "Only numbers are required"},
      {bcCodePlessey, "12G", false, "Only 0-9 and A-F."},
      {bcCodePlessey, "abc", false, "Only 0-9 and A-F."},
      {bcPharmacode, "0", false, "Only integer value from 1 to 131 070 is allowed."},
      {bcPharmacode, "131071", false, "Only integer value from 1 to 131 070 is allowed."},
      {bcPharmacode, "99999999999999999999999", false, "Only integer value from 1 to 131 070 is allowed."},
      {bcPharmacode, "12a", false, "Only integer value from 1 to 131 070 is allowed."},
      {bcPharmacode, "", false, "Only integer value from 1 to 131 070 is allowed."},
      {bcCode93, "abc", false, "TpgwBarcode:Code93 bad Data <abc>"},
      {bcCode93Extended, "caf\xe9", false, "TpgwBarcode:Code93 bad Data <caf\xc3\xa9>"},
      {bcCodeCodabar, "12X", false, "Invalid Barcode"},
      {bcCodeUSPSIntelligentMail, "123", false, "Invalid Barcode"},
      {bcCodeUSPSIntelligentMail, "05234567094987654321", false, "Invalid Barcode"},
      {bcDeutsche_Post_Identcode, "12-34", false, "Barcode must be numeric"},
      {static_cast<TpgwBarcodeType>(40), "1", false, "TpgwBarcode: wrong BarcodeType"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(BarcodeTypeValueName(c.type)) + " \"" + c.text + "\"");
    TpgwBarcode bc;
    bc.SetTyp(c.type);
    bc.SetText(c.text);
    bc.SetChecksum(c.checksum);
    try {
      bc.BuildElementPattern();
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

}  // namespace
}  // namespace pagewright
