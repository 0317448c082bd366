// The two instance-file readers. Each file is read completely and checked before anything is
// stored, so a file that cannot be held safely leaves the tables as the reset left them (for
// the Velmar dataset: as the job file left them, when the precedence file is the bad one).
#include "instance/instance.h"
#include "platform/platform.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

namespace precdp {

namespace {

constexpr int64_t maxFieldValue = 65535;     // unsigned 16-bit fields and the time scale
constexpr int64_t maxCostValue = 2147483647; // the DP's signed 32-bit cost
constexpr int64_t maxSuccessorCount = 32767; // signed 16-bit count; 0 or less reads none
constexpr size_t maxQuotedWord = 24;         // longer words are cut in messages

struct JobValues {
  uint16_t p, dueDate, earlinessWeight, tardinessWeight;
};

using Arc = std::pair<int16_t, int16_t>; // (job before, job after)

// The white-space separated words of one file, read front to back. Every failure prints one
// line naming the routine, the file and the item, waits for a key and returns false.
struct WordReader {
  const char* routine;
  std::string path;
  std::string text;
  size_t at = 0;

  bool atEnd() {
    while (at < text.size() && isBlank(text[at])) ++at;
    return at == text.size();
  }

  // The next run of non-blank characters; empty at the end of the text.
  std::string_view nextWord() {
    if (atEnd()) return {};
    const size_t start = at;
    while (at < text.size() && !isBlank(text[at])) ++at;
    return std::string_view(text).substr(start, at - start);
  }

  // The next word as a decimal integer in lo..hi. `item` names it in a message; a "%d" in it
  // takes `index`.
  bool nextNumber(int64_t& value, int64_t lo, int64_t hi, const char* item, int index = 0) {
    const std::string_view word = nextWord();
    if (word.empty()) return fail(itemName(item, index) + ": the file ends early");
    if (!parseInteger(word, value))
      return fail(itemName(item, index) + ": \"" + quoted(word) + "\" is not a number");
    if (value < lo || value > hi)
      return fail(itemName(item, index) + ": " + quoted(word) + " is outside " +
                  std::to_string(lo) + ".." + std::to_string(hi));
    return true;
  }

  bool fail(const std::string& problem) const {
    printMessage("Error! %s: %s: %s\n", routine, path.c_str(), problem.c_str());
    waitKey();
    return false;
  }

  static bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }

  // An optional sign and decimal digits, nothing else. Values beyond 64 bits saturate, so they
  // still fall outside every field.
  static bool parseInteger(std::string_view word, int64_t& value) {
    const bool negative = word[0] == '-';
    if (word[0] == '-' || word[0] == '+') word.remove_prefix(1);
    if (word.empty() || word[0] == '-') return false;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (end != word.data() + word.size()) return false;
    if (error == std::errc::result_out_of_range)
      value = INT64_MAX;
    else if (error != std::errc())
      return false;
    if (negative) value = -value;
    return true;
  }

  static std::string itemName(const char* item, int index) {
    char name[96];
    std::snprintf(name, sizeof name, item, index);
    return name;
  }

