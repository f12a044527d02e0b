// SPDX-License-Identifier: GPL-3.0-or-later
// Wait box.
#include "app/wait_dlg.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

namespace varistrum {

TWaitDlg::TWaitDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("WaitDlg"));
    setWindowTitle(QStringLiteral("Wait"));
    setFixedSize(313, 136);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::StyledPanel);
    bevel->setFrameShadow(QFrame::Sunken);
    Label1 = new QLabel(QStringLiteral("Please Wait While the File is Indexed!"), bevel);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    ProgressBar = new QProgressBar(bevel);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);

    auto* inner = new QVBoxLayout(bevel);
    inner->addStretch();
    inner->addWidget(Label1);
    inner->addSpacing(8);
    inner->addWidget(ProgressBar);
    inner->addStretch();
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(bevel);
}

void TWaitDlg::ShowCentred() {
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : this->screen();
    if (screen != nullptr) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
}

void TWaitDlg::SetGauge(int percent) {
    ProgressBar->setValue(percent);
}

int TWaitDlg::Gauge() const {
    return ProgressBar->value();
}

}  // namespace varistrum
