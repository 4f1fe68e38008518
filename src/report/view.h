// Views: the base of every visible report object, with its frame, its fill, its hyperlink and
// the stretch protocol the band engine drives. Views paint in device pixels on the canvas the
// caller passes to Draw.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/properties.h"
#include "platform/types.h"
#include "platform/variant.h"
#include "report/component.h"
#include "render/canvas.h"
#include "render/colors.h"

namespace pagewright {

class TpgwFrame;

enum TpgwFrameStyle : uint8_t {
  fsSolid,
  fsDash,
  fsDot,
  fsDashDot,
  fsDashDotDot,
  fsDouble,
  fsAltDot,
  fsSquare
};
enum TpgwFrameType : uint8_t { ftLeft, ftRight, ftTop, ftBottom };
using TpgwFrameTypes = Set<TpgwFrameType>;
enum TpgwFillType : uint8_t { ftBrush, ftGradient, ftGlass };
enum TpgwGradientStyle : uint8_t {
  gsHorizontal,
  gsVertical,
  gsElliptic,
  gsRectangle,
  gsVertCenter,
  gsHorizCenter
};
enum TpgwFillOrientation : uint8_t { foVertical, foHorizontal, foVerticalMirror, foHorizontalMirror };
enum TpgwHyperlinkKind : uint8_t {
  hkURL,
  hkAnchor,
  hkPageNumber,
  hkDetailReport,
  hkDetailPage,
  hkCustom,
  hkNone
};
enum TpgwShiftMode : uint8_t { smDontShift, smAlways, smWhenOverlapped };
enum TpgwVisibilityType : uint8_t { vsPreview, vsExport, vsPrint };
using TpgwVisibilityTypes = Set<TpgwVisibilityType>;
enum TpgwStretchMode : uint8_t { smDontStretch, smActualHeight, smMaxHeight };
// When the value of a text object is computed.
enum TpgwProcessAtMode : uint8_t {
  paDefault,
  paReportFinished,
  paReportPageFinished,
  paPageFinished,
  paColumnFinished,
  paDataFinished,
  paGroupFinished,
  paCustom
};

const TEnumInfo& TpgwFrameStyleInfo();
const TEnumInfo& TpgwFrameTypesInfo();
const TEnumInfo& TpgwFillTypeInfo();
const TEnumInfo& TpgwBrushStyleInfo();
const TEnumInfo& TpgwGradientStyleInfo();
const TEnumInfo& TpgwFillOrientationInfo();
const TEnumInfo& TpgwHyperlinkKindInfo();
const TEnumInfo& TpgwShiftModeInfo();
const TEnumInfo& TpgwVisibilityTypesInfo();
const TEnumInfo& TpgwStretchModeInfo();
const TEnumInfo& TpgwProcessAtModeInfo();

// Multiplies, then divides, rounding to the nearest integer with halves away from zero. A
// zero divisor gives 0 (callers only meet it with an empty span).
int MulDivRound(int64_t a, int64_t b, int64_t c);

// --- frames --------------------------------------------------------------------------------------

class TpgwFrameLine : public TPersistent {
 public:
  explicit TpgwFrameLine(TpgwFrame* frame = nullptr) : FFrame(frame) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  TpgwFrameStyle Style() const { return FStyle; }
  void SetStyle(TpgwFrameStyle v) { FStyle = v; }
  Extended Width() const { return FWidth; }
  void SetWidth(Extended v) { FWidth = v; }
  TpgwFrame* Frame() const { return FFrame; }

  // A line attribute is written only where it differs from the frame's.
  bool IsColorStored() const;
  bool IsStyleStored() const;
  bool IsWidthStored() const;

 private:
  friend class TpgwFrame;
  TpgwFrame* FFrame;
  TColor FColor = clBlack;
  TpgwFrameStyle FStyle = fsSolid;
  Extended FWidth = 1;
};

class TpgwFrame : public TPersistent {
 public:
  TpgwFrame();
  TpgwFrame(const TpgwFrame&) = delete;
  TpgwFrame& operator=(const TpgwFrame&) = delete;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;
  bool SameAs(const TpgwFrame& o) const;

