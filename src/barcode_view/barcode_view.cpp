#include "barcode_view/barcode_view.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "barcode_view/barcode_draw.h"
#include "data/data_set.h"
#include "platform/code_pages.h"
#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/scope_guard.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "render/bitmap.h"
#include "render/colors.h"
#include "report/report.h"
#include "support/resources.h"

namespace pagewright {

namespace {

int Round(long double v) {
  return static_cast<int>(RoundHalfEven(v));
}

constexpr int kMaxFontPoints = 9;

TpgwBarcodeFont ToBarcodeFont(const TpgwFont& f) {
  TpgwBarcodeFont b;
  b.Name = f.Name();
  b.Size = f.Size();
  b.PixelsPerInch = f.PixelsPerInch();
  b.Color = f.Color();
  b.Style = static_cast<uint8_t>(f.Style().Bits() & 15u);
  return b;
}

// Greedy word wrap of a message into lines no wider than `width` pixels; a word longer than
// the width stands on a line of its own.
std::vector<WideString> WrapWords(TCanvas& c, const WideString& text, int width) {
  std::vector<WideString> lines;
  size_t start = 0;
  for (;;) {
    const size_t nl = text.find(u'\n', start);
    WideString para = text.substr(start, nl == WideString::npos ? WideString::npos : nl - start);
    if (!para.empty() && para.back() == u'\r') para.pop_back();
    WideString line;
    size_t i = 0;
    while (i <= para.size()) {
      size_t j = para.find(u' ', i);
      if (j == WideString::npos) j = para.size();
      const WideString word = para.substr(i, j - i);
      const WideString candidate = line.empty() ? word : line + u' ' + word;
      if (!line.empty() && c.TextWidth(candidate) > width) {
        lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
      i = j + 1;
    }
    lines.push_back(line);
    if (nl == WideString::npos) break;
    start = nl + 1;
  }
  return lines;
}

}  // namespace

// ---- the object ----------------------------------------------------------------------------------------

TpgwBarCodeView::TpgwBarCodeView(TComponent* owner)
    : TpgwView(owner),
      FBarCode(std::make_unique<TpgwBarcode>()),
      FProcessingProperty(std::make_unique<TpgwProcessingProperties>(Processing())) {
  Font().SetName(u"Arial");
  Font().SetPixelsPerInch(96);
  Font().SetSize(kMaxFontPoints);
  FBarCode->SetColorBar(clBlack);
}

TpgwBarCodeView::TpgwBarCodeView(TComponent* owner, uint16_t flags, bool designing) : TpgwBarCodeView(owner) {
  if (designing) SetIsDesigning(true);
  const auto type = flags < kBarcodeTypeCount ? static_cast<TpgwBarcodeType>(flags) : bcCode39;
  FBarType = type;
  bool checksum = false;
  FText = Utf8ToUtf16(SampleText(type, &checksum));
  FCalcCheckSum = checksum;
}

TpgwBarCodeView::~TpgwBarCodeView() = default;

const TClassInfo& TpgwBarCodeView::StaticClassInfo() {
  using T = TpgwBarCodeView;
  static const TClassInfo& info =
      Describe<T>("TpgwBarCodeView")
          .Parent<TpgwView>()
          .Enum("BarType", &T::BarType, &T::SetBarType, BarcodeTypeInfo())
          .Default(bcCode39)
          .Boolean("CalcCheckSum", &T::CalcCheckSum, &T::SetCalcCheckSum)
          .Default(false)
          .String("Expression", &T::Expression, &T::SetExpression)
          .Enum("HAlign", &T::HAlign, &T::SetHAlign, TpgwHAlignInfo())
          .Default(haLeft)
          .Integer("Rotation", &T::Rotation, &T::SetRotation)
          .Default(0)
          .Boolean("ShowText", &T::ShowText, &T::SetShowText)
          .Default(true)
          .Boolean("TestLine", &T::TestLine, &T::SetTestLine)
          .Default(false)
          .String("Text", &T::Text, &T::SetText)
          .Float("WideBarRatio", &T::WideBarRatio, &T::SetWideBarRatio)
          .Default(2.0)
          .Float("Zoom", &T::Zoom, &T::SetZoom)
          .Default(1.0)
          .Boolean("AutoSize", &T::AutoSize, &T::SetAutoSize)
          .Default(true)
          .Color("ColorBar", &T::ColorBar, &T::SetColorBar)
          .Default(clBlack)
          .Object("Font", static_cast<TpgwFont& (TpgwComponent::*)()>(&TpgwComponent::Font), &T::SetFont)
          .Color("Color", &T::Color, &T::SetColor)
          .Stored(false)
          // the kind first, so that reading a template makes the right fill before its values
          .Enum("FillType", &T::FillType, &T::SetFillType, TpgwFillTypeInfo())
          .Default(ftBrush)
          .Object("Fill", static_cast<TpgwBaseFill& (T::*)()>(&T::Fill), &T::SetFill)
          .Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame)
          .Reference("DataSet", &T::DataSet, &T::SetDataSet)
          .String("DataSetName", &T::DataSetName, &T::SetDataSetName)
          .String("DataField", &T::DataField, &T::SetDataField)
          .Object("Processing", &T::ProcessingProperty, &T::SetProcessingProperty)
          .String("URL", &T::URL, &T::SetURL)
          .Stored(false)
          .String("TagStr", &T::TagStr, &T::SetTagStr)
          .Integer("Cursor", &T::Cursor, &T::SetCursor)
          .Default(0)
          .Build();
  return info;
}
const TClassInfo& TpgwBarCodeView::ClassInfo() const {
  return StaticClassInfo();
}

const char* TpgwBarCodeView::SampleText(TpgwBarcodeType type, bool* calcCheckSum) {
  bool checksum = false;
  const char* text = "12345678";
  switch (type) {
    case bcCode_ITF_14:
      text = "12345678912343";
      break;
    case bcCodeUSPSIntelligentMail:
      text = "12345678901234567890";
      break;
    case bcCodePlessey:
      text = "0123456789ABCDEF";
      checksum = true;
      break;
    case bcGS1Code128:
      text = "(01)12345678901234";
      break;
    case bcPharmacode:
      text = "123456";
      break;
    case bcDeutsche_Post_Identcode:
      text = "01234567890";
      break;
    case bcDeutsche_Post_Leitcode:
      text = "0123456789012";
      checksum = true;
      break;
    default:
      break;
  }
  if (calcCheckSum) *calcCheckSum = checksum;
  return text;
}

void TpgwBarCodeView::SetBarType(TpgwBarcodeType v) {
  if (v == FBarType) return;
  FBarType = v;
  // Only a designer's change brings the sample text: a report's own text (from a template or
  // data) must show its error, never a valid symbol of other data.
  if (IsDesigning()) FFirstTryAfterSBT = true;
}

void TpgwBarCodeView::SetText(const WideString& v) {
  FText = v;
  if ((Align() == baCenter || Align() == baWidth) && !IsLoading()) GetRealBounds();
}

void TpgwBarCodeView::FontChanged() {
  TpgwView::FontChanged();
  if (Font().Size() > kMaxFontPoints) Font().SetSize(kMaxFontPoints);
}

WideString TpgwBarCodeView::GetDescription() const {
  return ResourceGet("obBarC");
}

bool TpgwBarCodeView::Horizontal() const {
  const int a = BarcodeQuarterAngle(FRotation);
  return a == 0 || a == 180;
}

Extended TpgwBarCodeView::ScreenScaleX() {
  return std::min<Extended>(1, static_cast<Extended>(EffectivePixelsPerInch(ScreenPixelsPerInch())) / 96);
}
Extended TpgwBarCodeView::ScreenScaleY() {
  return ScreenScaleX();  // the screen has one resolution for both axes
}

bool TpgwBarCodeView::Measure(int& leftZone, int& rightZone) {
  for (;;) {
    TpgwBarcode& bc = *FBarCode;
    bc.SetAngle(FRotation);
    bc.SetFont(ToBarcodeFont(Font()));
    bc.SetChecksum(FCalcCheckSum);
    bc.SetTyp(FBarType);
    bc.SetRatio(static_cast<double>(FWideBarRatio));
    TColor space = clWhite;
    if (FillType() != ftBrush)
      space = clNone;
    else if (!IsNoColor(Color()))
      space = Color();
    bc.SetColor(space);
    bc.SetText(WideToAnsi(FText));

    const bool horizontal = Horizontal();
    const Extended oldExtent = horizontal ? Width() : Height();
    if (!(FZoom >= 0.0001L) || !std::isfinite(static_cast<double>(FZoom))) FZoom = 1;
    // Quiet zones of the symbol's own start and end, in modules; the turned drawing puts them
    // on the right sides.
    leftZone = FBarType == bcCodeEAN13 || FBarType == bcCodeUPC_A ? 8 : 0;
    rightZone = FBarType == bcCodeUPC_A || FBarType == bcCodeUPC_E0 || FBarType == bcCodeUPC_E1 ? 9 : 0;
    int n = 0;
    try {
      n = bc.Width() + leftZone + rightZone;
    } catch (const Exception& e) {
      if (FFirstTryAfterSBT) {
        FFirstTryAfterSBT = false;
        bool checksum = false;
        FText = Utf8ToUtf16(SampleText(FBarType, &checksum));
        if (checksum) FCalcCheckSum = true;
        continue;
      }
      FErrorText = Utf8ToUtf16(e.Message());
      return false;
    }
    FFirstTryAfterSBT = false;
    FErrorText.clear();
    if (!FAutoSize) {
      FZoom = oldExtent / n;
      return true;
    }
    const Extended newExtent = n * FZoom;
    Extended shift = 0;
    if (FHAlign == haRight)
      shift = oldExtent - newExtent;
    else if (FHAlign == haCenter)
      shift = (oldExtent - newExtent) / 2;
    if (horizontal) {
      SetWidth(newExtent);
      SetLeft(Left() + shift);
    } else {
      SetHeight(newExtent);
      SetTop(Top() + shift);
    }
    return true;
  }
}

TRect TpgwBarCodeView::TurnedRect(int u0, int v0, int u1, int v1) const {
  switch (BarcodeQuarterAngle(FRotation)) {
    case 90:  // the symbol starts at the bottom, its top is on the left
      return Rect(FX + v0, FY1 - u1, FX + v1, FY1 - u0);
    case 180:
      return Rect(FX1 - u1, FY1 - v1, FX1 - u0, FY1 - v0);
    case 270:  // starts at the top, its top is on the right
      return Rect(FX1 - v1, FY + u0, FX1 - v0, FY + u1);
    default:
      return Rect(FX + u0, FY + v0, FX + u1, FY + v1);
  }
}

void TpgwBarCodeView::FillBar(const TRect& r, TColor color) {
  if (IsNoColor(color) || r.IsEmpty() || !Canvas()) return;
  TCanvas& c = *Canvas();
  const TColor savedColor = c.Brush().Color();
  const TBrushStyle savedStyle = c.Brush().Style();
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(color);
  c.FillRect(r);
  c.Brush().SetColor(savedColor);
  c.Brush().SetStyle(savedStyle);
}

void TpgwBarCodeView::DrawBearerBars(int leftZone, int rightZone) {
  const bool horizontal = Horizontal();
  const int along = horizontal ? FDX : FDY;
  const int across = horizontal ? FDY : FDX;
  const Extended scaleAlong = horizontal ? ScaleX : ScaleY;
  const int u0 = Round(leftZone * scaleAlong * FZoom);
  const int u1 = along - Round(rightZone * scaleAlong * FZoom);
  const TColor bar = ColorBar();
  if (FBarType != bcCode_ITF_14) {
    if (FTestLine) FillBar(TurnedRect(u0, 0, u1, Round(ScaleY * 2)), bar);
    return;
  }
  const int d = Round((Frame().Width() + 4) * ScaleY);
  // The text band is (4 - font height) modules high, one module being Zoom report pixels.
  const int a = FShowText ? Round((4 - FBarCode->Font().Height()) * ScaleY * FZoom) : 0;
  const int e = FShowText ? Round(ScaleY) : 0;
  FillBar(TurnedRect(u0, 0, u1, d), bar);
  FillBar(TurnedRect(u0, across - a + e - d, u1, across - a + e), bar);
  if (!FTestLine) {
    FillBar(TurnedRect(u0, 0, u0 + d, across - a), bar);
    FillBar(TurnedRect(u1 - d, 0, u1, across - a), bar);
  }
}

void TpgwBarCodeView::Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                           Extended offsetY) {
  int leftZone = 0, rightZone = 0;
  bool ok = Measure(leftZone, rightZone);
  CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
  DrawBackgroundFill();
  if (ok) {
    const bool horizontal = Horizontal();
    const int along = horizontal ? FDX : FDY;
    const int across = horizontal ? FDY : FDX;
    const Extended scaleAlong = horizontal ? scaleX : scaleY;
    const int u0 = Round(leftZone * scaleAlong * FZoom);
    const int u1 = along - Round(rightZone * scaleAlong * FZoom);
    try {
      DrawBarcode(*FBarCode, canvas, TurnedRect(u0, 0, u1, across), FShowText, ScreenScaleX(), ScreenScaleY(),
                  false);
      DrawBearerBars(leftZone, rightZone);
    } catch (const Exception& e) {
      FErrorText = Utf8ToUtf16(e.Message());
      ok = false;
    }
  }
  if (!ok) {
    // The message in red inside the object, no bars.
    TFont f;
    f.SetPixelsPerInch(96);
    f.SetName(u"Arial");
    f.SetSize(Round(scaleY * 8));
    f.SetColor(clRed);
    const TFont savedFont = canvas.Font();
    const TClipRegion savedClip = canvas.GetClipRgn();
    const int savedBkMode = canvas.GetBkMode();
    canvas.Font().Assign(f);
    canvas.SetBkMode(TRANSPARENT);
    const TRect r = Rect(FX + 2, FY + 2, FX1, FY1);
    canvas.IntersectClipRect(r);
    const int lineHeight = canvas.GetTextMetrics().tmHeight;
    int y = r.Top;
    for (const WideString& line : WrapWords(canvas, FErrorText, r.Width())) {
      if (y >= r.Bottom) break;
      canvas.ExtTextOut(r.Left, y, ETO_CLIPPED, &r, line, nullptr);
      y += lineHeight;
    }
    canvas.SelectClipRgn(savedClip);
    canvas.SetBkMode(savedBkMode);
    canvas.Font().Assign(savedFont);
  }
  DrawFrameLines();
}

