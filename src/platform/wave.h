// wave.h -- RIFF/WAVE image parsing for the POSIX sound player (Windows
// hands the image to the system as it stands).
#ifndef VOLNEDA_WAVE_H
#define VOLNEDA_WAVE_H

#include <cstddef>
#include <cstdint>

namespace plat {

struct WaveInfo {
  uint16_t channels;
  uint32_t sampleRate;
  uint16_t bitsPerSample;  // 8 or 16 (PCM only)
  const uint8_t *data;     // the samples, inside the image
  size_t dataSize;         // bytes of samples, whole frames only
  size_t imageSize;        // bytes of the whole RIFF image
};

// Total size of a RIFF image from its header, 0 when the header is not
// "RIFF....WAVE".  Lets a caller that holds only a pointer copy the image.
size_t WaveImageSize(const void *image);

// Parses a PCM WAVE image of size bytes; false for anything else (truncated
// chunks, compressed formats, zero channels or rate, more than 8 channels).
bool ParseWave(const void *image, size_t size, WaveInfo &info);

}  // namespace plat

#endif
