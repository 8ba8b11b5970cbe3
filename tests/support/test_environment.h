#pragma once
// Per-process isolation for tests: private XDG runtime and config directories.
#include <string>
#include <vector>

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

// A cross-built tree runs its tests under an emulator (qemu-aarch64) and no
// binfmt handler starts foreign programs, so a helper program must be started
// through the same emulator. The emulator wrapper puts its command line in
// PELNIK_TEST_EMULATOR; empty when tests run natively.
std::string emulatorCommand();
// A shell command line that runs the helper program at `relative` in the
// build tree (through the emulator when there is one), for popen().
std::string helperCommandLine(const std::string &relative);
// The same as an argument vector (the emulator's words, the program, then
// `arguments`), for spawning without a shell.
std::vector<std::string> helperArgv(const std::string &relative,
                                    const std::vector<std::string> &arguments = {});

// True when PELNIK_TEST_REDUCED is set to a non-zero value (the emulator
// wrapper sets it): tests that take minutes under emulation run fewer
// iterations or smaller pictures, asserting exactly the same things.
bool reducedWorkload();
// `full` natively, `reduced` when reducedWorkload().
int workload(int full, int reduced);

}  // namespace pelnik::test
