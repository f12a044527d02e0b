// SPDX-License-Identifier: GPL-3.0-or-later
// A calibration on the one job runner, and its files as one set.
#include "workflow/calibration_job.h"

#include "base/number_format.h"
#include "base/output_set.h"
#include "calibration/calibration_format.h"
#include "calibration/calibration_output.h"
#include "calibration/residual_layer.h"
#include "convert/filter_counts.h"
#include "workflow/workflow.h"

namespace varistrum {

namespace {

constexpr const char* kOutputInaccessible = "Output File Cannot Be Accessed!";
constexpr std::size_t kChannelsNamed = 10;  // in the message of a drive that matched no site

// The passes of a calibration on one gauge: pass k of n shows as k/n of the way and on.
class PassProgress : public JobObserver {
  public:
    PassProgress(JobObserver& observer, int passes)
        : observer_(observer), passes_(passes > 0 ? passes : 1) {}
    void NextPass() { ++pass_; }
    void SetProgress(int percent) override {
        const int total = (pass_ * 100 + percent) / passes_;
        if (total == shown_) return;
        shown_ = total;
        observer_.SetProgress(total);
    }
    void ReportMessage(MessageKind kind, const std::string& text) override {
        observer_.ReportMessage(kind, text);
    }
    void ReportFailure(MessageKind kind, const std::string& text, const std::string& path,
                       const std::string& reason) override {
        observer_.ReportFailure(kind, text, path, reason);
    }
    void ReportDamage(const std::string& path, const DamageCounters& damage) override {
        observer_.ReportDamage(path, damage);
    }