void TpgwBarCodeView::GetData() {
  TpgwView::GetData();
  if (IsDataField()) {
    if (auto* ds = dynamic_cast<TpgwDataSet*>(DataSet())) SetText(VarToStr(ds->Value(DataField())));
  } else if (!FExpression.empty()) {
    if (TpgwReport* report = Report()) SetText(VarToStr(ReportCalc(*report, FExpression)));
  }
}

namespace {
// The width of the human-readable text in report pixels: measured in modules with the object's
// font, one module being Zoom report pixels.
Extended DisplayTextWidth(const TpgwBarcode& bc, const TpgwFont& font, Extended zoom) {
  const WideString text = AnsiToWide(BarcodeDisplayText(bc));
  return static_cast<Extended>(FindFont(font.Native()).TextWidth(text)) * zoom;
}
}  // namespace

TpgwRect TpgwBarCodeView::GetRealBounds() const {
  // Drawing performs the auto-sizing; the object is changed as drawing always changes it.
  auto* self = const_cast<TpgwBarCodeView*>(this);
  {
    TNullCanvas scratch;
    const bool asMetafile = ObjAsMetafile();
    self->SetObjAsMetafile(true);  // no frame lines on the scratch canvas
    self->Draw(scratch, 1, 1, 0, 0);
    self->SetObjAsMetafile(asMetafile);
  }
  TpgwRect r = TpgwView::GetRealBounds();
  if (Horizontal() && FErrorText.empty() && FBarType != bcCodeEAN13 && FBarType != bcCodeUPC_A &&
      FBarType != bcCodeUPC_E0 && FBarType != bcCodeUPC_E1) {
    const Extended textWidth = DisplayTextWidth(*FBarCode, Font(), FZoom);
    if (textWidth > Width()) {
      const Extended d = Round((textWidth - Width()) / 2) + 2;
      r.Left -= d;
      r.Right += d;
    }
  }
  return r;
}

