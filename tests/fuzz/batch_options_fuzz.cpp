// The batch mode's command line, the input split into words at white space. A run that goes on
// (-1) must have settings it can use; every other outcome must say something.
#include "driver/driver.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool inPlan(const precdp::PlanClass& chosen) {
  const std::vector<precdp::PlanClass> plan = precdp::planClasses();
  return std::any_of(plan.begin(), plan.end(), [&](const precdp::PlanClass& planClass) {
    return planClass.datasettype == chosen.datasettype && planClass.n == chosen.n &&
           planClass.os == chosen.os;
  });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace precdp;
  std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> words{"precdp"};
  for (std::string word; input >> word;) words.push_back(word);
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  BatchOptions options;
  std::string output;
  const int code = parseBatchOptions(int(argv.size()), argv.data(), options, output);
  if (code == 0 || code == 2) {
    if (output.empty()) std::abort();
    return 0;
  }
  if (code != -1 || !output.empty() || options.classes.empty() ||
      !std::all_of(options.classes.begin(), options.classes.end(), inPlan) ||
      options.firstInstance < 1 || options.firstInstance > options.lastInstance ||
      options.lastInstance > instancesPerClass || options.precTheorem < 0 ||
      options.precTheorem > 2 || !(options.threshold >= 0 && options.threshold <= 1) ||
      options.storeCapacity < 2)
    std::abort();
  return 0;
}
