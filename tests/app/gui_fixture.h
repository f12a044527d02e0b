// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh set of windows per test, with the user's answers scripted and the messages recorded.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/varistrum_app.h"
#include "support/test_files.h"

namespace varistrum::test {

class GuiTest : public ::testing::Test {
  public:
    GuiTest();
    ~GuiTest() override;

    TMainForm& Form() { return windows_->MainForm(); }
    TVaristrumWindows& Windows() { return *windows_; }

    // A control of the main window (or of `root`) by its name; fails the test when missing.
    template <typename T>
    T* Find(const char* name, QObject* root = nullptr) {
        T* child = (root != nullptr ? root : &Form())->findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    void Click(const char* buttonName, QObject* root = nullptr);
    // Keeps events flowing until no worker uses the reader and the window knows it; false on a
    // time-out.
    bool WaitIdle(int timeoutMs = 60000);
    // Browse with a chosen file, then wait for the index pass.
    void BrowseAndWait(const std::string& path);
    // Appends the Available Fields row of `tag` to Selected Fields with ">".
    void SelectField(int tag);
    // Answers the next folder chooser with `folder` and OK.
    void AnswerFolder(const std::string& folder);

    // Recorded messages: "Caption: text".
    std::vector<std::string> messages;
    // How a modal dialog is answered; by default it is shown and closed (rejected).
    std::function<int(QDialog&)> modal;
    // Paths the file choosers answer, in order; an empty queue cancels.
    std::deque<QString> paths;
    bool mapLayerProvenance = false;  // the export dialog's provenance check box
    // Texts of the two-button boxes shown, and how they are answered (true: the first button).
    std::vector<std::string> confirmations;
    bool confirmAnswer = true;
    TempDir dir;

  private:
    std::unique_ptr<TVaristrumWindows> windows_;
};

// A log whose receivers have 800-900 and 1800-1900 MHz plans, receiver data and no frequencies.
std::string FrequencyLessLog(const TempDir& dir, const std::string& name = "nofreq.klf");

// Runs varistrum-cli with the arguments; its exit status.
int RunCli(const std::string& arguments);

}  // namespace varistrum::test
