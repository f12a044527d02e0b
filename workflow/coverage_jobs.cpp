// SPDX-License-Identifier: GPL-3.0-or-later
// A drive binned for the caller, and two drives compared.
#include "workflow/coverage_jobs.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "base/resource_error.h"
#include "bins/area_shares.h"
#include "bins/coverage_geopackage.h"
#include "bins/coverage_raster.h"
#include "convert/convert_job.h"

namespace varistrum {

namespace {

constexpr const char* kOutputInaccessible = "Output File Cannot Be Accessed!";

// Reports how one drive's pass ended; false when the comparison cannot go on.
bool DriveRead(const BinnedDrive& drive, const char* name, const std::string& input,
               JobObserver& observer) {
    ReportFileDamage(drive.outcome, input, observer);
    if (drive.outcome.outcome == JobOutcome::Failed) {
        FileOutcome failure = drive.outcome;
        // A message that names no file says which drive it is about.
        if (failure.path.empty()) failure.message = std::string(name) + ": " + failure.message;
        ReportFileFailure(failure, observer);
        return false;
    }
    if (drive.outcome.outcome == JobOutcome::Cancelled) {
        observer.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
        return false;
    }
    return drive.binning.has_value();
}

}  // namespace

BinnedDrive BinDrive(TavrelReader& reader, const std::string& input,
                     const ConversionSettings& settings, const BinOptions& options,
                     JobObserver& observer, std::stop_token stop) {
    NoteThresholdLeftOut(settings, observer);
    CoverageRequest request;
    request.binning = options;
    CoverageOutput cells(std::move(request), observer);
    JobOutput* const outputs[] = {&cells};
    const JobSpec job{{input}, JobKind::SingleFile, CoverageSettingsOf(settings), 1};
    BinnedDrive drive;
    drive.outcome = ConvertJobInput(reader, job, 0, outputs, observer, stop);
    if (drive.outcome.outcome == JobOutcome::Completed) drive.binning = cells.TakeResult();
    return drive;
}

std::optional<FilesRefusal> CheckComparison(const ComparisonRequest& request) {
    if (auto problem = CheckCellMetres(request.cellMetres))
        return FilesRefusal{CoverageSentence(*problem), {}};
    if (request.output.empty()) return std::nullopt;
    const auto format = CoverageFormatOfPath(request.output);
    if (!format)
        return FilesRefusal{CoverageSentence("the difference is written as a GeoTIFF (.tif) or a "
                                             "GeoPackage (.gpkg), not '" +
                                             request.output + "'"),
                            {}};
    OutputSet files;
    AddCoverageFiles(files, request.output, *format);
    JobFileList job;
    job.inputs = {request.inputA, request.inputB};
    job.outputs = {files.Paths()};
    if (auto refusal = CheckJobFiles(job)) return refusal;
    if (const auto refusal = files.Check()) return FilesRefusal{refusal->message, {}};
    return std::nullopt;
}

DriveComparison CompareDrives(TavrelReader& reader, const ComparisonRequest& request,
                              JobObserver& observer, std::stop_token stop) {
    DriveComparison result;
    result.outcome = JobOutcome::Failed;
    if (const auto refusal = CheckComparison(request)) {
        observer.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
        return result;
    }
    const auto ended = [&](const BinnedDrive& drive) {
        if (drive.outcome.outcome == JobOutcome::Cancelled) result.outcome = JobOutcome::Cancelled;
        return std::move(result);
    };
    BinOptions options;
    options.cellMetres = request.cellMetres;
    options.memoryBudgetBytes = kComparisonBinningBudget;
    // A threshold is left out of both drives, and said once.
    NoteThresholdLeftOut(request.settingsA.threshold ? request.settingsA : request.settingsB,
                         observer);
    const ConversionSettings settingsA = CoverageSettingsOf(request.settingsA);
    const ConversionSettings settingsB = CoverageSettingsOf(request.settingsB);
    BinnedDrive a = BinDrive(reader, request.inputA, settingsA, options, observer, stop);
    if (!DriveRead(a, "Drive A", request.inputA, observer)) return ended(a);
    result.a = std::make_unique<Binning>(std::move(*a.binning));
    options.zone = result.a->Grid().zone;
    BinnedDrive b = BinDrive(reader, request.inputB, settingsB, options, observer, stop);
    if (!DriveRead(b, "Drive B", request.inputB, observer)) return ended(b);
    result.b = std::make_unique<Binning>(std::move(*b.binning));

    std::string error;
    auto comparison = BinComparison::Make(*result.a, *result.b, request.channel, &error);
    if (!comparison) {
        observer.ReportMessage(MessageKind::Error, CoverageSentence(error));
        return result;
    }
    if (comparison->Summary().cellsBoth == 0) {
        observer.ReportMessage(MessageKind::Error,
                               "The drives cover no cell in common: there is no difference.");
        return result;
    }
    if (!request.output.empty()) {
        // A stop that came while the drives were compared: nothing is written.
        if (stop.stop_requested()) {
            observer.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
            result.outcome = JobOutcome::Cancelled;
            return result;
        }
        const CoverageFormat format = *CoverageFormatOfPath(request.output);
        OutputSet files;
        const CoverageFiles added = AddCoverageFiles(files, request.output, format);
        const bool written = format == CoverageFormat::Raster
                                 ? WriteDifferenceRaster(files, added, *comparison, &error)
                                 : WriteDifferenceGeoPackage(files, added, *comparison, &error);
        if (!written || !files.Commit()) {
            files.Discard();
            if (error == kNotEnoughMemory) throw std::bad_alloc();
            observer.ReportFailure(MessageKind::Error, kOutputInaccessible,
                                   files.FailedPath().empty() ? request.output : files.FailedPath(),
                                   files.FailureReason().empty() ? error : files.FailureReason());
            return result;
        }
        std::string note = "The difference in " + std::to_string(comparison->Summary().cellsBoth) +
                           " cells: " + request.output;
        if (added.style) note += " and " + files.PathOf(*added.style);
        observer.ReportMessage(MessageKind::Information, note + '.');
    }
    observer.SetProgress(100);
    result.comparison = std::move(comparison);
    result.outcome = JobOutcome::Completed;
    return result;
}

FileOutcome ScanCellCounts::Count(TavrelReader& reader, const std::string& input,
                                  const ConversionSettings& settings, double cellMetres,
                                  const LevelRamp& ramp, JobObserver& observer,
                                  std::stop_token stop) {
    BinOptions options;
    options.cellMetres = cellMetres;
    auto binner = std::make_unique<Binner>(options);
    BinSampleSink sink(*binner);
    sink.SetStopsOnFailure(false);
    int scan = -1;
    std::vector<std::string> warned;
    const auto finish = [&] {
        if (scan < 0) return;
        auto binning = binner->Finish();
        if (!binning) {
            if (binner->Error() == kNotEnoughMemory) throw std::bad_alloc();
            observer.ReportMessage(MessageKind::Warning, "Scan " + std::to_string(scan) +
                                                             ": its shares by cells are unknown: " +
                                                             binner->Error() + ".");
            return;
        }
        // Every scan on the grid of the drive's first: their cells are the same squares.
        if (!options.zone && !binning->Empty()) options.zone = binning->Grid().zone;
        for (const std::string& warning : binning->Warnings()) {
            // Said once for the drive, not for each scan ("... (first at ...)").
            const std::string kind = warning.substr(0, warning.find(" ("));
            if (std::find(warned.begin(), warned.end(), kind) != warned.end()) continue;
            warned.push_back(kind);
            observer.ReportMessage(MessageKind::Warning, CoverageSentence(warning));
        }
        for (std::size_t c = 0; c < binning->Channels().size(); ++c) {
            const AreaShares shares =
                CellSharesAtOrAbove(*binning, {false, static_cast<int>(c)}, ramp);
            Entry entry{scan, binning->Channels()[c].frequencyMHz, {}};
            entry.counts.counted = shares.cells;
            entry.counts.atOrAbove = shares.cellsAtOrAbove;
            entries_.push_back(entry);
        }
    };
    sink.OnScan([&](int next) {
        finish();
        scan = next;
        binner = std::make_unique<Binner>(options);
        sink.SetBinner(*binner);
    });
    SinkOutput cells({&sink});
    JobOutput* const outputs[] = {&cells};
    const JobSpec job{{input}, JobKind::SingleFile, CoverageSettingsOf(settings), 1};
    FileOutcome outcome = ConvertJobInput(reader, job, 0, outputs, observer, stop);
    if (outcome.outcome == JobOutcome::Completed) finish();
    return outcome;
}

std::optional<ThresholdCounts> ScanCellCounts::Of(int scan, double frequencyMHz) {
    while (next_ < entries_.size() && entries_[next_].scan < scan) ++next_;
    for (std::size_t i = next_; i < entries_.size() && entries_[i].scan == scan; ++i) {
        // The cells keep the frequency as the text writes it, to 10 Hz.
        if (std::fabs(entries_[i].frequencyMHz - frequencyMHz) < 5e-6) return entries_[i].counts;
    }
    return std::nullopt;
}

DriveReport BuildAreaReport(TavrelReader& reader, const std::string& input, ReportRequest request,
                            double cellMetres, JobObserver& observer, std::stop_token stop,
                            const ScanReportSink& scans) {
    ConversionSettings settings;
    settings.receivers = request.receivers;
    settings.typed = request.typed;
    settings.convertAllScans = true;
    // The cells drop standing still as the report does.
    if (request.standStill) {
        settings.dropStandingStill = true;
        settings.standStill = *request.standStill;
    }
    ScanCellCounts cells;
    const FileOutcome counted =
        cells.Count(reader, input, settings, cellMetres, request.ramp, observer, stop);
    // A pass that could not read the log leaves the cells unknown; the report's own pass says
    // why.
    if (counted.outcome == JobOutcome::Completed) {
        request.cells = [&cells](int scan, double frequencyMHz) {
            return cells.Of(scan, frequencyMHz);
        };
        request.cellMetres = cellMetres;
    }
    return BuildDriveReport(reader, input, request, stop, scans);
}

}  // namespace varistrum
