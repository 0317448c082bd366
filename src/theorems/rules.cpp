// The two pair rules. Integer forms are built in 64 bits: a product of two 16-bit values (a due
// date times a weight) can exceed the signed 32-bit range, and the rules need its exact value.
#include "theorems/theorems.h"

namespace precdp {

namespace {

// X / w in double precision, X exact; w = 0 gives an infinity or NaN, never a trap.
inline double fraction(int64_t numerator, int64_t weight) {
  return static_cast<double>(numerator) / static_cast<double>(weight);
}

inline double larger(double x, double y) {
  return x >= y ? x : y;
}

} // namespace

bool kanetRule(const KanetPair& pair) {
  const int64_t pi = pair.pi, pj = pair.pj, wi = pair.wi, wj = pair.wj;
  const int64_t di = pair.di, dj = pair.dj, rj = pair.rj, Li = pair.Li, A = pair.pairEnd;
  const int64_t T = pair.pairStart + pi + pj; // both jobs complete, exact (not 16-bit)
  const double dueI = static_cast<double>(di), dueJ = static_cast<double>(dj);
  const double F = fraction(di * wi, wj) + fraction(Li * (wj - wi), wj);

  if (pair.pi <= pair.pj) {
    if (pair.wi >= pair.wj) {
      if (pair.di <= pair.dj) return true;                                                 // K1
      if (fraction(dj * wj, wi) + fraction((wi - wj) * T, wi) >= dueI) return true;        // K2
      if (fraction((rj + pj) * wj, wi) + fraction((wi - wj) * T, wi) >= dueI) return true; // K3
    } else {
      const double F2 = fraction((A - pj) * wi, wj) + fraction(Li * (wj - wi), wj);
      if (dueJ >= larger(F, F2)) return true; // K4
      if (fraction((rj + pj) * wj, wi) + fraction((wi - wj) * Li, wi) >= dueI &&
          fraction((wi - wj) * (Li - rj), wi) + fraction(wj * pj, wi) >= static_cast<double>(pi))
        return true; // K5
    }
  }
  if (pair.wi >= pair.wj) {
    const double G = fraction((wj - wi) * T, wj) + fraction(wi * di, wj);
    const double smaller = G >= dueI ? dueI : G; // a NaN G is taken as the smaller: K6 fails
    if (dueJ >= smaller && dueJ >= static_cast<double>(Li) - fraction(wi * pj, wj))
      return true; // K6
    if (fraction((wi - wj) * T, wi) + fraction((rj + pj) * wj, wi) >= dueI &&
        static_cast<double>(pj) >= fraction(wj * (Li - pj - rj), wi))
      return true; // K7
  } else {
    const double H = static_cast<double>(Li) - fraction(wi * pj, wj);
    if (dueJ >= larger(F, H)) return true; // K8
  }
  return pair.dj >= pair.Li; // K9
}

KanetPair kanetPairOf(int i, int j, uint16_t pairStart, uint16_t pairEnd) {
  return {p[i],       p[j],       tardinessWeight[i], tardinessWeight[j],
          dueDate[i], dueDate[j], earliestStart[j],   latestEnd[i],
          pairStart,  pairEnd};
}

bool kanetPairRule(int i, int j) {
  return kanetRule(kanetPairOf(i, j, pairEarliestStart[i][j], pairLatestEnd[i][j]));
}

bool emmonsPairRule(int i, int j) {
  const uint16_t pi = p[i], pj = p[j];
  const uint16_t wi = tardinessWeight[i], wj = tardinessWeight[j];
  const uint16_t di = dueDate[i], dj = dueDate[j];
  const uint16_t Li = latestEnd[i];
  const uint16_t finishJ = static_cast<uint16_t>(earliestStart[j] + pj); // 16-bit sum
  const uint16_t laterOfJ = dj >= finishJ ? dj : finishJ;
  if (pi <= pj && wi >= wj && di <= laterOfJ) return true;                           // E1
  if (wi >= wj && di <= dj && int32_t{dj} >= int32_t{Li} - int32_t{pj}) return true; // E2
  return dj >= Li;                                                                   // E3
}

} // namespace precdp