  private:
    JobObserver& observer_;
    int passes_;
    int pass_ = 0;
    int shown_ = -1;
};

// Why nothing could be fitted: no local means at all, or none of a channel with a site.
std::string NothingFittedText(const CalibrationResult& result) {
    if (result.localMeans == 0)
        return "The drive has no 40-lambda local means to calibrate with: they come from "
               "single-frequency scans timed by GPS.";
    std::string text = "No channel of the drive matches a row of '" + result.sites.path +
                       "' (by frequency within half a channel step, or by channel number); "
                       "the drive's channels:";
    for (std::size_t i = 0; i < result.unmatched.size() && i < kChannelsNamed; ++i) {
        const UnmatchedChannel& u = result.unmatched[i];
        text += ' ';
        if (u.frequencyMHz > 0.0) {
            AppendFixed(text, u.frequencyMHz, 3);
            text += " MHz";
        } else {
            text += "unknown frequency";
        }
        text += " (channel " + std::to_string(u.channel) + "),";
    }
    if (result.unmatched.size() > kChannelsNamed)
        text += " and " + std::to_string(result.unmatched.size() - kChannelsNamed) + " more,";
    text.back() = '.';
    return text;
}

struct SetIndices {
    std::optional<std::size_t> report, plot, residuals;
};

SetIndices AddFiles(OutputSet& set, const CalibrationFiles& files) {
    SetIndices at;
    if (!files.report.empty()) at.report = set.Add(files.report, kCalibrationReportOutput);
    if (!files.plot.empty()) at.plot = set.Add(files.plot, kPngOutput);
    if (!files.residuals.empty()) at.residuals = set.Add(files.residuals, kResidualLayerOutput);
    return at;
}

CalibrationFilesFailure Inaccessible(const OutputSet& set) {
    return {kOutputInaccessible, set.FailedPath(), set.FailureReason()};
}

}  // namespace

std::optional<FilesRefusal> CheckCalibrationFiles(const CalibrationFiles& files,
                                                  const std::vector<std::string>& logs,
                                                  const std::string& sites) {
    OutputSet set;
    AddFiles(set, files);
    if (set.Size() == 0) return std::nullopt;
    if (const auto refusal = set.Check()) return FilesRefusal{refusal->message, refusal->path};
    for (const std::string& path : set.Paths()) {
        if (!sites.empty() && SameFile(path, sites))
            return FilesRefusal{"The output file is the sites file.", path};
    }
    JobFileList list;
    list.inputs = logs;
    list.outputs = {set.Paths()};
    return CheckJobFiles(list);
}

const CalibrationFit* PlottedFit(const CalibrationResult& result, const std::string& site) {
    // Each site's fits end with its pooled one, which counts all its points.
    const CalibrationFit* chosen = nullptr;
    for (const CalibrationFit& fit : result.fits) {
        if (!fit.pooled) continue;
        if (!site.empty() ? fit.site == site : chosen == nullptr || fit.points > chosen->points)
            chosen = &fit;
        if (!site.empty() && chosen != nullptr) break;
    }
    if (chosen == nullptr || chosen->rows.size() > 1) return chosen;
    for (const CalibrationFit& fit : result.fits) {
        if (!fit.pooled && fit.site == chosen->site) return &fit;
    }
    return chosen;
}

std::optional<CalibrationFilesFailure> WriteCalibrationFiles(const CalibrationResult& result,
                                                             const CalibrationFiles& files,
                                                             const PlotEncoder& plot) {
    OutputSet set;
    const SetIndices at = AddFiles(set, files);
    if (const auto refusal = set.Check())
        return CalibrationFilesFailure{refusal->message, refusal->path, {}};
    // Everything that can fail without a file is done before one is opened.
    std::string png;
    if (at.plot) {
        const CalibrationFit* fit = PlottedFit(result, files.plotSite);
        if (fit == nullptr) {
            return CalibrationFilesFailure{
                files.plotSite.empty() ? "No site has a fit to plot."
                                       : "The site '" + files.plotSite + "' has no fit to plot.",
                files.plot,
                {}};
        }
        std::string reason;
        if (!plot || !plot(result, *fit, files.plotWidth, files.plotHeight, png, reason))
            return CalibrationFilesFailure{"The plot cannot be drawn.", files.plot, reason};
    }
    if (at.report) {
        OutputFile* report = set.Stream(*at.report);
        if (report == nullptr) return Inaccessible(set);
        report->Write(files.json ? CalibrationJson(result) : CalibrationText(result));
    }
    if (at.plot) {
        OutputFile* picture = set.Stream(*at.plot);
        if (picture == nullptr) return Inaccessible(set);
        picture->Write(png);
    }
    if (at.residuals) {
        StagedFile* layer = set.WorkFile(*at.residuals);
        if (layer == nullptr) return Inaccessible(set);
        if (std::string error = CreateResidualLayer(result, layer->WorkPath(), files.residuals);
            !error.empty())
            return CalibrationFilesFailure{std::move(error), {}, {}};
    }
    if (!set.Commit()) return Inaccessible(set);
    return std::nullopt;
}

CalibrationRun Workflow::Calibrate(const CalibrationRequest& request, JobObserver& observer,
                                   std::stop_token stop) {
    CalibrationRun run;
    run.outcome = JobOutcome::Failed;
    if (request.inputs.empty()) {
        observer.ReportMessage(MessageKind::Error, "No log to calibrate with.");
        return run;
    }
    if (const std::string problem = CheckCalibrationOptions(request.options); !problem.empty()) {
        observer.ReportMessage(MessageKind::Error, "The calibration cannot run: " + problem + '.');
        return run;
    }
    SitesFile sites;
    if (const std::string error = ReadSitesFile(request.sites, sites); !error.empty()) {
        observer.ReportMessage(MessageKind::Error, error);
        return run;
    }
    std::vector<std::string> names;
    for (const CalibrationInput& input : request.inputs) names.push_back(input.path);
    // The threshold is the data choices' only setting a calibration leaves out: it says so once.
    for (const CalibrationInput& input : request.inputs) {
        if (!input.settings.threshold) continue;
        observer.ReportMessage(MessageKind::Information,
                               ThresholdNotAppliedText(input.settings.thresholdRule));
        break;
    }
    CalibrationCollector collector(std::move(sites), request.options);
    CalibrationOutput means(collector, names);
    NoiseFloorOutput floors;
    // Without a floor among the options, each log's own levels give it: one more read.
    const bool floorPass = !request.options.noiseFloorDbm;
    const std::size_t count = request.inputs.size();
    PassProgress progress(observer, static_cast<int>(count) * (floorPass ? 2 : 1));
    const auto ended = [&](const FileOutcome& read) {
        if (read.outcome == JobOutcome::Failed) {
            ReportFileFailure(read, observer);
            return true;
        }
        if (read.outcome == JobOutcome::Cancelled || stop.stop_requested()) {
            observer.ReportMessage(MessageKind::Information, "Calibration Cancelled.");
            run.outcome = JobOutcome::Cancelled;
            return true;
        }
        return false;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const CalibrationInput& input = request.inputs[i];
        const IdentifiedLog log = Identify(input.path);
        if (!log.Recognised()) {
            observer.ReportFailure(MessageKind::Error, log.refusal, input.path, log.reason);
            return run;
        }
        reader_.SetInputFormat(log.format);
        const JobSpec job{names, JobKind::SingleFile, CalibrationSettingsOf(input.settings), 1};
        if (const auto problem = job.settings.Problem()) {
            observer.ReportMessage(MessageKind::Error, *problem);
            return run;
        }
        if (floorPass) {
            const JobSpec floorJob{names, JobKind::SingleFile, NoiseFloorSettingsOf(input.settings),
                                   1};
            JobOutput* const passOutputs[] = {&floors};
            if (ended(ConvertJobInput(reader_, floorJob, i, passOutputs, progress, stop)))
                return run;
            means.SetFloors(i, floors.TakeFloors());
            progress.NextPass();
        }
        JobOutput* const outputs[] = {&means};
        const FileOutcome read = ConvertJobInput(reader_, job, i, outputs, progress, stop);
        ReportFileDamage(read, count > 1 ? input.path : std::string(), observer);
        if (ended(read)) return run;
        progress.NextPass();
    }
    CalibrationResult result = collector.Finish();
    if (result.fits.empty()) {
        observer.ReportMessage(MessageKind::Error, NothingFittedText(result));
        run.result = std::move(result);
        return run;
    }
    run.outcome = JobOutcome::Completed;
    run.result = std::move(result);
    return run;
}

}  // namespace varistrum
