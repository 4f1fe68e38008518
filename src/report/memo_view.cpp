#include "report/memo_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/code_pages.h"
#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/property_stream.h"
#include "platform/scope_guard.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/report.h"
#include "storage/serializer.h"
#include "storage/xml_document.h"
#include "support/resources.h"

namespace pagewright {

namespace {

int Round(Extended v) {
  return static_cast<int>(RoundHalfEven(v));
}

bool StartsAt(std::u16string_view s, size_t i, std::u16string_view what) {
  return i <= s.size() && s.substr(i, what.size()) == what;
}

// The lines joined by CR LF, without a line break after the last.
WideString JoinLines(const TStringList& lines) {
  WideString s;
  for (int i = 0; i < lines.Count(); ++i) {
    if (i) s += u"\r\n";
    s += lines[i];
  }
  return s;
}

std::vector<WideString> LinesOf(const TStringList& list) {
  std::vector<WideString> v;
  v.reserve(static_cast<size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) v.push_back(list[i]);
  return v;
}

// Text through an 8-bit code page and back through another, as the platform does for fonts
// whose character set is not Unicode.
WideString Recode(const WideString& s, uint32_t narrowWith, uint32_t readWith) {
  if (narrowWith == readWith) return s;
  return CodePageToWide(WideToCodePage(s, narrowWith), readWith);
}

bool IsBooleanTrue(const Variant& v) {
  try {
    return !VarIsClear(v) && v == Variant(true);
  } catch (const std::exception&) {
    return false;
  }
}

// Holds the process-wide layout lock and hands out the engine text objects use. All engines
// share that one lock, so one engine serves every report.
TpgwDrawText& LayoutEngine() {
  static TpgwDrawText engine;
  return engine;
}

bool IsRightAngle(int reduced) {
  return reduced == 90 || reduced == 270;
}

}  // namespace

// ---- enumerations -----------------------------------------------------------------------------------

const TEnumInfo& TpgwFormatKindInfo() {
  static const TEnumInfo info("TpgwFormatKind", {"fkText", "fkNumeric", "fkDateTime", "fkBoolean"});
  return info;
}
const TEnumInfo& TpgwDuplicateMergeInfo() {
  static const TEnumInfo info("TpgwDuplicateMerge", {"dmShow", "dmHide", "dmClear", "dmMerge"});
  return info;
}
const TEnumInfo& TpgwInteractiveHighlightEventInfo() {
  static const TEnumInfo info("TpgwInteractiveHighlightEvent", {"ihNone", "ihClick", "ihEnter", "ihEdit"});
  return info;
}
const TEnumInfo& TpgwHAlignInfo() {
  static const TEnumInfo info("TpgwHAlign", {"haLeft", "haRight", "haCenter", "haBlock"});
  return info;
}
const TEnumInfo& TpgwVAlignInfo() {
  static const TEnumInfo info("TpgwVAlign", {"vaTop", "vaBottom", "vaCenter"});
  return info;
}
const TEnumInfo& TpgwUnderlinesTextModeInfo() {
  static const TEnumInfo info("TpgwUnderlinesTextMode", {"ulmNone", "ulmUnderlinesAll", "ulmUnderlinesText",
                                                         "ulmUnderlinesTextAndEmptyLines"});
  return info;
}

// ---- formats ----------------------------------------------------------------------------------------

const TClassInfo& TpgwFormat::StaticClassInfo() {
  using T = TpgwFormat;
  static const TClassInfo& info =
      Describe<T>("TpgwFormat")
          .Parent<TPersistent>()
          .String("DecimalSeparator", &T::DecimalSeparator, &T::SetDecimalSeparator)
          .String("ThousandSeparator", &T::ThousandSeparator, &T::SetThousandSeparator)
          .String("FormatStr", &T::FormatStr, &T::SetFormatStr)
          .Enum("Kind", &T::Kind, &T::SetKind, TpgwFormatKindInfo())
          .Default(fkText)
          .Build();
  return info;
}
const TClassInfo& TpgwFormat::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwFormat::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwFormat*>(&source)) {
    FDecimalSeparator = s->FDecimalSeparator;
    FThousandSeparator = s->FThousandSeparator;
    FFormatStr = s->FFormatStr;
    FKind = s->FKind;
    return;
  }
  TPersistent::Assign(source);
}

bool TpgwFormat::SameAs(const TpgwFormat& o) const {
  return FDecimalSeparator == o.FDecimalSeparator && FThousandSeparator == o.FThousandSeparator &&
         FFormatStr == o.FFormatStr && FKind == o.FKind;
}

TpgwFormat& TpgwFormatCollection::Add() {
  FItems.push_back(std::make_unique<TpgwFormat>());
  return *FItems.back();
}
void TpgwFormatCollection::Delete(int index) {
  FItems.erase(FItems.begin() + index);
}
void TpgwFormatCollection::Assign(const TpgwFormatCollection& source) {
  if (&source == this) return;
  FItems.clear();
  for (auto& f : source.FItems) Add().Assign(*f);
}

// ---- highlights -------------------------------------------------------------------------------------

TpgwHighlight::TpgwHighlight() : FFill(std::make_unique<TpgwBrushFill>()) {
  FFont.SetColor(static_cast<TColor>(255));
}

const TClassInfo& TpgwHighlight::StaticClassInfo() {
  using T = TpgwHighlight;
  static const TClassInfo& info =
      Describe<T>("TpgwHighlight")
          .Parent<TPersistent>()
          .Boolean("Active", &T::Active, &T::SetActive)
          .Default(false)
          .Stored(false)
          .Boolean("ApplyFont", &T::ApplyFont, &T::SetApplyFont)
          .Default(true)
          .Boolean("ApplyFill", &T::ApplyFill, &T::SetApplyFill)
          .Default(true)
          .Boolean("ApplyFrame", &T::ApplyFrame, &T::SetApplyFrame)
          .Default(false)
          .Object("Font", static_cast<TpgwFont& (T::*)()>(&T::Font), &T::SetFont)
          .Color("Color", &T::Color, &T::SetColor)
          .Stored(false)
          .String("Condition", &T::Condition, &T::SetCondition)
          .Enum("InteractiveType", &T::InteractiveType, &T::SetInteractiveType,
                TpgwInteractiveHighlightEventInfo())
          .Default(ihNone)
          .Enum("FillType", &T::FillType, &T::SetFillType, TpgwFillTypeInfo())
          .Default(ftBrush)
          .Object("Fill", static_cast<TpgwBaseFill& (T::*)()>(&T::Fill), &T::SetFill)
          .Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame)
          .Boolean("Visible", &T::Visible, &T::SetVisible)
          .Default(true)
          .Build();
  return info;
}
const TClassInfo& TpgwHighlight::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwHighlight::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwHighlight*>(&source)) {
    FActive = s->FActive;
    FApplyFont = s->FApplyFont;
    FApplyFill = s->FApplyFill;
    FApplyFrame = s->FApplyFrame;
    FFont.Assign(s->FFont);
    FCondition = s->FCondition;
    FInteractiveType = s->FInteractiveType;
    SetFill(*s->FFill);
    FFrame.Assign(s->FFrame);
    FVisible = s->FVisible;
    return;
  }
  TPersistent::Assign(source);
}

