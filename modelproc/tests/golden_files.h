// Comparison of a written text with its golden file, shared by the writer tests.
#pragma once

#include "platform/core/file_system.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace goldentest {

/// 64-bit FNV-1a: a short fingerprint of a text too large to keep as a golden file.
inline std::uint64_t fingerprint(const std::string& text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

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
