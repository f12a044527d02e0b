// SPDX-License-Identifier: GPL-3.0-or-later
// Everything a conversion reads, frozen when it starts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/field_catalog.h"
#include "filters/stop_finder.h"
#include "filters/threshold_stage.h"
#include "logfile/decode_result.h"
#include "logfile/log_reader.h"
#include "logfile/scan_selection.h"
#include "logfile/typed_codes.h"

namespace varistrum {

// Items of the Field Delimiter choice.
enum DelimiterChoice : int { kComma = 0, kSemiColon = 1, kTab = 2, kSpace = 3, kOther = 4 };

inline constexpr int kSplitLines = 60000;  // lines per part file

struct ConversionSettings {
    int delimiterChoice = kComma;
    std::string otherDelimiter = ":";
    bool fieldTitles = true;
    std::vector<std::string> selectedTitles;  // texts of the Selected Fields rows
    std::vector<int> selectedTags;            // their catalog tags, one per row
    DataColumns columns;
    int averageType = kAverageNone;
    bool averageLinearPower = false;  // 40-lambda bins average power in mW, not dBm
    bool split = false;
    bool dropOutages = false;
    int outageSeconds = 30;
    bool dropStandingStill = false;  // the data of every stop (see StopFinder) is dropped
    StandStillRule standStill;
    bool threshold = false;  // rows that do not meet the rule are dropped
    ThresholdRule thresholdRule;
    ReceiverChoice receivers;
    bool convertAllScans = false;
    ScanSelectionSnapshot scans;
    bool toStandardOutput = false;    // the text goes to standard output, not to the output file
    std::optional<TypedCodes> typed;  // typed-in frequencies of logs that lack them

    // The delimiter byte: the Other text's first character, '@' for an unknown choice.
    char Delimiter() const;
    // A text for the user when the settings cannot be converted with; nullopt when they can.
    std::optional<std::string> Problem() const;
    // Why an Other delimiter text is not one character, if it is not.
    static std::optional<std::string> OtherDelimiterLengthProblem(std::string_view text);
};

// Average type from the window's choices: 40 Lambda wins over Best Server.
inline int AverageTypeOf(bool lambda, bool bestServer) {
    return lambda ? kAverageLambda : bestServer ? kAverageBestServer : kAverageNone;
}

// Whole seconds of at least 1 (and at most a day); nullopt for any other text.
std::optional<int> ParseOutageSeconds(const std::string& text);

}  // namespace varistrum
