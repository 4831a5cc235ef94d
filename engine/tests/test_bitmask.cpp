// Pixel masks: addressing, the shifted mask test against a pixel-by-pixel
// reference, the edges of rows and words, and the debug dumps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "bitmask.h"

using korvu::Bitmask;
using korvu::checkCollisionBitmask;

namespace {

std::unique_ptr<Bitmask> fullMask(int width, int height) {
  std::unique_ptr<Bitmask> mask(new Bitmask(width, height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) mask->set(x, y);
  }
  return mask;
}

// The answer pixel by pixel.
bool reference(const Bitmask& a, const Bitmask& b, int dx, int dy) {
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      const int ax = x + dx, ay = y + dy;
      if (ax < 0 || ay < 0 || ax >= a.width || ay >= a.height) continue;
      if (b.get(x, y) && a.get(ax, ay)) return true;
    }
  }
  return false;
}

}  // namespace

TEST(Bitmask, PixelsAreAddressedFromTheTopLeftMostSignificantBitFirst) {
  Bitmask mask(40, 3);
  EXPECT_EQ(mask.wordsPerRow(), 2);
  EXPECT_EQ(mask.wordCount, 6);
  for (int i = 0; i < mask.wordCount; ++i) EXPECT_EQ(mask.words[i], 0u);
  mask.set(0, 0);
  mask.set(33, 0);
  mask.set(31, 2);
  EXPECT_EQ(mask.words[0], 0x80000000u);
  EXPECT_EQ(mask.words[1], 0x40000000u);
  EXPECT_EQ(mask.words[4], 0x00000001u);
  EXPECT_TRUE(mask.get(33, 0));
  EXPECT_FALSE(mask.get(32, 0));
  mask.clear();
  for (int i = 0; i < mask.wordCount; ++i) EXPECT_EQ(mask.words[i], 0u);

  Bitmask empty(-5, 2);
  EXPECT_EQ(empty.width, 0);
  EXPECT_EQ(empty.wordCount, 0);
  EXPECT_FALSE(checkCollisionBitmask(&empty, &mask, 0, 0));
  EXPECT_FALSE(checkCollisionBitmask(&mask, &empty, 0, 0));
}

TEST(Bitmask, FullMasksCollideUpToTheirLastColumnAndRow) {
  auto a = fullMask(40, 1);
  auto b = fullMask(40, 1);
  EXPECT_TRUE(checkCollisionBitmask(a.get(), b.get(), 39, 0));
  EXPECT_FALSE(checkCollisionBitmask(a.get(), b.get(), 40, 0));
  EXPECT_TRUE(checkCollisionBitmask(a.get(), b.get(), -39, 0));
  EXPECT_FALSE(checkCollisionBitmask(a.get(), b.get(), -40, 0));
  EXPECT_FALSE(checkCollisionBitmask(a.get(), b.get(), 0, 1));
  EXPECT_FALSE(checkCollisionBitmask(a.get(), b.get(), 0, -1));
  EXPECT_FALSE(checkCollisionBitmask(a.get(), b.get(), 0, 1000));
}

TEST(Bitmask, TheLastWordOfARowTakesTheBitsOfTheNextWord) {
  // b's last pixel lands on a's column 32, the first pixel of a's second
  // word, while b's run ends after one word.
  Bitmask a(64, 1);
  a.set(32, 0);
  Bitmask b(32, 1);
  b.set(31, 0);
  EXPECT_TRUE(checkCollisionBitmask(&a, &b, 1, 0));
  EXPECT_TRUE(checkCollisionBitmask(&b, &a, -1, 0));
  EXPECT_FALSE(checkCollisionBitmask(&a, &b, 2, 0));
  // Bits of a's next word that b does not reach do not count.
  Bitmask c(64, 1);
  c.set(33, 0);
  EXPECT_FALSE(checkCollisionBitmask(&c, &b, 1, 0));
}

TEST(Bitmask, ShiftedTestAgreesWithPixelByPixelReference) {
  std::srand(7);
  const int sizes[][2] = {{1, 1}, {5, 3}, {31, 2}, {32, 4}, {33, 2}, {40, 3}, {64, 2}, {70, 5}, {97, 3}};
  int collisions = 0, checks = 0;
  for (const auto& sa : sizes) {
    for (const auto& sb : sizes) {
      Bitmask a(sa[0], sa[1]), b(sb[0], sb[1]);
      // Sparse masks, so that near misses are common.
      for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
          if (std::rand() % 9 == 0) a.set(x, y);
      for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
          if (std::rand() % 9 == 0) b.set(x, y);
      for (int dy = -b.height - 1; dy <= a.height + 1; ++dy) {
        for (int dx = -b.width - 2; dx <= a.width + 2; ++dx) {
          const bool want = reference(a, b, dx, dy);
          ASSERT_EQ(checkCollisionBitmask(&a, &b, dx, dy), want)
              << sa[0] << "x" << sa[1] << " against " << sb[0] << "x" << sb[1] << " at " << dx << ", " << dy;
          ASSERT_EQ(checkCollisionBitmask(&b, &a, -dx, -dy), want);
          collisions += want;
          ++checks;
        }
      }
    }
  }
  // Both answers were exercised plenty.
  EXPECT_GT(collisions, checks / 10);
  EXPECT_LT(collisions, checks - checks / 10);
}

TEST(Bitmask, DumpsShowRowsAndTheOverlap) {
  Bitmask mask(3, 2);
  mask.set(0, 0);
  mask.set(2, 1);
  testing::internal::CaptureStdout();
  mask.print();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "3 x 2:\n#" + std::string(31, '.') + "|\n..#" + std::string(29, '.') + "|\n");

  Bitmask other(2, 2);
  other.set(0, 0);
  other.set(1, 0);
  testing::internal::CaptureStdout();
  korvu::printCollisionBitmask(&mask, &other, 1, 1);
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "2X\n");
  testing::internal::CaptureStdout();
  korvu::printCollisionBitmask(&mask, &other, -1, 0);
  korvu::printCollisionBitmask(&mask, &other, 5, 0);
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "X\n.\n");

  testing::internal::CaptureStdout();
  korvu::oldprintCollisionBitmask(&mask, &other, 1, 1);
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "--- BEGIN COLLISION BITMASK ---\nxOffset=1 / yOffset=1\noverlapWidth=2, overlapHeight=1\n"
            "ax1=1, ax2=2, ay1=1, ay2=1\nbx1=0, bx2=1\n2X\n--- END COLLISION BITMASK ---\n");
}
