// The user-defaults reader on arbitrary file contents. A damaged file reads as empty, and a
// write never loses it: it is moved aside before the new file takes its place.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/Unicode.h"
#include "platform/UserDefaults.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qvfuzz::Scratch scratch;
    const std::filesystem::path folder = scratch.fresh("defaults");
    const std::filesystem::path file = folder / "defaults.json";
    const std::string text(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(file, std::ios::binary);
        out << text;
    }

    QVUserDefaults defaults(file);
    for (const char* key : {"org.quorvel.language", "", "a"}) {
        std::optional<std::string> value = defaults.stringForKey(key);
        if (value) QV_FUZZ_CHECK(!QVFirstInvalidUTF8(*value));
    }

    QV_FUZZ_CHECK(defaults.setStringForKey("fr", "org.quorvel.language"));
    QV_FUZZ_CHECK(defaults.stringForKey("org.quorvel.language") == "fr");

    // A readable object keeps every other member; anything else is kept aside, byte for byte.
    // Files nested more than 256 levels deep are not settings files and count as damaged.
    bool tooDeep = false;
    const Json before = Json::parse(
        text,
        [&](int depth, nlohmann::json::parse_event_t, Json&) {
            tooDeep = tooDeep || depth > 256;
            return true;
        },
        false);
    std::optional<std::string> setAside;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("defaults.json.corrupt-")) setAside = contents(entry.path());
    }
    if (!tooDeep && before.is_object()) {
        QV_FUZZ_CHECK(!setAside);
        Json after = Json::parse(contents(file), nullptr, false);
        QV_FUZZ_CHECK(after.is_object());
        Json expected = before;
        expected["org.quorvel.language"] = "fr";
        QV_FUZZ_CHECK(after == expected);
    } else {
        QV_FUZZ_CHECK(setAside == text);
    }
    QV_FUZZ_CHECK(defaults.removeObjectForKey("org.quorvel.language"));
    QV_FUZZ_CHECK(!defaults.stringForKey("org.quorvel.language"));
    return 0;
}
