/* Loads and unloads the library over and over, a context started and
 * stopped in between, in several processes at once: once StopAll has
 * returned no code of the library may run, or the unload pulls it away.
 * Usage: unload_child LIBRARY [PROCESSES [CYCLES]] */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "volneda.h"

static int Cycles(const char *library, int cycles) {
  static const VOLNEDA_WCHAR empty[1] = {0};
  int unloaded = 0, i;
  for (i = 0; i < cycles; ++i) {
    void *lib = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    VOLNEDA_BOOL (*start)(VOLNEDA_HANDLE *, const VOLNEDA_WCHAR *);
    void (*stop)(VOLNEDA_HANDLE *);
    VOLNEDA_HANDLE context = NULL;
    if (!lib) return fprintf(stderr, "%s\n", dlerror()), 1;
    *(void **)&start = dlsym(lib, "VOLNEDA_StartAll");
    *(void **)&stop = dlsym(lib, "VOLNEDA_StopAll");
    start(&context, empty);
    stop(&context);
    dlclose(lib);
    lib = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    if (lib) dlclose(lib);
    else ++unloaded;
  }
  /* A library that never leaves memory would prove nothing here. */
  if (unloaded == 0) return fprintf(stderr, "the library is never unloaded\n"), 1;
  return 0;
}

int main(int argc, char **argv) {
  int processes = argc > 2 ? atoi(argv[2]) : 4, cycles = argc > 3 ? atoi(argv[3]) : 300;
  int failed = 0, i, status;
  if (argc < 2) return fprintf(stderr, "usage: unload_child LIBRARY [PROCESSES [CYCLES]]\n"), 2;
  for (i = 0; i < processes; ++i)
    if (fork() == 0) exit(Cycles(argv[1], cycles));
  for (i = 0; i < processes; ++i) {
    if (wait(&status) < 0) return 1;
    if (WIFSIGNALED(status)) fprintf(stderr, "a process died of signal %d\n", WTERMSIG(status));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
  }
  printf("%d of %d processes of %d cycles failed\n", failed, processes, cycles);
  return failed != 0;
}