TColor TpgwHighlight::Color() const {
  if (auto* b = dynamic_cast<const TpgwBrushFill*>(FFill.get())) return b->BackColor();
  return clNone;
}
void TpgwHighlight::SetColor(TColor v) {
  if (auto* b = dynamic_cast<TpgwBrushFill*>(FFill.get())) b->SetBackColor(v);
}
void TpgwHighlight::SetFillType(TpgwFillType v) {
  if (FFill->FillType() != v) FFill = CreateFill(v);
}
void TpgwHighlight::SetFill(const TpgwBaseFill& v) {
  SetFillType(v.FillType());
  FFill->Assign(v);
}

TpgwHighlight& TpgwHighlightCollection::Add() {
  FItems.push_back(std::make_unique<TpgwHighlight>());
  return *FItems.back();
}
void TpgwHighlightCollection::Delete(int index) {
  FItems.erase(FItems.begin() + index);
}
void TpgwHighlightCollection::Assign(const TpgwHighlightCollection& source) {
  if (&source == this) return;
  FItems.clear();
  for (auto& h : source.FItems) Add().Assign(*h);
}

// ---- processing record ----------------------------------------------------------------------------

const TClassInfo& TpgwProcessingProperties::StaticClassInfo() {
  using T = TpgwProcessingProperties;
  static const TClassInfo& info =
      Describe<T>("TpgwObjectProcessing")
          .Parent<TPersistent>()
          .Enum("ProcessAt", &T::ProcessAt, &T::SetProcessAt, TpgwProcessAtModeInfo())
          .Default(paDefault)
          .Integer("GroupLevel", &T::GroupLevel, &T::SetGroupLevel)
          .Default(0)
          .Build();
  return info;
}
const TClassInfo& TpgwProcessingProperties::ClassInfo() const {
  return StaticClassInfo();
}
void TpgwProcessingProperties::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwProcessingProperties*>(&source)) {
    FRecord = s->FRecord;
    return;
  }
  TPersistent::Assign(source);
}

// ---- the text object: properties ------------------------------------------------------------------

TpgwCustomMemoView::TpgwCustomMemoView(TComponent* owner) : TpgwStretcheable(owner) {}

TpgwCustomMemoView::~TpgwCustomMemoView() = default;

const TClassInfo& TpgwCustomMemoView::StaticClassInfo() {
  using T = TpgwCustomMemoView;
  static const TClassInfo& info = Describe<T>("TpgwCustomMemoView")
                                      .Parent<TpgwStretcheable>()
                                      .Boolean("FirstParaBreak", &T::FirstParaBreak, &T::SetFirstParaBreak)
                                      .Default(false)
                                      .Boolean("LastParaBreak", &T::LastParaBreak, &T::SetLastParaBreak)
                                      .Default(false)
                                      .Integer("Cursor", &T::Cursor, &T::SetCursor)
                                      .Default(0)
                                      .String("TagStr", &T::TagStr, &T::SetTagStr)
                                      .String("URL", &T::URL, &T::SetURL)
                                      .Stored(false)
                                      .Build();
  return info;
}
const TClassInfo& TpgwCustomMemoView::ClassInfo() const {
  return StaticClassInfo();
}

