// write_request.h -- the WriteTags request document and its check.
//
//   <WriteTags>
//   <Tag ID="16 hex digits" SWTT="mask prefix">          both optional
//   <SWTT>12 hex digits</SWTT>                           bytes 12..17
//   <SWTTField EntryNr="0..15" Locked="TRUE|FALSE">value</SWTTField>
//   <MEMField MemStart="n" MemLen="n" MemType="HEX|INT|STRING" Locked="..">value</MEMField>
//   <DTField/>                                           accepted, ignored
//   </Tag>
//   </WriteTags>
//
// Element and attribute names are case-sensitive; values of ID, SWTT,
// Locked and MemType are not.
#ifndef VOLNEDA_TAGDATA_WRITE_REQUEST_H
#define VOLNEDA_TAGDATA_WRITE_REQUEST_H

#include <cstdint>
#include <string>

#include "api/context.h"
#include "xml/xmldoc.h"

enum WriteElementKind : int32_t {
  kElemOther = -1,
  kElemSwtt = 100,
  kElemSwttField = 101,
  kElemMemField = 102,
  kElemDtField = 103,
};
int32_t ElementKind(const std::u16string &name);

// Reads a request file: UTF-8, a byte-order mark dropped, a CR put before
// every lone LF.  0, -3000 (cannot be read) or -3002 (no document).
int32_t LoadDocFile(const std::u16string &fileName, XMLDoc &doc);

// The checks every request passes before anything is written; the first
// that fails gives the result (0 or -3002 .. -3014).  Moves the position.
int32_t ValidateWriteDoc(XMLDoc &doc);

// Takes in a request -- the document itself or '@' and a file name -- and
// checks it, posting the outcome (the file form's load failures post
// nothing).  0 when doc holds a request that passed.
int32_t TakeInWriteDoc(ReaderContext *context, const std::u16string &request, XMLDoc &doc);

#endif
