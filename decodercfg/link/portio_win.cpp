#include "link/portio_win.h"

namespace q5r {

namespace {

template <typename Fn>
Fn Entry(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool PortIo::Initialize() {
  library_.reset(LoadLibraryW(L"adkb.dll"));
  if (!library_) return false;
  initialize_ = Entry<InitializeFn>(library_.get(), "InitializeWinIo");
  setPortVal_ = Entry<SetPortValFn>(library_.get(), "SetPortVal");
  shutdown_ = Entry<ShutdownFn>(library_.get(), "ShutdownWinIo");
  if (!initialize_ || !setPortVal_ || !shutdown_) {
    initialize_ = nullptr;
    setPortVal_ = nullptr;
    shutdown_ = nullptr;
    library_.reset();
    return false;
  }
  return initialize_() != FALSE;
}

bool PortIo::SetPortVal(std::uint16_t port, std::uint32_t value, std::uint8_t size) {
  return setPortVal_ && setPortVal_(port, value, size) != FALSE;
}

void PortIo::Shutdown() {
  if (shutdown_) shutdown_();
}

}  // namespace q5r
