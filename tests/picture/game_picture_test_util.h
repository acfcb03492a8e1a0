// Helpers of the game picture tests: skipping without the real-file corpus.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

// Skips the test when the corpus folder `relative` is not beside the checkout.
#define SKIP_WITHOUT_CORPUS(relative)                                              \
  do {                                                                             \
    if (!std::filesystem::exists(::zepcon::test::CorpusDir() / (relative)))        \
      GTEST_SKIP() << "corpus folder " << (relative) << " missing";                \
  } while (0)
