#include "registration.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace opos {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

const std::array<DeviceInfo, 4> kDevices = {{
    {DeviceId::kCashDrawer1, "Cash Drawer 1", "CashDrawer", "KvCash1", "KvSo.KvCash1",
     AliasRule::kSharedTwoSlot, "CapStatus", "status reporting", false},
    {DeviceId::kCashDrawer2, "Cash Drawer 2", "CashDrawer", "KvCash2", "KvSo.KvCash2",
     AliasRule::kSharedTwoSlot, "CapStatus", "status reporting", false},
    {DeviceId::kLineDisplay, "Line Display", "LineDisplay", "KvDisplay", "KvSo.KvDisplay",
     AliasRule::kSingle, nullptr, nullptr, true},
    {DeviceId::kMsr, "Mag Stripe Reader", "MSR", "KvMsr", "KvSo.KvMsr", AliasRule::kSingle, "Lrc",
     "Include LRC", true},
}};

const std::array<const char*, 8> kPorts = {"COM1", "COM2", "COM3", "COM4",
                                           "COM5", "COM6", "COM7", "COM8"};

const DeviceInfo& Info(DeviceId id) { return kDevices[static_cast<std::size_t>(id)]; }

std::string ClassPath(const DeviceInfo& device) {
  return std::string(kServiceOpos) + "\\" + device.classKey;
}

std::string DevicePath(const DeviceInfo& device) { return ClassPath(device) + "\\" + device.deviceKey; }

namespace {

// Enumeration stops here even if a key claims to hold more values.
constexpr std::uint32_t kMaxValues = 16384;

Outcome Failed(const DeviceInfo& device, const std::string& what) {
  return {false, std::string(device.title) + ": " + what};
}

}  // namespace

void Registrations::Load() {
  for (DeviceId id : {DeviceId::kLineDisplay, DeviceId::kCashDrawer1, DeviceId::kCashDrawer2,
                      DeviceId::kMsr}) {
    const DeviceInfo& device = Info(id);
    views_[Index(id)] = DeviceView{};
    Recognise(device);
    if (!View(id).registered) continue;
    RefreshAlias(device);
    if (device.hasPort) LoadPorts(device);
  }
}

void Registrations::Recognise(const DeviceInfo& device) {
  DeviceView& view = views_[Index(device.id)];
  auto key = store_.OpenKey(DevicePath(device), Access::kRead);
  if (!key) return;
  // The line display's name shows as soon as its key opens.
  if (device.id == DeviceId::kLineDisplay) view.deviceName = device.deviceKey;
  const auto progId = key->QueryString("");
  if (!progId || *progId != device.progId) return;
  view.registered = true;
  view.deviceName = device.deviceKey;
  if (device.switchValue) view.switchOn = key->QueryString(device.switchValue) == "True";
}

bool Registrations::ReadAliases(const DeviceInfo& device, std::vector<std::string>& names) {
  names.clear();
  auto key = store_.OpenKey(ClassPath(device), Access::kRead);
  if (!key) return false;
  for (std::uint32_t i = 0; i < kMaxValues; ++i) {
    std::string name;
    const StoreStatus status = key->EnumValueName(i, name);
    if (status == StoreStatus::kNoMoreItems) break;
    if (status != StoreStatus::kOk || name.empty()) continue;  // unreadable, or the default value
    if (key->QueryString(name) == device.deviceKey) names.push_back(name);
  }
  return true;
}

void Registrations::RefreshAlias(const DeviceInfo& device) {
  std::vector<std::string> names;
  ReadAliases(device, names);
  views_[Index(device.id)].customName = names.empty() ? std::string() : names.front();
}

void Registrations::SelectStoredPort(const DeviceInfo& device, StoreKey& key) {
  DeviceView& view = views_[Index(device.id)];
  view.portSelection = -1;
  const auto port = key.QueryString("Port");
  if (!port) return;
  for (std::size_t i = 0; i < view.ports.size(); ++i) {
    if (view.ports[i] == *port) {
      view.portSelection = static_cast<int>(i);
      return;
    }
  }
}

void Registrations::LoadPorts(const DeviceInfo& device) {
  DeviceView& view = views_[Index(device.id)];
  auto key = store_.OpenKey(DevicePath(device), Access::kRead);
  if (!key) return;
  if (device.id == DeviceId::kMsr) {
    const auto type = key->QueryString("Type");
    if (type && *type != "Serial") {
      view.ports = {kKbdMsrSelected};
      view.portSelection = 0;
      return;
    }
  }
  view.ports.assign(kPorts.begin(), kPorts.end());
  SelectStoredPort(device, *key);
}