  TColor Color() const { return FColor; }
  void SetColor(TColor v);  // also every line's colour
  bool DropShadow() const { return FDropShadow; }
  void SetDropShadow(bool v) { FDropShadow = v; }
  TColor ShadowColor() const { return FShadowColor; }
  void SetShadowColor(TColor v) { FShadowColor = v; }
  Extended ShadowWidth() const { return FShadowWidth; }
  void SetShadowWidth(Extended v) { FShadowWidth = v; }
  bool IsShadowWidthStored() const { return FShadowWidth != 4; }
  TpgwFrameStyle Style() const { return FStyle; }
  void SetStyle(TpgwFrameStyle v);  // also every line's style
  TpgwFrameTypes Typ() const { return FTyp; }
  void SetTyp(TpgwFrameTypes v) { FTyp = v; }
  // Templates carry the sides as their bit mask (left 1, right 2, top 4, bottom 8).
  int TypBits() const { return static_cast<int>(FTyp.Bits()); }
  void SetTypBits(int v) { FTyp = TpgwFrameTypes::FromBits(static_cast<uint64_t>(v) & 15u); }
  Extended Width() const { return FWidth; }
  void SetWidth(Extended v);  // also every line's width
  bool IsWidthStored() const { return FWidth != 1; }

  TpgwFrameLine& LeftLine() { return FLeftLine; }
  TpgwFrameLine& TopLine() { return FTopLine; }
  TpgwFrameLine& RightLine() { return FRightLine; }
  TpgwFrameLine& BottomLine() { return FBottomLine; }
  const TpgwFrameLine& LeftLine() const { return FLeftLine; }
  const TpgwFrameLine& TopLine() const { return FTopLine; }
  const TpgwFrameLine& RightLine() const { return FRightLine; }
  const TpgwFrameLine& BottomLine() const { return FBottomLine; }
  void SetLeftLine(const TpgwFrameLine& v) { FLeftLine.Assign(v); }
  void SetTopLine(const TpgwFrameLine& v) { FTopLine.Assign(v); }
  void SetRightLine(const TpgwFrameLine& v) { FRightLine.Assign(v); }
  void SetBottomLine(const TpgwFrameLine& v) { FBottomLine.Assign(v); }

  // Mirroring: right-to-left swaps the left and right lines (and sides), bottom-to-top the
  // top and bottom ones.
  void MirrorHorizontally();
  void MirrorVertically();

  // Paints the frame into the device rectangle (x, y, x1, y1): shadow, then the sides.
  void Draw(TCanvas& canvas, int x, int y, int x1, int y1, Extended scaleX, Extended scaleY) const;

 private:
  TColor FColor = clBlack;
  bool FDropShadow = false;
  TColor FShadowColor = clBlack;
  Extended FShadowWidth = 4;
  TpgwFrameStyle FStyle = fsSolid;
  TpgwFrameTypes FTyp;
  Extended FWidth = 1;
  TpgwFrameLine FLeftLine{this};
  TpgwFrameLine FTopLine{this};
  TpgwFrameLine FRightLine{this};
  TpgwFrameLine FBottomLine{this};
};

// A line of thickness w (1 when 0) as w one-pixel lines side by side, across the line's
// main direction, offsets -(w / 2) .. (w - 1) / 2.
void DrawThickLine(TCanvas& canvas, int x1, int y1, int x2, int y2, int w);

// --- fills ---------------------------------------------------------------------------------------

class TpgwBaseFill : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  virtual TpgwFillType FillType() const = 0;
  // Paints the device rectangle (x, y, x1, y1).
  virtual void Draw(TCanvas& canvas, int x, int y, int x1, int y1) const = 0;
  virtual std::unique_ptr<TpgwBaseFill> Clone() const = 0;
  // The colour a view reports as its `Color`.
  virtual TColor MainColor() const = 0;
  virtual bool SameAs(const TpgwBaseFill& o) const = 0;
};

std::unique_ptr<TpgwBaseFill> CreateFill(TpgwFillType kind);

class TpgwBrushFill : public TpgwBaseFill {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;
  TpgwFillType FillType() const override { return ftBrush; }
  void Draw(TCanvas& canvas, int x, int y, int x1, int y1) const override;
  std::unique_ptr<TpgwBaseFill> Clone() const override;
  TColor MainColor() const override { return FBackColor; }
  bool SameAs(const TpgwBaseFill& o) const override;

  TColor BackColor() const { return FBackColor; }
  void SetBackColor(TColor v) { FBackColor = v; }
  TColor ForeColor() const { return FForeColor; }
  void SetForeColor(TColor v) { FForeColor = v; }
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle v) { FStyle = v; }

 private:
  TColor FBackColor = clNone;
  TColor FForeColor = clBlack;
  TBrushStyle FStyle = bsSolid;
};

