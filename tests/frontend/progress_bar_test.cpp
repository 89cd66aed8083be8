// The progress bar as the library's progress listener: the long computations between the passes (the
// sweep of a large model, the tests of its effects) show under their own phase, and the bar is gone
// once a task is done; a disabled bar writes nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "frontend/ProgressBar.h"

namespace {

std::string Written(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text.push_back(static_cast<char>(c));
  return text;
}

TEST(ProgressBar, LibraryTasksShowUnderTheirPhaseAndClearWhenDone) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    QXFit::ProgressBar bar(file, true);
    QXCommon_600::ProgressListener& listener = bar;
    listener.ReportProgress("sweep", 0.25);
    listener.ReportProgress("effect tests", 0.5);
    const std::string shown = Written(file);
    EXPECT_NE(shown.find("solving"), std::string::npos) << shown;
    EXPECT_NE(shown.find(" 25%"), std::string::npos) << shown;
    EXPECT_NE(shown.find("testing effects"), std::string::npos) << shown;
    EXPECT_NE(shown.find(" 50%"), std::string::npos) << shown;
    std::fseek(file, 0, SEEK_END);
    listener.ReportProgress("effect tests", 1.0);
    const std::string done = Written(file);
    EXPECT_EQ(done.substr(done.size() - 4), "\r\033[K");
  }
  std::fclose(file);

  std::FILE* quiet = std::tmpfile();
  ASSERT_NE(quiet, nullptr);
  {
    QXFit::ProgressBar bar(quiet, false);
    bar.ReportProgress("sweep", 0.5);
  }
  EXPECT_TRUE(Written(quiet).empty());
  std::fclose(quiet);
}

}  // namespace
