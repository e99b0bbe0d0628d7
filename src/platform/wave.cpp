#include "platform/wave.h"

#include <algorithm>
#include <cstring>

namespace plat {

static uint32_t Le32(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
static uint16_t Le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool CopyWaveImage(const void *image, MemoryReader read, std::vector<uint8_t> &out) {
  out.clear();
  if (!image || !read) return false;
  const auto *from = static_cast<const uint8_t *>(image);
  // Appends n bytes of the image at offset `at` to the copy.
  auto take = [&](size_t at, size_t n) {
    out.resize(at + n);
    return read(from + at, n, out.data() + at);
  };
  if (!take(0, 12)) return false;
  const uint8_t *p = out.data();
  if (std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) return false;
  const size_t end = static_cast<size_t>(Le32(p + 4)) + 8;
  if (end < 12 || end > kMaxWaveImage) return false;
  size_t pos = 12;
  while (pos + 8 <= end) {
    if (!take(pos, 8)) return false;
    const bool data = std::memcmp(out.data() + pos, "data", 4) == 0;
    size_t body = Le32(out.data() + pos + 4);
    if (body > end - pos - 8) return false;
    if (!data) body = std::min(body + (body & 1), end - pos - 8);  // chunks are padded to an even size
    if (!take(pos + 8, body)) return false;
    pos += 8 + body;
    if (data) {
      // The samples are the last thing playback needs: whatever follows
      // them is not read.
      const uint32_t riff = static_cast<uint32_t>(pos - 8);
      for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
      return true;
    }
  }
  out.clear();
  return false;
}

bool ParseWave(const void *image, size_t size, WaveInfo &info) {
  std::memset(&info, 0, sizeof info);
  if (!image || size < 12) return false;
  const auto *p = static_cast<const uint8_t *>(image);
  if (std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) return false;
  size_t end = static_cast<size_t>(Le32(p + 4)) + 8;
  if (end > size) end = size;  // a header that claims more than there is
  bool haveFormat = false;
  size_t pos = 12;
  while (pos + 8 <= end) {
    uint32_t chunkSize = Le32(p + pos + 4);
    size_t body = pos + 8;
    if (chunkSize > end - body) return false;
    if (std::memcmp(p + pos, "fmt ", 4) == 0) {
      if (chunkSize < 16) return false;
      uint16_t format = Le16(p + body);
      info.channels = Le16(p + body + 2);
      info.sampleRate = Le32(p + body + 4);
      info.bitsPerSample = Le16(p + body + 14);
      // 1 is PCM; 0xFFFE (extensible) is accepted when it carries PCM bits.
      if (format != 1 && format != 0xFFFE) return false;
      if (info.channels == 0 || info.channels > 8 || info.sampleRate == 0 || info.sampleRate > 384000)
        return false;
      if (info.bitsPerSample != 8 && info.bitsPerSample != 16) return false;
      haveFormat = true;
    } else if (std::memcmp(p + pos, "data", 4) == 0) {
      if (!haveFormat) return false;
      size_t frame = static_cast<size_t>(info.channels) * (info.bitsPerSample / 8);
      info.data = p + body;
      info.dataSize = chunkSize - chunkSize % frame;
      info.imageSize = end;
      return true;
    }
    // Chunks are padded to an even size.
    pos = body + chunkSize + (chunkSize & 1);
  }
  return false;
}

}  // namespace plat
