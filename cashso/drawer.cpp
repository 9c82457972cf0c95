#include "drawer.h"

namespace cash {

const std::array<opos::Method, 13> kDrawerMethods = [] {
  std::array<opos::Method, 13> table{};
  for (std::size_t i = 0; i < opos::kCommonMethods.size(); ++i) table[i] = opos::kCommonMethods[i];
  table[11] = {"OpenDrawer", opos::kDeviceMethod12, opos::Returns::kLong, 0, {}};
  table[12] = {"WaitForDrawerClose", opos::kDeviceMethod13, opos::Returns::kLong, 4,
               {opos::Param::kLong, opos::Param::kLong, opos::Param::kLong, opos::Param::kLong}};
  return table;
}();

const wchar_t* StringPropertyText(long index, const DrawerVariant& drawer) {
  for (const StringProperty& p : kStringProperties) {
    if (p.index == index) return drawer.number == 2 ? p.drawer2 : p.drawer1;
  }
  return kUnknownText;
}

bool CapStatusFrom(const std::optional<std::string>& capStatus) {
  return !(capStatus && *capStatus == "False");
}

bool DirectModeFrom(const std::optional<std::string>& opSysNT) { return opSysNT && *opSysNT == "False"; }

long DrawerOpenedFrom(std::uint8_t status, std::uint8_t mask) { return (status & mask) != 0 ? 0 : 1; }

long ReadDrawerOpened(DrawerPort& port, std::uint8_t mask) {
  const std::optional<std::uint8_t> status = port.ReadStatus();
  if (!status) return 0;
  return DrawerOpenedFrom(*status, mask);
}

void KickPulse(DrawerPort& port, Till& till, std::uint8_t kick) {
  port.WriteKick(kick);
  till.Sleep(kPulseMs);
  port.WriteKick(0);
}

}  // namespace cash
