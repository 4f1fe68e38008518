#include "cli/barcode_command.h"

#include <charconv>
#include <cmath>
#include <ostream>

#include "barcode/barcode.h"
#include "barcode2d/symbol2d.h"
#include "platform/code_pages.h"
#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments = "[--checksum|--no-checksum] [--ratio R] TYPE TEXT";

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright barcode " << kArguments << "\n"
     << "  TYPE   the barcode type by value name (bcCodeEAN128C) or display name (\"EAN128C\")\n"
     << "  TEXT   the data to encode; escapes such as &1; and GS1 element strings as the type takes them\n"
     << "  --checksum, --no-checksum   add the type's check character or not (default: not)\n"
     << "  --ratio R                   wide-to-narrow ratio (default 2)\n"
     << "  --                          ends the options (for a TEXT that begins with \"-\")\n"
     << "Prints the element pattern, then the module row (1 dark, 0 light). The two-dimensional\n"
     << "types (b2QRCode, b2DataMatrix, b2GS1DataMatrix, b2GS1QRCode, b2PDF417, b2Aztec) print\n"
     << "their module matrix, a row a line, without the quiet zone; TEXT is UTF-8, and the GS1\n"
     << "types take element strings such as (01)09506000134352(17)201225.\n"
     << "Check digits: --checksum adds the type's own (GS1 modulo 10 for EAN, UPC-A and\n"
     << "interleaved 2 of 5; modulo 10 counted from the right for MSI; weights 4 and 9 for the\n"
     << "Deutsche Post codes). UPC-E and ITF-14 always carry theirs (ITF-14 takes 13 digits, or 14\n"
     << "with the right check digit). PostNet is encoded as given, with no check digit: append it\n"
     << "to TEXT when the mail piece needs one.\n";
}

int UsageError(std::ostream& err, const std::string& message) {
  err << "pagewright barcode: " << message << "\n";
  PrintUsage(err);
  return kExitUsage;
}

// Command-line text is UTF-8; the encoder takes 8-bit text in the system code page, where
// characters the page lacks become "?" (which every type rejects or skips).
std::string ToEightBit(const std::string& utf8) {
  return WideToAnsi(Utf8ToUtf16(utf8));
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool checksum = false;
  bool haveRatio = false;
  double ratio = 2.0;
  std::vector<std::string> positional;
  bool optionsDone = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsDone || a.size() < 2 || a[0] != '-') {
      positional.push_back(a);
    } else if (a == "--") {
      optionsDone = true;
    } else if (a == "--help" || a == "-h") {
      PrintUsage(out);
      return kExitOk;
    } else if (a == "--checksum") {
      checksum = true;
    } else if (a == "--no-checksum") {
      checksum = false;
    } else if (a == "--ratio" || a.rfind("--ratio=", 0) == 0) {
      std::string value;
      if (a == "--ratio") {
        if (i + 1 >= args.size()) return UsageError(err, "--ratio needs a value");
        value = args[++i];
      } else {
        value = a.substr(8);
      }
      const char* end = value.data() + value.size();
      auto [p, ec] = std::from_chars(value.data(), end, ratio);
      if (ec != std::errc() || p != end || !std::isfinite(ratio) || ratio <= 0 || ratio > 100)
        return UsageError(err, "--ratio wants a number above 0 and at most 100, not '" + value + "'");
      haveRatio = true;
    } else {
      return UsageError(err, "unknown option '" + a + "'");
    }
  }
  if (positional.size() != 2) return UsageError(err, "expected TYPE and TEXT");
  // Two-dimensional types print their module matrix, a row a line, without the quiet zone.
  const int symbol2D = Barcode2DTypeInfo().Ordinal(std::string_view(positional[0]));
  if (symbol2D >= 0) {
    try {
      const TBarcode2DMatrix m = EncodeBarcode2D(static_cast<TpgwBarcode2DType>(symbol2D), positional[1]);
      for (int y = 0; y < m.Height; ++y) {
        std::string row(static_cast<size_t>(m.Width), '0');
        for (int x = 0; x < m.Width; ++x)
          if (m.At(x, y)) row[static_cast<size_t>(x)] = '1';
        out << row << "\n";
      }
    } catch (const Exception& e) {
      err << "pagewright barcode: " << e.Message() << "\n";
      return kExitFailure;
    }
    return kExitOk;
  }
  TpgwBarcodeType type;
  if (!FindBarcodeType(positional[0], type))
    return UsageError(err, "unknown barcode type '" + positional[0] + "'");

  TpgwBarcode barcode;
  barcode.SetTyp(type);
  barcode.SetChecksum(checksum);
  if (haveRatio) barcode.SetRatio(ratio);
  barcode.SetText(ToEightBit(positional[1]));
  try {
    std::string pattern = barcode.BuildElementPattern();
    out << pattern << "\n" << PatternToModules(barcode, pattern) << "\n";
  } catch (const Exception& e) {
    err << "pagewright barcode: " << e.Message() << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

const CliCommand kBarcodeCommand = {"barcode", kArguments,
                                    "encode TEXT as a barcode of TYPE; print its pattern", Run};

}  // namespace pagewright::cli
