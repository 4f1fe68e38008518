#include "platform/printing.h"

#include <cups/cups.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

namespace pagewright {

namespace {

// libcups and the libraries it brings (TLS, Kerberos, DNS-SD) are loaded when something is printed,
// not at the start of every command.
struct TLibCups {
  decltype(&::cupsDoIORequest) cupsDoIORequest = nullptr;
  decltype(&::cupsDoRequest) cupsDoRequest = nullptr;
  decltype(&::cupsEncryption) cupsEncryption = nullptr;
  decltype(&::cupsLastError) cupsLastError = nullptr;
  decltype(&::cupsLastErrorString) cupsLastErrorString = nullptr;
  decltype(&::cupsServer) cupsServer = nullptr;
  decltype(&::cupsSetServer) cupsSetServer = nullptr;
  decltype(&::cupsUser) cupsUser = nullptr;
  decltype(&::httpAssembleURI) httpAssembleURI = nullptr;
  decltype(&::httpClose) httpClose = nullptr;
  decltype(&::httpConnect2) httpConnect2 = nullptr;
  decltype(&::ippAddInteger) ippAddInteger = nullptr;
  decltype(&::ippAddString) ippAddString = nullptr;
  decltype(&::ippAddStrings) ippAddStrings = nullptr;
  decltype(&::ippDelete) ippDelete = nullptr;
  decltype(&::ippErrorString) ippErrorString = nullptr;
  decltype(&::ippFindAttribute) ippFindAttribute = nullptr;
  decltype(&::ippGetBoolean) ippGetBoolean = nullptr;
  decltype(&::ippGetCount) ippGetCount = nullptr;
  decltype(&::ippGetInteger) ippGetInteger = nullptr;
  decltype(&::ippGetResolution) ippGetResolution = nullptr;
  decltype(&::ippGetString) ippGetString = nullptr;
  decltype(&::ippNewRequest) ippNewRequest = nullptr;
  decltype(&::ippPort) ippPort = nullptr;
};

const TLibCups& Cups() {
  static TLibCups lib;
  static std::string failure;
  static std::once_flag once;
  std::call_once(once, [] {
    void* handle = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      failure = std::string("the CUPS client library cannot be loaded: ") + (why ? why : "libcups.so.2");
      return;
    }
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
      if (!slot && failure.empty()) failure = std::string("the CUPS client library lacks ") + name;
    };
    bind(lib.cupsDoIORequest, "cupsDoIORequest");
    bind(lib.cupsDoRequest, "cupsDoRequest");
    bind(lib.cupsEncryption, "cupsEncryption");
    bind(lib.cupsLastError, "cupsLastError");
    bind(lib.cupsLastErrorString, "cupsLastErrorString");
    bind(lib.cupsServer, "cupsServer");
    bind(lib.cupsSetServer, "cupsSetServer");
    bind(lib.cupsUser, "cupsUser");
    bind(lib.httpAssembleURI, "httpAssembleURI");
    bind(lib.httpClose, "httpClose");
    bind(lib.httpConnect2, "httpConnect2");
    bind(lib.ippAddInteger, "ippAddInteger");
    bind(lib.ippAddString, "ippAddString");
    bind(lib.ippAddStrings, "ippAddStrings");
    bind(lib.ippDelete, "ippDelete");
    bind(lib.ippErrorString, "ippErrorString");
    bind(lib.ippFindAttribute, "ippFindAttribute");
    bind(lib.ippGetBoolean, "ippGetBoolean");
    bind(lib.ippGetCount, "ippGetCount");
    bind(lib.ippGetInteger, "ippGetInteger");
    bind(lib.ippGetResolution, "ippGetResolution");
    bind(lib.ippGetString, "ippGetString");
    bind(lib.ippNewRequest, "ippNewRequest");
    bind(lib.ippPort, "ippPort");
  });
  if (!failure.empty()) throw EPrinter(failure);
  return lib;
}

struct THttpCloser {
  void operator()(http_t* http) const { Cups().httpClose(http); }
};
struct TIppDeleter {
  void operator()(ipp_t* ipp) const { Cups().ippDelete(ipp); }
};
using THttpPtr = std::unique_ptr<http_t, THttpCloser>;
using TIppPtr = std::unique_ptr<ipp_t, TIppDeleter>;

class TFileHandle {
 public:
  explicit TFileHandle(int fd) : FFd(fd) {}
  ~TFileHandle() {
    if (FFd >= 0) close(FFd);
  }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  int Get() const { return FFd; }

