// Releases the font cache and the libraries' process-wide caches after the last test, so that
// leak checkers see only real leaks.
#include <gtest/gtest.h>

#include "render/fonts.h"

namespace {

class RenderEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { pagewright::ReleaseGraphicsResources(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new RenderEnvironment);

}  // namespace
