#include "report/report.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "support.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace precdp {
namespace {

using namespace testing;

const std::string columns = "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts\n";

// Two processes (two theorems of one class, say) that start the class in the same second each
// get a file of their own and keep all their rows.
TEST(ReportFile, TwoProcessesStartingTheSameClassInOneSecondKeepTheirRows) {
  ScratchDirectory scratch;
  datasettype = 2;
  objType = 2;
  osVal = 0.8;
  nVal = 20;
  precTheorem = 1;
  const std::string header =
      "maxCPU=5401 - maxState=" + std::to_string(layerCapacity) + " - prec:Kanet\n" + columns;
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::filesystem::remove_all("Reports");
    const std::string before = timeStamp();
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
      if ((children[child] = fork()) != 0) continue; // a failed fork fails the wait below
      std::freopen("/dev/null", "w", stdout);
      while (timeStamp() == before) {
      } // both start at the turn of the second
      startReport();
      std::ofstream stream;
      for (int row = 0; row < 3; ++row) {
        openReportForAppend(stream);
        stream << "row of " << child << '\n';
        closeReport(stream);
      }
      std::_Exit(0);
    }
    for (pid_t pid : children) {
      int status = 0;
      ASSERT_TRUE(waitpid(pid, &status, 0) == pid && WIFEXITED(status) && !WEXITSTATUS(status));
    }
    const std::vector<std::string> names = reportNames(); // "-2.txt" before ".txt"
    ASSERT_EQ(names.size(), 2u);
    const std::string stamp = names[0].substr(std::string("Reports/").size(), before.size());
    if (names[0] != reportFileName(stamp, 2)) continue; // the two started in different seconds
    EXPECT_EQ(names[1], reportFileName(stamp));
    // Each file holds the rows of one process, whichever got which name.
    const std::string files[2] = {readTextFile(names[0]), readTextFile(names[1])};
    const std::string zero = header + "row of 0\nrow of 0\nrow of 0\n";
    const std::string one = header + "row of 1\nrow of 1\nrow of 1\n";
    EXPECT_TRUE((files[0] == zero && files[1] == one) || (files[0] == one && files[1] == zero))
        << files[0] << files[1];
    return;
  }
  FAIL() << "the two processes never started in the same second";
}

} // namespace
} // namespace precdp