std::unique_ptr<TMetafile> TpgwBarCodeView::GetVectorGraphic(bool drawFill) {
  GetRealBounds();
  FExportExpance = 0;
  const Extended textWidth = FErrorText.empty() ? DisplayTextWidth(*FBarCode, Font(), FZoom) : 0;
  const int w = std::max(0, Round(Width()));
  const int h = std::max(0, Round(Height()));
  auto graphic = std::make_unique<TMetafile>(w, h);
  {
    const bool asMetafile = ObjAsMetafile(), fillOnMetafile = DrawFillOnMetaFile();
    SetObjAsMetafile(true);
    SetDrawFillOnMetaFile(drawFill);
    Draw(graphic->Canvas(), 1, 1, -AbsLeft(), -AbsTop());
    SetObjAsMetafile(asMetafile);
    SetDrawFillOnMetaFile(fillOnMetafile);
  }
  const bool horizontal = Horizontal();
  const int extent = horizontal ? w : h;
  if (textWidth <= extent) return graphic;
  FExportExpance = static_cast<int>(std::ceil(static_cast<double>((textWidth - extent) / 2)));
  const int grow =
      horizontal ? Round(FExportExpance * ScreenScaleX()) : Round(FExportExpance * ScreenScaleY());
  auto wider = std::make_unique<TMetafile>(horizontal ? w + 2 * grow : w, horizontal ? h : h + 2 * grow);
  const TRect at = horizontal ? Rect(grow, 0, grow + w, h) : Rect(0, grow, w, grow + h);
  wider->Canvas().StretchDraw(at, *graphic);
  return wider;
}

