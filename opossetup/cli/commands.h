// kvoposcfg: the kit's OPOS settings and a check of its devices from the
// command line, for the IT of a chain of tills (scripts, management and
// monitoring systems). The commands, their output and their exit status
// live here, free of any platform, on the registration layer KvOposSetup
// uses (one set of rules); main_win.cpp gives them the registry's views,
// files, and the device check that drives the service objects.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keystore.h"
#include "registration.h"
#include "textout.h"

namespace opos::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a write, a file or a device failed
inline constexpr int kExitUsage = 2;   // wrong usage or an invalid value; check: trouble

// ---- The device check ----

struct CheckRequest {
  DeviceId id;
  std::string progId;  // as the device key names it
};

struct CheckOptions {
  int timeoutSeconds = 10;  // per device
  int swipeSeconds = 0;     // MSR: wait this long for one card (0: none)
};

struct CheckStep {
  std::string name;  // "create", "OpenService", "Claim", ...
  long result = 0;   // the OPOS result code; for "create" an HRESULT
};

enum class CheckState { kHealthy, kFailed, kNotInstalled };

struct CheckReport {
  DeviceId id = DeviceId::kMsr;
  std::string progId;
  CheckState state = CheckState::kFailed;
  std::vector<CheckStep> steps;  // in the order made
  std::string failure;           // why it failed, naming the step
  long long milliseconds = 0;
  std::optional<bool> drawerOpened;
  std::string healthText;        // CheckHealthText
  std::string card;              // the masked account number of a swiped card
};

// Drives the service objects as a control object does, each device bounded
// by its time-out, and releases and closes everything it opened.
class DeviceChecker {
 public:
  virtual ~DeviceChecker() = default;
  virtual std::vector<CheckReport> Check(const std::vector<CheckRequest>& devices, const CheckOptions& options) = 0;
};

// What the commands need of the system they run on.
class Environment {
 public:
  virtual ~Environment() = default;
  virtual kit::TextOut& Out() = 0;
  virtual kit::TextOut& Err() = 0;
  // The registry view of this program, and on 64-bit Windows the other
  // one (nullptr elsewhere), with their names ("64-bit", "32-bit").
  virtual KeyStore& Store() = 0;
  virtual KeyStore* OtherStore() = 0;
  virtual std::string ViewName() = 0;
  virtual std::string OtherViewName() = 0;
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  // Writes through a temporary file and replaces `path` only when done.
  virtual bool WriteFileReplacing(const std::string& path, std::string_view data) = 0;
  virtual DeviceChecker& Checker() = 0;
};

// Runs one command line (without the program name); returns the exit status.
int Run(const std::vector<std::string>& args, Environment& env);

// A JSON string of UTF-8 text.
std::string JsonString(std::string_view text);

}  // namespace opos::cli
