#include "cli/serve_command.h"

#include <pthread.h>
#include <signal.h>

#include <httplib.h>

#include <atomic>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include "cli/serve_assets.h"
#include "cli/serve_renderer.h"
#include "cli/serve_watch.h"
#include "platform/exceptions.h"

namespace pagewright::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kArguments = "[--bind ADDR] [--port N] PATH [--data NAME=SOURCE]... [--scripts]";
constexpr int kDefaultPort = 8035;
// Worker threads of the server: each open page holds one for its change events.
constexpr int kThreads = 32;
constexpr int kMaxEventClients = 24;
constexpr int kKeepAliveSeconds = 15;

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright serve [--bind ADDR] [--port N] PATH [--data NAME=SOURCE]... [--scripts]\n"
     << "Shows the templates under PATH (a template or a folder of templates) in the browser:\n"
     << "their prepared pages as images, with their errors and warnings, rendered again when a\n"
     << "template or a bound data file changes on disk.\n"
     << "\n"
     << "  --bind ADDR            the address to listen on (default 127.0.0.1, this machine only)\n"
     << "  --port N               the port (default " << kDefaultPort << "; 0 picks a free one)\n"
     << "  --data NAME=SOURCE     bind the data set NAME, in every template that uses it, to a\n"
     << "                         CSV, JSON, sqlite: or postgresql:// source as `render` reads it;\n"
     << "                         --data SOURCE binds the one data set of templates that have one\n"
     << "                         (--query, --csv-delimiter and --column follow their --data).\n"
     << "                         Data sets left unbound show the template's own empty case; a\n"
     << "                         CSV or JSON file dropped onto the page binds it for that template\n"
     << "  --scripts              run the templates' scripts and event procedures\n"
     << "  --allow-path DIR       files the templates name may also come from DIR\n"
     << "  --time-limit SECONDS   stop a render that takes longer (default 10)\n"
     << "  --max-upload MB        the largest data file that can be dropped (default 4)\n"
     << "  --help                 this text\n"
     << "\n"
     << "Only files under PATH are served, and only to requests that name this server by its\n"
     << "address or as localhost. Ctrl-C stops the server.\n";
}

struct ServeOptions {
  ServeSettings settings;
  std::string bind = "127.0.0.1";
  int port = kDefaultPort;
};

int WholeNumber(const std::string& option, const std::string& v, int low, int high) {
  int n = 0;
  const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
  if (r.ec != std::errc() || r.ptr != v.data() + v.size() || n < low || n > high)
    throw UsageError{option + " wants a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + v + "'"};
  return n;
}

ServeOptions ParseOptions(const std::vector<std::string>& args, bool& help) {
  ServeOptions o;
  SourceSettings defaults;
  help = false;
  auto settings = [&]() -> SourceSettings& {
    return o.settings.bindings.empty() ? defaults : o.settings.bindings.back().settings;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    std::string inlineValue;
    bool hasInline = false;
    if (a.rfind("--", 0) == 0) {
      if (const size_t eq = a.find('='); eq != std::string::npos) {
        inlineValue = a.substr(eq + 1);
        a.resize(eq);
        hasInline = true;
      }
    }
    auto value = [&]() -> std::string {
      if (hasInline) return inlineValue;
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      help = true;
      return o;
    } else if (a == "--bind") {
      o.bind = value();
      if (o.bind.empty()) throw UsageError{"--bind needs an address"};
    } else if (a == "--port") {
      o.port = WholeNumber(a, value(), 0, 65535);
    } else if (a == "--data") {
      DataBinding b;
      b.settings = defaults;
      const std::string v = value();
      const size_t eq = v.find('=');
      if (eq != std::string::npos && IsIdentifier(std::string_view(v).substr(0, eq))) {
        b.name = v.substr(0, eq);
        b.source = v.substr(eq + 1);
      } else {
        b.source = v;
      }
      if (b.source.empty()) throw UsageError{"--data " + v + ": no source given"};
      for (const DataBinding& other : o.settings.bindings)
        if (Lower(other.name) == Lower(b.name))
          throw UsageError{"--data " + (b.name.empty() ? b.source : b.name) +
                           ": that data set is given twice"};
      o.settings.bindings.push_back(std::move(b));
    } else if (a == "--query") {
      settings().options.query = value();
    } else if (a == "--csv-delimiter") {
      ApplyCsvDelimiter(value(), settings());
    } else if (a == "--column") {
      ApplyColumnType(value(), settings());
    } else if (a == "--scripts") {
      o.settings.scripts = true;
    } else if (a == "--allow-path") {
      const std::string v = value();
      std::error_code ec;
      if (v.empty() || !fs::is_directory(v, ec)) throw UsageError{"--allow-path " + v + ": not a folder"};
      o.settings.allowedFolders.push_back(v);
    } else if (a == "--time-limit") {
      o.settings.timeLimit = std::chrono::seconds(WholeNumber(a, value(), 1, 3600));
    } else if (a == "--max-upload") {
      o.settings.maxUpload = static_cast<size_t>(WholeNumber(a, value(), 1, 512)) << 20;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option '" + args[i] + "'"};
    } else {
      if (!o.settings.path.empty()) throw UsageError{"only one PATH can be served ('" + a + "' is a second)"};
      o.settings.path = a;
    }
  }
  if (o.settings.path.empty()) throw UsageError{"no PATH given (a template or a folder of templates)"};
  return o;
}

// Change events for the open pages: a sequence of JSON texts that every listener reads from
// where it last was.
class EventHub {
 public:
  uint64_t Sequence() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FSequence;
  }
  void Publish(std::string data) {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FEvents.emplace_back(++FSequence, std::move(data));
      while (FEvents.size() > 64) FEvents.pop_front();
    }
    FChanged.notify_all();
  }
  // Waits up to `timeout` for events after `seen`; false once the hub is stopped.
  bool Wait(uint64_t& seen, std::vector<std::string>& events, std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> lock(FMutex);
    FChanged.wait_for(lock, timeout, [&] { return FStopped || FSequence > seen; });
    if (FStopped) return false;
    for (const auto& [n, data] : FEvents)
      if (n > seen) events.push_back(data);
    seen = FSequence;
    return true;
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FStopped = true;
    }
    FChanged.notify_all();
  }
  // Listener slots: each listener holds a server thread while its page is open.
  bool Enter() { return ++FListeners <= kMaxEventClients || (--FListeners, false); }
  void Leave() { --FListeners; }

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<std::pair<uint64_t, std::string>> FEvents;
  uint64_t FSequence = 0;
  bool FStopped = false;
  std::atomic<int> FListeners{0};
};

