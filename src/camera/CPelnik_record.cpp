// Pelnik_Record and Pelnik_RecordW: the checks before the recorder starts.
#include "camera/CPelnik.h"
#include "output/still_image.h"
#include "platform/debug_log.h"

namespace pelnik {

int CPelnik::Record(const char *fileName, int duration, int showWindow) {
  if (!device_) return noDevice();
  if (!fileName || !*fileName) return fail(*this, ErrorCode::InvalidArgument);
  // The duration is unsigned milliseconds: -1 is 0xFFFFFFFF, "until stopped".
  const int started =
      recorder_.Record(fileName, static_cast<std::uint32_t>(duration), showWindow != 0);
  PELNIK_DEBUG_LOG(platform::DebugArea::Output, "recording %s for %u ms: %s", fileName,
                   static_cast<unsigned>(duration), started ? "started" : "refused");
  return started;
}

int CPelnik::RecordW(const char16_t *fileName, int duration, int showWindow) {
  if (!device_) return noDevice();
  if (!fileName || !*fileName) return fail(*this, ErrorCode::InvalidArgument);
  // Same name rules as the still images: UTF-8, at most 1023 bytes.
  const auto name = output::stillImageNameFromUtf16(fileName);
  if (!name) return fail(*this, ErrorCode::FileError);
  return Record(name->c_str(), duration, showWindow);
}

}  // namespace pelnik
