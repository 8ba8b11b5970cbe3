// Pelnik_Record and Pelnik_RecordW: the checks before the recorder starts.
#include "camera/CPelnik.h"
#include "output/still_image.h"

namespace pelnik {

int CPelnik::Record(const char *fileName, int duration, int showWindow) {
  if (!device_) return noDevice();
  if (!fileName || !*fileName) return fail(*this, ErrorCode::InvalidArgument);
  // The duration is unsigned milliseconds: -1 is 0xFFFFFFFF, "until stopped".
  return recorder_.Record(fileName, static_cast<std::uint32_t>(duration), showWindow != 0);
}

int CPelnik::RecordW(const char16_t *fileName, int duration, int showWindow) {
  if (!device_) return noDevice();
  if (!fileName || !*fileName) return fail(*this, ErrorCode::InvalidArgument);
  // Same name rules as the still images: UTF-8, at most 1023 bytes.
  const auto name = output::stillImageNameFromUtf16(fileName);
  if (!name) return fail(*this, ErrorCode::FileError);
  return recorder_.Record(name->c_str(), static_cast<std::uint32_t>(duration), showWindow != 0);
}

}  // namespace pelnik
