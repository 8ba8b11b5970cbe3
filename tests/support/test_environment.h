#pragma once
// Per-process isolation for tests: private XDG runtime and config directories.
#include <string>

namespace pelnik::test {

// Creates a fresh directory tree under /tmp and points XDG_RUNTIME_DIR and
// XDG_CONFIG_HOME into it. Safe to call more than once (only the first acts).
void isolateProcess();

// The root of this process's private directories.
const std::string &isolationRoot();
std::string runtimeDir();
std::string configDir();

// Removes the tree made by isolateProcess (only in the process that made it).
void removeIsolationRoot();

// Path of a file in the build tree (programs: "tests/claim_holder").
std::string buildPath(const std::string &relative);
// Path of a file in the source tree.
std::string sourcePath(const std::string &relative);

}  // namespace pelnik::test