 private:
  int FFd;
};

// cupsd's own name for a queue without a driver.
constexpr const char* kRawQueueModel = "Local Raw Printer";
// The longest name IPP takes (job-name is a name(MAX) attribute).
constexpr size_t kMaxIppName = 255;

std::string Quoted(const std::string& s) {
  return "\"" + s + "\"";
}

// The reason libcups gives for the last failure, or the status's name when it gives none.
std::string LastCupsReason() {
  const char* text = Cups().cupsLastErrorString();
  if (text && *text) return text;
  return Cups().ippErrorString(Cups().cupsLastError());
}

// Queue names travel in the resource path: the characters CUPS refuses in a name (and anything that
// would leave /printers/<name>) are refused here with a clear message.
void CheckQueueName(const std::string& queue) {
  std::string problem;
  if (queue.empty()) {
    problem = "the name is empty";
  } else if (queue.size() > 127) {
    problem = "the name is longer than 127 bytes";
  } else {
    for (unsigned char c : queue) {
      if (c <= ' ' || c == 127 || c == '/' || c == '\\' || c == '?' || c == '\'' || c == '"' || c == '#') {
        problem = "it contains a space, a control character or one of / \\ ? ' \" #";
        break;
      }
    }
  }
  if (!problem.empty()) throw EPrinter("printer " + Quoted(queue) + ": not a valid queue name: " + problem);
}

struct TConnection {
  THttpPtr Http;
  std::string ServerName;  // for messages: as given, or the default with its port
};

// "" (the default libcups picks), "host", "host:port", "[v6address]:port" or a local socket path.
TConnection Connect(const std::string& server) {
  std::string host;
  int port = Cups().ippPort();
  if (server.empty()) {
    // libcups keeps the server it found first; forgetting it makes a changed CUPS_SERVER count.
    Cups().cupsSetServer(nullptr);
    host = Cups().cupsServer();  // cupsServer and ippPort split CUPS_SERVER's "host:port" themselves
    port = Cups().ippPort();
  } else if (server[0] == '/') {
    host = server;
  } else {
    host = server;
    size_t colon = server.rfind(':');
    bool bracketed = server[0] == '[';
    size_t close = server.find(']');
    if (colon != std::string::npos && (!bracketed || (close != std::string::npos && colon > close)) &&
        (bracketed || server.find(':') == colon)) {
      std::string digits = server.substr(colon + 1);
      bool valid = !digits.empty() && digits.size() <= 5 &&
                   std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
      int value = valid ? std::stoi(digits) : 0;
      if (value < 1 || value > 65535)
        throw EPrinter("print server " + Quoted(server) + ": the port is not a number from 1 to 65535");
      port = value;
      host = server.substr(0, colon);
    }
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty()) throw EPrinter("print server " + Quoted(server) + ": no host name");
  }
  std::string name = server;
  if (name.empty()) name = host[0] == '/' ? host : host + ":" + std::to_string(port);
  errno = 0;  // the fallback reason below must not be an older one
  http_t* http =
      Cups().httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, Cups().cupsEncryption(), 1, 30000, nullptr);
  if (!http) {
    int error = errno;
    std::string reason = Cups().cupsLastErrorString() && *Cups().cupsLastErrorString()
                             ? Cups().cupsLastErrorString()
                             : std::strerror(error);
    throw EPrinter("print server " + Quoted(name) + ": cannot connect: " + reason);
  }
  return {THttpPtr(http), name};
}

// A request addressed to the queue, with the requesting user, and the resource to post it to.
ipp_t* NewQueueRequest(ipp_op_t operation, const std::string& queue, std::string& resource) {
  char uri[HTTP_MAX_URI];
  resource = "/printers/" + queue;
  Cups().httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", Cups().ippPort(),
                         resource.c_str());
  ipp_t* request = Cups().ippNewRequest(operation);
  Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                      Cups().cupsUser());
  return request;
}

bool Failed(ipp_status_t status) {
  return status > IPP_STATUS_OK_EVENTS_COMPLETE;
}

// Cuts a UTF-8 string to at most max bytes without splitting a character.
std::string CutUtf8(const std::string& s, size_t max) {
  if (s.size() <= max) return s;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return s.substr(0, end);
}

}  // namespace

bool TPrintQueueInfo::Takes(const std::string& format) const {
  return std::find(DocumentFormats.begin(), DocumentFormats.end(), format) != DocumentFormats.end();
}

