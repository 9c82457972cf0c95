// The device check of kvoposcfg on Windows: each device's service object,
// created by its ProgID and driven late-bound through IDispatch as an OPOS
// control object drives it, on a thread (and COM apartment) of its own, so
// that a service object that never answers costs its time-out and no more.
#pragma once

#include "cli/commands.h"

namespace opos::cli {

class ServiceObjectChecker : public DeviceChecker {
 public:
  std::vector<CheckReport> Check(const std::vector<CheckRequest>& devices, const CheckOptions& options) override;
  // Whether a device's check is still running after its time-out: the
  // program must then end itself (TerminateProcess), as that thread is
  // stuck inside the service object.
  bool Abandoned() const { return abandoned_; }

 private:
  bool abandoned_ = false;
};

}  // namespace opos::cli
