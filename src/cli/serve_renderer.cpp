#include "cli/serve_renderer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <sstream>
#include <thread>

#include "barcode_view/barcode2d_view.h"
#include "barcode_view/barcode_view.h"
#include "platform/properties.h"
#include "platform/unicode.h"
#include "prepared/preview_pages.h"
#include "report/pages.h"
#include "startup/startup.h"

namespace pagewright::cli {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxTemplates = 2000;
constexpr int kMaxFolderDepth = 8;
// Barcode boxes are collected for this many pages; a longer report shows its pages without them.
constexpr int kMaxBarcodePages = 500;
// Page images kept per template before the oldest are dropped.
constexpr size_t kMaxCachedImages = 48;
// Prepared reports kept at once.
constexpr size_t kMaxKeptRenders = 12;

bool HasTemplateExtension(const fs::path& p) {
  return Lower(p.extension().string()) == ".pw3";
}

// Whether `inner` is `outer` or lies inside it (both canonical).
bool IsInside(const std::string& outer, const std::string& inner) {
  if (inner == outer) return true;
  const std::string prefix = outer == "/" ? outer : outer + "/";
  return inner.compare(0, prefix.size(), prefix) == 0;
}

std::string Canonical(const std::string& path) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? fs::absolute(path).lexically_normal().string() : c.string();
}

std::string BarTypeName(const TpgwComponent& obj) {
  const TPropInfo* p = obj.ClassInfo().FindProperty(std::string_view("BarType"));
  if (!p || !p->Enum()) return {};
  return p->Enum()->Name(p->Get(const_cast<TpgwComponent&>(obj)).Int);
}

// Set when the server stops: a render in progress ends early instead of holding up the exit.
std::atomic<bool> gStopRenders{false};

// Runs `work`, raising the report's Terminated flag when it takes longer than `limit` or the
// server stops; returns whether it was stopped so.
template <class Work>
bool RunWithTimeLimit(TpgwReport& report, std::chrono::milliseconds limit, Work&& work) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::atomic<bool> fired{false};
  std::thread watchdog([&] {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> lock(m);
    while (!done) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline || gStopRenders) {
        fired = true;
        report.SetTerminated(true);
        return;
      }
      cv.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                      std::chrono::milliseconds(100)));
    }
  });
  struct Join {
    std::mutex& m;
    std::condition_variable& cv;
    bool& done;
    std::thread& t;
    ~Join() {
      {
        std::lock_guard<std::mutex> lock(m);
        done = true;
      }
      cv.notify_one();
      t.join();
    }
  } join{m, cv, done, watchdog};
  work();
  return fired;
}

std::string Seconds(std::chrono::milliseconds ms) {
  std::ostringstream s;
  s << static_cast<double>(ms.count()) / 1000.0;
  return s.str();
}

}  // namespace

