#include "registration.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

namespace opos {

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

Outcome Failed(const DeviceInfo& device, const std::string& what, StoreStatus status = StoreStatus::kFailed) {
  return {false, std::string(device.title) + ": " + what, status == StoreStatus::kDenied};
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

bool Registrations::ReadAliases(KeyStore& store, const DeviceInfo& device, std::vector<std::string>& names) {
  names.clear();
  auto key = store.OpenKey(ClassPath(device), Access::kRead);
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
  ReadAliases(store_, device, names);
  views_[Index(device.id)].customName = names.empty() ? std::string() : names.front();
}

std::vector<KeyStore*> Registrations::WriteViews(const DeviceInfo& device) {
  std::vector<KeyStore*> stores{&store_};
  if (!other_) return stores;
  // A view that does not hold the device is left alone; one whose key is
  // there but cannot be opened (access denied) is written all the same,
  // so that its failure is reported, naming the view, and never passed over.
  StoreStatus status = StoreStatus::kOk;
  if (other_->OpenKey(DevicePath(device), Access::kRead, status) || status != StoreStatus::kNotFound) {
    stores.push_back(other_);
  }
  return stores;
}

std::string Registrations::Where(const KeyStore* store) const {
  return store == &store_ || otherName_.empty() ? std::string() : " in the " + otherName_ + " registry view";
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
  const std::string what = "the custom device name \"" + text + "\" could not be saved";
  // Each view's class key on its own: this device's aliases there, and
  // whether the name already stands for another device there. A name taken
  // in either view is refused in both, so the views stay in step.
  struct Plan {
    KeyStore* store;
    std::unique_ptr<StoreKey> key;
    std::vector<std::string> mine;
  };
  std::vector<Plan> plans;
  for (KeyStore* store : WriteViews(device)) {
    StoreStatus opened = StoreStatus::kOk;
    auto key = store->OpenKey(ClassPath(device), Access::kReadWrite, opened);
    if (!key) {
      plans.clear();
      RefreshAlias(device);
      return Failed(device, what + Where(store) + ".", opened);
    }
    Plan plan{store, std::move(key), {}};
    for (std::uint32_t i = 0; i < kMaxValues; ++i) {
      std::string name;
      const StoreStatus status = plan.key->EnumValueName(i, name);
      if (status == StoreStatus::kNoMoreItems) break;
      if (status != StoreStatus::kOk || name.empty()) continue;
      const auto data = plan.key->QueryString(name);
      if (data == device.deviceKey) {
        plan.mine.push_back(name);
      } else if (store->SameName(name, text)) {
        // Taking the name over would lose that device's alias.
        plan.key.reset();
        plans.clear();
        RefreshAlias(device);
        return Failed(device, "the custom device name \"" + text + "\" is already used by " +
                                  (data ? "\"" + *data + "\"" : std::string("another device")) + Where(store) +
                                  ".");
      }
    }
    plans.push_back(std::move(plan));
  }
  // The new alias is written before the old ones go, so a refused write
  // loses nothing.
  Outcome outcome;
  for (Plan& plan : plans) {
    if (const StoreStatus status = plan.key->SetString(text, device.deviceKey); status != StoreStatus::kOk) {
      if (outcome.ok) outcome = Failed(device, what + Where(plan.store) + ".", status);
      continue;
    }
    for (const std::string& name : plan.mine) {
      if (plan.store->SameName(name, text)) continue;  // the value just written
      if (plan.key->DeleteValue(name) != StoreStatus::kOk && outcome.ok) {
        outcome = Failed(device, "the old custom device name \"" + name + "\" could not be removed" +
                                     Where(plan.store) + ".");
      }
    }
  }
  plans.clear();
  RefreshAlias(device);
  // With an old alias left over the field shows the first; show the new one.
  if (outcome.ok) views_[Index(id)].customName = text;
  return outcome;
}

Outcome Registrations::RemoveCustomDeviceName(DeviceId id) {
  const DeviceInfo& device = Info(id);
  if (!View(id).registered) return {};
  Outcome outcome;
  for (KeyStore* store : WriteViews(device)) {
    std::vector<std::string> mine;
    auto key = store->OpenKey(ClassPath(device), Access::kReadWrite);
    if (!key || !ReadAliases(*store, device, mine)) {
      if (outcome.ok) outcome = Failed(device, "the custom device name could not be removed" + Where(store) + ".");
      continue;
    }
    for (const std::string& name : mine) {
      if (key->DeleteValue(name) != StoreStatus::kOk && outcome.ok) {
        outcome = Failed(device, "the custom device name \"" + name + "\" could not be removed" + Where(store) + ".");
      }
    }
  }
  RefreshAlias(device);
  return outcome;
}

Outcome Registrations::WriteDeviceValue(const DeviceInfo& device, const char* name, const std::string& value,
                                        const std::string& what, bool dword) {
  Outcome outcome;
  for (KeyStore* store : WriteViews(device)) {
    StoreStatus status = StoreStatus::kOk;
    auto key = store->OpenKey(DevicePath(device), Access::kReadWrite, status);
    if (key) {
      status = dword ? key->SetDword(name, static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10)))
                     : key->SetString(name, value);
    }
    if (status != StoreStatus::kOk && outcome.ok) outcome = Failed(device, what + Where(store) + ".", status);
  }
  return outcome;
}

