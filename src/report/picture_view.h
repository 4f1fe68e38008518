// Picture objects: a view that shows a raster or vector picture taken from the template, a
// file or a binary data field, placed into its rectangle by its drawing flags; and the
// signature field of PDF exports, which is a picture object with a kind and a description.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/properties.h"
#include "platform/streams.h"
#include "platform/types.h"
#include "render/graphic_formats.h"
#include "report/view.h"

namespace pagewright {

// --- data links ----------------------------------------------------------------------------------

enum TpgwDataLinkProcessing : uint8_t { dpString, dpExpression };
enum TpgwDataLinkLoading : uint8_t { dltOnGetData, dltOnPreview };
const TEnumInfo& TpgwDataLinkProcessingInfo();
const TEnumInfo& TpgwDataLinkLoadingInfo();

// A link from which an object loads its content (a URL, a file); the link text may hold
// bracketed expressions (dpString) or be one expression (dpExpression).
class TpgwDataLink : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  const WideString& Link() const { return FLink; }
  void SetLink(const WideString& v) { FLink = v; }
  TpgwDataLinkProcessing LinkType() const { return FLinkType; }
  void SetLinkType(TpgwDataLinkProcessing v) { FLinkType = v; }
  TpgwDataLinkLoading LoadingType() const { return FLoadingType; }
  void SetLoadingType(TpgwDataLinkLoading v) { FLoadingType = v; }
  // Whether the link holds something worth storing.
  bool IsEmpty() const { return FLink.empty(); }

  // The link text is saved before printing and put back afterwards.
  void SaveState() { FSavedLink = FLink; }
  void RestoreState() { FLink = FSavedLink; }

 private:
  WideString FLink;
  WideString FSavedLink;
  TpgwDataLinkProcessing FLinkType = dpString;
  TpgwDataLinkLoading FLoadingType = dltOnGetData;
};


// --- picture object ------------------------------------------------------------------------------

class TpgwPictureView : public TpgwView {
 public:
  explicit TpgwPictureView(TComponent* owner);
  ~TpgwPictureView() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // --- published -------------------------------------------------------------------------------
  bool AutoSize() const { return FFlags.Contains(fgdAutoSize); }
  // Setting it with a picture present sizes the object to the picture.
  void SetAutoSize(bool v);
  bool Center() const { return FFlags.Contains(fgdCenter); }
  void SetCenter(bool v) { SetFlag(fgdCenter, v); }
  TpgwDataLink& DataLink() { return *FDataLink; }
  const TpgwDataLink& DataLink() const { return *FDataLink; }
  void SetDataLink(const TpgwDataLink& v) { FDataLink->Assign(v); }
  bool IsDataLinkStored() const { return !FDataLink->IsEmpty(); }
  const WideString& FileLink() const { return FFileLink; }
  void SetFileLink(const WideString& v) { FFileLink = v; }
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int v) { FImageIndex = v; }
  bool KeepAspectRatio() const { return FFlags.Contains(fgdKeepAspectRatio); }
  void SetKeepAspectRatio(bool v) { SetFlag(fgdKeepAspectRatio, v); }
  TPicture& Picture() { return *FPicture; }
  const TPicture& Picture() const { return *FPicture; }
  void SetPicture(const TPicture& v) { FPicture->Assign(v); }
  bool Stretched() const { return FFlags.Contains(fgdStretch); }
  void SetStretched(bool v) { SetFlag(fgdStretch, v); }
  bool HightQuality() const { return FFlags.Contains(fgdHiQuality); }
  void SetHightQuality(bool v) { SetFlag(fgdHiQuality, v); }
  bool Transparent() const { return FFlags.Contains(fgdTransparent); }
  void SetTransparent(bool v) { SetFlag(fgdTransparent, v); }
  TColor TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(TColor v) { FTransparentColor = v; }

  // --- the picture cache of prepared pages --------------------------------------------------------
  // The object keeps its own picture (stored in templates as Picture) unless the prepared-page
  // store keeps it in its picture cache (stored as ImageIndex).
  bool IsPictureStored() const { return FIsPictureStored; }
  void SetIsPictureStored(bool v) { FIsPictureStored = v; }
  bool IsImageIndexStored() const { return FIsImageIndexStored; }
  void SetIsImageIndexStored(bool v) { FIsImageIndexStored = v; }
  // A decoded picture shared with the picture cache, shown instead of the own picture.
  const TGraphic* CachedGraphic() const { return FCachedGraphic.get(); }
  void SetCachedGraphic(std::shared_ptr<const TGraphic> graphic);
  // Set by every picture change; the cache takes a new index for a changed picture.
  bool PictureChanged() const { return FPictureChanged; }
  void SetPictureChanged(bool v) { FPictureChanged = v; }

  // --- drawing flags and the graphic --------------------------------------------------------------
  TpgwGraphicDrawFlags Flags() const { return FFlags; }
  void SetFlags(TpgwGraphicDrawFlags v) { FFlags = v; }
  bool IsEmpty() const;
  // None when empty; the cached picture when there is one; else the own picture's graphic.
  const TGraphic* GetGraphic() const;
  int GraphicWidth() const;
  int GraphicHeight() const;
  // The format handler of the graphic; null when there is none.
  TpgwGraphicFormatClass GraphicFormat() const { return FGraphicFormat; }
  bool GraphicTransparency() const;
  bool GraphicHasAlpha() const;
  TColor GraphicTransparentColor() const;
  bool IsEMFExportable() const override;

  // Loads the picture from the stream (from position 0 with fromStart, else from its position),
  // passing over a legacy 8-byte field header. False, with the picture empty, when the stream
  // is empty or holds no picture the format handlers read.
  bool LoadPictureFromStream(TStream& stream, bool fromStart = true);

  void BeforePrint() override;
  void GetData() override;
  void AfterPrint() override;
  void ProcessDataLink() override;

  using TpgwView::Draw;
  void Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) override;
  // Where the graphic goes inside the device rectangle of the last CalcDeviceRect.
  TRect GraphicRect() const;

 private:
  void SetFlag(TpgwGraphicDrawFlag f, bool v);
  void PictureChangedEvent();
  void ApplyAutoSize();
  void UpdateGraphicFormat();

  TpgwGraphicDrawFlags FFlags{fgdKeepAspectRatio, fgdStretch, fgdClip};
  std::unique_ptr<TPicture> FPicture;
  std::shared_ptr<const TGraphic> FCachedGraphic;
  int FImageIndex = 0;
  bool FIsPictureStored = true;
  bool FIsImageIndexStored = false;
  bool FPictureChanged = false;
  TpgwGraphicFormatClass FGraphicFormat = nullptr;
  std::unique_ptr<TpgwDataLink> FDataLink;
  WideString FFileLink;
  TColor FTransparentColor = clWhite;
};

// --- signature field -----------------------------------------------------------------------------

enum TPDFSignatureKind : uint8_t { skInvisible, skVisible, skEmpty };
const TEnumInfo& TPDFSignatureKindInfo();

// A picture object marking where a PDF export places a signature field.
class TpgwDigitalSignatureView : public TpgwPictureView {
 public:
  explicit TpgwDigitalSignatureView(TComponent* owner) : TpgwPictureView(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  TPDFSignatureKind Kind() const { return FKind; }
  void SetKind(TPDFSignatureKind v) { FKind = v; }
  // The signature's description is the report component's Description, already a wide string.

 private:
  TPDFSignatureKind FKind = skInvisible;
};

// Gives the class list the picture and signature classes (start-up, before
// RegisterReportClasses).
void ProvidePictureClasses();

}  // namespace pagewright
