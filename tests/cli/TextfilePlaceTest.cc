// Where the textfile goes: the path given while its folder exists, the fallback folder when
// only that folder is missing, and the given path's problem otherwise. The folders carry
// names outside any ANSI code page, as a user's folder may.
#include "cli/TextfilePlace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Utf8Path.h"
#include "support/ProcessRunner.h"

namespace zp::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

TEST(TextfilePlaceTest, FallsBackOnlyForAMissingFolder) {
  const std::string dir = PathUtf8(fs::temp_directory_path() / ("zp-textfile-" + std::to_string(CurrentProcessId()))) +
                          "/J\u00FCrgen\u2014\u03B2";
  const std::string fallback = dir + "/fallback";
  fs::create_directories(Utf8Path(fallback + "/taken.prom"));
  const struct {
    const char* name;
    std::string given, fallback;
    std::string path;      // empty: none
    const char* problem;   // part of it; empty: none
  } cases[] = {
      {"folder there", dir + "/z.prom", fallback, dir + "/z.prom", ""},
      {"folder missing", dir + "/gone/z.prom", fallback, PathUtf8(Utf8Path(fallback) / "z.prom"), ""},
      {"no fallback", dir + "/gone/z.prom", "", "", "no such folder: "},
      {"fallback missing too", dir + "/gone/z.prom", dir + "/gone-too", "", "no such folder: "},
      {"a folder in the fallback's place", dir + "/gone/taken.prom", fallback, "", "no such folder: "},
      {"a folder in the given place", fallback, fallback, "", "is a folder, not a regular file"},
      {"nothing given", "", fallback, "", "names no file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TextfilePlace place = ChooseTextfile(c.given, c.fallback);
    EXPECT_EQ(place.path, c.path);
    if (*c.problem == '\0') {
      EXPECT_EQ(place.problem, "");
    } else {
      EXPECT_THAT(place.problem, HasSubstr(c.problem));
    }
    // The note says where the file went and why, with the names whole.
    if (!place.path.empty() && place.path != c.given) {
      EXPECT_THAT(place.note, HasSubstr(place.path));
      EXPECT_THAT(place.note, HasSubstr("no such folder: " + dir + "/gone"));
    } else {
      EXPECT_EQ(place.note, "");
    }
  }
  fs::remove_all(Utf8Path(dir).parent_path());
}

}  // namespace
}  // namespace zp::test
