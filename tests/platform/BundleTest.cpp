#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/Bundle.h"
#include "platform/System.h"
#include "support/TestSupport.h"

using qvtest::TempDir;
using qvtest::writeFile;
namespace fs = std::filesystem;

namespace {

const int objectInTestProgram = 0;

QVBundle bundleAt(const fs::path& path) {
    std::optional<QVBundle> bundle = QVBundle::bundleWithPath(path);
    if (!bundle) throw std::runtime_error("no bundle at " + path.string());
    return *bundle;
}

}  // namespace

TEST(Bundle, BundleOfCodeIsTheFolderOfItsBinary) {
    fs::path bin = fs::canonical(qvtest::binDir());
    // The test program itself, and the shared platform library beside it.
    std::optional<QVBundle> program = QVBundle::bundleForAddress(&objectInTestProgram);
    ASSERT_TRUE(program);
    EXPECT_EQ(program->bundlePath(), bin);
    std::optional<QVBundle> library = QVBundle::bundleForAddress(reinterpret_cast<const void*>(&QVStrError));
    ASSERT_TRUE(library);
    EXPECT_EQ(library->bundlePath(), bin);

    // Heap memory belongs to no binary.
    auto heap = std::make_unique<int>(1);
    EXPECT_FALSE(QVBundle::bundleForAddress(heap.get()));
}

TEST(Bundle, BundleWithPathNeedsAnExistingFolder) {
    TempDir dir;
    fs::create_directories(dir / "b.acroplugin");
    writeFile(dir / "file", "x");
    EXPECT_EQ(bundleAt(dir / "b.acroplugin").bundlePath(), dir / "b.acroplugin");
    EXPECT_EQ(bundleAt(dir.path() / "b.acroplugin/").bundlePath(), dir / "b.acroplugin");
    EXPECT_EQ(bundleAt(dir.path() / "." / "b.acroplugin" / ".." / "b.acroplugin").bundlePath(), dir / "b.acroplugin");
    EXPECT_FALSE(QVBundle::bundleWithPath(dir / "file"));
    EXPECT_FALSE(QVBundle::bundleWithPath(dir / "missing"));
    EXPECT_FALSE(QVBundle::bundleWithPath(""));
    EXPECT_FALSE(QVBundle::bundleWithPath(std::string("b.acro\0plugin", 13)));
}

TEST(Bundle, ResourcesAreFoundBesideTheBinaryThenInTheInstalledLayout) {
    TempDir dir;
    fs::path bin = dir / "prefix" / "bin";
    fs::path shared = dir / "prefix" / "share" / "quorvel" / "Resources";
    fs::create_directories(bin / "Resources" / "en.lproj");
    fs::create_directories(shared / "en.lproj");
    fs::create_directories(shared / "de.lproj");
    writeFile(shared / "Info.json", "{}");
    QVBundle bundle = bundleAt(bin);

    EXPECT_EQ(bundle.pathForResource("en", "lproj"), bin / "Resources" / "en.lproj");
    EXPECT_EQ(bundle.pathForResource("de", "lproj"), shared / "de.lproj");
    EXPECT_EQ(bundle.pathForResource("Info", "json"), shared / "Info.json");
    EXPECT_EQ(bundle.pathForResource("fr", "lproj"), std::nullopt);
    // Names never reach outside the resource folders.
    for (const std::string& hostile :
         {std::string("../Resources/en"), std::string("a/b"), std::string(""), std::string("en\0x", 4)})
        EXPECT_EQ(bundle.pathForResource(hostile, "lproj"), std::nullopt) << hostile;
    EXPECT_EQ(bundle.pathForResource("en", "lproj/../en.lproj"), std::nullopt);
}

