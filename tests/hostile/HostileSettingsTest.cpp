// A settings file built to hurt: nesting a million levels deep, within the size the reader
// accepts. Reading it and changing one key must neither crash nor lose the file.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Bounds.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

namespace {

TEST(HostileSettings, DeeplyNestedMembersAreKeptOrSetAsideWithoutExhaustingTheStack) {
    qvtest::TempDir dir;
    const std::filesystem::path file = dir / "defaults.json";
    const int depth = 1000000;
    const std::string text = "{\"org.quorvel.language\": \"de\", \"diep\": " + std::string(depth, '[') +
                             std::string(depth, ']') + "}";
    qvtest::writeFile(file, text);
    qvhostile::Stopwatch watch;
    QVUserDefaults defaults(file);
    defaults.stringForKey("org.quorvel.language");
    EXPECT_TRUE(defaults.setStringForKey("fr", "org.quorvel.language"));
    EXPECT_EQ(defaults.stringForKey("org.quorvel.language"), "fr");
    // The old contents survive: inside the new file, or set aside beside it.
    bool kept = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        kept = kept || qvtest::readFile(entry.path()).find(std::string(depth, '[')) != std::string::npos;
    EXPECT_TRUE(kept);
    EXPECT_LT(watch.seconds(), qvhostile::kSecondsLimit);
}

}  // namespace
