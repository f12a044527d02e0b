// SPDX-License-Identifier: GPL-3.0-or-later
// The FILE STATISTICS list: seven record counts that are read whole at any count, in a list of
// fixed size. Its font shrinks only as far as the widest line needs.
#pragma once

#include <QListWidget>

namespace varistrum {

class TStatisticsList : public QListWidget {
    Q_OBJECT
  public:
    explicit TStatisticsList(QWidget* parent = nullptr);
    // Replaces the lines and fits the font to them.
    void SetLines(const QStringList& lines);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void FitFont();
    bool LinesFit() const;

    QFont normal_;  // the list's own font, used whenever the lines fit in it
};

}  // namespace varistrum
