#include "barcode_view/barcode2d_view.h"

#include <algorithm>
#include <string>

#include "data/data_set.h"
#include "platform/exceptions.h"
#include "platform/scope_guard.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "render/canvas.h"
#include "render/colors.h"
#include "report/report.h"

namespace pagewright {

namespace {

// Report pixels of the text line under the symbol.
constexpr Extended kTextHeight = 14;
// A module below a tenth of a pixel, or a symbol beyond any paper, is no sensible setting.
constexpr Extended kMinModule = 0.1, kMaxModule = 1000;

int Round(Extended v) {
  return static_cast<int>(RoundHalfEven(v));
}

}  // namespace

TpgwBarcode2DView::TpgwBarcode2DView(TComponent* owner) : TpgwView(owner) {
  Font().SetName(u"Arial");
  Font().SetPixelsPerInch(96);
  Font().SetSize(8);
}

const TClassInfo& TpgwBarcode2DView::StaticClassInfo() {
  using T = TpgwBarcode2DView;
  static const TClassInfo& info =
      Describe<T>("TpgwBarcode2DView")
          .Parent<TpgwView>()
          .Enum("BarType", &T::BarType, &T::SetBarType, Barcode2DTypeInfo())
          .Default(b2QRCode)
          .String("Expression", &T::Expression, &T::SetExpression)
          .String("Text", &T::Text, &T::SetText)
          .Float("Module", &T::Module, &T::SetModule)
          .Range(kMinModule, kMaxModule)
          .Default(3.0)
          .Integer("ErrorLevel", &T::ErrorLevel, &T::SetErrorLevel)
          .Default(0)
          .Integer("QuietZone", &T::QuietZone, &T::SetQuietZone)
          .Default(-1)
          .Integer("Rotation", &T::Rotation, &T::SetRotation)
          .Default(0)
          .Color("ColorBar", &T::ColorBar, &T::SetColorBar)
          .Default(clBlack)
          .Boolean("ShowText", &T::ShowText, &T::SetShowText)
          .Default(false)
          .Object("Font", static_cast<TpgwFont& (TpgwComponent::*)()>(&TpgwComponent::Font), &T::SetFont)
          .Enum("FillType", &T::FillType, &T::SetFillType, TpgwFillTypeInfo())
          .Default(ftBrush)
          .Object("Fill", static_cast<TpgwBaseFill& (T::*)()>(&T::Fill), &T::SetFill)
          .Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame)
          .String("DataField", &T::DataField, &T::SetDataField)
          .Reference("DataSet", &T::DataSet, &T::SetDataSet)
          .String("DataSetName", &T::DataSetName, &T::SetDataSetName)
          .Build();
  return info;
}

const TClassInfo& TpgwBarcode2DView::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwBarcode2DView::SetBarType(TpgwBarcode2DType v) {
  FBarType = v;
  FEncoded = false;
}

void TpgwBarcode2DView::SetText(const WideString& v) {
  FText = v;
  FEncoded = false;
}

void TpgwBarcode2DView::SetModule(Extended v) {
  if (!(v >= kMinModule && v <= kMaxModule)) throw EConvertError("A module is between 0.1 and 1000 pixels");
  FModule = v;
}

void TpgwBarcode2DView::SetErrorLevel(int v) {
  FErrorLevel = v;
  FEncoded = false;
}

void TpgwBarcode2DView::SetRotation(int v) {
  // Quarter turns only: a symbol's modules stay on the pixel grid.
  FRotation = ((v % 360) + 360) % 360 / 90 * 90;
}

void TpgwBarcode2DView::Encode() const {
  if (FEncoded) return;
  FEncoded = true;
  FMatrix = TBarcode2DMatrix();
  FErrorText.clear();
  try {
    FMatrix = EncodeBarcode2D(FBarType, Utf16ToUtf8(FText), FErrorLevel);
  } catch (const EBarcode2DError& e) {
    FErrorText = Utf8ToUtf16(e.Message());
  }
}

const WideString& TpgwBarcode2DView::ErrorText() const {
  Encode();
  return FErrorText;
}

const TBarcode2DMatrix& TpgwBarcode2DView::Matrix() const {
  Encode();
  return FMatrix;
}

Extended TpgwBarcode2DView::SymbolWidth() const {
  return (Matrix().Width + 2 * EffectiveQuietZone()) * FModule;
}

Extended TpgwBarcode2DView::SymbolHeight() const {
  return (Matrix().Height + 2 * EffectiveQuietZone()) * FModule;
}

void TpgwBarcode2DView::FitToSymbol() {
  if (!ErrorText().empty() || Matrix().Width == 0) return;
  const Extended text = FShowText ? kTextHeight : 0;
  const bool turned = FRotation == 90 || FRotation == 270;
  SetWidth(turned ? SymbolHeight() + text : SymbolWidth());
  SetHeight(turned ? SymbolWidth() : SymbolHeight() + text);
}

