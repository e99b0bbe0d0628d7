// The platform layer on Win32: the kernel objects, code pages, clock, files
// and sound of the system itself.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/platform.h"
#include "platform/wave.h"

#include <mmsystem.h>

namespace plat {

static const wchar_t *W(const char16_t *s) { return reinterpret_cast<const wchar_t *>(s); }

Handle EventCreate(bool manualReset, bool initiallySignalled, const char16_t *name) {
  return CreateEventW(nullptr, manualReset ? TRUE : FALSE, initiallySignalled ? TRUE : FALSE,
                      name && *name ? W(name) : nullptr);
}
bool EventSet(Handle event) { return event && SetEvent(event) != 0; }
bool EventReset(Handle event) { return event && ResetEvent(event) != 0; }

Handle SemaphoreCreate(long initialCount, long maximumCount) {
  return CreateSemaphoreW(nullptr, initialCount, maximumCount, nullptr);
}
bool SemaphoreRelease(Handle semaphore, long count) {
  return semaphore && ReleaseSemaphore(semaphore, count, nullptr) != 0;
}

void HandleClose(Handle handle) {
  if (handle) CloseHandle(handle);
}

Handle HandleDuplicate(Handle handle) {
  HANDLE copy = nullptr;
  if (!handle || !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                                  DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

int WaitAny(const Handle *handles, int count, uint32_t timeoutMs) {
  if (!handles || count <= 0 || count > MAXIMUM_WAIT_OBJECTS) return kWaitFailed;
  // WaitForMultipleObjects reports the lowest signalled index and consumes
  // only that object: exactly the order rule the callers rely on.
  DWORD r = WaitForMultipleObjects(static_cast<DWORD>(count), const_cast<HANDLE *>(handles), FALSE,
                                   timeoutMs == kInfinite ? INFINITE : timeoutMs);
  if (r < WAIT_OBJECT_0 + static_cast<DWORD>(count)) return static_cast<int>(r - WAIT_OBJECT_0);
  if (r == WAIT_TIMEOUT) return kWaitTimeout;
  return kWaitFailed;
}

int WaitOne(Handle handle, uint32_t timeoutMs) {
  if (!handle) return kWaitFailed;
  DWORD r = WaitForSingleObject(handle, timeoutMs == kInfinite ? INFINITE : timeoutMs);
  if (r == WAIT_OBJECT_0) return 0;
  if (r == WAIT_TIMEOUT) return kWaitTimeout;
  return kWaitFailed;
}

int WaitersOn(Handle) { return -1; }  // Win32 does not tell

void LockInit(Lock *lock) { InitializeCriticalSection(&lock->cs); }
void LockDelete(Lock *lock) { DeleteCriticalSection(&lock->cs); }
void LockEnter(Lock *lock) { EnterCriticalSection(&lock->cs); }
void LockLeave(Lock *lock) { LeaveCriticalSection(&lock->cs); }

namespace {
struct ThreadStartBlock {
  ThreadProc proc;
  void *arg;
};
DWORD WINAPI ThreadEntry(LPVOID p) {
  ThreadStartBlock block = *static_cast<ThreadStartBlock *>(p);
  delete static_cast<ThreadStartBlock *>(p);
  return block.proc(block.arg);
}
}  // namespace

// The system signals a thread's handle once the thread has terminated, so
// a wait on it already returns only after the thread is gone.
Handle ThreadStart(ThreadProc proc, void *arg) {
  if (!proc) return nullptr;
  auto *block = new ThreadStartBlock{proc, arg};
  HANDLE h = CreateThread(nullptr, 0, ThreadEntry, block, 0, nullptr);
  if (!h) delete block;
  return h;
}

// ---- code pages ---------------------------------------------------------

std::u16string Utf8ToWideReplacing(std::string_view text);  // codepage.cpp

// 0 units (and false) when the system refuses the text under the flags.
static bool MultiToWide(UINT codePage, DWORD flags, std::string_view text, std::u16string &out) {
  out.clear();
  if (text.empty()) return true;
  int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return false;
  out.assign(n, u'\0');
  n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                          reinterpret_cast<wchar_t *>(&out[0]), n);
  out.resize(n > 0 ? n : 0);
  return n > 0;
}

static std::string WideToMulti(UINT codePage, DWORD flags, std::u16string_view text) {
  std::string out;
  if (text.empty()) return out;
  const wchar_t *w = reinterpret_cast<const wchar_t *>(text.data());
  int n = WideCharToMultiByte(codePage, flags, w, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return out;
  out.assign(n, '\0');
  n = WideCharToMultiByte(codePage, flags, w, static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  out.resize(n > 0 ? n : 0);
  return out;
}

// Valid UTF-8 goes through the system; invalid text is decoded by the
// library's own rule, because systems differ in how many U+FFFD they give
// for one bad sequence.
std::u16string Utf8ToWide(std::string_view text) {
  std::u16string out;
  if (MultiToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, out)) return out;
  return Utf8ToWideReplacing(text);
}

// A lone surrogate becomes U+FFFD (EF BF BD), as the system does it.
std::string WideToUtf8(std::u16string_view text) { return WideToMulti(CP_UTF8, 0, text); }

// The system code page is the process's ANSI code page.  A character it
// has no byte for becomes one '?', never a look-alike letter (no best fit),
// and a character beyond the 16-bit range one '?' rather than two: none of
// the ANSI code pages holds such characters.
std::u16string AnsiToWide(std::string_view text) {
  std::u16string out;
  MultiToWide(CP_ACP, 0, text, out);
  return out;
}

std::string WideToAnsi(std::u16string_view text) {
  std::u16string units;
  units.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      units.push_back(u'?');
      ++i;
    } else {
      units.push_back(u);
    }
  }
  return WideToMulti(CP_ACP, WC_NO_BEST_FIT_CHARS, units);
}

PathParts SplitPathPortable(std::string_view path);  // codepage.cpp

PathParts SplitPath(std::string_view path) {
  // _splitpath knows the lead bytes of a double-byte system code page, but
  // gives nothing at all for a path of _MAX_PATH bytes or more: such paths
  // are split by the library's own rule.  Each part is at most as long as
  // the whole path, so buffers of that size cannot overflow.
  if (path.size() >= _MAX_PATH) return SplitPathPortable(path);
  std::string whole(path);
  size_t n = whole.size() + 1;
  std::vector<char> drive(n > 3 ? n : 3), dir(n), fname(n), ext(n);
  _splitpath(whole.c_str(), drive.data(), dir.data(), fname.data(), ext.data());
  return PathParts{drive.data(), dir.data(), fname.data(), ext.data()};
}

bool GetEnv(const char *name, std::string &value) {
  if (!name) return false;
  DWORD n = GetEnvironmentVariableA(name, nullptr, 0);
  if (n == 0) return false;
  std::vector<char> buf(n + 1);
  DWORD got = GetEnvironmentVariableA(name, buf.data(), n + 1);
  if (got == 0 || got > n) return false;
  value.assign(buf.data(), got);
  return true;
}

LocalTime GetLocalTime() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

// Only regular files of at most kMaxFileBytes are read: a named pipe or a
// device reads as a file that cannot be read.
static bool ReadableFile(const std::filesystem::path &path) {
  std::error_code ec;
  std::filesystem::file_status st = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(st)) return false;
  uintmax_t size = std::filesystem::file_size(path, ec);
  return !ec && size <= kMaxFileBytes;
}