  static std::string quoted(std::string_view word) {
    if (word.size() <= maxQuotedWord) return std::string(word);
    return std::string(word.substr(0, maxQuotedWord)) + "...";
  }
};

// The whole file as text. One that cannot be opened gives "Sample file %s not found! \n" and a
// key wait.
bool readFileText(const char* routine, const std::string& path, std::string& text) {
  std::ifstream file(path);
  if (!file.is_open()) {
    printMessage("Sample file %s not found! \n", path.c_str());
    waitKey();
    return false;
  }
  std::ostringstream content;
  content << file.rdbuf();
  text = std::move(content).str();
  if (file.bad()) return WordReader{routine, path, {}}.fail("the file cannot be read");
  return true;
}

bool readJobCount(WordReader& reader, int& n) {
  int64_t value = 0;
  if (!reader.nextNumber(value, 0, maxJobs, "job count")) return false;
  n = static_cast<int>(value);
  return true;
}

// Processing time, due date, earliness weight and tardiness weight of job i, in this order.
bool readJobValues(WordReader& reader, int i, JobValues& job) {
  int64_t values[4] = {};
  if (!reader.nextNumber(values[0], 0, maxFieldValue, "processing time of job %d", i) ||
      !reader.nextNumber(values[1], 0, maxFieldValue, "due date of job %d", i) ||
      !reader.nextNumber(values[2], 0, maxFieldValue, "earliness weight of job %d", i) ||
      !reader.nextNumber(values[3], 0, maxFieldValue, "tardiness weight of job %d", i))
    return false;
  job = {static_cast<uint16_t>(values[0]), static_cast<uint16_t>(values[1]),
         static_cast<uint16_t>(values[2]), static_cast<uint16_t>(values[3])};
  return true;
}

// The schedule's time scale is 16-bit and the DP's cost signed 32-bit: refuse data on which
// either would wrap. No sequence costs more than sum(weight) x totalP.
bool checkTotals(const WordReader& reader, const std::vector<JobValues>& jobs) {
  int64_t total = 0, weights = 0;
  for (const JobValues& job : jobs) {
    total += job.p;
    weights += job.tardinessWeight;
  }
  if (total > maxFieldValue)
    return reader.fail("total processing time " + std::to_string(total) + " is above " +
                       std::to_string(maxFieldValue));
  if (weights * total > maxCostValue)
    return reader.fail("largest possible cost " + std::to_string(weights * total) +
                       " (sum of tardiness weight x total processing time) is above " +
                       std::to_string(maxCostValue));
  return true;
}

void storeJobs(const std::vector<JobValues>& jobs) {
  jobCount = static_cast<uint16_t>(jobs.size());
  for (int i = 0; i < jobCount; ++i) {
    insertJob(allJobs, i);
    p[i] = jobs[i].p;
    totalP = static_cast<uint16_t>(totalP + p[i]);
    dueDate[i] = jobs[i].dueDate;
    earlinessWeight[i] = jobs[i].earlinessWeight;
    tardinessWeight[i] = jobs[i].tardinessWeight;
  }
}

// Job count, then per job its four values and its successor list.
bool readStandardFile(WordReader& reader, std::vector<JobValues>& jobs, std::vector<Arc>& arcs) {
  int n = 0;
  if (!readJobCount(reader, n)) return false;
  jobs.resize(n);
  for (int i = 0; i < n; ++i) {
    int64_t count = 0, successor = 0;
    if (!readJobValues(reader, i, jobs[i])) return false;
    if (!reader.nextNumber(count, -maxSuccessorCount - 1, maxSuccessorCount,
                           "successor count of job %d", i))
      return false;
    for (int64_t s = 0; s < count; ++s) {
      if (!reader.nextNumber(successor, 0, n - 1, "successor of job %d", i)) return false;
      arcs.emplace_back(static_cast<int16_t>(i), static_cast<int16_t>(successor));
    }
  }
  return checkTotals(reader, jobs);
}

bool readVelmarJobFile(WordReader& reader, std::vector<JobValues>& jobs) {
  int n = 0;
  if (!readJobCount(reader, n)) return false;
  jobs.resize(n);
  for (int i = 0; i < n; ++i)
    if (!readJobValues(reader, i, jobs[i])) return false;
  return checkTotals(reader, jobs);
}

// Four header words, then arcs "a b" up to the end of the file. A lone number at the end is a
// truncated arc, not the end of the list.
bool readVelmarPrecedenceFile(WordReader& reader, int n, std::vector<Arc>& arcs) {
  for (int word = 1; word <= 4; ++word)
    if (reader.nextWord().empty())
      return reader.fail(WordReader::itemName("header word %d", word) + ": the file ends early");
  for (int arc = 1; !reader.atEnd(); ++arc) {
    int64_t before = 0, after = 0;
    if (!reader.nextNumber(before, 0, n - 1, "first job of arc %d", arc) ||
        !reader.nextNumber(after, 0, n - 1, "second job of arc %d", arc))
      return false;
    arcs.emplace_back(static_cast<int16_t>(before), static_cast<int16_t>(after));
  }
  return true;
}

} // namespace

bool parseStandardInstance(const std::string& path, std::string text) {
  WordReader reader{"readStandardInstance", path, std::move(text)};
  std::vector<JobValues> jobs;
  std::vector<Arc> arcs;
  if (!readStandardFile(reader, jobs, arcs)) return false;
  storeJobs(jobs);
  // Without the early exit: the closure loop runs for implied arcs too and changes nothing.
  for (auto [before, after] : arcs) addPrec(before, after, ImpliedArc::recheck);
  return true;
}

bool parseVelmarJobs(const std::string& path, std::string text) {
  WordReader reader{"readVelmarInstance", path, std::move(text)};
  std::vector<JobValues> jobs;
  if (!readVelmarJobFile(reader, jobs)) return false;
  storeJobs(jobs);
  return true;
}

bool parseVelmarPrecedences(const std::string& path, std::string text) {
  WordReader reader{"readVelmarInstance", path, std::move(text)};
  std::vector<Arc> arcs;
  if (!readVelmarPrecedenceFile(reader, jobCount, arcs)) return false;
  for (auto [before, after] : arcs) addPrec(before, after);
  return true;
}

bool readStandardInstance(int32_t instanceNo) {
  const std::string path = standardInstancePath(nVal, osVal, instanceNo);
  std::string text;
  return readFileText("readStandardInstance", path, text) &&
         parseStandardInstance(path, std::move(text));
}

bool readVelmarInstance(int32_t instanceNo) {
  const std::string jobPath = velmarJobPath(nVal, instanceNo);
  std::string text;
  if (!readFileText("readVelmarInstance", jobPath, text) ||
      !parseVelmarJobs(jobPath, std::move(text)))
    return false;
  if (!(osVal > 0)) return true; // order strength 0 has no precedence file
  const std::string precedencePath = velmarPrecedencePath(objType, nVal, osVal, instanceNo);
  return readFileText("readVelmarInstance", precedencePath, text) &&
         parseVelmarPrecedences(precedencePath, std::move(text));
}

} // namespace precdp
