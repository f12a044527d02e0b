// SPDX-License-Identifier: GPL-3.0-or-later
// FILE STATISTICS shows every count whole, whatever its size, in the window's fixed size.
#include "app/statistics_list.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <QTest>

#include "app/ui_hooks.h"
#include "gui_fixture.h"
#include "index/make_index.h"

namespace varistrum::test {
namespace {

using StatisticsListTest = GuiTest;

QStringList LinesWithCount(std::int64_t count) {
    StatisticsCounters counters;
    counters.gpsTotal = counters.gps3dLock = counters.gps2dLock = counters.rx1Single =
        counters.rx2Single = counters.listMode = counters.tableMode = count;
    QStringList lines;
    for (const std::string& line : StatisticsLines(counters)) lines.append(QText(line));
    return lines;
}

TEST_F(StatisticsListTest, CountsOfAnySizeShowWhole) {
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
    auto* list = Find<TStatisticsList>("lbStats");
    ASSERT_NE(list, nullptr);
    const QFont normal = list->font();
    const QSize listSize = list->size();
    // Up to the records a 2 GB log can hold (three bytes each at least), and far beyond.
    for (const std::int64_t count :
         {std::int64_t{0}, std::int64_t{1234567}, std::int64_t{715827882}, std::int64_t{2147483647},
          std::int64_t{9223372036854775807}}) {
        SCOPED_TRACE(count);
        list->SetLines(LinesWithCount(count));
        QCoreApplication::processEvents();
        ASSERT_EQ(list->count(), 7);
        const QFontMetrics metrics(list->font());
        const QRect room = list->viewport()->rect();
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem* item = list->item(row);
            const QRect shown = list->visualItemRect(item);
            EXPECT_TRUE(room.contains(shown)) << item->text().toStdString();
            EXPECT_GE(shown.width(), metrics.horizontalAdvance(item->text()));
        }
        EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
        EXPECT_EQ(list->verticalScrollBar()->maximum(), 0);
        EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
        EXPECT_EQ(list->size(), listSize);
        EXPECT_EQ(Form().size(), QSize(1161, 712));
    }
    // Counts that fit keep the list's own font.
    list->SetLines(LinesWithCount(42));
    EXPECT_EQ(list->font(), normal);
}

}  // namespace
}  // namespace varistrum::test
