// The strings-table reader on arbitrary text: a table is read whole or not at all, and what it
// holds is valid UTF-8 whatever the escapes in the file said.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/StringsTable.h"
#include "platform/Unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<QVStringsTable> table = QVParseStringsTable(text);
    if (!table) return 0;
    for (const auto& [key, value] : *table) {
        QV_FUZZ_CHECK(!QVFirstInvalidUTF8(key));
        QV_FUZZ_CHECK(!QVFirstInvalidUTF8(value));
        QV_FUZZ_CHECK(!value.empty());
    }
    // The same text reads the same way every time.
    std::optional<QVStringsTable> again = QVParseStringsTable(text);
    QV_FUZZ_CHECK(again && *again == *table);
    return 0;
}