class TpgwGradientFill : public TpgwBaseFill {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;
  TpgwFillType FillType() const override { return ftGradient; }
  void Draw(TCanvas& canvas, int x, int y, int x1, int y1) const override;
  std::unique_ptr<TpgwBaseFill> Clone() const override;
  // The middle colour: each channel start + muldiv(127, end - start, 255).
  TColor MainColor() const override;
  bool SameAs(const TpgwBaseFill& o) const override;

  TColor StartColor() const { return FStartColor; }
  void SetStartColor(TColor v) { FStartColor = v; }
  TColor EndColor() const { return FEndColor; }
  void SetEndColor(TColor v) { FEndColor = v; }
  TpgwGradientStyle GradientStyle() const { return FGradientStyle; }
  void SetGradientStyle(TpgwGradientStyle v) { FGradientStyle = v; }

  // Colour i of n steps between the two colours, channel by channel.
  TColor StepColor(int i, int n) const;

 private:
  TColor FStartColor = clWhite;
  TColor FEndColor = clBlack;
  TpgwGradientStyle FGradientStyle = gsHorizontal;
};

class TpgwGlassFill : public TpgwBaseFill {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;
  TpgwFillType FillType() const override { return ftGlass; }
  void Draw(TCanvas& canvas, int x, int y, int x1, int y1) const override;
  std::unique_ptr<TpgwBaseFill> Clone() const override;
  TColor MainColor() const override { return FColor; }
  bool SameAs(const TpgwBaseFill& o) const override;

  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  Extended Blend() const { return FBlend; }
  void SetBlend(Extended v) { FBlend = v; }
  bool Hatch() const { return FHatch; }
  void SetHatch(bool v) { FHatch = v; }
  TpgwFillOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TpgwFillOrientation v) { FOrientation = v; }
  // Each channel c + round((255 - c) * Blend), at most 255.
  TColor BlendColor() const;

 private:
  TColor FColor = clGray;
  Extended FBlend = 0.5;
  bool FHatch = false;
  TpgwFillOrientation FOrientation = foHorizontal;
};

// --- hyperlink -------------------------------------------------------------------------------------

class TpgwHyperlink : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  TpgwHyperlinkKind Kind() const { return FKind; }
  void SetKind(TpgwHyperlinkKind v) { FKind = v; }
  const WideString& DetailReport() const { return FDetailReport; }
  void SetDetailReport(const WideString& v) { FDetailReport = v; }
  const WideString& DetailPage() const { return FDetailPage; }
  void SetDetailPage(const WideString& v) { FDetailPage = v; }
  const WideString& Expression() const { return FExpression; }
  void SetExpression(const WideString& v) { FExpression = v; }
  const WideString& ReportVariable() const { return FReportVariable; }
  void SetReportVariable(const WideString& v) { FReportVariable = v; }
  const WideString& TabCaption() const { return FTabCaption; }
  void SetTabCaption(const WideString& v) { FTabCaption = v; }
  const WideString& Value() const { return FValue; }
  void SetValue(const WideString& v) { FValue = v; }
  const WideString& ValuesSeparator() const { return FValuesSeparator; }
  void SetValuesSeparator(const WideString& v) { FValuesSeparator = v; }
  bool IsValuesSeparatorStored() const { return FValuesSeparator != u";"; }

  bool IsEmpty() const;
  // The legacy single-text form: "@n" a page number, "#name" an anchor, anything else a URL.
  WideString URL() const { return FValue; }
  void SetURL(const WideString& v);

 private:
  TpgwHyperlinkKind FKind = hkURL;
  WideString FDetailReport, FDetailPage, FExpression, FReportVariable, FTabCaption, FValue;
  WideString FValuesSeparator = u";";
};

// The post-processing record of a view (prepared pages compute some values later).
struct TpgwObjectProcessing {
  TpgwProcessAtMode ProcessAt = paDefault;
  int GroupLevel = 0;
};

// --- the report's expression evaluation ------------------------------------------------------------

// How views evaluate an expression: through their report's script service (TpgwReport::Calc).
Variant ReportCalc(TpgwReport& report, const WideString& expression);

// The bracketed expression that starts at `i` (0-based): its inner text, with j at the last
// character of the closing delimiter; j == i when the text at i is not an opening delimiter.
// Delimiters inside quoted strings do not count and inner pairs nest.
WideString FindBracketedExpression(const WideString& text, std::u16string_view open,
                                   std::u16string_view close, int& i, int& j);

// --- views -----------------------------------------------------------------------------------------

