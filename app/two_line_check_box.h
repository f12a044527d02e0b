// SPDX-License-Identifier: GPL-3.0-or-later
// A check box that shows its text on two lines (broken at the blank nearest the middle), so a
// long caption fits a narrow group; its text() stays the caption as given.
#pragma once

#include <QCheckBox>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace varistrum {

class TTwoLineCheckBox : public QCheckBox {
  public:
    TTwoLineCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

    QSize sizeHint() const override {
        QStyleOptionButton option;
        initStyleOption(&option);
        const QSize text = fontMetrics().size(Qt::TextShowMnemonic, Shown());
        return style()->sizeFromContents(QStyle::CT_CheckBox, &option, text, this);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text = Shown();
        painter.drawControl(QStyle::CE_CheckBox, option);
    }
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

  private:
    QString Shown() const {
        const QString caption = text();
        int best = -1;
        for (int i = 0; i < caption.size(); ++i) {
            if (caption[i] == ' ' && (best < 0 || std::abs(2 * i - caption.size()) <
                                                      std::abs(2 * best - caption.size())))
                best = i;
        }
        if (best < 0) return caption;
        return caption.left(best) + '\n' + caption.mid(best + 1);
    }
};

}  // namespace varistrum
