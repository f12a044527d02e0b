// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog that adds a tile source to the map's background chooser.
#include "app/tile_source_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/named_widget.h"
#include "app/ui_hooks.h"

namespace varistrum {

TTileSourceDlg::TTileSourceDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TileSourceDlg"));
    setWindowTitle(QStringLiteral("Add Tile Source"));
    edName = Named(new QLineEdit(this), "edName");
    edTemplate = Named(new QLineEdit(this), "edTemplate");
    edTemplate->setPlaceholderText(QStringLiteral("https://host/{z}/{x}/{y}.png"));
    edTemplate->setMinimumWidth(360);
    edAttribution = Named(new QLineEdit(this), "edAttribution");
    edAttribution->setToolTip(
        QStringLiteral("The text the service's terms ask to be shown with its tiles"));
    spMaxZoom = Named(new QSpinBox(this), "spMaxZoom");
    spMaxZoom->setRange(0, kMaxTileZoom);
    spMaxZoom->setValue(19);
    lbProblem = Named(new QLabel(this), "lbProblem");
    lbProblem->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), edName);
    form->addRow(QStringLiteral("Address:"), edTemplate);
    form->addRow(QStringLiteral("Attribution:"), edAttribution);
    form->addRow(QStringLiteral("Maximum zoom:"), spMaxZoom);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lbProblem);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TTileSourceDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TTileSourceDlg::reject);
}

TileSource TTileSourceDlg::Source() const {
    return {StdText(edName->text().trimmed()), StdText(edTemplate->text().trimmed()),
            StdText(edAttribution->text().trimmed()), spMaxZoom->value()};
}

void TTileSourceDlg::SetSource(const TileSource& source) {
    edName->setText(QText(source.name));
    edTemplate->setText(QText(source.urlTemplate));
    edAttribution->setText(QText(source.attribution));
    spMaxZoom->setValue(source.maxZoom);
}

void TTileSourceDlg::accept() {
    if (const auto problem = TileSourceProblem(Source())) {
        lbProblem->setText(QText(*problem) + QLatin1Char('.'));
        return;
    }
    QDialog::accept();
}

}  // namespace varistrum
