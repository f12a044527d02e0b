// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's way into a calibration: View > Calibrate Model... on the input file.
#include <QLineEdit>
#include <QRadioButton>
#include <mutex>

#include "app/calibration_dlg.h"
#include "app/main_form.h"
#include "app/read_off_window.h"
#include "app/scan_tree_view.h"
#include "app/ui_hooks.h"
#include "settings/settings_snapshot.h"

namespace varistrum {

namespace {

// The calibration's messages, kept while it reads off the window's thread and shown after.
class KeptMessages : public JobObserver {
  public:
    void SetProgress(int) override {}
    void ReportMessage(MessageKind kind, const std::string& text) override {
        std::lock_guard lock(mutex_);
        kept_.emplace_back(kind, text);
    }
    void ReportFailure(MessageKind kind, const std::string& text, const std::string& path,
                       const std::string& reason) override {
        std::string line = text;
        if (!path.empty()) line += " '" + path + "'";
        if (!reason.empty()) line += ": " + reason;
        ReportMessage(kind, line);
    }
    // Every error and warning, one box each; information lines are not shown.
    void Show() const {
        for (const auto& [kind, text] : kept_)
            if (kind != MessageKind::Information) varistrum::ReportMessage(kind, QText(text));
    }

  private:
    std::mutex mutex_;
    std::vector<std::pair<MessageKind, std::string>> kept_;
};

}  // namespace

void TMainForm::CalibrateModel1Click() {
    if (ReaderBusy()) return;
    if (!rbSingleFile->isChecked() || InputFilename->text().isEmpty()) {
        varistrum::ReportMessage(
            MessageKind::Error,
            QStringLiteral("A calibration works on the single input file: choose one first."));
        return;
    }
    if (!FrequenciesReady()) return;
    const std::string input = StdText(InputFilename->text());
    if (calibrationDlg_ == nullptr) {
        calibrationDlg_ = new TCalibrationDlg(
            [this](const std::string& sites,
                   const CalibrationOptions& options) -> std::optional<CalibrationResult> {
                // The window's data choices as they are when the button is pressed.
                CalibrationRequest request;
                ConversionSettings settings = ConversionSettingsOf(CurrentSettings());
                settings.convertAllScans = false;
                settings.scans = tvIndex->Model().Snapshot();
                settings.typed = workflow_.TypedChannelCodes();
                request.inputs = {{StdText(InputFilename->text()), std::move(settings)}};
                request.sites = sites;
                request.options = options;
                KeptMessages messages;
                auto run = ReadOffTheWindow(
                    [&] { return workflow_.Calibrate(request, messages, std::stop_token()); });
                messages.Show();
                if (!run || run->outcome != JobOutcome::Completed) return std::nullopt;
                return std::move(run->result);
            },
            this);
    }
    calibrationDlg_->SetInputs({input});
    RunModal(*calibrationDlg_);
}

}  // namespace varistrum
