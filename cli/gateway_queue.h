// gateway_queue.h -- the gateway's on-disk queue: every event goes through
// it on its way to the broker, so that none is lost while the broker cannot
// be reached or the gateway restarts.
//
// Entries (a topic and a payload) get sequence numbers from 1 and are
// appended to segment files (NNN.seg, named by their first number); each
// record carries its length, number and a CRC, so that a record torn by a
// crash is found and cut off when the queue is opened again.  The file
// `position` holds the number of the first entry not yet acknowledged by the
// broker, in two alternating slots with a CRC each (the newer valid slot
// counts).  A segment whose entries are all acknowledged is deleted.
//
// When an append would take the segment files past the limit, the oldest
// segment is deleted with what it holds, and an entry made by the
// DroppedEntry function (the gateway's dropped-counter event) goes into the
// queue before the appended ones.
#ifndef VOLNEDA_CLI_GATEWAY_QUEUE_H
#define VOLNEDA_CLI_GATEWAY_QUEUE_H

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace cli {

struct QueueEntry {
  uint64_t seq = 0;
  std::string topic, payload;
};

class DiskQueue {
 public:
  // (count, first, last) of dropped entries -> the entry that says so.
  using DroppedEntry = std::function<QueueEntry(uint64_t, uint64_t, uint64_t)>;

  DiskQueue() = default;
  ~DiskQueue();
  DiskQueue(const DiskQueue &) = delete;
  DiskQueue &operator=(const DiskQueue &) = delete;

  // Opens the queue in `dir` (made if missing) and takes up what an
  // earlier run left.  `sync`: each append and the position reach the disk
  // (fdatasync) before Append returns.  Empty when done, else the problem.
  std::string Open(const std::string &dir, uint64_t limit, bool sync, DroppedEntry dropped);
  // Appends the entries (their seq is set), in one write.  False with the
  // problem when the disk refuses.
  bool Append(std::vector<QueueEntry> &entries, std::string &problem);
  // Up to `max` entries from number `from` on (from at least Acked()).
  std::vector<QueueEntry> Read(uint64_t from, size_t max);
  // Everything before `next` is acknowledged.
  void Ack(uint64_t next);

  uint64_t Acked() const;  // the first entry not acknowledged
  uint64_t Next() const;   // the number the next entry gets
  uint64_t Bytes() const;  // of the segment files
  uint64_t Dropped() const;  // entries dropped since the queue was opened

 private:
  struct Segment {
    int fd = -1;
    uint64_t bytes = 0;
    std::vector<uint64_t> offsets;  // of each record; record i has number first + i
  };
  std::string SegmentPath(uint64_t first) const;
  bool Roll(std::string &problem);
  void DropOldest();
  void WritePosition();
  void RemoveAcknowledged();

  mutable std::mutex lock_;
  std::string dir_;
  uint64_t limit_ = 0, segmentLimit_ = 0;
  bool sync_ = true;
  DroppedEntry droppedEntry_;
  std::map<uint64_t, Segment> segments_;  // by first number
  uint64_t next_ = 1, acked_ = 1, bytes_ = 0, dropped_ = 0;
  int positionFd_ = -1;
  uint64_t generation_ = 0;
  uint64_t writtenAck_ = 0;
  std::chrono::steady_clock::time_point positionSynced_{};
};

}  // namespace cli

#endif
