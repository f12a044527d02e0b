// SPDX-License-Identifier: GPL-3.0-or-later
// Window settings -> conversion settings.
#include "settings/settings_snapshot.h"

namespace varistrum {

ConversionSettings ConversionSettingsOf(const SettingsModel& window) {
    ConversionSettings settings;
    settings.delimiterChoice = window.delimiter;
    settings.otherDelimiter = window.otherDelimiter;
    settings.fieldTitles = window.fieldTitles;
    settings.selectedTitles = window.selectedFields;
    settings.selectedTags = window.selectedTags;
    settings.selectedTags.resize(settings.selectedTitles.size(), kNoTag);
    settings.columns = {window.frequencyField, window.channelField, window.rssiField};
    settings.averageType = AverageTypeOf(window.averageLambda, window.bsAvg);
    settings.averageLinearPower = window.averageLinear;
    settings.split = window.split;
    settings.dropOutages = window.recDrop;
    settings.outageSeconds = ParseOutageSeconds(window.outageSeconds).value_or(0);
    settings.dropStandingStill = window.traffic;
    settings.standStill = {window.trafficDistance, static_cast<DistanceUnit>(window.trafficUnit),
                           window.trafficSeconds};
    settings.threshold = window.threshold;
    settings.thresholdRule = {static_cast<ThresholdField>(window.thresholdField),
                              static_cast<Comparator>(window.thresholdComparator),
                              window.thresholdValue};
    settings.receivers = {window.receiver1, window.receiver2};
    settings.convertAllScans = !window.singleFile;
    return settings;
}

}  // namespace varistrum
