// SPDX-License-Identifier: GPL-3.0-or-later
// JSON strings of names from log files: whatever bytes a scan name holds, the JSON stays valid.
#include "base/json_text.h"

#include <gtest/gtest.h>

namespace varistrum {
namespace {

TEST(JsonTextTest, QuotesBackslashesAndControlCharactersAreEscaped) {
    const struct {
        std::string_view text;
        const char* json;
    } cases[] = {
        {"", "\"\""},
        {"Scan \"A\"", "\"Scan \\\"A\\\"\""},
        {"C:\\logs", "\"C:\\\\logs\""},
        {std::string_view("a\0b\r\n\x1f", 6), "\"a\\u0000b\\r\\n\\u001f\""},
        {"Stra\xc3\x9f"
         "e \x7f",
         "\"Stra\xc3\x9f"
         "e \x7f\""},
        // Bytes that are not UTF-8 (a Latin-1 file name, a cut sequence): U+FFFD each.
        {"caf\xe9 \xe2\x82", "\"caf\xef\xbf\xbd \xef\xbf\xbd\""},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.json;
}

}  // namespace
}  // namespace varistrum
