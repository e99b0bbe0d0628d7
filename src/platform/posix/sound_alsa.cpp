// Asynchronous WAVE playback on POSIX through ALSA's libasound, loaded at run
// time so that the library has no link-time dependency on it.  A machine
// without the library or without a device simply stays silent.
#include <dlfcn.h>
#if defined(__linux__)
#include <sys/uio.h>
#include <unistd.h>
#endif

#include <cerrno>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/wave.h"

namespace plat {
namespace {

// The few libasound entry points used, with their C signatures.
struct Alsa {
  int (*open)(void **pcm, const char *name, int stream, int mode);
  int (*setParams)(void *pcm, int format, int access, unsigned channels, unsigned rate, int softResample,
                   unsigned latencyUs);
  long (*writei)(void *pcm, const void *buffer, unsigned long frames);
  int (*recover)(void *pcm, int err, int silent);
  int (*nonblock)(void *pcm, int nonblock);
  int (*drain)(void *pcm);
  int (*drop)(void *pcm);
  int (*close)(void *pcm);
};

constexpr int kStreamPlayback = 0;
constexpr int kModeNonblock = 1;
constexpr int kFormatU8 = 1;
constexpr int kFormatS16LE = 2;
constexpr int kAccessRwInterleaved = 3;

const Alsa *LoadAlsa() {
  static std::once_flag once;
  static Alsa alsa;
  static bool ok = false;
  std::call_once(once, [] {
    void *lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return;
    auto sym = [lib](const char *name) { return dlsym(lib, name); };
    alsa.open = reinterpret_cast<decltype(alsa.open)>(sym("snd_pcm_open"));
    alsa.setParams = reinterpret_cast<decltype(alsa.setParams)>(sym("snd_pcm_set_params"));
    alsa.writei = reinterpret_cast<decltype(alsa.writei)>(sym("snd_pcm_writei"));
    alsa.recover = reinterpret_cast<decltype(alsa.recover)>(sym("snd_pcm_recover"));
    alsa.nonblock = reinterpret_cast<decltype(alsa.nonblock)>(sym("snd_pcm_nonblock"));
    alsa.drain = reinterpret_cast<decltype(alsa.drain)>(sym("snd_pcm_drain"));
    alsa.drop = reinterpret_cast<decltype(alsa.drop)>(sym("snd_pcm_drop"));
    alsa.close = reinterpret_cast<decltype(alsa.close)>(sym("snd_pcm_close"));
    ok = alsa.open && alsa.setParams && alsa.writei && alsa.recover && alsa.nonblock && alsa.drain &&
         alsa.drop && alsa.close;
  });
  return ok ? &alsa : nullptr;
}

// Each new sound takes a new generation; a player whose generation is no
// longer current stops at its next chunk, as a new PlaySound stops the old.
std::atomic<unsigned> g_generation{0};

void Play(std::shared_ptr<std::vector<uint8_t>> image, unsigned generation) {
  WaveInfo info;
  if (!ParseWave(image->data(), image->size(), info)) return;
  const Alsa *alsa = LoadAlsa();
  if (!alsa) return;
  void *pcm = nullptr;
  // Opened non-blocking so that a busy device fails at once instead of
  // holding the player thread.
  if (alsa->open(&pcm, "default", kStreamPlayback, kModeNonblock) < 0 || !pcm) return;
  alsa->nonblock(pcm, 0);
  if (alsa->setParams(pcm, info.bitsPerSample == 8 ? kFormatU8 : kFormatS16LE, kAccessRwInterleaved,
                      info.channels, info.sampleRate, 1, 200000) < 0) {
    alsa->close(pcm);
    return;
  }
  const size_t frameBytes = static_cast<size_t>(info.channels) * (info.bitsPerSample / 8);
  const size_t chunkFrames = info.sampleRate / 20 ? info.sampleRate / 20 : 1;  // ~50 ms
  size_t frames = info.dataSize / frameBytes, done = 0;
  bool stopped = false;
  while (done < frames) {
    if (g_generation.load() != generation) {
      stopped = true;
      break;
    }
    size_t n = frames - done < chunkFrames ? frames - done : chunkFrames;
    long w = alsa->writei(pcm, info.data + done * frameBytes, n);
    if (w < 0) {
      if (alsa->recover(pcm, static_cast<int>(w), 1) < 0) break;
      continue;
    }
    done += static_cast<size_t>(w);
  }
  if (stopped) alsa->drop(pcm);
  else alsa->drain(pcm);
  alsa->close(pcm);
}

// A player runs the library's code for as long as its sound lasts, and
// nothing waits for it to end: once a sound has been played the library
// stays loaded until the process ends, so that unloading it can never take
// the code from under a player.
void KeepLoaded() {
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&KeepLoaded), &info) && info.dli_fname)
      dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  });
}

bool ReadOwnMemory(const void *from, size_t n, void *to) {
  if (n == 0) return true;
#if defined(__linux__)
  iovec local{to, n}, remote{const_cast<void *>(from), n};
  ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
  if (got >= 0) return static_cast<size_t>(got) == n;
  // EFAULT: not readable.  A system that refuses the call altogether
  // (a sandbox filter) gets the plain copy, as the image's owner promised.
  if (errno == EFAULT) return false;
#endif
  std::memcpy(to, from, n);
  return true;
}

void Start(std::vector<uint8_t> bytes) {
  WaveInfo info;
  unsigned generation = ++g_generation;
  if (!ParseWave(bytes.data(), bytes.size(), info)) return;  // not playable: silence
  KeepLoaded();
  auto image = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
  try {
    std::thread(Play, image, generation).detach();
  } catch (...) {
  }
}

}  // namespace

void PlaySoundFile(std::u16string_view fileName) {
  std::string content;
  if (fileName.empty() || !ReadWholeFileW(fileName, content)) return;
  Start(std::vector<uint8_t>(content.begin(), content.end()));
}

void PlaySoundMemory(const void *waveImage) {
  // The image is copied: the caller may free it as soon as the call returns.
  // Only its address is known, so the copy reads through the kernel, which
  // reports memory that cannot be read instead of faulting: a truncated
  // image whose header claims more than is mapped is silence, not a crash.
  std::vector<uint8_t> image;
  if (CopyWaveImage(waveImage, ReadOwnMemory, image)) Start(std::move(image));
}

}  // namespace plat
