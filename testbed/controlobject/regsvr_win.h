// Registering a test's in-process servers as an installation would.
#pragma once

#include <windows.h>

#include <string>

namespace testbed {

// Registers an in-process server as an installation would, with
// "regsvr32 /s". Empty on success; otherwise which step failed and why:
// regsvr32 could not start, did not finish within `timeoutMs` (it is then
// ended), or its exit code with what it means.
std::string RegisterServer(const std::wstring& dllPath, DWORD timeoutMs = 60000);

}  // namespace testbed
