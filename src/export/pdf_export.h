// The PDF export filter: its document settings and their defaults, and the protocol calls of
// the export walk, which write one PDF document with a page per prepared page.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "export/export_filter.h"

namespace pagewright {

enum TpgwPDFEncBit : uint8_t { ePrint, eModify, eCopy, eAnnot };
using TpgwPDFEncBits = Set<TpgwPDFEncBit>;
const TEnumInfo& TpgwPDFEncBitInfo();

// How a protected file is encrypted: 128-bit RC4 (revision 3, read by every viewer) or 256-bit
// AES (revision 6, the AESV3 crypt filter).
enum TPDFEncryptionMethod : uint8_t { peRC4_128, peAES_256 };
const TEnumInfo& TPDFEncryptionMethodInfo();

enum TPDFStandard : uint8_t { psNone, psPDFA_1a, psPDFA_1b, psPDFA_2a, psPDFA_2b, psPDFA_3a, psPDFA_3b };
const TEnumInfo& TPDFStandardInfo();

enum TPDFVersion : uint8_t { pv14, pv15, pv16, pv17 };
const TEnumInfo& TPDFVersionInfo();
// "1.4" to "1.7".
const char* PDFVersionText(TPDFVersion v);

// One entry of the document outline (bookmarks): a title, the prepared page it points at and
// the position on that page in report pixels from the top.
struct TPDFOutlineItem {
  WideString Title;
  int Page = 0;
  double Top = 0;
  std::vector<TPDFOutlineItem> Children;
};
// Outlines deeper than this are cut: the tree comes from a file.
inline constexpr int kMaxPDFOutlineDepth = 64;

class TpgwPDFDocument;
class TpgwXMLItem;
class TPDFPageContent;
struct TPDFEnvironment;
class Exception;

class TpgwPDFExport : public TpgwBaseDialogExportFilter {
 public:
  explicit TpgwPDFExport(TComponent* owner = nullptr);
  ~TpgwPDFExport() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  WideString GetDescription() const override;
  // Opens the output (the caller's stream or the transport's file) and writes the header; false
  // without a file name or stream. An output that cannot be created is handled by the report's
  // silent mode (a line in its errors when silent) and the export writes nothing.
  bool Start() override;
  // A page of the prepared page's size; with Background, the page colour.
  void StartPage(TpgwReportPage& page, int index) override;
  // Views whose visibility includes vsExport (or, with ExportNotPrintable, that are not
  // printable), written into the page's content.
  void ExportObject(TpgwComponent& obj) override;
  void FinishPage(TpgwReportPage& page, int index) override;
  // Writes the rest of the document and closes the output.
  void Finish() override;
  bool IsProcessInternal() const override { return false; }

  // Where document dates and identifiers come from (tests pin them); the system clock and
  // random identifiers by default.
  void SetEnvironment(const TPDFEnvironment& environment);
  // The report's outline for the next export, as the prepared pages keep it: "item" elements
  // with "text", "page" (prepared page index) and "top" (pixels), nested. The export walk hands
  // it over before Start; it is written as the document outline when Outline is set.
  void SetPreparedOutline(const TpgwXMLItem& root) override;
  void SetPreparedAnchors(const TpgwXMLItem& anchors) override;
  // The prepared page (0-based) of the anchor of that name, the last one of it; -1 when there is
  // none.
  int AnchorPage(const WideString& name) const;
  void SetOutlineItems(std::vector<TPDFOutlineItem> items) { FOutlineItems = std::move(items); }
  const std::vector<TPDFOutlineItem>& OutlineItems() const { return FOutlineItems; }

  // The document being written, between Start and Finish.
  TpgwPDFDocument* Document() const { return FDocument.get(); }

