// SPDX-License-Identifier: GPL-3.0-or-later
// GUI test fixture.
#include "gui_fixture.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include "app/ui_hooks.h"
#include "convert/field_catalog.h"
#include "tools/log_builder.h"

namespace varistrum::test {

GuiTest::GuiTest() {
    Hooks().message = [this](MessageKind kind, const QString& text) {
        messages.push_back(std::string(MessageCaption(kind)) + ": " + text.toStdString());
    };
    Hooks().runModal = [this](QDialog& dialog) {
        if (modal) return modal(dialog);
        // The user looks at the dialog and closes it.
        dialog.show();
        dialog.reject();
        return dialog.result();
    };
    Hooks().choosePath = [this](PathPrompt, QWidget*, const QString&) {
        if (paths.empty()) return QString();
        QString path = paths.front();
        paths.pop_front();
        return path;
    };
    Hooks().chooseMapLayer = [this](QWidget*, const QString&) {
        MapLayerChoice choice;
        if (paths.empty()) return choice;
        choice.path = paths.front();
        choice.provenance = mapLayerProvenance;
        paths.pop_front();
        return choice;
    };
    Hooks().confirm = [this](const QString& text, const QString&, const QString&) {
        confirmations.push_back(text.toStdString());
        return confirmAnswer;
    };
    windows_ = std::make_unique<TVaristrumWindows>();
}

GuiTest::~GuiTest() {
    windows_.reset();
    ResetHooks();
}

void GuiTest::Click(const char* buttonName, QObject* root) {
    auto* button = Find<QAbstractButton>(buttonName, root);
    if (button != nullptr) button->click();
}

bool GuiTest::WaitIdle(int timeoutMs) {
    // Idle once the workers have ended and the window has enabled its controls again.
    auto* convert = Form().findChild<QWidget*>(QStringLiteral("btnConvert"));
    return QTest::qWaitFor([&] { return !Form().ReaderBusy() && convert->isEnabled(); }, timeoutMs);
}

void GuiTest::BrowseAndWait(const std::string& path) {
    paths.push_back(QString::fromStdString(path));
    Click("InBrowse");
    ASSERT_TRUE(WaitIdle());
}

void GuiTest::SelectField(int tag) {
    auto* available = Find<QListWidget>("AvailableBox");
    const auto items = available->findItems(
        QString::fromUtf8(FieldName(tag).data(), FieldName(tag).size()), Qt::MatchExactly);
    ASSERT_FALSE(items.isEmpty()) << tag;
    available->setCurrentItem(items.front());
    Click("SelectField");
}

void GuiTest::AnswerFolder(const std::string& folder) {
    modal = [folder, this](QDialog& dialog) {
        Find<QLineEdit>("edFolder", &dialog)->setText(QString::fromStdString(folder));
        Click("btnOk", &dialog);
        return dialog.result();
    };
}

std::string FrequencyLessLog(const TempDir& dir, const std::string& name) {
    // 12.5 kHz steps (3200 / 256 kHz): channel 64000 is 800 MHz, 72000 is 900 MHz.
    const FrequencyPlan rx1{64000, 72000, 3200, 0};
    const FrequencyPlan rx2{144000, 152000, 3200, 0};
    sim::LogBuilder log(8);
    log.Config(3, rx1, rx2);
    const int levels[4] = {-60, -62, -64, -66};
    for (int second = 0; second < 4; ++second) {
        sim::GpsFix fix;
        fix.seconds = second;
        fix.latitudeMas = 144000000 + second * 1000;
        fix.longitudeMas = -270000000 + second * 1000;
        log.Gps(fix).Samples(1, levels).Samples(2, levels);
    }
    const std::string path = dir.File(name);
    log.Save(path);
    return path;
}

int RunCli(const std::string& arguments) {
    return RunCommand(std::string(VARISTRUM_CLI) + " " + arguments + " >/dev/null 2>&1");
}

}  // namespace varistrum::test
