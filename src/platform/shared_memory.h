#pragma once
// A file-backed memory region shared by every process of the user that maps
// the same file (MAP_SHARED), with an advisory lock across those processes.
// The region is always mapped at its full size: a file left short by a
// creator that died is grown first.
#include <cstddef>
#include <memory>
#include <string>

namespace pelnik::platform {

class SharedMemory {
 public:
  // Opens the file at `path`, creating it (mode 0600) when missing, grows it
  // to `size` bytes when shorter, and maps it read/write. When the file was
  // created or found short, its first `clearBytes` bytes are cleared. Null
  // when any step fails.
  static std::unique_ptr<SharedMemory> openOrCreate(const std::string &path, std::size_t size,
                                                    std::size_t clearBytes);
  // The region every process of the user's session shares under `name`
  // (a file of that name in the runtime directory; on Windows the named
  // paging-file mapping); as openOrCreate.
  static std::unique_ptr<SharedMemory> openNamed(const std::string &name, std::size_t size,
                                                 std::size_t clearBytes);
  ~SharedMemory();
  SharedMemory(const SharedMemory &) = delete;
  SharedMemory &operator=(const SharedMemory &) = delete;

  std::byte *data() const { return data_; }
  std::size_t size() const { return size_; }

  // Holds the cross-process lock of the region's file while it lives. The
  // lock is released by the system when a holder dies.
  class Lock {
   public:
    explicit Lock(const SharedMemory &memory);
    ~Lock();
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

   private:
    int fd_;
    bool held_;
  };

 private:
  SharedMemory(int fd, std::byte *data, std::size_t size) : fd_(fd), data_(data), size_(size) {}

  int fd_;
  std::byte *data_;
  std::size_t size_;
  // Where the region is a named system object, the handle that keeps its
  // name alive for other processes (the view alone does not).
  void *mappingHandle_ = nullptr;
};

}  // namespace pelnik::platform
