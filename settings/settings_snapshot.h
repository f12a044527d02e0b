// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion settings that the window's controls stand for, frozen when CONVERT is pressed.
#pragma once

#include "convert/conversion_settings.h"
#include "settings/configuration.h"

namespace varistrum {

// Everything but the scan selection, which the caller takes from its scan tree. An outage
// text that is no whole number of seconds from 1 to 86400 gives 0 seconds, which the job refuses.
ConversionSettings ConversionSettingsOf(const SettingsModel& window);

}  // namespace varistrum