Outcome Registrations::AddCustomDeviceName(DeviceId id, const std::string& text) {
  const DeviceInfo& device = Info(id);
  if (!View(id).registered || text.empty()) return {};
  const std::string what = "the custom device name \"" + text + "\" could not be saved.";
  auto key = store_.OpenKey(ClassPath(device), Access::kReadWrite);
  if (!key) {
    RefreshAlias(device);
    return Failed(device, what);
  }
  // Every value of the class key: this device's aliases go, the rest stay.
  std::vector<std::string> mine;
  for (std::uint32_t i = 0; i < kMaxValues; ++i) {
    std::string name;
    const StoreStatus status = key->EnumValueName(i, name);
    if (status == StoreStatus::kNoMoreItems) break;
    if (status != StoreStatus::kOk || name.empty()) continue;
    const auto data = key->QueryString(name);
    if (data == device.deviceKey) {
      mine.push_back(name);
    } else if (SameName(name, text)) {
      // The name already stands for another device; taking it over would
      // lose that device's alias.
      key.reset();
      RefreshAlias(device);
      return Failed(device, "the custom device name \"" + text + "\" is already used by " +
                                (data ? "\"" + *data + "\"" : std::string("another device")) + ".");
    }
  }
  // The new alias is written before the old one goes, so a refused write
  // loses nothing.
  if (key->SetString(text, device.deviceKey) != StoreStatus::kOk) {
    key.reset();
    RefreshAlias(device);
    return Failed(device, what);
  }
  Outcome outcome;
  for (const std::string& name : mine) {
    if (SameName(name, text)) continue;  // the value just written
    if (key->DeleteValue(name) != StoreStatus::kOk && outcome.ok) {
      outcome = Failed(device, "the old custom device name \"" + name + "\" could not be removed.");
    }
  }
  key.reset();
  RefreshAlias(device);
  // With an old alias left over the field shows the first; show the new one.
  if (outcome.ok) views_[Index(id)].customName = text;
  return outcome;
}

Outcome Registrations::RemoveCustomDeviceName(DeviceId id) {
  const DeviceInfo& device = Info(id);
  if (!View(id).registered) return {};
  std::vector<std::string> mine;
  auto key = store_.OpenKey(ClassPath(device), Access::kReadWrite);
  Outcome outcome;
  if (!key || !ReadAliases(device, mine)) {
    outcome = Failed(device, "the custom device name could not be removed.");
  } else {
    for (const std::string& name : mine) {
      if (key->DeleteValue(name) != StoreStatus::kOk && outcome.ok) {
        outcome = Failed(device, "the custom device name \"" + name + "\" could not be removed.");
      }
    }
  }
  key.reset();
  RefreshAlias(device);
  return outcome;
}

Outcome Registrations::ToggleSwitch(DeviceId id) {
  const DeviceInfo& device = Info(id);
  DeviceView& view = views_[Index(id)];
  if (!device.switchValue) return {};
  if (!view.registered) {
    view.switchOn = false;
    return {};
  }
  const bool on = !view.switchOn;
  auto key = store_.OpenKey(DevicePath(device), Access::kReadWrite);
  if (!key || key->SetString(device.switchValue, on ? "True" : "False") != StoreStatus::kOk) {
    return Failed(device, std::string("the ") + device.switchTitle + " setting (\"" + device.switchValue +
                              "\") could not be saved.");
  }
  view.switchOn = on;
  return {};
}

Outcome Registrations::WritePort(DeviceId id, const std::string& entry) {
  const DeviceInfo& device = Info(id);
  DeviceView& view = views_[Index(id)];
  if (!device.hasPort || !view.registered || view.ports.empty()) return {};
  auto key = store_.OpenKey(DevicePath(device), Access::kReadWrite);
  if (key && key->SetString("Port", entry) == StoreStatus::kOk) {
    const auto it = std::find(view.ports.begin(), view.ports.end(), entry);
    view.portSelection = it == view.ports.end() ? -1 : static_cast<int>(it - view.ports.begin());
    return {};
  }
  if (key) {
    SelectStoredPort(device, *key);
  } else if (auto reader = store_.OpenKey(DevicePath(device), Access::kRead)) {
    SelectStoredPort(device, *reader);
  }
  return Failed(device, "the serial port \"" + entry + "\" (\"Port\") could not be saved.");
}

}  // namespace opos
