#include "cli/print_command.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/render_command.h"
#include "platform/exceptions.h"
#include "platform/printing.h"
#include "platform/safe_output.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments =
    "TEMPLATE --printer QUEUE [--copies N] [--raw-zpl] [render's data options]";

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright print TEMPLATE --printer QUEUE [options]\n"
     << "Renders the template as `pagewright render` does and sends it to a CUPS print queue: as PDF\n"
     << "when the queue takes PDF, else as one picture a page at the queue's resolution. Prints the\n"
     << "job id (QUEUE-N) of each job sent, one a line.\n\n"
     << "Printing:\n"
     << "  --printer QUEUE        the CUPS queue (lpstat -p lists them)\n"
     << "  --server HOST[:PORT]   the print server (default: CUPS_SERVER, client.conf, the local one)\n"
     << "  --copies N             copies of the document, 1 to 999 (default 1)\n"
     << "  --title TEXT           the job's title (default the template's file name)\n"
     << "  --raw-zpl              send ZPL II (one label a page, at --dpi 203, 300 or 600) to a raw\n"
     << "                         queue of a thermal label printer\n\n"
     << "Everything else is as for `pagewright render` (data, parameters, pages, scripts, PDF and\n"
     << "page picture options), without its outputs:\n\n";
  PrintRenderOptions(os);
}

struct UsageProblem {
  std::string message;
};

struct PrintOptions {
  std::string queue, server, title, templatePath;
  int copies = 1;
  bool rawZpl = false;
  bool dpiGiven = false;
  std::vector<std::string> renderArgs;
};

PrintOptions Parse(const std::vector<std::string>& args, bool& help) {
  PrintOptions o;
  help = false;
  // Render's options that take a value, so that a value is never taken for the template.
  static const char* const kWithValue[] = {"--data",
                                           "--query",
                                           "--csv-delimiter",
                                           "--column",
                                           "--param",
                                           "--pages",
                                           "--allow-path",
                                           "--pdf-encryption",
                                           "--pdf-user-password",
                                           "--pdf-owner-password",
                                           "--pdf-user-password-env",
                                           "--pdf-owner-password-env",
                                           "--pdf-permissions",
                                           "--dpi",
                                           "--jpeg-quality"};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw UsageProblem{a + " needs a value"};
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      help = true;
      return o;
    }
    if (a == "--printer") {
      o.queue = value();
    } else if (a == "--server") {
      o.server = value();
    } else if (a == "--title") {
      o.title = value();
    } else if (a == "--copies") {
      const std::string v = value();
      const bool digits = !v.empty() && v.size() <= 3 &&
                          std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
      o.copies = digits ? std::stoi(v) : 0;
      if (o.copies < 1) throw UsageProblem{"--copies takes a number from 1 to 999, not '" + v + "'"};
    } else if (a == "--raw-zpl") {
      o.rawZpl = true;
    } else if (a == "--pdf" || a == "--jpeg" || a == "--png" || a == "--prepared" || a == "--zpl" ||
               a == "--split") {
      throw UsageProblem{a + " is an output of `pagewright render`; print sends the document to --printer"};
    } else if (std::find(std::begin(kWithValue), std::end(kWithValue), a) != std::end(kWithValue)) {
      if (a == "--dpi") o.dpiGiven = true;
      o.renderArgs.push_back(a);
      o.renderArgs.push_back(value());
    } else {
      if (a.rfind("--dpi=", 0) == 0) o.dpiGiven = true;
      if (a.empty() || a[0] != '-') o.templatePath = a;
      o.renderArgs.push_back(a);
    }
  }
  if (o.queue.empty()) throw UsageProblem{"no queue given: use --printer QUEUE"};
  return o;
}

