// The theorem pass in its plain first form: the pair-window matrices rebuilt in full (cubic in
// jobCount) after every arc, every set walked job by job with live membership tests, and the two
// rules written condition by condition from their matrices and tables. Same preconditions and
// effects on the instance tables as precTheoremPass; integer forms in 64 bits, as the rules need
// their exact values. Used as the baseline of precdp-perf and as the oracle of the theorem tests;
// never used by the program.
#pragma once

#include "instance/instance.h"

namespace precdp::reference {

using LiteralRule = bool (*)(int i, int j);

bool literalKanetPairRule(int i, int j);  // K1..K9 on the matrices
bool literalEmmonsPairRule(int i, int j); // E1..E3

bool literalDomPairClosure(int a, int b, LiteralRule rule);
void literalDomAddPrec(int a, int b);
void literalRebuildPairWindows();

// The sweeps; afterArc (when set) is called after each arc and its rebuild, with the arc.
void literalPrecTheoremPass(LiteralRule rule, void (*afterArc)(int a, int b) = nullptr);

} // namespace precdp::reference
