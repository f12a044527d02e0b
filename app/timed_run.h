// SPDX-License-Identifier: GPL-3.0-or-later
// A run of the window without a person: index a log, optionally convert it, and report how long
// each pass took. The benchmark compares these times with the command line's.
#pragma once

#include <QObject>
#include <QString>
#include <QTextStream>

namespace varistrum {

class TMainForm;

class TimedRun : public QObject {
    Q_OBJECT
  public:
    // Messages go to `errors` instead of boxes, so that nothing waits for a click; the times
    // go to `times` when it is given.
    TimedRun(TMainForm& form, QString log, QString output, QTextStream& errors, QTextStream* times);
    ~TimedRun() override;
    // Browses the log; the program ends once the last pass has ended, with status 0 when
    // every pass succeeded.
    void Start();

  private:
    void StartClock();
    // "<pass> <seconds> s, processor <seconds> s": wall and processor time since StartClock.
    void PrintTime(const char* pass);
    void IndexPassShown();
    void StartConversionWhenIdle();
    void Message(int kind, const QString& text);
    void Finish(int status);

    TMainForm& form_;
    QString log_, output_;
    QTextStream& errors_;
    QTextStream* times_;
    qint64 passStart_ = 0;
    double processorStart_ = 0;
    bool converting_ = false;
    bool finished_ = false;
};

}  // namespace varistrum
