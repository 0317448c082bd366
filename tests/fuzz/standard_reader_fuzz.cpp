// The standard reader on arbitrary file contents.
#include "invariants.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  precdp::fuzz::startInput();
  if (precdp::parseStandardInstance("fuzz.txt",
                                    std::string(reinterpret_cast<const char*>(data), size)))
    precdp::fuzz::checkInstance();
  return 0;
}
