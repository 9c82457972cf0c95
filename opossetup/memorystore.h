// An in-memory key store for tests. Values keep the order in which they were
// first written and close up when one is deleted, as the registry lists
// them; value names compare as the registry compares them (case folded by
// Unicode's simple upper-case mapping; see UpperCase), key paths by ASCII.
// Failures can be injected per key and per value, and the store counts the
// keys left open.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "keystore.h"

namespace opos {

class MemoryStore : public KeyStore {
 public:
  struct Key {
    std::vector<std::pair<std::string, std::string>> values;  // name, data
    std::set<std::string> dwords;  // lower-case names of the REG_DWORD values (data in decimal)
  };

  // Creates the key (and nothing above it: paths are independent).
  Key& AddKey(const std::string& path);
  void RemoveKey(const std::string& path);
  void Set(const std::string& path, const std::string& name, const std::string& data);
  void SetDword(const std::string& path, const std::string& name, std::uint32_t data);
  std::optional<std::uint32_t> GetDword(const std::string& path, const std::string& name) const;
  // The value's data, or nothing.
  std::optional<std::string> Get(const std::string& path, const std::string& name) const;
  // Value names and data in enumeration order; empty for a missing key.
  std::vector<std::pair<std::string, std::string>> Values(const std::string& path) const;
  bool HasKey(const std::string& path) const;

  // Failure injection: access denied.
  void DenyOpen(const std::string& path) { denyOpen_.insert(Lower(path)); }
  void DenyWrite(const std::string& path) { denyWrite_.insert(Lower(path)); }  // read-only key
  void DenyWriteOf(const std::string& path, const std::string& name) {
    denyValue_.insert(Lower(path) + "\n" + Lower(name));
  }
  void AllowAll() { denyOpen_.clear(); denyWrite_.clear(); denyValue_.clear(); }

  int OpenKeys() const { return openKeys_; }
  int Writes() const { return writes_; }  // successful sets and deletes

  using KeyStore::OpenKey;
  std::unique_ptr<StoreKey> OpenKey(const std::string& path, Access access, StoreStatus& status) override;
  bool SameName(const std::string& a, const std::string& b) const override;

  // The simple upper-case mapping of Latin (Basic, Latin-1, Extended-A),
  // Greek, Cyrillic, Armenian and full-width Latin letters, as the
  // registry's own table maps them; other code points map to themselves.
  static char32_t UpperCase(char32_t c);

 private:
  friend class MemoryKey;
  static std::string Lower(const std::string& text);
  bool ValueDenied(const std::string& path, const std::string& name) const;

  std::map<std::string, Key> keys_;  // by lower-case path
  std::set<std::string> denyOpen_, denyWrite_, denyValue_;
  int openKeys_ = 0;
  int writes_ = 0;
};

}  // namespace opos
