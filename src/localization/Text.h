#pragma once
// The language in force and the lookup of user-visible texts by their Dutch wording.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/StringsTable.h"

// The code of the language in force: always one of "nl", "en", "fr", "de", "es".
std::string QVLanguage();

// Stores the choice: "auto" removes the stored setting, anything else is stored as given.
// False when the user defaults could not be written; the language in force then stays.
[[nodiscard]] bool QVSetLanguage(const std::string& code);

// The translation of the Dutch text `key` in the language in force, or `key` itself.
std::string QVText(const std::string& key);

// Whether a count of `n` things takes the singular in the language in force: only 1 in Dutch,
// English, German and Spanish; 0 and 1 in French.
bool QVIsSingularCount(uint64_t n);

// While one lives, QVText and QVLanguage on this thread answer from the language in force and
// its table as they were when it was made: a batch of texts shown together (the command line's
// help is some 150) finds them once instead of once per text, and never in two languages. A
// language chosen meanwhile takes effect when the batch ends. Batches nest.
class QVTextBatch {
public:
    QVTextBatch();
    ~QVTextBatch();
    QVTextBatch(const QVTextBatch&) = delete;
    QVTextBatch& operator=(const QVTextBatch&) = delete;

    const std::string& language() const { return language_; }
    std::string text(const std::string& key) const;

private:
    std::string language_;
    std::shared_ptr<const QVStringsTable> table_;  // nothing: every key stands for itself
    const QVTextBatch* outer_;
};
