// SPDX-License-Identifier: GPL-3.0-or-later
// JSON documents written as they are built: every key and string through nlohmann-json (quotes,
// backslashes and control characters escaped, bytes that are not UTF-8 replaced by U+FFFD),
// numbers as exact texts with the decimals the document promises.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varistrum {

// Text as a JSON string; invalid UTF-8 becomes U+FFFD.
std::string JsonString(std::string_view text);

// Builds one JSON document into a string, commas and nesting kept by the writer:
//   JsonWriter json;
//   json.BeginObject().Key("name").String(name).Key("bytes").Integer(size).EndObject();
// Long documents can be taken piece by piece (TakeText) while they are written.
class JsonWriter {
  public:
    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }
    JsonWriter& Key(std::string_view name);
    JsonWriter& String(std::string_view text);
    JsonWriter& Integer(std::int64_t value);
    // `decimals` digits after the point, as printf's %.Nf gives them (no exponent).
    JsonWriter& Fixed(double value, int decimals);
    // A number text the caller formatted (fixed decimals trimmed, for instance); it must be a
    // JSON number.
    JsonWriter& NumberText(std::string_view text);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    const std::string& Text() const { return text_; }
    // The text written so far, leaving the writer empty (its nesting kept).
    std::string TakeText();

  private:
    JsonWriter& Open(char bracket);
    JsonWriter& Close(char bracket);
    void BeforeValue();

    std::string text_;
    std::vector<bool> first_;  // per open bracket: nothing written in it yet
    bool afterKey_ = false;
};

}  // namespace varistrum
