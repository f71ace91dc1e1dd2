#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

using qvtest::ScopedEnv;
using qvtest::TempDir;
namespace fs = std::filesystem;

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    TempDir home;
    ScopedEnv homeEnv{"HOME", (home / "home").string()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", (home / "config").string()};
    fs::path file = home / "config" / "quorvel" / "defaults.json";

    std::vector<std::string> namesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(file.parent_path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<fs::path> setAsideFiles() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(file.parent_path()))
            if (entry.path().filename().string().rfind("defaults.json.corrupt-", 0) == 0) found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        return found;
    }
    unsigned mode(const fs::path& p) const {
        struct stat info {};
        stat(p.c_str(), &info);
        return info.st_mode & 07777;
    }
};

}  // namespace

TEST_F(UserDefaultsTest, LocationFollowsXdgConfigHomeOnlyWhenAbsolute) {
    EXPECT_EQ(QVUserDefaultsPath(), file);
    for (const char* unusable : {"", "relative/config"}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", unusable);
        EXPECT_EQ(QVUserDefaultsPath(), home / "home" / ".config" / "quorvel" / "defaults.json") << unusable;
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(QVUserDefaultsPath(), home / "home" / ".config" / "quorvel" / "defaults.json");
}

TEST_F(UserDefaultsTest, StoresReadsAndRemovesStringsKeepingOtherKeys) {
    QVUserDefaults defaults = QVUserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), std::nullopt);
    // Removing from a file that does not exist creates nothing.
    EXPECT_TRUE(defaults.removeObjectForKey("org.quorvel.language"));
    EXPECT_FALSE(fs::exists(file.parent_path()));

    ASSERT_TRUE(defaults.setStringForKey("de", "org.quorvel.language"));
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), "de");
    EXPECT_EQ(mode(file.parent_path()), 0700u);
    EXPECT_EQ(mode(file), 0600u);

    // Someone else's keys, of any type, survive our writes untouched.
    qvtest::writeFile(file, R"({"other": {"nested": [1, 2.5, null]}, "org.quorvel.language": "fr", "n": 7})");
    EXPECT_EQ(defaults.stringForKey("n"), std::nullopt);  // not a string
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), "fr");
    ASSERT_TRUE(defaults.setStringForKey("é ünïcode", "extra"));
    ASSERT_TRUE(defaults.removeObjectForKey("org.quorvel.language"));
    auto json = nlohmann::json::parse(qvtest::readFile(file));
    EXPECT_EQ(json, nlohmann::json::parse(R"({"other": {"nested": [1, 2.5, null]}, "n": 7, "extra": "é ünïcode"})"));
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), std::nullopt);

    // Only the file and its lock are left in the folder: no temporary files.
    EXPECT_EQ(namesInFolder(), (std::vector<std::string>{"defaults.json", "defaults.json.lock"}));
}

TEST_F(UserDefaultsTest, DamagedFileReadsEmptyAndIsKeptAsideBeforeTheNextWrite) {
    QVUserDefaults defaults = QVUserDefaults::standardUserDefaults();
    fs::create_directories(file.parent_path());
    const std::string damaged[] = {
        "{\"org.quorvel.language\": \"de\"",          // cut short
        "[\"org.quorvel.language\", \"de\"]",         // not an object
        "{\"org.quorvel.language\": \"d\xff\xfe\"}",  // not UTF-8
    };
    for (const std::string& text : damaged) {
        qvtest::writeFile(file, text);
        EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), std::nullopt);
        ASSERT_TRUE(defaults.setStringForKey("es", "org.quorvel.language"));
        EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), "es");
    }
    // Each damaged version is kept under its own name, even when several come in one second.
    std::vector<fs::path> aside = setAsideFiles();
    ASSERT_EQ(aside.size(), 3u);
    std::set<std::string> kept;
    for (const fs::path& p : aside) {
        EXPECT_TRUE(std::regex_match(p.filename().string(),
                                     std::regex(R"(defaults\.json\.corrupt-\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ(-\d+)?)")))
            << p;
        kept.insert(qvtest::readFile(p));
    }
    EXPECT_EQ(kept, std::set<std::string>(std::begin(damaged), std::end(damaged)));
}

TEST_F(UserDefaultsTest, WritesThatCannotBeMadeAnswerFalse) {
    // The folder's place is taken by a file.
    fs::create_directories(home / "config");
    qvtest::writeFile(home / "config" / "quorvel", "not a folder");
    QVUserDefaults defaults = QVUserDefaults::standardUserDefaults();
    EXPECT_FALSE(defaults.setStringForKey("de", "org.quorvel.language"));
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), std::nullopt);

    // A value that is not UTF-8 cannot be stored and leaves the file as it was.
    QVUserDefaults other(home / "other" / "defaults.json");
    ASSERT_TRUE(other.setStringForKey("de", "k"));
    std::string before = qvtest::readFile(home / "other" / "defaults.json");
    EXPECT_FALSE(other.setStringForKey("\xc3\x28", "k"));
    EXPECT_EQ(qvtest::readFile(home / "other" / "defaults.json"), before);

    QVUserDefaults nowhere(std::nullopt);
    EXPECT_FALSE(nowhere.setStringForKey("de", "k"));
    EXPECT_EQ(nowhere.stringForKey("k"), std::nullopt);
}

TEST_F(UserDefaultsTest, ReadersNeverSeeHalfWrittenFilesAndConcurrentWritersLoseNothing) {
    QVUserDefaults defaults = QVUserDefaults::standardUserDefaults();
    ASSERT_TRUE(defaults.setStringForKey(std::string(20000, 'x'), "big"));

    std::atomic<bool> done{false};
    std::atomic<int> badReads{0};
    std::thread reader([&] {
        while (!done) {
            std::string text = qvtest::readFile(file);
            if (!nlohmann::json::accept(text)) ++badReads;
        }
    });
    auto writer = [&](const std::string& key) {
        for (int i = 0; i < 40; ++i) EXPECT_TRUE(defaults.setStringForKey(std::to_string(i), key));
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    done = true;
    reader.join();

    EXPECT_EQ(badReads, 0);
    EXPECT_EQ(defaults.stringForKey("a"), "39");
    EXPECT_EQ(defaults.stringForKey("b"), "39");
    EXPECT_EQ(defaults.stringForKey("big"), std::string(20000, 'x'));
}
