#include "engine/CycleDetector.h"

#include <algorithm>

namespace tarvex {

void CycleDetector::prepare(uint32_t keyWords) {
    keyWords_ = keyWords;
    const uint32_t keyBytes = std::max<uint32_t>(keyWords, 1) * sizeof(uint32_t);
    keyCapacity_ = std::clamp<uint32_t>(kKeyBytesBudget / keyBytes, 256, kMaxKeys);
    scratch_.assign(keyWords, 0);
    keys_.assign(size_t{keyCapacity_} * keyWords, 0);
    keyHashes_.assign(keyCapacity_, 0);
    lastRun_.assign(keyCapacity_, kNone);
    // At most half full, so a probe always meets an empty slot.
    uint32_t slots = 1;
    while (slots < 2 * keyCapacity_) slots *= 2;
    slots_.assign(slots, 0);
    runs_.assign(kRunCapacity, Run{});
    restart();
}

void CycleDetector::restart() {
    std::fill(slots_.begin(), slots_.end(), 0u);
    keyCount_ = 0;
    runCount_ = 0;
    current_ = kNone;
}

uint64_t CycleDetector::hashOfKey() const {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t word : scratch_) {
        h ^= word;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    return h;
}

bool CycleDetector::keyEquals(uint32_t id, uint64_t hash) const {
    return keyHashes_[id] == hash &&
           std::equal(scratch_.begin(), scratch_.end(), keys_.begin() + size_t{id} * keyWords_);
}

uint32_t CycleDetector::findKey(uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint32_t slot = slots_[i];
        if (slot == 0) return kNone;
        if (keyEquals(slot - 1, hash)) return slot - 1;
    }
}

uint32_t CycleDetector::addKey(uint64_t hash) {
    const uint32_t id = keyCount_++;
    std::copy(scratch_.begin(), scratch_.end(), keys_.begin() + size_t{id} * keyWords_);
    keyHashes_[id] = hash;
    lastRun_[id] = kNone;
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = id + 1;
    return id;
}

bool CycleDetector::visit(uint32_t position) {
    if (runs_.empty()) return false;  // not prepared
    const uint64_t hash = hashOfKey();
    // Most rows continue the run of the row before under the same key.
    uint32_t id = kNone;
    if (current_ != kNone && keyEquals(runs_[current_].key, hash)) {
        id = runs_[current_].key;
    } else {
        id = findKey(hash);
    }
    if (id != kNone) {
        for (uint32_t r = lastRun_[id]; r != kNone; r = runs_[r].nextWithKey) {
            if (runs_[r].first <= position && position <= runs_[r].last) return true;
        }
        if (current_ != kNone && runs_[current_].key == id && runs_[current_].last + 1 == position) {
            runs_[current_].last = position;
            return false;
        }
    }
    if (runCount_ == runs_.size() || (id == kNone && keyCount_ == keyCapacity_)) {
        restart();
        id = kNone;
    }
    if (id == kNone) id = addKey(hash);
    const uint32_t run = runCount_++;
    runs_[run] = Run{position, position, id, lastRun_[id]};
    lastRun_[id] = run;
    current_ = run;
    return false;
}

}  // namespace tarvex
