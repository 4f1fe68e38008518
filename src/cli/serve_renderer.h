// The renderer behind `pagewright serve`: the templates under the served path, each prepared on
// demand with the render command's job and kept until a file it depends on changes; page images,
// the PDF and the barcodes' decoded texts come from the kept prepared report.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/render_job.h"

namespace pagewright::cli {

struct ServeSettings {
  std::string path;  // a template or a folder of templates
  std::vector<DataBinding> bindings;
  std::vector<std::string> allowedFolders;
  bool scripts = false;
  std::chrono::milliseconds timeLimit{10000};
  size_t maxUpload = 4 << 20;
};

// A problem of the report, split into the places the engine's messages name.
struct PreviewMessage {
  std::string severity;  // "error", "warning" or "note"
  std::string text;      // the whole line, for reading
  int line = 0;          // 0: not known
  std::string element;   // e.g. <TpgwMemoView Name="Memo3">
  std::string attribute;
  std::string message;  // what is left after the places
};

// A barcode on a prepared page: its box as fractions of the page and the data it encodes.
struct PreviewBarcode {
  double left = 0, top = 0, width = 0, height = 0;
  std::string name, kind, text;
};

struct PreviewPage {
  int width = 0, height = 0;  // pixels at 96 dpi
  std::vector<PreviewBarcode> barcodes;
};

// What a template shows now: the pages of the last good render and the messages of the last one.
struct PreviewState {
  uint64_t generation = 0;  // changes with every render
  bool ok = false;          // the last render succeeded
  bool stale = false;       // the pages are those of an earlier, good render
  std::vector<PreviewPage> pages;
  std::vector<PreviewMessage> messages;
  std::string data;  // what the data sets are bound to, for the page's header
  double renderMilliseconds = 0;
};

// The answer to a request: bytes, or an HTTP status with a message.
struct PreviewResult {
  int status = 200;
  std::string body;
  std::string error;
};

// A JSON string literal of UTF-8 text (invalid bytes become U+FFFD).
std::string JsonQuote(const std::string& text);

// Splits one message line of a render ("file: line 4: <TpgwMemoView Name="M1">: Font.Size: ...").
PreviewMessage ParsePreviewMessage(const std::string& line, const std::string& templatePath,
                                   const std::string& shownName);
// A relative path of the served folder, or nothing (with the reason) when it is outside of it.
std::optional<std::string> ResolveServedPath(const std::string& root, const std::string& relative,
                                             std::string& why);

class PreviewRenderer {
 public:
  explicit PreviewRenderer(ServeSettings settings);
  ~PreviewRenderer();
  PreviewRenderer(const PreviewRenderer&) = delete;
  PreviewRenderer& operator=(const PreviewRenderer&) = delete;

  // Ends a render or export in progress (the server is stopping); later ones end at once.
  static void StopRenders();

  // The folder whose files may be read (the template's own folder when a file is served).
  const std::string& Root() const { return FRoot; }
  // The templates under the path, relative to Root, sorted.
  std::vector<std::string> Templates() const;
  // Resolves a template name of a request; nothing, with the reason, when it is not served.
  std::optional<std::string> Resolve(const std::string& relative, std::string& why) const;

  // The template's state, rendering it first when something changed. Fails (status 403/404)
  // only for a name that is not a served template.
  PreviewResult StateJson(const std::string& relative);
  // Page `number` (1-based) as PNG at `dpi`; the PDF of all pages.
  PreviewResult PagePng(const std::string& relative, int number, int dpi);
  PreviewResult Pdf(const std::string& relative);
  // Data dropped onto the page, bound to `dataSet` (empty: the template's one data set) in
  // place of --data until cleared. The bytes go to a file in the renderer's scratch folder.
  PreviewResult SetUploadedData(const std::string& relative, const std::string& fileName,
                                const std::string& dataSet, const std::string& bytes);
  PreviewResult ClearUploadedData(const std::string& relative);

  // Files changed on disk: the templates to render again (relative names), and whether every
  // template is affected (a data file, a picture or a template added or removed).
  struct Change {
    std::vector<std::string> templates;
    bool all = false;
  };
  Change FilesChanged(const std::vector<std::string>& absolutePaths);
  // The folders to watch: Root and the folders of the --data files.
  std::vector<std::string> WatchedFolders() const;

 private:
  struct Job;
  struct Entry;
  struct Upload {
    std::string path, name, dataSet;  // the file in the scratch folder, its shown name, its data set
  };
  Entry& EntryFor(const std::string& relative);  // under FState
  // The entry with a render of its latest change (under FEngine, not FState).
  Entry& Rendered(const std::string& relative, const std::string& absolute);
  void RenderEntry(Entry& e, const std::string& relative, const std::string& absolute, const Upload& upload,
                   uint64_t target);
  void FillPages(Job& job, PreviewState& state);
  std::string StateToJson(const Entry& e, const std::string& relative) const;

  ServeSettings FSettings;
  std::string FRoot;                    // canonical
  std::string FSingleFile;              // the one template's name when a file is served
  std::vector<std::string> FDataFiles;  // canonical paths of --data files
  // The text layout and the engine's process-wide tables are not for two threads at once:
  // every render and export, and every use of a kept render, waits for FEngine. FState guards
  // the entries and is held only briefly, so cached answers need not wait for a render; when
  // both are taken, FEngine comes first.
  std::mutex FEngine;
  mutable std::mutex FState;
  std::map<std::string, std::unique_ptr<Entry>> FEntries;
  uint64_t FNextGeneration = 1;
  uint64_t FUploads = 0;
  uint64_t FUseTick = 0;
  std::unique_ptr<TScratchFolder> FScratch;
};

}  // namespace pagewright::cli
