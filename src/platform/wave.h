// wave.h -- RIFF/WAVE image parsing for the POSIX sound player (Windows
// hands the image to the system as it stands).
#ifndef VOLNEDA_WAVE_H
#define VOLNEDA_WAVE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat {

struct WaveInfo {
  uint16_t channels;
  uint32_t sampleRate;
  uint16_t bitsPerSample;  // 8 or 16 (PCM only)
  const uint8_t *data;     // the samples, inside the image
  size_t dataSize;         // bytes of samples, whole frames only
  size_t imageSize;        // bytes of the whole RIFF image
};

// The largest RIFF image the memory player takes (its header's size plus 8).
constexpr size_t kMaxWaveImage = size_t(64) << 20;

// Copies n bytes from `from` to `to`; false when that memory cannot be read.
using MemoryReader = bool (*)(const void *from, size_t n, void *to);

// Copies what playback needs of a RIFF WAVE image known only by its address:
// the header, then chunk by chunk up to the end of the data chunk, never
// past the size the header declares (at most kMaxWaveImage) nor past the
// data chunk.  Every read goes through `read`, so that memory that cannot
// be read ends the copy instead of the process.  The copy's RIFF size is
// set to what was copied.  False for anything that is not such an image.
bool CopyWaveImage(const void *image, MemoryReader read, std::vector<uint8_t> &out);

// Parses a PCM WAVE image of size bytes; false for anything else (truncated
// chunks, compressed formats, zero channels or rate, more than 8 channels).
bool ParseWave(const void *image, size_t size, WaveInfo &info);

}  // namespace plat

#endif
