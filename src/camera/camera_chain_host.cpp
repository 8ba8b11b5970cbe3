#include "camera/camera_chain_host.h"

#include "imaging/chain.h"

namespace pelnik {

void CameraChainHost::storeGrayGains(int red, int green1, int green2, int blue) {
  filter_.set(filter_slot::kGrayGainR, red);
  filter_.set(filter_slot::kGrayGainR + 1, green1);
  filter_.set(filter_slot::kGrayGainR + 2, green2);
  filter_.set(filter_slot::kGrayGainR + 3, blue);
}

void CameraChainHost::clearGrayCalibrationRequest() {
  filter_.set(filter_slot::kGrayCalibration, 0);
}

void CameraChainHost::storeBayerGains(int red, int green, int blue) {
  filter_.set(filter_slot::kBayerGainRed, red);
  filter_.set(filter_slot::kBayerGainGreen, green);
  filter_.set(filter_slot::kBayerGainBlue, blue);
}

void CameraChainHost::clearWhiteBalanceRequest() {
  filter_.set(filter_slot::kWhiteBalanceEnable, 0);
  filter_.set(filter_slot::kWhiteBalanceOnceFirst, 0);
  filter_.set(filter_slot::kWhiteBalanceOnceSecond, 0);
}

void CameraChainHost::storeGlobalGain(int gain) {
  analog_.globalGain = gain;
  analog_.gainGreen1 = gain;
  analog_.gainRed = gain;
  analog_.gainBlue = gain;
  analog_.gainGreen2 = gain;
}

}  // namespace pelnik
