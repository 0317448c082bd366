#include "reference/literal_theorems.h"

#include "platform/platform.h"

#include <cstdio>

namespace precdp::reference {

namespace {

bool member(const JobSet& set, int job) {
  if (job < 60) return (set.word[0] & jobBit[job]) == jobBit[job];
  return (set.word[1] & jobBit[job - 60]) == jobBit[job - 60];
}

void put(JobSet& set, int job) {
  if (job < 60)
    set.word[0] |= jobBit[job];
  else
    set.word[1] |= jobBit[job - 60];
}

// (X)/w: the exact integer X over the weight, in double.
double over(long long numerator, long long weight) {
  return double(numerator) / double(weight);
}

} // namespace

bool literalKanetPairRule(int i, int j) {
  const long long pi = p[i], pj = p[j], wi = tardinessWeight[i], wj = tardinessWeight[j];
  const long long di = dueDate[i], dj = dueDate[j];
  const long long rj = earliestStart[j], Li = latestEnd[i];
  const long long B = pairEarliestStart[i][j], A = pairLatestEnd[i][j];
  const long long T = B + pi + pj;
  const bool smallerP = p[i] <= p[j], heavierI = tardinessWeight[i] >= tardinessWeight[j];

  if (smallerP && heavierI) {
    if (dueDate[i] <= dueDate[j]) return true;
    if (over(dj * wj, wi) + over((wi - wj) * T, wi) >= double(di)) return true;
    if (over((rj + pj) * wj, wi) + over((wi - wj) * T, wi) >= double(di)) return true;
  }
  if (smallerP && !heavierI) {
    double F = over(di * wi, wj) + over(Li * (wj - wi), wj);
    double F2 = over((A - pj) * wi, wj) + over(Li * (wj - wi), wj);
    double largerOf = F >= F2 ? F : F2;
    if (double(dj) >= largerOf) return true;
    bool first = over((rj + pj) * wj, wi) + over((wi - wj) * Li, wi) >= double(di);
    bool second = over((wi - wj) * (Li - rj), wi) + over(wj * pj, wi) >= double(pi);
    if (first && second) return true;
  }
  if (heavierI) {
    double G = over((wj - wi) * T, wj) + over(wi * di, wj);
    double smallerOf = G >= double(di) ? double(di) : G;
    bool first = double(dj) >= smallerOf;
    bool second = double(dj) >= double(Li) - over(wi * pj, wj);
    if (first && second) return true;
    first = over((wi - wj) * T, wi) + over((rj + pj) * wj, wi) >= double(di);
    second = double(pj) >= over(wj * (Li - pj - rj), wi);
    if (first && second) return true;
  } else {
    double F = over(di * wi, wj) + over(Li * (wj - wi), wj);
    double H = double(Li) - over(wi * pj, wj);
    double largerOf = F >= H ? F : H;
    if (double(dj) >= largerOf) return true;
  }
  return dueDate[j] >= latestEnd[i];
}

bool literalEmmonsPairRule(int i, int j) {
  uint16_t sum = uint16_t(earliestStart[j] + p[j]);
  uint16_t largerOf = dueDate[j] >= sum ? dueDate[j] : sum;
  if (p[i] <= p[j] && tardinessWeight[i] >= tardinessWeight[j] && dueDate[i] <= largerOf)
    return true;
  if (tardinessWeight[i] >= tardinessWeight[j] && dueDate[i] <= dueDate[j] &&
      int32_t(dueDate[j]) >= int32_t(latestEnd[i]) - int32_t(p[j]))
    return true;
  return dueDate[j] >= latestEnd[i];
}

bool literalDomPairClosure(int a, int b, LiteralRule rule) {
  const int n = jobCount;
  for (int k = 0; k < n; ++k) {
    if (k != a && !member(pred[a], k)) continue;
    for (int l = 0; l < n; ++l) {
      if (l != b && !member(succ[b], l)) continue;
      if (member(pred[l], k)) continue;
      if (!rule(k, l)) return false;
    }
  }
  return true;
}

void literalDomAddPrec(int a, int b) {
  const int n = jobCount;
  for (int k = 0; k < n; ++k) {
    if (k != a && !member(pred[a], k) && !member(domPred[a], k)) continue;
    for (int l = 0; l < n; ++l) {
      if (l != b && !member(succ[b], l) && !member(domSucc[b], l)) continue;
      if (member(pred[l], k) || member(domPred[l], k)) continue;
      if (member(succ[l], k) || member(domSucc[l], k) || k == l) {
        std::printf("Error! DomAddPrec\n");
        waitKey();
      }
      put(domPred[l], k);
      earliestStart[l] = uint16_t(earliestStart[l] + p[k]);
      put(domSucc[k], l);
      latestEnd[k] = uint16_t(latestEnd[k] - p[l]);
    }
  }
}

void literalRebuildPairWindows() {
  const int n = jobCount;
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b < n; ++b) {
      uint16_t start = 0, end = 0;
      for (int m = 0; m < n; ++m) {
        if (member(pred[a], m) || member(pred[b], m) || member(domPred[a], m) ||
            member(domPred[b], m))
          start = uint16_t(start + p[m]);
        if (!member(succ[a], m) && !member(succ[b], m) && !member(domSucc[a], m) &&
            !member(domSucc[b], m))
          end = uint16_t(end + p[m]);
      }
      pairEarliestStart[a][b] = start;
      pairLatestEnd[a][b] = end;
    }
  }
}

void literalPrecTheoremPass(LiteralRule rule, void (*afterArc)(int a, int b)) {
  const int n = jobCount;
  bool changed = true;
  while (changed) {
    changed = false;
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < i; ++j) {
        if (member(pred[i], j) || member(succ[i], j) || member(domPred[i], j) ||
            member(domSucc[i], j))
          continue;
        int a = -1, b = -1;
        if (literalDomPairClosure(i, j, rule))
          a = i, b = j;
        else if (literalDomPairClosure(j, i, rule))
          a = j, b = i;
        if (a < 0) continue;
        literalDomAddPrec(a, b);
        literalRebuildPairWindows();
        changed = true;
        if (afterArc != nullptr) afterArc(a, b);
      }
    }
  }
}

} // namespace precdp::reference
