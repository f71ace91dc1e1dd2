#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/NameKeys.h"

namespace {

// Every key lands in the same few slots, so that each lookup meets keys of other records.
struct FewHashes {
    uint64_t operator()(const std::string& key) const { return key.size() % 3; }
};

TEST(NameKeys, EqualHashesAreConfirmedByTheKeysThemselves) {
    std::vector<std::string> keys;
    int asked = 0;
    auto keyOf = [&](uint64_t r) {
        ++asked;
        return keys.at(r - 1);
    };
    QVNameKeys<FewHashes> seen(2);  // too small on purpose: it has to grow on the way
    for (int i = 1; i <= 200; ++i) {
        keys.push_back("naam-" + std::to_string(i));
        ASSERT_TRUE(seen.insert(keys.back(), keys.size(), keyOf)) << keys.back();
    }
    EXPECT_GT(asked, 0) << "colliding hashes were never checked";
    keys.push_back("naam-117");
    EXPECT_FALSE(seen.insert(keys.back(), keys.size(), keyOf));
    keys.back() = "naam-201";
    EXPECT_TRUE(seen.insert(keys.back(), keys.size(), keyOf));
}

TEST(NameKeys, RealHashesFindTheFirstRepeat) {
    std::vector<std::string> keys;
    auto keyOf = [&](uint64_t r) { return keys.at(r - 1); };
    QVNameKeys<> seen(100000);
    for (int i = 1; i <= 100000; ++i) {
        keys.push_back(std::to_string(i * 7919 % 100003));
        ASSERT_TRUE(seen.insert(keys.back(), keys.size(), keyOf));
    }
    keys.push_back(keys[4321]);
    EXPECT_FALSE(seen.insert(keys.back(), keys.size(), keyOf));
}

}  // namespace
