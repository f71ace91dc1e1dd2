#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/PreferredLanguages.h"
#include "support/TestSupport.h"

using qvtest::ScopedEnv;
using Tags = std::vector<std::string>;

namespace {

// Sets all four language variables at once (nullopt = unset) for the length of a test.
struct LanguageEnv {
    LanguageEnv(std::optional<std::string> language, std::optional<std::string> all,
                std::optional<std::string> messages, std::optional<std::string> lang)
        : language_("LANGUAGE", language),
          all_("LC_ALL", all),
          messages_("LC_MESSAGES", messages),
          lang_("LANG", lang) {}
    ScopedEnv language_, all_, messages_, lang_;
};

}  // namespace

TEST(PreferredLanguages, LocaleNamesLoseEncodingAndModifier) {
    EXPECT_EQ(QVLanguageTagFromLocale("nl_NL.UTF-8"), "nl_NL");
    EXPECT_EQ(QVLanguageTagFromLocale("de_DE.ISO-8859-15@euro"), "de_DE");
    EXPECT_EQ(QVLanguageTagFromLocale("sr_RS@latin"), "sr_RS");
    EXPECT_EQ(QVLanguageTagFromLocale("fr"), "fr");
    for (const char* none : {"C", "POSIX", "C.UTF-8", "C.utf8", "", ".UTF-8", "@euro"})
        EXPECT_EQ(QVLanguageTagFromLocale(none), "") << none;
}

TEST(PreferredLanguages, LanguageListComesBeforeTheLocale) {
    LanguageEnv env("pt_BR:de::en_US.UTF-8:", std::nullopt, std::nullopt, "nl_NL.UTF-8");
    EXPECT_EQ(QVPreferredLanguages(), (Tags{"pt_BR", "de", "en_US", "nl_NL"}));
}

TEST(PreferredLanguages, EffectiveLocaleIsTheFirstNonEmptyVariable) {
    {
        LanguageEnv env(std::nullopt, "es_ES.UTF-8", "fr_FR.UTF-8", "de_DE.UTF-8");
        EXPECT_EQ(QVPreferredLanguages(), Tags{"es_ES"});
    }
    {
        LanguageEnv env("", "", "fr_FR.UTF-8", "de_DE.UTF-8");
        EXPECT_EQ(QVPreferredLanguages(), Tags{"fr_FR"});
    }
    {
        LanguageEnv env(std::nullopt, std::nullopt, std::nullopt, "de_AT.UTF-8");
        EXPECT_EQ(QVPreferredLanguages(), Tags{"de_AT"});
    }
}

TEST(PreferredLanguages, TheCLocaleAndRepeatsAddNothing) {
    {
        // A C locale in LC_ALL still wins over LANG: it just names no language.
        LanguageEnv env(std::nullopt, "C.UTF-8", std::nullopt, "nl_NL.UTF-8");
        EXPECT_EQ(QVPreferredLanguages(), Tags{});
    }
    {
        LanguageEnv env("POSIX:fr:fr", std::nullopt, std::nullopt, "fr.UTF-8");
        EXPECT_EQ(QVPreferredLanguages(), Tags{"fr"});
    }
    {
        LanguageEnv env(std::nullopt, std::nullopt, std::nullopt, std::nullopt);
        EXPECT_EQ(QVPreferredLanguages(), Tags{});
    }
}
