// SPDX-License-Identifier: GPL-3.0-or-later
// Names from files and logs reach JSON, XML and PNG texts as valid UTF-8, and JSON documents keep
// their numbers' texts.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <random>

#include "base/json_text.h"
#include "base/utf8_text.h"

namespace varistrum {
namespace {

constexpr const char* kFffd = "\xEF\xBF\xBD";

TEST(TextEncodingTest, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string r = kFffd;
    const struct {
        const char* name;
        std::string text, valid;
    } cases[] = {
        {"ASCII", "drive 1.klf", "drive 1.klf"},
        {"two, three and four bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xa1",
         "\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xa1"},
        {"a Latin-1 byte", "caf\xe9.klf", "caf" + r + ".klf"},
        {"a stray continuation byte", "a\x80z", "a" + r + "z"},
        {"a sequence cut by the end", "a\xe2\x82", "a" + r},
        {"a sequence cut by a letter", "\xf0\x9f\x93z", r + "z"},
        {"an overlong slash", "\xc0\xaf", r + r},
        {"a surrogate", "\xed\xa0\x80", r + r + r},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", r + r + r + r},
        {"0xFF", "\xff", r},
    };
    for (const auto& c : cases) EXPECT_EQ(ValidUtf8(c.text), c.valid) << c.name;
    // The same replacement as the JSON writer's, so that a name reads alike in every output.
    std::mt19937 random(5);
    for (int i = 0; i < 5000; ++i) {
        std::string text;
        for (int n = random() % 12; n > 0; --n) {
            const auto byte = static_cast<char>(0x20 + random() % 0xE0);
            if (byte != '"' && byte != '\\') text.push_back(byte);
        }
        ASSERT_EQ(JsonString(text), "\"" + ValidUtf8(text) + "\"") << text;
    }
}

TEST(TextEncodingTest, JsonDocumentsKeepNumberTextsAndReadBackWhole) {
    JsonWriter json;
    json.BeginObject().Key("name").String("a\xff\"b\n").Key("n").Integer(-12);
    json.Key("share").Fixed(0.0, 4).Key("mhz").Fixed(851.0125, 6).Key("none").Null();
    json.Key("inf").Fixed(INFINITY, 1).Key("list").BeginArray();
    json.Integer(1).BeginObject().Key("x").Bool(true).EndObject().NumberText("2.5").EndArray();
    json.EndObject();
    const std::string text = json.Text();
    EXPECT_EQ(text, "{\"name\":\"a" + std::string(kFffd) +
                        "\\\"b\\n\",\"n\":-12,\"share\":0.0000,\"mhz\":851.012500,\"none\":null,"
                        "\"inf\":null,\"list\":[1,{\"x\":true},2.5]}");
    const auto parsed = nlohmann::json::parse(text);  // throws on invalid JSON or UTF-8
    EXPECT_EQ(parsed["list"].size(), 3u);
}

}  // namespace
}  // namespace varistrum
