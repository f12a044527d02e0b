// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes through reader, decoder and formatter in a whole conversion.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "convert/convert_job.h"
#include "fuzz/convert_input.h"
#include "fuzz/fuzz_scratch.h"
#include "index/make_index.h"
#include "logfile/typed_frequencies.h"

namespace {

using namespace varistrum;

// Counts messages and checks the gauge stays within 0..100.
class CheckingObserver : public JobObserver {
  public:
    void SetProgress(int percent) override {
        if (percent < 0 || percent > 100) fuzz::PropertyFailed("progress outside 0..100");
    }
    void ReportMessage(MessageKind kind, const std::string&) override {
        ++messages;
        lastKind = kind;
    }
    int messages = 0;
    MessageKind lastKind = MessageKind::Information;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::ConvertInput in = fuzz::DecodeConvertInput(std::span(data, size));
    const std::string input = fuzz::WriteScratch("in.klf", in.log.data(), in.log.size());
    const std::string first = fuzz::ScratchPath("first.out");
    const std::string second = fuzz::ScratchPath("second.out");

    TavrelReader reader;
    reader.SetInputFormat(in.variant);
    if (in.indexFirst) {
        SilentIndexView view;
        if (RunIndexPass(reader, in.variant, input, view, {}) != IndexOutcome::Indexed)
            fuzz::PropertyFailed("the index pass could not open an existing file");
    }
    ConversionSettings settings = in.settings;
    if (in.typedFrequencies)
        settings.typed = TypedFrequenciesOf(reader.State().plans, in.rx1MHz, in.rx2MHz).codes;

    // The same file twice in one job: nothing of the first may change the second's output.
    CheckingObserver observer;
    const JobOutcome outcome =
        RunConversionJob(reader, {input, input}, {first, second}, settings, observer, {});
    if (observer.messages != 1) fuzz::PropertyFailed("a job ends with exactly one message");
    if (outcome == JobOutcome::Completed) {
        if (observer.lastKind != MessageKind::Information) fuzz::PropertyFailed("completion kind");
        const std::string text = fuzz::ReadWhole(first);
        if (!text.empty() && !text.ends_with("\r\n"))
            fuzz::PropertyFailed("an output that does not end with a whole line");
        if (text != fuzz::ReadWhole(second))
            fuzz::PropertyFailed("a file converted twice gave two different outputs");
    } else if (outcome != JobOutcome::Failed || !in.settings.Problem()) {
        fuzz::PropertyFailed("a readable file into a writable folder did not convert");
    }
    return 0;
}
