// The real platform's kept file positions and its read-ahead window: any
// mix of repositionings, small and large reads and writes must move the
// same bytes as plain reads and writes at a system-kept position would.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_util.h"

namespace tessel {
namespace {

std::string Pattern(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// Reads "size" bytes and checks them against "model" at "*position".
void ExpectRead(const Platform& p, FileId file, const std::string& model, int64_t* position, uint32_t size) {
  std::string buffer(size, '\0');
  uint32_t moved = 99;
  ASSERT_EQ(p.read(p.ctx, file, buffer.data(), size, &moved), 0);
  int64_t available = static_cast<int64_t>(model.size()) - *position;
  uint32_t expected = available <= 0 ? 0 : available < size ? static_cast<uint32_t>(available) : size;
  ASSERT_EQ(moved, expected) << "at " << *position;
  if (expected > 0) {
    ASSERT_EQ(buffer.substr(0, moved), model.substr(static_cast<size_t>(*position), moved)) << "at " << *position;
  }
  *position += moved;
}

TEST(PosixPositionsTest, RandomMixesMoveTheBytesOfAPlainFile) {
  test::ScopedTempDir dir;
  const Platform& p = PosixPlatform();
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::string path = (dir.path() / std::filesystem::path("f").concat(std::to_string(seed))).string();
    std::string model = Pattern(200'000 + seed * 1000, seed);
    test::WriteFile(path, model);
    FileId file = kNoFile;
    ASSERT_EQ(p.open_existing(p.ctx, path.c_str(), &file), 0);
    std::mt19937 random(seed * 7);
    int64_t position = 0;
    for (int step = 0; step < 20'000; ++step) {
      // Long stretches of forward steps alone, so that the window comes
      // into play, between stretches of everything mixed.
      bool forward_only = (step / 500) % 2 == 0;
      uint32_t kind = forward_only ? random() % 60 : random() % 100;
      if (kind < 60) {
        // The sysop-name passes' pattern: small reads a little further on.
        int64_t gap = random() % 4 == 0 ? static_cast<int64_t>(random() % 3000) : static_cast<int64_t>(random() % 200);
        position += gap;
        // Past the end now and then; mostly back to the start, as a new pass.
        if (position > static_cast<int64_t>(model.size()) + 10 && random() % 8 != 0) position = random() % 1000;
        ASSERT_EQ(p.seek(p.ctx, file, position), 0);
        ExpectRead(p, file, model, &position, 38 * (1 + random() % 4));
      } else if (kind < 70) {
        ExpectRead(p, file, model, &position, 1 + random() % 600);  // from where the last one ended
      } else if (kind < 78) {
        position = static_cast<int64_t>(random() % (model.size() + 100));
        ASSERT_EQ(p.seek(p.ctx, file, position), 0);
        ExpectRead(p, file, model, &position, 1 + random() % 70'000);
      } else if (kind < 88) {
        // A write in the middle of it all, inside or past the end.
        position = static_cast<int64_t>(random() % (model.size() + 50));
        ASSERT_EQ(p.seek(p.ctx, file, position), 0);
        std::string bytes = Pattern(1 + random() % 300, static_cast<unsigned>(random()));
        uint32_t moved = 0;
        ASSERT_EQ(p.write(p.ctx, file, bytes.data(), static_cast<uint32_t>(bytes.size()), &moved), 0);
        ASSERT_EQ(moved, bytes.size());
        size_t at = static_cast<size_t>(position);
        if (at > model.size()) model.resize(at, '\0');
        model.replace(at, std::min(bytes.size(), model.size() - at), bytes);
        position += moved;
      } else if (kind < 90) {
        // Closed and opened again: the descriptor comes back with no window.
        ASSERT_EQ(p.close(p.ctx, file), 0);
        ASSERT_EQ(p.open_existing(p.ctx, path.c_str(), &file), 0);
        position = 0;
        ExpectRead(p, file, model, &position, 1 + random() % 100);
      } else {
        position = static_cast<int64_t>(random() % (model.size() + 20));
        ASSERT_EQ(p.seek(p.ctx, file, position), 0);
        ExpectRead(p, file, model, &position, 1 + random() % 500);
      }
    }
    ASSERT_EQ(p.close(p.ctx, file), 0);
    EXPECT_EQ(test::ReadFile(path), model);
  }
}

TEST(PosixPositionsTest, TwoFilesReadInTurnKeepTheirOwnPlaces) {
  test::ScopedTempDir dir;
  const Platform& p = PosixPlatform();
  std::string a = Pattern(50'000, 1), b = Pattern(50'000, 2);
  test::WriteFile((dir.path() / "a").string(), a);
  test::WriteFile((dir.path() / "b").string(), b);
  FileId fa = kNoFile, fb = kNoFile;
  ASSERT_EQ(p.open_read(p.ctx, (dir.path() / "a").string().c_str(), &fa), 0);
  ASSERT_EQ(p.open_read(p.ctx, (dir.path() / "b").string().c_str(), &fb), 0);
  int64_t pa = 0, pb = 0;
  for (int k = 0; k < 1000; ++k) {
    pa += 40;
    pb += 30;
    ASSERT_EQ(p.seek(p.ctx, fa, pa), 0);
    ExpectRead(p, fa, a, &pa, 38);
    ASSERT_EQ(p.seek(p.ctx, fb, pb), 0);
    ExpectRead(p, fb, b, &pb, 38);
  }
  EXPECT_EQ(p.close(p.ctx, fa), 0);
  EXPECT_EQ(p.close(p.ctx, fb), 0);
}

TEST(PosixPositionsTest, RepositioningBeforeTheStartFails) {
  test::ScopedTempDir dir;
  const Platform& p = PosixPlatform();
  test::WriteFile((dir.path() / "f").string(), "abcdef");
  FileId file = kNoFile;
  ASSERT_EQ(p.open_existing(p.ctx, (dir.path() / "f").string().c_str(), &file), 0);
  EXPECT_NE(p.seek(p.ctx, file, -1), 0);  // the system's answer
  ASSERT_EQ(p.seek(p.ctx, file, 2), 0);
  EXPECT_NE(p.seek(p.ctx, file, -1), 0);  // the kept position's answer
  int64_t position = 2;
  ExpectRead(p, file, "abcdef", &position, 3);
  EXPECT_EQ(p.close(p.ctx, file), 0);
}

}  // namespace
}  // namespace tessel

#else
#include <gtest/gtest.h>

TEST(PosixPositionsTest, NotOnWindows) { GTEST_SKIP() << "the read window and kept positions belong to the POSIX platform"; }
#endif  // _WIN32
