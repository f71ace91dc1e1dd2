// Whole merge runs in-process: QVMergeWithSettings on the shared benchmark forms and data, separate
// and combined output, reported per record. Also the first pass alone (a merge that is refused
// only at its last record's file name), to show what the checks cost.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include <unistd.h>

#include "engine/Engine.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Input {
    std::string pdf, csv;
    size_t records = 0;
};

const Input& input(const std::string& name) {
    static std::map<std::string, Input> cache;
    auto found = cache.find(name);
    if (found != cache.end()) return found->second;
    const fs::path dir = fs::path(QV_SOURCE_DIR) / ".." / "shared" / "bench";
    Input in{slurp(dir / (name + ".pdf")), slurp(dir / (name + ".csv"))};
    for (char c : in.csv) in.records += c == '\n';
    if (in.records) --in.records;  // the header
    return cache[name] = std::move(in);
}

// A fresh, empty folder per run, removed afterwards; under QV_BENCH_DIR when set (a tmpfs
// such as /dev/shm keeps the file system's own costs of creating thousands of files out).
struct Folder {
    fs::path path;
    Folder() {
        const char* base = std::getenv("QV_BENCH_DIR");
        std::string templ =
            ((base && *base ? fs::path(base) : fs::temp_directory_path()) / "qv-merge-bench-XXXXXX").string();
        path = ::mkdtemp(templ.data()) ? fs::path(templ) : fs::path();
    }
    ~Folder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

void merge(benchmark::State& state, const std::string& name, QVOutputMode mode,
           QVFieldPolicy policy = QVFieldPolicy::Strict) {
    const Input& in = input(name);
    if (in.pdf.empty() || !in.records) {
        state.SkipWithError("benchmark files missing");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<Folder> folder(std::in_place);
        state.ResumeTiming();
        QVError error;
        uint64_t count = 0;
        QVMergeSettings settings;
        settings.templateBytes = in.pdf;
        settings.dataText = in.csv;
        settings.outputFolder = folder->path;
        settings.mode = mode;
        settings.fieldPolicy = policy;
        if (!QVMergeWithSettings(settings, &count, &error)) {
            state.SkipWithError(error.message.c_str());
            return;
        }
        state.PauseTiming();  // measuring and removing the output is not part of the merge
        std::error_code ec;
        if (mode == QVOutputModeCombined)
            state.counters["combined_bytes"] =
                static_cast<double>(fs::file_size(folder->path / "merge-gecombineerd.pdf", ec));
        folder.reset();
        state.ResumeTiming();
    }
    // Shown as time per record.
    state.counters["per_record"] = benchmark::Counter(
        static_cast<double>(in.records), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Only the checks: the last record's output name is taken, so the run stops there.
void firstPass(benchmark::State& state, const std::string& name) {
    const Input& in = input(name);
    if (in.pdf.empty() || !in.records) {
        state.SkipWithError("benchmark files missing");
        return;
    }
    Folder folder;
    char last[32];
    std::snprintf(last, sizeof last, "merge-%06zu.pdf", in.records);
    std::ofstream(folder.path / last) << "x";
    for (auto _ : state) {
        QVError error;
        QVMergeSettings settings;
        settings.templateBytes = in.pdf;
        settings.dataText = in.csv;
        settings.outputFolder = folder.path;
        bool ok = QVMergeWithSettings(settings, nullptr, &error);
        benchmark::DoNotOptimize(ok);
    }
    // Shown as time per record.
    state.counters["per_record"] = benchmark::Counter(
        static_cast<double>(in.records), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK_CAPTURE(merge, small_separate, std::string("small"), QVOutputModeSeparate)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(merge, large_separate, std::string("large"), QVOutputModeSeparate)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(merge, small_combined, std::string("small"), QVOutputModeCombined)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(merge, large_combined, std::string("large"), QVOutputModeCombined)->Unit(benchmark::kMillisecond);
// Text-only forms must cost the same when every kind of field is filled.
BENCHMARK_CAPTURE(merge, small_separate_all_fields, std::string("small"), QVOutputModeSeparate, QVFieldPolicy::Broad)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(merge, large_separate_all_fields, std::string("large"), QVOutputModeSeparate, QVFieldPolicy::Broad)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(firstPass, small, std::string("small"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(firstPass, large, std::string("large"))->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
