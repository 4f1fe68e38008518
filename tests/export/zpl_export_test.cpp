// ZPL labels: a reader written here, from the printer language's description and nothing of the
// writer, turns each label's ^GFA field back into dots; the dots are the page image of the same
// resolution made black and white, pixel for pixel, and the barcodes on them scan.
#include "export/zpl_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/run_program.h"
#include "common/temp_dir.h"
#include "platform/streams.h"
#include "render/bitmap.h"
#include "render/picture_codecs.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Dots {
  int rowBytes = 0, rows = 0;
  std::vector<uint8_t> bytes;
  bool At(int x, int y) const { return (bytes[static_cast<size_t>(y) * rowBytes + x / 8] >> (7 - x % 8)) & 1; }
};

// Expands the compressed ASCII form of a ^GFA field: G..Y and g..z are repeat counts (1..19 and
// 20..400 by twenties) before a hexadecimal digit, ',' fills the row with 0, '!' with 1, ':'
// repeats the row before.
Dots ReadGraphicField(const std::string& label) {
  Dots d;
  const size_t at = label.find("^GFA,");
  if (at == std::string::npos) return d;
  size_t p = at + 5;
  auto number = [&] {
    const size_t comma = label.find(',', p);
    const int v = std::stoi(label.substr(p, comma - p));
    p = comma + 1;
    return v;
  };
  const int total = number();
  number();
  d.rowBytes = number();
  d.rows = total / d.rowBytes;
  const size_t end = label.find("^FS", p);
  const size_t rowDigits = static_cast<size_t>(d.rowBytes) * 2;
  std::string row, previous;
  std::vector<std::string> rows;
  int count = 0;
  auto finishRow = [&](char fill) {
    row.append(rowDigits - row.size(), fill);
    rows.push_back(row);
    previous = row;
    row.clear();
  };
  for (size_t i = p; i < end; ++i) {
    const char c = label[i];
    if (c >= 'G' && c <= 'Y') {
      count += c - 'G' + 1;
    } else if (c >= 'g' && c <= 'z') {
      count += (c - 'g' + 1) * 20;
    } else if (c == ',') {
      finishRow('0');
    } else if (c == '!') {
      finishRow('F');
    } else if (c == ':') {
      rows.push_back(previous);
    } else {
      row.append(static_cast<size_t>(count > 0 ? count : 1), c);
      count = 0;
      if (row.size() == rowDigits) finishRow('0');
    }
  }
  for (const std::string& r : rows)
    for (size_t k = 0; k + 1 < r.size(); k += 2) d.bytes.push_back(static_cast<uint8_t>(std::stoi(r.substr(k, 2), nullptr, 16)));
  return d;
}