class TpgwView : public TpgwReportComponent {
 public:
  explicit TpgwView(TComponent* owner);
  ~TpgwView() override;

  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // --- published -----------------------------------------------------------------------------------
  TpgwAlign Align() const override { return FAlign; }
  void SetAlign(TpgwAlign v) { FAlign = v; }
  bool AllowVectorExport() const { return FAllowVectorExport; }
  void SetAllowVectorExport(bool v) { FAllowVectorExport = v; }
  bool Printable() const { return FVisibility.Contains(vsPrint); }
  void SetPrintable(bool v);
  TpgwShiftMode ShiftMode() const { return FShiftMode; }
  void SetShiftMode(TpgwShiftMode v) { FShiftMode = v; }
  const WideString& OnMouseEnter() const { return FOnMouseEnter; }
  void SetOnMouseEnter(const WideString& v) { FOnMouseEnter = v; }
  const WideString& OnMouseLeave() const { return FOnMouseLeave; }
  void SetOnMouseLeave(const WideString& v) { FOnMouseLeave = v; }
  const WideString& OnMouseDown() const { return FOnMouseDown; }
  void SetOnMouseDown(const WideString& v) { FOnMouseDown = v; }
  const WideString& OnMouseMove() const { return FOnMouseMove; }
  void SetOnMouseMove(const WideString& v) { FOnMouseMove = v; }
  const WideString& OnMouseUp() const { return FOnMouseUp; }
  void SetOnMouseUp(const WideString& v) { FOnMouseUp = v; }
  TpgwHyperlink& Hyperlink() { return *FHyperlink; }
  const TpgwHyperlink& Hyperlink() const { return *FHyperlink; }
  void SetHyperlink(const TpgwHyperlink& v) { FHyperlink->Assign(v); }
  const WideString& Hint() const { return FHint; }
  void SetHint(const WideString& v) { FHint = v; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool v) { FShowHint = v; }
  TpgwVisibilityTypes Visibility() const { return FVisibility; }
  void SetVisibility(TpgwVisibilityTypes v) { FVisibility = v; }

  // --- published by descendants ----------------------------------------------------------------------
  TColor Color() const { return FFill->MainColor(); }
  void SetColor(TColor v);
  int Cursor() const { return FCursor; }
  void SetCursor(int v) { FCursor = v; }
  const WideString& DataField() const { return FDataField; }
  void SetDataField(const WideString& v) { FDataField = v; }
  TComponent* DataSet() const { return FDataSet; }
  void SetDataSet(TComponent* v);
  const WideString& DataSetName() const { return FDataSetName; }
  void SetDataSetName(const WideString& v);
  TpgwFrame& Frame() { return *FFrame; }
  const TpgwFrame& Frame() const { return *FFrame; }
  void SetFrame(const TpgwFrame& v) { FFrame->Assign(v); }
  TpgwFillType FillType() const { return FFill->FillType(); }
  // A new fill of that kind with its defaults (nothing when the kind is unchanged).
  void SetFillType(TpgwFillType v);
  TpgwBaseFill& Fill() { return *FFill; }
  const TpgwBaseFill& Fill() const { return *FFill; }
  // Copies the given fill, changing the kind when needed.
  void SetFill(const TpgwBaseFill& v);
  const WideString& TagStr() const { return FTagStr; }
  void SetTagStr(const WideString& v) { FTagStr = v; }
  WideString URL() const { return FHyperlink->URL(); }
  void SetURL(const WideString& v) { FHyperlink->SetURL(v); }

  // --- fields -----------------------------------------------------------------------------------------
  bool PlainText() const { return FPlainText; }
  void SetPlainText(bool v) { FPlainText = v; }
  bool DrawAsMask() const { return FDrawAsMask; }
  void SetDrawAsMask(bool v) { FDrawAsMask = v; }
  bool ObjAsMetafile() const { return FObjAsMetafile; }
  void SetObjAsMetafile(bool v) { FObjAsMetafile = v; }
  bool DrawFillOnMetaFile() const { return FDrawFillOnMetaFile; }
  void SetDrawFillOnMetaFile(bool v) { FDrawFillOnMetaFile = v; }
  TpgwObjectProcessing& Processing() { return FProcessing; }
  const TpgwObjectProcessing& Processing() const { return FProcessing; }
  // The device rectangle of the last CalcDeviceRect.
  int FX = 0, FY = 0, FX1 = 0, FY1 = 0, FDX = 0, FDY = 0, FrameWidth = 0;
  Extended ScaleX = 1, ScaleY = 1, OffsetX = 0, OffsetY = 0;
  TCanvas* Canvas() const { return FCanvas; }

