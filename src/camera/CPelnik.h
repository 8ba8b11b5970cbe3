#pragma once
// The per-camera object: everything one camera handle drives.
#include "camera/error_history.h"

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

 private:
  // Teardown in reverse order of the open sequence.
  void Teardown();

  ErrorHistory errors_;
};

}  // namespace pelnik
