// SPDX-License-Identifier: GPL-3.0-or-later
// A titled group of radio buttons addressed by item index, as the configuration file stores them.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>

class QGridLayout;

namespace varistrum {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
  public:
    // Items are laid out in `columns` columns and named `name` + "Item" + index.
    TRadioGroup(const QString& name, const QString& title, const QStringList& items, int columns,
                QWidget* parent = nullptr);

    int ItemIndex() const { return buttons_.checkedId(); }
    // Checks item `index` (-1 unchecks all); emits no Clicked.
    void SetItemIndex(int index);
    int Count() const { return static_cast<int>(buttons_.buttons().size()); }
    QRadioButton* Item(int index) const;
    QGridLayout* Grid() const { return grid_; }

  signals:
    // The user picked item `index`.
    void Clicked(int index);

  private:
    QButtonGroup buttons_;
    QGridLayout* grid_;
};

}  // namespace varistrum
