#pragma once
// The anchor through which the program finds its own resources: the bundle of the binary that
// holds the localization code (the plug-in library, or a program linked with it).

#include <memory>
#include <optional>
#include <string>

#include "platform/Bundle.h"

class QVLocalizationBundle {
public:
    // The bundle that contains this code; nothing only if the system cannot say.
    [[nodiscard]] static std::optional<QVBundle> bundle();
};

// The translation of `key` into `language` from the "<language>.lproj" folder of `resources`,
// or `key` itself when the folder, its table or the entry is missing. QVText is this lookup
// with the program's own bundle and the language in force.
std::string QVTextFromBundle(const QVBundle& resources, const std::string& language, const std::string& key);

// The strings table of the "<language>.lproj" folder of `resources` as it stands now, or nothing
// when the folder or its table is missing or damaged.
[[nodiscard]] std::shared_ptr<const QVStringsTable> QVStringsFromBundle(const QVBundle& resources,
                                                                        const std::string& language);

// The entry for `key` in `table`, or `key` itself when there is no table or no entry.
std::string QVTextFromTable(const QVStringsTable* table, const std::string& key);
