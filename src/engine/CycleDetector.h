// The row-start states a song has been in, so that with LoopsAllowed off a song that can only
// repeat itself ends where it would start doing so.
//
// A state is a position (order * 64 + row) and a key: whatever else decides where the song goes
// from there (speed, tempo and every pattern-loop field, as words the sequencer writes). Rows
// played one after the other under the same key form a run, so the history holds runs (first and
// last position, key) instead of rows: a song without loops is a handful of runs, a loop adds one
// or two per pass. A state has been seen when a run with its key covers its position; every key is
// kept once and its runs are chained, so a look-up only walks the runs of one key.
//
// prepare (at song start) sizes everything; visit allocates nothing and its time is bounded by the
// capacities. A history that fills up starts afresh from the state at hand: the song then ends one
// pass of its cycle later than it could have, which takes a cycle of thousands of runs.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvex {

class CycleDetector {
   public:
    static constexpr uint32_t kRunCapacity = 8192;
    static constexpr uint32_t kMaxKeys = 2048;
    static constexpr uint32_t kKeyBytesBudget = 256 * 1024;  // fewer keys when they are long

    // Room for keys of keyWords words each; forgets everything. Allocates.
    void prepare(uint32_t keyWords);
    // Forgets every state seen, without allocating: the next visit starts the history afresh.
    void restart();
    // The key of the next visit: keyWords words for the caller to fill.
    uint32_t* key() { return scratch_.data(); }
    // The song is at a row start at position with key(). True when it has been in exactly this
    // state before; otherwise the state is recorded and false returned.
    bool visit(uint32_t position);

    uint32_t runCount() const { return runCount_; }
    uint32_t keyCount() const { return keyCount_; }

   private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    struct Run {
        uint32_t first;
        uint32_t last;
        uint32_t key;
        uint32_t nextWithKey;  // the run recorded before this one under the same key
    };

    uint64_t hashOfKey() const;
    bool keyEquals(uint32_t id, uint64_t hash) const;
    uint32_t findKey(uint64_t hash) const;
    uint32_t addKey(uint64_t hash);

    uint32_t keyWords_ = 0;
    uint32_t keyCapacity_ = 0;
    std::vector<uint32_t> scratch_;
    std::vector<uint32_t> keys_;       // keyCapacity_ keys of keyWords_ words
    std::vector<uint64_t> keyHashes_;  // one per key
    std::vector<uint32_t> lastRun_;    // one per key: its latest run, the head of its chain
    std::vector<uint32_t> slots_;      // open addressing over key ids + 1 (0 = empty)
    std::vector<Run> runs_;
    uint32_t keyCount_ = 0;
    uint32_t runCount_ = 0;
    uint32_t current_ = kNone;  // the run the last visit extended or started
};

}  // namespace tarvex
