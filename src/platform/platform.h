// platform.h -- the operating system services the library uses, behind one
// interface with a POSIX and a Win32 implementation.
//
// Waitable objects (events, semaphores, threads) are opaque handles in the
// Win32 manner: every Create/Start returns a handle that must be closed once
// with HandleClose.  A named event is one process-wide object: creating it
// again returns a handle to the same object (the initial state given then is
// ignored) and the object lives until its last handle is closed.
#ifndef VOLNEDA_PLATFORM_H
#define VOLNEDA_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace plat {

using Handle = void *;

constexpr uint32_t kInfinite = 0xFFFFFFFFu;
constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;

// ---- events, semaphores, waits --------------------------------------------

// name may be null (unnamed).  Returns null on failure.
Handle EventCreate(bool manualReset, bool initiallySignalled, const char16_t *name);
bool EventSet(Handle event);
bool EventReset(Handle event);

Handle SemaphoreCreate(long initialCount, long maximumCount);
// Fails (false) when the count would pass the maximum.
bool SemaphoreRelease(Handle semaphore, long count);

// Closes one handle of an event, semaphore or thread.  Null is ignored.
void HandleClose(Handle handle);

// Another handle to the same object, to be closed on its own: the object
// lives while either is open.  Null for null, or when the system refuses.
Handle HandleDuplicate(Handle handle);

// 0 when the object was signalled (and consumed, for an auto-reset event or
// a semaphore), kWaitTimeout, or kWaitFailed.
int WaitOne(Handle handle, uint32_t timeoutMs);

// Waits for the first of count objects to be signalled.  When several are
// signalled at once the one earliest in the list wins and only it is
// consumed.  Returns its index, kWaitTimeout or kWaitFailed.
int WaitAny(const Handle *handles, int count, uint32_t timeoutMs);

// Number of threads blocked on the object now, for tests that must know a
// thread has reached its wait; -1 where the system does not tell.
int WaitersOn(Handle handle);

// ---- lock -------------------------------------------------------------------

// A plain C record so that it can live in a zero-filled malloc'ed block;
// LockInit must run before use and LockDelete after.
struct Lock {
#if defined(_WIN32)
  CRITICAL_SECTION cs;
#else
  pthread_mutex_t mutex;
#endif
};
void LockInit(Lock *lock);
void LockDelete(Lock *lock);
void LockEnter(Lock *lock);
void LockLeave(Lock *lock);

// ---- threads ----------------------------------------------------------------

using ThreadProc = uint32_t (*)(void *arg);
// Starts a thread at once with the default stack size.  The handle is a
// waitable object that becomes signalled when the thread has ended: a wait
// on it returns only once the thread function has returned and the thread
// is gone, so that nothing of it runs any more (the library may then be
// unloaded).
Handle ThreadStart(ThreadProc proc, void *arg);

// ---- code pages ---------------------------------------------------------------

// The system code page: CP_ACP on Windows, Windows-1252 on POSIX.  The POSIX
// mapping is total and byte-preserving: every byte maps to one UTF-16 unit
// and back (the five bytes 1252 leaves undefined map to U+0081, U+008D,
// U+008F, U+0090 and U+009D, as Windows maps them).  Characters with no
// byte become '?'.
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);
std::u16string Utf8ToWide(std::string_view text);  // bad sequences give U+FFFD
std::string WideToUtf8(std::u16string_view text);

// Conversions into fixed-size fields: at most size - 1 units are written,
// never a part of a character, and the field is always terminated (nothing
// at all is written when size is 0).  Return the number of units written
// without the terminator.
size_t WideToAnsiField(std::u16string_view text, char *field, size_t size);
size_t AnsiToWideField(std::string_view text, char16_t *field, size_t size);
// The same for a terminated text (null: empty), read no further than the
// field needs.
size_t AnsiToWideField(const char *text, char16_t *field, size_t size);
size_t WideToWideField(std::u16string_view text, char16_t *field, size_t size);
size_t AnsiToAnsiField(std::string_view text, char *field, size_t size);

// ---- environment, clock, files, paths -----------------------------------------

// The variable's value in the system code page; false when it is not set.
bool GetEnv(const char *name, std::string &value);

struct LocalTime {
  int year, month, day, hour, minute, second, milliseconds;
};
LocalTime GetLocalTime();

// Reads a whole file in binary.  The path is in the system code page (on
// POSIX it is turned into UTF-8, the file system's encoding, before use).
// Only a regular file of at most kMaxFileBytes is read: a named pipe, a
// device or a larger file fails at once, as a file that cannot be read
// does, and leaves content empty.
constexpr size_t kMaxFileBytes = size_t{16} << 20;
bool ReadWholeFile(const std::string &path, std::string &content);
bool ReadWholeFileW(std::u16string_view path, std::string &content);

// Splits a path the way Windows' _splitpath does: drive "C:", directory up to
// and including the last separator, file name, extension from the last dot
// of the file name.  Both '\' and '/' separate directories; POSIX has no
// drive.
struct PathParts {
  std::string drive, dir, fname, ext;
};
PathParts SplitPath(std::string_view path);

// ---- sound ------------------------------------------------------------------

// Asynchronous playback; a new sound stops the one playing.  When sound is
// not available (no audio library, no device, not a PCM WAVE image) nothing
// is played and nothing is reported.
void PlaySoundFile(std::u16string_view fileName);
void PlaySoundMemory(const void *waveImage);

}  // namespace plat

#endif