std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  const WideString wide = Utf8ToUtf16(text);
  for (char16_t c : wide) {
    switch (c) {
      case u'"':
        out += "\\\"";
        break;
      case u'\\':
        out += "\\\\";
        break;
      case u'\n':
        out += "\\n";
        break;
      case u'\r':
        out += "\\r";
        break;
      case u'\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x7F || c == u'<' || c == u'>' || c == u'&') {
          // Escaped as UTF-16 units: surrogate pairs stay pairs, and markup characters cannot
          // end a script element.
          static const char* hex = "0123456789abcdef";
          out += "\\u";
          for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

PreviewMessage ParsePreviewMessage(const std::string& line, const std::string& templatePath,
                                   const std::string& shownName) {
  PreviewMessage m;
  m.severity = "error";
  std::string rest = line;
  const std::string command = "pagewright serve: ";
  if (rest.compare(0, command.size(), command) == 0) rest.erase(0, command.size());
  if (rest.compare(0, 6, "note: ") == 0) {
    m.severity = "note";
    rest.erase(0, 6);
  }
  if (!templatePath.empty() && rest.compare(0, templatePath.size() + 2, templatePath + ": ") == 0)
    rest.erase(0, templatePath.size() + 2);
  for (const char* severity : {"warning", "note"}) {
    const std::string tag = std::string(severity) + ": ";
    if (rest.compare(0, tag.size(), tag) == 0) {
      m.severity = severity;
      rest.erase(0, tag.size());
    } else if (rest.find(": " + tag) != std::string::npos && rest.find(": " + tag) == rest.find(": ")) {
      // A data source's own message: "parcels.csv: warning: ...".
      m.severity = severity;
    }
  }
  if (rest.compare(0, 5, "line ") == 0) {
    size_t i = 5;
    int n = 0;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && n < 100000000)
      n = n * 10 + (rest[i++] - '0');
    if (i > 5 && rest.compare(i, 2, ": ") == 0) {
      m.line = n;
      rest.erase(0, i + 2);
    }
  }
  if (!rest.empty() && rest[0] == '<') {
    const size_t close = rest.find(">: ");
    if (close != std::string::npos) {
      m.element = rest.substr(0, close + 1);
      rest.erase(0, close + 3);
    }
  }
  // An attribute is a property path: letters, digits, dots, before ": ".
  const size_t colon = rest.find(": ");
  if (!m.element.empty() && colon != std::string::npos && colon > 0 && colon < 80 &&
      std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '_';
      })) {
    m.attribute = rest.substr(0, colon);
    rest.erase(0, colon + 2);
  }
  m.message = rest;
  // The whole line, naming the template as the page shows it rather than by its full path.
  m.text = line;
  for (size_t at = 0; !templatePath.empty() && (at = m.text.find(templatePath, at)) != std::string::npos;) {
    m.text.replace(at, templatePath.size(), shownName);
    at += shownName.size();
  }
  return m;
}

std::optional<std::string> ResolveServedPath(const std::string& root, const std::string& relative,
                                             std::string& why) {
  if (relative.empty() || relative.size() > 4096) {
    why = "no template named";
    return std::nullopt;
  }
  if (relative.find('\0') != std::string::npos || relative[0] == '/' ||
      relative.find('\\') != std::string::npos) {
    why = "not a path inside the served folder";
    return std::nullopt;
  }
  for (const auto& part : fs::path(relative)) {
    if (part == ".." || part == ".") {
      why = "\"..\" and \".\" are not allowed in a path";
      return std::nullopt;
    }
  }
  std::error_code ec;
  const fs::path full = fs::path(root) / relative;
  const fs::path real = fs::canonical(full, ec);
  if (ec) {
    why = "no such file";
    return std::nullopt;
  }
  if (!IsInside(root, real.string())) {
    why = "the file lies outside the served folder";
    return std::nullopt;
  }
  return real.string();
}

// ---- render jobs -----------------------------------------------------------------------------

// One render: its options, the streams its messages go to, and the run holding the prepared
// report. The run points at the options and the streams, so the job stays where it is made.
struct PreviewRenderer::Job {
  RenderOptions options;
  std::ostringstream out, err;
  std::unique_ptr<RenderRun> run;
  Job() = default;
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  ~Job() { run.reset(); }
};

struct PreviewRenderer::Entry {
  // Changes seen (files, dropped data) and the change the kept render is of.
  uint64_t changes = 1, rendered = 0;
  bool Clean() const { return changes == rendered; }
  uint64_t lastUsed = 0;  // when it was last asked for (FUseTick)
  PreviewState state;
  std::unique_ptr<Job> good;                          // the last render that succeeded
  std::map<std::pair<int, int>, std::string> images;  // (page, dpi) of `good`
  // Data dropped onto the page: the file in the scratch folder and the data set it binds.
  Upload upload;
};

PreviewRenderer::PreviewRenderer(ServeSettings settings) : FSettings(std::move(settings)) {
  std::error_code ec;
  const std::string path = Canonical(FSettings.path);
  if (fs::is_directory(path, ec)) {
    FRoot = path;
  } else {
    FRoot = fs::path(path).parent_path().string();
    FSingleFile = fs::path(path).filename().string();
  }
  for (const DataBinding& b : FSettings.bindings)
    if (fs::is_regular_file(b.source, ec)) FDataFiles.push_back(Canonical(b.source));
  InitializeEngine();
}

