#include "run/TextColumns.h"

#include <gtest/gtest.h>

namespace zp {
namespace {

// Each block's edges, so that a range cut short or out of order shows.
TEST(TextColumnsTest, WideCharactersTakeTwoColumnsAndMarksNone) {
  const struct {
    char32_t c;
    int columns;
  } cases[] = {
      {U'A', 1},     {U'\t', 1},     {0x00E9, 1},  {0x0301, 0},  {0x036F, 0},  {0x0370, 1},  {0x10FF, 1},
      {0x1100, 2},   {0x115F, 2},    {0x1160, 0},  {0x200B, 0},  {0x202E, 0},  {0x2E7F, 1},  {0x2E80, 2},
      {0x3000, 2},   {0x303F, 1},    {0x4E2D, 2},  {0x9FFF, 2},  {0xAC00, 2},  {0xD7A3, 2},  {0xD7A4, 1},
      {0xFE0F, 0},   {0xFEFF, 0},    {0xFF21, 2},  {0xFF60, 2},  {0xFF61, 1},  {0xFFE6, 2},  {0x1F600, 2},
      {0x1F650, 1},  {0x20000, 2},   {0x3FFFD, 2}, {0x3FFFE, 1}, {0xE0100, 0}, {0x10FFFF, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayColumns(c.c), c.columns) << std::hex << static_cast<unsigned>(c.c);
}

}  // namespace
}  // namespace zp
