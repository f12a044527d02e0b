// SPDX-License-Identifier: GPL-3.0-or-later
// "Add Tile Source": a name, a tile address with {z}, {x} and {y}, its attribution and its
// maximum zoom, checked before the dialog closes.
#pragma once

#include <QDialog>

#include "settings/tile_sources.h"

class QLabel;
class QLineEdit;
class QSpinBox;

namespace varistrum {

class TTileSourceDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TTileSourceDlg(QWidget* parent = nullptr);

    TileSource Source() const;
    void SetSource(const TileSource& source);

  public slots:
    // Closes the dialog when the source can be used; otherwise says why in the dialog.
    void accept() override;

  private:
    QLineEdit* edName;
    QLineEdit* edTemplate;
    QLineEdit* edAttribution;
    QSpinBox* spMaxZoom;
    QLabel* lbProblem;
};

}  // namespace varistrum