void PreviewRenderer::StopRenders() {
  gStopRenders = true;
}

PreviewRenderer::~PreviewRenderer() {
  std::lock_guard<std::mutex> engine(FEngine);
  std::lock_guard<std::mutex> lock(FState);
  FEntries.clear();
  FScratch.reset();
}

std::vector<std::string> PreviewRenderer::Templates() const {
  std::vector<std::string> names;
  if (!FSingleFile.empty()) {
    names.push_back(FSingleFile);
    return names;
  }
  std::error_code ec;
  fs::recursive_directory_iterator it(FRoot, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    const std::string name = p.filename().string();
    if (!name.empty() && name[0] == '.') {
      if (it->is_directory(ec)) it.disable_recursion_pending();
      continue;
    }
    if (it->is_directory(ec)) {
      if (it.depth() + 1 >= kMaxFolderDepth) it.disable_recursion_pending();
      continue;
    }
    if (!HasTemplateExtension(p) || !it->is_regular_file(ec)) continue;
    // A link may point anywhere: only what really lies under the folder is listed.
    const fs::path real = fs::canonical(p, ec);
    if (ec || !IsInside(FRoot, real.string())) {
      ec.clear();
      continue;
    }
    names.push_back(fs::relative(p, FRoot).generic_string());
    if (static_cast<int>(names.size()) >= kMaxTemplates) break;
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> PreviewRenderer::Resolve(const std::string& relative, std::string& why) const {
  if (!FSingleFile.empty() && relative != FSingleFile) {
    why = "not the served template";
    return std::nullopt;
  }
  auto full = ResolveServedPath(FRoot, relative, why);
  if (!full) return full;
  std::error_code ec;
  if (!HasTemplateExtension(relative) || !fs::is_regular_file(*full, ec)) {
    why = "not a template (.pw3)";
    return std::nullopt;
  }
  return full;
}

PreviewRenderer::Entry& PreviewRenderer::EntryFor(const std::string& relative) {
  auto& e = FEntries[relative];
  if (!e) e = std::make_unique<Entry>();
  e->lastUsed = ++FUseTick;
  return *e;
}

PreviewRenderer::Entry& PreviewRenderer::Rendered(const std::string& relative, const std::string& absolute) {
  Entry* entry = nullptr;
  uint64_t target = 0;
  Upload upload;
  {
    std::lock_guard<std::mutex> lock(FState);
    entry = &EntryFor(relative);
    if (entry->Clean()) return *entry;
    target = entry->changes;
    upload = entry->upload;
  }
  RenderEntry(*entry, relative, absolute, upload, target);
  return *entry;
}

void PreviewRenderer::RenderEntry(Entry& e, const std::string& relative, const std::string& absolute,
                                  const Upload& upload, uint64_t target) {
  const auto start = std::chrono::steady_clock::now();
  auto job = std::make_unique<Job>();
  RenderOptions& o = job->options;
  o.templatePath = absolute;
  o.command = "serve";
  o.quiet = true;
  o.scripts = FSettings.scripts;
  o.allowedFolders = FSettings.allowedFolders;
  o.unboundAsDeclared = true;
  job->run = std::make_unique<RenderRun>(o, job->out, job->err);
  PreviewState next;
  next.generation = FNextGeneration++;  // counted under FEngine
  std::string failure;
  std::vector<std::string> unbound;
  try {
    RenderRun& run = *job->run;
    run.LoadTemplate();
    // One set of --data serves every template: each takes the bindings of the data sets it uses.
    const std::vector<std::string> used = run.DataSetNamesOfBands();
    auto uses = [&](const std::string& name) {
      return std::any_of(used.begin(), used.end(),
                         [&](const std::string& u) { return Lower(u) == Lower(name); });
    };
    std::vector<std::string> described;
    if (!upload.path.empty()) {
      if (!upload.dataSet.empty() && !uses(upload.dataSet))
        throw RunError{upload.name + ": the template has no data set " + upload.dataSet};
      if (upload.dataSet.empty() && used.size() != 1)
        throw RunError{upload.name + ": the template's data bands use " + std::to_string(used.size()) +
                       " data sets; name the one for the dropped file"};
      DataBinding b;
      b.name = upload.dataSet;
      b.source = upload.path;
      o.bindings.push_back(b);
      described.push_back((b.name.empty() ? used.front() : b.name) + " = " + upload.name + " (dropped)");
    }
    for (const DataBinding& b : FSettings.bindings) {
      const std::string name = b.name.empty() ? (used.size() == 1 ? used.front() : std::string()) : b.name;
      if (name.empty() || !uses(name)) continue;
      if (std::any_of(o.bindings.begin(), o.bindings.end(), [&](const DataBinding& have) {
            return Lower(have.name.empty() ? used.front() : have.name) == Lower(name);
          }))
        continue;
      DataBinding copy = b;
      copy.name = name;
      o.bindings.push_back(copy);
      described.push_back(name + " = " + b.source);
    }
    for (const std::string& n : used)
      if (std::none_of(o.bindings.begin(), o.bindings.end(), [&](const DataBinding& b) {
            return Lower(b.name.empty() ? used.front() : b.name) == Lower(n);
          })) {
        described.push_back(n + ": the template's own (no data bound)");
        unbound.push_back(n);
      }
    for (const std::string& d : described) next.data += (next.data.empty() ? "" : "; ") + d;
    run.BindData();
    run.SetParams();
    run.LoadData();
    bool prepared = false;
    const bool stopped = RunWithTimeLimit(run.Report(), FSettings.timeLimit, [&] {
      run.Prepare("");
      prepared = true;
    });
    if (stopped)
      failure = "the render was stopped after " + Seconds(FSettings.timeLimit) +
                " s (a loop in the template or too many pages?)";
    else if (prepared)
      FillPages(*job, next);
  } catch (const RunError& err) {
    failure = err.message;
  } catch (const UsageError& err) {
    failure = err.message;
  } catch (const Exception& err) {
    failure = std::string(err.ClassName()) + ": " + err.Message();
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
  }
  // Every line the job printed, then the failure itself.
  std::istringstream lines(job->err.str());
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) next.messages.push_back(ParsePreviewMessage(line, absolute, relative));
  if (!failure.empty()) {
    const std::string hint = " (--keep-going treats them as warnings)";
    if (failure.size() > hint.size() && failure.compare(failure.size() - hint.size(), hint.size(), hint) == 0)
      failure.resize(failure.size() - hint.size());
    next.messages.push_back(ParsePreviewMessage(failure, absolute, relative));
    for (const std::string& n : unbound) {
      PreviewMessage note;
      note.severity = "note";
      note.message = note.text = n + " is not bound to data: start serve with --data " + n +
                                 "=SOURCE, or drop a CSV or JSON file onto the page";
      next.messages.push_back(note);
    }
  }
  next.renderMilliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  next.ok = failure.empty();
  std::vector<std::unique_ptr<Job>> released;  // destroyed after the lock below
  std::lock_guard<std::mutex> lock(FState);
  if (next.ok) {
    released.push_back(std::move(e.good));
    e.good = std::move(job);
    e.images.clear();
    // Each kept render holds a prepared report: beyond a few, the least recently shown one is
    // let go (and made again when it is asked for).
    for (;;) {
      Entry* oldest = nullptr;
      size_t kept = 0;
      for (auto& [name, other] : FEntries) {
        if (!other->good) continue;
        ++kept;
        if (other.get() != &e && (!oldest || other->lastUsed < oldest->lastUsed)) oldest = other.get();
      }
      if (kept <= kMaxKeptRenders || !oldest) break;
      released.push_back(std::move(oldest->good));
      oldest->images.clear();
      ++oldest->changes;
    }
  } else {
    // The last good pages stay, shown as out of date.
    next.pages = e.state.ok || e.state.stale ? e.state.pages : std::vector<PreviewPage>();
    next.stale = e.good != nullptr;
    if (!e.good) next.pages.clear();
  }
  e.state = std::move(next);
  e.rendered = target;
}

void PreviewRenderer::FillPages(Job& job, PreviewState& state) {
  TpgwCustomPreviewPages* store = job.run->Report().PreviewPages();
  if (!store) return;
  const int count = store->GetCount();
  for (int i = 0; i < count; ++i) {
    PreviewPage page;
    store->GetPageSize(i, page.width, page.height);
    if (i < kMaxBarcodePages && page.width > 0 && page.height > 0) {
      if (TpgwReportPage* p = store->GetPage(i)) {
        p->SetMarginOffset(i);
        for (TpgwComponent* band : p->Objects().Snapshot()) {
          for (TpgwComponent* obj : band->Objects().Snapshot()) {
            WideString text;
            if (auto* b = dynamic_cast<TpgwBarCodeView*>(obj))
              text = b->Text();
            else if (auto* b2 = dynamic_cast<TpgwBarcode2DView*>(obj))
              text = b2->Text();
            else
              continue;
            auto* view = static_cast<TpgwView*>(obj);
            PreviewBarcode bc;
            bc.left = static_cast<double>(view->AbsLeft()) / page.width;
            bc.top = static_cast<double>(view->AbsTop()) / page.height;
            bc.width = static_cast<double>(view->Width()) / page.width;
            bc.height = static_cast<double>(view->Height()) / page.height;
            bc.name = Utf16ToUtf8(obj->Name());
            bc.kind = BarTypeName(*obj);
            bc.text = Utf16ToUtf8(text);
            page.barcodes.push_back(std::move(bc));
          }
        }
      }
      if (auto* pages = dynamic_cast<TpgwPreviewPages*>(store)) pages->ClearPageCache();
    }
    state.pages.push_back(std::move(page));
  }
}

std::string PreviewRenderer::StateToJson(const Entry& e, const std::string& relative) const {
  const PreviewState& s = e.state;
  std::ostringstream j;
  j << "{\"template\":" << JsonQuote(relative) << ",\"generation\":" << s.generation
    << ",\"ok\":" << (s.ok ? "true" : "false") << ",\"stale\":" << (s.stale ? "true" : "false")
    << ",\"data\":" << JsonQuote(s.data) << ",\"uploaded\":" << JsonQuote(e.upload.name)
    << ",\"renderMs\":" << static_cast<int64_t>(s.renderMilliseconds) << ",\"pages\":[";
  for (size_t i = 0; i < s.pages.size(); ++i) {
    const PreviewPage& p = s.pages[i];
    j << (i ? "," : "") << "{\"width\":" << p.width << ",\"height\":" << p.height << ",\"barcodes\":[";
    for (size_t k = 0; k < p.barcodes.size(); ++k) {
      const PreviewBarcode& b = p.barcodes[k];
      j << (k ? "," : "") << "{\"left\":" << b.left << ",\"top\":" << b.top << ",\"width\":" << b.width
        << ",\"height\":" << b.height << ",\"name\":" << JsonQuote(b.name)
        << ",\"kind\":" << JsonQuote(b.kind) << ",\"text\":" << JsonQuote(b.text) << "}";
    }
    j << "]}";
  }
  j << "],\"messages\":[";
  for (size_t i = 0; i < s.messages.size(); ++i) {
    const PreviewMessage& m = s.messages[i];
    j << (i ? "," : "") << "{\"severity\":" << JsonQuote(m.severity) << ",\"text\":" << JsonQuote(m.text)
      << ",\"line\":" << m.line << ",\"element\":" << JsonQuote(m.element)
      << ",\"attribute\":" << JsonQuote(m.attribute) << ",\"message\":" << JsonQuote(m.message) << "}";
  }
  j << "]}";
  return j.str();
}

PreviewResult PreviewRenderer::StateJson(const std::string& relative) {
  std::string why;
  const auto full = Resolve(relative, why);
  if (!full) return {why == "no such file" ? 404 : 403, {}, relative + ": " + why};
  {
    // What is known needs no wait for a render of another template.
    std::lock_guard<std::mutex> lock(FState);
    if (auto it = FEntries.find(relative); it != FEntries.end() && it->second->Clean()) {
      it->second->lastUsed = ++FUseTick;
      return {200, StateToJson(*it->second, relative), {}};
    }
  }
  std::lock_guard<std::mutex> engine(FEngine);
  Entry& e = Rendered(relative, *full);
  std::lock_guard<std::mutex> lock(FState);
  return {200, StateToJson(e, relative), {}};
}

PreviewResult PreviewRenderer::PagePng(const std::string& relative, int number, int dpi) {
  std::string why;
  const auto full = Resolve(relative, why);
  if (!full) return {why == "no such file" ? 404 : 403, {}, relative + ": " + why};
  const auto key = std::make_pair(number, dpi);
  {
    std::lock_guard<std::mutex> lock(FState);
    if (auto it = FEntries.find(relative); it != FEntries.end() && it->second->Clean())
      if (auto image = it->second->images.find(key); image != it->second->images.end()) {
        it->second->lastUsed = ++FUseTick;
        return {200, image->second, {}};
      }
  }
  std::lock_guard<std::mutex> engine(FEngine);
  Entry& e = Rendered(relative, *full);
  {
    std::lock_guard<std::mutex> lock(FState);
    if (!e.good) return {409, {}, relative + ": the template has no pages to show (see its errors)"};
    const int count = static_cast<int>(e.state.pages.size());
    if (number < 1 || number > count)
      return {404,
              {},
              relative + ": there is no page " + std::to_string(number) +
                  " (pages: " + std::to_string(count) + ")"};
    if (auto it = e.images.find(key); it != e.images.end()) return {200, it->second, {}};
  }
  // The kept render changes only under FEngine, which this thread holds.
  Job& job = *e.good;
  job.options.dpi = dpi;
  job.err.str({});
  std::string failure;
  try {
    const bool stopped = RunWithTimeLimit(job.run->Report(), FSettings.timeLimit,
                                          [&] { job.run->WriteOne(okPNG, "-", std::to_string(number)); });
    if (stopped) failure = "drawing the page was stopped after " + Seconds(FSettings.timeLimit) + " s";
  } catch (const RunError& err) {
    failure = err.message;
  } catch (const Exception& err) {
    failure = std::string(err.ClassName()) + ": " + err.Message();
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
  }
  std::string png = job.run->TakeStandardOutput();
  if (!failure.empty() || png.empty()) {
    std::string detail = job.err.str();
    for (char& c : detail)
      if (c == '\n') c = ' ';
    return {500, {}, relative + ": page " + std::to_string(number) + ": " + failure + " " + detail};
  }
  std::lock_guard<std::mutex> lock(FState);
  if (e.images.size() >= kMaxCachedImages) e.images.erase(e.images.begin());
  e.images[key] = png;
  return {200, std::move(png), {}};
}

PreviewResult PreviewRenderer::Pdf(const std::string& relative) {
  std::string why;
  const auto full = Resolve(relative, why);
  if (!full) return {why == "no such file" ? 404 : 403, {}, relative + ": " + why};
  std::lock_guard<std::mutex> engine(FEngine);
  Entry& e = Rendered(relative, *full);
  {
    std::lock_guard<std::mutex> lock(FState);
    if (!e.good) return {409, {}, relative + ": the template has no pages to write (see its errors)"};
  }
  Job& job = *e.good;
  job.err.str({});
  std::string failure;
  try {
    const bool stopped =
        RunWithTimeLimit(job.run->Report(), FSettings.timeLimit, [&] { job.run->WriteOne(okPDF, "-", ""); });
    if (stopped) failure = "writing the PDF was stopped after " + Seconds(FSettings.timeLimit) + " s";
  } catch (const RunError& err) {
    failure = err.message;
  } catch (const Exception& err) {
    failure = std::string(err.ClassName()) + ": " + err.Message();
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
  }
  std::string pdf = job.run->TakeStandardOutput();
  if (!failure.empty() || pdf.empty()) return {500, {}, relative + ": the PDF: " + failure};
  return {200, std::move(pdf), {}};
}

PreviewResult PreviewRenderer::SetUploadedData(const std::string& relative, const std::string& fileName,
                                               const std::string& dataSet, const std::string& bytes) {
  std::string why;
  const auto full = Resolve(relative, why);
  if (!full) return {why == "no such file" ? 404 : 403, {}, relative + ": " + why};
  if (bytes.size() > FSettings.maxUpload)
    return {
        413, {}, fileName + ": the file is larger than " + std::to_string(FSettings.maxUpload) + " bytes"};
  const std::string ext = Lower(fs::path(fileName).extension().string());
  if (ext != ".csv" && ext != ".json" && ext != ".jsonl")
    return {415, {}, fileName + ": only CSV (.csv) and JSON (.json, .jsonl) files can be dropped"};
  if (!dataSet.empty() && !IsIdentifier(dataSet))
    return {400, {}, "\"" + dataSet + "\" is not a data set name"};
  std::lock_guard<std::mutex> lock(FState);
  try {
    if (!FScratch) FScratch = std::make_unique<TScratchFolder>();
    // Our own name in our own folder: the dropped name is only shown.
    const std::string path = FScratch->Path() + "/upload-" + std::to_string(++FUploads) + ext;
    WriteFileSafely(path, bytes);
    Entry& e = EntryFor(relative);
    std::error_code ec;
    if (!e.upload.path.empty()) fs::remove(e.upload.path, ec);
    e.upload.path = path;
    std::string shown = fs::path(fileName).filename().string();
    if (shown.size() > 200) shown.resize(200);
    e.upload.name = shown;
    e.upload.dataSet = dataSet;
    ++e.changes;
  } catch (const Exception& err) {
    return {500, {}, "the dropped file could not be kept: " + err.Message()};
  }
  return {200, "{\"ok\":true}", {}};
}

PreviewResult PreviewRenderer::ClearUploadedData(const std::string& relative) {
  std::string why;
  const auto full = Resolve(relative, why);
  if (!full) return {why == "no such file" ? 404 : 403, {}, relative + ": " + why};
  std::lock_guard<std::mutex> lock(FState);
  Entry& e = EntryFor(relative);
  std::error_code ec;
  if (!e.upload.path.empty()) fs::remove(e.upload.path, ec);
  e.upload.path.clear();
  e.upload.name.clear();
  e.upload.dataSet.clear();
  ++e.changes;
  return {200, "{\"ok\":true}", {}};
}

PreviewRenderer::Change PreviewRenderer::FilesChanged(const std::vector<std::string>& absolutePaths) {
  Change change;
  std::lock_guard<std::mutex> lock(FState);
  for (const std::string& path : absolutePaths) {
    const bool data = std::find(FDataFiles.begin(), FDataFiles.end(), path) != FDataFiles.end();
    if (!data && !IsInside(FRoot, path)) continue;
    if (!data && HasTemplateExtension(path)) {
      const std::string relative = fs::path(path).lexically_relative(FRoot).generic_string();
      if (!FSingleFile.empty() && relative != FSingleFile) continue;
      if (std::find(change.templates.begin(), change.templates.end(), relative) == change.templates.end())
        change.templates.push_back(relative);
      if (auto it = FEntries.find(relative); it != FEntries.end()) ++it->second->changes;
      continue;
    }
    // A data file, a picture or a parent report: any template may use it.
    change.all = true;
  }
  if (change.all)
    for (auto& [name, e] : FEntries) ++e->changes;
  return change;
}

std::vector<std::string> PreviewRenderer::WatchedFolders() const {
  std::vector<std::string> folders{FRoot};
  for (const std::string& f : FDataFiles) {
    const std::string folder = fs::path(f).parent_path().string();
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
  }
  return folders;
}

}  // namespace pagewright::cli
