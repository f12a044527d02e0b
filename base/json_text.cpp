// SPDX-License-Identifier: GPL-3.0-or-later
// JSON texts through nlohmann-json.
#include "base/json_text.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "base/number_format.h"

namespace varistrum {

std::string JsonString(std::string_view text) {
    return nlohmann::json(std::string(text))
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) text_.push_back(',');
        first_.back() = false;
    }
}

JsonWriter& JsonWriter::Open(char bracket) {
    BeforeValue();
    text_.push_back(bracket);
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
    text_.push_back(bracket);
    if (!first_.empty()) first_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    BeforeValue();
    text_ += JsonString(name);
    text_.push_back(':');
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
    BeforeValue();
    text_ += JsonString(text);
    return *this;
}

JsonWriter& JsonWriter::Integer(std::int64_t value) {
    BeforeValue();
    text_ += nlohmann::json(value).dump();
    return *this;
}

JsonWriter& JsonWriter::Fixed(double value, int decimals) {
    BeforeValue();
    if (std::isfinite(value))
        AppendFixed(text_, value, decimals);
    else
        text_ += "null";  // JSON has no infinity
    return *this;
}

JsonWriter& JsonWriter::NumberText(std::string_view text) {
    BeforeValue();
    text_ += text;
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}

std::string JsonWriter::TakeText() {
    std::string text;
    text.swap(text_);
    return text;
}

}  // namespace varistrum
