// The gateway's on-disk queue taken up again after what a crash leaves: a
// record cut short, a torn position slot, a full queue.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "gateway_queue.h"

namespace {

namespace fs = std::filesystem;
using cli::DiskQueue;
using cli::QueueEntry;

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("volneda-queue-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<DiskQueue> Open(uint64_t limit = 1 << 20) {
    auto q = std::make_unique<DiskQueue>();
    EXPECT_EQ(q->Open(dir_.string(), limit, true, [](uint64_t n, uint64_t first, uint64_t last) {
      return QueueEntry{0, "dropped", std::to_string(n) + " " + std::to_string(first) + "-" + std::to_string(last)};
    }), "");
    return q;
  }
  static void Append(DiskQueue &q, int from, int n, size_t size = 10) {
    std::vector<QueueEntry> entries;
    for (int i = from; i < from + n; ++i) entries.push_back({0, "t/" + std::to_string(i), std::string(size, 'a' + i % 26)});
    std::string problem;
    ASSERT_TRUE(q.Append(entries, problem)) << problem;
  }
  static std::vector<std::string> Topics(DiskQueue &q) {
    std::vector<std::string> out;
    for (const QueueEntry &e : q.Read(q.Acked(), 1000)) out.push_back(std::to_string(e.seq) + ":" + e.topic);
    return out;
  }
  fs::path Segment() const {
    for (const auto &e : fs::directory_iterator(dir_))
      if (e.path().extension() == ".seg") return e.path();
    return {};
  }
  fs::path dir_;
};

TEST_F(QueueTest, ReopenedQueueHoldsWhatWasNotAcknowledged) {
  Append(*Open(), 1, 3);
  {
    auto q = Open();
    EXPECT_EQ(Topics(*q), (std::vector<std::string>{"1:t/1", "2:t/2", "3:t/3"}));
    q->Ack(3);
  }
  auto q = Open();
  EXPECT_EQ(Topics(*q), (std::vector<std::string>{"3:t/3"}));
  Append(*q, 4, 1);
  EXPECT_EQ(q->Next(), 5u);
}

TEST_F(QueueTest, WhatACrashLeftIsCutOffAndNumberingGoesOn) {
  // A record cut short, bytes of no record, a record whose CRC fails.
  for (int damage = 0; damage < 3; ++damage) {
    fs::remove_all(dir_);
    Append(*Open(), 1, 3);
    const fs::path seg = Segment();
    const auto size = fs::file_size(seg);
    if (damage == 0) {
      fs::resize_file(seg, size - 4);
    } else if (damage == 1) {
      std::ofstream(seg, std::ios::binary | std::ios::app) << "garbage";
    } else {
      std::fstream f(seg, std::ios::binary | std::ios::in | std::ios::out);
      f.seekp(static_cast<std::streamoff>(size - 1));
      f.put('!');
    }
    auto q = Open();
    EXPECT_EQ(Topics(*q).size(), damage == 1 ? 3u : 2u) << "damage " << damage;
    Append(*q, 9, 1);
    EXPECT_EQ(Topics(*Open()).back(), (damage == 1 ? "4:t/9" : "3:t/9")) << "damage " << damage;
  }
}

TEST_F(QueueTest, ATornPositionSlotLeavesTheOneBefore) {
  {
    auto q = Open();
    Append(*q, 1, 5);
    q->Ack(2);
    q->Ack(4);  // the second slot
  }
  std::fstream f(dir_ / "position", std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(32 * 0 + 16);  // generation 2 went to slot 0
  f.put('\x7f');
  f.close();
  EXPECT_EQ(Open()->Acked(), 2u);
}

TEST_F(QueueTest, AFullQueueDropsTheOldestAndCountsThem) {
  auto q = Open(64 << 10);  // segments of 16 KiB
  for (int i = 0; i < 20; ++i) Append(*q, i * 10, 10, 500);
  EXPECT_GT(q->Dropped(), 0u);
  EXPECT_LE(q->Bytes(), 64u << 10);
  std::vector<QueueEntry> left = q->Read(q->Acked(), 1000);
  ASSERT_FALSE(left.empty());
  EXPECT_EQ(left.front().seq, q->Acked());
  EXPECT_EQ(left.back().seq, q->Next() - 1);
  uint64_t counted = 0;
  for (const QueueEntry &e : left)
    if (e.topic == "dropped") counted = std::stoull(e.payload);
  EXPECT_GT(counted, 0u);
}

}  // namespace
