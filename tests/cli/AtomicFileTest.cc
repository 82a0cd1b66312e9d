// Replacing a file in one step: a reader polling the path while it is rewritten sees only
// whole documents, and a write that fails leaves the old file and no debris.
#include "platform/AtomicFile.h"
#include "platform/Utf8Path.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/Promtool.h"
#include "support/ProcessRunner.h"

namespace zp::test {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zp-atomic-" + std::to_string(CurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Only the named files: no temporary file left beside them.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(PathUtf8(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

// Document k: a metric whose value is k, padded by a number of samples that changes
// from one document to the next, so that a torn read cannot look whole.
std::string Document(int k) {
  std::string text = "# HELP zp_doc Which document.\n# TYPE zp_doc gauge\n";
  text += "# HELP zp_pad Padding.\n# TYPE zp_pad gauge\n";
  const int pad = (k * 37) % 400;
  for (int i = 0; i < pad; ++i) text += "zp_pad{i=\"" + std::to_string(i) + "\"} " + std::to_string(k) + "\n";
  return text + "zp_doc " + std::to_string(k) + "\n";
}

TEST_F(AtomicFileTest, AConcurrentReaderNeverSeesAPartialDocument) {
  const std::string path = PathUtf8(dir_ / "zelvan-probe.prom");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, Document(0), error)) << error;
  constexpr int kWrites = 400;
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::thread writer([&] {
    for (int k = 1; k <= kWrites; ++k) {
      std::string e;
      if (!WriteFileAtomically(path, Document(k), e)) ++failures;
    }
    done = true;
  });
  int reads = 0, torn = 0;
  std::string example;
  while (!done || reads == 0) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    // Windows refuses an open at the instant of the replacement (the file is never
    // missing): a reader tries again, as it would after any sharing conflict.
    if (in == nullptr && errno == EACCES) continue;
    // A reader that holds the file without pause would keep a Windows writer out for
    // good; a real one reads now and then.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    ASSERT_NE(in, nullptr) << "the path was missing while it was replaced: " << std::strerror(errno);
    std::string got;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) got.append(buffer, n);
    std::fclose(in);
    ++reads;
    // The last line names the document; the whole must be exactly that document.
    const auto last = got.rfind("zp_doc ");
    const int k = last == std::string::npos ? -1 : std::atoi(got.c_str() + last + 7);
    if (k < 0 || got != Document(k)) {
      ++torn;
      example = got.substr(got.size() > 200 ? got.size() - 200 : 0);
    }
  }
  writer.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(torn, 0) << "of " << reads << " reads, e.g. one ending\n" << example;
  EXPECT_GT(reads, 1);
  EXPECT_THAT(Names(), ::testing::ElementsAre("zelvan-probe.prom"));
  // The last document is well-formed for the real reader too.
  const PromtoolVerdict verdict = PromtoolCheck(path);
  EXPECT_EQ(verdict.status, 0) << verdict.output;
}

TEST_F(AtomicFileTest, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  const fs::path path = dir_ / "metrics.prom";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(PathUtf8(path), "old\n", error)) << error;
  // A folder that does not exist: nothing can be created, and the error names it whole.
  const std::string missing = PathUtf8(dir_) + "/J\u00FCrgen\u2014\u03B2";
  EXPECT_FALSE(WriteFileAtomically(missing + "/metrics.prom", "new\n", error));
  EXPECT_THAT(error, ::testing::HasSubstr("no such folder: " + missing));
  // A folder in the file's place: refused before anything is written.
  fs::create_directories(dir_ / "taken.prom" / "inside");
  error.clear();
  EXPECT_FALSE(WriteFileAtomically(PathUtf8(dir_ / "taken.prom"), "new\n", error));
  EXPECT_THAT(error, ::testing::HasSubstr("taken.prom is a folder, not a regular file"));
  EXPECT_THAT(Names(), ::testing::ElementsAre("metrics.prom", "taken.prom"));
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "old");
}

// Names outside any ANSI code page, in the folder and the file: the file is made under
// exactly that name (the folder is listed back in the system's own characters), with no
// temporary left and the same name when it is replaced.
TEST_F(AtomicFileTest, ANameOutsideTheCodePageIsTheNameWritten) {
  const std::string folder = PathUtf8(dir_) + "/J\u00FCrgen\u2014\u03B2";
  fs::create_directory(Utf8Path(folder));
  const std::string name = "Bericht-Z\u00FCrich\u2014\u03B2.html";
  std::string error;
  for (const char* content : {"first", "second"}) {
    ASSERT_TRUE(WriteFileAtomically(folder + "/" + name, content, error)) << error;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Utf8Path(folder))) names.push_back(PathUtf8(e.path().filename()));
    EXPECT_THAT(names, ::testing::ElementsAre(name));
  }
  std::ifstream in(Utf8Path(folder + "/" + name), std::ios::binary);
  std::string got;
  std::getline(in, got);
  EXPECT_EQ(got, "second");
}

}  // namespace
}  // namespace zp::test
