// The start dialogue on arbitrary console input: it must end (with a choice or at the end of
// the input) and any choice it gives must name a real class and instance.
#include "driver/driver.h"
#include "instance/instance.h"

#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace precdp;
  std::istringstream entries(std::string(reinterpret_cast<const char*>(data), size));
  const auto choice = runMenu(entries);
  if (!choice) return 0;
  if (precTheorem < 0 || precTheorem > 2 || !(osThreshold >= 0 && osThreshold <= 1)) std::abort();
  if (!choice->continueMode) {
    if (choice->dataset != -1 || choice->nIndex != -1 || choice->osIndex != -1 ||
        choice->instance != -1)
      std::abort();
    return 0;
  }
  const DatasetClasses* classes = classesOf(choice->dataset);
  if (classes == nullptr || choice->nIndex < 0 ||
      size_t(choice->nIndex) >= classes->nTable.size() || choice->osIndex < 0 ||
      size_t(choice->osIndex) >= classes->osTable.size() || choice->instance < 1 ||
      choice->instance > instancesPerClass)
    std::abort();
  return 0;
}