TpgwRect TpgwBarCodeView::GetExportBounds() const {
  TpgwRect r = TpgwView::GetExportBounds();
  if (Horizontal()) {
    r.Left -= FExportExpance;
    r.Right += FExportExpance;
  } else {
    r.Top -= FExportExpance;
    r.Bottom += FExportExpance;
  }
  return r;
}

// ---- post-processing ---------------------------------------------------------------------------------

bool TpgwBarCodeView::SaveContentToDictionary(TpgwReport& /*report*/,
                                              IpgwBarcodePostProcessor& postProcessor) {
  const WideString bandName = Parent() ? Parent()->Name() : WideString();
  const TpgwProcessAtMode at = Processing().ProcessAt;
  const int index =
      postProcessor.Add(bandName, Name(), FText, at, *this, at != paDefault && !bandName.empty());
  if (index == -1) return false;
  FText = IntToStr(index);
  return true;
}

bool TpgwBarCodeView::LoadContentFromDictionary(TpgwReport& /*report*/, IpgwMacrosItem& item) {
  if (FMacroLoaded) return false;
  int32_t index = 0;
  if (!TryStrToInt(FText, index) || index < 0 || index >= item.TextCount()) return false;
  FText = item.Text(index);
  FMacroLoaded = true;
  return true;
}

void TpgwBarCodeView::ProcessDictionary(IpgwMacrosItem& item, TpgwReport& report) {
  if (item.TextCount() == 0) return;
  const WideString savedText = FText;
  const WideString savedObject = report.CurObject();
  auto restore = ScopeExit([&] {
    FText = savedText;
    report.SetCurObject(savedObject);
  });
  report.SetCurObject(Name());
  GetData();
  item.SetLastText(FText);
}

// ---- registration --------------------------------------------------------------------------------------

void RegisterBarcodeClasses() {
  const TClassInfo& info = TpgwBarCodeView::StaticClassInfo();
  for (int t = 0; t < kBarcodeTypeCount; ++t)
    RegisterObject1(info, nullptr, ResourceGet(BarcodeTypeData(static_cast<TpgwBarcodeType>(t)).Name),
                    WideString(), static_cast<uint16_t>(t));
}

}  // namespace pagewright