TPrintQueueInfo QueryPrintQueue(const std::string& server, const std::string& queue) {
  CheckQueueName(queue);
  TConnection connection = Connect(server);
  std::string resource;
  ipp_t* request = NewQueueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, queue, resource);
  static const char* const kWanted[] = {"printer-is-accepting-jobs", "document-format-supported",
                                        "printer-resolution-default", "printer-make-and-model"};
  Cups().ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                       static_cast<int>(std::size(kWanted)), nullptr, kWanted);
  TIppPtr response(
      Cups().cupsDoRequest(connection.Http.get(), request, resource.c_str()));  // frees the request

  TPrintQueueInfo info;
  info.Name = queue;
  ipp_status_t status = Cups().cupsLastError();
  if (status == IPP_STATUS_ERROR_NOT_FOUND) return info;
  if (Failed(status) || !response)
    throw EPrinter("printer " + Quoted(queue) + " on " + Quoted(connection.ServerName) + ": " +
                   LastCupsReason());

  info.Exists = true;
  if (ipp_attribute_t* a =
          Cups().ippFindAttribute(response.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
    info.AcceptingJobs = Cups().ippGetBoolean(a, 0) != 0;
  if (ipp_attribute_t* a = Cups().ippFindAttribute(response.get(), "printer-make-and-model", IPP_TAG_TEXT))
    info.MakeAndModel = Cups().ippGetString(a, 0, nullptr) ? Cups().ippGetString(a, 0, nullptr) : "";
  if (ipp_attribute_t* a =
          Cups().ippFindAttribute(response.get(), "document-format-supported", IPP_TAG_MIMETYPE)) {
    for (int i = 0, n = Cups().ippGetCount(a); i < n; ++i)
      if (const char* format = Cups().ippGetString(a, i, nullptr)) info.DocumentFormats.push_back(format);
  }
  if (ipp_attribute_t* a =
          Cups().ippFindAttribute(response.get(), "printer-resolution-default", IPP_TAG_RESOLUTION)) {
    int yres = 0;
    ipp_res_t units = IPP_RES_PER_INCH;
    int xres = Cups().ippGetResolution(a, 0, &yres, &units);
    // Dots per centimetre to dots per inch, rounded to the nearest whole dot.
    info.Dpi = units == IPP_RES_PER_CM ? (xres * 254 + 50) / 100 : xres;
  }
  info.IsRaw = info.MakeAndModel == kRawQueueModel;
  info.AcceptsPdf = !info.IsRaw && info.Takes("application/pdf");
  info.AcceptsRaw = info.IsRaw || info.Takes("application/vnd.cups-raw");
  return info;
}

int SubmitPrintJob(const std::string& server, const std::string& queue, const std::string& file,
                   const std::string& format, int copies, const std::string& title) {
  CheckQueueName(queue);
  if (copies < 1)
    throw EPrinter("printer " + Quoted(queue) + ": copies must be at least 1, not " + std::to_string(copies));
  if (format.empty() || format.find_first_of(" \t\r\n") != std::string::npos ||
      format.find('/') == std::string::npos)
    throw EPrinter("printer " + Quoted(queue) + ": " + Quoted(format) +
                   " is not a document format (type/subtype)");

  TFileHandle fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.Get() < 0) throw EPrinter(Quoted(file) + ": cannot open for printing: " + std::strerror(errno));
  struct stat st {};
  // A pipe or device could block the job forever; only whole files are sent.
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
    throw EPrinter(Quoted(file) + ": not a regular file, cannot be printed");
  fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);

  TConnection connection = Connect(server);
  std::string resource;
  ipp_t* request = NewQueueRequest(IPP_OP_PRINT_JOB, queue, resource);
  std::string jobName = CutUtf8(title.empty() ? file : title, kMaxIppName);
  Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, jobName.c_str());
  Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                      format.c_str());
  Cups().ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", copies);
  TIppPtr response(Cups().cupsDoIORequest(connection.Http.get(), request, resource.c_str(), fd.Get(),
                                          -1));  // frees the request

  if (Failed(Cups().cupsLastError()) || !response)
    throw EPrinter("printer " + Quoted(queue) + ": " + LastCupsReason());
  ipp_attribute_t* id = Cups().ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
  if (!id) throw EPrinter("printer " + Quoted(queue) + ": the server accepted the job but gave no job id");
  return Cups().ippGetInteger(id, 0);
}

}  // namespace pagewright
