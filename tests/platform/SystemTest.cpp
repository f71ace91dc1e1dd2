#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "platform/System.h"

using namespace std::chrono;

TEST(System, StrErrorGivesTheSystemTextFromAnyThread) {
    EXPECT_EQ(QVStrError(ENOENT), "No such file or directory");
    EXPECT_EQ(QVStrError(EEXIST), "File exists");
    EXPECT_FALSE(QVStrError(987654).empty());

    // Each thread must get its own number's text, never another thread's.
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    const int codes[] = {ENOENT, EACCES, ENOSPC, EIO};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::string expected = QVStrError(codes[t]);
            for (int i = 0; i < 2000; ++i)
                if (QVStrError(codes[t]) != expected) ++mismatches[t];
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
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
