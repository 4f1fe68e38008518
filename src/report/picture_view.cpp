#include "report/picture_view.h"

#include <sys/stat.h>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "render/colors.h"
#include "report/report.h"

namespace pagewright {

namespace {

int Round(Extended v) {
  return static_cast<int>(RoundHalfEven(v));
}

}  // namespace

// ---- data links -------------------------------------------------------------------------------------

const TEnumInfo& TpgwDataLinkProcessingInfo() {
  static const TEnumInfo info("TpgwDataLinkProcessing", {"dpString", "dpExpression"});
  return info;
}

const TEnumInfo& TpgwDataLinkLoadingInfo() {
  static const TEnumInfo info("TpgwDataLinkLoading", {"dltOnGetData", "dltOnPreview"});
  return info;
}

const TClassInfo& TpgwDataLink::StaticClassInfo() {
  using T = TpgwDataLink;
  static const TClassInfo& info =
      Describe<T>("TpgwDataLink")
          .Parent<TPersistent>()
          .String("Link", &T::Link, &T::SetLink)
          .Enum("LinkType", &T::LinkType, &T::SetLinkType, TpgwDataLinkProcessingInfo())
          .Default(dpString)
          .Enum("LoadingType", &T::LoadingType, &T::SetLoadingType, TpgwDataLinkLoadingInfo())
          .Default(dltOnGetData)
          .Build();
  return info;
}
const TClassInfo& TpgwDataLink::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwDataLink::Assign(const TPersistent& source) {
  auto* other = dynamic_cast<const TpgwDataLink*>(&source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  FLink = other->FLink;
  FLinkType = other->FLinkType;
  FLoadingType = other->FLoadingType;
}

// ---- picture object ---------------------------------------------------------------------------------

TpgwPictureView::TpgwPictureView(TComponent* owner)
    : TpgwView(owner), FPicture(std::make_unique<TPicture>()), FDataLink(std::make_unique<TpgwDataLink>()) {
  SetpwComponentStyle(pwComponentStyle() - TpgwComponentStyle{csDefaultDiff});
  FPicture->OnChange = [this] { PictureChangedEvent(); };
}

TpgwPictureView::~TpgwPictureView() {
  FPicture->OnChange = nullptr;
}

const TClassInfo& TpgwPictureView::StaticClassInfo() {
  using T = TpgwPictureView;
  static const TClassInfo& info =
      Describe<T>("TpgwPictureView")
          .Parent<TpgwView>()
          .Integer("Cursor", &T::Cursor, &T::SetCursor)
          .Default(0)
          .Boolean("AutoSize", &T::AutoSize, &T::SetAutoSize)
          .Default(false)
          .Boolean("Center", &T::Center, &T::SetCenter)
          .Default(false)
          .String("DataField", &T::DataField, &T::SetDataField)
          .Reference("DataSet", &T::DataSet, &T::SetDataSet)
          .String("DataSetName", &T::DataSetName, &T::SetDataSetName)
          .Object("DataLink", static_cast<TpgwDataLink& (T::*)()>(&T::DataLink), &T::SetDataLink)
          .Stored(&T::IsDataLinkStored)
          .Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame)
          .Enum("FillType", &T::FillType, &T::SetFillType, TpgwFillTypeInfo())
          .Default(ftBrush)
          .Object("Fill", static_cast<TpgwBaseFill& (T::*)()>(&T::Fill), &T::SetFill)
          .String("FileLink", &T::FileLink, &T::SetFileLink)
          .Integer("ImageIndex", &T::ImageIndex, &T::SetImageIndex)
          .Stored(&T::IsImageIndexStored)
          .Boolean("KeepAspectRatio", &T::KeepAspectRatio, &T::SetKeepAspectRatio)
          .Default(true)
          .Object("Picture", static_cast<TPicture& (T::*)()>(&T::Picture), &T::SetPicture)
          .Stored(&T::IsPictureStored)
          .Boolean("Stretched", &T::Stretched, &T::SetStretched)
          .Default(true)
          .String("TagStr", &T::TagStr, &T::SetTagStr)
          .String("URL", &T::URL, &T::SetURL)
          .Stored(false)
          // The last three are written whatever their value.
          .Boolean("HightQuality", &T::HightQuality, &T::SetHightQuality)
          .Boolean("Transparent", &T::Transparent, &T::SetTransparent)
          .Color("TransparentColor", &T::TransparentColor, &T::SetTransparentColor)
          .Build();
  return info;
}
const TClassInfo& TpgwPictureView::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwPictureView::SetFlag(TpgwGraphicDrawFlag f, bool v) {
  if (v)
    FFlags.Include(f);
  else
    FFlags.Exclude(f);
}

void TpgwPictureView::SetAutoSize(bool v) {
  SetFlag(fgdAutoSize, v);
  ApplyAutoSize();
}

void TpgwPictureView::ApplyAutoSize() {
  if (!AutoSize()) return;
  if (const TGraphic* g = GetGraphic()) {
    SetWidth(g->Width());
    SetHeight(g->Height());
  }
}

void TpgwPictureView::UpdateGraphicFormat() {
  const TGraphic* g = FCachedGraphic ? FCachedGraphic.get() : FPicture->Graphic();
  FGraphicFormat = g ? TpgwGraphicFormats::FindByGraphic(*g) : nullptr;
}

void TpgwPictureView::PictureChangedEvent() {
  // The own picture is shown again: a cached copy of the old one no longer applies.
  FCachedGraphic.reset();
  ApplyAutoSize();
  FPictureChanged = true;
  UpdateGraphicFormat();
}

void TpgwPictureView::SetCachedGraphic(std::shared_ptr<const TGraphic> graphic) {
  FCachedGraphic = std::move(graphic);
  UpdateGraphicFormat();
}

bool TpgwPictureView::IsEmpty() const {
  if (FCachedGraphic) return false;
  return FPicture->Empty();
}

const TGraphic* TpgwPictureView::GetGraphic() const {
  if (IsEmpty()) return nullptr;
  return FCachedGraphic ? FCachedGraphic.get() : FPicture->Graphic();
}

int TpgwPictureView::GraphicWidth() const {
  const TGraphic* g = GetGraphic();
  return g ? g->Width() : 0;
}

int TpgwPictureView::GraphicHeight() const {
  const TGraphic* g = GetGraphic();
  return g ? g->Height() : 0;
}

bool TpgwPictureView::GraphicTransparency() const {
  if (Transparent()) return true;
  const TGraphic* g = GetGraphic();
  if (!g) return false;
  return g->Transparent() || (FGraphicFormat && FGraphicFormat->HasAlphaChannel(*g));
}

bool TpgwPictureView::GraphicHasAlpha() const {
  const TGraphic* g = GetGraphic();
  return g && FGraphicFormat && FGraphicFormat->HasAlphaChannel(*g) && (Transparent() || !HightQuality());
}

TColor TpgwPictureView::GraphicTransparentColor() const {
  if (!IsNoColor(FTransparentColor)) return FTransparentColor;
  const TGraphic* g = GetGraphic();
  if (g && FGraphicFormat) {
    const TColor mask = FGraphicFormat->GetTransparentColor(*g);
    if (!IsNoColor(mask)) return mask;
  }
  return FTransparentColor;
}

bool TpgwPictureView::IsEMFExportable() const {
  return FGraphicFormat && AllowVectorExport() && FGraphicFormat->IsVector();
}

bool TpgwPictureView::LoadPictureFromStream(TStream& stream, bool fromStart) {
  const int64_t start = fromStart ? 0 : stream.Position();
  stream.SetPosition(start);
  const int64_t available = stream.Size() - start;
  if (available <= 0) {
    FPicture->Clear();
    return false;
  }
  if (available >= 8) {
    // Pictures kept in binary fields by older programs carry a header: 1, 256 and the length
    // of what follows.
    uint8_t head[8];
    stream.ReadBuffer(head, 8);
    TByteReader r(std::span<const uint8_t>(head, 8));
    const uint16_t a = r.U16LE();
    const uint16_t b = r.U16LE();
    const uint32_t n = r.U32LE();
    if (!(a == 1 && b == 256 && static_cast<int64_t>(n) == available - 8)) stream.SetPosition(start);
  }
  return TpgwGraphicFormats::LoadFromStream(*FPicture, stream);
}

void TpgwPictureView::BeforePrint() {
  TpgwView::BeforePrint();
  FDataLink->SaveState();
}

void TpgwPictureView::AfterPrint() {
  TpgwView::AfterPrint();
  FDataLink->RestoreState();
}

void TpgwPictureView::ProcessDataLink() {
  if (FDataLink->IsEmpty() || FDataLink->LoadingType() != dltOnGetData) return;
  WideString link = FDataLink->Link();
  if (FDataLink->LinkType() == dpExpression) {
    TpgwReport* report = Report();
    link = report ? VarToStr(ReportCalc(*report, link)) : WideString();
  } else if (link.find(u'[') != WideString::npos) {
    link = ExpandBrackets(link);
  }
  FDataLink->SetLink(link);  // put back by AfterPrint
  // Links load through the host's link protocols; without them a link loads nothing.
  TpgwReport* report = Report();
  IpgwLinkService* links = report ? report->Services().Links : nullptr;
  if (!links || link.empty()) return;
  TMemoryStream bytes;
  if (links->Load(link, bytes)) LoadPictureFromStream(bytes, true);
}

namespace {
// A picture file larger than this is not plausible; the bound keeps a named file from exhausting
// memory.
constexpr int64_t kMaxPictureFileBytes = 256LL << 20;
}  // namespace

void TpgwPictureView::GetData() {
  TpgwView::GetData();
  if (!FFileLink.empty()) {
    const WideString link = FFileLink.find(u'[') != WideString::npos ? ExpandBrackets(FFileLink) : FFileLink;
    TpgwReport* report = Report();
    // A relative link is taken from the template's folder.
    const WideString fileName = ResolvePathFrom(report ? report->FileName() : WideString(), link);
    struct stat st;
    if (fileName.empty() || stat(Utf16ToUtf8(fileName).c_str(), &st) != 0) {
      FPicture->Clear();  // a missing file shows no picture
      return;
    }
    try {
      if (report) report->CheckNamedFile(fileName);
      // Only a regular file of sane size: a device or a pipe named here would block or never end.
      std::unique_ptr<TMemoryStream> bytes = OpenRegularFileForReading(fileName, kMaxPictureFileBytes);
      LoadPictureFromStream(*bytes, true);
    } catch (const EFOpenError& e) {
      FPicture->Clear();
      if (!report) throw;
      report->Errors().Add(Name() + u": " + Utf8ToUtf16(e.Message()));
    }
    return;
  }
  if (!IsDataField()) return;
  TpgwReport* report = Report();
  IpgwDataService* data = report ? report->Services().Data : nullptr;
  if (!data || !data->IsBlobField(*DataSet(), DataField())) return;
  TMemoryStream bytes;
  data->AssignBlobTo(*DataSet(), DataField(), bytes);
  LoadPictureFromStream(bytes, true);
}

TRect TpgwPictureView::GraphicRect() const {
  const int w = FX1 - FX, h = FY1 - FY;
  const int gw = GraphicWidth(), gh = GraphicHeight();
  int pw = w, ph = h;
  if (Stretched()) {
    if (KeepAspectRatio()) {
      const Extended sx = gw ? static_cast<Extended>(w) / gw : 0;
      const Extended sy = gh ? static_cast<Extended>(h) / gh : 0;
      if (sx < sy) {
        ph = Round(gh * sx);
      } else {
        pw = Round(gw * sy);
      }
    }
  } else {
    pw = Round(gw * ScaleX);
    ph = Round(gh * ScaleY);
  }
  int x = FX, y = FY;
  if (Center()) {
    // Halves toward zero, so a picture wider than the area starts left of it.
    x += (w - pw) / 2;
    y += (h - ph) / 2;
  }
  return Rect(x, y, x + pw, y + ph);
}

void TpgwPictureView::Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                           Extended offsetY) {
  CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
  if (!DrawAsMask()) DrawBackgroundFill();
  if (const TGraphic* g = GetGraphic()) {
    const TpgwGraphicQuality quality = IsPrinting() ? gqPrint : HightQuality() ? gqHiQuality : gqDefault;
    const TClipRegion saved = canvas.GetClipRgn();
    if (FFlags.Contains(fgdClip)) canvas.IntersectClipRect(Rect(FX, FY, FX1, FY1));
    TpgwGraphicFormats::DrawExt(canvas, *g, GraphicRect(), FFlags, FTransparentColor, quality);
    canvas.SelectClipRgn(saved);
  }
  DrawFrameLines();
}

// ---- signature field --------------------------------------------------------------------------------

const TEnumInfo& TPDFSignatureKindInfo() {
  static const TEnumInfo info("TPDFSignatureKind", {"skInvisible", "skVisible", "skEmpty"});
  return info;
}

const TClassInfo& TpgwDigitalSignatureView::StaticClassInfo() {
  using T = TpgwDigitalSignatureView;
  static const TClassInfo& info = Describe<T>("TpgwDigitalSignatureView")
                                      .Parent<TpgwPictureView>()
                                      .Enum("Kind", &T::Kind, &T::SetKind, TPDFSignatureKindInfo())
                                      .Default(skInvisible)
                                      .Build();
  return info;
}
const TClassInfo& TpgwDigitalSignatureView::ClassInfo() const {
  return StaticClassInfo();
}

void ProvidePictureClasses() {
  ProvideReportClass("TpgwPictureView", &TpgwPictureView::StaticClassInfo);
  ProvideReportClass("TpgwDigitalSignatureView", &TpgwDigitalSignatureView::StaticClassInfo);
}

}  // namespace pagewright
