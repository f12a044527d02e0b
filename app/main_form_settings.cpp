// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls as a settings model, and the configuration file commands.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include "app/main_form.h"
#include "app/map_window.h"
#include "app/radio_group.h"
#include "app/threshold_dlg.h"
#include "app/traffic_dlg.h"
#include "app/ui_hooks.h"

namespace varistrum {

SettingsModel TMainForm::CurrentSettings() const {
    SettingsModel s;
    s.inputFormat = InputFormatGroup->ItemIndex();
    s.inputFilename = StdText(InputFilename->text());
    s.brindletMode = BrindletMode->ItemIndex();
    s.scanType = ScanTypeGroup->ItemIndex();
    s.receiver1 = Receiver1->isChecked();
    s.receiver2 = Receiver2->isChecked();
    s.frequencyField = FrequencyField->isChecked();
    s.channelField = ChannelField->isChecked();
    s.rssiField = RSSIField->isChecked();
    s.noAvg = NoAvg->isChecked();
    s.bsAvg = BSAvg->isChecked();
    s.delimiter = DelimiterGroup->ItemIndex();
    s.fieldTitles = FieldTitles->isChecked();
    s.availableFields.clear();
    for (int row = 0; row < AvailableBox->count(); ++row)
        s.availableFields.push_back(StdText(AvailableBox->item(row)->text()));
    for (int row = 0; row < SelectedBox->count(); ++row)
        s.selectedFields.push_back(StdText(SelectedBox->item(row)->text()));
    s.selectedTags = SelectedTags();
    s.outputFilename = StdText(OutputFilename->text());
    s.tileSources = tileSources_;

    s.singleFile = rbSingleFile->isChecked();
    s.inFolder = StdText(edInFolder->text());
    s.outFolder = StdText(edOutFolder->text());
    s.inputExt = StdText(cbInputExt->currentText());
    s.outputExt = StdText(edOutputExt->text());
    s.averageLambda = rbLambda->isChecked();
    s.averageLinear = cbLinearPower->isChecked();
    s.traffic = cbTraffic->isChecked();
    s.trafficDistance = trafficRule_.distance;
    s.trafficUnit = static_cast<int>(trafficRule_.unit);
    s.trafficSeconds = trafficRule_.seconds;
    s.threshold = cbThreshold->isChecked();
    s.thresholdField = static_cast<int>(thresholdRule_.field);
    s.thresholdComparator = static_cast<int>(thresholdRule_.comparator);
    s.thresholdValue = thresholdRule_.value;
    s.otherDelimiter = StdText(OtherDelimiter->text());
    s.split = cbSplit->isChecked();
    s.recDrop = cbRecDrop->isChecked();
    s.outageSeconds = StdText(edOutage->text());
    return s;
}

void TMainForm::ApplyStoredSettings(const SettingsModel& s) {
    // The file name first: the index pass that the format starts reads it.
    InputFilename->setText(QText(s.inputFilename));
    SetInputFormatIndex(0);
    SetInputFormatIndex(s.inputFormat);
    BrindletMode->SetItemIndex(s.brindletMode);
    ScanTypeGroup->SetItemIndex(s.scanType);
    Receiver1->setChecked(s.receiver1);
    Receiver2->setChecked(s.receiver2);
    FrequencyField->setChecked(s.frequencyField);
    ChannelField->setChecked(s.channelField);
    RSSIField->setChecked(s.rssiField);
    NoAvg->setChecked(s.noAvg);
    BSAvg->setChecked(s.bsAvg);
    cbLinearPower->setChecked(s.averageLinear);
    cbTraffic->setChecked(s.traffic);
    trafficRule_ = {s.trafficDistance, static_cast<DistanceUnit>(s.trafficUnit), s.trafficSeconds};
    cbThreshold->setChecked(s.threshold);
    thresholdRule_ = {static_cast<ThresholdField>(s.thresholdField),
                      static_cast<Comparator>(s.thresholdComparator), s.thresholdValue};
    DelimiterGroup->SetItemIndex(s.delimiter);
    FieldTitles->setChecked(s.fieldTitles);
    FillAvailableBox(s.availableFields);
    SelectedBox->clear();
    for (std::size_t row = 0; row < s.selectedFields.size(); ++row)
        AddSelectedRow(QText(s.selectedFields[row]),
                       row < s.selectedTags.size() ? s.selectedTags[row] : kNoTag);
    OutputFilename->setText(QText(s.outputFilename));
    tileSources_ = s.tileSources;
    if (mapWindow_ != nullptr) mapWindow_->SetTileSources(tileSources_);
}

void TMainForm::btnTrafficSettingsClick() {
    if (dialogs_.traffic == nullptr) return;
    dialogs_.traffic->SetRule(trafficRule_);
    if (RunModal(*dialogs_.traffic) == QDialog::Accepted) trafficRule_ = dialogs_.traffic->Rule();
}

void TMainForm::btnThresholdSettingsClick() {
    if (dialogs_.threshold == nullptr) return;
    dialogs_.threshold->SetRule(thresholdRule_);
    if (RunModal(*dialogs_.threshold) == QDialog::Accepted)
        thresholdRule_ = dialogs_.threshold->Rule();
}

void TMainForm::OpenConfigurationFile(const QString& path) {
    if (ReaderBusy()) return;
    if (const std::string refusal = ConfigurationRefusal(StdText(path)); !refusal.empty()) {
        varistrum::ReportMessage(MessageKind::Error, QText(refusal));
        return;
    }
    SettingsModel settings = CurrentSettings();
    // Told before the settings apply, and with them an index pass and its wait box start.
    if (const int unknown = OpenConfiguration(StdText(path), settings); unknown > 0)
        varistrum::ReportMessage(MessageKind::Warning, QText(UnknownFieldsText(unknown)));
    ApplyStoredSettings(settings);
}

bool TMainForm::SaveConfigurationFile(const QString& path, QString* reason) {
    // Never over the open log.
    std::vector<std::string> inputs;
    if (!InputFilename->text().isEmpty()) inputs.push_back(StdText(InputFilename->text()));
    std::string why;
    const bool saved = SaveConfiguration(StdText(path), CurrentSettings(), inputs, &why);
    if (!saved && reason != nullptr) *reason = QText(why);
    return saved;
}

}  // namespace varistrum
