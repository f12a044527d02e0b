// SPDX-License-Identifier: GPL-3.0-or-later
// An INI profile file kept in memory: read and write values by section and key, save back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varistrum {

// Profile-file semantics: sections and keys match without regard to ASCII case, the first
// occurrence of a section or key wins, an existing key is rewritten in place, a new key goes
// after the last entry of its section and a new section at the end of the file. Every line the
// writes do not touch is saved byte for byte, with the line ends the file had. Bytes are not
// converted (8-bit clean).
class IniProfile {
  public:
    // No profile is larger: a bigger file is not read (its parse would hold several times its
    // size in memory).
    static constexpr std::uintmax_t kMaxBytes = 1 << 20;

    IniProfile();

    // Replaces the contents with the file's. A missing file gives an empty profile and true;
    // false when the file exists but cannot be read or is larger than kMaxBytes (the profile is
    // then empty).
    bool Load(const std::string& path);

    // Writes the whole profile through a temporary file renamed over the target (a link is
    // followed, a device or named pipe refused); false on any failure, with the reason when
    // `reason` is given, in which case an existing file is left as it was.
    bool Save(const std::string& path, std::string* reason = nullptr) const;

    // The text the profile would save.
    std::string Text() const;

    // The value with blanks around it removed (so a value's edge blanks do not survive a save
    // and load); `def` when the section or key is missing.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    // `def` when the value is missing, not a decimal number (blanks and a sign allowed) or
    // outside the int range.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    // True when the integer value is not 0.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    // False (and nothing changes) when the entry cannot be stored as one line that reads back
    // the same: an empty or blank-edged section or key, a line break anywhere, ']' in a
    // section, '=' in a key, or a key starting with '[' or ';'.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view key, int value);
    bool WriteBool(std::string_view section, std::string_view key, bool value);

  private:
    struct Entry {
        std::string key;            // spelling as in the file, or as first written
        std::string value;          // trimmed
        std::size_t lineBegin = 0;  // span of the line in text_, without its line end
        std::size_t lineEnd = 0;
        bool inFile = false;   // false: appended at the section's insertion point
        bool changed = false;  // an in-file line to rewrite on save
    };
    struct Section {
        std::string name;
        bool inFile = false;
        std::size_t insertAt = 0;    // where new keys go in text_ (after the last entry line)
        std::vector<Entry> entries;  // in-file entries in file order, then appended ones
        std::unordered_map<std::string, std::size_t> keyIndex;  // lowered key -> entries index
    };

    void Clear();
    void Parse();
    const Entry* Find(std::string_view section, std::string_view key) const;

    std::string text_;               // the loaded file, untouched
    std::string lineEnd_;            // line end for new lines
    std::vector<Section> sections_;  // file order, then appended sections
    std::unordered_map<std::string, std::size_t> sectionIndex_;  // lowered name -> sections_
};

}  // namespace varistrum