namespace {

// The properties the two text object classes publish, in their order; `only` limits them to
// the names listed (the system text object's smaller set).
template <class T>
TClassBuilder<T>& DescribeMemoProperties(TClassBuilder<T>& b, const std::vector<std::string>* only) {
  auto want = [only](const char* name) {
    return !only || std::find(only->begin(), only->end(), name) != only->end();
  };
  if (want("StretchMode"))
    b.Enum("StretchMode", &T::StretchMode, &T::SetStretchMode, TpgwStretchModeInfo()).Default(smDontStretch);
  if (want("CanShrink")) b.Boolean("CanShrink", &T::CanShrink, &T::SetCanShrink).Default(false);
  if (want("AutoWidth")) b.Boolean("AutoWidth", &T::AutoWidth, &T::SetAutoWidth).Default(false);
  if (want("AllowExpressions"))
    b.Boolean("AllowExpressions", &T::AllowExpressions, &T::SetAllowExpressions).Default(true);
  if (want("AllowHTMLTags"))
    b.Boolean("AllowHTMLTags", &T::AllowHTMLTags, &T::SetAllowHTMLTags).Default(false);
  if (want("BrushStyle"))
    b.Enum("BrushStyle", &T::BrushStyle, &T::SetBrushStyle, TpgwBrushStyleInfo())
        .Default(bsSolid)
        .Stored(false);
  if (want("Color")) b.Color("Color", &T::Color, &T::SetColor).Stored(false);
  if (want("FillType"))
    b.Enum("FillType", &T::FillType, &T::SetFillType, TpgwFillTypeInfo()).Default(ftBrush);
  if (want("Fill")) b.Object("Fill", static_cast<TpgwBaseFill& (T::*)()>(&T::Fill), &T::SetFill);
  if (want("Frame")) b.Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame);
  if (want("CharSpacing"))
    b.Float("CharSpacing", &T::CharSpacing, &T::SetCharSpacing).Default(0).Stored(&T::IsCharSpacingStored);
  if (want("Clipped")) b.Boolean("Clipped", &T::Clipped, &T::SetClipped).Default(true);
  if (want("DataSet")) b.Reference("DataSet", &T::DataSet, &T::SetDataSet);
  if (want("DataSetName")) b.String("DataSetName", &T::DataSetName, &T::SetDataSetName);
  if (want("DataField")) b.String("DataField", &T::DataField, &T::SetDataField);
  if (want("DisplayFormat"))
    b.Object("DisplayFormat", &T::DisplayFormat, &T::SetDisplayFormat).Stored(&T::IsDisplayFormatStored);
  if (want("ExpressionDelimiters"))
    b.String("ExpressionDelimiters", &T::ExpressionDelimiters, &T::SetExpressionDelimiters)
        .Stored(&T::IsExpressionDelimitersStored);
  if (want("FlowTo")) b.Reference("FlowTo", &T::FlowTo, &T::SetFlowTo);
  if (want("Font"))
    b.Object("Font", static_cast<TpgwFont& (TpgwComponent::*)()>(&TpgwComponent::Font), &T::SetFont)
        .Stored(&T::IsFontStored);
  if (want("ParentFont")) b.Boolean("ParentFont", &T::ParentFont, &T::SetParentFont).Default(true);
  if (want("GapX")) b.Float("GapX", &T::GapX, &T::SetGapX).Default(2).Stored(&T::IsGapXStored);
  if (want("GapY")) b.Float("GapY", &T::GapY, &T::SetGapY).Default(1).Stored(&T::IsGapYStored);
  if (want("HAlign")) b.Enum("HAlign", &T::HAlign, &T::SetHAlign, TpgwHAlignInfo()).Default(haLeft);
  if (want("HideZeros")) b.Boolean("HideZeros", &T::HideZeros, &T::SetHideZeros).Default(false);
  if (want("Highlight")) b.Object("Highlight", &T::Highlight, &T::SetHighlight).Stored(&T::IsHighlightStored);
  if (want("LineSpacing"))
    b.Float("LineSpacing", &T::LineSpacing, &T::SetLineSpacing).Default(2).Stored(&T::IsLineSpacingStored);
  // The text itself travels in the template's "Text" attribute.
  if (want("Memo")) b.StringList("Memo", static_cast<TStringList& (T::*)()>(&T::Memo)).Stored(false);
  if (want("ParagraphGap"))
    b.Float("ParagraphGap", &T::ParagraphGap, &T::SetParagraphGap)
        .Default(0)
        .Stored(&T::IsParagraphGapStored);
  if (want("Processing")) b.Object("Processing", &T::ProcessingProperties, &T::SetProcessingProperties);
  if (want("Rotation")) b.Integer("Rotation", &T::Rotation, &T::SetRotation).Default(0);
  if (want("RTLReading")) b.Boolean("RTLReading", &T::RTLReading, &T::SetRTLReading).Default(false);
  if (want("Style")) b.String("Style", &T::Style, &T::SetStyle);
  if (want("SuppressRepeated"))
    b.Boolean("SuppressRepeated", &T::SuppressRepeated, &T::SetSuppressRepeated).Default(false);
  if (want("Duplicates"))
    b.Enum("Duplicates", &T::Duplicates, &T::SetDuplicates, TpgwDuplicateMergeInfo()).Default(dmShow);
  // A shortcut of UnderlinesTextMode, which is what templates keep.
  if (want("Underlines"))
    b.Boolean("Underlines", &T::Underlines, &T::SetUnderlines).Default(false).Stored(false);
  if (want("UnderlinesTextMode"))
    b.Enum("UnderlinesTextMode", &T::UnderlinesTextMode, &T::SetUnderlinesTextMode,
           TpgwUnderlinesTextModeInfo())
        .Default(ulmNone);
  if (want("UseDefaultCharset"))
    b.Boolean("UseDefaultCharset", &T::UseDefaultCharset, &T::SetUseDefaultCharset).Default(false);
  if (want("WordBreak")) b.Boolean("WordBreak", &T::WordBreak, &T::SetWordBreak).Default(false);
  if (want("WordWrap")) b.Boolean("WordWrap", &T::WordWrap, &T::SetWordWrap).Default(true);
  if (want("Wysiwyg")) b.Boolean("Wysiwyg", &T::Wysiwyg, &T::SetWysiwyg).Default(true);
  if (want("VAlign")) b.Enum("VAlign", &T::VAlign, &T::SetVAlign, TpgwVAlignInfo()).Default(vaTop);
  return b;
}

}  // namespace

const TClassInfo& TpgwMemoView::StaticClassInfo() {
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<TpgwMemoView>("TpgwMemoView");
    b.Parent<TpgwCustomMemoView>();
    return DescribeMemoProperties(b, nullptr).Build();
  }();
  return info;
}
const TClassInfo& TpgwMemoView::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwSysMemoView::StaticClassInfo() {
  static const TClassInfo& info = []() -> const TClassInfo& {
    static const std::vector<std::string> names = {
        "AutoWidth",  "CharSpacing", "Color",      "DisplayFormat", "Font",
        "Frame",      "FillType",    "Fill",       "GapX",          "GapY",
        "HAlign",     "HideZeros",   "Highlight",  "Memo",          "ParentFont",
        "Processing", "Rotation",    "RTLReading", "Style",         "SuppressRepeated",
        "Duplicates", "VAlign",      "WordWrap"};
    auto b = Describe<TpgwSysMemoView>("TpgwSysMemoView");
    b.Parent<TpgwCustomMemoView>();
    return DescribeMemoProperties(b, &names).Build();
  }();
  return info;
}
const TClassInfo& TpgwSysMemoView::ClassInfo() const {
  return StaticClassInfo();
}
WideString TpgwSysMemoView::GetDescription() const {
  return ResourceGet("obSysText");
}

WideString TpgwCustomMemoView::GetDescription() const {
  return ResourceGet("obText");
}

TBrushStyle TpgwCustomMemoView::BrushStyle() const {
  if (auto* b = dynamic_cast<const TpgwBrushFill*>(&Fill())) return b->Style();
  return bsSolid;
}
void TpgwCustomMemoView::SetBrushStyle(TBrushStyle v) {
  if (auto* b = dynamic_cast<TpgwBrushFill*>(&Fill())) b->SetStyle(v);
}

TpgwFormat& TpgwCustomMemoView::DisplayFormat() {
  if (FFormats.Count() == 0) FFormats.Add();
  return FFormats[0];
}

TpgwHighlight& TpgwCustomMemoView::Highlight() {
  if (FHighlights.Count() == 0) FHighlights.Add();
  return FHighlights[0];
}

bool TpgwCustomMemoView::IsHighlightStored() const {
  return FHighlights.Count() == 1 && !Trim(FHighlights[0].Condition()).empty();
}

void TpgwCustomMemoView::SetFlowTo(TpgwCustomMemoView* v) {
  if (v == this) v = nullptr;  // a text object cannot flow into itself
  if (FFlowTo == v) return;
  if (FFlowTo) RemoveFreeNotification(FFlowTo);
  FFlowTo = v;
  if (FFlowTo) FreeNotification(FFlowTo);
}

