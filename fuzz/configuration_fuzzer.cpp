// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as a configuration file, opened, edited and saved back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/field_catalog.h"
#include "fuzz/fuzz_scratch.h"
#include "settings/configuration.h"
#include "settings/ini_profile.h"

namespace {

using namespace varistrum;

// The settings a configuration file stores.
bool SameStored(const SettingsModel& a, const SettingsModel& b) {
    return a.inputFormat == b.inputFormat && a.inputFilename == b.inputFilename &&
           a.brindletMode == b.brindletMode && a.scanType == b.scanType &&
           a.receiver1 == b.receiver1 && a.receiver2 == b.receiver2 &&
           a.frequencyField == b.frequencyField && a.channelField == b.channelField &&
           a.rssiField == b.rssiField && a.noAvg == b.noAvg && a.bsAvg == b.bsAvg &&
           a.delimiter == b.delimiter && a.fieldTitles == b.fieldTitles &&
           a.availableFields == b.availableFields && a.selectedFields == b.selectedFields &&
           a.selectedTags == b.selectedTags && a.outputFilename == b.outputFilename;
}

void CheckOpened(const SettingsModel& s) {
    if (s.inputFormat < 0 || s.inputFormat > 9 || s.brindletMode < 0 || s.brindletMode > 2 ||
        s.scanType < 0 || s.scanType > 1 || s.delimiter < 0 || s.delimiter > 4)
        fuzz::PropertyFailed("a radio group index outside its group");
    if (s.receiver1 == s.receiver2 || s.noAvg == s.bsAvg)
        fuzz::PropertyFailed("a radio pair with both or neither button checked");
    if (s.selectedFields.size() != s.selectedTags.size() ||
        s.selectedFields.size() > static_cast<std::size_t>(kMaxConfigurationRows) ||
        s.availableFields.size() > static_cast<std::size_t>(kMaxConfigurationRows))
        fuzz::PropertyFailed("field lists out of bounds");
    // Only catalog names reach the header record.
    for (const auto* list : {&s.availableFields, &s.selectedFields}) {
        for (const std::string& name : *list) {
            if (FieldTagOf(name) < 0) fuzz::PropertyFailed("a field row outside the catalog");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteScratch("in.cfg", data, size);
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    SettingsModel opened;
    OpenConfiguration(path, opened);
    CheckOpened(opened);

    // Nothing written: the profile gives back the file byte for byte.
    IniProfile profile;
    if (!profile.Load(path)) fuzz::PropertyFailed("a readable file did not load");
    if (profile.Text() != bytes) fuzz::PropertyFailed("an untouched profile changed its text");

    // Entries written with values taken from the input read back as written after a save.
    const std::string value(bytes.substr(0, std::min<std::size_t>(bytes.size(), 40)));
    const bool stored = profile.WriteString("Fuzz", "Value", value);
    const bool storedOther = profile.WriteInteger("InputFormat", "Product", static_cast<int>(size));
    const std::string copy = fuzz::ScratchPath("copy.cfg");
    if (!profile.Save(copy)) fuzz::PropertyFailed("a profile could not be saved");
    IniProfile reread;
    if (!reread.Load(copy)) fuzz::PropertyFailed("a saved profile did not load");
    if (stored) {
        const std::size_t first = value.find_first_not_of(" \t\r\v\f");
        const std::size_t last = value.find_last_not_of(" \t\r\v\f");
        const std::string trimmed =
            first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
        if (reread.ReadString("Fuzz", "Value", "-") != trimmed)
            fuzz::PropertyFailed("a written string did not read back");
    }
    if (storedOther && reread.ReadInteger("InputFormat", "Product", -1) != static_cast<int>(size))
        fuzz::PropertyFailed("a written integer did not read back");

    // Saving the opened settings over the file and opening it again restores them.
    if (SaveConfiguration(path, opened)) {
        SettingsModel again;
        OpenConfiguration(path, again);
        if (!SameStored(opened, again)) fuzz::PropertyFailed("saved settings did not open again");
    }
    return 0;
}
