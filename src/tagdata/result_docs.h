// result_docs.h -- the IdentifyTags and ReadTags result documents.
//
// Built from what the driver left in the control block after a successful
// identify or read, serialised, converted to the system code page and
// stored as the context's result document text (length + 2 bytes,
// zero-filled behind the text), replacing the previous one.
#ifndef VOLNEDA_TAGDATA_RESULT_DOCS_H
#define VOLNEDA_TAGDATA_RESULT_DOCS_H

#include <cstdint>

#include "api/command.h"
#include "api/context.h"

// Both always return 0.  *documentLength gets the document's length in
// UTF-16 characters; it is left alone when the text cannot be stored.
int32_t BuildIdentifyDoc(ReaderContext *context, uint32_t *documentLength);
int32_t BuildReadDoc(ReaderContext *context, uint32_t *documentLength, const CommandRequest &request);

#endif
