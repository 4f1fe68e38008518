// The text object: a view that shows the display text of a data field, or a template text whose
// bracketed expressions are replaced by their formatted values; with display formats, hidden
// zeros, suppressed repeats and conditional highlights. It measures, draws and splits its text
// through the text layout engine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/properties.h"
#include "platform/string_list.h"
#include "platform/types.h"
#include "platform/variant.h"
#include "render/draw_text.h"
#include "report/view.h"
#include "storage/xml_text_object.h"

namespace pagewright {

class TFiler;
class TPropertyReader;
class TPropertyWriter;
class TpgwCustomMemoView;
class TpgwStyleItem;

enum TpgwFormatKind : uint8_t { fkText, fkNumeric, fkDateTime, fkBoolean };
enum TpgwDuplicateMerge : uint8_t { dmShow, dmHide, dmClear, dmMerge };
enum TpgwInteractiveHighlightEvent : uint8_t { ihNone, ihClick, ihEnter, ihEdit };

const TEnumInfo& TpgwFormatKindInfo();
const TEnumInfo& TpgwDuplicateMergeInfo();
const TEnumInfo& TpgwInteractiveHighlightEventInfo();
const TEnumInfo& TpgwHAlignInfo();
const TEnumInfo& TpgwVAlignInfo();
const TEnumInfo& TpgwUnderlinesTextModeInfo();

// --- display formats -----------------------------------------------------------------------------

class TpgwFormat : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  const WideString& DecimalSeparator() const { return FDecimalSeparator; }
  void SetDecimalSeparator(const WideString& v) { FDecimalSeparator = v; }
  const WideString& ThousandSeparator() const { return FThousandSeparator; }
  void SetThousandSeparator(const WideString& v) { FThousandSeparator = v; }
  const WideString& FormatStr() const { return FFormatStr; }
  void SetFormatStr(const WideString& v) { FFormatStr = v; }
  TpgwFormatKind Kind() const { return FKind; }
  void SetKind(TpgwFormatKind v) { FKind = v; }
  bool SameAs(const TpgwFormat& o) const;

 private:
  WideString FDecimalSeparator, FThousandSeparator, FFormatStr;
  TpgwFormatKind FKind = fkText;
};

class TpgwFormatCollection {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwFormat& Items(int index) const { return *FItems.at(static_cast<size_t>(index)); }
  TpgwFormat& operator[](int index) const { return Items(index); }
  TpgwFormat& Add();
  void Delete(int index);
  void Clear() { FItems.clear(); }
  void Assign(const TpgwFormatCollection& source);

 private:
  std::vector<std::unique_ptr<TpgwFormat>> FItems;
};

// --- highlights ----------------------------------------------------------------------------------

class TpgwHighlight : public TPersistent {
 public:
  TpgwHighlight();
  TpgwHighlight(const TpgwHighlight&) = delete;
  TpgwHighlight& operator=(const TpgwHighlight&) = delete;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  bool Active() const { return FActive; }
  void SetActive(bool v) { FActive = v; }
  bool ApplyFont() const { return FApplyFont; }
  void SetApplyFont(bool v) { FApplyFont = v; }
  bool ApplyFill() const { return FApplyFill; }
  void SetApplyFill(bool v) { FApplyFill = v; }
  bool ApplyFrame() const { return FApplyFrame; }
  void SetApplyFrame(bool v) { FApplyFrame = v; }
  TpgwFont& Font() { return FFont; }
  const TpgwFont& Font() const { return FFont; }
  void SetFont(const TpgwFont& v) { FFont.Assign(v); }
  // A brush fill's back colour; no colour for the other fills.
  TColor Color() const;
  void SetColor(TColor v);
  const WideString& Condition() const { return FCondition; }
  void SetCondition(const WideString& v) { FCondition = v; }
  TpgwInteractiveHighlightEvent InteractiveType() const { return FInteractiveType; }
  void SetInteractiveType(TpgwInteractiveHighlightEvent v) { FInteractiveType = v; }
  TpgwFillType FillType() const { return FFill->FillType(); }
  void SetFillType(TpgwFillType v);
  TpgwBaseFill& Fill() { return *FFill; }
  const TpgwBaseFill& Fill() const { return *FFill; }
  void SetFill(const TpgwBaseFill& v);
  TpgwFrame& Frame() { return FFrame; }
  const TpgwFrame& Frame() const { return FFrame; }
  void SetFrame(const TpgwFrame& v) { FFrame.Assign(v); }
  bool Visible() const { return FVisible; }
  void SetVisible(bool v) { FVisible = v; }