std::string JoinFormats(const std::vector<std::string>& formats) {
  std::string s;
  for (size_t i = 0; i < formats.size() && i < 8; ++i) s += (i ? ", " : "") + formats[i];
  if (formats.size() > 8) s += ", ...";
  return s.empty() ? "nothing" : s;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  PrintOptions o;
  try {
    bool help = false;
    o = Parse(args, help);
    if (help) {
      PrintUsage(out);
      return kExitOk;
    }
  } catch (const UsageProblem& e) {
    err << "pagewright print: " << e.message << "\nRun 'pagewright print --help' for the options.\n";
    return kExitUsage;
  }
  const std::string printer = "printer \"" + o.queue + "\"";
  try {
    // Asked first: a queue that cannot take the job is said before any rendering.
    const TPrintQueueInfo info = QueryPrintQueue(o.server, o.queue);
    if (!info.Exists) {
      err << "pagewright print: " << printer << " does not exist"
          << (o.server.empty() ? std::string() : " on " + o.server) << "\n";
      return kExitFailure;
    }
    if (!info.AcceptingJobs) {
      err << "pagewright print: " << printer << " is not accepting jobs\n";
      return kExitFailure;
    }
    enum { kPdf, kPictures, kZpl } mode;
    std::string format;
    if (o.rawZpl) {
      if (!info.IsRaw && !info.AcceptsRaw) {
        err << "pagewright print: " << printer << " takes no raw data, so it cannot take ZPL\n";
        return kExitFailure;
      }
      mode = kZpl;
      format = "application/vnd.cups-raw";
    } else if (info.IsRaw) {
      err << "pagewright print: " << printer
          << " is a raw queue (its data reaches the device unchanged): send a label printer ZPL with "
             "--raw-zpl\n";
      return kExitFailure;
    } else if (info.AcceptsPdf) {
      mode = kPdf;
      format = "application/pdf";
    } else if (info.Takes("image/png")) {
      mode = kPictures;
      format = "image/png";
    } else {
      err << "pagewright print: " << printer << " takes neither PDF nor PNG pictures (it takes "
          << JoinFormats(info.DocumentFormats) << ")\n";
      return kExitFailure;
    }

    TScratchFolder scratch;
    std::vector<std::string> renderArgs = o.renderArgs;
    std::string output;
    if (mode == kPdf) {
      output = scratch.Path() + "/job.pdf";
      renderArgs.insert(renderArgs.end(), {"--pdf", output});
    } else if (mode == kZpl) {
      output = scratch.Path() + "/job.zpl";
      renderArgs.insert(renderArgs.end(), {"--zpl", output});
    } else {
      output = scratch.Path() + "/page.png";
      renderArgs.insert(renderArgs.end(), {"--png", output});
      // Pages are pictures at the resolution the queue prints.
      if (!o.dpiGiven)
        renderArgs.insert(renderArgs.end(), {"--dpi", std::to_string(info.Dpi > 0 ? info.Dpi : 300)});
    }
    std::ostringstream renderOut;
    if (const int code = RenderForCommand("print", renderArgs, renderOut, err); code != kExitOk) return code;

    std::vector<std::string> files;
    if (mode == kPictures) {
      for (int page = 1;; ++page) {
        const std::string file = scratch.Path() + "/page." + std::to_string(page) + ".png";
        if (!std::filesystem::exists(file)) break;
        files.push_back(file);
      }
    } else {
      files.push_back(output);
    }
    const std::string title =
        o.title.empty() ? std::filesystem::path(o.templatePath).filename().string() : o.title;
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string jobTitle = files.size() > 1 ? title + " (page " + std::to_string(i + 1) + ")" : title;
      const int id = SubmitPrintJob(o.server, o.queue, files[i], format, o.copies, jobTitle);
      out << o.queue << "-" << id << "\n";
    }
    out.flush();
    return out ? kExitOk : kExitFailure;
  } catch (const Exception& e) {
    err << "pagewright print: " << e.Message() << "\n";
    return kExitFailure;
  }
}

}  // namespace

const CliCommand kPrintCommand = {
    "print", kArguments, "renders a template and sends it to a CUPS print queue (PDF, pictures or ZPL)", Run};

}  // namespace pagewright::cli
