// Random instances for the theorem tests: a hidden topological order behind a random numbering
// (arcs run both ways in job numbers), many ties, zero weights.
#pragma once

#include "support.h"

#include <algorithm>
#include <numeric>
#include <random>

namespace precdp::testing {

// p 1..maxP, weights 0..maxWeight, due dates 0..totalP + dueSlack, each order-respecting pair
// an arc with probability arcChance; loaded through addPrec.
inline void loadShuffledInstance(std::mt19937& random, int n, double arcChance, int maxP,
                                 int maxWeight, int dueSlack = 0) {
  std::vector<Job> jobs(n);
  int total = 0;
  for (Job& job : jobs) {
    job.p = static_cast<uint16_t>(draw(random, 1, maxP));
    job.weight = static_cast<uint16_t>(draw(random, 0, maxWeight));
    total += job.p;
  }
  for (Job& job : jobs) job.dueDate = static_cast<uint16_t>(draw(random, 0, total + dueSlack));
  std::vector<int> position(n);
  std::iota(position.begin(), position.end(), 0);
  std::shuffle(position.begin(), position.end(), random);
  std::bernoulli_distribution arc(arcChance);
  std::vector<std::pair<int, int>> arcs;
  for (int a = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b)
      if (arc(random)) arcs.emplace_back(position[a], position[b]);
  loadInstance(jobs, arcs);
}

} // namespace precdp::testing