 private:
  bool FActive = false;
  bool FApplyFont = true;
  bool FApplyFill = true;
  bool FApplyFrame = false;
  TpgwFont FFont;
  WideString FCondition;
  TpgwInteractiveHighlightEvent FInteractiveType = ihNone;
  std::unique_ptr<TpgwBaseFill> FFill;
  TpgwFrame FFrame;
  bool FVisible = true;
};

class TpgwHighlightCollection {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwHighlight& Items(int index) const { return *FItems.at(static_cast<size_t>(index)); }
  TpgwHighlight& operator[](int index) const { return Items(index); }
  TpgwHighlight& Add();
  void Delete(int index);
  void Clear() { FItems.clear(); }
  void Assign(const TpgwHighlightCollection& source);

 private:
  std::vector<std::unique_ptr<TpgwHighlight>> FItems;
};

// The view's processing record as a published sub-object ("Processing.ProcessAt").
class TpgwProcessingProperties : public TPersistent {
 public:
  explicit TpgwProcessingProperties(TpgwObjectProcessing& record) : FRecord(record) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;
  TpgwProcessAtMode ProcessAt() const { return FRecord.ProcessAt; }
  void SetProcessAt(TpgwProcessAtMode v) { FRecord.ProcessAt = v; }
  int GroupLevel() const { return FRecord.GroupLevel; }
  void SetGroupLevel(int v) { FRecord.GroupLevel = v; }

 private:
  TpgwObjectProcessing& FRecord;
};

// --- the prepared-page post-processor, as text objects see it ----------------------------------------

// The post-processor's entry for one text object name: its instance texts and the memory of
// neighbouring duplicates.
class IpgwMacrosItem {
 public:
  virtual ~IpgwMacrosItem() = default;
  virtual int TextCount() const = 0;
  virtual WideString Text(int index) const = 0;
  // Replaces the last instance text (a deferred value computed at last).
  virtual void SetLastText(const WideString& text) = 0;
  // The object that showed the last index, and that index (-1 for none).
  virtual TpgwCustomMemoView* CurrentObject() const = 0;
  virtual void SetCurrentObject(TpgwCustomMemoView* object) = 0;
  virtual int LastIndex() const = 0;
  virtual void SetLastIndex(int index) = 0;
};

class IpgwPostProcessor {
 public:
  virtual ~IpgwPostProcessor() = default;
  // Records one instance text of the object `name` on `bandName`; `process` marks it for later
  // processing. The instance index, or -1 when the content is not kept.
  virtual int Add(const WideString& bandName, const WideString& name, const WideString& content,
                  TpgwProcessAtMode processAt, TpgwCustomMemoView& source, bool process) = 0;
};

// --- the text object -----------------------------------------------------------------------------

class TpgwCustomMemoView : public TpgwStretcheable, public IpgwXMLTextObject {
 public:
  explicit TpgwCustomMemoView(TComponent* owner);
  ~TpgwCustomMemoView() override;

  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void DefineProperties(TFiler& filer) override;

