#include "export/export_filter.h"

#include <algorithm>
#include <exception>
#include <iostream>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/safe_output.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/report.h"
#include "support/resources.h"

namespace pagewright {

namespace {

bool IsDelimiter(char16_t c) {
  return c == u'/' || c == u'\\';
}

bool StartsWithText(std::u16string_view s, std::u16string_view prefix) {
  return !prefix.empty() && s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

}  // namespace

const TEnumInfo& TpgwShowDialogOptionInfo() {
  static const TEnumInfo info("TpgwShowDialogOption", {"doShowExportSettings", "doShowSaveDialog"});
  return info;
}

const TEnumInfo& TpgwFilterAccessInfo() {
  static const TEnumInfo info("TpgwFilterAccess", {"faRead", "faWrite"});
  return info;
}

const TEnumInfo& TpgwFilterVisibleStateInfo() {
  static const TEnumInfo info("TpgwFilterVisibleState",
                              {"fvDesigner", "fvPreview", "fvExport", "fvDesignerFileFilter",
                               "fvPreviewFileFilter", "fvExportFileFilter", "fvOther"});
  return info;
}

// --- nodes -------------------------------------------------------------------------------------------------

void TpgwNode::SetObjectData(std::unique_ptr<TStream> v) {
  FObjectData = std::move(v);
}

TpgwNode* TpgwNode::Find(std::u16string_view name) const {
  for (const auto& c : FChildren)
    if (SameText(c->FName, name)) return c.get();
  return nullptr;
}

TpgwNode& TpgwNode::Add(const WideString& name) {
  FChildren.push_back(std::make_unique<TpgwNode>(this, name));
  return *FChildren.back();
}

void TpgwNode::Remove(TpgwNode& child) {
  auto it =
      std::find_if(FChildren.begin(), FChildren.end(), [&](const auto& c) { return c.get() == &child; });
  if (it != FChildren.end()) FChildren.erase(it);
}

void TpgwNode::ForEach(const std::function<void(TpgwNode&)>& visit) {
  visit(*this);
  for (auto& c : FChildren) c->ForEach(visit);
}

int TpgwNode::FilesCount() const {
  int n = 0;
  for (const auto& c : FChildren) n += (c->FOriginalName.empty() ? 0 : 1) + c->FilesCount();
  return n;
}

// --- transports
// ---------------------------------------------------------------------------------------------

TpgwCustomIOTransport::TpgwCustomIOTransport(TComponent* owner) : TComponent(owner) {}

TpgwCustomIOTransport::~TpgwCustomIOTransport() {
  // Streams the transport does not own belong to whoever took them.
  if (!FFreeStream) FDirTree.ForEach([](TpgwNode& n) { n.ReleaseObjectData(); });
}

const TClassInfo& TpgwCustomIOTransport::StaticClassInfo() {
  using T = TpgwCustomIOTransport;
  static const TClassInfo& info = Describe<T>("TpgwCustomIOTransport").Parent<TComponent>().Build();
  return info;
}
const TClassInfo& TpgwCustomIOTransport::ClassInfo() const {
  return StaticClassInfo();
}

bool TpgwCustomIOTransport::CreateContainerNode(TpgwNode&) {
  return true;
}
bool TpgwCustomIOTransport::DeleteContainerNode(TpgwNode&) {
  return true;
}

std::unique_ptr<TStream> TpgwCustomIOTransport::DoCreateStream(const WideString&, const WideString&) {
  return nullptr;
}

bool TpgwCustomIOTransport::DoFilterProcessStream(TStream&, TPersistent*) {
  return false;
}

TpgwNode* TpgwCustomIOTransport::ResolveFileNode(const WideString& fileName) {
  std::u16string_view rest = fileName;
  if (StartsWithText(rest, FBasePath)) rest.remove_prefix(FBasePath.size());
  std::vector<WideString> parts;
  WideString part;
  for (char16_t c : rest) {
    if (IsDelimiter(c)) {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  // The last component names the file; a name ending in a delimiter names none.
  if (part.empty()) return nullptr;
  TpgwNode* node = FCurNode ? FCurNode : &FDirTree;
  for (const WideString& folder : parts) {
    TpgwNode* next = node->Find(folder);
    if (!next) {
      next = &node->Add(folder);
      CreateContainerNode(*next);
    }
    node = next;
  }
  TpgwNode* file = node->Find(part);
  return file ? file : &node->Add(part);
}

TStream* TpgwCustomIOTransport::GetStream(const WideString& fileName) {
  const WideString name = fileName.empty() ? FFileName : fileName;
  TpgwNode* node = ResolveFileNode(name);
  if (!node)
    throw Exception(Utf16ToUtf8(Format(u"Unable to parse path : \"%s\" to Nodes", {TFormatArg(name)})));
  if (node->ObjectData() && (node->FilterAccess() == FFilterAccess || !FFreeStream))
    return node->ObjectData();
  node->SetObjectData(nullptr);
  std::unique_ptr<TStream> stream = DoCreateStream(name, ExtractFileName(name));
  node->SetOriginalName(name);
  node->SetFilterAccess(FFilterAccess);
  node->SetObjectData(std::move(stream));
  return node->ObjectData();
}

void TpgwCustomIOTransport::FreeStream(TStream* stream, const WideString&) {
  if (!stream) return;
  FDirTree.ForEach([&](TpgwNode& n) {
    if (n.ObjectData() != stream) return;
    if (FFreeStream)
      n.SetObjectData(nullptr);
    else
      n.ReleaseObjectData();
  });
}

void TpgwCustomIOTransport::DiscardStream(TStream* stream, const WideString& fileName) {
  TpgwCustomIOTransport::FreeStream(stream, fileName);
}

void TpgwCustomIOTransport::CloseAllStreams() {
  FDirTree.ForEach([&](TpgwNode& n) {
    if (FFreeStream)
      n.SetObjectData(nullptr);
    else
      n.ReleaseObjectData();
  });
}

void TpgwCustomIOTransport::CloseFilter() {
  FreeTempContainer();
  CloseAllStreams();
  FDirTree.Clear();
  FCurNode = nullptr;
}

void TpgwCustomIOTransport::AssignFilter(const TpgwCustomIOTransport& source) {
  SetReport(source.Report());
  FShowDialog = source.FShowDialog;
  FOverwritePrompt = source.FOverwritePrompt;
  FDefaultPath = source.FDefaultPath;
  FFileName = source.FFileName;
  FDefaultExt = source.FDefaultExt;
  FExtDescription = source.FExtDescription;
}

void TpgwCustomIOTransport::InitFromExport(const TpgwCustomExportFilter& filter) {
  FDefaultPath = filter.DefaultPath();
  FDefaultExt = filter.DefaultExt();
  FFileName = filter.FileName();
  SetReport(filter.Report());
  FFilterString = filter.FilterDesc();
  FOverwritePrompt = filter.OverwritePrompt();
  FBasePath = ExtractFilePath(FFileName);
  if (FBasePath.empty() && !FDefaultPath.empty()) FBasePath = FDefaultPath;
  FFilterAccess = faWrite;
}

std::unique_ptr<TpgwCustomIOTransport> TpgwCustomIOTransport::CreateFilterClone(
    TpgwFilterVisibleState createdFrom) {
  std::unique_ptr<TpgwCustomIOTransport> result = CreateAs<TpgwCustomIOTransport>(ClassInfo());
  result->FCreatedFrom = createdFrom;
  result->AssignFilter(*this);
  result->FOriginalCopy = this;
  result->FreeNotification(this);
  result->AssignSharedProperties(*this);
  return result;
}

void TpgwCustomIOTransport::SetReport(TpgwReport* v) {
  if (FReport == v) return;
  if (FReport) RemoveFreeNotification(FReport);
  FReport = v;
  if (FReport) FreeNotification(FReport);
}

void TpgwCustomIOTransport::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c == FReport) FReport = nullptr;
  if (op == opRemove && c == FOriginalCopy) FOriginalCopy = nullptr;
  TComponent::Notification(c, op);
}

TpgwIOTransportFile::TpgwIOTransportFile(TComponent* owner) : TpgwCustomIOTransport(owner) {}

const TClassInfo& TpgwIOTransportFile::StaticClassInfo() {
  using T = TpgwIOTransportFile;
  static const TClassInfo& info = Describe<T>("TpgwIOTransportFile").Parent<TpgwCustomIOTransport>().Build();
  return info;
}
const TClassInfo& TpgwIOTransportFile::ClassInfo() const {
  return StaticClassInfo();
}

WideString TpgwIOTransportFile::GetDescription() const {
  return ResourceGet("163");
}

bool TpgwIOTransportFile::CreateContainerNode(TpgwNode& node) {
  WideString path;
  for (const TpgwNode* n = &node; n && n->Parent(); n = n->Parent())
    path = (path.empty() ? n->Name() : n->Name() + u"/" + path);
  // A relative base stays relative: no leading delimiter in front of an empty base.
  const bool needsDelimiter = !BasePath().empty() && !IsDelimiter(BasePath().back());
  const WideString folder = BasePath() + (needsDelimiter ? u"/" : u"") + path;
  if (FilterAccess() == faWrite && !DirectoryExists(folder)) CreateDir(Utf16ToUtf8(folder));
  return true;
}

std::unique_ptr<TStream> TpgwIOTransportFile::DoCreateStream(const WideString& fullFilePath,
                                                             const WideString&) {
  if (FilterAccess() == faWrite) return std::make_unique<TSafeOutputStream>(Utf16ToUtf8(fullFilePath));
  return std::make_unique<TFileStream>(fullFilePath, fmOpenRead | fmShareDenyWrite);
}

namespace {

// Takes a stream the transport owns out of its node; null when the transport does not own it.
std::unique_ptr<TStream> TakeOwnedStream(TpgwNode& root, TStream* stream) {
  std::unique_ptr<TStream> taken;
  root.ForEach([&](TpgwNode& n) {
    if (!taken && n.ObjectData() == stream) taken.reset(n.ReleaseObjectData());
  });
  return taken;
}

}  // namespace

void TpgwIOTransportFile::FreeStream(TStream* stream, const WideString& fileName) {
  if (!stream || !FreeStreams()) {
    TpgwCustomIOTransport::FreeStream(stream, fileName);
    return;
  }
  std::unique_ptr<TStream> taken = TakeOwnedStream(RootNode(), stream);
  auto* output = dynamic_cast<TSafeOutputStream*>(taken.get());
  if (!output) return;  // read streams just close
  // Exporters close their output on their error paths too: that output is incomplete.
  if (std::uncaught_exceptions() > 0 || std::current_exception()) return;  // discarded by the destructor
  output->Commit();
}

void TpgwIOTransportFile::DiscardStream(TStream* stream, const WideString& fileName) {
  if (!stream || !FreeStreams()) {
    TpgwCustomIOTransport::FreeStream(stream, fileName);
    return;
  }
  TakeOwnedStream(RootNode(), stream);  // the temporary file goes with the stream
}

// --- filters
// --------------------------------------------------------------------------------------------------

bool& TpgwCustomExportFilter::NoRegisterNext() {
  static bool next = false;
  return next;
}

TpgwCustomExportFilter::TpgwCustomExportFilter(TComponent* owner) : TComponent(owner) {
  FNoRegister = NoRegisterNext();
  NoRegisterNext() = false;
  if (!FNoRegister) ExportFilters().Register(this);
}

TpgwCustomExportFilter::~TpgwCustomExportFilter() {
  if (!FNoRegister) ExportFilters().Unregister(this);
  if (FIOTransport == FDefaultIOTransport.get()) FIOTransport = nullptr;
  FDefaultIOTransport.reset();
  FFiles.reset();
}

const TClassInfo& TpgwCustomExportFilter::StaticClassInfo() {
  using T = TpgwCustomExportFilter;
  static const TClassInfo& info =
      Describe<T>("TpgwCustomExportFilter")
          .Parent<TComponent>()
          .Abstract()
          .Boolean("ExportNotPrintable", &T::ExportNotPrintable, &T::SetExportNotPrintable)
          .Default(false)
          .String("FileName", &T::FileName, &T::SetFileName)
          .Boolean("ShowDialog", &T::ShowDialog, &T::SetShowDialog)
          .Default(true)
          .Boolean("UseFileCache", &T::UseFileCache, &T::SetUseFileCache)
          .Default(true)
          .String("DefaultPath", &T::DefaultPath, &T::SetDefaultPath)
          .Boolean("ShowProgress", &T::ShowProgress, &T::SetShowProgress)
          .Default(true)
          .Boolean("OverwritePrompt", &T::OverwritePrompt, &T::SetOverwritePrompt)
          .Default(false)
          .Float("CreationTime", &T::CreationTime, &T::SetCreationTime)
          .Default(0)
          .Boolean("DataOnly", &T::DataOnly, &T::SetDataOnly)
          .Default(false)
          .Reference("IOTransport", &T::IOTransport, &T::SetIOTransport)
          .Build();
  return info;
}
const TClassInfo& TpgwCustomExportFilter::ClassInfo() const {
  return StaticClassInfo();
}

bool TpgwCustomExportFilter::ShowDialog() const {
  return FShowDialogOptions.Contains(doShowExportSettings) && FShowDialogOptions.Contains(doShowSaveDialog);
}

void TpgwCustomExportFilter::SetShowDialog(bool v) {
  FShowDialogOptions =
      v ? TpgwShowDialogOptions{doShowExportSettings, doShowSaveDialog} : TpgwShowDialogOptions{};
}

void TpgwCustomExportFilter::SetFileName(const WideString& v) {
  FName = v;
  if (FIOTransport) {
    FIOTransport->SetBasePath(ExtractFilePath(v));
    FIOTransport->SetFileName(v);
  }
}

void TpgwCustomExportFilter::SetReport(TpgwReport* v) {
  if (FReport == v) return;
  if (FReport) RemoveFreeNotification(FReport);
  FReport = v;
  if (FReport) FreeNotification(FReport);
}

void TpgwCustomExportFilter::SetIOTransport(TpgwCustomIOTransport* v) {
  if (FIOTransport == v) return;
  if (FIOTransport && FIOTransport != FDefaultIOTransport.get()) RemoveFreeNotification(FIOTransport);
  FIOTransport = v;
  if (FIOTransport && FIOTransport != FDefaultIOTransport.get()) FreeNotification(FIOTransport);
}

TStringList& TpgwCustomExportFilter::EnsureFiles() {
  if (!FFiles) FFiles = std::make_unique<TStringList>();
  return *FFiles;
}

TpgwCustomIOTransport* TpgwCustomExportFilter::DefaultIOTransport() {
  if (!FDefaultIOTransport) CreateDefaultIOTransport();
  return FDefaultIOTransport.get();
}

void TpgwCustomExportFilter::SetDefaultIOTransport(std::unique_ptr<TpgwCustomIOTransport> v) {
  if (FIOTransport && FIOTransport == FDefaultIOTransport.get()) FIOTransport = nullptr;
  FDefaultIOTransport = std::move(v);
}

TpgwCustomIOTransport* TpgwCustomExportFilter::CreateDefaultIOTransport() {
  // A save dialog is user interface, which this system has none of: the file transport serves.
  SetDefaultIOTransport(std::make_unique<TpgwIOTransportFile>(nullptr));
  return FDefaultIOTransport.get();
}

void TpgwCustomExportFilter::BeforeStart() {
  if (FSlaveExport && FName.empty()) {
    WideString name;
    const WideString reportFile = FReport ? FReport->FileName() : WideString();
    if (!reportFile.empty()) {
      name = Utf8ToUtf16(GetTempDir()) + ChangeFileExt(ExtractFileName(reportFile), FDefaultExt);
    } else {
      const std::string temp = CreateTempFile(std::string(), "pw");
      DeleteFile(temp);  // only the unique name is wanted
      name = ChangeFileExt(Utf8ToUtf16(temp), FDefaultExt);
    }
    FName = name;
    if (FIOTransport) FIOTransport->SetBasePath(ExtractFilePath(name));
  }
  if (!FName.empty() && ExtractFilePath(FName).empty() && !FDefaultPath.empty())
    FName = IncludeTrailingPathDelimiter(FDefaultPath) + FName;
}

bool TpgwCustomExportFilter::DoStart() {
  BeforeStart();
  return Start();
}

void TpgwCustomExportFilter::DoFinish() {
  Finish();
  AfterFinish();
}

void TpgwCustomExportFilter::Notification(TComponent* c, TOperation op) {
  if (op == opRemove) {
    if (c == FReport) FReport = nullptr;
    if (c == FIOTransport) FIOTransport = nullptr;
  }
  TComponent::Notification(c, op);
}

const TClassInfo& TpgwBaseDialogExportFilter::StaticClassInfo() {
  using T = TpgwBaseDialogExportFilter;
  static const TClassInfo& info =
      Describe<T>("TpgwBaseDialogExportFilter").Parent<TpgwCustomExportFilter>().Abstract().Build();
  return info;
}
const TClassInfo& TpgwBaseDialogExportFilter::ClassInfo() const {
  return StaticClassInfo();
}

int TpgwBaseDialogExportFilter::ShowModal() {
  if (Stream()) return 1;
  const TDialog dialog = ExportDialogClass();
  return dialog ? dialog(*this) : 1;
}

void TpgwBaseDialogExportFilter::AfterFinish() {
  if (!OpenAfterExport() || Stream()) return;
  std::string name = Utf16ToUtf8(FileName());
  // A numbered export wrote its first file with ".1" before the extension.
  if (!FileExists(name))
    name = ExtractFilePath(name) + ChangeFileExt(ExtractFileName(name), "") + ".1" + ExtractFileExt(name);
  if (OnOpenFile) return OnOpenFile(name);
  // The desktop's viewer; without one the export has still succeeded, and the user learns why
  // nothing opened.
  std::string whyNot;
  if (!OpenWithDesktop(name, whyNot)) std::cerr << "Cannot open " << name << " after the export: " << whyNot << "\n";
}

// --- the export walk's side ------------------------------------------------------------------------------

bool TpgwCustomExportFilter::OpenExport(TpgwReport& report, WideString& failure) {
  FExportTransport = nullptr;
  FExportUsesDefault = false;
  SetCreationTime(Now());
  SetReport(&report);
  SetDefaultIOTransport(nullptr);
  if (OnBeforeExport) OnBeforeExport(*this);
  if (ShowDialogOptions().Contains(doShowExportSettings) && ShowModal() != 1) return false;

  FExportUsesDefault = !IOTransport();
  if (FExportUsesDefault) SetIOTransport(DefaultIOTransport());
  FExportTransport = IOTransport();
  if (!FExportTransport) {
    failure = u"The export filter has no output transport";
    return false;
  }
  FExportTransport->InitFromExport(*this);
  if (!FExportTransport->OpenFilter()) return false;
  SetFileName(FExportTransport->FileName());
  if (CurPage()) SetPageNumbers(u"1");  // no preview window in this program
  return true;
}

void TpgwCustomExportFilter::CloseExport() {
  if (!FExportTransport) return;
  TpgwCustomIOTransport* transport = FExportTransport;
  FExportTransport = nullptr;
  transport->CloseFilter();
  // The next export starts again from a fresh default transport.
  if (FExportUsesDefault && IOTransport() == transport) SetIOTransport(nullptr);
}

std::vector<int> TpgwCustomExportFilter::PagesToExport(int pageCount) const {
  return SelectedPages(PageNumbers(), pageCount);
}

bool TpgwCustomExportFilter::StartDocument() {
  if (OnBeginExport) OnBeginExport(*this);
  return DoStart();
}

bool TpgwCustomExportFilter::WriteDocument(const WideString& fileName, const WideString& fallbackName,
                                           const std::function<void(TStream&)>& write) {
  TpgwCustomIOTransport* transport = IOTransport() ? IOTransport() : DefaultIOTransport();
  if (!transport) return false;
  transport->InitFromExport(*this);
  struct Closer {
    TpgwCustomIOTransport* t;
    ~Closer() { t->CloseFilter(); }
  } closer{transport};
  if (!transport->OpenFilter()) return false;
  WideString name = fileName.empty() ? FileName() : fileName;
  if (name.empty()) name = fallbackName;
  if (TStream* stream = transport->GetStream(name)) {
    if (!transport->DoFilterProcessStream(*stream, nullptr)) write(*stream);
    transport->FreeStream(stream, name);
  }
  return true;
}

// --- registry
// ---------------------------------------------------------------------------------------------------

void TpgwExportFilterCollection::Register(TpgwCustomExportFilter* filter) {
  if (filter && IndexOf(filter) < 0) FItems.push_back(filter);
}

void TpgwExportFilterCollection::Unregister(TpgwCustomExportFilter* filter) {
  auto it = std::find(FItems.begin(), FItems.end(), filter);
  if (it != FItems.end()) FItems.erase(it);
}

int TpgwExportFilterCollection::IndexOf(const TpgwCustomExportFilter* filter) const {
  auto it = std::find(FItems.begin(), FItems.end(), filter);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

TpgwExportFilterCollection& ExportFilters() {
  static TpgwExportFilterCollection filters;
  return filters;
}

// --- page selection
// -----------------------------------------------------------------------------------------------

std::vector<int> SelectedPages(std::u16string_view pageNumbers, int pageCount) {
  std::u16string text;
  for (char16_t c : pageNumbers)
    if ((c >= u'0' && c <= u'9') || c == u',' || c == u'-') text.push_back(c);
  std::vector<int> pages;
  auto inRange = [&](long long n) { return n >= 1 && n <= pageCount; };
  if (text.empty()) {
    for (int i = 1; i <= pageCount; ++i) pages.push_back(i);
    return pages;
  }
  if (text.back() == u'-') text += Utf8ToUtf16(std::to_string(pageCount));
  // Digits beyond any page count are capped so that a long run of digits cannot overflow.
  auto number = [](std::u16string_view s, bool& ok) {
    long long n = 0;
    ok = !s.empty();
    for (char16_t c : s) {
      if (c < u'0' || c > u'9') {
        ok = false;
        return 0LL;
      }
      n = std::min(n * 10 + (c - u'0'), 1LL << 40);
    }
    return n;
  };
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(u',', start);
    if (comma == std::u16string::npos) comma = text.size();
    const std::u16string_view item(text.data() + start, comma - start);
    const size_t dash = item.find(u'-');
    bool ok1 = false, ok2 = false;
    if (dash == std::u16string_view::npos) {
      const long long n = number(item, ok1);
      if (ok1 && inRange(n)) pages.push_back(static_cast<int>(n));
    } else {
      const long long a = number(item.substr(0, dash), ok1);
      const long long b = number(item.substr(dash + 1), ok2);
      if (ok1 && ok2)
        for (long long n = std::max(a, 1LL); n <= std::min<long long>(b, pageCount); ++n)
          pages.push_back(static_cast<int>(n));
    }
    start = comma + 1;
  }
  return pages;
}

void TpgwCustomExportFilter::ReportOutputError(const Exception& e) {
  TpgwReport* report = Report();
  if (!report) throw;  // nowhere to collect it
  switch (report->EngineOptions().NewSilentMode()) {
    case simMessageBoxes:
      // No windows here: the message box becomes a block on standard error.
      std::cerr << Utf16ToUtf8(ResourceGet("mbError")) << "\n" << e.Message() << "\n" << std::flush;
      break;
    case simSilent:
      report->Errors().Add(Utf8ToUtf16(e.Message()));
      break;
    case simReThrow:
      throw;
  }
}

}  // namespace pagewright
