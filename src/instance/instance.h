// Instances: the 120-job set type, the tables of the current instance and the run settings
// that choose it. There is exactly one current instance; every table is a fixed-size static.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace precdp {

inline constexpr int maxJobs = 120;    // capacity of every per-job table
inline constexpr int jobsPerWord = 60; // jobs per JobSet word; bits 60..63 stay zero

// ---- Job sets -------------------------------------------------------------------------------
// A set of jobs 0..119: job j < 60 is bit j of word[0], job j >= 60 is bit j - 60 of word[1].
struct JobSet {
  uint64_t word[2];
};

// jobBit[k] = 2^k, k = 0..59; filled by initTables (or buildJobBits), constant afterwards.
// One table serves both words, so a job costs one comparison with 60 and one lookup.
extern uint64_t jobBit[jobsPerWord];

inline bool contains(const JobSet& set, int job) {
  if (job < jobsPerWord) return (set.word[0] & jobBit[job]) == jobBit[job];
  return (set.word[1] & jobBit[job - jobsPerWord]) == jobBit[job - jobsPerWord];
}
inline void insertJob(JobSet& set, int job) {
  if (job < jobsPerWord)
    set.word[0] |= jobBit[job];
  else
    set.word[1] |= jobBit[job - jobsPerWord];
}
inline void removeJob(JobSet& set, int job) {
  if (job < jobsPerWord)
    set.word[0] &= ~jobBit[job];
  else
    set.word[1] &= ~jobBit[job - jobsPerWord];
}
inline JobSet unionOf(const JobSet& a, const JobSet& b) {
  return {{a.word[0] | b.word[0], a.word[1] | b.word[1]}};
}
inline bool meets(const JobSet& a, const JobSet& b) {
  return (a.word[0] & b.word[0]) != 0 || (a.word[1] & b.word[1]) != 0;
}
inline bool operator==(const JobSet& a, const JobSet& b) {
  return a.word[0] == b.word[0] && a.word[1] == b.word[1];
}
inline JobSet intersection(const JobSet& a, const JobSet& b) {
  return {{a.word[0] & b.word[0], a.word[1] & b.word[1]}};
}
inline JobSet without(const JobSet& set, const JobSet& removed) {
  return {{set.word[0] & ~removed.word[0], set.word[1] & ~removed.word[1]}};
}
inline bool isEmpty(const JobSet& set) {
  return (set.word[0] | set.word[1]) == 0;
}
// The order of a DP layer: a set read as the 128-bit number word[1]:word[0].
inline bool setLess(const JobSet& a, const JobSet& b) {
  return a.word[1] < b.word[1] || (a.word[1] == b.word[1] && a.word[0] < b.word[0]);
}

// Calls visit(job) for every member, in increasing job order.
template <typename Visit>
void forEachJob(const JobSet& set, Visit visit) {
  for (int word = 0; word < 2; ++word)
    for (uint64_t rest = set.word[word]; rest != 0; rest &= rest - 1)
      visit(word * jobsPerWord + std::countr_zero(rest));
}

// ---- Tables of the current instance ---------------------------------------------------------
// Times are unsigned 16-bit on the schedule's scale 0..totalP. Jobs are 0..jobCount-1; entries
// at or above jobCount are never read.
extern uint16_t jobCount;                 // n, at most maxJobs
extern uint16_t p[maxJobs];               // processing time
extern uint16_t dueDate[maxJobs];         // due date
extern uint16_t earlinessWeight[maxJobs]; // read and carried along, used by no computation
extern uint16_t tardinessWeight[maxJobs]; // weight of the job's tardiness in the objective
extern uint16_t totalP;                   // sum of p, 16-bit wrap-around
extern JobSet allJobs;                    // {0..jobCount-1}

// pred[j] / succ[j]: every job that must come before / after j. Transitively closed and mirror
// images of each other (k in pred[l] exactly when l in succ[k]); kept so by addPrec.
extern JobSet pred[maxJobs];
extern JobSet succ[maxJobs];
// Arcs added by a theorem pass, kept apart from pred/succ until the relabeling merges them.
// Mirror images of each other; never hold an arc that pred/succ already have.
extern JobSet domPred[maxJobs];
extern JobSet domSucc[maxJobs];

// Time windows: head = sum of p over the predecessors; tail = totalP minus sum of p over the
// successors. Pair windows are indexed [first job][second job] and are symmetric.
extern uint16_t earliestStart[maxJobs];
extern uint16_t latestEnd[maxJobs];
extern uint16_t pairEarliestStart[maxJobs][maxJobs];
extern uint16_t pairLatestEnd[maxJobs][maxJobs];

// ---- Run settings (set by the experiment plan, read by the readers and the pipeline) ---------
extern uint8_t datasettype; // 1 Velmar dataset, 2 standard dataset
extern uint8_t objType;     // objective code, always 2; names report and Velmar precedence files
extern uint16_t nVal;       // n of the current class
extern double osVal;        // order strength of the current class
extern int32_t precTheorem; // 0 None, 1 Kanet, 2 Emmons
extern double osThreshold;  // the DP runs only for an instance whose OS2 reaches it, 0..1

// ---- Operations -----------------------------------------------------------------------------
void buildJobBits();

// Start-up: builds jobBit and allocates the DP store at its full capacity. False when the store
// cannot be obtained; a message naming the memory needed has then been printed.
bool initTables();

// Empties the instance tables (the pair windows in every row and column below the previous
// jobCount) and sets the DP bookkeeping back to its start values.
void resetInstance();

// How addPrec treats an arc that the closure already implies. Both give the same tables while
// pred/succ are closed; the early exit only saves the n x n loop.
enum class ImpliedArc { stop, recheck };

// Records that job i precedes job j and restores the closure and mirror invariants. An arc that
// closes a cycle prints "Error! addPrec\n" per offending pair, waits for a key and is still added.
void addPrec(int16_t i, int16_t j, ImpliedArc implied = ImpliedArc::stop);

// Instance readers: true when the instance was read; false (after a console message and a key
// wait) when a file is missing or its contents cannot be held safely.
bool readStandardInstance(int32_t instanceNo);
bool readVelmarInstance(int32_t instanceNo);
// The same readers on a file's contents already in memory; `path` names the file in messages.
// The Velmar precedences use the jobCount that parseVelmarJobs stored.
bool parseStandardInstance(const std::string& path, std::string text);
bool parseVelmarJobs(const std::string& path, std::string text);
bool parseVelmarPrecedences(const std::string& path, std::string text);

// ---- Instance file paths, relative to the working directory --------------------------------
// An order strength in the default text form of an output stream: 6 significant digits, no
// trailing zeros, exponent form only below 1e-4 or from 1e6 ("0", "0.005", "0.2").
std::string osField(double os);
// A decimal integer at least three digits wide, zero-filled on the left ("007", "040", "100").
std::string threeDigitField(int value);
// "Instances/1-prec-wet Ins/<n>-<os>/<n>-<os>-<instanceNo>.txt", no leading zeros.
std::string standardInstancePath(int n, double os, int instanceNo);
// "Instances/Data-Velmar/wet<nnn>/wet<nnn>_<iii>.dat"; the same file for every order strength.
std::string velmarJobPath(int n, int instanceNo);
// "Instances/Data-Velmar/wt<nnn>prec/<os>/wt<nnn>_<iii>_<os>.dat" for objective 1 or 2, "wet"
// in both places for objective 3, empty for any other objective.
std::string velmarPrecedencePath(int objective, int n, double os, int instanceNo);

} // namespace precdp
