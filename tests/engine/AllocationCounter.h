// Counts the allocations of the engine test program (operator new is replaced for the whole program).
#pragma once

#include <cstdint>

namespace tarvex::test {

uint64_t allocationCount();

}  // namespace tarvex::test
