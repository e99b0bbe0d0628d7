/*
 * write_readback.c -- build a WriteTags request with the XMLreader write
 * functions, write it to one tag, and read the fields back to check them.
 *
 *   write_readback [READER-LIST [READER [TAG-ID]]]
 */
#include "example.h"

static int same_text(const VOLNEDA_WCHAR *a, const VOLNEDA_WCHAR *b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

/* The value of the Field element named name, trailing blanks removed. */
static void field_value(const VOLNEDA_WCHAR *document, const VOLNEDA_WCHAR *name, char *out, size_t size) {
  XMLREADER_HANDLE doc = NULL;
  VOLNEDA_WCHAR value[520];
  out[0] = 0;
  XMLreader_OpenDoc(&doc, document);
  if (XMLreader_GetElement(doc) == 2 && XMLreader_FindChildElement(doc, u"Tag")) {
    XMLreader_StepIntoElement(doc);
    while (XMLreader_FindChildElement(doc, u"Field")) {
      value[0] = 0;
      XMLreader_GetChildAttribute(doc, u"Name", value, 520);
      if (!same_text(value, name)) continue;
      XMLreader_GetChildData(doc, value, 520);
      utf8(value, out, size);
      for (size_t n = strlen(out); n > 0 && out[n - 1] == ' '; --n) out[n - 1] = 0;
      break;
    }
  }
  XMLreader_CloseDoc(doc);
}

int main(int argc, char **argv) {
  VOLNEDA_HANDLE context = NULL;
  VOLNEDA_WCHAR id[17], command[256];
  char text[600], line[256];

  int32_t rc = start_and_open(argc, argv, &context);
  if (rc != 0) {
    close_and_stop(&context);
    return 1;
  }
  const char *tag = argc > 3 ? argv[3] : "0123456789ABCDEF";
  widen(tag, id, 17);

  /* <WriteTags><Tag ID="..."><SWTTField EntryNr="2">7</SWTTField>
   * <MEMField MemStart="48" MemLen="8" MemType="String">HELLO</MEMField>
   * </Tag></WriteTags>, one element a line, lines ended by CR LF. */
  XMLREADER_HANDLE request = NULL;
  XMLreader_OpenDoc(&request, NULL);
  XMLreader_WriteXMLHeader(request);
  XMLreader_WriteXMLAddTag(request, id);
  XMLreader_WriteXMLAddSWTTFieldInfo(request, 2, u"7");      /* template field 2: Count */
  XMLreader_WriteXMLAddMEMFieldInfo(request, 48, 8, 's', u"HELLO"); /* 8 bytes at 48, padded */
  int32_t length = GetCurrentDocLen(request);
  VOLNEDA_WCHAR *body = (VOLNEDA_WCHAR *)calloc((size_t)length + 1, sizeof *body);
  GetCurrentDoc(request, body, length + 1); /* the text and its terminator */
  XMLreader_CloseDoc(request);
  printf("%s", utf8(body, text, sizeof text));
  rc = VOLNEDA_Write(context, body);
  free(body);
  printf("write: %d\n", (int)rc);

  int ok = 0;
  if (rc == 0) {
    int32_t tags = 0;
    char count[64], note[64];
    snprintf(line, sizeof line, "read field(2) mem(note,48,8,s) where tagid=%s", tag);
    widen(line, command, 256);
    rc = VOLNEDA_Command(context, command, &length, &tags);
    VOLNEDA_WCHAR *document = rc == 0 ? result_document(context, length) : NULL;
    if (document) {
      field_value(document, u"Count", count, sizeof count);
      field_value(document, u"note", note, sizeof note);
      printf("read back: Count=%s note=%s\n", count, note);
      ok = strcmp(count, "7") == 0 && strcmp(note, "HELLO") == 0;
      free(document);
    }
  }
  close_and_stop(&context);
  puts(ok ? "the tag holds what was written" : "the tag does not hold what was written");
  return ok ? 0 : 1;
}
