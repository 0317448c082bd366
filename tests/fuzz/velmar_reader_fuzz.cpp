// The Velmar reader on arbitrary contents: the job file up to the first line "%%", the
// precedence file after it (none when the line is missing, as for order strength 0).
#include "invariants.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  precdp::fuzz::startInput();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find("\n%%\n");
  if (!precdp::parseVelmarJobs("jobs.dat", input.substr(0, split))) return 0;
  if (split != std::string::npos &&
      !precdp::parseVelmarPrecedences("prec.dat", input.substr(split + 4)))
    return 0;
  precdp::fuzz::checkInstance();
  return 0;
}
