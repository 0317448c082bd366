// precdp: the console bench. Takes no arguments; the dialogue reads standard input.
#include "driver/driver.h"

#include <iostream>

int main() {
  return precdp::runBench(std::cin);
}
