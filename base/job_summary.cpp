// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of a folder job's closing report.
#include "base/job_observer.h"

namespace varistrum {

namespace {

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string DamageText(const DamageCounters& damage) {
    return std::to_string(damage.damagedRecords) + " damaged record(s), " +
           std::to_string(damage.skippedBytes) + " byte(s) skipped";
}

std::string JobSummary::SkippedLines() const {
    std::string lines;
    for (const FileReport& file : files) {
        if (file.state != FileReport::State::Skipped) continue;
        if (!lines.empty()) lines += '\n';
        lines += "Skipped " + NameOf(file.input) + ": " + file.reason;
    }
    return lines;
}

std::string JobSummary::CountsLine() const {
    using State = FileReport::State;
    std::string line = std::to_string(Count(State::Converted)) + " converted";
    const std::pair<State, const char*> others[] = {{State::Skipped, " skipped"},
                                                    {State::Failed, " failed"},
                                                    {State::Partial, " partial"},
                                                    {State::NotStarted, " not started"}};
    for (const auto& [state, text] : others) {
        if (const int n = Count(state); n > 0 || state == State::Skipped)
            line += ", " + std::to_string(n) + text;
    }
    return line;
}

}  // namespace varistrum
