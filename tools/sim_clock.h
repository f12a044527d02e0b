// SPDX-License-Identifier: GPL-3.0-or-later
// Date and time of day of the simulated drive, carried across midnight and month ends.
#pragma once

namespace varistrum::sim {

struct SimClock {
    int year = 2026, month = 6, day = 15;
    int secondOfDay = 0;

    int Hours() const { return secondOfDay / 3600; }
    int Minutes() const { return secondOfDay / 60 % 60; }
    int Seconds() const { return secondOfDay % 60; }

    void Tick() {
        if (++secondOfDay < 86400) return;
        secondOfDay = 0;
        if (++day <= DaysInMonth()) return;
        day = 1;
        if (++month <= 12) return;
        month = 1;
        ++year;
    }

    int DaysInMonth() const {
        static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return month == 2 && leap ? 29 : kDays[month - 1];
    }
};

}  // namespace varistrum::sim
