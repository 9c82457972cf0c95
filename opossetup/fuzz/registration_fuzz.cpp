// Runs a script of registry contents and user operations through the
// registration layer. Every line is one step:
//   v<k><name>\t<data>  write a value into key k (0-2 class keys, 3-6 device keys)
//   x<k> / w<k> / o<k>  remove key k / make it read-only / refuse to open it
//   l                   load the registrations
//   a<d><text>  r<d>  t<d>  p<d><entry>   Add, Remove, check box, port choice
//                       for device d (0-3)
// Whatever the registry holds, no key stays open, no operation of a device
// changes or deletes a value of another device, and a successful Add leaves
// exactly that one alias for the device.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "memorystore.h"
#include "registration.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

using opos::DeviceId;
using Values = std::vector<std::pair<std::string, std::string>>;

std::string KeyPath(char k) {
  switch ((k - '0') % 7) {
    case 0: return ClassPath(opos::Info(DeviceId::kCashDrawer1));
    case 1: return ClassPath(opos::Info(DeviceId::kLineDisplay));
    case 2: return ClassPath(opos::Info(DeviceId::kMsr));
    case 3: return DevicePath(opos::Info(DeviceId::kCashDrawer1));
    case 4: return DevicePath(opos::Info(DeviceId::kCashDrawer2));
    case 5: return DevicePath(opos::Info(DeviceId::kLineDisplay));
    default: return DevicePath(opos::Info(DeviceId::kMsr));
  }
}

// The values of the class key that belong to someone else.
Values Others(const opos::MemoryStore& store, const opos::DeviceInfo& device) {
  Values others;
  for (auto& value : store.Values(ClassPath(device))) {
    if (value.second != device.deviceKey) others.push_back(value);
  }
  return others;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  opos::MemoryStore store;
  for (const auto& device : opos::kDevices) {
    store.Set(DevicePath(device), "", device.progId);
    store.AddKey(ClassPath(device));
  }
  opos::Registrations regs(store);
  regs.Load();
  std::string_view script(reinterpret_cast<const char*>(data), size);
  int steps = 0;
  while (!script.empty() && steps++ < 64) {
    const std::size_t end = script.find('\n');
    const std::string_view line = script.substr(0, end);
    script = end == std::string_view::npos ? std::string_view() : script.substr(end + 1);
    if (line.empty()) continue;
    const char op = line[0];
    const char arg = line.size() > 1 ? line[1] : '0';
    const std::string rest(line.size() > 2 ? line.substr(2) : std::string_view());
    const opos::DeviceInfo& device = opos::kDevices[static_cast<unsigned char>(arg) % 4];
    const Values before = Others(store, device);
    switch (op) {
      case 'v': {
        const std::size_t tab = rest.find('\t');
        store.Set(KeyPath(arg), rest.substr(0, tab), tab == std::string::npos ? "" : rest.substr(tab + 1));
        continue;
      }
      case 'x': store.RemoveKey(KeyPath(arg)); continue;
      case 'w': store.DenyWrite(KeyPath(arg)); continue;
      case 'o': store.DenyOpen(KeyPath(arg)); continue;
      case 'l': regs.Load(); break;
      case 'a': {
        const opos::Outcome outcome = regs.AddCustomDeviceName(device.id, rest);
        if (outcome.ok && regs.View(device.id).registered && !rest.empty()) {
          int mine = 0;
          for (auto& value : store.Values(ClassPath(device))) {
            // The class key's default value is no alias.
            if (!value.first.empty() && value.second == device.deviceKey) {
              ++mine;
              Check(store.SameName(value.first, rest));
            }
          }
          Check(mine == 1);
          Check(regs.View(device.id).customName == rest);
        }
        Check(outcome.ok || !outcome.message.empty());
        break;
      }
      case 'r': regs.RemoveCustomDeviceName(device.id); break;
      case 't': regs.ToggleSwitch(device.id); break;
      case 'p': regs.WritePort(device.id, rest); break;
      default: continue;
    }
    Check(store.OpenKeys() == 0);
    if (op != 'l') Check(Others(store, device) == before);
  }
  return 0;
}