  bool Compressed() const { return FCompressed; }
  void SetCompressed(bool v) { FCompressed = v; }
  // Kept for templates and scripts that set it; every face that may be embedded is, because text
  // is written as glyph indices that only the embedded font program gives a meaning.
  bool EmbeddedFonts() const { return FEmbeddedFonts; }
  void SetEmbeddedFonts(bool v) { FEmbeddedFonts = v; }
  bool EmbedFontsIfProtected() const { return FEmbedFontsIfProtected; }
  void SetEmbedFontsIfProtected(bool v) { FEmbedFontsIfProtected = v; }
  bool PrintOptimized() const { return FPrintOptimized; }
  void SetPrintOptimized(bool v) { FPrintOptimized = v; }
  bool Outline() const { return FOutline; }
  void SetOutline(bool v) { FOutline = v; }
  bool Background() const { return FBackground; }
  void SetBackground(bool v) { FBackground = v; }
  bool HTMLTags() const { return FHTMLTags; }
  void SetHTMLTags(bool v) { FHTMLTags = v; }
  int Quality() const { return FQuality; }
  void SetQuality(int v) { FQuality = v; }
  bool Transparency() const { return FTransparency; }
  void SetTransparency(bool v) { FTransparency = v; }
  const WideString& Title() const { return FTitle; }
  void SetTitle(const WideString& v) { FTitle = v; }
  const WideString& Author() const { return FAuthor; }
  void SetAuthor(const WideString& v) { FAuthor = v; }
  const WideString& Subject() const { return FSubject; }
  void SetSubject(const WideString& v) { FSubject = v; }
  const WideString& Keywords() const { return FKeywords; }
  void SetKeywords(const WideString& v) { FKeywords = v; }
  const WideString& Creator() const { return FCreator; }
  void SetCreator(const WideString& v) { FCreator = v; }
  const WideString& Producer() const { return FProducer; }
  void SetProducer(const WideString& v) { FProducer = v; }
  // 8-bit passwords; as properties each byte is one code unit.
  const std::string& UserPassword() const { return FUserPassword; }
  void SetUserPassword(const std::string& v) { FUserPassword = v; }
  const std::string& OwnerPassword() const { return FOwnerPassword; }
  void SetOwnerPassword(const std::string& v) { FOwnerPassword = v; }
  WideString UserPasswordText() const;
  void SetUserPasswordText(const WideString& v);
  WideString OwnerPasswordText() const;
  void SetOwnerPasswordText(const WideString& v);
  TpgwPDFEncBits ProtectionFlags() const { return FProtectionFlags; }
  void SetProtectionFlags(TpgwPDFEncBits v) { FProtectionFlags = v; }
  TPDFEncryptionMethod EncryptionMethod() const { return FEncryptionMethod; }
  void SetEncryptionMethod(TPDFEncryptionMethod v) { FEncryptionMethod = v; }
  bool HideToolbar() const { return FHideToolbar; }
  void SetHideToolbar(bool v) { FHideToolbar = v; }
  bool HideMenubar() const { return FHideMenubar; }
  void SetHideMenubar(bool v) { FHideMenubar = v; }
  bool HideWindowUI() const { return FHideWindowUI; }
  void SetHideWindowUI(bool v) { FHideWindowUI = v; }
  bool FitWindow() const { return FFitWindow; }
  void SetFitWindow(bool v) { FFitWindow = v; }
  bool CenterWindow() const { return FCenterWindow; }
  void SetCenterWindow(bool v) { FCenterWindow = v; }
  bool PrintScaling() const { return FPrintScaling; }
  void SetPrintScaling(bool v) { FPrintScaling = v; }
  bool PdfA() const { return FPdfA; }
  void SetPdfA(bool v) { FPdfA = v; }
  TPDFStandard PDFStandard() const { return FPDFStandard; }
  void SetPDFStandard(TPDFStandard v) { FPDFStandard = v; }
  TPDFVersion PDFVersion() const { return FPDFVersion; }
  void SetPDFVersion(TPDFVersion v) { FPDFVersion = v; }
  bool InteractiveForms() const { return FInteractiveForms; }
  void SetInteractiveForms(bool v) { FInteractiveForms = v; }
  const WideString& InteractiveFormsFontSubset() const { return FInteractiveFormsFontSubset; }
  void SetInteractiveFormsFontSubset(const WideString& v) { FInteractiveFormsFontSubset = v; }
  bool SaveOriginalImages() const { return FSaveOriginalImages; }
  void SetSaveOriginalImages(bool v) { FSaveOriginalImages = v; }
  int PictureDPI() const { return FPictureDPI; }
  void SetPictureDPI(int v) { FPictureDPI = v; }
  int CurvePrecision() const { return FCurvePrecision; }
  void SetCurvePrecision(int v) { FCurvePrecision = v; }
  bool UsePNGAlpha() const { return FUsePNGAlpha; }
  void SetUsePNGAlpha(bool v) { FUsePNGAlpha = v; }

 private:
  bool FCompressed = true;
  bool FEmbeddedFonts = false;
  bool FEmbedFontsIfProtected = false;
  bool FPrintOptimized = false;
  bool FOutline = false;
  bool FBackground = false;
  bool FHTMLTags = true;
  int FQuality = 95;
  bool FTransparency = true;
  WideString FTitle;
  WideString FAuthor = u"Pagewright";
  WideString FSubject = u"Pagewright PDF export";
  WideString FKeywords;
  WideString FCreator = u"Pagewright";
  WideString FProducer;
  std::string FUserPassword;
  std::string FOwnerPassword;
  std::map<WideString, int> FAnchorPages;  // upper-case anchor name to prepared page
  TpgwPDFEncBits FProtectionFlags = {ePrint, eModify, eCopy, eAnnot};
  TPDFEncryptionMethod FEncryptionMethod = peRC4_128;
  bool FHideToolbar = false;
  bool FHideMenubar = false;
  bool FHideWindowUI = false;
  bool FFitWindow = false;
  bool FCenterWindow = false;
  bool FPrintScaling = false;
  bool FPdfA = false;
  TPDFStandard FPDFStandard = psNone;
  TPDFVersion FPDFVersion = pv17;
  bool FInteractiveForms = false;
  WideString FInteractiveFormsFontSubset = u"A-Z,a-z,0-9,#43-#47 ";
  bool FSaveOriginalImages = true;
  int FPictureDPI = 0;
  int FCurvePrecision = 2;
  bool FUsePNGAlpha = true;

  // Closes the transport's stream (not a caller's stream) and forgets the document.
  void ReleaseOutput();

  std::vector<TPDFOutlineItem> FOutlineItems;
  std::unique_ptr<TPDFEnvironment> FEnvironment;
  std::unique_ptr<TpgwPDFDocument> FDocument;
  std::unique_ptr<TPDFPageContent> FContent;
  TStream* FOut = nullptr;
  bool FOwnsOut = false;
  WideString FOutName;
};

}  // namespace pagewright
