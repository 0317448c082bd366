#include "instance/instance.h"

#include <cstdio>
#include <locale>
#include <sstream>

namespace precdp {

std::string osField(double os) {
  std::ostringstream text;
  text.imbue(std::locale::classic()); // a global locale must not change the file names
  text << os;
  return text.str();
}

std::string threeDigitField(int value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", value);
  return digits;
}

std::string standardInstancePath(int n, double os, int instanceNo) {
  const std::string nField = std::to_string(n), osText = osField(os);
  return "Instances/1-prec-wet Ins/" + nField + "-" + osText + "/" + nField + "-" + osText + "-" +
         std::to_string(instanceNo) + ".txt";
}

std::string velmarJobPath(int n, int instanceNo) {
  const std::string nField = threeDigitField(n);
  return "Instances/Data-Velmar/wet" + nField + "/wet" + nField + "_" +
         threeDigitField(instanceNo) + ".dat";
}

std::string velmarPrecedencePath(int objective, int n, double os, int instanceNo) {
  const char* family = nullptr; // the objective chooses the "wt" or the "wet" precedence files
  if (objective == 1 || objective == 2) family = "wt";
  if (objective == 3) family = "wet";
  if (family == nullptr) return {};
  const std::string nField = threeDigitField(n), osText = osField(os);
  return std::string("Instances/Data-Velmar/") + family + nField + "prec/" + osText + "/" + family +
         nField + "_" + threeDigitField(instanceNo) + "_" + osText + ".dat";
}

} // namespace precdp
