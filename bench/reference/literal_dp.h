// The DP in its plain first form: bit-position search for the highest job, a fresh binary
// search from lo (the store's arrBinarySearch) for every child already present, append-or-find, the
// covered-set stop, the capacity stop and one time check per stage. It shares the program's state
// store, keeping its states' times (which the program derives from their sets) in arrays of its
// own beside it, and its statistics, so it gives the same objective, maxLayerSize and totalStates
// as dpSolve. Used as the baseline of precdp-perf and as the oracle of the DP tests; never used by
// the program.
#pragma once

#include "instance/instance.h"

#include <cstdint>

namespace precdp::reference {

// Lookups (binary searches) made by the last literalDpSolve, completed stages or not.
extern uint64_t literalLookupCount;

// Highest bit of a non-empty word, by binary search over the bit positions 0..60.
int literalHighestBit(uint64_t word);

// Same preconditions, store effects and results as dpSolve.
void literalDpSolve();
// The time of the state at `index` of `layer` after literalDpSolve.
uint16_t literalTimeAt(int layer, uint32_t index);

} // namespace precdp::reference
