#include "prepared/post_processor.h"

#include "barcode_view/barcode_view.h"
#include "platform/scope_guard.h"
#include "platform/wide_strings.h"
#include "report/component.h"
#include "report/memo_view.h"
#include "report/view.h"
#include "storage/xml_document.h"

namespace pagewright {

namespace {

WideString Key(const WideString& name) {
  return WideUpperCase(name);
}

}  // namespace

WideString TpgwMacrosItem::Text(int index) const {
  if (index < 0 || index >= TextCount()) return {};
  return FTexts[static_cast<size_t>(index)];
}

void TpgwMacrosItem::SetLastText(const WideString& text) {
  if (FTexts.empty()) return;
  const int at = ProcessIndex >= 0 && ProcessIndex < TextCount() ? ProcessIndex : TextCount() - 1;
  FTexts[static_cast<size_t>(at)] = text;
}

int TpgwMacrosItem::Add(const WideString& text) {
  FTexts.push_back(text);
  return TextCount() - 1;
}

void TpgwMacrosItem::Clear() {
  FTexts.clear();
  ResetDuplicates();
  ProcessIndex = -1;
}

void TpgwMacrosItem::Truncate(int count) {
  if (count >= 0 && count < TextCount()) FTexts.resize(static_cast<size_t>(count));
  ResetDuplicates();
  ProcessIndex = -1;
}

std::map<WideString, int> TpgwPostProcessor::InstanceCounts() const {
  std::map<WideString, int> counts;
  for (const auto& [key, item] : FItems) counts[key] = item->TextCount();
  return counts;
}

void TpgwPostProcessor::TruncateTo(const std::map<WideString, int>& counts) {
  for (auto it = FItems.begin(); it != FItems.end();) {
    auto kept = counts.find(it->first);
    if (kept == counts.end()) {
      it = FItems.erase(it);
    } else {
      it->second->Truncate(kept->second);
      ++it;
    }
  }
  FPending.clear();
  FDataLevel = 0;
  FGroupLevel = 0;
}

int TpgwPostProcessor::AddInstance(const WideString& bandName, const WideString& name,
                                   const WideString& content, TpgwProcessAtMode processAt, TpgwView& source,
                                   bool process) {
  // Instances are found again by name: an unnamed object cannot be.
  if (name.empty()) return -1;
  std::unique_ptr<TpgwMacrosItem>& slot = FItems[Key(name)];
  if (!slot) slot = std::make_unique<TpgwMacrosItem>();
  TpgwMacrosItem& item = *slot;
  item.Name = name;
  item.ProcessAt = processAt;
  item.GroupLevel = FGroupLevel;
  item.DataLevel = FDataLevel;
  item.BandName = bandName;
  // A text equal to the object's previous one shares its index: equal indexes are how the text
  // object recognises a neighbouring duplicate (Duplicates). A value still to be computed
  // later keeps an instance of its own.
  const int last = item.TextCount() - 1;
  const int index =
      processAt == paDefault && last >= 0 && item.Text(last) == content ? last : item.Add(content);
  if (process && processAt != paDefault)
    FPending.push_back({&item, index, &source, processAt, FDataLevel, FGroupLevel});
  return index;
}

int TpgwPostProcessor::Add(const WideString& bandName, const WideString& name, const WideString& content,
                           TpgwProcessAtMode processAt, TpgwCustomMemoView& source, bool process) {
  return AddInstance(bandName, name, content, processAt, source, process);
}

int TpgwPostProcessor::Add(const WideString& bandName, const WideString& objectName,
                           const WideString& content, TpgwProcessAtMode processAt, TpgwView& object,
                           bool process) {
  return AddInstance(bandName, objectName, content, processAt, object, process);
}

void TpgwPostProcessor::ProcessExpressions(TpgwReport& report, TpgwComponent* /*band*/,
                                           TpgwProcessAtMode mode) {
  std::vector<Pending> due;
  std::vector<Pending> keep;
  for (const Pending& p : FPending) {
    bool match = p.ProcessAt == mode;
    if (match && mode == paDataFinished) match = p.DataLevel == FDataLevel;
    if (match && mode == paGroupFinished) {
      const int wanted = p.Source->Processing().GroupLevel;
      match = wanted != 0 ? wanted == FGroupLevel : p.GroupLevel == FGroupLevel;
    }
    (match ? due : keep).push_back(p);
  }
  // Tracking stops before the evaluation, so a failing value is not retried forever.
  FPending = std::move(keep);
  for (const Pending& p : due) {
    p.Item->ProcessIndex = p.Index;
    auto done = ScopeExit([&] { p.Item->ProcessIndex = -1; });
    if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(p.Source))
      memo->ProcessDictionary(*p.Item, report, *this);
    else if (auto* barcode = dynamic_cast<TpgwBarCodeView*>(p.Source))
      barcode->ProcessDictionary(*p.Item, report);
  }
  // The engine leaves the group level itself, once per group, after its footer.
}

void TpgwPostProcessor::ResetDuplicates(const WideString& bandName) {
  for (auto& [key, item] : FItems)
    if (WideSameText(item->BandName, bandName)) item->ResetDuplicates();
}

void TpgwPostProcessor::ResetAllDuplicates() {
  for (auto& [key, item] : FItems) item->ResetDuplicates();
}

bool TpgwPostProcessor::LoadValue(TpgwReport& report, TpgwComponent& object) {
  TpgwMacrosItem* item = Find(object.Name());
  if (!item) return false;
  if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(&object))
    return memo->LoadContentFromDictionary(report, *item);
  if (auto* barcode = dynamic_cast<TpgwBarCodeView*>(&object))
    return barcode->LoadContentFromDictionary(report, *item);
  return false;
}

TpgwMacrosItem* TpgwPostProcessor::Find(const WideString& name) const {
  auto it = FItems.find(Key(name));
  return it == FItems.end() ? nullptr : it->second.get();
}

void TpgwPostProcessor::GetMacroList(TStringList& list) const {
  list.Clear();
  for (const auto& [key, item] : FItems) list.Add(item->Name.empty() ? key : item->Name);
}

void TpgwPostProcessor::Clear() {
  FItems.clear();
  FPending.clear();
  FDataLevel = 0;
  FGroupLevel = 0;
}

void TpgwPostProcessor::SaveToXML(TpgwXMLItem& section) const {
  section.Clear();
  for (const auto& [key, item] : FItems) {
    TpgwXMLItem* element = section.Add(item->Name.empty() ? key : item->Name);
    for (int i = 0; i < item->TextCount(); ++i) element->Add(u"i")->SetProp(u"cnt", item->Text(i));
  }
}

void TpgwPostProcessor::LoadFromXML(const TpgwXMLItem& section) {
  Clear();
  for (int i = 0; i < section.Count(); ++i) {
    const TpgwXMLItem* element = section.Items(i);
    std::unique_ptr<TpgwMacrosItem>& slot = FItems[Key(element->Name())];
    if (!slot) slot = std::make_unique<TpgwMacrosItem>();
    slot->Name = element->Name();
    for (int j = 0; j < element->Count(); ++j) {
      WideString text;
      try {
        text = element->Items(j)->GetProp(u"cnt");
      } catch (const Exception&) {
        text.clear();
      }
      slot->Add(text);
    }
  }
}

}  // namespace pagewright
