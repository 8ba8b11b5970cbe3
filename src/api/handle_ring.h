#pragma once
// The ring of filed camera objects: a circular doubly linked list whose
// current entry moves on every search, so that a successful find leaves the
// entry sought current for the caller's next step.
#include <cstdint>
#include <new>

#include "platform/recursive_lock.h"

namespace pelnik {

template <class Payload>
struct CTRingEntry {
  int handle = 0;
  Payload *camera = nullptr;  // owned by the registry's user, not the ring
  CTRingEntry *previous = nullptr;
  CTRingEntry *next = nullptr;
};

template <class Entry>
class CTRing;

template <class Payload>
class CTRing<CTRingEntry<Payload>> {
 public:
  using Entry = CTRingEntry<Payload>;

  CTRing() = default;
  CTRing(const CTRing &) = delete;
  CTRing &operator=(const CTRing &) = delete;
  // Frees the entries only; payloads still filed are not destroyed.
  virtual ~CTRing() { clear(); }

  // Links a new entry just before the current one and makes it current.
  // Returns false when the entry cannot be allocated.
  virtual bool addEntry(int handle, Payload *camera) {
    Entry *entry = new (std::nothrow) Entry;
    if (!entry) return false;
    entry->handle = handle;
    entry->camera = camera;
    if (!current_) {
      entry->previous = entry->next = entry;
      current_ = entry;
      count_ = 1;
      return true;
    }
    count_ += 1;
    entry->previous = current_->previous;
    entry->next = current_;
    current_->previous->next = entry;
    current_->previous = entry;
    current_ = entry;
    return true;
  }

  // Walks forward from the current entry, visiting each entry once; rests on
  // the entry found, or on the one before the start when nothing is found.
  bool find(int handle) {
    if (!current_) return false;
    const int stop = current_->previous->handle;
    if (current_->handle == handle) return true;
    for (;;) {
      if (current_->handle == stop) return false;
      current_ = current_->next;
      if (current_->handle == handle) return true;
    }
  }

  // find under the registry lock; the current entry when found, else null.
  Entry *lookup(int handle) {
    platform::RecursiveGuard guard(registryLock_);
    return find(handle) ? current_ : nullptr;
  }

  // Unlinks and frees the current entry; its next becomes current.
  bool removeCurrent() {
    if (!current_) return false;
    Entry *old = current_;
    if (count_ == 1 || old->next == old) {
      count_ = 0;
      current_ = nullptr;
    } else {
      count_ -= 1;
      old->previous->next = old->next;
      old->next->previous = old->previous;
      current_ = old->next;
    }
    delete old;
    return true;
  }

  bool remove(int handle) { return find(handle) && removeCurrent(); }

  void clear() {
    while (removeCurrent()) {
    }
  }

  int count() const { return count_; }
  Entry *current() const { return current_; }
  platform::RecursiveLock &registryLock() { return registryLock_; }

 private:
  Entry *current_ = nullptr;
  std::int32_t count_ = 0;
  platform::RecursiveLock registryLock_;  // guards the links, current_ and count_
};

}  // namespace pelnik