void SendError(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content("{\"error\":" + JsonQuote(message) + "}", "application/json");
}

void Send(httplib::Response& res, const PreviewResult& r, const char* contentType) {
  if (r.status != 200) {
    SendError(res, r.status, r.error);
    return;
  }
  res.set_content(r.body, contentType);
}

int IntParam(const httplib::Request& req, const char* name, int fallback, int low, int high) {
  if (!req.has_param(name)) return fallback;
  const std::string v = req.get_param_value(name);
  int n = 0;
  const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
  if (r.ec != std::errc() || r.ptr != v.data() + v.size()) return fallback;
  return std::clamp(n, low, high);
}

// A file name for a download: the template's name without folders, quotes or control bytes.
std::string DownloadName(const std::string& relative, const std::string& suffix) {
  std::string stem = fs::path(relative).stem().string();
  for (char& c : stem)
    if (c == '"' || c == '\\' || c == ';' || static_cast<unsigned char>(c) < 0x20) c = '_';
  return "attachment; filename=\"" + (stem.empty() ? std::string("report") : stem) + suffix + "\"";
}

std::string HostForUrl(const std::string& address) {
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

bool IsLoopback(const std::string& address) {
  return address == "127.0.0.1" || address == "::1" || address == "localhost" ||
         address.rfind("127.", 0) == 0;
}

class Server {
 public:
  Server(const ServeOptions& options, std::ostream& err)
      : FOptions(options), FErr(err), FRenderer(options.settings) {}
  int Run();

 private:
  void Routes();
  bool HostAllowed(const httplib::Request& req) const;

  const ServeOptions& FOptions;
  std::ostream& FErr;
  PreviewRenderer FRenderer;
  EventHub FEvents;
  httplib::Server FHttp;
  int FPort = 0;
};

// The names this server answers to: a page of another site that points a name of its own at
// 127.0.0.1 gets nothing.
bool Server::HostAllowed(const httplib::Request& req) const {
  std::string host = req.get_header_value("Host");
  if (host.empty()) return true;
  const std::string port = ":" + std::to_string(FPort);
  if (host.size() > port.size() && host.compare(host.size() - port.size(), port.size(), port) == 0)
    host.resize(host.size() - port.size());
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host == "localhost" || host == "127.0.0.1" || host == "::1" || host == FOptions.bind) return true;
  // Bound to every address: any address of this machine, but not a name.
  if (FOptions.bind == "0.0.0.0" || FOptions.bind == "::")
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
      return (c >= '0' && c <= '9') || c == '.' || c == ':' || (c >= 'a' && c <= 'f') ||
             (c >= 'A' && c <= 'F');
    });
  return false;
}