void TpgwCustomMemoView::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c == FFlowTo) FFlowTo = nullptr;
  TpgwStretcheable::Notification(c, op);
}

void TpgwCustomMemoView::SetStyle(const WideString& v) {
  FStyle = v;
  if (TpgwReport* r = Report())
    if (TpgwStyleItem* s = r->Styles().Find(v)) ApplyStyle(*s);
}

void TpgwCustomMemoView::SetUnderlines(bool v) {
  if (!v)
    FUnderlinesTextMode = ulmNone;
  else if (FUnderlinesTextMode == ulmNone)
    FUnderlinesTextMode = ulmUnderlinesAll;
}

bool TpgwCustomMemoView::Convert() const {
  return Font().Charset() != DEFAULT_CHARSET && !FUseDefaultCharset;
}

WideString TpgwCustomMemoView::AnsiText() const {
  return Recode(Text(), CharsetToCodePage(Font().Charset()), SystemCodePage());
}
void TpgwCustomMemoView::SetAnsiText(const WideString& v) {
  SetText(Recode(v, SystemCodePage(), CharsetToCodePage(Font().Charset())));
}

WideString TpgwCustomMemoView::XMLText() const {
  // The list's own text, every line ended: the writer drops one final break, so a text that ends
  // in empty lines keeps all but the last, as templates always did.
  return FMemo.Text();
}
void TpgwCustomMemoView::SetXMLText(const WideString& text) {
  FMemo.SetText(text);
}

// ---- extra properties: the lists of formats and highlights -----------------------------------------

namespace {

// An outer list holding one list per entry, each with the entry's attribute text.
template <class Collection>
void WriteEntries(TPropertyWriter& w, const Collection& c) {
  w.WriteListBegin();
  for (int i = 0; i < c.Count(); ++i) {
    w.WriteListBegin();
    w.WriteString(ObjectToXMLAttributes(c[i]));
    w.WriteListEnd();
  }
  w.WriteListEnd();
}

template <class Collection>
void ReadEntries(TPropertyReader& r, Collection& c) {
  c.Clear();
  r.ReadListBegin();
  while (!r.EndOfList()) {
    auto& item = c.Add();
    r.ReadListBegin();
    while (!r.EndOfList()) XMLAttributesToObject(r.ReadString(), item);
    r.ReadListEnd();
  }
  r.ReadListEnd();
}

}  // namespace

void TpgwCustomMemoView::DefineProperties(TFiler& filer) {
  TpgwStretcheable::DefineProperties(filer);
  filer.DefineProperty(
      "Formats", [this](TPropertyReader& r) { ReadFormats(r); },
      [this](TPropertyWriter& w) { WriteFormats(w); }, FFormats.Count() > 1);
  filer.DefineProperty(
      "Highlights", [this](TPropertyReader& r) { ReadHighlights(r); },
      [this](TPropertyWriter& w) { WriteHighlights(w); }, FHighlights.Count() > 1);
}

void TpgwCustomMemoView::ReadFormats(TPropertyReader& reader) {
  ReadEntries(reader, FFormats);
}
void TpgwCustomMemoView::WriteFormats(TPropertyWriter& writer) {
  WriteEntries(writer, FFormats);
}
void TpgwCustomMemoView::ReadHighlights(TPropertyReader& reader) {
  ReadEntries(reader, FHighlights);
}
void TpgwCustomMemoView::WriteHighlights(TPropertyWriter& writer) {
  WriteEntries(writer, FHighlights);
}

// ---- getting the text -------------------------------------------------------------------------------

WideString TpgwCustomMemoView::FormatData(const Variant& value, const TpgwFormat* format) {
  const TpgwFormat& f = format ? *format : DisplayFormat();
  if (VarIsNull(value)) return WideString();
  auto asText = [&]() -> WideString {
    try {
      // The value is Unicode already: the font's charset chooses glyphs, it does not recode.
      return VarToStr(value);
    } catch (const std::exception&) {
      return WideString();  // an array has no text
    }
  };
  try {
    switch (f.Kind()) {
      case fkText:
        return asText();
      case fkNumeric: {
        const WideString& fs = f.FormatStr();
        WideString s;
        if (fs.find(u'#') != WideString::npos || (!fs.empty() && fs[0] == u'0'))
          s = FormatFloat(fs, value.AsExtended());
        else if (fs.find(u'd') != WideString::npos || fs.find(u'u') != WideString::npos)
          s = Format(fs, {TFormatArg(value.AsInt64())});
        else
          s = Format(fs, {TFormatArg(value.AsExtended())});
        // The decimal position is taken before the thousands are replaced, so a format may swap
        // the two separators.
        const TFormatSettings& sys = FormatSettings();
        size_t decimalAt = WideString::npos;
        if (f.DecimalSeparator().size() == 1 && f.DecimalSeparator()[0] != sys.DecimalSeparator)
          decimalAt = s.rfind(sys.DecimalSeparator);
        if (f.ThousandSeparator().size() == 1 && f.ThousandSeparator()[0] != sys.ThousandSeparator)
          std::replace(s.begin(), s.end(), sys.ThousandSeparator, f.ThousandSeparator()[0]);
        if (decimalAt != WideString::npos) s[decimalAt] = f.DecimalSeparator()[0];
        return s;
      }
      case fkDateTime:
        return FormatDateTime(f.FormatStr(), value.AsDateTime());
      case fkBoolean: {
        const WideString& fs = f.FormatStr();
        const size_t comma = fs.find(u',');
        if (IsBooleanTrue(value))
          return comma == WideString::npos ? fs.substr(0, 255) : fs.substr(comma + 1, 255);
        return comma == WideString::npos ? WideString() : fs.substr(0, comma);
      }
    }
  } catch (const std::exception&) {
    // Formatting never fails: the plain text of the value instead.
  }
  return asText();
}

