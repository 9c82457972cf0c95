// Windows side of the serial line: the kit's serial port (SerialPort), its
// waits plain waits on the read, as a console program has no window events.
#include "cli/serialline.h"

#include <windows.h>

#include "link/serialport_win.h"
#include "serialname.h"

namespace q5r::cli {

namespace {

bool WaitFor(HANDLE event, int timeoutMs) {
  return WaitForSingleObject(event, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

class ConsoleLine : public SerialLine {
 public:
  SerialPort& port() { return port_; }
  bool Write(std::span<const std::uint8_t> bytes) override { return line_.Write(bytes); }
  void ClearReceived() override { line_.ClearReceived(); }
  std::vector<std::uint8_t> AwaitReceived(std::size_t threshold, int timeoutMs) override {
    return line_.AwaitReceived(threshold, timeoutMs);
  }

 private:
  SerialPort port_;
  SerialPortLine line_{port_, WaitFor};
};

}  // namespace

std::unique_ptr<SerialLine> OpenSerialLine(const std::string& port, int number, const std::string& settings) {
  if (number <= 0) number = kit::ComPortNumber(port);
  if (number <= 0) return nullptr;
  auto line = std::make_unique<ConsoleLine>();
  if (!line->port().Open(number, settings)) return nullptr;
  return line;
}

}  // namespace q5r::cli