void Server::Routes() {
  FHttp.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; img-src 'self'; style-src 'self'; script-src 'self'; "
                   "connect-src 'self'; frame-ancestors 'none'");
    res.set_header("Referrer-Policy", "no-referrer");
    if (!HostAllowed(req)) {
      SendError(res, 403, "this server answers only to its own address");
      return httplib::Server::HandlerResponse::Handled;
    }
    // Changes come only from our own page's script, which sends this header; a form or a page of
    // another site cannot send it without asking first, and the server never allows it.
    if (req.method != "GET" && req.method != "HEAD" && req.get_header_value("X-Pagewright") != "1") {
      SendError(res, 403, "a change needs the header X-Pagewright: 1");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  const auto page = [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_content(kServeIndexHtml, "text/html; charset=utf-8");
  };
  FHttp.Get("/", page);
  FHttp.Get("/view", page);
  FHttp.Get("/app.css", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kServeStyleCss, "text/css; charset=utf-8");
  });
  FHttp.Get("/app.js", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kServeScriptJs, "text/javascript; charset=utf-8");
  });
  FHttp.Get("/api/templates", [this](const httplib::Request&, httplib::Response& res) {
    std::string json = "{\"root\":" + JsonQuote(FRenderer.Root()) + ",\"templates\":[";
    bool first = true;
    for (const std::string& t : FRenderer.Templates()) {
      json += (first ? "" : ",") + JsonQuote(t);
      first = false;
    }
    res.set_header("Cache-Control", "no-store");
    res.set_content(json + "]}", "application/json");
  });
  FHttp.Get("/api/report", [this](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    Send(res, FRenderer.StateJson(req.get_param_value("t")), "application/json");
  });
  FHttp.Get("/api/page", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string t = req.get_param_value("t");
    const int n = IntParam(req, "n", 1, 0, 1 << 30);
    const int dpi = IntParam(req, "dpi", 96, 24, 600);
    const PreviewResult r = FRenderer.PagePng(t, n, dpi);
    if (r.status == 200 && req.has_param("download"))
      res.set_header("Content-Disposition", DownloadName(t, "-page-" + std::to_string(n) + ".png"));
    // The URL names the render's generation, so an image never changes under its URL.
    if (r.status == 200 && req.has_param("g")) res.set_header("Cache-Control", "private, max-age=3600");
    Send(res, r, "image/png");
  });
  FHttp.Get("/api/pdf", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string t = req.get_param_value("t");
    const PreviewResult r = FRenderer.Pdf(t);
    if (r.status == 200) res.set_header("Content-Disposition", DownloadName(t, ".pdf"));
    res.set_header("Cache-Control", "no-store");
    Send(res, r, "application/pdf");
  });
  FHttp.Post("/api/data", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string t = req.get_param_value("t");
    const PreviewResult r =
        FRenderer.SetUploadedData(t, req.get_param_value("name"), req.get_param_value("set"), req.body);
    Send(res, r, "application/json");
    if (r.status == 200) FEvents.Publish("{\"templates\":[" + JsonQuote(t) + "],\"all\":false}");
  });
  FHttp.Delete("/api/data", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string t = req.get_param_value("t");
    const PreviewResult r = FRenderer.ClearUploadedData(t);
    Send(res, r, "application/json");
    if (r.status == 200) FEvents.Publish("{\"templates\":[" + JsonQuote(t) + "],\"all\":false}");
  });
  FHttp.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
    if (!FEvents.Enter()) {
      SendError(res, 503, "too many pages are open");
      return;
    }
    res.set_header("Cache-Control", "no-store");
    const uint64_t start = FEvents.Sequence();
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, seen = start, hello = true](size_t, httplib::DataSink& sink) mutable {
          if (hello) {
            hello = false;
            const std::string open = "retry: 1000\n: connected\n\n";
            return sink.write(open.data(), open.size());
          }
          std::vector<std::string> events;
          if (!FEvents.Wait(seen, events, std::chrono::seconds(kKeepAliveSeconds))) {
            sink.done();
            return true;
          }
          // A comment when nothing happened: it finds pages that were closed.
          std::string text = events.empty() ? ": idle\n\n" : std::string();
          for (const std::string& e : events) text += "event: change\ndata: " + e + "\n\n";
          return sink.write(text.data(), text.size());
        },
        [this](bool) { FEvents.Leave(); });
  });
}

