#pragma once
// The tool's output folder: recordings and snapshots are written there and
// only files named there, by plain names, are ever read back.
#include <glib.h>

#include <string>
#include <vector>

namespace serve {

class OutputFolder {
 public:
  // Creates the folder when missing; false with `error` filled.
  bool open(const std::string &path, std::string &error);
  ~OutputFolder();

  // A name the tool itself could have written: letters, digits, '-', '_'
  // and '.', not starting with '.', at most 128 characters.
  static bool plainName(const std::string &name);
  std::string pathOf(const std::string &name) const { return path_ + "/" + name; }
  // The regular file `name` of the folder mapped in memory (no symbolic
  // link followed), or null.
  GBytes *read(const std::string &name) const;
  // The recordings (*.avi) with their sizes, by name, the newest stamp first.
  std::vector<std::pair<std::string, long long>> recordings() const;
  // A fresh file name from a prefix and a suffix ("cam0-20260101-120000.avi").
  std::string freshName(const std::string &prefix, const std::string &suffix) const;

 private:
  std::string path_;
  int directory_ = -1;
};

}  // namespace serve
