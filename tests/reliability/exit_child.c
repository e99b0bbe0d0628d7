/* A program that ends while a reader context is still alive; it must end
 * like any other program, whatever state the context is in.
 * Usage: exit_child started|dispatcher|open|fetching return|exit READERLIST
 * The simulated driver takes its tag field from TAGDRV_FIELD. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "volneda.h"

#if defined(_WIN32)
#include <windows.h>
static DWORD WINAPI Fetch(LPVOID context)
#else
#include <pthread.h>
#include <unistd.h>
static void *Fetch(void *context)
#endif
{
  int32_t level, source, code;
  VOLNEDA_WCHAR text[128];
  /* The usual fetch loop: it is blocked in the library when the program ends. */
  while (DispatcherGetData(context, &level, &source, &code, text, 128)) {
  }
  return 0;
}

static const VOLNEDA_WCHAR *Wide(VOLNEDA_WCHAR *out, const char *text) {
  size_t i = 0;
  do out[i] = (unsigned char)text[i];
  while (text[i++]);
  return out;
}

int main(int argc, char **argv) {
  static const char *states[] = {"started", "dispatcher", "open", "fetching"};
  VOLNEDA_HANDLE context = NULL;
  VOLNEDA_WCHAR text[260];
  int state = -1, i;
  for (i = 0; i < 4 && argc == 4; ++i)
    if (strcmp(argv[1], states[i]) == 0) state = i;
  if (state < 0 || strlen(argv[3]) >= 260) {
    fprintf(stderr, "usage: exit_child started|dispatcher|open|fetching return|exit READERLIST\n");
    return 2;
  }
  VOLNEDA_StartAll(&context, Wide(text, argv[3]));
  if (state >= 1) StartDispatcher(context);
  if (state >= 2 && VOLNEDA_Open(context, Wide(text, "DOCK1")) != 0) {
    fprintf(stderr, "exit_child: the reader does not open\n");
    return 3;
  }
  /* A moment for the watcher thread, and the fetch loop, to reach their waits. */
#if defined(_WIN32)
  if (state >= 3) CloseHandle(CreateThread(NULL, 0, Fetch, context, 0, NULL));
  Sleep(200);
#else
  pthread_t fetcher;
  if (state >= 3) pthread_create(&fetcher, NULL, Fetch, context);
  usleep(200000);
#endif
  printf("ending (%s, %s)\n", argv[1], argv[2]);
  fflush(stdout);
  if (strcmp(argv[2], "exit") == 0) exit(0);
  return 0;
}
