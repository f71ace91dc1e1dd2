// Per-record cost of the PDF layer: open the template bytes, set every field from one CSV
// record, produce the PDF data (saved, or burned in), as the merge does once per record.
// Also the combined case: burned-in record reopened, its pages copied into one document.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/pdf/Document.h"

using namespace qvpdf;

namespace {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Enough CSV for the benchmark data: commas, double quotes, one record per line.
std::vector<std::vector<std::string>> readCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string cell;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(std::move(cell));
            cell.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            rows.back().push_back(std::move(cell));
            cell.clear();
            rows.emplace_back();
        } else {
            cell += c;
        }
    }
    if (!cell.empty() || !rows.back().empty()) rows.back().push_back(std::move(cell));
    while (!rows.empty() && rows.back().size() <= 1) rows.pop_back();
    return rows;
}

struct Workload {
    std::string pdf;
    std::vector<std::vector<std::string>> rows;
    std::map<std::string, size_t> column;
    bool ok = false;
};

const Workload& workload(const std::string& name) {
    static std::map<std::string, Workload> cache;
    auto found = cache.find(name);
    if (found != cache.end()) return found->second;
    Workload w;
    std::filesystem::path dir = std::filesystem::path(QV_SOURCE_DIR) / ".." / "shared" / "bench";
    w.pdf = slurp(dir / (name + ".pdf"));
    w.rows = readCsv(slurp(dir / (name + ".csv")));
    if (!w.pdf.empty() && w.rows.size() > 1) {
        for (size_t i = 0; i < w.rows[0].size(); ++i) w.column[w.rows[0][i]] = i;
        w.ok = true;
    }
    return cache.emplace(name, std::move(w)).first->second;
}

// Opens the template, fills every text widget from the record; null on failure.
std::shared_ptr<PDFDocument> filled(const Workload& w, size_t record) {
    auto doc = PDFDocument::initWithData(w.pdf);
    if (!doc) return nullptr;
    const auto& row = w.rows[1 + record % (w.rows.size() - 1)];
    for (size_t p = 0; p < doc->pageCount(); ++p) {
        for (const auto& a : doc->pageAtIndex(p)->annotations()) {
            if (a->widgetFieldType() != PDFAnnotationWidgetSubtypeText) continue;
            auto col = w.column.find(a->fieldName());
            a->setWidgetStringValue(col != w.column.end() && col->second < row.size() ? row[col->second] : "");
        }
    }
    return doc;
}

void perRecord(benchmark::State& state, const std::string& name, bool burn) {
    const Workload& w = workload(name);
    if (!w.ok) {
        state.SkipWithError("benchmark forms not found");
        return;
    }
    size_t record = 0, bytes = 0;
    for (auto _ : state) {
        auto doc = filled(w, record++);
        auto data = doc ? doc->dataRepresentationWithOptions({burn}) : std::nullopt;
        if (!data) {
            state.SkipWithError("no PDF data");
            return;
        }
        bytes += data->size();
        benchmark::DoNotOptimize(data->data());
    }
    state.counters["bytes/record"] = benchmark::Counter(static_cast<double>(bytes) / static_cast<double>(record));
}

// One record whose name is Chinese: the fallback face is a large CJK font, so this is the
// cost of shaping, subsetting and embedding a handful of its glyphs.
void chineseValue(benchmark::State& state, bool burn) {
    const Workload& w = workload("small");
    if (!w.ok) {
        state.SkipWithError("benchmark forms not found");
        return;
    }
    size_t bytes = 0, records = 0;
    for (auto _ : state) {
        auto doc = PDFDocument::initWithData(w.pdf);
        if (!doc) break;
        for (const auto& a : doc->pageAtIndex(0)->annotations())
            if (a->fieldName() == "Naam") a->setWidgetStringValue("\u738B\u5C0F\u660E \u5317\u4EAC\u5E02");
        auto data = doc->dataRepresentationWithOptions({burn});
        if (!data) {
            state.SkipWithError("no PDF data");
            return;
        }
        bytes += data->size();
        ++records;
        benchmark::DoNotOptimize(data->data());
    }
    if (records)
        state.counters["bytes/record"] = benchmark::Counter(static_cast<double>(bytes) / static_cast<double>(records));
}

void combined(benchmark::State& state, const std::string& name) {
    const Workload& w = workload(name);
    if (!w.ok) {
        state.SkipWithError("benchmark forms not found");
        return;
    }
    const size_t records = static_cast<size_t>(state.range(0));
    size_t size = 0;
    for (auto _ : state) {
        auto all = PDFDocument::init();
        for (size_t r = 0; r < records; ++r) {
            auto doc = filled(w, r);
            auto flat = PDFDocument::initWithData(*doc->dataRepresentationWithOptions({true}));
            for (size_t p = 0; p < flat->pageCount(); ++p)
                all->insertPage(flat->pageAtIndex(p)->copy(), all->pageCount());
        }
        auto data = all->dataRepresentation();
        size = data ? data->size() : 0;
        benchmark::DoNotOptimize(size);
    }
    state.counters["bytes"] = benchmark::Counter(static_cast<double>(size));
    state.counters["records"] = benchmark::Counter(static_cast<double>(records));
}

}  // namespace

BENCHMARK_CAPTURE(perRecord, small_saved, std::string("small"), false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(perRecord, small_burned, std::string("small"), true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(perRecord, large_saved, std::string("large"), false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(perRecord, large_burned, std::string("large"), true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(chineseValue, saved, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(chineseValue, burned, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(combined, small, std::string("small"))->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(combined, large, std::string("large"))->Arg(300)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