namespace {

// A numeric, date, Boolean or text value that is zero (null and strings never are).
bool IsZeroValue(const Variant& v, Extended precision) {
  if (VarIsNull(v) || VarIsStr(v) || VarIsArray(v)) return false;
  try {
    return std::fabs(v.AsExtended()) < precision;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

WideString TpgwCustomMemoView::CalcAndFormat(const WideString& exprIn, const TpgwFormat& format) {
  WideString expr = exprIn;
  std::unique_ptr<TpgwFormat> suffixFormat;
  const TpgwFormat* fmt = &format;
  const size_t hash = expr.find(u" #");
  if (hash != WideString::npos) {
    WideString formatText = expr.substr(hash + 2);
    if (formatText.find(u')') == WideString::npos) {
      expr.resize(hash);
      suffixFormat = std::make_unique<TpgwFormat>();
      const char16_t first = formatText.empty() ? u'\0' : formatText[0];
      if (first == u'n' || first == u'N') {
        suffixFormat->SetKind(fkNumeric);
        for (char16_t& c : formatText) {
          if (c == u',' || c == u'-' || c == u'.') {
            suffixFormat->SetDecimalSeparator(WideString(1, c));
            c = u'.';
          }
        }
      } else if (first == u'd' || first == u'D' || first == u't' || first == u'T') {
        suffixFormat->SetKind(fkDateTime);
      } else if (first == u'b' || first == u'B') {
        suffixFormat->SetKind(fkBoolean);
      }
      suffixFormat->SetFormatStr(formatText.empty() ? WideString() : formatText.substr(1, 255));
      fmt = suffixFormat.get();
    }
  }

  const WideString upper = UpperCase(expr);
  if (upper == u"TOTALPAGES#") {
    FValue = Variant(WideString(u"[TotalPages#]"));
  } else if (upper == u"COPYNAME#") {
    FValue = Variant(WideString(u"[CopyName#]"));
  } else if (TpgwReport* report = Report()) {
    FValue = ReportCalc(*report, expr);
  } else {
    FValue = Variant::Null();
  }

  TpgwReport* report = Report();
  const Extended precision = report ? report->EngineOptions().ZeroPrecisionValue() : 1e-17L;
  if (FHideZeros && IsZeroValue(FValue, precision)) return WideString();
  return FormatData(FValue, fmt);
}

WideString TpgwCustomMemoView::ExpandExpressions(const WideString& text) {
  const size_t comma = FExpressionDelimiters.find(u',');
  const WideString open = FExpressionDelimiters.substr(0, comma);
  const WideString close = comma == WideString::npos ? WideString() : FExpressionDelimiters.substr(comma + 1);
  if (open.empty() || close.empty() || text.find(open) == WideString::npos) return text;

  WideString s = text;
  int i = 0, k = 0;
  for (;;) {
    const int n = static_cast<int>(s.size());
    while (i < n - 1 && !StartsAt(s, static_cast<size_t>(i), open)) ++i;
    int j = i;
    const WideString inner = FindBracketedExpression(s, open, close, i, j);
    if (j == i) break;
    s.erase(static_cast<size_t>(i), static_cast<size_t>(j - i + 1));
    const WideString value = CalcAndFormat(inner, FFormats[k]);
    s.insert(static_cast<size_t>(i), value);
    i += static_cast<int>(value.size());
    if (k < FFormats.Count() - 1) ++k;
  }
  return s;
}

void TpgwCustomMemoView::GetData() {
  TpgwView::GetData();
  DisplayFormat();
  TpgwReport* report = Report();
  // Without a data service no field is a large object, values are Null and display texts empty.
  IpgwDataService* data = report ? report->Services().Data : nullptr;

  if (IsDataField()) {
    TComponent& ds = *DataSet();
    if (data && data->IsBlobField(ds, DataField())) {
      FMemo.Clear();
      data->AssignBlobTo(ds, DataField(), FMemo);
    } else {
      FValue = data ? data->FieldValue(ds, DataField()) : Variant::Null();
      if (DisplayFormat().Kind() != fkText) {
        SetText(FormatData(FValue));
      } else {
        SetText(data ? data->FieldDisplayText(ds, DataField()) : WideString());
      }
      const Extended precision = report ? report->EngineOptions().ZeroPrecisionValue() : 1e-17L;
      if (FHideZeros && IsZeroValue(FValue, precision)) SetText(WideString());
    }
  } else if (FAllowExpressions) {
    const WideString text = Text();
    const WideString expanded = ExpandExpressions(text);
    if (expanded != text) SetText(expanded);
  }

  if (report && report->Services().Script) report->Services().Script->SetLocalValue(*report, FValue);

  if (report) {
    for (int h = 0; h < FHighlights.Count(); ++h) {
      const TpgwHighlight& hl = FHighlights[h];
      if (hl.Condition().empty()) continue;
      if (!IsBooleanTrue(ReportCalc(*report, hl.Condition()))) continue;
      if (!FHighlightActivated) {
        FTempFill = Fill().Clone();
        FTempFont.Assign(Font());
        FTempParentFont = ParentFont();
        FTempFrame.Assign(Frame());
        FTempVisible = Visible();
        FHighlightActivated = true;
      }
      ApplyHighlight(hl);
      break;
    }
  }

  if (FSuppressRepeated) {
    const WideString text = Text();
    if (FLastValue.IsString() && FLastValue.StringRef() == text)
      SetText(WideString());
    else
      FLastValue = Variant(text);
  }

  if (FFlowTo) {
    InitPart();
    DrawPart();
    FFlowTo->SetText(FPartMemo);
    FFlowTo->SetAllowExpressions(false);
  }
}

void TpgwCustomMemoView::ApplyStyle(const TpgwStyleItem& style) {
  if (style.ApplyFill()) SetFill(style.Fill());
  if (style.ApplyFont()) SetFont(style.Font());
  if (style.ApplyFrame()) SetFrame(style.Frame());
}

void TpgwCustomMemoView::ApplyHighlight(const TpgwHighlight& highlight) {
  if (highlight.ApplyFont()) SetFont(highlight.Font());
  if (highlight.ApplyFill()) SetFill(highlight.Fill());
  if (highlight.ApplyFrame()) SetFrame(highlight.Frame());
  SetVisible(highlight.Visible());
}

void TpgwCustomMemoView::BeforePrint() {
  TpgwStretcheable::BeforePrint();
  if (!IsDataField()) FTempMemo = Text();
}

void TpgwCustomMemoView::AfterPrint() {
  if (!IsDataField()) SetText(FTempMemo);
  if (FHighlightActivated) {
    if (FTempFill) SetFill(*FTempFill);
    SetFont(FTempFont);
    if (FTempParentFont) SetParentFont(true);
    SetFrame(FTempFrame);
    SetVisible(FTempVisible);
    FTempFill.reset();
    FHighlightActivated = false;
  }
  TpgwStretcheable::AfterPrint();
}

WideString TpgwCustomMemoView::GetComponentText() const {
  WideString s = Text();
  if (FAllowExpressions)
    s = StringReplace(s, u"[TOTALPAGES]", IntToStr(FTotalPages), TReplaceFlags{rfIgnoreCase});
  return s;
}

void TpgwCustomMemoView::ExtractMacros() {
  if (!FAllowExpressions) return;
  const WideString text = Text();
  const WideString upper = UpperCase(text);
  if (upper.find(u"[TOTALPAGES#]") == WideString::npos && upper.find(u"[COPYNAME#]") == WideString::npos)
    return;
  WideString s =
      StringReplace(text, u"[TOTALPAGES#]", IntToStr(FTotalPages), TReplaceFlags{rfReplaceAll, rfIgnoreCase});
  if (UpperCase(s).find(u"[COPYNAME#]") != WideString::npos) {
    WideString copyName;
    Variant v;
    const WideString name = u"CopyName" + IntToStr(FCopyNo);
    TpgwReport* report = Report();
    IpgwScriptService* script = report ? report->Services().Script : nullptr;
    if (script && script->GlobalVariable(name, v)) copyName = VarToStrDef(v, WideString());
    s = StringReplace(s, u"[COPYNAME#]", copyName, TReplaceFlags{rfReplaceAll, rfIgnoreCase});
  }
  SetText(s);
}

void TpgwCustomMemoView::MirrorContent(TpgwMirrorControlModes modes) {
  TpgwStretcheable::MirrorContent(modes);
  if (modes.Contains(mcmRTLAppearance)) {
    if (FHAlign == haLeft)
      FHAlign = haRight;
    else if (FHAlign == haRight)
      FHAlign = haLeft;
  }
  if (modes.Contains(mcmBTTAppearance)) {
    if (FVAlign == vaTop)
      FVAlign = vaBottom;
    else if (FVAlign == vaBottom)
      FVAlign = vaTop;
  }
}

bool TpgwCustomMemoView::IsPostProcessAllowed() const {
  return TpgwStretcheable::IsPostProcessAllowed() || FDuplicates != dmShow;
}

// ---- geometry -------------------------------------------------------------------------------------

Extended TpgwCustomMemoView::HorizontalExtra() const {
  const TpgwFrame& f = Frame();
  const Extended w = f.Width();
  Extended e = 2 * FGapX;
  if (f.Typ().Contains(ftLeft)) e += (w - 1) / 2;
  if (f.Typ().Contains(ftRight)) e += w / 2;
  if (f.DropShadow()) e += f.ShadowWidth();
  return e;
}

Extended TpgwCustomMemoView::VerticalExtra() const {
  const TpgwFrame& f = Frame();
  const Extended w = f.Width();
  Extended e = 2 * FGapY;
  if (f.Typ().Contains(ftTop)) e += (w - 1) / 2;
  if (f.Typ().Contains(ftBottom)) e += w / 2;
  if (f.DropShadow()) e += f.ShadowWidth();
  return e;
}

TRect TpgwCustomMemoView::ComputeTextRect(Extended scaleX, Extended scaleY, Extended offsetX,
                                          Extended offsetY) const {
  const TpgwFrame& f = Frame();
  const Extended shadow = ShadowSize();
  const Extended w = f.Width();
  int left = Round(scaleX * AbsLeft() + offsetX);
  int top = Round(scaleY * AbsTop() + offsetY);
  int right = left + Round(scaleX * (Width() - shadow));
  int bottom = top + Round(scaleY * (Height() - shadow));
  if (f.Typ().Contains(ftLeft)) left += Round((scaleX * w - 1) / 2);
  if (f.Typ().Contains(ftRight)) right -= Round(scaleX * w / 2);
  if (f.Typ().Contains(ftTop)) top += Round((scaleY * w - 1) / 2);
  if (f.Typ().Contains(ftBottom)) bottom -= Round(scaleY * w / 2);
  const int gx = Round(scaleX * FGapX), gy = Round(scaleY * FGapY);
  return Rect(left + gx, top + gy, right - gx + 1, bottom - gy + 1);
}

void TpgwCustomMemoView::ConfigureEngine(TpgwDrawText& dt) const {
  dt.SetUseDefaultCharset(FUseDefaultCharset);
  dt.SetFont(Font().Native());
  dt.SetOptions(FWordWrap, FAllowHTMLTags, FRTLReading, FWordBreak, FClipped, FWysiwyg, FRotation);
  dt.SetGaps(FParagraphGap, FCharSpacing, FLineSpacing);
}

void TpgwCustomMemoView::UpdateAutoWidth() {
  if (!FAutoWidth || IsDesigning()) return;
  TpgwDrawTextLock lock;
  TpgwDrawText& dt = LayoutEngine();
  ConfigureEngine(dt);
  const TRect big = Rect(0, 0, 10000, 10000);
  dt.SetDimensions(1, 1, 1, big, big);
  dt.SetText(LinesOf(FMemo));
  const Extended extent = IsRightAngle(ReducedAngle()) ? dt.CalcHeight() : dt.CalcWidth();
  const Extended newWidth = extent + HorizontalExtra();
  const Extended oldWidth = Width();
  if (FHAlign == haRight)
    SetLeft(Left() + oldWidth - newWidth);
  else if (FHAlign == haCenter)
    SetLeft(Left() + (oldWidth - newWidth) / 2);
  SetWidth(newWidth);
  if (TpgwComponent* p = Parent()) p->AlignChildren();
}

void TpgwCustomMemoView::CalcDeviceRect(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                                        Extended offsetY) {
  UpdateAutoWidth();
  TpgwStretcheable::CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
  FScaledRect = ComputeTextRect(scaleX, scaleY, offsetX, offsetY);
  FTextRect = ComputeTextRect(1, 1, 0, 0);
}

void TpgwCustomMemoView::CalcDeviceRectWithoutCanvas(Extended scaleX, Extended scaleY, Extended offsetX,
                                                     Extended offsetY) {
  UpdateAutoWidth();
  // The view's geometry step, with no canvas to remember.
  ScaleX = scaleX;
  ScaleY = scaleY;
  OffsetX = offsetX;
  OffsetY = offsetY;
  const Extended l = AbsLeft(), t = AbsTop();
  FX = Round(offsetX + scaleX * l);
  FY = Round(offsetY + scaleY * t);
  FX1 = Round(offsetX + scaleX * (l + Width()));
  FY1 = Round(offsetY + scaleY * (t + Height()));
  if (Frame().DropShadow()) {
    FX1 -= Round(scaleX * Frame().ShadowWidth());
    FY1 -= Round(scaleY * Frame().ShadowWidth());
  }
  FDX = FX1 - FX;
  FDY = FY1 - FY;
  FrameWidth = Round(scaleX * Frame().Width());
  FScaledRect = ComputeTextRect(scaleX, scaleY, offsetX, offsetY);
  FTextRect = ComputeTextRect(1, 1, 0, 0);
}

// ---- measuring ------------------------------------------------------------------------------------

Extended TpgwCustomMemoView::CalcHeight() {
  TpgwDrawTextLock lock;
  TpgwDrawText& dt = LayoutEngine();
  ConfigureEngine(dt);
  const bool rightAngle = IsRightAngle(ReducedAngle());
  TRect r = Rect(0, 0, 10000, 10000);
  if (!rightAngle && !FAutoWidth) {
    CalcDeviceRectWithoutCanvas(1, 1, 0, 0);
    ConfigureEngine(dt);  // an automatic width may have measured with the engine
    r = FTextRect;
  }
  dt.SetDimensions(1, 1, 1, r, r);
  dt.SetText(LinesOf(FMemo));
  const Extended extent = rightAngle ? dt.CalcWidth() : dt.CalcHeight();
  return Round(extent + VerticalExtra());
}

Extended TpgwCustomMemoView::CalcWidth() {
  TpgwDrawTextLock lock;
  TpgwDrawText& dt = LayoutEngine();
  ConfigureEngine(dt);
  const bool rightAngle = IsRightAngle(ReducedAngle());
  TRect r = Rect(0, 0, 10000, 10000);
  if (rightAngle) {
    FTextRect = ComputeTextRect(1, 1, 0, 0);
    r = FTextRect;
  }
  dt.SetDimensions(1, 1, 1, r, r);
  dt.SetText(LinesOf(FMemo));
  const Extended extent = rightAngle ? dt.CalcHeight() : dt.CalcWidth();
  return Round(extent + HorizontalExtra());
}

// ---- drawing --------------------------------------------------------------------------------------

void TpgwCustomMemoView::Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                              Extended offsetY) {
  CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
  if (!GetVectorCanvas()) {
    DrawBackgroundFill();
    DrawFrameLines();
  }
  DrawTextBody(canvas);
}

void TpgwCustomMemoView::DrawTextBody(TCanvas& canvas) {
  if (!IsDesigning()) ExtractMacros();
  TpgwDrawTextLock lock;
  TpgwDrawText& dt = LayoutEngine();
  ConfigureEngine(dt);
  if (!IsPrinting()) FPrintScale = 1;
  const bool scaled = ScaleX != 1 || ScaleY != 1 || OffsetX != 0 || OffsetY != 0;
  dt.SetDimensions(ScaleX, ScaleY, FPrintScale, FTextRect, scaled ? FScaledRect : FTextRect);
  std::vector<WideString> lines = LinesOf(FMemo);
  // The designer shows which field the object reads.
  if (IsDesigning() && IsDataField())
    lines = {u"[" + DataSetUserName(DataSet()) + u".\"" + DataField() + u"\"]"};
  dt.SetText(lines, FFirstParaBreak);
  dt.SetParaBreaks(FFirstParaBreak, FLastParaBreak);

  TCanvas& target = GetVectorCanvas() ? *GetVectorCanvas() : canvas;
  const TPen savedPen = target.Pen();
  if (FUnderlinesTextMode != ulmNone && ReducedAngle() == 0) {
    target.Pen().SetColor(Frame().Color());
    target.Pen().SetWidth(FrameWidth);
    target.Pen().SetStyle(psSolid);
    target.Pen().SetMode(pmCopy);
  }
  dt.DrawText(target, FHAlign, FVAlign, FUnderlinesTextMode);
  target.Pen() = savedPen;
}

// ---- splitting ------------------------------------------------------------------------------------

void TpgwCustomMemoView::InitPart() {
  FPartMemo = Text();
  FFirstParaBreak = false;
  FLastParaBreak = false;
}

Extended TpgwCustomMemoView::DrawPart() {
  TpgwDrawTextLock lock;
  TpgwDrawText& dt = LayoutEngine();
  SetText(FPartMemo);
  CalcDeviceRectWithoutCanvas(1, 1, 0, 0);
  ConfigureEngine(dt);
  dt.SetDimensions(1, 1, 1, FTextRect, FTextRect);
  // Laid out as drawing will lay it out: a part that continues a paragraph has no indent.
  dt.SetText(LinesOf(FMemo), FFirstParaBreak);
  bool paraBreak = false;
  FPartMemo = dt.GetOutBoundsText(paraBreak);
  SetText(dt.GetInBoundsText());
  FLastParaBreak = paraBreak;
  const Extended unused = dt.UnusedSpace();
  return unused == 0 ? Height() : unused + 2 * FGapY;
}

WideString TpgwCustomMemoView::WrapText(bool wrapWords, TStringList* paraText) {
  TpgwDrawTextLock lock;
  TpgwDrawText& dt = LayoutEngine();
  WideString result;
  if (wrapWords) {
    CalcDeviceRectWithoutCanvas(1, 1, 0, 0);
    ConfigureEngine(dt);
    dt.SetDimensions(1, 1, 1, FTextRect, FTextRect);
    dt.SetText(LinesOf(FMemo), FFirstParaBreak);
    result = dt.WrappedText();
    if (paraText) {
      paraText->Clear();
      const auto& lines = dt.Text();
      for (const WideString& l : lines) paraText->Add(l);
      if (static_cast<int>(lines.size()) == paraText->Count())
        for (int i = 0; i < paraText->Count(); ++i)
          paraText->SetObjects(i, reinterpret_cast<void*>(static_cast<intptr_t>(dt.ParagraphMarks()[i])));
    }
  } else {
    result = dt.DeleteTags(Text());
    if (paraText) paraText->SetText(result);
  }
  return result;
}

// ---- prepared pages -------------------------------------------------------------------------------

namespace {

void AddAttribute(WideString& s, std::u16string_view name, const WideString& value) {
  s += u' ';
  s += name;
  s += u"=\"";
  s += EncodeXmlText(value);
  s += u'"';
}

WideString BoolText(bool v) {
  return v ? u"1" : u"0";
}

bool FloatsDiffer(Extended a, Extended b) {
  return std::fabs(a - b) > 0.0001L;
}

}  // namespace

WideString TpgwCustomMemoView::DiffText(const TpgwCustomMemoView*) const {
  WideString s;
  AddAttribute(s, u"u", JoinLines(FMemo));
  return s;
}

WideString TpgwCustomMemoView::Diff(const TpgwCustomMemoView* ref) {
  std::unique_ptr<TpgwCustomMemoView> defaults;
  if (!ref) {
    defaults = std::make_unique<TpgwCustomMemoView>(nullptr);
    ref = defaults.get();
  }
  WideString s;
  if (FAutoWidth != ref->FAutoWidth) AddAttribute(s, u"AutoWidth", BoolText(FAutoWidth));
  if (FloatsDiffer(FCharSpacing, ref->FCharSpacing))
    AddAttribute(s, u"CharSpacing", FloatToStr(FCharSpacing));
  if (FloatsDiffer(FGapX, ref->FGapX)) AddAttribute(s, u"GapX", FloatToStr(FGapX));
  if (FloatsDiffer(FGapY, ref->FGapY)) AddAttribute(s, u"GapY", FloatToStr(FGapY));
  if (FHAlign != ref->FHAlign) AddAttribute(s, u"HAlign", IntToStr(FHAlign));
  if (FloatsDiffer(FLineSpacing, ref->FLineSpacing))
    AddAttribute(s, u"LineSpacing", FloatToStr(FLineSpacing));
  if (FUseDefaultCharset != ref->FUseDefaultCharset)
    AddAttribute(s, u"UseDefaultCharset", BoolText(FUseDefaultCharset));
  s += DiffText(ref);
  if (!Hint().empty()) AddAttribute(s, u"Hint", Hint());
  if (FloatsDiffer(FParagraphGap, ref->FParagraphGap))
    AddAttribute(s, u"ParagraphGap", FloatToStr(FParagraphGap));
  if (FRotation != ref->FRotation) AddAttribute(s, u"Rotation", IntToStr(FRotation));
  if (FRTLReading != ref->FRTLReading) AddAttribute(s, u"RTLReading", BoolText(FRTLReading));
  if (FUnderlinesTextMode != ref->FUnderlinesTextMode)
    AddAttribute(s, u"UnderlinesTextMode", IntToStr(FUnderlinesTextMode));
  if (FVAlign != ref->FVAlign) AddAttribute(s, u"VAlign", IntToStr(FVAlign));
  if (FWordWrap != ref->FWordWrap) AddAttribute(s, u"WordWrap", BoolText(FWordWrap));
  if (FFormats.Count() == 1) {
    const TpgwFormat& f = FFormats[0];
    const TpgwFormat plain;
    const TpgwFormat& r = ref->FFormats.Count() > 0 ? ref->FFormats[0] : plain;
    if (f.Kind() != r.Kind()) AddAttribute(s, u"DisplayFormat.Kind", IntToStr(f.Kind()));
    if (f.DecimalSeparator() != r.DecimalSeparator())
      AddAttribute(s, u"DisplayFormat.DecimalSeparator", f.DecimalSeparator());
    if (f.ThousandSeparator() != r.ThousandSeparator())
      AddAttribute(s, u"DisplayFormat.ThousandSeparator", f.ThousandSeparator());
    if (f.FormatStr() != r.FormatStr()) AddAttribute(s, u"DisplayFormat.FormatStr", f.FormatStr());
  }
  if (FFirstParaBreak) AddAttribute(s, u"FirstParaBreak", u"1");
  if (FLastParaBreak) AddAttribute(s, u"LastParaBreak", u"1");
  // The next part of a split text starts where this one ended.
  FFirstParaBreak = FLastParaBreak;
  FLastParaBreak = false;
  return s;
}

// ---- post-processing ------------------------------------------------------------------------------

namespace {

WideString WithoutFinalLineBreak(WideString s) {
  if (s.size() >= 2 && s[s.size() - 2] == u'\r' && s.back() == u'\n') s.resize(s.size() - 2);
  return s;
}

}  // namespace

bool TpgwCustomMemoView::SaveContentToDictionary(TpgwReport& report, IpgwPostProcessor& postProcessor) {
  WideString content;
  if (IsDataField()) {
    if (DisplayFormat().Kind() != fkText) {
      content = FormatData(FValue);
    } else {
      const WideString expr = DataSetUserName(DataSet()) + u".\"" + DataField() + u"\"";
      content = VarToStrDef(ReportCalc(report, expr), WideString());
    }
  } else {
    content = Text();
  }
  content = WithoutFinalLineBreak(content);
  TpgwComponent* parent = Parent();
  if (!parent) return false;
  const bool process = Processing().ProcessAt != paDefault || FDuplicates != dmShow;
  const int index =
      postProcessor.Add(parent->Name(), Name(), content, Processing().ProcessAt, *this, process);
  if (index == -1) return false;
  SetText(IntToStr(index));
  return true;
}

bool TpgwCustomMemoView::LoadContentFromDictionary(TpgwReport&, IpgwMacrosItem& item) {
  if (FMacroLoaded || FMemo.Count() == 0) return false;
  int32_t index = 0;
  if (!TryStrToInt(FMemo[0], index) || index < 0 || index >= item.TextCount()) return false;
  FMacroLoaded = true;
  // Equal texts of neighbouring instances repeat, also when they were computed later (each such
  // value has an instance of its own until it is known).
  const int last = item.LastIndex();
  const bool repeated = last >= 0 && last < item.TextCount() && (index == last || item.Text(index) == item.Text(last));
  SetText(FDuplicates == dmClear && repeated ? WideString() : item.Text(index));
  bool hide = false;
  if (repeated && (FDuplicates == dmHide || FDuplicates == dmClear || FDuplicates == dmMerge)) {
    TpgwCustomMemoView* previous = item.CurrentObject();
    if (FDuplicates == dmMerge && previous && previous != this)
      previous->SetHeight(AbsTop() - previous->AbsTop() + Height());
    hide = FDuplicates != dmClear;
  } else {
    item.SetCurrentObject(this);
  }
  item.SetLastIndex(index);
  return hide;
}

void TpgwCustomMemoView::ProcessDictionary(IpgwMacrosItem& item, TpgwReport& report, IpgwPostProcessor&) {
  const WideString savedText = Text();
  const WideString savedObject = report.CurObject();
  auto restore = ScopeExit([&] {
    SetText(savedText);
    report.SetCurObject(savedObject);
  });
  report.SetCurObject(Name());
  GetData();
  item.SetLastText(WithoutFinalLineBreak(Text()));
}

// ---- registration -----------------------------------------------------------------------------------

void ProvideMemoClasses() {
  ProvideReportClass("TpgwCustomMemoView", &TpgwCustomMemoView::StaticClassInfo);
  ProvideReportClass("TpgwHighlight", &TpgwHighlight::StaticClassInfo);
  ProvideReportClass("TpgwMemoView", &TpgwMemoView::StaticClassInfo);
  ProvideReportClass("TpgwSysMemoView", &TpgwSysMemoView::StaticClassInfo);
}

}  // namespace pagewright
