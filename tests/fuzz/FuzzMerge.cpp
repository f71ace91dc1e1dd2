// A whole merge of a fuzzed data file into a fixed two-field form, in both output modes and
// with or without a watermark. Whatever the data, the run creates only plain files directly
// inside its output folder, for the user alone, and reports exactly the files it wrote.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "engine/Engine.h"
#include "support/FormFixtures.h"
#include "support/MergeRun.h"

namespace {

constexpr std::string_view kPatterns[] = {"{#}", "{Naam}", "{Naam}-{Stad}", "brief {Stad} {#}"};
constexpr std::string_view kWatermarks[] = {"{Naam} / {#}", "{Stad}"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qvfuzz::Scratch scratch;
    static const bool isolated = (qvfuzz::isolateEnvironment(scratch), true);
    static const std::string form = qvfixture::textForm({"Naam", "Stad"});
    (void)isolated;
    if (size == 0) return 0;

    // The first byte holds the settings; the rest is the data file.
    const uint8_t settings = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const QVOutputMode mode = settings & 1 ? QVOutputModeCombined : QVOutputModeSeparate;
    const uint16_t separator = settings & 2 ? QVSeparatorSemicolon : QVSeparatorComma;
    const std::string_view pattern = kPatterns[(settings >> 2) & 3];
    std::optional<std::string> watermarkPattern;
    std::optional<std::string> watermarkColumn;
    if (settings & 16)
        watermarkPattern = std::string(kWatermarks[(settings >> 5) & 1]);
    else if (settings & 64)
        watermarkColumn = "Naam";

    const std::filesystem::path folder = scratch.fresh("out");
    uint64_t count = 99;
    std::vector<std::string> outputs;
    QVError error;
    QVMergeSettings run = qvtest::mergeSettings(form, text, folder);
    run.mode = mode;
    run.filenamePattern = std::string(pattern);
    run.separator = separator;
    run.watermarkColumn = watermarkColumn;
    run.watermarkPattern = watermarkPattern;
    // Both rules see the same hostile inputs.
    if (settings & 128) run.fieldPolicy = QVFieldPolicy::Broad;
    const bool ok = QVMergeWithSettings(run, &count, &error, &outputs);
    QV_FUZZ_CHECK(ok || !error.message.empty());
    QV_FUZZ_CHECK(count == outputs.size());
    if (mode == QVOutputModeCombined) QV_FUZZ_CHECK(ok ? count == 1 : count == 0);

    std::set<std::string> onDisk;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        struct stat info {};
        QV_FUZZ_CHECK(lstat(entry.path().c_str(), &info) == 0);
        QV_FUZZ_CHECK(S_ISREG(info.st_mode) && (info.st_mode & 0777) == 0600);
        onDisk.insert(entry.path().filename().string());
    }
    // Nothing but the files reported, and nothing anywhere else in the scratch folder.
    QV_FUZZ_CHECK(onDisk == std::set<std::string>(outputs.begin(), outputs.end()));
    QV_FUZZ_CHECK(onDisk.size() == outputs.size());
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        const std::string name = entry.path().filename().string();
        QV_FUZZ_CHECK(name == "out" || name == "config");
    }
    return 0;
}
