// Parser throughput on generated comma-separated data that looks like a real customer file:
// a mix of plain and quoted cells, quoted cells with separators, doubled quotes and the odd
// line break inside, accented names. Reports bytes per second for 10 MB and 100 MB, so the two
// figures also show whether the cost grows linearly with the size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "input/DelimitedText.h"
#include "platform/Unicode.h"

namespace {

std::string generate(size_t bytes) {
    static const char* firstNames[] = {"Anna",   "José", "Mehmet", "Zoë",    "Thomas", "Fatima", "Pieter", "Sanne",
                                       "Noëlle", "Kees", "Ilse",   "Jeroen", "Müge",   "Bram",   "Lotte",  "René"};
    static const char* lastNames[] = {"de Vries",     "Martens", "Çelik",  "Bakker", "Brüggemann", "El Amrani",
                                      "van den Berg", "Jansen",  "Dubois", "Visser", "de Groot",   "Smit"};
    static const char* streets[] = {"Lindelaan", "Kerkstraat", "Havenweg", "Molenpad", "Grensweg", "Dorpsstraat"};
    static const char* places[] = {"Utrecht",  "’s-Hertogenbosch", "Rotterdam", "Zwolle",
                                   "Enschede", "Leiden",           "Den Haag",  "Groningen"};
    static const char* notes[] = {"Onderhoud tuin",
                                  "Aanleg terras, inclusief materiaal",
                                  "Vlonder van \"\"duurzaam\"\" hout",
                                  "Overkapping plaatsen\n(fase 1 van 2)",
                                  "Snoeiwerk",
                                  "Advies beplanting en bemesting voor het voorjaar"};
    std::mt19937 random(12345);
    auto pick = [&](auto& list) { return list[random() % (sizeof list / sizeof *list)]; };

    std::string text = "Naam,Adres,Postcode,Plaats,Klant,Factuurnummer,Datum,Bedrag,Omschrijving\n";
    text.reserve(bytes + 256);
    char line[512];
    for (unsigned long n = 1; text.size() < bytes; ++n) {
        const bool quotedNote = random() % 3 != 0;
        const char* note = pick(notes);
        std::snprintf(line, sizeof line,
                      "%s %s,%s %lu,%04lu %c%c,%s,K-%06lu,F2024-%06lu,%02lu-%02lu-2024,\"€ %lu.%03lu,%02lu\",%s%s%s\n",
                      pick(firstNames), pick(lastNames), pick(streets), random() % 300 + 1ul, random() % 9000 + 1000ul,
                      'A' + int(random() % 26), 'A' + int(random() % 26), pick(places), n, n, random() % 28 + 1ul,
                      random() % 12 + 1ul, random() % 10ul, random() % 1000ul, random() % 100ul, quotedNote ? "\"" : "",
                      quotedNote ? note : "Onderhoud", quotedNote ? "\"" : "");
        text += line;
    }
    return text;
}

const std::string& data(size_t megabytes) {
    static std::map<size_t, std::string> cache;
    auto it = cache.find(megabytes);
    if (it == cache.end()) it = cache.emplace(megabytes, generate(megabytes * 1000 * 1000)).first;
    return it->second;
}

void BM_ParseCSV(benchmark::State& state) {
    const std::string& text = data(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        QVError error;
        std::optional<QVRecordTable> table = QVParseCSV(text, &error);
        if (!table) state.SkipWithError(error.message.c_str());
        benchmark::DoNotOptimize(table);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_AlternativeSeparatorCheck(benchmark::State& state) {
    const std::string& text = data(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(QVHasAlternativeMultiColumnParse(text, QVSeparatorSemicolon));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf8Check(benchmark::State& state) {
    const std::string& text = data(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(QVFirstInvalidUTF8(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(BM_ParseCSV)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AlternativeSeparatorCheck)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8Check)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
