// COM packaging of a service object module: one table-driven class factory,
// the module lock behind DllCanUnloadNow, and the registration that
// DllRegisterServer writes. Each module defines `oposso::kModule`; the
// three exports live here and go out through the module's .def file.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <span>
#include <string>
#include <vector>

namespace oposso {

struct ClassEntry {
  const CLSID* clsid;
  // Creates a new object and asks it for `riid`.
  HRESULT (*create)(REFIID riid, void** out);
};

struct ModuleDescription {
  const char* progId;       // e.g. "KvSO.KvMsr"
  const char* description;  // the class's default value
  const GUID* libid;        // the TYPELIB resource's library
  std::span<const ClassEntry> classes;  // the first is the ProgID's class
  // DllRegisterServer also registers the TYPELIB resource's library, for a
  // module whose objects answer type information from it.
  bool registersTypeLib = false;
};

// Defined by each module.
extern const ModuleDescription kModule;

// Writes the module's registration under `root` (HKEY_CLASSES_ROOT for
// DllRegisterServer): "<ProgID>\CLSID", "CLSID\{clsid}" with "ProgID",
// "InprocServer32" = `serverPath` and ThreadingModel "Apartment", and
// "TypeLib". On the first failing call everything it wrote is removed and
// that call's error returned as an HRESULT.
HRESULT RegisterServer(HKEY root, const ModuleDescription& module, const std::string& serverPath);

// The parts of RegisterServer: the values it writes, and the writer that
// takes back the `trees` (paths below `root`) when a write fails.
struct RegistryEntry {
  std::string path;  // key below the root
  const char* name;  // nullptr: the default value
  std::string value;
};
std::vector<RegistryEntry> RegistrationEntries(const ModuleDescription& module, const std::string& serverPath);
std::vector<std::string> RegistrationTrees(const ModuleDescription& module);
HRESULT WriteRegistration(HKEY root, std::span<const RegistryEntry> entries, std::span<const std::string> trees);

std::string GuidText(const GUID& guid);

}  // namespace oposso
