#include "prepared/preview_pages.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

#include "barcode_view/barcode_view.h"
#include "prepared/export_target.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/safe_output.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "render/bitmap.h"
#include "render/graphic_formats.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/view.h"
#include "storage/serializer.h"
#include "storage/xml_document.h"
#include "support/resources.h"
#include "prepared/store_helpers.h"

namespace pagewright {

using store::NewPageLike;

// ---- saving and loading ---------------------------------------------------------------------------------

void TpgwPreviewPages::SaveToStream(TStream& stream) {
  TpgwXMLItem* root = FXMLDoc->Root();
  TpgwXMLItem& reportSection = Section(u"report");
  reportSection.Clear();
  TpgwXMLItem* reportItem = reportSection.Add(Utf8ToUtf16(FReport.ClassName()));
  reportItem->SetProp(u"DotMatrixReport", FReport.DotMatrixReport() ? u"1" : u"0");
  reportItem->SetProp(u"PreviewOptions.OutlineVisible",
                      FReport.PreviewOptions().OutlineVisible() ? u"1" : u"0");
  reportItem->SetProp(u"PreviewOptions.OutlineWidth", IntToStr(FReport.PreviewOptions().OutlineWidth()));
  reportItem->SetProp(u"ReportOptions.Name", FReport.ReportOptions().Name());

  TpgwXMLItem& sources = Section(u"sourcepages");
  sources.Clear();
  for (const auto& page : FSourcePages) {
    TpgwXMLSerializer serializer;
    serializer.WriteRootComponent(*page, true, sources.Add());
  }
  TpgwXMLItem& dictionary = Section(u"dictionary");
  dictionary.Clear();
  for (const auto& [key, source] : FDictionary.Names()) {
    const WideString alias = source.Object ? source.Object->AliasName() : key;
    dictionary.Add(alias.empty() ? key : alias)->SetProp(u"name", source.Name);
  }
  FPictureCache->SaveToXML(*root);
  FPostProcessor->SaveToXML(Section(u"postprocessing"));

  const TpgwPreparedCompressor& compressor = FCompressor;
  if (FReport.ReportOptions().Compressed() && compressor.Compress) {
    TMemoryStream plain;
    FXMLDoc->SaveToStream(plain);
    plain.SetPosition(0);
    compressor.Compress(plain, stream);
  } else {
    FXMLDoc->SaveToStream(stream);
  }
}

void TpgwPreviewPages::ReportError(const WideString& message) {
  FReport.Errors().Add(message);
  FReport.ReportErrors();
}

bool TpgwPreviewPages::LoadFromStream(TStream& stream, bool allowPartialLoading) {
  Clear();
  return LoadDocumentFrom(stream, allowPartialLoading);
}

bool TpgwPreviewPages::LoadDocumentFrom(TStream& stream, bool allowPartialLoading) {
  FAllowPartialLoading = allowPartialLoading;
  const TpgwPreparedCompressor& compressor = FCompressor;
  if (compressor.Decompress) {
    FAllowPartialLoading = false;
    auto plain = std::make_unique<TMemoryStream>();
    try {
      compressor.Decompress(stream, *plain);
    } catch (const Exception&) {
      ReportError(ResourceGet("clDecompressError"));
      return false;
    }
    plain->SetPosition(0);
    FXMLDoc->LoadFromStream(*plain, false);
  } else {
    // A caller's stream may go before the document: it is read whole unless the store owns it.
    const bool partial = allowPartialLoading && FLoadStream.get() == &stream;
    FXMLDoc->LoadFromStream(stream, partial);
  }
  ReadLoadedDocument();
  return true;
}

void TpgwPreviewPages::ReadLoadedDocument() {
  TpgwXMLItem* root = FXMLDoc->Root();
  root->SetName(u"preparedreport");
  if (TpgwXMLItem& report = Section(u"report"); report.Count() > 0)
    XMLAttributesToObject(report.Items(0)->Text(), FReport);

  TpgwXMLItem& sources = Section(u"sourcepages");
  for (int i = 0; i < sources.Count(); ++i) {
    TpgwXMLItem* element = sources.Items(i);
    const TClassInfo* cls = FindReportClass(element->Name());
    std::unique_ptr<TpgwReportPage> page = NewPageLike(cls ? *cls : TpgwReportPage::StaticClassInfo());
    if (!page) page = NewPageLike(TpgwReportPage::StaticClassInfo());
    TpgwXMLSerializer serializer;
    serializer.ReadRootComponent(*page, element);
    FSourcePages.push_back(std::move(page));
  }
  sources.Clear();

  TpgwXMLItem& dictionary = Section(u"dictionary");
  for (int i = 0; i < dictionary.Count(); ++i) {
    TpgwXMLItem* element = dictionary.Items(i);
    const WideString sourceName = element->GetProp(u"name");
    const size_t dot = sourceName.find(u'.');
    int32_t n = -1;
    if (dot == WideString::npos || sourceName.size() < 5 || !WideSameText(sourceName.substr(0, 4), u"Page") ||
        !TryStrToInt(sourceName.substr(4, dot - 4), n) || n < 0 || n >= SourcePageCount())
      continue;
    TpgwComponent* object = FSourcePages[static_cast<size_t>(n)]->FindObject(sourceName.substr(dot + 1));
    if (!object) continue;
    TpgwXMLSerializer serializer;
    object->SetAliasName(element->Name());
    FDictionary.Add(element->Name(), sourceName, object, serializer.WriteComponentStr(*object));
  }
  FPictureCache->LoadFromXML(*root);
  if (const int at = root->Find(u"postprocessing"); at >= 0) FPostProcessor->LoadFromXML(*root->Items(at));
  FCurPage = GetCount() - 1;
}

bool TpgwPreviewPages::LoadFromFile(const WideString& fileName, bool exceptionIfNotFound) {
  const bool exists = FileExists(fileName);
  if (!exists && !exceptionIfNotFound) return false;
  auto file = std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite);
  TStream& stream = *file;
  Clear();
  // The file stays open as the backing stream of elements left on disk; it is set after the
  // store is cleared, since clearing closes the previous one.
  FLoadStream = std::move(file);
  return LoadDocumentFrom(stream, true) && exists;
}

void TpgwPreviewPages::SaveToFile(const WideString& fileName) {
  // Written beside the target and renamed over it, so that a failure leaves the old file.
  TSafeOutputStream file(Utf16ToUtf8(fileName));
  SaveToStream(file);
  file.Commit();
}

bool TpgwPreviewPages::SaveToFilter(IpgwExportTarget* target, const WideString& fileName) {
  if (!target) return false;
  return target->WriteDocument(fileName, ExtractFileName(FReport.FileName()),
                               [this](TStream& stream) { SaveToStream(stream); });
}

}  // namespace pagewright
