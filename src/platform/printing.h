// Printing to CUPS queues: what a queue takes, and submitting one file to it as a job. A thin layer
// over libcups (its header stays in printing.cpp); the server is "" for the one libcups picks
// (CUPS_SERVER, client.conf, the local scheduler) or "host:port".
#pragma once

#include <string>
#include <vector>

#include "platform/exceptions.h"

namespace pagewright {

// A print server that cannot be reached, a queue that does not exist or refuses a job, a file that
// cannot be read: the message names the queue (or server, or file) and gives the server's reason,
// e.g. `printer "nope": The printer or class does not exist.`
PW_DECLARE_EXCEPTION(EPrinter, Exception)

struct TPrintQueueInfo {
  std::string Name;
  // False when the server does not know the queue; the other fields are then empty.
  bool Exists = false;
  bool AcceptingJobs = false;
  // A queue without a driver: the bytes of every job go to the device unchanged, whatever their
  // type claims (so a PDF sent there reaches a label printer as PDF).
  bool IsRaw = false;
  // The queue prints PDF through its driver (never true for a raw queue).
  bool AcceptsPdf = false;
  // The queue passes data for the device through unchanged ("application/vnd.cups-raw").
  bool AcceptsRaw = false;
  // The default resolution in dots per inch, 0 when the queue states none (raw queues).
  int Dpi = 0;
  std::string MakeAndModel;
  // The document formats (MIME types) the server takes for the queue, as it lists them.
  std::vector<std::string> DocumentFormats;

  bool Takes(const std::string& format) const;
};

// Asks the server about a queue. A missing queue is reported (Exists false), not raised; an
// unreachable server or any other refusal raises EPrinter.
TPrintQueueInfo QueryPrintQueue(const std::string& server, const std::string& queue);

// Sends one file as a job of `copies` copies (at least 1) with the given document format
// ("application/pdf", "application/vnd.cups-raw", "image/png", "image/jpeg" ...) and job title;
// returns the job id the server gave. Raises EPrinter when the file cannot be read, the server
// cannot be reached or the queue is missing or refuses the job.
int SubmitPrintJob(const std::string& server, const std::string& queue, const std::string& file,
                   const std::string& format, int copies, const std::string& title);

}  // namespace pagewright
