#include "localization/Text.h"

#include "localization/LocalizationBundle.h"
#include "platform/LanguageChoice.h"
#include "platform/UserDefaults.h"

namespace {
// The batch in force on this thread, innermost first.
thread_local const QVTextBatch* currentBatch = nullptr;
}  // namespace

QVTextBatch::QVTextBatch() : outer_(currentBatch) {
    if (outer_) {
        // Inside another batch: its language and table, found already.
        language_ = outer_->language_;
        table_ = outer_->table_;
    } else {
        language_ = QVResolveLanguage();
        if (std::optional<QVBundle> resources = QVLocalizationBundle::bundle())
            table_ = QVStringsFromBundle(*resources, language_);
    }
    currentBatch = this;
}

QVTextBatch::~QVTextBatch() { currentBatch = outer_; }

std::string QVTextBatch::text(const std::string& key) const { return QVTextFromTable(table_.get(), key); }

std::string QVLanguage() { return currentBatch ? currentBatch->language() : QVResolveLanguage(); }

bool QVSetLanguage(const std::string& code) {
    // The choice is a convenience: when it cannot be stored, the language simply stays, and
    // the caller may say so.
    QVUserDefaults defaults = QVUserDefaults::standardUserDefaults();
    if (code == "auto") return defaults.removeObjectForKey(QVLanguageDefaultsKey);
    return defaults.setStringForKey(code, QVLanguageDefaultsKey);
}

bool QVIsSingularCount(uint64_t n) {
    if (QVLanguage() == "fr") return n <= 1;
    return n == 1;
}

std::string QVText(const std::string& key) {
    if (currentBatch) return currentBatch->text(key);
    std::optional<QVBundle> resources = QVLocalizationBundle::bundle();
    if (!resources) return key;
    return QVTextFromBundle(*resources, QVLanguage(), key);
}
