// Reading and writing a generated XML document of about 5 MB (a prepared-report-like tree of
// pages holding objects with attribute text), reported as bytes per second.
#include <benchmark/benchmark.h>

#include <string>

#include "storage/xml_document.h"

namespace pagewright {
namespace {

std::string MakeDocument(size_t targetBytes) {
  TpgwXMLDocument doc;
  doc.SetAutoIndent(true);
  TpgwXMLItem* root = doc.Root();
  root->SetName(u"preparedreport");
  TpgwXMLItem* pages = root->Add(u"previewpages");
  std::string bytes;
  for (int page = 0;; ++page) {
    TpgwXMLItem* p = pages->Add(u"page" + std::u16string(1, u'0' + page % 10));
    for (int o = 0; o < 200; ++o) {
      TpgwXMLItem* obj = p->Add(o % 3 ? u"TpgwMemoView" : u"TpgwBarcodeView");
      obj->SetProp(u"Name", u"Memo" + std::u16string(1, u'A' + o % 26));
      obj->SetProp(u"Left", u"37.7953");
      obj->SetProp(u"Top", u"120.5");
      obj->SetProp(u"Width", u"302.3624");
      obj->SetProp(u"Height", u"18.89765");
      obj->SetProp(u"Font.Name", u"Arial");
      obj->SetProp(u"Text", u"ALMAC\u00C9N \"Norte\" & <Sur> l\u00EDnea 1\r\nl\u00EDnea 2");
    }
    if (page % 5 == 4) {
      bytes = doc.SaveToString();
      if (bytes.size() >= targetBytes) return bytes;
    }
  }
}

const std::string& Document() {
  static const std::string bytes = MakeDocument(5u << 20);
  return bytes;
}

void BM_XmlRead(benchmark::State& state) {
  const std::string& bytes = Document();
  for (auto _ : state) {
    TpgwXMLDocument doc;
    doc.LoadFromString(bytes);
    benchmark::DoNotOptimize(doc.Root()->Count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_XmlRead)->Unit(benchmark::kMillisecond);

void BM_XmlWrite(benchmark::State& state) {
  TpgwXMLDocument doc;
  doc.SetAutoIndent(true);
  doc.LoadFromString(Document());
  size_t size = 0;
  for (auto _ : state) {
    std::string out = doc.SaveToString();
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_XmlWrite)->Unit(benchmark::kMillisecond);

void BM_XmlGetProp(benchmark::State& state) {
  TpgwXMLDocument doc;
  doc.LoadFromString(Document());
  const TpgwXMLItem* page = doc.Root()->Items(0)->Items(0);
  for (auto _ : state) {
    for (const auto& obj : page->Children()) benchmark::DoNotOptimize(obj->GetProp(u"text"));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * page->Count()));
}
BENCHMARK(BM_XmlGetProp);

}  // namespace
}  // namespace pagewright
