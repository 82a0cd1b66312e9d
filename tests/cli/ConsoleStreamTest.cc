// How the console's text leaves: at once to a terminal, in blocks to a file or a pipe,
// never a line split between two writes, and the first failure kept.
#include "cli/ConsoleStream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

#include "platform/ConsoleOutput.h"

namespace zp {
namespace {

// What has reached the file so far.
std::string Written(std::FILE* file) {
  std::fflush(file);
  const long end = std::ftell(file);
  std::string text(static_cast<std::size_t>(end), '\0');
  std::rewind(file);
  const std::size_t got = std::fread(text.data(), 1, text.size(), file);
  text.resize(got);
  std::fseek(file, 0, SEEK_END);
  return text;
}

TEST(ConsoleStreamTest, ATerminalGetsEachWriteAndAFileOrPipeGetsBlocks) {
  using Buffering = ConsoleStream::Buffering;
  const std::string block(ConsoleStream::kBlockBytes - 3, 'x');
  struct Step {
    std::string write;     // empty: Flush
    std::size_t reached;   // bytes in the file afterwards
  };
  const struct {
    const char* name;
    Buffering buffering;
    std::vector<Step> steps;
  } cases[] = {
      {"terminal", Buffering::Line, {{"a\n", 2}, {"bc\n", 5}}},
      {"file", Buffering::Block, {{"a\n", 0}, {"bc\n", 0}, {"", 5}, {"", 5}}},
      // The write that fills the block goes out whole with what was kept before it.
      {"a full block", Buffering::Block, {{"a\n", 0}, {block + "\n", block.size() + 3}, {"d\n", block.size() + 3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
      ConsoleStream stream(file, c.buffering);
      for (const Step& step : c.steps) {
        if (step.write.empty()) stream.Flush();
        else stream.Write(step.write);
        EXPECT_EQ(Written(file).size(), step.reached);
      }
      EXPECT_FALSE(stream.Failed());
    }
    // What was kept is written when the stream goes.
    const std::string all = Written(file);
    EXPECT_EQ(all.substr(0, 2), "a\n");
    EXPECT_EQ(all.back(), '\n');
    std::fclose(file);
  }
}

#ifndef _WIN32
TEST(ConsoleStreamTest, AFullDiskIsKeptAsTheFirstFailureWhenTheTextLeaves) {
  for (const auto buffering : {ConsoleStream::Buffering::Line, ConsoleStream::Buffering::Block}) {
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    ConsoleStream stream(full, buffering);
    stream.Write("status line\n");
    EXPECT_EQ(stream.Failed(), buffering == ConsoleStream::Buffering::Line);
    stream.Flush();
    EXPECT_TRUE(stream.Failed());
    EXPECT_EQ(stream.ErrorText(), std::strerror(ENOSPC));
    std::fclose(full);
  }
}

// The choice follows what the stream is: a pseudo-terminal as a person's terminal, a
// pipe and a file as a program's.
TEST(ConsoleStreamTest, ChoosesLinesForATerminalOnly) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::FILE* terminal = std::fopen(ptsname(master), "w");
  ASSERT_NE(terminal, nullptr);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::FILE* pipe_end = fdopen(ends[1], "w");
  std::FILE* file = std::tmpfile();
  EXPECT_TRUE(IsTerminal(terminal));
  EXPECT_EQ(ConsoleStream(terminal).Mode(), ConsoleStream::Buffering::Line);
  EXPECT_FALSE(IsTerminal(pipe_end));
  EXPECT_EQ(ConsoleStream(pipe_end).Mode(), ConsoleStream::Buffering::Block);
  EXPECT_EQ(ConsoleStream(file).Mode(), ConsoleStream::Buffering::Block);
  std::fclose(terminal);
  std::fclose(pipe_end);
  std::fclose(file);
  close(ends[0]);
  close(master);
}
#endif

}  // namespace
}  // namespace zp
