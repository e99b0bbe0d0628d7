/*
 * inventory.c -- list the readers, open one and identify the tags in its
 * field: the IdentifyTags document walked with the XMLreader functions.
 *
 *   inventory [READER-LIST [READER]]     (default ./rfconfig.ini, first reader)
 */
#include "example.h"

int main(int argc, char **argv) {
  VOLNEDA_HANDLE context = NULL;
  VOLNEDA_WCHAR name[32];
  char text[600];

  /* The readers the list names: one section each. */
  VOLNEDA_StartAll(&context, NULL);
  VOLNEDA_WCHAR list[260];
  widen(argc > 1 ? argv[1] : "./rfconfig.ini", list, 260);
  for (int32_t rc = VOLNEDA_FindFirstReader(context, name, list); rc == 0;
       rc = VOLNEDA_FindNextReader(context, name))
    printf("reader %s\n", utf8(name, text, sizeof text));
  VOLNEDA_StopAll(&context);

  int32_t rc = start_and_open(argc, argv, &context);
  if (rc != 0) {
    close_and_stop(&context);
    return 1;
  }

  int32_t length = 0, tags = 0;
  rc = VOLNEDA_Command(context, u"identify", &length, &tags);
  printf("identify: %d, %d tags, document of %d characters\n", (int)rc, (int)tags, (int)length);
  if (rc == 0) {
    VOLNEDA_WCHAR *document = result_document(context, length);
    XMLREADER_HANDLE doc = NULL;
    XMLreader_OpenDoc(&doc, document);
    if (XMLreader_GetElement(doc) == 1) { /* 1: the root is IdentifyTags */
      VOLNEDA_WCHAR value[64];
      XMLreader_GetAttribute(doc, u"Date", value, 64);
      printf("date %s", utf8(value, text, sizeof text));
      XMLreader_GetAttribute(doc, u"Time", value, 64);
      printf(" time %s\n", utf8(value, text, sizeof text));
      while (XMLreader_FindChildElement(doc, u"Tag")) {
        XMLreader_GetChildAttribute(doc, u"ID", value, 64);
        printf("tag %s", utf8(value, text, sizeof text));
        XMLreader_GetChildAttribute(doc, u"SWTT", value, 64);
        printf(" swtt %s", utf8(value, text, sizeof text));
        /* HWTAGTYPE and Antenna only come from drivers of interface 2 and
         * later: the buffer is left alone when the attribute is missing. */
        value[0] = 0;
        XMLreader_GetChildAttribute(doc, u"Antenna", value, 64);
        printf(" antenna %s\n", value[0] ? utf8(value, text, sizeof text) : "-");
      }
    }
    XMLreader_CloseDoc(doc);
    free(document);
  }
  close_and_stop(&context);
  return rc == 0 ? 0 : 1;
}
