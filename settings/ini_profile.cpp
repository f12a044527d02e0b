// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing, editing and saving of an INI profile file.
#include "settings/ini_profile.h"

#include <charconv>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/output_file.h"

namespace varistrum {
namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

bool IsBlank(char c) {
    return kBlanks.find(c) != std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

// ASCII only: bytes above 0x7F are left alone so that 8-bit names compare byte for byte.
std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool IsStorableName(std::string_view s) {
    return !s.empty() && !IsBlank(s.front()) && !IsBlank(s.back()) && !HasLineBreak(s);
}

}  // namespace

IniProfile::IniProfile() {
    Clear();
}

void IniProfile::Clear() {
    text_.clear();
    lineEnd_ = "\r\n";
    sections_.clear();
    sectionIndex_.clear();
}

bool IniProfile::Load(const std::string& path) {
    Clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) return true;
    // Only a regular file is a profile: a folder cannot be read, a named pipe would block the
    // read, and a save would rename its new file over a device.
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    if (std::filesystem::file_size(path, ec) > kMaxBytes || ec) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    text_ = std::move(data);
    Parse();
    return true;
}

void IniProfile::Parse() {
    const std::size_t firstBreak = text_.find('\n');
    if (firstBreak != std::string::npos) {
        lineEnd_ = firstBreak > 0 && text_[firstBreak - 1] == '\r' ? "\r\n" : "\n";
    }
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t current = kNone;  // lines before any header, or in a repeated one, are inert
    std::size_t pos = 0;
    while (pos < text_.size()) {
        const std::size_t nl = text_.find('\n', pos);
        const std::size_t next = nl == std::string::npos ? text_.size() : nl + 1;
        std::size_t end = nl == std::string::npos ? text_.size() : nl;
        if (nl != std::string::npos && end > pos && text_[end - 1] == '\r') --end;
        const std::string_view line = Trim(std::string_view(text_).substr(pos, end - pos));

        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                Trim(line.substr(1, close == line.npos ? line.npos : close - 1));
            auto [it, added] = sectionIndex_.emplace(Lower(name), sections_.size());
            if (added) {
                Section section;
                section.name = std::string(name);
                section.inFile = true;
                section.insertAt = next;
                sections_.push_back(std::move(section));
                current = it->second;
            } else {
                current = kNone;
            }
        } else if (current != kNone && !line.empty() && line.front() != ';') {
            const std::size_t eq = line.find('=');
            const std::string_view key =
                eq == line.npos ? std::string_view() : Trim(line.substr(0, eq));
            if (!key.empty()) {
                Section& section = sections_[current];
                section.insertAt = next;
                if (section.keyIndex.emplace(Lower(key), section.entries.size()).second) {
                    Entry entry;
                    entry.key = std::string(key);
                    entry.value = std::string(Trim(line.substr(eq + 1)));
                    entry.lineBegin = pos;
                    entry.lineEnd = end;
                    entry.inFile = true;
                    section.entries.push_back(std::move(entry));
                }
            }
        }
        pos = next;
    }
}

std::string IniProfile::Text() const {
    std::string out;
    out.reserve(text_.size() + 64);
    const auto endLine = [&out, this] {
        if (!out.empty() && out.back() != '\n') out += lineEnd_;
    };
    const auto putEntry = [&out, this](const Entry& e) {
        out += e.key;
        out += '=';
        out += e.value;
        out += lineEnd_;
    };
    std::size_t pos = 0;
    for (const Section& section : sections_) {
        if (!section.inFile) continue;
        bool appended = false;
        for (const Entry& e : section.entries) {
            if (e.inFile) {
                if (!e.changed) continue;
                out.append(text_, pos, e.lineBegin - pos);
                out += e.key;
                out += '=';
                out += e.value;
                pos = e.lineEnd;
                continue;
            }
            if (!appended) {
                out.append(text_, pos, section.insertAt - pos);
                pos = section.insertAt;
                endLine();  // the section's last line may be the file's last, without a line end
                appended = true;
            }
            putEntry(e);
        }
    }
    out.append(text_, pos);
    for (const Section& section : sections_) {
        if (section.inFile) continue;
        endLine();
        out += '[';
        out += section.name;
        out += ']';
        out += lineEnd_;
        for (const Entry& e : section.entries) putEntry(e);
    }
    return out;
}

bool IniProfile::Save(const std::string& path, std::string* reason) const {
    // A failed write (a full disk) leaves the previous configuration intact; a symbolic link
    // keeps pointing at the saved file.
    std::string why;
    if (WriteWholeFile(path, Text(), kConfigurationOutput, why)) return true;
    if (reason != nullptr) *reason = "Cannot write '" + path + "': " + why;
    return false;
}

const IniProfile::Entry* IniProfile::Find(std::string_view section, std::string_view key) const {
    const auto s = sectionIndex_.find(Lower(section));
    if (s == sectionIndex_.end()) return nullptr;
    const Section& sec = sections_[s->second];
    const auto k = sec.keyIndex.find(Lower(key));
    return k == sec.keyIndex.end() ? nullptr : &sec.entries[k->second];
}

std::string IniProfile::ReadString(std::string_view section, std::string_view key,
                                   std::string_view def) const {
    const Entry* e = Find(section, key);
    return e ? e->value : std::string(def);
}

int IniProfile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    const Entry* e = Find(section, key);
    if (!e) return def;
    std::string_view v = e->value;
    bool negative = false;
    if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    if (v.empty() || v.front() < '0' || v.front() > '9') return def;
    long long magnitude = 0;
    const auto [end, err] = std::from_chars(v.data(), v.data() + v.size(), magnitude);
    if (err != std::errc() || end != v.data() + v.size()) return def;
    const long long value = negative ? -magnitude : magnitude;
    if (value < INT_MIN || value > INT_MAX) return def;
    return static_cast<int>(value);
}

bool IniProfile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniProfile::WriteString(std::string_view section, std::string_view key,
                             std::string_view value) {
    if (!IsStorableName(section) || section.find(']') != std::string_view::npos) return false;
    if (!IsStorableName(key) || key.find('=') != std::string_view::npos || key.front() == '[' ||
        key.front() == ';') {
        return false;
    }
    if (HasLineBreak(value)) return false;

    auto [s, addedSection] = sectionIndex_.emplace(Lower(section), sections_.size());
    if (addedSection) {
        Section fresh;
        fresh.name = std::string(section);
        sections_.push_back(std::move(fresh));
    }
    Section& sec = sections_[s->second];
    auto [k, addedKey] = sec.keyIndex.emplace(Lower(key), sec.entries.size());
    if (addedKey) {
        Entry entry;
        entry.key = std::string(key);
        entry.value = std::string(value);
        sec.entries.push_back(std::move(entry));
        return true;
    }
    Entry& e = sec.entries[k->second];
    if (e.value != value) {
        e.value = std::string(value);
        e.changed = true;
    }
    return true;
}

bool IniProfile::WriteInteger(std::string_view section, std::string_view key, int value) {
    char buf[16];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    return WriteString(section, key,
                       std::string_view(buf, static_cast<std::size_t>(result.ptr - buf)));
}

bool IniProfile::WriteBool(std::string_view section, std::string_view key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

}  // namespace varistrum
