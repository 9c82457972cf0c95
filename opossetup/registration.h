// The kit's OPOS registry entries and the setup program's operations on
// them: recognising the four devices, their custom device names (aliases in
// the class keys), drawer status reporting, the MSR's LRC switch and the
// serial port of the line display and the MSR.
//
// Every operation opens the keys it needs and closes them before it returns.
// Custom names belong to the user and to other vendors' devices: an alias
// operation looks at every value of the class key and touches only the
// values whose data is this device's key name. A write that fails leaves the
// view at what the registry holds and says which setting was not saved.
//
// On 64-bit Windows the OPOS tree exists twice, once for 64-bit and once for
// 32-bit applications (the registry's two views). The program reads its own
// view; every write goes to both, with the alias rules applied to each
// view's class key on its own, for each device whose key the other view
// holds.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "keystore.h"

namespace opos {

enum class DeviceId { kCashDrawer1, kCashDrawer2, kLineDisplay, kMsr };

enum class AliasRule {
  kSharedTwoSlot,  // both drawers keep their aliases in the one CashDrawer key
  kSingle,         // one alias per class key
};

struct DeviceInfo {
  DeviceId id;
  const char* title;        // the dialog's group caption, used in messages
  const char* classKey;     // below kServiceOpos
  const char* deviceKey;    // below the class key; also the alias data
  const char* progId;       // expected default value of the device key
  AliasRule aliasRule;
  const char* switchValue;  // "CapStatus", "Lrc" or nullptr
  const char* switchTitle;  // what the switch is called in messages
  bool hasPort;             // "Port" and the port list
};

inline constexpr const char* kServiceOpos = "SOFTWARE\\OLEforRetail\\ServiceOPOS";
inline constexpr const char* kNotSelected = "Not Selected";
inline constexpr const char* kKbdMsrSelected = "Kbd Msr Selected";
inline constexpr std::size_t kCustomNameLimit = 20;

extern const std::array<DeviceInfo, 4> kDevices;
const DeviceInfo& Info(DeviceId id);
std::string ClassPath(const DeviceInfo& device);
std::string DevicePath(const DeviceInfo& device);
// The serial ports every port list offers, in order.
extern const std::array<const char*, 8> kPorts;

// What the dialog shows for one device.
struct DeviceView {
  bool registered = false;     // set by Load only
  std::string deviceName = kNotSelected;
  std::string customName;      // this device's alias, or ""
  bool switchOn = false;       // status reporting (drawers) or include LRC (MSR)
  std::vector<std::string> ports;
  int portSelection = -1;      // index into ports, -1 for none
};

// The result of an operation the user started.
struct Outcome {
  bool ok = true;       // false: something could not be saved
  std::string message;  // for the user when !ok: names the setting
  bool denied = false;  // a write was refused for want of rights
};

// What one registry view holds of a device, for listing and export.
struct DeviceState {
  bool keyFound = false;
  bool registered = false;                  // the key's ProgID is the kit's
  std::optional<std::string> progId;        // the key's default value
  // Its settings and other values, in a fixed order, as text ("TraceLevel"
  // in decimal); values the key does not hold are left out.
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<std::string> customNames;     // the class key's values naming it
};
DeviceState ReadDeviceState(KeyStore& store, const DeviceInfo& device);

class Registrations {
 public:
  // `other`: the registry's other view, kept in step with `store`; its name
  // (such as "32-bit") says where a write failed.
  explicit Registrations(KeyStore& store, KeyStore* other = nullptr, std::string otherName = {})
      : store_(store), other_(other), otherName_(std::move(otherName)) {}

  // Reads every device: line display, drawer 1, drawer 2, MSR.
  void Load();
  const DeviceView& View(DeviceId id) const { return views_[Index(id)]; }

  // "Add": makes `text` this device's one alias. Refused without a word when
  // the device is not registered or the text is empty.
  Outcome AddCustomDeviceName(DeviceId id, const std::string& text);
  // "Remove": deletes this device's aliases, and no other value.
  Outcome RemoveCustomDeviceName(DeviceId id);
  // The status check box of a drawer, the LRC check box of the MSR: inverts
  // the stored state and writes it.
  Outcome WriteCapStatus(DeviceId drawer) { return ToggleSwitch(drawer); }
  Outcome WriteIncludeLrc() { return ToggleSwitch(DeviceId::kMsr); }
  Outcome ToggleSwitch(DeviceId id);
  // A confirmed choice in the port list.
  Outcome WritePort(DeviceId id, const std::string& entry);

  // Writes one setting by its registry name (checked by the caller, see
  // settings.h): "TraceLevel" as a REG_DWORD, the others as text.
  Outcome WriteSetting(DeviceId id, const std::string& name, const std::string& value, bool dword);
  // Deletes the alias `name` of this device (compared as the registry
  // compares names) in every view; refused when it is not this device's.
  Outcome RemoveCustomDeviceName(DeviceId id, const std::string& name);
  // Why `name` cannot become this device's custom name in either view
  // (another device holds it), or nothing when it can.
  std::optional<std::string> CustomNameTaken(DeviceId id, const std::string& name);

 private:
  static std::size_t Index(DeviceId id) { return static_cast<std::size_t>(id); }
  void Recognise(const DeviceInfo& device);
  void LoadPorts(const DeviceInfo& device);
  // Names of the class key's values whose data is the device's key name, in
  // enumeration order; false when the class key cannot be opened.
  bool ReadAliases(KeyStore& store, const DeviceInfo& device, std::vector<std::string>& names);
  void RefreshAlias(const DeviceInfo& device);
  void SelectStoredPort(const DeviceInfo& device, StoreKey& key);
  // The stores a write of `device` goes to: this view, and the other one
  // unless it does not hold the device's key.
  std::vector<KeyStore*> WriteViews(const DeviceInfo& device);
  // " in the 32-bit registry view" for the other view, "" for this one.
  std::string Where(const KeyStore* store) const;
  // Writes `name` = `value` into the device's key in every view.
  Outcome WriteDeviceValue(const DeviceInfo& device, const char* name, const std::string& value,
                           const std::string& what, bool dword = false);

  KeyStore& store_;
  KeyStore* other_;
  std::string otherName_;
  std::array<DeviceView, 4> views_{};
};

}  // namespace opos
