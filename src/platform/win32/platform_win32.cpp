// The platform layer on Win32: the kernel objects, code pages, clock, files
// and sound of the system itself.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"

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

Handle ThreadStart(ThreadProc proc, void *arg) {
  if (!proc) return nullptr;
  auto *block = new ThreadStartBlock{proc, arg};
  HANDLE h = CreateThread(nullptr, 0, ThreadEntry, block, 0, nullptr);
  if (!h) delete block;
  return h;
}

std::u16string AnsiToWide(std::string_view text) {
  if (text.empty()) return std::u16string();
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string out(n > 0 ? n : 0, u'\0');
  if (n > 0)
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<wchar_t *>(&out[0]), n);
  return out;
}

std::string WideToAnsi(std::u16string_view text) {
  if (text.empty()) return std::string();
  const wchar_t *w = reinterpret_cast<const wchar_t *>(text.data());
  int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
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

static bool ReadHandle(FILE *f, std::string &content) {
  content.clear();
  if (!f) return false;
  char buf[65536];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  if (!ok) content.clear();
  return ok;
}

bool ReadWholeFile(const std::string &path, std::string &content) {
  return ReadHandle(std::fopen(path.c_str(), "rb"), content);
}

bool ReadWholeFileW(std::u16string_view path, std::string &content) {
  std::u16string p(path);
  return ReadHandle(_wfopen(reinterpret_cast<const wchar_t *>(p.c_str()), L"rb"), content);
}

void PlaySoundFile(std::u16string_view fileName) {
  std::u16string name(fileName);
  PlaySoundW(reinterpret_cast<const wchar_t *>(name.c_str()), nullptr, SND_FILENAME | SND_ASYNC);
}

void PlaySoundMemory(const void *waveImage) {
  PlaySoundW(static_cast<const wchar_t *>(waveImage), nullptr, SND_MEMORY | SND_ASYNC);
}

}  // namespace plat