std::atomic<bool> gStopping{false};

int Server::Run() {
  std::error_code ec;
  if (!fs::exists(FOptions.settings.path, ec)) {
    FErr << "pagewright serve: " << FOptions.settings.path << ": no such file or folder\n";
    return kExitFailure;
  }
  if (!fs::is_directory(FOptions.settings.path, ec) &&
      Lower(fs::path(FOptions.settings.path).extension().string()) != ".pw3") {
    FErr << "pagewright serve: " << FOptions.settings.path << ": not a template (.pw3) or a folder\n";
    return kExitFailure;
  }
  // Signals are taken by one thread of ours, so that none lands in a render or a server thread.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Routes();
  FHttp.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
  FHttp.set_payload_max_length(FOptions.settings.maxUpload + 4096);
  FHttp.set_read_timeout(10);
  FHttp.set_write_timeout(30);
  FHttp.set_keep_alive_timeout(5);
  // Headers and body go out in separate writes; without this each small answer waits for the
  // client's delayed acknowledgement (some 40 ms).
  FHttp.set_tcp_nodelay(true);
  if (FOptions.port == 0) {
    FPort = FHttp.bind_to_any_port(FOptions.bind);
  } else {
    FPort = FHttp.bind_to_port(FOptions.bind, FOptions.port) ? FOptions.port : -1;
  }
  if (FPort <= 0) {
    FErr << "pagewright serve: cannot listen on " << HostForUrl(FOptions.bind) << ":" << FOptions.port
         << " (the port is in use or the address is not one of this machine's)\n";
    return kExitFailure;
  }
  std::unique_ptr<FolderWatcher> watcher;
  try {
    watcher = std::make_unique<FolderWatcher>(
        FRenderer.WatchedFolders(), [this](const std::vector<std::string>& paths) {
          const PreviewRenderer::Change c = FRenderer.FilesChanged(paths);
          if (!c.all && c.templates.empty()) return;
          std::string json = "{\"templates\":[";
          for (size_t i = 0; i < c.templates.size(); ++i) json += (i ? "," : "") + JsonQuote(c.templates[i]);
          FEvents.Publish(json + "],\"all\":" + (c.all ? "true" : "false") + "}");
        });
  } catch (const Exception& e) {
    FErr << "pagewright serve: note: " << e.Message() << "; pages will not follow changes on disk\n";
  }
  std::atomic<bool> done{false};
  std::thread signalThread([&] {
    const timespec tick{0, 200 * 1000 * 1000};
    while (!done) {
      if (sigtimedwait(&signals, nullptr, &tick) > 0) {
        gStopping = true;
        PreviewRenderer::StopRenders();
        FEvents.Stop();
        FHttp.stop();
        return;
      }
    }
  });
  const size_t count = FRenderer.Templates().size();
  FErr << "pagewright serve: serving " << count << (count == 1 ? " template" : " templates") << " under "
       << FRenderer.Root() << " at http://" << HostForUrl(FOptions.bind) << ":" << FPort
       << "/ (Ctrl-C stops)\n";
  if (!IsLoopback(FOptions.bind))
    FErr << "pagewright serve: note: " << FOptions.bind << " is reachable from other machines\n";
  FErr.flush();
  const bool listened = FHttp.listen_after_bind();
  done = true;
  FEvents.Stop();
  signalThread.join();
  watcher.reset();
  if (!listened && !gStopping) {
    FErr << "pagewright serve: the server stopped unexpectedly\n";
    return kExitFailure;
  }
  FErr << "pagewright serve: stopped\n";
  return kExitOk;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ServeOptions options;
  try {
    bool help = false;
    options = ParseOptions(args, help);
    if (help) {
      PrintUsage(out);
      return kExitOk;
    }
  } catch (const UsageError& e) {
    err << "pagewright serve: " << e.message << "\nRun 'pagewright serve --help' for the options.\n";
    return kExitUsage;
  }
  try {
    Server server(options, err);
    return server.Run();
  } catch (const Exception& e) {
    err << "pagewright serve: " << e.ClassName() << ": " << e.Message() << "\n";
    return kExitFailure;
  }
}

}  // namespace

const CliCommand kServeCommand = {
    "serve", kArguments, "shows templates in the browser, rendered again when they change on disk", Run};

}  // namespace pagewright::cli
