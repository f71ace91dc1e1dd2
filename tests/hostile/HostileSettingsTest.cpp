// A settings file built to hurt: nesting a million levels deep, within the size the reader
// accepts; symbolic links at the file and at its lock. Reading it and changing one key must
// neither crash, lose the file, nor create or replace anything a link points at.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "Bounds.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

namespace {

TEST(HostileSettings, DeeplyNestedMembersAreKeptOrSetAsideWithoutExhaustingTheStack) {
    qvtest::TempDir dir;
    const std::filesystem::path file = dir / "defaults.json";
    const int depth = 1000000;
    const std::string text =
        "{\"org.quorvel.language\": \"de\", \"diep\": " + std::string(depth, '[') + std::string(depth, ']') + "}";
    qvtest::writeFile(file, text);
    qvhostile::Stopwatch watch;
    QVUserDefaults defaults(file);
    (void)defaults.stringForKey("org.quorvel.language");  // only the time it takes counts here
    EXPECT_TRUE(defaults.setStringForKey("fr", "org.quorvel.language"));
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), "fr");
    // The old contents survive: inside the new file, or set aside beside it.
    bool kept = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        kept = kept || qvtest::readFile(entry.path()).find(std::string(depth, '[')) != std::string::npos;
    EXPECT_TRUE(kept);
    EXPECT_LT(watch.seconds(), qvhostile::kSecondsLimit);
}

namespace fs = std::filesystem;

TEST(HostileSettings, ALinkedSettingsFileIsWrittenThroughAndStaysALink) {
    qvtest::TempDir dir;
    fs::create_directories(dir / "config" / "quorvel");
    fs::create_directories(dir / "dotfiles");
    const fs::path file = dir / "config" / "quorvel" / "defaults.json";
    const fs::path real = dir / "dotfiles" / "quorvel.json";
    qvtest::writeFile(real, R"({"eigen": 1})");
    fs::create_symlink("../../dotfiles/quorvel.json", file);

    QVUserDefaults defaults(file);
    ASSERT_TRUE(defaults.setStringForKey("fr", "org.quorvel.language"));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(fs::read_symlink(file), "../../dotfiles/quorvel.json");
    const auto written = nlohmann::json::parse(qvtest::readFile(real));
    EXPECT_EQ(written["org.quorvel.language"], "fr");
    EXPECT_EQ(written["eigen"], 1);
    EXPECT_EQ(qvtest::folderEntries(dir / "dotfiles").size(), 1u) << "a temporary file was left beside the target";
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), "fr");

    // A damaged target is set aside beside itself; the link still leads to the new file.
    qvtest::writeFile(real, "{kapot");
    ASSERT_TRUE(defaults.setStringForKey("de", "org.quorvel.language"));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), "de");
    EXPECT_EQ(qvtest::folderEntries(dir / "dotfiles").size(), 2u);
}

TEST(HostileSettings, LinksThatLeadNowhereAreNeverFollowedIntoNewFiles) {
    qvtest::TempDir dir;
    const fs::path file = dir / "defaults.json";

    // At the settings file: nothing is stored, and neither the link nor its target appear.
    fs::create_symlink(dir / "nergens.json", file);
    QVUserDefaults defaults(file);
    EXPECT_FALSE(defaults.setStringForKey("fr", "org.quorvel.language"));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_FALSE(fs::exists(dir / "nergens.json"));
    // Nor is a link to a folder replaced by a file.
    fs::remove(file);
    fs::create_directory(dir / "map");
    fs::create_symlink(dir / "map", file);
    EXPECT_FALSE(defaults.setStringForKey("fr", "org.quorvel.language"));
    EXPECT_TRUE(fs::is_symlink(file));
    fs::remove(file);

    // At the lock (the refused writes above made a real one): the setting is stored, the
    // lock's target is never created.
    fs::remove(dir / "defaults.json.lock");
    fs::create_symlink(dir / "slot-doel", dir / "defaults.json.lock");
    EXPECT_TRUE(defaults.setStringForKey("es", "org.quorvel.language"));
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), "es");
    EXPECT_FALSE(fs::exists(dir / "slot-doel"));
    EXPECT_TRUE(fs::is_symlink(dir / "defaults.json.lock"));
}

}  // namespace
