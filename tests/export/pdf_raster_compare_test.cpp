// The PDF shows what the page shows: each template of tests/data/pdf_compare is rendered by the
// raster export and as PDF, the PDF is rasterised by pdftoppm at the same 96 dpi, and the two
// pages are compared pixel by pixel after a slight blur.
//
// Why these thresholds: the two renderers anti-alias edges and hint glyphs differently, so the
// outlines of text, thin lines, bars and curves differ by a pixel here and there (a 96 dpi bar
// code is the worst case). A 3x3 blur with a tolerance of 64 levels per channel absorbs most of it
// and leaves under 2% of a page on this corpus. Fills and backgrounds, away from edges, must agree
// within 6 levels, so a light colour that one renderer leaves out is not lost in the tolerance for
// edges. The smallest object of the corpus, a 120x40 pt box, covers 3.3% of its page: missing
// content fails the 2% limit, the renderers' differences do not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
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
using test_support::RunCli;
using test_support::RunCommand;
using test_support::TempDir;

constexpr double kMaxDifferingShare = 0.02;
constexpr int kChannelTolerance = 64;  // after the blur, anywhere on the page
constexpr int kBlurRadius = 1;
constexpr int kFlatTolerance = 6;  // in flat areas (fills, backgrounds), where renderers agree closely
constexpr int kFlatRadius = 2;

std::unique_ptr<TBitmap> ReadPng(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return nullptr;
  return DecodePNG(bytes);
}

// The page as RGB values, each channel the mean of its (2r+1)x(2r+1) neighbourhood (a box blur
// through a summed-area table).
std::vector<int> Blurred(const TBitmap& b) {
  const int w = b.Width(), h = b.Height(), r = kBlurRadius;
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) b.ReadRowRGB(y, rgb.data() + static_cast<size_t>(y) * w * 3);
  // sums[(y * (w + 1) + x) * 3 + c]: the sum over rows < y and columns < x.
  std::vector<int64_t> sums(static_cast<size_t>(w + 1) * (h + 1) * 3, 0);
  auto at = [&](int x, int y, int c) -> int64_t& { return sums[(static_cast<size_t>(y) * (w + 1) + x) * 3 + c]; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        at(x + 1, y + 1, c) = rgb[(static_cast<size_t>(y) * w + x) * 3 + c] + at(x, y + 1, c) + at(x + 1, y, c) - at(x, y, c);
  std::vector<int> out(rgb.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int x0 = std::max(0, x - r), x1 = std::min(w, x + r + 1), y0 = std::max(0, y - r), y1 = std::min(h, y + r + 1);
      const int64_t n = static_cast<int64_t>(x1 - x0) * (y1 - y0);
      for (int c = 0; c < 3; ++c)
        out[(static_cast<size_t>(y) * w + x) * 3 + c] =
            static_cast<int>((at(x1, y1, c) - at(x0, y1, c) - at(x1, y0, c) + at(x0, y0, c)) / n);
    }
  return out;
}

// Whether every pixel within kFlatRadius of (x, y) has the colour of (x, y) within a few levels:
// inside a fill or a background, away from edges and glyphs.
bool Flat(const std::vector<uint8_t>& rgb, int w, int h, int x, int y) {
  const size_t i0 = (static_cast<size_t>(y) * w + x) * 3;
  for (int dy = -kFlatRadius; dy <= kFlatRadius; ++dy)
    for (int dx = -kFlatRadius; dx <= kFlatRadius; ++dx) {
      const int xx = x + dx, yy = y + dy;
      if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
      const size_t i = (static_cast<size_t>(yy) * w + xx) * 3;
      for (int c = 0; c < 3; ++c)
        if (std::abs(rgb[i + c] - rgb[i0 + c]) > 4) return false;
    }
  return true;
}

std::vector<uint8_t> Rgb(const TBitmap& b) {
  std::vector<uint8_t> rgb(static_cast<size_t>(b.Width()) * b.Height() * 3);
  for (int y = 0; y < b.Height(); ++y) b.ReadRowRGB(y, rgb.data() + static_cast<size_t>(y) * b.Width() * 3);
  return rgb;
}

// The share of pixels of the common area whose blurred colours differ by more than the tolerance
// in any channel; 1 when the pages differ in size by more than a pixel. With `diffMap`, the
// differing pixels are painted red on a faint copy of the raster page, to look at.
double DifferingShare(const TBitmap& a, const TBitmap& b, const fs::path& diffMap = {}) {
  if (std::abs(a.Width() - b.Width()) > 1 || std::abs(a.Height() - b.Height()) > 1) return 1;
  const std::vector<int> pa = Blurred(a), pb = Blurred(b);
  const std::vector<uint8_t> ra = Rgb(a), rb = Rgb(b);
  const int w = std::min(a.Width(), b.Width()), h = std::min(a.Height(), b.Height());
  int64_t differing = 0;
  std::unique_ptr<TBitmap> map;
  if (!diffMap.empty()) {
    map = std::make_unique<TBitmap>();
    map->SetSize(w, h);
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t ia = (static_cast<size_t>(y) * a.Width() + x) * 3;
      const size_t ib = (static_cast<size_t>(y) * b.Width() + x) * 3;
      bool differs = false;
      for (int c = 0; c < 3; ++c) differs = differs || std::abs(pa[ia + c] - pb[ib + c]) > kChannelTolerance;
      // A light fill or background missing from one page differs by less than the tolerance for
      // edges, but both pages are flat there.
      if (!differs && Flat(ra, a.Width(), a.Height(), x, y) && Flat(rb, b.Width(), b.Height(), x, y))
        for (int c = 0; c < 3; ++c) differs = differs || std::abs(ra[ia + c] - rb[ib + c]) > kFlatTolerance;
      if (differs) ++differing;
      if (map) {
        const int grey = 192 + pa[ia] / 4;
        map->SetPixel(x, y, differs ? 0x0000FF : (grey | grey << 8 | grey << 16));
      }
    }
  if (map) {
    TFileStream out(diffMap.string(), fmCreate);
    EncodePNG(*map, out);
  }
  return static_cast<double>(differing) / (static_cast<double>(w) * h);
}

