#pragma once
// The per-camera object: everything one camera handle drives.
#include <cstdint>
#include <memory>

#include "camera/error_history.h"
#include "device/CPelnikR5MLXSdk.h"
#include "device/claim_table.h"

namespace pelnik {

class CPelnik {
 public:
  CPelnik();
  virtual ~CPelnik();
  CPelnik(const CPelnik &) = delete;
  CPelnik &operator=(const CPelnik &) = delete;

  // The open sequence run by Pelnik_Initialize; its result is ignored there.
  int Open(int ownerWindow);

  // Error reporting.
  int RaiseError(int code) { return errors_.raise(code); }
  void PostNotice(int code) const { errors_.notice(code); }
  int GetLastError() { return errors_.pop(); }
  int OwnerWindow() const { return errors_.ownerWindow(); }

  // The device object; null when the open sequence did not create one.
  device::CPelnikR5MLXSdk *Device() const { return device_.get(); }

  // Claim table. Claims are made with this object's own identity (never 0,
  // unlike an owner window that may be), so only this object releases them.
  bool IsCameraClaimed(int n) const;  // by anyone else
  int ClaimCamera(int n);
  int ReleaseClaim(int n);

  // Sensor and device access behind the register, identity and IO port
  // exports; each reports its failures as those exports do.
  int ReadRegister(int reg, int *flag);
  int WriteRegister(int reg, int value);
  int ReadSromID(int index, int *flag);
  int WriteSromID(int index, int value);
  int GetIOPort(unsigned char *value);
  int SetIOPort(int value);

 private:
  // Teardown in reverse order of the open sequence.
  void Teardown();

  ErrorHistory errors_;
  std::unique_ptr<device::ClaimTable> claims_;
  const std::int32_t claimant_;
  std::unique_ptr<device::CPelnikR5MLXSdk> device_;
};

}  // namespace pelnik
