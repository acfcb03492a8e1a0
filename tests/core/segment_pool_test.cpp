#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "core/log.h"
#include "core/segment_pool.h"
#include "core/text_data.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

std::vector<uint8_t> Filled(size_t size, uint8_t first) {
  std::vector<uint8_t> bytes(size);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

TEST(SegmentPool, SegmentsGetOneByteMoreAndLieBackToBack) {
  SegmentPool pool;
  EXPECT_EQ(pool.CreateSegment(10, 0), 1);
  EXPECT_EQ(pool.CreateSegment(20, 5), 2);
  EXPECT_EQ(pool.SegmentSize(1), 11u);
  EXPECT_EQ(pool.SegmentSize(2), 21u);
  EXPECT_EQ(pool.TotalSize(), 32u);
  ASSERT_EQ(pool.Allocate(), 1);
  EXPECT_EQ(pool.Allocate(), 0);  // once only
  EXPECT_EQ(pool.SegmentData(2) - pool.SegmentData(1), 11);
}

TEST(SegmentPool, ReadAndWriteAreBoundedBySegmentAndHandle) {
  SegmentPool pool;
  pool.CreateSegment(9, 0);  // 10 bytes
  ASSERT_EQ(pool.Allocate(), 1);
  const auto data = Filled(10, 1);
  std::vector<uint8_t> back(11, 0);
  EXPECT_EQ(pool.Write(1, 0, 10, data.data()), 1);
  EXPECT_EQ(pool.Read(1, 0, 10, back.data()), 1);  // offset + length == size
  EXPECT_EQ(pool.Read(1, 0, 11, back.data()), 0);  // one byte more
  EXPECT_EQ(pool.Read(1, 10, 1, back.data()), 0);
  EXPECT_EQ(pool.Read(1, 0xFFFFFFFFu, 2, back.data()), 0);  // no wrap-around
  EXPECT_EQ(pool.Write(0, 0, 1, data.data()), 0);
  EXPECT_EQ(pool.Write(2, 0, 1, data.data()), 0);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
}

TEST(SegmentPool, AFortyFirstSegmentIsRefused) {
  LogCapture log;
  SegmentPool pool;
  for (int i = 1; i <= 40; ++i) ASSERT_EQ(pool.CreateSegment(1, 0), i);
  EXPECT_EQ(pool.CreateSegment(1, 0), 0);
  EXPECT_TRUE(log.Contains("No more free segments, increase !\n"));
}

TEST(SegmentPool, GrowingAndShrinkingMoveLaterSegmentsAndKeepTheirBytes) {
  SegmentPool pool;
  pool.CreateSegment(99, 50);  // 100 bytes, step 50
  pool.CreateSegment(99, 0);
  pool.CreateSegment(99, 0);
  ASSERT_EQ(pool.Allocate(), 1);
  const auto a = Filled(100, 0), b = Filled(100, 100), c = Filled(100, 200);
  pool.Write(1, 0, 100, a.data());
  pool.Write(2, 0, 100, b.data());
  pool.Write(3, 0, 100, c.data());

  ASSERT_EQ(pool.Grow(1, 0), 1);  // default step
  EXPECT_EQ(pool.SegmentSize(1), 150u);
  ASSERT_EQ(pool.Grow(2, 1000), 1);
  EXPECT_EQ(pool.SegmentSize(2), 1100u);
  EXPECT_EQ(pool.TotalSize(), 150u + 1100u + 100u);
  std::vector<uint8_t> back(100);
  pool.Read(1, 0, 100, back.data());
  EXPECT_EQ(back, a);
  pool.Read(2, 0, 100, back.data());
  EXPECT_EQ(back, b);
  pool.Read(3, 0, 100, back.data());
  EXPECT_EQ(back, c);

  ASSERT_EQ(pool.Resize(2, 10), 1);
  ASSERT_EQ(pool.Resize(1, 100), 1);
  EXPECT_EQ(pool.TotalSize(), 100u + 10u + 100u);
  pool.Read(3, 0, 100, back.data());
  EXPECT_EQ(back, c);
  pool.Read(1, 0, 100, back.data());
  EXPECT_EQ(back, a);
  std::vector<uint8_t> first_ten(10);
  pool.Read(2, 0, 10, first_ten.data());
  EXPECT_TRUE(std::equal(first_ten.begin(), first_ten.end(), b.begin()));
  EXPECT_EQ(pool.Resize(2, 10), 1);  // unchanged
}

// Many small growth steps of every segment, in turn and interleaved with
// shrinking: each segment keeps exactly what was written to it, none reads
// into its neighbour, and sizes are what was asked (not the room behind).
TEST(SegmentPool, ManyGrowthStepsKeepEverySegmentsBytes) {
  SegmentPool pool;
  for (int i = 0; i < 3; ++i) pool.CreateSegment(9, 0);
  ASSERT_EQ(pool.Allocate(), 1);
  std::vector<std::vector<uint8_t>> expected(3);
  for (uint32_t step = 1; step <= 300; ++step) {
    const uint16_t handle = static_cast<uint16_t>(1 + step % 3);
    auto& bytes = expected[handle - 1];
    const uint32_t size = step % 7 == 0 ? static_cast<uint32_t>(bytes.size() / 2) : static_cast<uint32_t>(bytes.size() + step);
    ASSERT_EQ(pool.Resize(handle, size), 1);
    bytes.resize(size, 0);
    for (uint32_t k = 0; k < size; ++k) bytes[k] = static_cast<uint8_t>(handle * 50 + k + step);
    ASSERT_EQ(pool.Write(handle, 0, size, bytes.data()), 1);
    uint32_t total = 0;
    for (uint16_t h = 1; h <= 3; ++h) {
      const auto& want = expected[h - 1];
      total += static_cast<uint32_t>(want.size() ? want.size() : 10);
      if (want.empty()) continue;
      std::vector<uint8_t> got(want.size());
      ASSERT_EQ(pool.Read(h, 0, static_cast<uint32_t>(got.size()), got.data()), 1);
      ASSERT_EQ(got, want) << "segment " << h << " after step " << step;
      EXPECT_EQ(pool.SegmentSize(h), want.size());
      EXPECT_EQ(pool.Read(h, 0, static_cast<uint32_t>(want.size()) + 1, got.data()), 0);
    }
    EXPECT_EQ(pool.TotalSize(), total);
  }
}

TEST(SegmentPool, FreeAllForgetsEverything) {
  SegmentPool pool;
  EXPECT_EQ(pool.FreeAll(), 1);  // nothing created
  pool.CreateSegment(5, 0);
  pool.Allocate();
  EXPECT_EQ(pool.FreeAll(), 1);
  EXPECT_EQ(pool.IsAllocated(), 0);
  EXPECT_EQ(pool.SegmentCount(), 0u);
  EXPECT_EQ(pool.TotalSize(), 0u);
  std::vector<uint8_t> byte(1);
  EXPECT_EQ(pool.Read(1, 0, 1, byte.data()), 0);
  EXPECT_EQ(pool.CreateSegment(1, 0), 1);  // handles start over
}

TEST(TextData, AppendsGrowTheSegmentAndReadBackInOrder) {
  TextData text;
  ASSERT_EQ(text.InitData(), 1);
  std::vector<uint8_t> all;
  for (int i = 0; i < 300; ++i) {
    const auto piece = Filled(97, static_cast<uint8_t>(i));
    ASSERT_EQ(text.AppendText(static_cast<uint32_t>(piece.size()), piece.data()), 1);
    all.insert(all.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(text.Length(), all.size());
  std::vector<uint8_t> back(all.size());
  ASSERT_EQ(text.ReadText(0, static_cast<uint32_t>(back.size()), back.data()), 1);
  EXPECT_EQ(back, all);
  EXPECT_EQ(text.ReadText(1, static_cast<uint32_t>(all.size()), back.data()), 0);  // past the text
  ASSERT_EQ(text.InitData(), 1);  // starts over
  EXPECT_EQ(text.Length(), 0u);
  EXPECT_EQ(text.DestroyData(), 1);
}

}  // namespace
}  // namespace zepcon
