#include "render/colors.h"

#include <gtest/gtest.h>

#include "platform/exceptions.h"

namespace pagewright {
namespace {

TEST(Colors, NamesConvertBothWays) {
  struct Case {
    const char16_t* name;
    TColor value;
  } cases[] = {
      {u"clBlack", 0x000000},
      {u"clMaroon", 0x000080},
      {u"clGreen", 0x008000},
      {u"clOlive", 0x008080},
      {u"clNavy", 0x800000},
      {u"clPurple", 0x800080},
      {u"clTeal", 0x808000},
      {u"clGray", 0x808080},
      {u"clSilver", 0xC0C0C0},
      {u"clRed", 0x0000FF},
      {u"clLime", 0x00FF00},
      {u"clYellow", 0x00FFFF},
      {u"clBlue", 0xFF0000},
      {u"clFuchsia", 0xFF00FF},
      {u"clAqua", 0xFFFF00},
      {u"clWhite", 0xFFFFFF},
      {u"clNone", 0x1FFFFFFF},
      {u"clDefault", 0x20000000},
      {u"clBtnFace", static_cast<TColor>(0xFF00000F)},
      {u"clWindowText", static_cast<TColor>(0xFF000008)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IdentToColor(c.name), c.value);
    EXPECT_EQ(ColorToIdent(c.value), WideString(c.name));
    EXPECT_EQ(StringToColor(c.name), c.value);
  }
  EXPECT_EQ(IdentToColor(u"CLRED"), clRed);
  EXPECT_EQ(IdentToColor(u"clLtGray"), clSilver);  // alias; the value keeps its first name
  EXPECT_EQ(ColorToIdent(clSilver), WideString(u"clSilver"));
  EXPECT_FALSE(IdentToColor(u"red").has_value());
  EXPECT_FALSE(ColorToIdent(0x123456).has_value());
  EXPECT_EQ(ColorToString(0x123456), u"$00123456");
  EXPECT_EQ(StringToColor(u"$00123456"), 0x123456);
  EXPECT_EQ(StringToColor(u"255"), clRed);
  EXPECT_EQ(StringToColor(u"-16777201"), clBtnFace);
  EXPECT_THROW(StringToColor(u"clNoSuchColour"), EConvertError);
  EXPECT_THROW(StringToColor(u"$1FFFFFFFF"), EConvertError);
}

TEST(Colors, SystemColoursResolveToTheClassicDefaults) {
  EXPECT_EQ(ColorToRGB(clBtnFace), RGBColor(212, 208, 200));
  EXPECT_EQ(ColorToRGB(clWindow), clWhite);
  EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
  EXPECT_EQ(ColorToRGB(clHighlight), RGBColor(10, 36, 106));
  EXPECT_EQ(ColorToRGB(clInfoBk), RGBColor(255, 255, 225));
  EXPECT_EQ(ColorToRGB(clSystemColor | 200), clBlack);  // unknown index
  EXPECT_EQ(ColorToRGB(clRed), clRed);
  EXPECT_TRUE(IsNoColor(536870911));
}

}  // namespace
}  // namespace pagewright
