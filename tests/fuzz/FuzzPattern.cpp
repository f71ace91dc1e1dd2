// Pattern expansion and output file names on arbitrary patterns, columns and values. Whatever
// goes in, a name that comes out must be one plain component that stays in its folder.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "output/Pattern.h"
#include "platform/Unicode.h"

namespace {

// Input layout: 8 bytes of record number, then NUL-separated parts: the pattern, then column
// name and value pairs.
std::vector<std::string_view> split(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        size_t end = text.find('\0', start);
        if (end == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    uint64_t number;
    std::memcpy(&number, data, 8);
    const std::vector<std::string_view> parts = split({reinterpret_cast<const char*>(data) + 8, size - 8});
    const std::string_view pattern = parts[0];
    std::vector<std::string_view> columns, values;
    for (size_t i = 1; i + 1 < parts.size(); i += 2) {
        columns.push_back(parts[i]);
        values.push_back(parts[i + 1]);
    }

    QVError error;
    std::optional<std::string> expanded = QVExpandPattern(pattern, columns, values, number, 1, &error);
    QV_FUZZ_CHECK(expanded || !error.message.empty());
    if (pattern.find_first_of("{}") == std::string_view::npos) QV_FUZZ_CHECK(expanded && *expanded == pattern);

    std::optional<std::string> name = QVFilename(pattern, columns, values, number, &error);
    if (!name) return 0;
    QV_FUZZ_CHECK(name->size() > 4 && name->size() <= 255);
    QV_FUZZ_CHECK(name->ends_with(".pdf"));
    QV_FUZZ_CHECK(name->front() != '.');
    QV_FUZZ_CHECK(name->find_first_of(std::string_view("/\\:\0", 4)) == std::string::npos);
    QV_FUZZ_CHECK(!QVFirstInvalidUTF8(*name));
    const std::filesystem::path path = std::filesystem::path("folder") / *name;
    QV_FUZZ_CHECK(path.parent_path() == "folder" && path.filename() == *name);
    return 0;
}
