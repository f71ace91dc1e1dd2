#pragma once
// The file-name keys the first pass of a merge has seen, kept as hashes with the record that
// gave each, so that a run of millions of records does not hold millions of strings. Equal
// hashes are confirmed by asking for the earlier record's key again.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

template <typename Hash = std::hash<std::string>>
class QVNameKeys {
public:
    explicit QVNameKeys(size_t records, Hash hash = Hash()) : hash_(std::move(hash)) {
        size_t capacity = 16;
        while (capacity < records * 2) capacity *= 2;
        slots_.assign(capacity, 0);
        hashes_.reserve(records);
    }

    // Records `key` for record r (records are numbered from 1, in order). Answers false when
    // an earlier record has the same key; `keyOfRecord(e)` gives the key of earlier record e.
    template <typename KeyOfRecord>
    [[nodiscard]] bool insert(const std::string& key, uint64_t r, KeyOfRecord&& keyOfRecord) {
        if (hashes_.size() * 2 >= slots_.size()) grow();
        const uint64_t hash = hash_(key);
        for (size_t i = hash & mask();; i = (i + 1) & mask()) {
            const uint64_t earlier = slots_[i];
            if (earlier == 0) {
                slots_[i] = r;
                hashes_.resize(r, 0);
                hashes_[r - 1] = hash;
                return true;
            }
            if (hashes_[earlier - 1] == hash && keyOfRecord(earlier) == key) return false;
        }
    }

private:
    size_t mask() const { return slots_.size() - 1; }

    void grow() {
        std::vector<uint64_t> old(slots_.size() * 2, 0);
        old.swap(slots_);
        for (uint64_t r : old) {
            if (r == 0) continue;
            size_t i = hashes_[r - 1] & mask();
            while (slots_[i] != 0) i = (i + 1) & mask();
            slots_[i] = r;
        }
    }

    Hash hash_;
    std::vector<uint64_t> slots_;   // record numbers; 0 = empty
    std::vector<uint64_t> hashes_;  // the hash of record r's key at r - 1
};
