#include "driver/driver.h"

#include "instance/instance.h"

#include <cstdio>
#include <iostream>
#include <limits>
#include <locale>
#include <sstream>

namespace precdp {

namespace {

// Reads numbers until one is accepted. A refused number, or text that is not a number of the
// type (the rest of its line is dropped), prints "invalid entry; try again ". Empty once the
// input has ended, after a one-line message.
template <typename Number, typename Accept>
std::optional<Number> readEntry(std::istream& entries, Accept accept) {
  for (;;) {
    Number value{};
    if (entries >> value) {
      if (accept(value)) return value;
    } else if (entries.eof() || entries.bad()) {
      std::printf("\nERROR! the input ended before the dialogue was complete -main\n");
      return std::nullopt;
    } else {
      entries.clear();
      entries.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    std::printf("invalid entry; try again ");
  }
}

template <typename Number>
auto between(Number low, Number high) {
  return [=](Number value) { return low <= value && value <= high; };
}

template <typename Value>
std::string tablePrompt(const char* label, std::span<const Value> table) {
  std::ostringstream prompt; // default stream form, as in the report file names
  prompt.imbue(std::locale::classic());
  prompt << label << " [";
  for (size_t index = 0; index < table.size(); ++index)
    prompt << (index > 0 ? " / " : "") << index << ':' << table[index];
  prompt << "] ";
  return prompt.str();
}

// The continue mode's questions: the dataset, class and number of the next instance to run.
bool askNextInstance(std::istream& entries, MenuChoice& choice) {
  std::cout << "Choose the NEXT UNSOLVED instance:\n";
  std::cout << "dataset [1:" << classesOf(1)->name << " / 2:" << classesOf(2)->name << "] ";
  const auto dataset = readEntry<int16_t>(entries, between<int16_t>(1, 2));
  if (!dataset) return false;
  const DatasetClasses& classes = *classesOf(*dataset);
  std::cout << nPrompt(classes);
  const int16_t lastN = static_cast<int16_t>(classes.nTable.size() - 1);
  const auto nIndex = readEntry<int16_t>(entries, between<int16_t>(0, lastN));
  if (!nIndex) return false;
  std::cout << osPrompt(classes);
  const int16_t lastOs = static_cast<int16_t>(classes.osTable.size() - 1);
  const auto osIndex = readEntry<int16_t>(entries, between<int16_t>(0, lastOs));
  if (!osIndex) return false;
  std::cout << "instance number [1-125] ";
  const auto instance = readEntry<int16_t>(entries, between<int16_t>(1, instancesPerClass));
  if (!instance) return false;
  choice = {true, *dataset, *nIndex, *osIndex, *instance};
  return true;
}

} // namespace

std::string nPrompt(const DatasetClasses& classes) {
  return tablePrompt("n", classes.nTable);
}

std::string osPrompt(const DatasetClasses& classes) {
  return tablePrompt("OS", classes.osTable);
}

std::optional<MenuChoice> runMenu(std::istream& entries) {
  MenuChoice choice;
  std::cout << "Enter 1 or 2 [1:start-over (full test) / 2:continue (choose instance)] ";
  const auto mode = readEntry<int16_t>(entries, between<int16_t>(1, 2));
  if (!mode) return std::nullopt;
  if (*mode == 2 && !askNextInstance(entries, choice)) return std::nullopt;

  std::cout << "Choose precedence theorems [0:None / 1:Kanet (Default) / 2:Emmons] ";
  const auto theorem = readEntry<int32_t>(entries, between<int32_t>(0, 2));
  if (!theorem) return std::nullopt;
  precTheorem = *theorem;

  std::cout << "Choose OS threshold [0:No threshold (Default)] ";
  const auto threshold = readEntry<double>(entries, between<double>(0.0, 1.0));
  if (!threshold) return std::nullopt;
  osThreshold = *threshold;
  return choice;
}

} // namespace precdp
