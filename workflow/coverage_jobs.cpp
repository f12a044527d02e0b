// SPDX-License-Identifier: GPL-3.0-or-later
// A drive binned for the caller, and two drives compared.
#include "workflow/coverage_jobs.h"

#include <new>

#include "base/resource_error.h"
#include "bins/coverage_geopackage.h"
#include "bins/coverage_raster.h"

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
    BinnedDrive a = BinDrive(reader, request.inputA, request.settingsA, options, observer, stop);
    if (!DriveRead(a, "Drive A", request.inputA, observer)) return ended(a);
    result.a = std::make_unique<Binning>(std::move(*a.binning));
    options.zone = result.a->Grid().zone;
    BinnedDrive b = BinDrive(reader, request.inputB, request.settingsB, options, observer, stop);
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

}  // namespace varistrum
