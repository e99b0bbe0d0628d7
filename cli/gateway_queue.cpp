#include "gateway_queue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace cli {
namespace {

constexpr size_t kHeader = 16;  // u32 body length, u32 CRC of number and body, u64 number
constexpr uint32_t kMaxBody = 16u << 20;
constexpr uint64_t kPositionMagic = 0x31534f5051574756;  // "VGWQPOS1"

uint32_t Crc32(const unsigned char *p, size_t n, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void Put32(unsigned char *p, uint32_t v) { std::memcpy(p, &v, 4); }
void Put64(unsigned char *p, uint64_t v) { std::memcpy(p, &v, 8); }
uint32_t Get32(const unsigned char *p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
uint64_t Get64(const unsigned char *p) { uint64_t v; std::memcpy(&v, p, 8); return v; }

uint32_t RecordCrc(uint64_t seq, const unsigned char *body, size_t n) {
  unsigned char s[8];
  Put64(s, seq);
  return Crc32(body, n, Crc32(s, 8));
}

std::string Errno(const std::string &what) { return what + ": " + std::strerror(errno); }

bool WriteAll(int fd, const unsigned char *p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool ReadAt(int fd, unsigned char *p, size_t n, uint64_t at) {
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, static_cast<off_t>(at));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    at += static_cast<uint64_t>(r);
  }
  return true;
}

}  // namespace

DiskQueue::~DiskQueue() {
  std::lock_guard<std::mutex> g(lock_);
  if (positionFd_ >= 0) {
    WritePosition();
    ::fdatasync(positionFd_);
    ::close(positionFd_);
  }
  for (auto &[first, s] : segments_)
    if (s.fd >= 0) ::close(s.fd);
}

std::string DiskQueue::SegmentPath(uint64_t first) const {
  char name[32];
  std::snprintf(name, sizeof name, "%020llu.seg", static_cast<unsigned long long>(first));
  return dir_ + "/" + name;
}

std::string DiskQueue::Open(const std::string &dir, uint64_t limit, bool sync, DroppedEntry dropped) {
  std::lock_guard<std::mutex> g(lock_);
  namespace fs = std::filesystem;
  dir_ = dir;
  limit_ = limit;
  // Eight segments to the limit, so that dropping the oldest drops an
  // eighth of the queue at most; within 16 KiB and 4 MiB each.
  segmentLimit_ = std::clamp<uint64_t>(limit / 8, 16 << 10, 4 << 20);
  sync_ = sync;
  droppedEntry_ = std::move(dropped);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return "cannot make the queue directory " + dir + ": " + ec.message();

  positionFd_ = ::open((dir + "/position").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (positionFd_ < 0) return Errno("cannot open " + dir + "/position");
  unsigned char slots[64] = {};
  ssize_t got = ::pread(positionFd_, slots, sizeof slots, 0);
  for (int i = 0; i < 2 && got > 0; ++i) {
    const unsigned char *s = slots + 32 * i;
    if (got < 32 * (i + 1) || Get64(s) != kPositionMagic || Get32(s + 24) != Crc32(s, 24)) continue;
    if (Get64(s + 8) >= generation_) {
      generation_ = Get64(s + 8);
      acked_ = std::max<uint64_t>(1, Get64(s + 16));
    }
  }
  writtenAck_ = acked_;

  std::vector<uint64_t> firsts;
  for (const auto &e : fs::directory_iterator(dir, ec)) {
    std::string name = e.path().filename().string();
    if (name.size() == 24 && name.compare(20, 4, ".seg") == 0 &&
        name.find_first_not_of("0123456789") == 20)
      firsts.push_back(std::stoull(name.substr(0, 20)));
  }
  if (ec) return "cannot list " + dir + ": " + ec.message();
  std::sort(firsts.begin(), firsts.end());
  next_ = acked_;
  for (uint64_t first : firsts) {
    const std::string path = SegmentPath(first);
    Segment s;
    s.fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (s.fd < 0) return Errno("cannot open " + path);
    struct stat st {};
    ::fstat(s.fd, &st);
    std::vector<unsigned char> data(static_cast<size_t>(st.st_size));
    if (!data.empty() && !ReadAt(s.fd, data.data(), data.size(), 0)) return Errno("cannot read " + path);
    // Records up to the first that is torn or does not follow; the rest is
    // what a crash left half written, and goes.
    uint64_t at = 0;
    while (at + kHeader <= data.size()) {
      const unsigned char *h = data.data() + at;
      uint32_t len = Get32(h);
      uint64_t seq = Get64(h + 8);
      if (len > kMaxBody || at + kHeader + len > data.size() || seq != first + s.offsets.size() ||
          Get32(h + 4) != RecordCrc(seq, h + kHeader, len))
        break;
      s.offsets.push_back(at);
      at += kHeader + len;
    }
    if (at != data.size() && ::ftruncate(s.fd, static_cast<off_t>(at)) != 0) return Errno("cannot cut " + path);
    s.bytes = at;
    bytes_ += at;
    next_ = std::max(next_, first + s.offsets.size());
    segments_[first] = std::move(s);
  }
  RemoveAcknowledged();
  std::string problem;
  if (segments_.empty() && !Roll(problem)) return problem;
  return {};
}

bool DiskQueue::Roll(std::string &problem) {
  const std::string path = SegmentPath(next_);
  Segment s;
  s.fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (s.fd < 0) {
    problem = Errno("cannot make " + path);
    return false;
  }
  if (sync_) {
    // The new file's name must last too.
    int d = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d >= 0) {
      ::fsync(d);
      ::close(d);
    }
  }
  segments_[next_] = std::move(s);
  return true;
}

void DiskQueue::DropOldest() {
  auto oldest = segments_.begin();
  const uint64_t first = oldest->first, end = first + oldest->second.offsets.size();
  const uint64_t from = std::max(acked_, first);
  if (end > from) dropped_ += end - from;
  acked_ = std::max(acked_, end);
  bytes_ -= oldest->second.bytes;
  ::close(oldest->second.fd);
  ::unlink(SegmentPath(first).c_str());
  segments_.erase(oldest);
}

bool DiskQueue::Append(std::vector<QueueEntry> &entries, std::string &problem) {
  std::lock_guard<std::mutex> g(lock_);
  uint64_t add = 0;
  for (const QueueEntry &e : entries) add += kHeader + e.topic.size() + 1 + e.payload.size();
  const uint64_t droppedBefore = dropped_, ackedBefore = acked_;
  while (bytes_ + add > limit_) {
    if (segments_.size() == 1 && !segments_.begin()->second.offsets.empty() && !Roll(problem)) return false;
    if (segments_.size() <= 1) break;  // one batch larger than the limit goes in all the same
    DropOldest();
  }
  if (dropped_ > droppedBefore && droppedEntry_) {
    const uint64_t count = dropped_ - droppedBefore;
    entries.insert(entries.begin(), droppedEntry_(count, ackedBefore, acked_ - 1));
  }
  if (segments_.rbegin()->second.bytes >= segmentLimit_ && !Roll(problem)) return false;
  Segment &s = segments_.rbegin()->second;
  std::vector<unsigned char> buffer;
  std::vector<uint64_t> offsets;
  uint64_t seq = next_;
  for (QueueEntry &e : entries) {
    e.seq = seq++;
    const size_t len = e.topic.size() + 1 + e.payload.size();
    const size_t at = buffer.size();
    offsets.push_back(s.bytes + at);
    buffer.resize(at + kHeader + len);
    unsigned char *h = buffer.data() + at;
    std::memcpy(h + kHeader, e.topic.data(), e.topic.size());
    h[kHeader + e.topic.size()] = 0;
    std::memcpy(h + kHeader + e.topic.size() + 1, e.payload.data(), e.payload.size());
    Put32(h, static_cast<uint32_t>(len));
    Put32(h + 4, RecordCrc(e.seq, h + kHeader, len));
    Put64(h + 8, e.seq);
  }
  if (!WriteAll(s.fd, buffer.data(), buffer.size()) || (sync_ && ::fdatasync(s.fd) != 0)) {
    problem = Errno("cannot write the queue in " + dir_);
    if (::ftruncate(s.fd, static_cast<off_t>(s.bytes)) != 0) {
      // What is there is cut off when the queue is opened again.
    }
    return false;
  }
  s.offsets.insert(s.offsets.end(), offsets.begin(), offsets.end());
  s.bytes += buffer.size();
  bytes_ += buffer.size();
  next_ = seq;
  if (acked_ != ackedBefore) WritePosition();
  return true;
}

std::vector<QueueEntry> DiskQueue::Read(uint64_t from, size_t max) {
  std::lock_guard<std::mutex> g(lock_);
  std::vector<QueueEntry> out;
  from = std::max(from, acked_);
  auto it = segments_.upper_bound(from);
  if (it != segments_.begin()) --it;
  for (; it != segments_.end() && out.size() < max; ++it) {
    const Segment &s = it->second;
    if (from < it->first) from = it->first;  // a gap a crash left
    for (uint64_t i = from - it->first; i < s.offsets.size() && out.size() < max; ++i) {
      const uint64_t at = s.offsets[i];
      const uint64_t size = (i + 1 < s.offsets.size() ? s.offsets[i + 1] : s.bytes) - at;
      std::vector<unsigned char> data(static_cast<size_t>(size));
      if (!ReadAt(s.fd, data.data(), data.size(), at)) return out;
      const char *body = reinterpret_cast<const char *>(data.data() + kHeader);
      const size_t len = Get32(data.data());
      const size_t zero = std::string_view(body, len).find('\0');
      QueueEntry e;
      e.seq = it->first + i;
      from = e.seq + 1;
      e.topic.assign(body, zero);
      e.payload.assign(body + zero + 1, len - zero - 1);
      out.push_back(std::move(e));
    }
  }
  return out;
}

void DiskQueue::Ack(uint64_t next) {
  std::lock_guard<std::mutex> g(lock_);
  if (next <= acked_) return;
  acked_ = std::min(next, next_);
  RemoveAcknowledged();
  WritePosition();
}

void DiskQueue::RemoveAcknowledged() {
  // Every segment but the one written to, once the next one starts at or
  // before the first entry not acknowledged.
  while (segments_.size() > 1 && std::next(segments_.begin())->first <= acked_) {
    auto oldest = segments_.begin();
    bytes_ -= oldest->second.bytes;
    ::close(oldest->second.fd);
    ::unlink(SegmentPath(oldest->first).c_str());
    segments_.erase(oldest);
  }
}

void DiskQueue::WritePosition() {
  if (positionFd_ < 0 || acked_ == writtenAck_) return;
  ++generation_;
  unsigned char s[32] = {};
  Put64(s, kPositionMagic);
  Put64(s + 8, generation_);
  Put64(s + 16, acked_);
  Put32(s + 24, Crc32(s, 24));
  if (::pwrite(positionFd_, s, sizeof s, static_cast<off_t>(32 * (generation_ % 2))) == sizeof s) {
    writtenAck_ = acked_;
    // To the disk at most once a second: a position that is behind after a
    // power loss sends entries again (QoS 1 allows that), it loses none, and
    // a sync at every acknowledgment would set the pace of the whole link.
    const auto now = std::chrono::steady_clock::now();
    if (sync_ && now - positionSynced_ >= std::chrono::seconds(1)) {
      ::fdatasync(positionFd_);
      positionSynced_ = now;
    }
  }
}

uint64_t DiskQueue::Acked() const {
  std::lock_guard<std::mutex> g(lock_);
  return acked_;
}
uint64_t DiskQueue::Next() const {
  std::lock_guard<std::mutex> g(lock_);
  return next_;
}
uint64_t DiskQueue::Bytes() const {
  std::lock_guard<std::mutex> g(lock_);
  return bytes_;
}
uint64_t DiskQueue::Dropped() const {
  std::lock_guard<std::mutex> g(lock_);
  return dropped_;
}

}  // namespace cli
