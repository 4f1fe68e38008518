// The sample label's PDF stays small: both faces embedded as subsets that hold only what a
// viewer reads, and every stream that gains from it deflated. The built label program is run as
// run.sh runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "common/run_program.h"
#include "common/temp_dir.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

TEST(PdfLabelSize, SampleLabelIsUnderThirtyKilobytesWithBothFacesEmbedded) {
  const fs::path program = fs::path(PW_BINARY_DIR) / "bin" / "pagewright-label";
  if (!fs::exists(program)) FAIL() << "the label program is not built";
  test_support::TempDir dir;
  fs::create_directory(dir.path / "reportes");
  fs::create_directory(dir.path / "scratch");
  fs::copy_file(
      fs::path(PW_TEST_DATA_DIR) / ".." / ".." / "examples" / "label" / "reportes" / "EtiquetaVelmo.pw3",
      dir.path / "reportes" / "EtiquetaVelmo.pw3");
  const test_support::ProgramResult run =
      test_support::RunCommand("cd '" + dir.path.string() + "' && '" + program.string() + "'");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  const fs::path pdf = dir.path / "scratch" / "EtiquetaBultoAXU_sample.pdf";
  ASSERT_TRUE(fs::exists(pdf));
  // About 22 KB when this was written (124 KB before the subsets were trimmed).
  EXPECT_LT(fs::file_size(pdf), 30u * 1024) << "the sample label's PDF grew";

  const std::string fonts = test_support::RunCommand("pdffonts '" + pdf.string() + "'").out;
  const std::regex subset(R"([A-Z]{6}\+Liberation Sans(,Bold)?\s+CID TrueType\s+Identity-H\s+yes yes yes)");
  EXPECT_EQ(std::distance(std::sregex_iterator(fonts.begin(), fonts.end(), subset), std::sregex_iterator()),
            2)
      << fonts;
  EXPECT_EQ(test_support::RunCommand("qpdf --check '" + pdf.string() + "'").exitCode, 0);
  // The embedded programs draw: rendering reports nothing about them.
  const test_support::ProgramResult render =
      test_support::RunCommand("pdftoppm -r 30 -gray '" + pdf.string() + "' 2>&1 >/dev/null");
  EXPECT_EQ(render.out, "");
}

}  // namespace
}  // namespace pagewright
