// SPDX-License-Identifier: GPL-3.0-or-later
// Gives a widget the control name that tests, configuration code and style sheets find it by.
#pragma once

#include <QLatin1String>

namespace varistrum {

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

}  // namespace varistrum
