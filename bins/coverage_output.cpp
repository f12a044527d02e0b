// SPDX-License-Identifier: GPL-3.0-or-later
// The coverage output of a job.
#include "bins/coverage_output.h"

#include <cctype>
#include <charconv>
#include <filesystem>
#include <new>

#include "base/resource_error.h"
#include "bins/coverage_geopackage.h"
#include "bins/coverage_raster.h"
#include "convert/filter_counts.h"

namespace varistrum {

namespace {

constexpr const char* kOutputInaccessible = "Output File Cannot Be Accessed!";

std::string MetresText(double metres) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, metres);
    return std::string(text, result.ptr);
}

FileOutcome Failed(FileOutcome outcome, std::string message, std::string path = {},
                   std::string reason = {}) {
    outcome.outcome = JobOutcome::Failed;
    outcome.message = std::move(message);
    outcome.path = std::move(path);
    outcome.reason = std::move(reason);
    return outcome;
}

}  // namespace

ConversionSettings CoverageSettingsOf(ConversionSettings settings) {
    settings.averageType = kAverageNone;
    settings.averageLinearPower = false;
    // Cells take every reading: a level threshold would make coverage look better than it is
    // (the jobs say so). Standing still stays: a stop would weigh its cell many times over.
    settings.threshold = false;
    // The text's own choices do not matter to the cells.
    settings.split = false;
    settings.toStandardOutput = false;
    return settings;
}

void NoteThresholdLeftOut(const ConversionSettings& settings, JobObserver& observer) {
    if (settings.threshold)
        observer.ReportMessage(MessageKind::Information,
                               ThresholdNotAppliedText(settings.thresholdRule));
}

std::optional<std::string> CoverageRequestProblem(const CoverageRequest& request) {
    if (auto problem = CheckCellMetres(request.binning.cellMetres)) return problem;
    if (!request.output.empty() && !CoverageFormatOfPath(request.output))
        return "the output must be a GeoTIFF (.tif) or a GeoPackage (.gpkg), not '" +
               request.output + "'";
    if (request.statistics.empty()) return std::string("no statistic is named");
    return std::nullopt;
}

std::string CoverageSentence(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (!text.empty() && text.back() != '.') text += '.';
    return text;
}

CoverageOutput::CoverageOutput(CoverageRequest request, JobObserver& observer, std::stop_token stop)
    : request_(std::move(request)), observer_(observer), stop_(std::move(stop)) {}

CoverageOutput::~CoverageOutput() = default;

std::vector<std::string> CoverageOutput::FilesOf(std::size_t input) const {
    if (input != 0 || request_.output.empty()) return {};
    const auto format = CoverageFormatOfPath(request_.output);
    if (!format) return {request_.output};
    OutputSet files;
    AddCoverageFiles(files, request_.output, *format);
    return files.Paths();
}

std::optional<FilesRefusal> CoverageOutput::Check() const {
    if (auto problem = CoverageRequestProblem(request_))
        return FilesRefusal{CoverageSentence(*problem), {}};
    if (request_.output.empty()) return std::nullopt;
    OutputSet files;
    AddCoverageFiles(files, request_.output, *CoverageFormatOfPath(request_.output));
    if (const auto refusal = files.Check()) return FilesRefusal{refusal->message, {}};
    return std::nullopt;
}

std::optional<FileOutcome> CoverageOutput::Open(std::size_t input, InputSinks& sinks) {
    if (input != 0) return Failed({}, "A coverage job bins one log at a time.");
    binning_.reset();
    binner_ = std::make_unique<Binner>(request_.binning);
    if (binner_->Failed()) return Failed({}, CoverageSentence(binner_->Error()));
    sink_ = std::make_unique<BinSampleSink>(*binner_);
    sinks.rows.push_back(sink_.get());
    return std::nullopt;
}

FileOutcome CoverageOutput::Close(std::size_t, const FilePass&, FileOutcome outcome) {
    if (binner_ == nullptr) return outcome;  // never opened
    std::unique_ptr<Binner> binner = std::move(binner_);
    sink_.reset();
    // A binner that stopped ends the job, whatever ended the pass.
    if (binner->Failed()) {
        if (binner->Error() == kNotEnoughMemory) throw std::bad_alloc();
        return Failed(std::move(outcome), CoverageSentence(binner->Error()));
    }
    if (outcome.outcome != JobOutcome::Completed) return outcome;
    auto binning = binner->Finish();
    if (!binning) {
        if (binner->Error() == kNotEnoughMemory) throw std::bad_alloc();
        return Failed(std::move(outcome), CoverageSentence(binner->Error()));
    }
    binner.reset();
    for (const std::string& warning : binning->Warnings())
        observer_.ReportMessage(MessageKind::Warning, CoverageSentence(warning));
    if (binning->Empty())
        return Failed(std::move(outcome),
                      CoverageSentence("no cell to write: " + binning->WhyEmpty()));
    std::string problem;
    const auto selection = binning->Select(request_.channel, &problem);
    if (!selection) return Failed(std::move(outcome), CoverageSentence(problem));
    if (!request_.output.empty()) {
        const CoverageFormat format = *CoverageFormatOfPath(request_.output);
        OutputSet files;
        const CoverageFiles added = AddCoverageFiles(files, request_.output, format);
        std::string error;
        const bool written =
            format == CoverageFormat::Raster
                ? WriteCoverageRaster(files, added, *binning,
                                      {request_.channel, request_.statistics, request_.ramp},
                                      &error)
                : WriteCoverageGeoPackage(files, added, *binning, {request_.channel, request_.ramp},
                                          &error);
        if (!written) {
            files.Discard();
            if (error == kNotEnoughMemory) throw std::bad_alloc();
            if (!files.FailedPath().empty())
                return Failed(std::move(outcome), kOutputInaccessible, files.FailedPath(),
                              files.FailureReason());
            return Failed(std::move(outcome), kOutputInaccessible, request_.output, error);
        }
        // A stop that came while the files were written: none is put in place.
        if (stop_.stop_requested()) {
            files.Discard();
            outcome.outcome = JobOutcome::Cancelled;
            return outcome;
        }
        if (!files.Commit())
            return Failed(std::move(outcome), kOutputInaccessible, files.FailedPath(),
                          files.FailureReason());
    }
    note_ = std::to_string(binning->CellCount()) + " cells of " +
            MetresText(binning->Grid().cellMetres) + " m in UTM zone " +
            binning->Grid().zone.Name() + " from " + std::to_string(binning->Counts().binned) +
            " samples";
    note_ += " (" + binning->SelectionName(*selection) + ")";
    if (!request_.output.empty()) {
        note_ += ": " + request_.output;
        if (*CoverageFormatOfPath(request_.output) == CoverageFormat::Raster)
            note_ += " and " + StylePathFor(request_.output);
    }
    note_ += '.';
    binning_ = std::move(binning);
    return outcome;
}

std::optional<std::string> CoverageOutput::ClosingNote() const {
    if (note_.empty()) return std::nullopt;
    return note_;
}

std::optional<Binning> CoverageOutput::TakeResult() {
    std::optional<Binning> taken = std::move(binning_);
    binning_.reset();
    return taken;
}

}  // namespace varistrum
