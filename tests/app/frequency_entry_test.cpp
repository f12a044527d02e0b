// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency entry dialog: ranges, proposals, the checks of typed values and their order.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "app/frequency_entry_form.h"
#include "convert/field_catalog.h"
#include "gui_fixture.h"
#include "logfile/typed_frequencies.h"

namespace varistrum::test {
namespace {

using FrequencyEntryTest = GuiTest;

TEST_F(FrequencyEntryTest, ShowsTheRangesAndProposesTheirMiddles) {
    BrowseAndWait(FrequencyLessLog(dir));
    ASSERT_TRUE(Windows().JobWorkflow().FrequenciesNeeded());
    TFrequencyEntryForm& form = Windows().FrequencyEntryForm();
    EXPECT_EQ(Find<QLabel>("lRx1Info", &form)->text(), "(no receiver information)");
    form.show();
    EXPECT_EQ(form.windowTitle(), "Frequency Information Needed");
    EXPECT_EQ(Find<QLabel>("lRx1Info", &form)->text(), "(800.00000 - 900.00000 MHz)");
    EXPECT_EQ(Find<QLineEdit>("edRx1", &form)->text(), "850.00000");
    EXPECT_EQ(Find<QLabel>("lRx2Info", &form)->text(), "(1800.00000 - 1900.00000 MHz)");
    EXPECT_EQ(Find<QLineEdit>("edRx2", &form)->text(), "1850.00000");
    // Asked while the question is open: nothing typed in yet.
    EXPECT_TRUE(Windows().JobWorkflow().FrequenciesNeeded());
    form.reject();
}

TEST_F(FrequencyEntryTest, ChecksReceiver1ThenReceiver2AndStoresOnlyBoth) {
    BrowseAndWait(FrequencyLessLog(dir));
    TFrequencyEntryForm& form = Windows().FrequencyEntryForm();
    struct Case {
        const char* rx1;
        const char* rx2;
        const char* refusal;  // null: accepted
    };
    const Case cases[] = {
        {"799.9999", "1850", "799.9999 is not in the range of the receiver."},
        {"900.0001", "1850", "900.0001 is not in the range of the receiver."},
        {"700", "5000", "700.0000 is not in the range of the receiver."},
        {"850", "1900.5", "1900.5000 is not in the range of the receiver."},
        {"850", "1799", "1799.0000 is not in the range of the receiver."},
        {"abc", "1850",
         "'abc' is not a valid frequency for Receiver 1. Type the frequency in MHz, for example "
         "850.00000."},
        {"850", "",
         "'' is not a valid frequency for Receiver 2. Type the frequency in MHz, for "
         "example 850.00000."},
        {"800", "1900", nullptr},
        {" 900.00000", "1800", nullptr},
    };
    for (const Case& c : cases) {
        messages.clear();
        form.show();
        const auto typedBefore = Windows().JobWorkflow().TypedChannelCodes();
        Find<QLineEdit>("edRx1", &form)->setText(QString::fromLatin1(c.rx1));
        Find<QLineEdit>("edRx2", &form)->setText(QString::fromLatin1(c.rx2));
        Click("btnDone", &form);
        Workflow& workflow = Windows().JobWorkflow();
        if (c.refusal != nullptr) {
            EXPECT_EQ(messages, std::vector<std::string>{std::string("Error: ") + c.refusal})
                << c.rx1 << " " << c.rx2;
            EXPECT_TRUE(form.isVisible()) << c.rx1;
            EXPECT_TRUE(workflow.FrequenciesNeeded()) << c.rx1;
            EXPECT_EQ(workflow.TypedChannelCodes().has_value(), typedBefore.has_value()) << c.rx1;
            form.reject();
        } else {
            EXPECT_TRUE(messages.empty()) << c.rx1;
            EXPECT_FALSE(form.isVisible()) << c.rx1;
            EXPECT_FALSE(workflow.FrequenciesNeeded()) << c.rx1;
            const double rx1 = std::stod(c.rx1), rx2 = std::stod(c.rx2);
            const auto typed = workflow.TypedChannelCodes();
            ASSERT_TRUE(typed) << c.rx1;
            EXPECT_EQ(typed->receiver1, ChannelNumberOf(rx1, 12.5)) << c.rx1;
            EXPECT_EQ(typed->receiver2, ChannelNumberOf(rx2, 12.5)) << c.rx2;
        }
    }
}

TEST_F(FrequencyEntryTest, ClosingTheQuestionAbortsTheConversion) {
    const std::string log = FrequencyLessLog(dir);
    BrowseAndWait(log);
    SelectField(GpsTime);
    Click("btnConvert");
    EXPECT_EQ(messages, std::vector<std::string>{"Information: Conversion Aborted."});
    EXPECT_FALSE(Form().ReaderBusy());
    EXPECT_FALSE(std::filesystem::exists(dir.File("nofreq.out")));

    // Answered: the conversion runs, and the frequencies serve the next CONVERT unasked.
    messages.clear();
    int asked = 0;
    modal = [&](QDialog& dialog) {
        ++asked;
        dialog.show();
        Click("btnDone", &dialog);
        return dialog.result();
    };
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(messages, (std::vector<std::string>{"Information: Conversion Has Been Completed!",
                                                  "Information: Conversion Has Been Completed!"}));
    EXPECT_TRUE(std::filesystem::exists(dir.File("nofreq.out")));
}

}  // namespace
}  // namespace varistrum::test