TEST(Bundle, LocalizedStringFallsBackToValueThenKey) {
    TempDir dir;
    fs::create_directories(dir / "en.lproj");
    writeFile(dir / "en.lproj" / "Localizable.po",
              "msgid \"Taal...\"\nmsgstr \"Language...\"\n\nmsgid \"Record %lu\"\nmsgstr \"\"\n");
    QVBundle en = bundleAt(dir / "en.lproj");
    EXPECT_EQ(en.localizedString("Taal...", "Taal..."), "Language...");
    EXPECT_EQ(en.localizedString("Record %lu", "Record %lu"), "Record %lu");  // untranslated entry
    EXPECT_EQ(en.localizedString("Onbekend", "fallback"), "fallback");
    EXPECT_EQ(en.localizedString("Onbekend", ""), "Onbekend");

    // A bundle whose table sits in its Resources folder.
    fs::create_directories(dir / "plugin" / "Resources");
    writeFile(dir / "plugin" / "Resources" / "Localizable.po", "msgid \"Ja\"\nmsgstr \"Yes\"\n");
    EXPECT_EQ(bundleAt(dir / "plugin").localizedString("Ja", "Ja"), "Yes");

    // Damaged or missing tables give the value, never a half-read table.
    writeFile(dir / "en.lproj" / "Localizable.po", "msgid \"Taal...\"\nmsgstr \"Language...\"\nmsgid \"broken\n");
    EXPECT_EQ(en.localizedString("Taal...", "Taal..."), "Taal...");
    fs::remove(dir / "en.lproj" / "Localizable.po");
    EXPECT_EQ(en.localizedString("Taal...", "Taal..."), "Taal...");
}

TEST(Bundle, ChangedTablesAreSeenAtTheNextLookup) {
    TempDir dir;
    fs::create_directories(dir / "fr.lproj");
    fs::path table = dir / "fr.lproj" / "Localizable.po";
    QVBundle fr = bundleAt(dir / "fr.lproj");
    // Rewritten in place at once, with the same size: only the contents tell the versions apart.
    int stale = 0;
    for (int i = 0; i < 50; ++i) {
        std::string answer = i % 2 ? "Non" : "Oui";
        writeFile(table, "msgid \"Ja\"\nmsgstr \"" + answer + "\"\n");
        if (fr.localizedString("Ja", "Ja") != answer) ++stale;
    }
    EXPECT_EQ(stale, 0);
    writeFile(table, "msgid \"Ja\"\nmsgstr \"Ouf\"\n");
    // Once the file has been quiet for a while its parsed table is kept, and still every kind of
    // change is seen: an in-place edit, and a replacement by rename as an installer does it.
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    EXPECT_EQ(fr.localizedString("Ja", "Ja"), "Ouf");
    EXPECT_EQ(fr.localizedString("Ja", "Ja"), "Ouf");
    writeFile(table, "msgid \"Ja\"\nmsgstr \"Oui\"\n");
    EXPECT_EQ(fr.localizedString("Ja", "Ja"), "Oui");
    writeFile(dir / "new.po", "msgid \"Ja\"\nmsgstr \"Si!\"\n");
    fs::rename(dir / "new.po", table);
    EXPECT_EQ(fr.localizedString("Ja", "Ja"), "Si!");
}

TEST(Bundle, InfoDictionaryAndLoadedBundleRegistry) {
    TempDir dir;
    fs::create_directories(dir / "one");
    fs::create_directories(dir / "two");
    fs::create_directories(dir / "three");
    writeFile(dir / "one" / "Info.json",
              R"({"CFBundleIdentifier": "org.example.test.one", "CFBundleShortVersionString": "0.12.3", "n": 5})");
    writeFile(dir / "two" / "Info.json", R"({"CFBundleIdentifier": "org.example.test.one"})");
    writeFile(dir / "three" / "Info.json", R"({"CFBundleIdentifier": "org.example.test.three")");  // damaged

    QVBundle one = bundleAt(dir / "one");
    EXPECT_EQ(one.objectForInfoDictionaryKey("CFBundleShortVersionString"), "0.12.3");
    EXPECT_EQ(one.objectForInfoDictionaryKey("n"), std::nullopt);
    EXPECT_EQ(one.objectForInfoDictionaryKey("missing"), std::nullopt);
    EXPECT_EQ(bundleAt(dir / "three").bundleIdentifier(), std::nullopt);
    EXPECT_EQ(bundleAt(dir.path()).bundleIdentifier(), std::nullopt);

    EXPECT_FALSE(QVBundle::bundleWithIdentifier("org.example.test.one"));
    QVBundle::registerLoadedBundle(one);
    QVBundle::registerLoadedBundle(bundleAt(dir / "two"));  // same identifier: the first one stays
    QVBundle::registerLoadedBundle(bundleAt(dir / "three"));
    std::optional<QVBundle> found = QVBundle::bundleWithIdentifier("org.example.test.one");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->bundlePath(), dir / "one");
    EXPECT_FALSE(QVBundle::bundleWithIdentifier("org.example.test.three"));
    EXPECT_FALSE(QVBundle::bundleWithIdentifier(""));
}
