// The barcode object: a view that encodes its text with the linear barcode encoder, sizes
// itself so that one module is Zoom report pixels wide, and draws the bars and the
// human-readable text between its quiet zones (or an encoding error in red).
#pragma once

#include <cstdint>
#include <memory>

#include "barcode/barcode.h"
#include "platform/properties.h"
#include "platform/types.h"
#include "render/draw_text.h"
#include "render/metafile.h"
#include "report/memo_view.h"
#include "report/view.h"

namespace pagewright {

class TpgwReport;

// --- post-processing seam ----------------------------------------------------------------------------
// The prepared-page post-processor keeps deferred values of text objects and barcodes. It is not
// part of the build yet. A barcode reads and updates its entries through the text object's item
// interface (IpgwMacrosItem); adding content needs this one, because the text object's Add takes
// a text object.
class IpgwBarcodePostProcessor {
 public:
  virtual ~IpgwBarcodePostProcessor() = default;
  // Stores `content` for the object named `objectName` on the band named `bandName`, marked for
  // later processing when `process`; the index of the stored entry, or -1 when nothing was stored.
  virtual int Add(const WideString& bandName, const WideString& objectName, const WideString& content,
                  TpgwProcessAtMode processAt, TpgwView& object, bool process) = 0;
};

// --- the object ----------------------------------------------------------------------------------------

class TpgwBarCodeView : public TpgwView {
 public:
  explicit TpgwBarCodeView(TComponent* owner);
  // Creation from a palette item: the flags are the barcode type, which brings its sample text.
  TpgwBarCodeView(TComponent* owner, uint16_t flags, bool designing);
  ~TpgwBarCodeView() override;

  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // The sample text of a type, and whether it is shown with a check character.
  static const char* SampleText(TpgwBarcodeType type, bool* calcCheckSum = nullptr);

  // --- published -----------------------------------------------------------------------------------
  TpgwBarcodeType BarType() const { return FBarType; }
  // A different type marks the next draw as the first try after the change (designer only).
  void SetBarType(TpgwBarcodeType v);
  bool CalcCheckSum() const { return FCalcCheckSum; }
  void SetCalcCheckSum(bool v) { FCalcCheckSum = v; }
  const WideString& Expression() const { return FExpression; }
  void SetExpression(const WideString& v) { FExpression = v; }
  TpgwHAlign HAlign() const { return FHAlign; }
  void SetHAlign(TpgwHAlign v) { FHAlign = v; }
  int Rotation() const { return FRotation; }
  void SetRotation(int v) { FRotation = v; }
  bool ShowText() const { return FShowText; }
  void SetShowText(bool v) { FShowText = v; }
  bool TestLine() const { return FTestLine; }
  void SetTestLine(bool v) { FTestLine = v; }
  const WideString& Text() const { return FText; }
  // Stores the text; a centred object (Align baCenter or baWidth) measures itself again.
  void SetText(const WideString& v);
  Extended WideBarRatio() const { return FWideBarRatio; }
  void SetWideBarRatio(Extended v) { FWideBarRatio = v; }
  Extended Zoom() const { return FZoom; }
  void SetZoom(Extended v) { FZoom = v; }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v) { FAutoSize = v; }
  TColor ColorBar() const { return FBarCode->ColorBar(); }
  void SetColorBar(TColor v) { FBarCode->SetColorBar(v); }
  TpgwProcessingProperties& ProcessingProperty() { return *FProcessingProperty; }
  void SetProcessingProperty(const TpgwProcessingProperties& v) { FProcessingProperty->Assign(v); }

  // --- state ---------------------------------------------------------------------------------------
  TpgwBarcode& BarCode() { return *FBarCode; }
  bool MacroLoaded() const { return FMacroLoaded; }
  int ExportExpance() const { return FExportExpance; }
  bool FirstTryAfterSBT() const { return FFirstTryAfterSBT; }
  // The message of the last draw that could not encode the text, empty after a good one.
  const WideString& ErrorText() const { return FErrorText; }

  // --- operations ----------------------------------------------------------------------------------
  WideString GetDescription() const override;
  using TpgwView::Draw;
  void Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) override;
  // The field's text when bound to a data field, else the value of Expression when it is set.
  void GetData() override;
  // The bounds after auto-sizing, widened for a text wider than the bars.
  TpgwRect GetRealBounds() const override;
  // The object's drawing as a metafile in report pixels (frame lines are the export's own; the
  // fill only when drawFill), lengthened along the bars when the text is wider than the bars.
  std::unique_ptr<TMetafile> GetVectorGraphic(bool drawFill);
  using TpgwView::GetVectorGraphic;
  TpgwRect GetExportBounds() const override;

  // The post-processor's side (deferred values, like text objects).
  // The text is stored and replaced by its index.
  bool SaveContentToDictionary(TpgwReport& report, IpgwBarcodePostProcessor& postProcessor);
  // An index text takes the stored text (once).
  bool LoadContentFromDictionary(TpgwReport& report, IpgwMacrosItem& item);
  // The data taken again (field or expression) becomes the item's last text.
  void ProcessDictionary(IpgwMacrosItem& item, TpgwReport& report);
  using TpgwView::LoadContentFromDictionary;
  using TpgwView::ProcessDictionary;
  using TpgwView::SaveContentToDictionary;

  // The screen scale factors: logical pixels per inch of the screen over 96, at most 1.
  static Extended ScreenScaleX();
  static Extended ScreenScaleY();

 protected:
  // Caps the font at 9 points.
  void FontChanged() override;

 private:
  bool Horizontal() const;
  // Steps 1 to 7 of drawing: the encoder set up, the object measured and sized. False when
  // the text cannot be encoded (ErrorText holds the message).
  bool Measure(int& leftZone, int& rightZone);
  void DrawBearerBars(int leftZone, int rightZone);
  // A rectangle given along (u) and across (v) the bars of the device rectangle, turned with
  // the object.
  TRect TurnedRect(int u0, int v0, int u1, int v1) const;
  void FillBar(const TRect& r, TColor color);

  std::unique_ptr<TpgwBarcode> FBarCode;
  TpgwBarcodeType FBarType = bcCode39;
  bool FCalcCheckSum = false;
  WideString FExpression;
  TpgwHAlign FHAlign = haLeft;
  int FRotation = 0;
  bool FShowText = true;
  bool FTestLine = false;
  WideString FText = u"12345678";
  Extended FWideBarRatio = 2.0;
  Extended FZoom = 1.0;
  bool FMacroLoaded = false;
  bool FAutoSize = true;
  int FExportExpance = 0;
  bool FFirstTryAfterSBT = false;
  WideString FErrorText;
  std::unique_ptr<TpgwProcessingProperties> FProcessingProperty;
};

// Start-up: one palette item (and so the class registry entry) per barcode type, the type as
// the item's flags.
void RegisterBarcodeClasses();

}  // namespace pagewright
