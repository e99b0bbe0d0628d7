/*
 * example.h -- small helpers shared by the C examples: UTF-16 text in and
 * out, the names of status levels and sources, and opening the reader.
 *
 * The library's text is UTF-16 (VOLNEDA_WCHAR).  The examples write their
 * constant texts as u"..." literals, which are UTF-16 in C11 on every
 * system (on Windows L"..." works as well), and convert to UTF-8 only to
 * print.
 */
#ifndef VOLNEDA_EXAMPLE_H
#define VOLNEDA_EXAMPLE_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <volneda.h>

/* UTF-16 -> UTF-8 into out (size bytes, always terminated). */
static inline const char *utf8(const VOLNEDA_WCHAR *in, char *out, size_t size) {
  size_t n = 0;
  for (; in && *in && n + 5 < size; ++in) {
    unsigned long c = *in;
    if (c >= 0xD800 && c <= 0xDBFF && in[1] >= 0xDC00 && in[1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (*++in - 0xDC00);
    if (c < 0x80) {
      out[n++] = (char)c;
    } else if (c < 0x800) {
      out[n++] = (char)(0xC0 | (c >> 6));
      out[n++] = (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[n++] = (char)(0xE0 | (c >> 12));
      out[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
      out[n++] = (char)(0x80 | (c & 0x3F));
    } else {
      out[n++] = (char)(0xF0 | (c >> 18));
      out[n++] = (char)(0x80 | ((c >> 12) & 0x3F));
      out[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
      out[n++] = (char)(0x80 | (c & 0x3F));
    }
  }
  out[n] = 0;
  return out;
}

/* ASCII (command-line arguments, file names) -> UTF-16. */
static inline void widen(const char *in, VOLNEDA_WCHAR *out, size_t size) {
  size_t n = 0;
  for (; in && *in && n + 1 < size; ++in) out[n++] = (VOLNEDA_WCHAR)(unsigned char)*in;
  out[n] = 0;
}

static inline const char *level_name(int level) {
  static const char *names[] = {"information", "warning", "error", "critical"};
  return level >= 0 && level <= 3 ? names[level] : "?";
}

static inline const char *source_name(int source) {
  static const char *names[] = {"?",    "request-check", "command-parse", "discovery", "template",
                                "open", "close",         "identify",      "read",      "write",
                                "write-tag", "set-attribute", "get-attribute", "scan-trigger"};
  if (source == 24) return "comm-timeout";
  return source >= 1 && source <= 13 ? names[source] : "?";
}

/* Starts a reader context on the reader list (argv[1], default
 * ./rfconfig.ini) and opens the reader argv[2], or the list's first reader.
 * Returns 0, or the failing result code. */
static inline int start_and_open(int argc, char **argv, VOLNEDA_HANDLE *context) {
  VOLNEDA_WCHAR path[260], name[32];
  char text[128];
  /* The reader list path keeps its directory ("./"): a bare file name
   * would make the library look for the tag template at the root. */
  widen(argc > 1 ? argv[1] : "./rfconfig.ini", path, 260);
  VOLNEDA_StartAll(context, path);
  StartDispatcher(*context);
  int32_t rc = 0;
  if (argc > 2) {
    widen(argv[2], name, 32);
  } else if ((rc = VOLNEDA_FindFirstReader(*context, name, NULL)) != 0) {
    fprintf(stderr, "no reader in %s: %d\n", utf8(path, text, sizeof text), (int)rc);
    return rc;
  }
  rc = VOLNEDA_Open(*context, name);
  printf("open %s: %d\n", utf8(name, text, sizeof text), (int)rc);
  return rc;
}

/* Closes the reader, stops the dispatcher and frees the context, in this
 * order. */
static inline void close_and_stop(VOLNEDA_HANDLE *context) {
  VOLNEDA_Close(*context);
  StopDispatcher(*context);
  VOLNEDA_StopAll(context);
}

/* The last result document, in a buffer the caller frees. */
static inline VOLNEDA_WCHAR *result_document(VOLNEDA_HANDLE context, int32_t length) {
  VOLNEDA_WCHAR *text = (VOLNEDA_WCHAR *)calloc((size_t)length + 1, sizeof *text);
  if (text) VOLNEDA_GetXMLData(context, text, length + 1);
  return text;
}

#endif
