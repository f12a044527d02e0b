// SPDX-License-Identifier: GPL-3.0-or-later
// Radio group widget.
#include "app/radio_group.h"

#include <QGridLayout>
#include <algorithm>

namespace varistrum {

TRadioGroup::TRadioGroup(const QString& name, const QString& title, const QStringList& items,
                         int columns, QWidget* parent)
    : QGroupBox(title, parent), grid_(new QGridLayout(this)) {
    setObjectName(name);
    const int perColumn = (static_cast<int>(items.size()) + columns - 1) / std::max(columns, 1);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(name + QStringLiteral("Item") + QString::number(i));
        buttons_.addButton(button, i);
        grid_->addWidget(button, i % perColumn, i / perColumn);
    }
    connect(&buttons_, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
}

void TRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* button = buttons_.button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its last checked button directly.
    buttons_.setExclusive(false);
    for (QAbstractButton* button : buttons_.buttons()) button->setChecked(false);
    buttons_.setExclusive(true);
}

QRadioButton* TRadioGroup::Item(int index) const {
    return qobject_cast<QRadioButton*>(buttons_.button(index));
}

}  // namespace varistrum