void TpgwBarcode2DView::GetData() {
  TpgwView::GetData();
  if (IsDataField()) {
    if (auto* ds = dynamic_cast<TpgwDataSet*>(DataSet())) SetText(VarToStr(ds->Value(DataField())));
  } else if (!FExpression.empty()) {
    if (TpgwReport* report = Report()) SetText(VarToStr(ReportCalc(*report, FExpression)));
  }
  FitToSymbol();
  if (!ErrorText().empty())
    if (TpgwReport* report = Report()) report->Errors().Add(Name() + u": " + ErrorText());
}

void TpgwBarcode2DView::ForEachDarkRun(
    const std::function<void(Extended, Extended, Extended, Extended)>& rect) const {
  const TBarcode2DMatrix& m = Matrix();
  if (!ErrorText().empty() || m.Width == 0) return;
  const int q = EffectiveQuietZone();
  const Extended w = SymbolWidth(), h = SymbolHeight();
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width;) {
      if (!m.At(x, y)) {
        ++x;
        continue;
      }
      int end = x;
      while (end < m.Width && m.At(end, y)) ++end;
      // The run in the upright symbol, then turned counterclockwise inside the object.
      const Extended l = (x + q) * FModule, t = (y + q) * FModule, rw = (end - x) * FModule, rh = FModule;
      switch (FRotation) {
        case 90:
          rect(t, w - l - rw, rh, rw);
          break;
        case 180:
          rect(w - l - rw, h - t - rh, rw, rh);
          break;
        case 270:
          rect(h - t - rh, l, rh, rw);
          break;
        default:
          rect(l, t, rw, rh);
          break;
      }
      x = end;
    }
}

void TpgwBarcode2DView::Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                             Extended offsetY) {
  CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
  DrawBackgroundFill();
  const TPen savedPen = canvas.Pen();
  const TColor savedBrushColor = canvas.Brush().Color();
  const TBrushStyle savedBrushStyle = canvas.Brush().Style();
  const TFont savedFont = canvas.Font();
  const int savedBkMode = canvas.GetBkMode();
  auto restore = ScopeExit([&] {
    canvas.Pen() = savedPen;
    canvas.Brush().SetColor(savedBrushColor);
    canvas.Brush().SetStyle(savedBrushStyle);
    canvas.Font().Assign(savedFont);
    canvas.SetBkMode(savedBkMode);
  });
  if (ErrorText().empty()) {
    canvas.Pen().SetStyle(psClear);
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(FColorBar);
    // Module edges are rounded to device pixels from the symbol's origin, so that modules of one
    // size stay one size and touching modules leave no gap.
    const Extended ox = offsetX + scaleX * AbsLeft(), oy = offsetY + scaleY * AbsTop();
    // For a printer of dots every module is the same whole number of dots.
    const bool whole = canvas.WholePixelModules() && FModule > 0;
    const Extended mx = whole ? std::max<Extended>(1, Round(FModule * scaleX)) : 0;
    const Extended my = whole ? std::max<Extended>(1, Round(FModule * scaleY)) : 0;
    const int bx = Round(ox), by = Round(oy);
    auto x = [&](Extended v) { return whole ? bx + Round(v / FModule * mx) : Round(ox + v * scaleX); };
    auto y = [&](Extended v) { return whole ? by + Round(v / FModule * my) : Round(oy + v * scaleY); };
    ForEachDarkRun([&](Extended l, Extended t, Extended w, Extended h) {
      canvas.FillRect(Rect(x(l), y(t), x(l + w), y(t + h)));
    });
    if (FShowText && !FText.empty()) {
      canvas.Font().Assign(Font().Native());
      canvas.Font().SetHeight(-std::max(1, static_cast<int>(Round(10 * scaleY))));
      canvas.SetBkMode(TRANSPARENT);
      const Extended below = SymbolHeight();
      canvas.TextOut(FX + Round(EffectiveQuietZone() * FModule * scaleX), FY + Round(below * scaleY), FText);
    }
  } else {
    // The message in red inside the object, no symbol.
    canvas.Font().SetName(u"Arial");
    canvas.Font().SetHeight(-std::max(1, static_cast<int>(Round(10 * scaleY))));
    canvas.Font().SetColor(clRed);
    canvas.SetBkMode(TRANSPARENT);
    const TRect r = Rect(FX + 2, FY + 2, std::max(FX1, FX + 2), std::max(FY1, FY + 2));
    canvas.ExtTextOut(r.Left, r.Top, ETO_CLIPPED, &r, FErrorText, nullptr);
  }
  DrawFrameLines();
}

void RegisterBarcode2DClasses() {
  ClassRegistry().Register(TpgwBarcode2DView::StaticClassInfo());
}

}  // namespace pagewright