// pdffonts: every font row says "emb yes" and "sub yes" (the two columns before the object number).
void ExpectFontsEmbeddedAsSubsets(const fs::path& pdf, const std::string& stem) {
  const auto listed = RunCommand("pdffonts '" + pdf.string() + "'");
  ASSERT_EQ(listed.exitCode, 0) << stem << ": pdffonts";
  std::istringstream lines(listed.out);
  std::string line;
  int row = 0;
  while (std::getline(lines, line)) {
    if (++row <= 2 || line.empty()) continue;  // the heading and its rule
    std::istringstream words(line);
    std::vector<std::string> w{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    ASSERT_GE(w.size(), 6U) << stem << ": " << line;
    const size_t n = w.size();
    EXPECT_EQ(w[n - 5], "yes") << stem << ": not embedded: " << line;
    EXPECT_EQ(w[n - 4], "yes") << stem << ": not a subset: " << line;
  }
}

TEST(PdfMatchesRaster, EveryCorpusPageWithinTheThreshold) {
  ASSERT_TRUE(test_support::CliProgramBuilt()) << "the pagewright program is not built";
  ASSERT_EQ(RunCommand("pdftoppm -v").exitCode, 0) << "pdftoppm (poppler-utils) is missing";
  const fs::path corpus = fs::path(PW_TEST_DATA_DIR) / "pdf_compare";
  std::vector<fs::path> templates;
  for (const auto& e : fs::directory_iterator(corpus))
    if (e.path().extension() == ".pw3") templates.push_back(e.path());
  std::sort(templates.begin(), templates.end());
  ASSERT_FALSE(templates.empty());

  TempDir dir;
  struct Page {
    std::string name;
    double share;
  };
  std::vector<Page> pages;
  for (const fs::path& t : templates) {
    const std::string stem = t.stem().string();
    const fs::path pdf = dir.path / (stem + ".pdf"), png = dir.path / (stem + ".png");
    ASSERT_EQ(RunCli("render '" + t.string() + "' --pdf '" + pdf.string() + "' --png '" + png.string() + "'").exitCode,
              0)
        << stem;
    // Every corpus PDF is well-formed and carries its fonts as subsets.
    EXPECT_EQ(RunCommand("qpdf --check '" + pdf.string() + "'").exitCode, 0) << stem << ": qpdf --check";
    ExpectFontsEmbeddedAsSubsets(pdf, stem);
    ASSERT_EQ(RunCommand("pdftoppm -r 96 -png '" + pdf.string() + "' '" + (dir.path / (stem + "-pdf")).string() + "'")
                  .exitCode,
              0)
        << stem;
    for (int page = 1;; ++page) {
      const fs::path raster = dir.path / (stem + "." + std::to_string(page) + ".png");
      if (!fs::exists(raster)) {
        EXPECT_GT(page, 1) << stem << ": the raster export wrote no page";
        break;
      }
      // pdftoppm numbers pages with as many digits as the last page needs; the corpus has few.
      const fs::path fromPdf = dir.path / (stem + "-pdf-" + std::to_string(page) + ".png");
      ASSERT_TRUE(fs::exists(fromPdf)) << fromPdf;
      const auto a = ReadPng(raster), b = ReadPng(fromPdf);
      ASSERT_TRUE(a && b) << stem << " page " << page;
      // PW_COMPARE_DIFF_DIR=folder keeps a map of the differing pixels of each page there.
      const char* mapDir = std::getenv("PW_COMPARE_DIFF_DIR");
      const fs::path map = mapDir ? fs::path(mapDir) / (stem + "." + std::to_string(page) + ".diff.png") : fs::path();
      pages.push_back({stem + " page " + std::to_string(page), DifferingShare(*a, *b, map)});
    }
  }
  std::sort(pages.begin(), pages.end(), [](const Page& x, const Page& y) { return x.share > y.share; });
  std::cout << "Differing pixels per page, worst first (threshold " << kMaxDifferingShare * 100 << "%):\n";
  for (const Page& p : pages)
    std::cout << "  " << std::fixed << std::setprecision(2) << std::setw(6) << p.share * 100 << "%  " << p.name
              << "\n";
  for (const Page& p : pages) EXPECT_LE(p.share, kMaxDifferingShare) << p.name;
}

}  // namespace
}  // namespace pagewright
