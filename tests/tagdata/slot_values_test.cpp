// Slot values found tag after tag: the addresses and room of SlotValuePtr
// and SlotValueRoom, whatever the descriptors and the order of the tags.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tagdata/codec.h"

namespace {

TEST(SlotValues, SameAsTheWalkFromTagZero) {
  const SlotDescriptor kinds[] = {{0, 0, 4, 0},  {0, 0, 0, 0}, {0, 0, -5, 0}, {0, 0, 3, 1}, {0, 0, 7, 1},
                                  {0, 0, 40, 0}, {0, 0, 2, 1}, {0, 0, 300, 0}, {0, 0, 1, 0}};
  std::mt19937 dice(1234);
  for (int round = 0; round < 20; ++round) {
    std::vector<uint8_t> buffer(TAGDRV_SLOT_DATA_SIZE);
    std::vector<SlotDescriptor> desc(64);
    for (SlotDescriptor &d : desc) d = kinds[dice() % 9];
    uint8_t *slotData[TAGDRV_MAX_SLOTS] = {buffer.data()};
    SlotDescriptor *slotDesc[TAGDRV_MAX_SLOTS] = {desc.data()};
    RfidControl control{};
    control.slotData = slotData, control.slotDesc = slotDesc;
    control.tagCapacity = 40 + round;  // tags past it take no room
    ReaderContext context{};
    context.control = &control;
    SlotValues values(&context);
    // Mostly forward, as a document builder asks, with some steps back.
    for (int32_t step = 0, tag = 0; step < 120; ++step, tag = (dice() % 5 == 0) ? tag / 2 : tag + 1) {
      size_t room = 99;
      EXPECT_EQ(values.At(0, tag % 64, &room), SlotValuePtr(&context, 0, tag % 64)) << tag;
      EXPECT_EQ(room, SlotValueRoom(&context, 0, tag % 64)) << tag;
    }
    size_t room = 99;
    EXPECT_TRUE(values.At(1, 0, &room) == nullptr && room == 0);  // no buffer for slot 1
  }
}

}  // namespace
