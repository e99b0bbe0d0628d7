/*
 * status_thread.c -- follow a session through its status messages, fetched
 * by a thread of the application's own while the main thread works.
 *
 *   status_thread [READER-LIST [READER]]
 *
 * The rules: DispatcherGetData blocks, so it runs on its own thread, one per
 * reader context.  StartDispatcher comes before any call that posts.  At
 * the end: VOLNEDA_Close, then drain the queue (StopDispatcher discards
 * what the thread has not taken yet), then StopDispatcher (the fetching
 * thread's DispatcherGetData returns 0), then wait for that thread, then
 * VOLNEDA_StopAll.
 *
 * The drain: SetCommTimeOut posts one message of its own (source 24, code
 * -3450) and needs no open reader.  Messages come in posting order, so once
 * the fetching thread has taken that marker it has taken everything posted
 * before it.
 */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L /* pthread, nanosleep */
#endif
#include <stdatomic.h>

#include "example.h"

#if defined(_WIN32)
#include <windows.h>
typedef HANDLE thread_t;
#define THREAD_RESULT DWORD WINAPI
#else
#include <pthread.h>
typedef pthread_t thread_t;
#define THREAD_RESULT void *
#endif

static int messages = 0;
static char last_message[1100] = "(none)";
static atomic_int marker_taken = 0;

static int is_marker(int32_t source, int32_t code) { return source == 24 && code == -3450; }

static THREAD_RESULT fetch_messages(void *argument) {
  VOLNEDA_HANDLE context = argument;
  int32_t level, source, code;
  VOLNEDA_WCHAR text[256];
  char line[1024];
  /* Until StopDispatcher: each call returns one message, in posting order. */
  while (DispatcherGetData(context, &level, &source, &code, text, 256)) {
    if (is_marker(source, code)) {
      atomic_store(&marker_taken, 1);
      continue;
    }
    char tag[16];
    snprintf(tag, sizeof tag, "[%s]", level_name(level));
    printf("  %-13s %-13s %6d  %s\n", tag, source_name(source), (int)code, utf8(text, line, sizeof line));
    fflush(stdout);
    snprintf(last_message, sizeof last_message, "%s: %s", source_name(source), line);
    ++messages;
  }
  return 0;
}

static void run(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *command) {
  int32_t length = 0, tags = 0;
  char text[256];
  int32_t rc = VOLNEDA_Command(context, command, &length, &tags);
  printf("%s: %d (%d tags)\n", utf8(command, text, sizeof text), (int)rc, (int)tags);
}

int main(int argc, char **argv) {
  VOLNEDA_HANDLE context = NULL;
  VOLNEDA_WCHAR path[260], name[32];
  char text[128];
  widen(argc > 1 ? argv[1] : "./rfconfig.ini", path, 260);

  VOLNEDA_StartAll(&context, path);
  StartDispatcher(context);
  thread_t thread;
#if defined(_WIN32)
  thread = CreateThread(NULL, 0, fetch_messages, context, 0, NULL);
#else
  pthread_create(&thread, NULL, fetch_messages, context);
#endif

  int32_t rc = argc > 2 ? (widen(argv[2], name, 32), 0) : VOLNEDA_FindFirstReader(context, name, NULL);
  if (rc == 0) rc = VOLNEDA_Open(context, name);
  printf("open %s: %d\n", utf8(name, text, sizeof text), (int)rc);
  if (rc == 0) {
    run(context, u"identify");
    run(context, u"read field(0,7) where swtt=0123"); /* field 7: a warning, -3302 */
    run(context, u"write everything");                 /* not a command: -3201 */
    VOLNEDA_WCHAR value[64];
    rc = VOLNEDA_GetAttribute(context, u"RFID_SWTT_FILE_NAME", value);
    printf("template file: %s (%d)\n", utf8(value, text, sizeof text), (int)rc);
    VOLNEDA_Close(context);
  }

  /* Drain: post the marker and wait until the thread has taken it.  The wait
   * is bounded: with 99 messages unread the queue takes no more, and the
   * marker would be dropped. */
  SetCommTimeOut(context, 0);
  for (int waited = 0; waited < 2000 && !atomic_load(&marker_taken); waited += 5) {
#if defined(_WIN32)
    Sleep(5);
#else
    struct timespec pause = {0, 5 * 1000 * 1000};
    nanosleep(&pause, NULL);
#endif
  }
  StopDispatcher(context);
#if defined(_WIN32)
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
#else
  pthread_join(thread, NULL);
#endif
  VOLNEDA_StopAll(&context);
  printf("%d status messages, the last from %s\n", messages, last_message);
  return rc == 0 && messages > 0 ? 0 : 1;
}
