// Bytes left for allocation during one load: a reader takes from it before it allocates what a
// file's counts ask for, so that no count can make it allocate much more than the file's size.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tarvex {

class AllocationBudget {
   public:
    explicit AllocationBudget(int64_t bytes) : left_(bytes) {}
    // Takes bytes when that many are left.
    bool take(int64_t bytes) {
        if (bytes > left_) return false;
        left_ -= bytes;
        return true;
    }
    // How many items of itemSize fit, up to wanted; takes them.
    int64_t takeUpTo(int64_t wanted, int64_t itemSize) {
        const int64_t granted = std::min(wanted, left_ / itemSize);
        left_ -= granted * itemSize;
        return granted;
    }

   private:
    int64_t left_;
};

}  // namespace tarvex
