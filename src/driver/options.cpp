// The batch mode's command line. Options are declared in describeOptions, one statement each;
// what CLI11 cannot check alone (plan membership, ranges of texts) is checked in resolve.
#include "driver/driver.h"

#include "instance/instance.h"
#include "platform/platform.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <set>

namespace precdp {

namespace {

// Options kept as text until they are checked against the plan.
struct OptionTexts {
  std::vector<std::string> datasets, nValues, osValues;
  std::string instances = "1-125";
  std::string theorem = "none";
  std::string sequenceMemory;
};

const char* const theoremNames[] = {"none", "kanet", "emmons"}; // precTheorem 0, 1, 2

std::string gigabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f GB", bytes / 1e9);
  return text;
}

void describeOptions(CLI::App& app, BatchOptions& options, OptionTexts& texts) {
  app.add_option("--dataset", texts.datasets, "datasets to run: standard, velmar (default both)")
      ->type_name("LIST")
      ->check(CLI::IsMember({"standard", "velmar"}))
      ->delimiter(',');
  app.add_option("--n", texts.nValues, "job counts of the classes to run (default all)")
      ->type_name("LIST")
      ->delimiter(',');
  app.add_option("--os", texts.osValues, "order strengths of the classes to run (default all)")
      ->type_name("LIST")
      ->delimiter(',');
  app.add_option("--instances", texts.instances, "instance numbers run in every class: A-B or A")
      ->type_name("A-B")
      ->capture_default_str();
  app.add_option("--theorem", texts.theorem, "precedence theorem: none, kanet, emmons")
      ->type_name("NAME")
      ->check(CLI::IsMember({"none", "kanet", "emmons"}))
      ->capture_default_str();
  app.add_option("--threshold", options.threshold,
                 "OS2 below which the DP is skipped, 0 to 1 (for the first dataset run)")
      ->type_name("X")
      ->capture_default_str();
  app.add_option("--root", options.root, "directory that holds Instances/ and receives Reports/")
      ->type_name("DIR")
      ->capture_default_str();
  app.add_option("--max-state", options.storeCapacity,
                 "states per layer of the DP store; two layers of " +
                     std::to_string(storeBytesPerState) + " bytes per state are reserved (" +
                     gigabytes(2.0 * storeBytesPerState * maxState) + " at the default)")
      ->type_name("N")
      ->check(CLI::Range(uint32_t{2}, UINT32_MAX).description(""))
      ->capture_default_str();
  app.add_flag("--bounded", options.bounded,
               "prune the DP against a heuristic schedule; the objective stays exact, uas and ts "
               "count the states kept (the exact DP's where it runs instead), and the report's "
               "first line ends with ' - bounded'");
  app.add_flag("--list-classes", options.listClasses,
               "print the selected classes (all 51 by default) in plan order and exit");
  app.add_flag("--quiet", options.quiet, "no progress line on standard error");
  app.add_flag("--sequences", options.sequences,
               "write NAME.seq.tsv next to every report file NAME.txt: the optimal sequence "
               "of every row, checked");
  app.add_option("--sequence-memory", texts.sequenceMemory,
                 "bytes (suffix K, M or G) kept for the sequences; default a quarter of the "
                 "physical memory, at most 8G (" +
                     gigabytes(double(defaultSequenceMemory())) + " here)")
      ->type_name("SIZE");
  app.add_option("--threads", options.threads,
                 "threads of each DP stage, 0 for one per core; every count gives the same rows "
                 "(the CPU column sums the threads' CPU time)")
      ->type_name("N")
      ->check(CLI::Range(0u, 1024u).description(""))
      ->capture_default_str();
}

const char* const footer =
    "Rows go to standard output and to Reports/, messages and one line per class to standard\n"
    "error. Exit codes: 0 every selected instance got its row; 1 the run stopped early, a\n"
    "report file could not be written or a sequence failed its check; 2 usage error.";

struct UsageError {
  std::string problem;
};

template <typename Number>
bool parseNumber(const std::string& text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end && !text.empty();
}

std::string listOf(const std::set<double>& values) {
  std::string list;
  for (double value : values) list += (list.empty() ? "" : ", ") + osField(value);
  return list;
}

// The values of `texts` (all of `plan` when empty), each one of `plan`.
template <typename Number>
std::set<Number> planValues(const char* option, const std::vector<std::string>& texts,
                            const std::set<Number>& plan) {
  if (texts.empty()) return plan;
  std::set<Number> chosen;
  for (const std::string& text : texts) {
    Number value{};
    // Compared with ==, not through the set's order, under which NaN would match any value.
    if (!parseNumber(text, value) || std::find(plan.begin(), plan.end(), value) == plan.end())
      throw UsageError{std::string(option) + ": '" + text + "' is not in the plan; valid: " +
                       listOf(std::set<double>(plan.begin(), plan.end()))};
    chosen.insert(value);
  }
  return chosen;
}

void resolveInstances(const std::string& text, BatchOptions& options) {
  const size_t dash = text.find('-');
  int first = 0, last = 0;
  const bool read = dash == std::string::npos ? parseNumber(text, first) && parseNumber(text, last)
                                              : parseNumber(text.substr(0, dash), first) &&
                                                    parseNumber(text.substr(dash + 1), last);
  if (!read || first < 1 || first > last || last > instancesPerClass)
    throw UsageError{"--instances: '" + text + "' is not A-B or A with 1 <= A <= B <= 125"};
  options.firstInstance = static_cast<int16_t>(first);
  options.lastInstance = static_cast<int16_t>(last);
}

void resolve(const OptionTexts& texts, BatchOptions& options) {
  std::set<std::string> datasets(texts.datasets.begin(), texts.datasets.end());
  if (datasets.empty()) datasets = {"standard", "velmar"};
  std::set<uint16_t> planN;
  std::set<double> planOs;
  for (const PlanClass& planClass : planClasses())
    if (datasets.count(classesOf(planClass.datasettype)->key) != 0) {
      planN.insert(planClass.n);
      planOs.insert(planClass.os);
    }
  const std::set<uint16_t> nValues = planValues("--n", texts.nValues, planN);
  const std::set<double> osValues = planValues("--os", texts.osValues, planOs);
  options.classes.clear();
  for (const PlanClass& planClass : planClasses())
    if (datasets.count(classesOf(planClass.datasettype)->key) != 0 &&
        nValues.count(planClass.n) != 0 && osValues.count(planClass.os) != 0)
      options.classes.push_back(planClass);
  if (options.classes.empty())
    throw UsageError{"no class of the plan has the selected dataset, n and order strength "
                     "(precdp --list-classes shows them)"};

  resolveInstances(texts.instances, options);
  options.precTheorem = static_cast<int32_t>(
      std::find(std::begin(theoremNames), std::end(theoremNames), texts.theorem) -
      std::begin(theoremNames));
  if (!texts.sequenceMemory.empty()) {
    const std::optional<uint64_t> bytes = parseByteSize(texts.sequenceMemory);
    if (!bytes)
      throw UsageError{"--sequence-memory: '" + texts.sequenceMemory +
                       "' is not a byte count such as 500M or 4G"};
    options.sequenceMemory = *bytes;
  }
  if (!(options.threshold >= 0 && options.threshold <= 1))
    throw UsageError{"--threshold: " + osField(options.threshold) + " is not from 0 to 1"};
}

int usageError(std::string problem, std::string& output) {
  std::replace(problem.begin(), problem.end(), '\n', ' ');
  output = "precdp: " + problem + "\nRun 'precdp --help' for the options.\n";
  return 2;
}

} // namespace

