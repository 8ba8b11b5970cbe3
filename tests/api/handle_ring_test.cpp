// The handle ring: current-entry movement, removal and clearing.
#include "api/handle_ring.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Camera {
  int id;
};

using Entry = pelnik::CTRingEntry<Camera>;
using Ring = pelnik::CTRing<Entry>;

// Walks the ring forward from the current entry and checks both links.
std::vector<int> handlesFromCurrent(const Ring &ring) {
  std::vector<int> handles;
  const Entry *start = ring.current();
  if (!start) return handles;
  const Entry *e = start;
  do {
    EXPECT_EQ(e->next->previous, e);
    handles.push_back(e->handle);
    e = e->next;
  } while (e != start);
  return handles;
}

TEST(HandleRing, AddInsertsBeforeCurrentAndBecomesCurrent) {
  Ring ring;
  Camera a{1}, b{2}, c{3};
  ASSERT_TRUE(ring.addEntry(10, &a));
  EXPECT_EQ(ring.current()->next, ring.current());
  EXPECT_EQ(ring.current()->previous, ring.current());
  ASSERT_TRUE(ring.addEntry(20, &b));
  ASSERT_TRUE(ring.addEntry(30, &c));
  EXPECT_EQ(ring.count(), 3);
  EXPECT_EQ(ring.current()->handle, 30);
  // C was inserted before B, which was inserted before A.
  EXPECT_EQ(handlesFromCurrent(ring), (std::vector<int>{30, 20, 10}));
}

TEST(HandleRing, LookupMovesCurrentAndFailedLookupRestsBeforeStart) {
  Ring ring;
  Camera cams[3]{{1}, {2}, {3}};
  ring.addEntry(10, &cams[0]);  // A
  ring.addEntry(20, &cams[1]);  // B
  ring.addEntry(30, &cams[2]);  // C
  ASSERT_NE(ring.lookup(10), nullptr);
  EXPECT_EQ(ring.current()->handle, 10);
  // From A, a failed search stops on the entry just before A.
  const int beforeA = ring.current()->previous->handle;
  EXPECT_EQ(ring.lookup(99), nullptr);
  EXPECT_EQ(ring.current()->handle, beforeA);
  for (int h : {10, 20, 30, 20, 10, 30}) {
    const Entry *e = ring.lookup(h);
    ASSERT_NE(e, nullptr) << h;
    EXPECT_EQ(e->handle, h);
    EXPECT_EQ(ring.current(), e);
  }
  EXPECT_EQ(ring.lookup(10)->camera, &cams[0]);
}

TEST(HandleRing, FindOnEmptyRingFails) {
  Ring ring;
  EXPECT_FALSE(ring.find(1));
  EXPECT_EQ(ring.lookup(1), nullptr);
  EXPECT_FALSE(ring.removeCurrent());
  EXPECT_FALSE(ring.remove(1));
}

TEST(HandleRing, RemoveCurrentInRingsOfOneTwoAndThree) {
  Camera cam{0};
  {
    Ring ring;
    ring.addEntry(1, &cam);
    EXPECT_TRUE(ring.remove(1));
    EXPECT_EQ(ring.count(), 0);
    EXPECT_EQ(ring.current(), nullptr);
  }
  {
    Ring ring;
    ring.addEntry(1, &cam);
    ring.addEntry(2, &cam);
    EXPECT_TRUE(ring.remove(2));
    EXPECT_EQ(ring.count(), 1);
    ASSERT_NE(ring.current(), nullptr);
    EXPECT_EQ(ring.current()->handle, 1);
    EXPECT_EQ(ring.current()->next, ring.current());
    EXPECT_EQ(ring.current()->previous, ring.current());
  }
  {
    Ring ring;
    ring.addEntry(1, &cam);
    ring.addEntry(2, &cam);
    ring.addEntry(3, &cam);  // order from current: 3, 2, 1
    ASSERT_TRUE(ring.find(2));
    EXPECT_TRUE(ring.removeCurrent());
    EXPECT_EQ(ring.count(), 2);
    EXPECT_EQ(ring.current()->handle, 1);  // the removed entry's next
    EXPECT_EQ(handlesFromCurrent(ring), (std::vector<int>{1, 3}));
    EXPECT_FALSE(ring.remove(2));
  }
}

TEST(HandleRing, ClearEmptiesButLeavesPayloadsAlone) {
  Ring ring;
  Camera cams[4]{{1}, {2}, {3}, {4}};
  for (int i = 0; i < 4; ++i) ring.addEntry(i + 1, &cams[i]);
  ring.clear();
  EXPECT_EQ(ring.count(), 0);
  EXPECT_EQ(ring.current(), nullptr);
  EXPECT_EQ(cams[3].id, 4);
  ASSERT_TRUE(ring.addEntry(7, &cams[0]));
  EXPECT_EQ(ring.count(), 1);
}

}  // namespace
