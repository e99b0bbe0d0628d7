// command.h -- the command language of VOLNEDA_Command and its execution.
//
//   identify [where ...]
//   read [*] [field(n,...)] [mem(name,start,length,type)] ... [where ...]
//   where clause: swtt <mask> | tagid <16 hex digits>, joined by "and";
//   separators: blank , = " &
//
// Keywords are matched case-insensitively: the whole command is folded to
// lower case first, so a MEM field's name is lower case in documents too.
// Only the four letters "read" and the eight letters "identify" are matched
// at the start, so "readfield(1)" is a read.
#ifndef VOLNEDA_API_COMMAND_H
#define VOLNEDA_API_COMMAND_H

#include <cstdint>
#include <string>

#include "api/context.h"

// The limits of a request.  A command that goes past one of them is refused
// with -3202 rather than cut.
constexpr int kMaxCommandLength = 255;
constexpr int kMaxSwttFields = 16;
constexpr int kMaxMemFields = 16;
constexpr int kMaxMemNameLength = 31;
constexpr int kMaxClauseLength = 127;  // select list and where clause each
constexpr int kMaxListLength = 32;     // characters inside one (...) list

enum CommandKind : int32_t {
  kCmdUndecided = 0,
  kCmdRead = 1,
  kCmdReadSelected = 2,
  kCmdReadFields = 3,
  kCmdReadFieldsSelected = 4,
  kCmdIdentify = 5,
  kCmdIdentifySelected = 6,
};

struct MemField {
  char name[32];
  int32_t start;
  int32_t length;
  char type;  // the item's first character, folded ('h', 'i', 's', ...)
};

struct CommandRequest {
  int32_t kind;
  char16_t text[256];
  int32_t swttCount;  // -1: every field of each tag's template
  int32_t swttFields[kMaxSwttFields];
  uint32_t memCount;
  MemField memFields[kMaxMemFields];
  char swttFilter[64];   // at most 12 characters, upper case
  char tagIdFilter[64];  // 16 hexadecimal characters, upper case
};

// Parses request->text into the rest of the (zero-filled) request.  Returns
// 0 or one of -3200 .. -3208; the kind of a read form is decided even when
// an error is returned.
int32_t ParseCommand(CommandRequest *request);

// Zero-fills a request and parses command into it; a command longer than
// 255 characters is refused with -3202.
int32_t ParseCommand(const std::u16string &command, CommandRequest *request);

// Inventory of the tags in the field.  Resets the control block, calls the
// driver and selects the found tags by identifier (which wins) or by mask
// prefix (case ignored); empty filters select every good tag.  *found gets
// the number of selected tags; the result is 0 or the driver's error.
int32_t IdentifyTags(ReaderContext *context, const std::u16string &tagIdFilter, const std::u16string &maskFilter,
                     uint32_t *found);

// Reads the MEM fields and template fields of the request for the selected
// tags of the last identify; *tagCount gets the number of good tags.
int32_t ReadTags(ReaderContext *context, const CommandRequest *request, uint32_t *tagCount);

#endif
