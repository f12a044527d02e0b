// SPDX-License-Identifier: GPL-3.0-or-later
// Micro-benchmarks of the output side: the "<< DATA >>" block, whole data lines and numbers.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/allocation_counter.h"
#include "bench/bench_files.h"
#include "convert/convert_job.h"
#include "convert/output_lines.h"

namespace varistrum::bench {
namespace {

// A conversion of the benchmark file stopped at its first data result (about ten lines of
// about one hundred samples each), with the row of its first line.
class FirstDataResult {
  public:
    explicit FirstDataResult(const ConversionSettings& settings)
        : conversion(SimulatedFile("bench", 4), settings) {
        RecordBuffer buffer;
        while (conversion.reader.ReadNextRecord(buffer) != 0) {
            if (conversion.Feed(buffer) == DecodeDataReady) break;
        }
        conversion.assembler->FillRow(0, conversion.reader.State(), row);
        row.number = 1;
    }
    OpenedConversion conversion;
    OutputRow row;
};

// The plain path: a std::string, as the header record is built.
void BM_DataBlockPlain(benchmark::State& state) {
    const ConversionSettings settings = TypicalSettings();
    FirstDataResult data(settings);
    std::string out;
    for (auto _ : state) {
        out.clear();
        FieldFormatter(data.row, settings.columns, ',').AppendDataBlock(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
BENCHMARK(BM_DataBlockPlain);

// The conversion's path: a TextBuilder and frequency texts kept from line to line.
void BM_DataBlockBuilt(benchmark::State& state) {
    const ConversionSettings settings = TypicalSettings();
    FirstDataResult data(settings);
    TextBuilder out;
    FrequencyTexts frequencies;
    for (auto _ : state) {
        out.clear();
        FieldFormatter(data.row, settings.columns, ',', &frequencies).AppendDataBlock(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
BENCHMARK(BM_DataBlockBuilt);

// Whole data lines of one result into an output file on /dev/null; counts allocations too.
void BM_WriteDataLines(benchmark::State& state) {
    const ConversionSettings settings = TypicalSettings();
    FirstDataResult data(settings);
    OutputFile file;
    file.Create("/dev/null");
    OutputLines lines(file, settings);
    const RowAssembler& assembler = *data.conversion.assembler;
    const DecoderState& log = data.conversion.reader.State();
    OutputRow row;
    const auto feedRows = [&] {
        for (int point = 0; point < assembler.OutputCount(); ++point) {
            assembler.FillRow(point, log, row);
            row.number = point + 1;
            lines.AcceptRow(row);
        }
    };
    feedRows();  // first call: buffers reach their working size
    const std::uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) feedRows();
    const auto count = state.iterations() * assembler.OutputCount();
    state.counters["allocs_per_line"] =
        static_cast<double>(AllocationCount() - allocationsBefore) / static_cast<double>(count);
    state.SetItemsProcessed(count);
    file.Close();
}
BENCHMARK(BM_WriteDataLines);

// A whole conversion of a 16 MiB benchmark log to /dev/null: input bytes per second.
void BM_ConvertFile(benchmark::State& state) {
    const std::string path = SimulatedFile("bench", 16);
    const ConversionSettings settings = TypicalSettings();
    TavrelReader reader;
    SilentObserver silent;
    for (auto _ : state) ConvertFile(reader, path, "/dev/null", settings, silent, {});
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_ConvertFile)->Unit(benchmark::kMillisecond);

void BM_FixedText(benchmark::State& state) {
    char text[kMaxFixedText];
    double value = 870.575;
    for (auto _ : state) {
        benchmark::DoNotOptimize(WriteFixed(text, value, 5));
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_FixedText);

void BM_FrequencyTextRepeated(benchmark::State& state) {
    char text[kMaxFixedText];
    FrequencyTexts frequencies;
    double value = 870.575;
    for (auto _ : state) {
        benchmark::DoNotOptimize(frequencies.Write(text, 3, value));
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_FrequencyTextRepeated);

void BM_LevelText(benchmark::State& state) {
    char text[kMaxIntText];
    std::int8_t level = -97;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kByteIntTexts.Write(text, level));
        benchmark::DoNotOptimize(level);
    }
}
BENCHMARK(BM_LevelText);

void BM_IntText(benchmark::State& state) {
    char text[kMaxIntText];
    std::int64_t value = -97;
    for (auto _ : state) {
        benchmark::DoNotOptimize(WriteInt(text, value));
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_IntText);

}  // namespace
}  // namespace varistrum::bench
