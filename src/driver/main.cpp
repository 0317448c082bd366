// precdp: the console bench. Without arguments the dialogue reads standard input; with any
// argument the run is described by the command line (precdp --help).
#include "driver/driver.h"

#include <iostream>

int main(int argc, char** argv) {
  if (argc > 1) return precdp::runBatch(argc, argv);
  return precdp::runBench(std::cin);
}
