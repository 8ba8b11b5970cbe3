#pragma once
// The camera's records and their stored forms, converted field by field in
// one place: the size preset part of the video format, and the nine stored
// analog settings.
#include "camera/camera_settings.h"
#include "camera/video_format.h"
#include "settings/setting_groups.h"

namespace pelnik {

// TH, TV, EH, EV, EHS, EVS and Buf; the subsample is not part of a preset.
settings::SizePreset sizePresetOf(const VideoFormat &format);
void assignSizePreset(VideoFormat &format, const settings::SizePreset &preset);

// The first nine analog settings; the automatic-iris state is not stored.
settings::AnalogValues analogValuesOf(const AnalogSettings &analog);
void assignAnalogValues(AnalogSettings &analog, const settings::AnalogValues &values);

}  // namespace pelnik
