// The two-dimensional symbol object: a view that encodes its text (or its expression's or data
// field's value) as QR Code, Data Matrix, PDF417 or Aztec, sizes itself to the symbol with its
// quiet zone (one module is Module report pixels), and draws the modules itself, so that every
// output is exact at any resolution. Data the symbology cannot take shows the error in red and
// is an error line; it never becomes a symbol of something else.
#pragma once

#include <cstdint>
#include <functional>

#include "barcode2d/symbol2d.h"
#include "platform/properties.h"
#include "report/view.h"

namespace pagewright {

class TpgwBarcode2DView : public TpgwView {
 public:
  explicit TpgwBarcode2DView(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // --- published -----------------------------------------------------------------------------------
  TpgwBarcode2DType BarType() const { return FBarType; }
  void SetBarType(TpgwBarcode2DType v);
  const WideString& Expression() const { return FExpression; }
  void SetExpression(const WideString& v) { FExpression = v; }
  const WideString& Text() const { return FText; }
  void SetText(const WideString& v);
  // The side of a module in report pixels (3: a whole number of pixels at 96 dpi).
  Extended Module() const { return FModule; }
  void SetModule(Extended v);
  // 0: the symbology's default (see EncodeBarcode2D).
  int ErrorLevel() const { return FErrorLevel; }
  void SetErrorLevel(int v);
  // Light modules around the symbol; -1: as much as the symbology asks for.
  int QuietZone() const { return FQuietZone; }
  void SetQuietZone(int v) { FQuietZone = v; }
  // 0, 90, 180 or 270 degrees, counterclockwise.
  int Rotation() const { return FRotation; }
  void SetRotation(int v);
  TColor ColorBar() const { return FColorBar; }
  void SetColorBar(TColor v) { FColorBar = v; }
  bool ShowText() const { return FShowText; }
  void SetShowText(bool v) { FShowText = v; }

  // --- state ---------------------------------------------------------------------------------------
  // Why the text cannot be encoded; empty when it can.
  const WideString& ErrorText() const;
  // The symbol of the current text (encoded when first asked for after a change).
  const TBarcode2DMatrix& Matrix() const;
  int EffectiveQuietZone() const { return FQuietZone >= 0 ? FQuietZone : QuietZoneModules(FBarType); }
  // Calls `rect` for each run of dark modules (left, top, width, height in report pixels from the
  // object's top left, turned by Rotation); exporters write these as filled rectangles.
  void ForEachDarkRun(const std::function<void(Extended, Extended, Extended, Extended)>& rect) const;
  // The symbol's size with its quiet zone (before rotation), in report pixels.
  Extended SymbolWidth() const;
  Extended SymbolHeight() const;

  void GetData() override;
  void Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) override;

 private:
  void Encode() const;
  void FitToSymbol();

  TpgwBarcode2DType FBarType = b2QRCode;
  WideString FExpression, FText;
  Extended FModule = 3;
  int FErrorLevel = 0;
  int FQuietZone = -1;
  int FRotation = 0;
  TColor FColorBar = clBlack;
  bool FShowText = false;
  mutable bool FEncoded = false;
  mutable TBarcode2DMatrix FMatrix;
  mutable WideString FErrorText;
};

// Registers the class (a start-up step).
void RegisterBarcode2DClasses();

}  // namespace pagewright
