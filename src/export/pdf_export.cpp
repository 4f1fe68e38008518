#include "export/pdf_export.h"

#include "export/pdf/pdf_document.h"
#include "export/pdf/pdf_page_content.h"
#include "platform/exceptions.h"
#include "platform/fast_cast.h"
#include "platform/format.h"
#include "platform/scope_guard.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/view.h"
#include "storage/xml_document.h"
#include "support/resources.h"

namespace pagewright {

namespace {

WideString BytesToText(const std::string& bytes) {
  WideString s;
  s.reserve(bytes.size());
  for (unsigned char c : bytes) s.push_back(static_cast<char16_t>(c));
  return s;
}

// Code units above 255 cannot be 8-bit password bytes; they become "?".
std::string TextToBytes(const WideString& text) {
  std::string s;
  s.reserve(text.size());
  for (char16_t c : text) s.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  return s;
}

std::vector<TPDFOutlineItem> OutlineFromXML(const TpgwXMLItem& parent, int depth) {
  std::vector<TPDFOutlineItem> items;
  if (depth >= kMaxPDFOutlineDepth) return items;
  for (int i = 0; i < parent.Count(); ++i) {
    const TpgwXMLItem& x = *parent.Items(i);
    if (!SameText(x.Name(), u"item")) continue;
    TPDFOutlineItem item;
    item.Title = x.GetProp(u"text");
    int32_t page = -1, top = 0;
    if (!TryStrToInt(x.GetProp(u"page"), page)) page = -1;  // points at no page
    if (!TryStrToInt(x.GetProp(u"top"), top)) top = 0;
    item.Page = page;
    item.Top = top;
    item.Children = OutlineFromXML(x, depth + 1);
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace

void TpgwPDFExport::SetPreparedOutline(const TpgwXMLItem& root) {
  FOutlineItems = OutlineFromXML(root, 0);
}

void TpgwPDFExport::SetPreparedAnchors(const TpgwXMLItem& anchors) {
  FAnchorPages.clear();
  for (int i = 0; i < anchors.Count(); ++i) {
    const TpgwXMLItem& a = *anchors.Items(i);
    int32_t page = -1;
    if (TryStrToInt(a.GetProp(u"page"), page) && page >= 0) FAnchorPages[WideUpperCase(a.GetProp(u"text"))] = page;
  }
}

int TpgwPDFExport::AnchorPage(const WideString& name) const {
  const auto it = FAnchorPages.find(WideUpperCase(name));
  return it == FAnchorPages.end() ? -1 : it->second;
}

const TEnumInfo& TpgwPDFEncBitInfo() {
  static const TEnumInfo info("TpgwPDFEncBit", {"ePrint", "eModify", "eCopy", "eAnnot"});
  return info;
}

const TEnumInfo& TPDFEncryptionMethodInfo() {
  static const TEnumInfo info("TPDFEncryptionMethod", {"peRC4_128", "peAES_256"});
  return info;
}

const TEnumInfo& TPDFStandardInfo() {
  static const TEnumInfo info("TPDFStandard", {"psNone", "psPDFA_1a", "psPDFA_1b", "psPDFA_2a", "psPDFA_2b",
                                               "psPDFA_3a", "psPDFA_3b"});
  return info;
}

const TEnumInfo& TPDFVersionInfo() {
  static const TEnumInfo info("TPDFVersion", {"pv14", "pv15", "pv16", "pv17"});
  return info;
}

const char* PDFVersionText(TPDFVersion v) {
  switch (v) {
    case pv14:
      return "1.4";
    case pv15:
      return "1.5";
    case pv16:
      return "1.6";
    case pv17:
      break;
  }
  return "1.7";
}

TpgwPDFExport::TpgwPDFExport(TComponent* owner) : TpgwBaseDialogExportFilter(owner) {
  SetFilterDesc(ResourceGet("8707"));
  SetDefaultExt(ResourceGet("8708"));
}

TpgwPDFExport::~TpgwPDFExport() {
  FContent.reset();
  FDocument.reset();
  if (FOwnsOut) {
    // An export left unfinished still closes its file.
    try {
      ReleaseOutput();
    } catch (...) {
    }
  }
}

void TpgwPDFExport::SetEnvironment(const TPDFEnvironment& environment) {
  FEnvironment = std::make_unique<TPDFEnvironment>(environment);
}

const TClassInfo& TpgwPDFExport::StaticClassInfo() {
  using T = TpgwPDFExport;
  static const TClassInfo& info =
      Describe<T>("TpgwPDFExport")
          .Parent<TpgwBaseDialogExportFilter>()
          .Boolean("Compressed", &T::Compressed, &T::SetCompressed)
          .Default(true)
          .Boolean("EmbeddedFonts", &T::EmbeddedFonts, &T::SetEmbeddedFonts)
          .Default(false)
          .Boolean("EmbedFontsIfProtected", &T::EmbedFontsIfProtected, &T::SetEmbedFontsIfProtected)
          .Default(false)
          .Boolean("PrintOptimized", &T::PrintOptimized, &T::SetPrintOptimized)
          .Default(false)
          .Boolean("Outline", &T::Outline, &T::SetOutline)
          .Default(false)
          .Boolean("Background", &T::Background, &T::SetBackground)
          .Default(false)
          .Boolean("HTMLTags", &T::HTMLTags, &T::SetHTMLTags)
          .Default(true)
          .Integer("Quality", &T::Quality, &T::SetQuality)
          .Default(95)
          .Boolean("Transparency", &T::Transparency, &T::SetTransparency)
          .Default(true)
          .String("Title", &T::Title, &T::SetTitle)
          .String("Author", &T::Author, &T::SetAuthor)
          .String("Subject", &T::Subject, &T::SetSubject)
          .String("Keywords", &T::Keywords, &T::SetKeywords)
          .String("Creator", &T::Creator, &T::SetCreator)
          .String("Producer", &T::Producer, &T::SetProducer)
          .String("UserPassword", &T::UserPasswordText, &T::SetUserPasswordText)
          .String("OwnerPassword", &T::OwnerPasswordText, &T::SetOwnerPasswordText)
          .SetOf("ProtectionFlags", &T::ProtectionFlags, &T::SetProtectionFlags, TpgwPDFEncBitInfo())
          .Default(TpgwPDFEncBits{ePrint, eModify, eCopy, eAnnot})
          .Enum("EncryptionMethod", &T::EncryptionMethod, &T::SetEncryptionMethod, TPDFEncryptionMethodInfo())
          .Default(peRC4_128)
          .Boolean("HideToolbar", &T::HideToolbar, &T::SetHideToolbar)
          .Default(false)
          .Boolean("HideMenubar", &T::HideMenubar, &T::SetHideMenubar)
          .Default(false)
          .Boolean("HideWindowUI", &T::HideWindowUI, &T::SetHideWindowUI)
          .Default(false)
          .Boolean("FitWindow", &T::FitWindow, &T::SetFitWindow)
          .Default(false)
          .Boolean("CenterWindow", &T::CenterWindow, &T::SetCenterWindow)
          .Default(false)
          .Boolean("PrintScaling", &T::PrintScaling, &T::SetPrintScaling)
          .Default(false)
          .Boolean("PdfA", &T::PdfA, &T::SetPdfA)
          .Default(false)
          .Enum("PDFStandard", &T::PDFStandard, &T::SetPDFStandard, TPDFStandardInfo())
          .Default(psNone)
          .Enum("PDFVersion", &T::PDFVersion, &T::SetPDFVersion, TPDFVersionInfo())
          .Default(pv17)
          .Boolean("InteractiveForms", &T::InteractiveForms, &T::SetInteractiveForms)
          .Default(false)
          .String("InteractiveFormsFontSubset", &T::InteractiveFormsFontSubset,
                  &T::SetInteractiveFormsFontSubset)
          .Boolean("SaveOriginalImages", &T::SaveOriginalImages, &T::SetSaveOriginalImages)
          .Default(true)
          .Integer("PictureDPI", &T::PictureDPI, &T::SetPictureDPI)
          .Default(0)
          .Integer("CurvePrecision", &T::CurvePrecision, &T::SetCurvePrecision)
          .Default(2)
          .Boolean("UsePNGAlpha", &T::UsePNGAlpha, &T::SetUsePNGAlpha)
          .Default(true)
          .Boolean("OpenAfterExport", &T::OpenAfterExport, &T::SetOpenAfterExport)
          .Default(false)
          .Build();
  return info;
}
const TClassInfo& TpgwPDFExport::ClassInfo() const {
  return StaticClassInfo();
}

WideString TpgwPDFExport::GetDescription() const {
  return ResourceGet("PDFexport");
}

WideString TpgwPDFExport::UserPasswordText() const {
  return BytesToText(FUserPassword);
}
void TpgwPDFExport::SetUserPasswordText(const WideString& v) {
  FUserPassword = TextToBytes(v);
}
WideString TpgwPDFExport::OwnerPasswordText() const {
  return BytesToText(FOwnerPassword);
}
void TpgwPDFExport::SetOwnerPasswordText(const WideString& v) {
  FOwnerPassword = TextToBytes(v);
}

bool TpgwPDFExport::Start() {
  FContent.reset();
  FDocument.reset();
  if (FOwnsOut) ReleaseOutput();
  if (FileName().empty() && !Stream()) return false;
  try {
    if (TStream* stream = Stream()) {
      FOut = stream;
    } else {
      TpgwCustomIOTransport* transport = IOTransport();
      if (!transport) throw EInvalidOperation("The export filter has no output transport");
      FOutName = FileName();
      FOut = transport->GetStream(FOutName);
      if (!FOut) throw EFCreateError("Cannot create file \"" + Utf16ToUtf8(FOutName) + "\".");
      FOwnsOut = true;
    }
    FDocument =
        std::make_unique<TpgwPDFDocument>(*this, *FOut, FEnvironment ? *FEnvironment : TPDFEnvironment{});
    FDocument->SetOutline(FOutlineItems);
    FDocument->Start();
    FContent = std::make_unique<TPDFPageContent>(*FDocument, *this);
  } catch (const Exception& e) {
    FContent.reset();
    FDocument.reset();
    if (FOwnsOut) ReleaseOutput();
    FOut = nullptr;
    ReportOutputError(e);
    return false;
  }
  return true;
}

void TpgwPDFExport::StartPage(TpgwReportPage& page, int index) {
  if (!FDocument) return;
  FDocument->StartPage(static_cast<double>(page.Width()), static_cast<double>(page.Height()),
                       static_cast<double>(page.LeftMargin()), static_cast<double>(page.TopMargin()), index);
  // The page's colour is part of what the page shows, as in the raster export; Background adds
  // the background picture (in ExportObject).
  if (FContent) {
    const double left = static_cast<double>(page.LeftMargin()) * pgwMMUnits;
    const double top = static_cast<double>(page.TopMargin()) * pgwMMUnits;
    const double width =
        static_cast<double>(page.PaperWidth() - page.LeftMargin() - page.RightMargin()) * pgwMMUnits;
    const double height =
        static_cast<double>(page.PaperHeight() - page.TopMargin() - page.BottomMargin()) * pgwMMUnits;
    FContent->PageBackground(page.Color(), left, top, width, height);
  }
}

void TpgwPDFExport::ExportObject(TpgwComponent& obj) {
  auto* view = FastCast<TpgwView>(&obj);
  if (!view || !FContent) return;
  const TpgwVisibilityTypes visibility = view->Visibility();
  if (!visibility.Contains(vsExport) && !(ExportNotPrintable() && !visibility.Contains(vsPrint))) return;
  // The page colour was painted by StartPage; the background's picture only with Background.
  // The page's frame is drawn on the page as it is on screen, with or without.
  if (view->Name() == u"_pagebackground") {
    auto* picture = FastCast<TpgwPictureView>(view);
    const TGraphic* graphic = picture ? picture->GetGraphic() : nullptr;
    if (!FBackground || !graphic || graphic->Empty()) {
      FContent->FrameOf(*view);
      return;
    }
  }
  // The view knows it is being exported for the duration of the call.
  struct TExportingState {
    TpgwView& View;
    TpgwComponentState Saved;
    ~TExportingState() { View.SetpwComponentState(Saved); }
  } state{*view, view->pwComponentState()};
  TpgwComponentState exporting = state.Saved;
  exporting.Include(csPgwExporting);
  if (FInteractiveForms) exporting.Include(csPgwInteractiveForms);
  view->SetpwComponentState(exporting);
  FContent->ExportView(*view);
}

void TpgwPDFExport::FinishPage(TpgwReportPage&, int) {
  if (FDocument) FDocument->FinishPage();
}

void TpgwPDFExport::Finish() {
  if (!FDocument) return;
  {
    auto release = ScopeExit([this] {
      FContent.reset();
      FDocument.reset();
      if (FOwnsOut) ReleaseOutput();
    });
    FDocument->Finish();
    if (FOwnsOut && IOTransport()) IOTransport()->DoFilterProcessStream(*FOut, this);
  }
  FOut = nullptr;
}

void TpgwPDFExport::ReleaseOutput() {
  TStream* out = FOut;
  FOut = nullptr;
  FOwnsOut = false;
  if (TpgwCustomIOTransport* transport = IOTransport(); transport && out)
    transport->FreeStream(out, FOutName);
}

}  // namespace pagewright
