#include "driver/driver.h"

#include "dp/dp.h"
#include "platform/platform.h"

#include <cstdio>

namespace precdp {

namespace {

constexpr double firstDrawAfter = 1.0; // seconds of DP before the line appears
constexpr double redrawEvery = 0.25;   // seconds between two drawings

bool lineWanted = false; // enabled, and standard error is a terminal
double dpStart = 0;      // wall clock at the start of the DP
double lastDraw = 0;
bool lineShown = false;

// "12.3M": three significant figures at most, with a k, M or G suffix.
void shortCount(char* text, size_t size, double count) {
  if (count >= 1e9)
    std::snprintf(text, size, "%.1fG", count / 1e9);
  else if (count >= 1e6)
    std::snprintf(text, size, "%.1fM", count / 1e6);
  else if (count >= 1e3)
    std::snprintf(text, size, "%.1fk", count / 1e3);
  else
    std::snprintf(text, size, "%.0f", count);
}

// The hook of the DP. Standard output holds the row begun for this instance without its line
// end, so on a terminal it is still in the line buffer: the line drawn here owns the cursor's
// line until endProgress clears it.
void drawProgress(uint32_t statesBuilt) {
  const double now = wallSeconds();
  if (now - dpStart < firstDrawAfter || now - lastDraw < redrawEvery) return;
  lastDraw = now;
  const double elapsed = now - dpStart;
  const double created = static_cast<double>(totalStates + statesBuilt);
  const double storeBytes =
      static_cast<double>(uint64_t{layerSize[prevLayer]} + statesBuilt) * storeBytesPerState;
  char layer[16], rate[16];
  shortCount(layer, sizeof layer, statesBuilt);
  shortCount(rate, sizeof rate, created / elapsed);
  std::fprintf(
      stderr, "\r\x1b[Kstage %u/%u  layer %s states  %s states/s  %.0f s wall  store %.1f GB",
      unsigned{progressStage}, unsigned{progressStages}, layer, rate, elapsed, storeBytes / 1e9);
  lineShown = true;
}

} // namespace

void enableProgressLine(bool on) {
  lineWanted = on && standardErrorIsTerminal();
}

void beginProgress() {
  if (!lineWanted) return;
  dpStart = wallSeconds();
  lastDraw = dpStart - redrawEvery;
  progressHook = drawProgress;
}

void endProgress() {
  progressHook = nullptr;
  if (lineShown) std::fputs("\r\x1b[K", stderr);
  lineShown = false;
}

} // namespace precdp