TEST(ZplExport, LabelsAreThePageImagesInDotsAndTheirBarcodesScan) {
  ASSERT_TRUE(test_support::CliProgramBuilt());
  test_support::TempDir dir;
  const std::string label = (fs::path(PW_TEST_DATA_DIR) / ".." / ".." / "examples" / "label" / "reportes" / "EtiquetaVelmo.pw3").string();
  const std::string csv = (fs::path(PW_TEST_DATA_DIR) / ".." / ".." / "examples" / "data" / "parcels.csv").string();
  const std::string common = "render '" + label + "' --data '" + csv + "' --pages 1-2 --dpi 203 ";
  ASSERT_EQ(test_support::RunCli(common + "--zpl '" + (dir.path / "l.zpl").string() + "'").exitCode, 0);
  // The page images with barcode modules of whole dots, as the labels have them.
  ASSERT_EQ(test_support::RunCli(common + "--whole-pixel-modules --png '" + (dir.path / "p.png").string() + "'").exitCode,
            0);
  const std::string zpl = ReadAll(dir.path / "l.zpl");
  std::vector<std::string> labels;
  for (size_t at = zpl.find("^XA"); at != std::string::npos; at = zpl.find("^XA", at + 3))
    labels.push_back(zpl.substr(at, zpl.find("^XZ", at) - at));
  ASSERT_EQ(labels.size(), 2u);
  for (int page = 1; page <= 2; ++page) {
    SCOPED_TRACE(page);
    const Dots dots = ReadGraphicField(labels[static_cast<size_t>(page - 1)]);
    const std::string png = ReadAll(dir.path / ("p." + std::to_string(page) + ".png"));
    const std::unique_ptr<TBitmap> image = DecodePNG(std::span(reinterpret_cast<const uint8_t*>(png.data()), png.size()));
    ASSERT_TRUE(image);
    ASSERT_EQ(dots.rows, image->Height());
    ASSERT_EQ(dots.rowBytes, (image->Width() + 7) / 8);
    int differing = 0;
    std::vector<uint8_t> rgb(static_cast<size_t>(image->Width()) * 3);
    TBitmap decoded(image->Width(), image->Height());
    for (int y = 0; y < image->Height(); ++y) {
      image->ReadRowRGB(y, rgb.data());
      for (int x = 0; x < image->Width(); ++x) {
        const int luminance = (rgb[3 * x] * 299 + rgb[3 * x + 1] * 587 + rgb[3 * x + 2] * 114) / 1000;
        differing += (luminance < 128) != dots.At(x, y);
        decoded.SetPixel(x, y, dots.At(x, y) ? 0 : 0xFFFFFF);
      }
    }
    EXPECT_EQ(differing, 0);
    // Bars and spaces are whole modules of whole dots: on the row that crosses most bars (bars
    // are tall: the row repeats for 40 rows, which no text does), every run between the first
    // and the last bar is a multiple of the narrowest one.
    auto sameRow = [&](int a, int b) {
      for (int x = 0; x < image->Width(); ++x)
        if (dots.At(x, a) != dots.At(x, b)) return false;
      return true;
    };
    int bestRow = 0, bestEdges = -1;
    for (int y = 0; y + 40 < dots.rows; ++y) {
      if (!sameRow(y, y + 20) || !sameRow(y, y + 40)) continue;
      int edges = 0;
      for (int x = 1; x < image->Width(); ++x) edges += dots.At(x, y) != dots.At(x - 1, y);
      if (edges > bestEdges) bestEdges = edges, bestRow = y;
    }
    std::vector<int> runs;
    int first = 0, last = image->Width() - 1;
    while (first < last && !dots.At(first, bestRow)) ++first;
    while (last > first && !dots.At(last, bestRow)) --last;
    for (int x = first, start = first; x <= last + 1; ++x)
      if (x == last + 1 || dots.At(x, bestRow) != dots.At(start, bestRow)) runs.push_back(x - start), start = x;
    ASSERT_GT(runs.size(), 20u);
    const int module = *std::min_element(runs.begin(), runs.end());
    EXPECT_GE(module, 2);  // one report pixel is 2.1 dots at 203 dpi
    for (int r : runs) EXPECT_EQ(r % module, 0) << "a run of " << r << " dots, modules of " << module;
    const fs::path out = dir.path / ("dots" + std::to_string(page) + ".png");
    {
      TFileStream f(out.string(), fmCreate);
      EncodePNG(decoded, f);
    }
    const std::string codes = test_support::RunCommand("zbarimg -q '" + out.string() + "'").out;
    EXPECT_NE(codes.find("CODE-128:91010003"), std::string::npos) << codes;
    EXPECT_NE(codes.find("CODE-128:9803000910264012640102"), std::string::npos) << codes;
    EXPECT_NE(codes.find(page == 1 ? "CODE-128:00384123450000000011" : "CODE-128:00384123450000000028"),
              std::string::npos)
        << codes;
  }
}

// The compression's edge cases: runs past 400, a row like the one before, rows of one colour.
TEST(ZplExport, CompressedFieldsExpandToTheSameDots) {
  TBitmap b(4000, 4);
  for (int x = 0; x < 4000; ++x) {
    b.SetPixel(x, 0, 0xFFFFFF);
    b.SetPixel(x, 1, x < 3900 ? 0 : 0xFFFFFF);
    b.SetPixel(x, 2, x < 3900 ? 0 : 0xFFFFFF);
    b.SetPixel(x, 3, x % 3 ? 0 : 0xFFFFFF);
  }
  const Dots d = ReadGraphicField(ZPLLabel(b));
  ASSERT_EQ(d.rows, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4000; ++x) {
      const bool dark = y == 0 ? false : y < 3 ? x < 3900 : x % 3 != 0;
      ASSERT_EQ(d.At(x, y), dark) << x << "," << y;
    }
}

}  // namespace
}  // namespace pagewright