  // --- properties ----------------------------------------------------------------------------------
  bool AutoWidth() const { return FAutoWidth; }
  void SetAutoWidth(bool v) { FAutoWidth = v; }
  bool AllowExpressions() const { return FAllowExpressions; }
  void SetAllowExpressions(bool v) { FAllowExpressions = v; }
  bool AllowHTMLTags() const { return FAllowHTMLTags; }
  void SetAllowHTMLTags(bool v) { FAllowHTMLTags = v; }
  // The brush fill's style (bsSolid for the other fills).
  TBrushStyle BrushStyle() const;
  void SetBrushStyle(TBrushStyle v);
  Extended CharSpacing() const { return FCharSpacing; }
  void SetCharSpacing(Extended v) { FCharSpacing = v; }
  bool Clipped() const { return FClipped; }
  void SetClipped(bool v) { FClipped = v; }
  // The first format; one is added when there is none.
  TpgwFormat& DisplayFormat();
  void SetDisplayFormat(const TpgwFormat& v) { DisplayFormat().Assign(v); }
  const WideString& ExpressionDelimiters() const { return FExpressionDelimiters; }
  void SetExpressionDelimiters(const WideString& v) { FExpressionDelimiters = v; }
  TpgwCustomMemoView* FlowTo() const { return FFlowTo; }
  void SetFlowTo(TpgwCustomMemoView* v);
  Extended GapX() const { return FGapX; }
  void SetGapX(Extended v) { FGapX = v; }
  Extended GapY() const { return FGapY; }
  void SetGapY(Extended v) { FGapY = v; }
  TpgwHAlign HAlign() const { return FHAlign; }
  void SetHAlign(TpgwHAlign v) { FHAlign = v; }
  bool HideZeros() const { return FHideZeros; }
  void SetHideZeros(bool v) { FHideZeros = v; }
  // The first highlight; one is added when there is none.
  TpgwHighlight& Highlight();
  void SetHighlight(const TpgwHighlight& v) { Highlight().Assign(v); }
  Extended LineSpacing() const { return FLineSpacing; }
  void SetLineSpacing(Extended v) { FLineSpacing = v; }
  TStringList& Memo() { return FMemo; }
  const TStringList& Memo() const { return FMemo; }
  void SetMemo(const TStringList& v) { FMemo.Assign(v); }
  Extended ParagraphGap() const { return FParagraphGap; }
  void SetParagraphGap(Extended v) { FParagraphGap = v; }
  TpgwProcessingProperties& ProcessingProperties() { return FProcessingProperties; }
  void SetProcessingProperties(const TpgwProcessingProperties& v) { FProcessingProperties.Assign(v); }
  int Rotation() const { return FRotation; }
  // Stored modulo 360.
  void SetRotation(int v) { FRotation = v % 360; }
  bool RTLReading() const { return FRTLReading; }
  void SetRTLReading(bool v) { FRTLReading = v; }
  const WideString& Style() const { return FStyle; }
  // Applies the report's style of that name at once when the object belongs to a report.
  void SetStyle(const WideString& v);
  bool SuppressRepeated() const { return FSuppressRepeated; }
  void SetSuppressRepeated(bool v) { FSuppressRepeated = v; }
  TpgwDuplicateMerge Duplicates() const { return FDuplicates; }
  void SetDuplicates(TpgwDuplicateMerge v) { FDuplicates = v; }
  bool Underlines() const { return FUnderlinesTextMode != ulmNone; }
  void SetUnderlines(bool v);
  TpgwUnderlinesTextMode UnderlinesTextMode() const { return FUnderlinesTextMode; }
  void SetUnderlinesTextMode(TpgwUnderlinesTextMode v) { FUnderlinesTextMode = v; }
  bool UseDefaultCharset() const { return FUseDefaultCharset; }
  void SetUseDefaultCharset(bool v) { FUseDefaultCharset = v; }
  bool WordBreak() const { return FWordBreak; }
  void SetWordBreak(bool v) { FWordBreak = v; }
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v) { FWordWrap = v; }
  bool Wysiwyg() const { return FWysiwyg; }
  void SetWysiwyg(bool v) { FWysiwyg = v; }
  TpgwVAlign VAlign() const { return FVAlign; }
  void SetVAlign(TpgwVAlign v) { FVAlign = v; }
  bool FirstParaBreak() const { return FFirstParaBreak; }
  void SetFirstParaBreak(bool v) { FFirstParaBreak = v; }
  bool LastParaBreak() const { return FLastParaBreak; }
  void SetLastParaBreak(bool v) { FLastParaBreak = v; }

  // Stored tests: spacings only when they differ from their defaults (exactly).
  bool IsGapXStored() const { return FGapX != 2; }
  bool IsGapYStored() const { return FGapY != 1; }
  bool IsLineSpacingStored() const { return FLineSpacing != 2; }
  bool IsParagraphGapStored() const { return FParagraphGap != 0; }
  bool IsCharSpacingStored() const { return FCharSpacing != 0; }
  bool IsExpressionDelimitersStored() const { return FExpressionDelimiters != u"[,]"; }
  bool IsDisplayFormatStored() const { return FFormats.Count() == 1; }
  bool IsHighlightStored() const;
  bool IsFontStored() const { return !ParentFont(); }

  // --- public only ---------------------------------------------------------------------------------
  // The whole text: every line followed by carriage return and line feed.
  virtual WideString GetText() const { return FMemo.Text(); }
  virtual void SetText(const WideString& v) { FMemo.SetText(v); }
  WideString Text() const { return GetText(); }
  // The text as the font's character set has it, and back.
  WideString AnsiText() const;
  void SetAnsiText(const WideString& v);
  TStringList& Lines() { return FMemo; }
  virtual Variant GetValue() const { return FValue; }
  const Variant& Value() const { return FValue; }
  void SetValue(const Variant& v) { FValue = v; }
  TpgwFormatCollection& Formats() { return FFormats; }
  const TpgwFormatCollection& Formats() const { return FFormats; }
  TpgwHighlightCollection& Highlights() { return FHighlights; }
  const TpgwHighlightCollection& Highlights() const { return FHighlights; }
  const WideString& PartMemo() const { return FPartMemo; }
  virtual void SetPartMemo(const WideString& v) { FPartMemo = v; }
  const Variant& LastValue() const { return FLastValue; }
  int TotalPages() const { return FTotalPages; }
  void SetTotalPages(int v) { FTotalPages = v; }
  int CopyNo() const { return FCopyNo; }
  void SetCopyNo(int v) { FCopyNo = v; }
  Extended PrintScale() const { return FPrintScale; }
  void SetPrintScale(Extended v) { FPrintScale = v; }
  bool HighlightActivated() const { return FHighlightActivated; }
  const TRect& TextRect() const { return FTextRect; }
  const TRect& ScaledRect() const { return FScaledRect; }

  // IpgwXMLTextObject: the lines joined by carriage return and line feed.
  WideString XMLText() const override;
  void SetXMLText(const WideString& text) override;

  // --- operations ----------------------------------------------------------------------------------
  void GetData() override;
  void BeforePrint() override;
  void AfterPrint() override;
  WideString GetComponentText() const override;
  WideString GetDescription() const override;
  void MirrorContent(TpgwMirrorControlModes modes) override;
  bool IsPostProcessAllowed() const override;

  // One value as text; null means DisplayFormat.
  WideString FormatData(const Variant& value, const TpgwFormat* format = nullptr);
  // The text that replaces one bracketed expression.
  WideString CalcAndFormat(const WideString& expr, const TpgwFormat& format);
  void ApplyStyle(const TpgwStyleItem& style);
  void ApplyHighlight(const TpgwHighlight& highlight);
  void ResetSuppress() { FLastValue = Variant(WideString()); }
  // Puts in the page count and the copy name for their placeholders.
  void ExtractMacros();
  int ReducedAngle() const { return ((FRotation % 360) + 360) % 360; }

  // --- post-processing -------------------------------------------------------------------------------
  using TpgwView::LoadContentFromDictionary;
  using TpgwView::ProcessDictionary;
  using TpgwView::SaveContentToDictionary;
  // Hands the content to the post-processor; the text becomes the returned index. False when
  // nothing was kept.
  virtual bool SaveContentToDictionary(TpgwReport& report, IpgwPostProcessor& postProcessor);
  // Once per object: an index text is replaced by the stored text. True when the object is to
  // be hidden (a merged or hidden duplicate).
  virtual bool LoadContentFromDictionary(TpgwReport& report, IpgwMacrosItem& item);
  // Evaluates the object again and stores the new text as the item's last entry.
  virtual void ProcessDictionary(IpgwMacrosItem& item, TpgwReport& report, IpgwPostProcessor& postProcessor);

  // --- geometry, measuring, drawing, splitting -------------------------------------------------------
  Extended HorizontalExtra() const;
  Extended VerticalExtra() const;
  TRect ComputeTextRect(Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) const;
  using TpgwView::CalcDeviceRect;
  void CalcDeviceRect(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                      Extended offsetY) override;
  Extended CalcHeight() override;
  virtual Extended CalcWidth();
  using TpgwView::Draw;
  void Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) override;
  void InitPart() override;
  Extended DrawPart() override;
  // The text as the layout engine wraps it at the current width; without `wrapWords`, the text
  // without tags. `paraText` receives the lines (with their paragraph marks as objects when
  // the counts agree).
  WideString WrapText(bool wrapWords, TStringList* paraText = nullptr);

  // --- prepared pages ----------------------------------------------------------------------------------
  // The text object's attributes that differ from `ref` (each " Name=\"value\""); then hands
  // the paragraph state on to the next part.
  virtual WideString Diff(const TpgwCustomMemoView* ref);
  virtual WideString DiffText(const TpgwCustomMemoView* ref) const;

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  bool Convert() const;
  WideString ExpandExpressions(const WideString& text);
  void ConfigureEngine(TpgwDrawText& dt) const;
  // The view's geometry step (and the text rectangles) without a canvas.
  void CalcDeviceRectWithoutCanvas(Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY);
  void UpdateAutoWidth();
  void DrawTextBody(TCanvas& canvas);
  void ReadFormats(TPropertyReader& reader);
  void WriteFormats(TPropertyWriter& writer);
  void ReadHighlights(TPropertyReader& reader);
  void WriteHighlights(TPropertyWriter& writer);

  bool FAllowExpressions = true;
  bool FAllowHTMLTags = false;
  bool FAutoWidth = false;
  Extended FCharSpacing = 0;
  bool FClipped = true;
  TpgwFormatCollection FFormats;
  WideString FExpressionDelimiters = u"[,]";
  TpgwCustomMemoView* FFlowTo = nullptr;
  bool FFirstParaBreak = false;
  Extended FGapX = 2;
  Extended FGapY = 1;
  TpgwHAlign FHAlign = haLeft;
  bool FHideZeros = false;
  TpgwHighlightCollection FHighlights;
  bool FLastParaBreak = false;
  Extended FLineSpacing = 2;
  TStringList FMemo;
  Extended FParagraphGap = 0;
  TpgwProcessingProperties FProcessingProperties{Processing()};
  int FRotation = 0;
  bool FRTLReading = false;
  WideString FStyle;
  bool FSuppressRepeated = false;
  TpgwDuplicateMerge FDuplicates = dmShow;
  TpgwUnderlinesTextMode FUnderlinesTextMode = ulmNone;
  bool FUseDefaultCharset = false;
  bool FWordBreak = false;
  bool FWordWrap = true;
  bool FWysiwyg = true;
  TpgwVAlign FVAlign = vaTop;

  WideString FTempMemo;
  Variant FValue;
  bool FHighlightActivated = false;
  std::unique_ptr<TpgwBaseFill> FTempFill;
  TpgwFont FTempFont;
  bool FTempParentFont = true;
  TpgwFrame FTempFrame;
  bool FTempVisible = true;
  TRect FScaledRect;
  TRect FTextRect;
  bool FMacroLoaded = false;
  WideString FPartMemo;
  Variant FLastValue = Variant::Null();
  int FTotalPages = 0;
  int FCopyNo = 0;
  Extended FPrintScale = 1;
  int FMacroIndex = -1;
  int FMacroLine = -1;
};

// The text object of templates: publishes every property.
class TpgwMemoView : public TpgwCustomMemoView {
 public:
  explicit TpgwMemoView(TComponent* owner) : TpgwCustomMemoView(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
};

// A text object for system texts: fewer published properties, expressions always allowed.
class TpgwSysMemoView : public TpgwCustomMemoView {
 public:
  explicit TpgwSysMemoView(TComponent* owner) : TpgwCustomMemoView(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  WideString GetDescription() const override;
};

// Gives the class list the text object classes and the highlight (start-up, before
// RegisterReportClasses).
void ProvideMemoClasses();

}  // namespace pagewright
