#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "platform/System.h"
#include "support/TestSupport.h"

using namespace std::chrono;

TEST(System, StrErrorGivesTheSystemTextFromAnyThread) {
    EXPECT_EQ(QVStrErrorIn(ENOENT, "en"), "No such file or directory");
    EXPECT_EQ(QVStrErrorIn(EEXIST, "en"), "File exists");
    EXPECT_FALSE(QVStrErrorIn(987654, "nl").empty());

    // Each thread must get its own number's text, never another thread's, in its language.
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    const int codes[] = {ENOENT, EACCES, ENOSPC, EIO};
    const char* languages[] = {"nl", "fr", "de", "en"};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::string expected = QVStrErrorIn(codes[t], languages[t]);
            for (int i = 0; i < 2000; ++i)
                if (QVStrErrorIn(codes[t], languages[t]) != expected) ++mismatches[t];
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

namespace {

// Whether this system translates its error texts into `language`: the C library's catalogs and
// a locale of the language are both installed.
bool systemSpeaks(const char* language) {
    qvtest::ScopedEnv noLanguage("LANGUAGE", std::nullopt);  // it would speak for the C library
    return QVStrErrorIn(ENOENT, language) != QVStrErrorIn(ENOENT, "en");
}

}  // namespace

TEST(System, StrErrorSpeaksTheLanguageInForceWhenTheSystemDoes) {
    qvtest::TempDir home;
    qvtest::ScopedEnv homeEnv("HOME", home.path().string());
    qvtest::ScopedEnv configEnv("XDG_CONFIG_HOME", (home / "config").string());
    qvtest::ScopedEnv all("LC_ALL", std::nullopt);
    {
        // English is English whatever the machine's locale.
        qvtest::ScopedEnv language("LANGUAGE", "en");
        EXPECT_EQ(QVStrError(EACCES), "Permission denied");
    }
    if (!systemSpeaks("nl") || !systemSpeaks("fr"))
        GTEST_SKIP() << "no Dutch or French system texts here (Debian: libc-l10n and the nl_NL and fr_FR locales)";
    {
        qvtest::ScopedEnv language("LANGUAGE", "nl");
        EXPECT_EQ(QVStrError(ENOENT), "Bestand of map bestaat niet");
        EXPECT_EQ(QVStrError(EACCES), "Toegang geweigerd");
    }
    {
        qvtest::ScopedEnv language("LANGUAGE", "fr");
        EXPECT_EQ(QVStrError(ENOENT), "Aucun fichier ou dossier de ce type");
        EXPECT_EQ(QVStrError(EACCES), "Permission non accordée");  // as UTF-8, not made ASCII
    }
    // LANGUAGE naming a language other than the one in force would make the C library answer
    // in that one; English is better than a third language.
    qvtest::ScopedEnv language("LANGUAGE", "it:fr");
    EXPECT_EQ(QVStrErrorIn(ENOENT, "fr"), "No such file or directory");
}

TEST(System, UUIDsAreUpperCaseVersionFourAndUnique) {
    const std::regex form("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    std::set<std::string> seen;
    for (int i = 0; i < 2000; ++i) {
        std::string uuid = QVNewUUIDString();
        ASSERT_TRUE(std::regex_match(uuid, form)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 2000u);
}

TEST(System, TimestampsAreWholeSecondsInUTC) {
    EXPECT_EQ(QVISO8601String(system_clock::time_point{}), "1970-01-01T00:00:00Z");
    system_clock::time_point t{seconds(1796703378)};
    EXPECT_EQ(QVISO8601String(t), "2026-12-08T04:16:18Z");
    // Fractions are dropped, never rounded up, also before 1970.
    EXPECT_EQ(QVISO8601String(t + milliseconds(999)), "2026-12-08T04:16:18Z");
    EXPECT_EQ(QVISO8601String(system_clock::time_point{} - milliseconds(500)), "1969-12-31T23:59:59Z");
    // A leap day and the end of a year.
    EXPECT_EQ(QVISO8601String(system_clock::time_point{seconds(951782400)}), "2000-02-29T00:00:00Z");
    EXPECT_EQ(QVISO8601String(system_clock::time_point{seconds(1767225599)}), "2025-12-31T23:59:59Z");

    EXPECT_TRUE(std::regex_match(QVISO8601Now(), std::regex(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)")));
}
