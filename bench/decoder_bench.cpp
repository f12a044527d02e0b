// SPDX-License-Identifier: GPL-3.0-or-later
// Micro-benchmarks of the input side: record framing and the decoder, without any output.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "bench/allocation_counter.h"
#include "bench/bench_files.h"

namespace varistrum::bench {
namespace {

constexpr double kInputMb = 16;

// Frames and decodes a whole file the way the index pass does (no scan selection, no rows).
void BM_IndexPassRecords(benchmark::State& state) {
    const std::string path = SimulatedFile("bench", kInputMb);
    TavrelReader reader;
    RecordBuffer buffer;
    std::int64_t records = 0;
    for (auto _ : state) {
        reader.Open(path);
        while (reader.ReadNextRecord(buffer) != 0) {
            reader.DecodeRecord(buffer);
            ++records;
        }
        reader.Close();
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
    state.SetItemsProcessed(records);
}
BENCHMARK(BM_IndexPassRecords)->Unit(benchmark::kMillisecond);

// The records of a file, framed once, so the decoder can be timed on its own.
struct FramedRecords {
    std::vector<std::uint8_t> bytes;  // type byte and payload of each record, back to back
    std::vector<int> lengths;
};

FramedRecords FrameFile(const std::string& path) {
    TavrelReader reader;
    FramedRecords framed;
    RecordBuffer buffer;
    reader.Open(path);
    while (reader.ReadNextRecord(buffer) != 0) {
        framed.bytes.insert(framed.bytes.end(), buffer.bytes.begin(),
                            buffer.bytes.begin() + buffer.length);
        framed.lengths.push_back(buffer.length);
    }
    return framed;
}

// DecodeRecord and the row assembly as a conversion calls them (rows pending between fixes;
// argument 1: the levels fed to the 40-lambda engine), from framed records. Also counts the heap
// allocations per record once the reader's buffers have grown.
void BM_ConversionDecode(benchmark::State& state) {
    const std::string path = SimulatedFile("bench", kInputMb);
    const FramedRecords framed = FrameFile(path);
    ConversionSettings settings = TypicalSettings();
    settings.averageType = static_cast<int>(state.range(0));
    OpenedConversion conversion(path, settings);
    RecordBuffer buffer;
    auto decodeAll = [&] {
        std::size_t at = 0;
        for (int length : framed.lengths) {
            std::memcpy(buffer.bytes.data(), framed.bytes.data() + at,
                        static_cast<std::size_t>(length));
            buffer.length = length;
            at += static_cast<std::size_t>(length);
            benchmark::DoNotOptimize(conversion.Feed(buffer));
        }
    };
    decodeAll();  // first pass: the pending rows reach their working size
    const std::uint64_t allocationsBefore = AllocationCount();
    for (auto _ : state) decodeAll();
    const auto records =
        static_cast<double>(state.iterations()) * static_cast<double>(framed.lengths.size());
    state.counters["allocs_per_record"] =
        static_cast<double>(AllocationCount() - allocationsBefore) / records;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(framed.bytes.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(records));
}
BENCHMARK(BM_ConversionDecode)
    ->Arg(kAverageNone)
    ->Arg(kAverageLambda)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varistrum::bench
