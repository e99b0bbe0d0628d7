// swtt.h -- the SWTT tag template: which named fields a kind of tag holds,
// where they lie and how they are shown.  One template per section of
// SWTT.INI, in file order; field NN is key f_NN.
#ifndef VOLNEDA_SWTT_H
#define VOLNEDA_SWTT_H

#include <cstdint>
#include <string>

#include "api/context.h"

constexpr int kSwttFieldCount = 16;

struct SwttField {
  char name[32];
  int32_t dataStart;
  int32_t dataLen;
  char dataType;    // 'h', 'i', 's', or any other letter as written
  uint8_t defined;  // 1 when f_NN is present
};

struct SwttTemplate {
  char mask[13];
  char id[35];
  SwttField fields[kSwttFieldCount];
};

// Loads the template file into the context's table (zero-filled, one entry
// per section).  Does not release a table held before.
bool SwttLoad(const std::u16string &fileName, ReaderContext *context);
// Releases the table; harmless when none is held.
void SwttFree(ReaderContext *context);

#endif
