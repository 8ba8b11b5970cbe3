#pragma once
// What a user needs to look after one camera's stored settings by hand:
// print everything stored under its key, and reset it to the defaults (the
// key removed, so the next open loads the defaults of every group).
#include <string>
#include <vector>

namespace pelnik::settings {

struct StoredSettingsReport {
  std::string storePath;
  bool fileExists = false;
  bool malformed = false;
  std::string problem;                // why the file does not parse
  std::vector<std::string> lines;     // "Camera_07\Gain  Exposure = 512"
  std::vector<std::string> setAside;  // malformed files kept beside the store
};

StoredSettingsReport describeStoredSettings(int cameraNumber);

// Removes the camera's key in one atomic commit. A malformed file is set
// aside first, as every save does. False with `error` when nothing could be
// written.
bool resetStoredSettings(int cameraNumber, std::string &error);

}  // namespace pelnik::settings
