// SPDX-License-Identifier: GPL-3.0-or-later
// Statistics list.
#include "app/statistics_list.h"

namespace varistrum {

namespace {

constexpr double kSmallestPointSize = 4.0;
constexpr double kPointStep = 0.5;

}  // namespace

TStatisticsList::TStatisticsList(QWidget* parent) : QListWidget(parent), normal_(font()) {
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    // A count is never cut off or hidden behind a scroll bar: the font makes room instead.
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
}

void TStatisticsList::SetLines(const QStringList& lines) {
    clear();
    addItems(lines);
    FitFont();
}

void TStatisticsList::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    FitFont();
}

bool TStatisticsList::LinesFit() const {
    if (count() == 0) return true;
    // The item sizes that the list lays out: beside each other without a horizontal scroll
    // bar, below each other without a vertical one.
    return sizeHintForColumn(0) <= viewport()->width() &&
           count() * sizeHintForRow(0) <= viewport()->height();
}

void TStatisticsList::FitFont() {
    QFont fitted = normal_;
    setFont(fitted);
    if (fitted.pointSizeF() <= 0) return;  // a font sized in pixels is kept as it is
    while (fitted.pointSizeF() > kSmallestPointSize && !LinesFit()) {
        fitted.setPointSizeF(fitted.pointSizeF() - kPointStep);
        setFont(fitted);
    }
}

}  // namespace varistrum
