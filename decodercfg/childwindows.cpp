#include "childwindows.h"

namespace q5r {

int WindowForCommand(int commandId, bool magneticMode) {
  switch (commandId) {
    case IDM_CONFIG_INTERFACE: return 1;
    case IDM_CONFIG_COMM: return 2;
    case IDM_CONFIG_BAR: return 3;
    case IDM_CONFIG_MISC: return 4;
    case IDM_CONFIG_TRANSMIT:
    case IDM_MAG_TRANSMIT:
    case IDT_TRANSMIT: return 5;
    case IDM_MAG_COMM: return 6;
    case IDM_MAG_MISC: return 7;
    case IDM_MAG_INTERFACE: return 8;
    case IDM_TOOLS_RDM: return 9;
    case IDT_IRM: return magneticMode ? 8 : 1;
    case IDT_COM: return magneticMode ? 6 : 2;
    case IDT_BAR: return magneticMode ? 0 : 3;
    case IDT_MIS: return magneticMode ? 7 : 4;
    default: return 0;
  }
}

}  // namespace q5r
