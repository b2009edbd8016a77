// Comparison of a written text with its golden file, shared by the writer tests.
#pragma once

#include "platform/core/file_system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace goldentest {

/// Compares `text` with the golden file `path`; ORVANTA_UPDATE_GOLDEN=1 rewrites it instead.
inline void expectGoldenFile(const std::string& text, const std::string& path)
{
    if (std::getenv("ORVANTA_UPDATE_GOLDEN")) {
        ASSERT_TRUE(platform::writeFileAtomically(path, text));
        return;
    }
    std::optional<std::string> expected = platform::readFile(path);
    ASSERT_TRUE(expected) << path;
    EXPECT_EQ(text, *expected) << path;
}

} // namespace goldentest