Outcome Registrations::WriteSetting(DeviceId id, const std::string& name, const std::string& value, bool dword) {
  const DeviceInfo& device = Info(id);
  if (!View(id).registered) return Failed(device, "the device is not registered (its key or ProgID is missing).");
  return WriteDeviceValue(device, name.c_str(), value,
                          "the setting \"" + name + "\" = \"" + value + "\" could not be saved", dword);
}

Outcome Registrations::RemoveCustomDeviceName(DeviceId id, const std::string& name) {
  const DeviceInfo& device = Info(id);
  if (!View(id).registered) return Failed(device, "the device is not registered (its key or ProgID is missing).");
  Outcome outcome;
  bool found = false;
  for (KeyStore* store : WriteViews(device)) {
    std::vector<std::string> mine;
    StoreStatus status = StoreStatus::kOk;
    auto key = store->OpenKey(ClassPath(device), Access::kReadWrite, status);
    if (!key || !ReadAliases(*store, device, mine)) {
      if (outcome.ok) outcome = Failed(device, "the custom device name could not be removed" + Where(store) + ".", status);
      continue;
    }
    for (const std::string& alias : mine) {
      if (!store->SameName(alias, name)) continue;
      found = true;
      status = key->DeleteValue(alias);
      if (status != StoreStatus::kOk && outcome.ok) {
        outcome = Failed(device, "the custom device name \"" + alias + "\" could not be removed" + Where(store) + ".",
                         status);
      }
    }
  }
  RefreshAlias(device);
  if (!found && outcome.ok) outcome = Failed(device, "\"" + name + "\" is not a custom device name of it.");
  return outcome;
}

std::optional<std::string> Registrations::CustomNameTaken(DeviceId id, const std::string& name) {
  const DeviceInfo& device = Info(id);
  for (KeyStore* store : WriteViews(device)) {
    auto key = store->OpenKey(ClassPath(device), Access::kRead);
    if (!key) continue;
    for (std::uint32_t i = 0; i < kMaxValues; ++i) {
      std::string value;
      const StoreStatus status = key->EnumValueName(i, value);
      if (status == StoreStatus::kNoMoreItems) break;
      if (status != StoreStatus::kOk || value.empty() || !store->SameName(value, name)) continue;
      const auto data = key->QueryString(value);
      if (data == device.deviceKey) continue;
      return std::string(device.title) + ": the custom device name \"" + name + "\" is already used by " +
             (data ? "\"" + *data + "\"" : std::string("another device")) + Where(store) + ".";
    }
  }
  return std::nullopt;
}

DeviceState ReadDeviceState(KeyStore& store, const DeviceInfo& device) {
  DeviceState state;
  auto key = store.OpenKey(DevicePath(device), Access::kRead);
  if (!key) return state;
  state.keyFound = true;
  state.progId = key->QueryString("");
  state.registered = state.progId == device.progId;
  std::vector<const char*> names;
  if (device.hasPort) names.push_back("Port");
  if (device.switchValue) names.push_back(device.switchValue);
  names.push_back("TraceLevel");
  // What the installation lays down, shown but never written here.
  names.push_back(device.id == DeviceId::kMsr ? "Type" : "OpSysNT");
  for (const char* name : names) {
    if (const auto number = key->QueryDword(name)) {
      state.values.emplace_back(name, std::to_string(*number));
    } else if (const auto text = key->QueryString(name)) {
      state.values.emplace_back(name, *text);
    }
  }
  key.reset();
  if (auto classKey = store.OpenKey(ClassPath(device), Access::kRead)) {
    for (std::uint32_t i = 0; i < kMaxValues; ++i) {
      std::string name;
      const StoreStatus status = classKey->EnumValueName(i, name);
      if (status == StoreStatus::kNoMoreItems) break;
      if (status != StoreStatus::kOk || name.empty()) continue;
      if (classKey->QueryString(name) == device.deviceKey) state.customNames.push_back(name);
    }
  }
  return state;
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
  const Outcome outcome =
      WriteDeviceValue(device, device.switchValue, on ? "True" : "False",
                       std::string("the ") + device.switchTitle + " setting (\"" + device.switchValue +
                           "\") could not be saved");
  // The box shows what this view holds now.
  if (auto key = store_.OpenKey(DevicePath(device), Access::kRead)) {
    view.switchOn = key->QueryString(device.switchValue) == "True";
  }
  return outcome;
}

Outcome Registrations::WritePort(DeviceId id, const std::string& entry) {
  const DeviceInfo& device = Info(id);
  DeviceView& view = views_[Index(id)];
  if (!device.hasPort || !view.registered || view.ports.empty()) return {};
  const Outcome outcome =
      WriteDeviceValue(device, "Port", entry, "the serial port \"" + entry + "\" (\"Port\") could not be saved");
  if (auto key = store_.OpenKey(DevicePath(device), Access::kRead)) SelectStoredPort(device, *key);
  return outcome;
}

}  // namespace opos
