#include "platform/platform.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace precdp {

namespace {
uint64_t keyWaits = 0;
bool batchConsole = false;
int64_t clockStep = 0;    // 0: real clock
int64_t steppedTicks = 0; // last reading of the stepped clock
} // namespace

void printMessage(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  if (batchConsole) {
    std::fflush(stdout);
    std::vfprintf(stderr, format, arguments);
  } else {
    std::vprintf(format, arguments);
  }
  va_end(arguments);
}

void useBatchConsole(bool on) {
  batchConsole = on;
}

void waitKey() {
  ++keyWaits;
  std::fflush(stdout);
  if (batchConsole || !isatty(STDIN_FILENO)) return;
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
  unsigned char key = 0;
  while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

uint64_t keyWaitCount() {
  return keyWaits;
}

int64_t clockTicks() {
  if (clockStep != 0) return steppedTicks += clockStep;
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double wallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

void useSteppedClock(int64_t stepTicks) {
  clockStep = stepTicks;
  steppedTicks = 0;
}

bool makeDirectory(const char* path) {
  if (mkdir(path, 0777) == 0) return true;
  struct stat info {};
  return errno == EEXIST && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool changeDirectory(const char* path) {
  return chdir(path) == 0;
}

bool standardErrorIsTerminal() {
  return isatty(STDERR_FILENO) != 0;
}

std::string localTimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[80];
  if (localtime_r(&now, &local) == nullptr) return {};
  size_t length = std::strftime(text, sizeof text, "%Y.%m.%d-%H.%M.%S", &local);
  return std::string(text, length);
}

void adviseHugePages(void* start, size_t bytes) {
  constexpr uintptr_t hugePage = uintptr_t{1} << 21;
  uintptr_t first = (reinterpret_cast<uintptr_t>(start) + hugePage - 1) & ~(hugePage - 1);
  uintptr_t last = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(hugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

uint64_t physicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  return pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : 0;
}

uint64_t peakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024; // ru_maxrss is in KiB on Linux
}

} // namespace precdp
