// The filter record's table read as a whole: identifiers and slots pair up,
// and every default is a value the setter, the dialog and the chain accept.
#include "imaging/filter_slots.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

namespace {

using namespace pelnik;

// The identifiers the camera serves without a slot of their own.
bool withoutSlot(int id) { return id == 6 || (id >= 13 && id <= 18); }

TEST(FilterSlotTable, EveryIdentifierReachesExactlyOneSlotOrNoneByDesign) {
  for (int id = kFirstFilterValueId; id <= kLastFilterValueId; ++id) {
    int slots = 0;
    for (const FilterSlotInfo &info : filterSlotTable()) slots += info.filterValueId == id;
    EXPECT_EQ(slots, withoutSlot(id) ? 0 : 1) << "id " << id;
    const FilterSlotInfo *found = filterSlotOfId(id);
    ASSERT_EQ(found == nullptr, withoutSlot(id)) << "id " << id;
    if (found) {
      EXPECT_EQ(found->filterValueId, id);
      EXPECT_NE(found->setter, SlotSetter::None) << "id " << id;
    }
  }
  for (const int outside : {0, -1, 29, 1000}) EXPECT_EQ(filterSlotOfId(outside), nullptr);
  for (const FilterSlotInfo &info : filterSlotTable()) {
    EXPECT_EQ(info.setter == SlotSetter::None, info.filterValueId == kNoFilterValueId)
        << "slot " << info.slot;
  }
}

TEST(FilterSlotTable, DefaultsLieInsideWhatSetterDialogAndChainAccept) {
  for (const FilterSlotInfo &info : filterSlotTable()) {
    if (info.group == SlotGroup::None) continue;  // no load ever writes its default
    if (info.setter != SlotSetter::None) {
      EXPECT_TRUE(info.setterRange.contains(info.defaultValue)) << "slot " << info.slot;
    }
    EXPECT_TRUE(info.dialogRange.contains(info.defaultValue)) << "slot " << info.slot;
    // A slot the chain holds must come out of a fresh load unchanged by it.
    if (info.chainHolds) {
      EXPECT_EQ(info.setterRange.clamp(info.defaultValue), info.defaultValue);
    }
  }
}

TEST(FilterSlotTable, StoredValuesHaveDistinctNamesInTheirGroupAndASetter) {
  std::set<std::pair<SlotGroup, std::string>> names;
  for (const FilterSlotInfo &info : filterSlotTable()) {
    if (!info.storedName) continue;
    ASSERT_NE(slotGroupKey(info.group), nullptr) << "slot " << info.slot;
    EXPECT_TRUE(names.insert({info.group, info.storedName}).second)
        << info.storedName << " stored twice";
    // A stored value is one an application can also set.
    EXPECT_EQ(info.setter, SlotSetter::Range) << "slot " << info.slot;
  }
  EXPECT_STREQ(slotGroupKey(SlotGroup::Filter), "Filter");
  EXPECT_STREQ(slotGroupKey(SlotGroup::Gray), "Gray");
}

}  // namespace