  // --- operations ------------------------------------------------------------------------------------
  void Draw(void* canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) override;
  // The same with the canvas type; descendants draw their content here, between the background
  // and the frame.
  virtual void Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY);
  virtual void DrawClipped(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                           Extended offsetY);
  virtual void CalcDeviceRect(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                              Extended offsetY);
  virtual void DrawBackgroundFill();
  virtual void DrawFrameLines();
  virtual bool IsEMFExportable() const { return FAllowVectorExport; }
  // Exports asking for vector graphics: nothing is handled here.
  virtual bool GetVectorGraphic() { return false; }
  virtual TCanvas* GetVectorCanvas() { return nullptr; }
  virtual Extended GetScaleFactor() const { return 1; }
  virtual TpgwRect GetExportBounds() const;
  virtual bool SaveContentToDictionary() { return false; }
  virtual bool LoadContentFromDictionary() { return false; }
  virtual void ProcessDictionary() {}
  virtual bool IsPostProcessAllowed() const { return FProcessing.ProcessAt != paDefault; }

  void BeforePrint() override;
  void GetData() override;
  void AfterPrint() override;
  TpgwRect GetRealBounds() const override;
  void MirrorContent(TpgwMirrorControlModes modes) override;

  Extended ShadowSize() const { return FFrame->DropShadow() ? FFrame->ShadowWidth() : 0; }
  bool IsDataField() const { return FDataSet != nullptr && !FDataField.empty(); }
  // Replaces every bracketed expression by the text of its value.
  WideString ExpandBrackets(const WideString& text);
  // Views with a data link (pictures from a URL or file) expand and hand over the link here.
  virtual void ProcessDataLink() {}

 protected:
  void Notification(TComponent* c, TOperation op) override;
  // Quotes a string result of a hyperlink expression for the report's script language.
  WideString QuoteForScript(const WideString& s) const;

 private:
  TpgwAlign FAlign = baNone;
  bool FAllowVectorExport = true;
  TpgwShiftMode FShiftMode = smAlways;
  WideString FOnMouseEnter, FOnMouseLeave, FOnMouseDown, FOnMouseMove, FOnMouseUp;
  std::unique_ptr<TpgwHyperlink> FHyperlink;
  WideString FHint;
  bool FShowHint = false;
  TpgwVisibilityTypes FVisibility{vsPreview, vsExport, vsPrint};
  int FCursor = 0;
  WideString FDataField;
  TComponent* FDataSet = nullptr;
  WideString FDataSetName;
  std::unique_ptr<TpgwFrame> FFrame;
  std::unique_ptr<TpgwBaseFill> FFill;
  WideString FTagStr;
  WideString FTempTag;
  WideString FTempHyperlink;
  bool FPlainText = false;
  bool FDrawAsMask = false;
  TCanvas* FCanvas = nullptr;
  TpgwObjectProcessing FProcessing;
  bool FObjAsMetafile = false;
  bool FDrawFillOnMetaFile = false;
};

class TpgwStretcheable : public TpgwView {
 public:
  explicit TpgwStretcheable(TComponent* owner) : TpgwView(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  TpgwStretchMode StretchMode() const { return FStretchMode; }
  void SetStretchMode(TpgwStretchMode v) { FStretchMode = v; }
  bool CanShrink() const { return FCanShrink; }
  void SetCanShrink(bool v) { FCanShrink = v; }
  Extended SaveHeight() const { return FSaveHeight; }
  void SetSaveHeight(Extended v) { FSaveHeight = v; }
  Extended SavedTop() const { return FSavedTop; }
  void SetSavedTop(Extended v) { FSavedTop = v; }

  virtual Extended CalcHeight() { return Height(); }
  virtual Extended DrawPart() { return 0; }
  virtual void InitPart() {}
  virtual bool HasNextDataPart(Extended freeSpace) const { return freeSpace < Top() + FSaveHeight; }
  virtual Extended GetLastShiftAmount(Extended) const { return 0; }

 private:
  TpgwStretchMode FStretchMode = smDontStretch;
  bool FCanShrink = false;
  Extended FSaveHeight = 0;
  Extended FSavedTop = 0;
};

// The view classes themselves are abstract; the frame is the one listed class here.
// Gives the class list its view classes (start-up, before RegisterReportClasses).
void ProvideViewClasses();
// Provides them and registers every provided report class in list order (for tests and tools
// that need only these classes).
void RegisterViewClasses();

}  // namespace pagewright