static bool ReadHandle(FILE *f, std::string &content) {
  content.clear();
  if (!f) return false;
  char buf[65536];
  size_t n;
  bool ok = true;
  while (ok && (n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    if (content.size() + n > kMaxFileBytes) ok = false;
    else content.append(buf, n);
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  if (!ok) content.clear();
  return ok;
}

bool ReadWholeFile(const std::string &path, std::string &content) {
  // The path is in the system code page, which AnsiToWide reads as Windows does.
  return ReadWholeFileW(AnsiToWide(path), content);
}

bool ReadWholeFileW(std::u16string_view path, std::string &content) {
  std::wstring p(path.begin(), path.end());
  content.clear();
  if (!ReadableFile(std::filesystem::path(p))) return false;
  return ReadHandle(_wfopen(p.c_str(), L"rb"), content);
}

void PlaySoundFile(std::u16string_view fileName) {
  std::u16string name(fileName);
  PlaySoundW(reinterpret_cast<const wchar_t *>(name.c_str()), nullptr, SND_FILENAME | SND_ASYNC);
}

namespace {
bool ReadOwnMemory(const void *from, size_t n, void *to) {
  SIZE_T got = 0;
  return ReadProcessMemory(GetCurrentProcess(), from, to, n, &got) && got == n;
}
}  // namespace

void PlaySoundMemory(const void *waveImage) {
  // The system plays from memory while the call has long returned: it gets
  // a copy of the image, bounded by its chunks and read so that memory that
  // cannot be read fails the copy rather than the process.  The copy of the
  // sound before is kept until the new one has replaced it (a new sound
  // stops the one playing).
  static Lock *lock = [] {
    auto *l = new Lock;  // never deleted: a player may run while the process exits
    LockInit(l);
    return l;
  }();
  static std::vector<uint8_t> *playing = new std::vector<uint8_t>;
  std::vector<uint8_t> image;
  if (!CopyWaveImage(waveImage, ReadOwnMemory, image)) return;
  LockEnter(lock);
  PlaySoundW(reinterpret_cast<const wchar_t *>(image.data()), nullptr, SND_MEMORY | SND_ASYNC);
  playing->swap(image);
  LockLeave(lock);
}

}  // namespace plat