uint64_t defaultSequenceMemory() {
  return std::min<uint64_t>(physicalMemoryBytes() / 4, uint64_t{8} << 30);
}

std::optional<uint64_t> parseByteSize(const std::string& text) {
  std::string digits = text;
  int shift = 0;
  if (!digits.empty()) {
    const char suffix = digits.back();
    shift = suffix == 'K' ? 10 : suffix == 'M' ? 20 : suffix == 'G' ? 30 : 0;
    if (shift > 0) digits.pop_back();
  }
  uint64_t count = 0;
  if (!parseNumber(digits, count) || count > (UINT64_MAX >> shift)) return std::nullopt;
  return count << shift;
}

int parseBatchOptions(int argc, const char* const* argv, BatchOptions& options,
                      std::string& output) {
  output.clear();
  CLI::App app{"precdp: runs classes of the benchmark plan without the dialogue.", "precdp"};
  app.set_version_flag("--version", precdpVersion);
  app.footer(footer);
  OptionTexts texts;
  describeOptions(app, options, texts);
  try {
    std::vector<std::string> arguments; // CLI11 takes them last first, without the program name
    for (int i = argc - 1; i > 0; --i) arguments.emplace_back(argv[i]);
    app.parse(arguments);
    resolve(texts, options);
  } catch (const CLI::CallForHelp&) {
    output = app.help();
    return 0;
  } catch (const CLI::CallForVersion& version) {
    output = std::string(version.what()) + "\n";
    return 0;
  } catch (const CLI::ParseError& error) {
    return usageError(error.what(), output);
  } catch (const UsageError& error) {
    return usageError(error.problem, output);
  }
  if (!options.listClasses) return -1;
  for (const PlanClass& planClass : options.classes) output += className(planClass) + "\n";
  return 0;
}

} // namespace precdp
