#include "export/pdf_export.h"

#include "platform/exceptions.h"
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

}  // namespace

const TEnumInfo& TpgwPDFEncBitInfo() {
  static const TEnumInfo info("TpgwPDFEncBit", {"ePrint", "eModify", "eCopy", "eAnnot"});
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
  throw EInvalidOperation("The PDF document writer is not available");
}

void TpgwPDFExport::ExportObject(TpgwComponent&) {
  throw EInvalidOperation("The PDF document writer is not available");
}

}  // namespace pagewright
