/*
 * read_fields.c -- read template fields (named by SWTT.INI) and raw memory
 * fields of the tags whose SWTT identifier begins with 0123, and print each
 * Field element of the ReadTags document.
 *
 *   read_fields [READER-LIST [READER [COMMAND]]]
 */
#include "example.h"

int main(int argc, char **argv) {
  VOLNEDA_HANDLE context = NULL;
  char text[600], name[64], type[16];
  VOLNEDA_WCHAR command[256];

  int32_t rc = start_and_open(argc, argv, &context);
  if (rc != 0) {
    close_and_stop(&context);
    return 1;
  }
  /* Fields 0 to 2 of the tag's template, field 9 which it does not define
   * (a Field element with Warning="FieldDoesNotExist"), and the first four
   * bytes of memory as hexadecimal.  No blanks inside mem(...): they would
   * become part of the items. */
  widen(argc > 3 ? argv[3] : "read field(0,1,2,9) mem(head,0,4,h) where swtt=0123", command, 256);
  int32_t length = 0, tags = 0;
  rc = VOLNEDA_Command(context, command, &length, &tags);
  printf("%s: %d, %d tags\n", utf8(command, text, sizeof text), (int)rc, (int)tags);
  if (rc == 0) {
    VOLNEDA_WCHAR *document = result_document(context, length);
    XMLREADER_HANDLE doc = NULL;
    VOLNEDA_WCHAR value[520];
    XMLreader_OpenDoc(&doc, document);
    if (XMLreader_GetElement(doc) == 2) { /* 2: the root is ReadTags */
      while (XMLreader_FindChildElement(doc, u"Tag")) {
        XMLreader_GetChildAttribute(doc, u"ID", value, 520);
        printf("tag %s", utf8(value, text, sizeof text));
        XMLreader_GetChildAttribute(doc, u"NrFields", value, 520);
        printf(" (%s fields)\n", utf8(value, text, sizeof text));
        XMLreader_StepIntoElement(doc); /* the Tag's children */
        while (XMLreader_FindChildElement(doc, u"Field")) {
          if (XMLreader_GetChildAttribute(doc, u"Warning", value, 520)) {
            XMLreader_GetChildAttribute(doc, u"EntryNr", value, 520);
            printf("  field %s: not in this tag's template\n", utf8(value, text, sizeof text));
            continue;
          }
          XMLreader_GetChildAttribute(doc, u"Name", value, 520);
          utf8(value, name, sizeof name);
          XMLreader_GetChildAttribute(doc, u"DataType", value, 520);
          utf8(value, type, sizeof type);
          XMLreader_GetChildData(doc, value, 520);
          printf("  %-8s %-6s %s\n", name, type, utf8(value, text, sizeof text));
        }
        XMLreader_StepOutOfElement(doc); /* back to the root's children */
      }
    }
    XMLreader_CloseDoc(doc);
    free(document);
  }
  close_and_stop(&context);
  return rc == 0 ? 0 : 1;
}
