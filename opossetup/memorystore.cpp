#include "memorystore.h"

#include <algorithm>
#include <cctype>

namespace opos {

std::string MemoryStore::Lower(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

namespace {

auto FindValue(MemoryStore::Key& key, const std::string& name) {
  return std::find_if(key.values.begin(), key.values.end(),
                      [&](const auto& value) { return SameName(value.first, name); });
}

}  // namespace

MemoryStore::Key& MemoryStore::AddKey(const std::string& path) { return keys_[Lower(path)]; }

void MemoryStore::RemoveKey(const std::string& path) { keys_.erase(Lower(path)); }

bool MemoryStore::HasKey(const std::string& path) const { return keys_.count(Lower(path)) != 0; }

void MemoryStore::Set(const std::string& path, const std::string& name, const std::string& data) {
  Key& key = AddKey(path);
  auto it = FindValue(key, name);
  if (it != key.values.end()) {
    it->second = data;
  } else {
    key.values.emplace_back(name, data);
  }
}

std::optional<std::string> MemoryStore::Get(const std::string& path, const std::string& name) const {
  auto key = keys_.find(Lower(path));
  if (key == keys_.end()) return std::nullopt;
  for (const auto& value : key->second.values) {
    if (SameName(value.first, name)) return value.second;
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> MemoryStore::Values(const std::string& path) const {
  auto key = keys_.find(Lower(path));
  return key == keys_.end() ? std::vector<std::pair<std::string, std::string>>{} : key->second.values;
}

bool MemoryStore::ValueDenied(const std::string& path, const std::string& name) const {
  return denyWrite_.count(Lower(path)) != 0 || denyValue_.count(Lower(path) + "\n" + Lower(name)) != 0;
}

class MemoryKey : public StoreKey {
 public:
  MemoryKey(MemoryStore& store, std::string path, bool writable)
      : store_(store), path_(std::move(path)), writable_(writable) {
    ++store_.openKeys_;
  }
  ~MemoryKey() override { --store_.openKeys_; }
  MemoryKey(const MemoryKey&) = delete;
  MemoryKey& operator=(const MemoryKey&) = delete;

  std::optional<std::string> QueryString(const std::string& name) override {
    auto data = store_.Get(path_, name);
    if (data && data->size() >= MemoryStore::kBuffer) return std::nullopt;
    return data;
  }

  StoreStatus EnumValueName(std::uint32_t index, std::string& name) override {
    name.clear();
    auto* key = Find();
    if (!key) return StoreStatus::kFailed;
    if (index >= key->values.size()) return StoreStatus::kNoMoreItems;
    if (key->values[index].first.size() >= MemoryStore::kBuffer) return StoreStatus::kFailed;
    name = key->values[index].first;
    return StoreStatus::kOk;
  }

  StoreStatus SetString(const std::string& name, const std::string& value) override {
    if (!writable_ || store_.ValueDenied(path_, name) || !Find()) return StoreStatus::kFailed;
    store_.Set(path_, name, value);
    ++store_.writes_;
    return StoreStatus::kOk;
  }

  StoreStatus DeleteValue(const std::string& name) override {
    auto* key = Find();
    if (!writable_ || store_.ValueDenied(path_, name) || !key) return StoreStatus::kFailed;
    auto it = FindValue(*key, name);
    if (it == key->values.end()) return StoreStatus::kNotFound;
    key->values.erase(it);
    ++store_.writes_;
    return StoreStatus::kOk;
  }

 private:
  MemoryStore::Key* Find() {
    auto it = store_.keys_.find(MemoryStore::Lower(path_));
    return it == store_.keys_.end() ? nullptr : &it->second;
  }

  MemoryStore& store_;
  std::string path_;
  bool writable_;
};

std::unique_ptr<StoreKey> MemoryStore::OpenKey(const std::string& path, Access access) {
  if (!HasKey(path) || denyOpen_.count(Lower(path)) != 0) return nullptr;
  return std::make_unique<MemoryKey>(*this, path, access == Access::kReadWrite);
}

}  // namespace opos
