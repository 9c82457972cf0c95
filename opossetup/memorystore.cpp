#include "memorystore.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace opos {

std::string MemoryStore::Lower(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

namespace {

// The code points of UTF-8 text; a byte that starts no valid sequence
// stands for itself, so any input decodes.
std::u32string Decode(const std::string& text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid) {
      out.push_back(b);
      ++i;
      continue;
    }
    out.push_back(c);
    i += length;
  }
  return out;
}

// UTF-16 units of UTF-8 text.
std::size_t Units(const std::string& text) {
  std::size_t units = 0;
  for (char32_t c : Decode(text)) units += c > 0xFFFF ? 2 : 1;
  return units;
}

}  // namespace

char32_t MemoryStore::UpperCase(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c < 0x80) return c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // Latin-1
  if (c == 0xFF) return 0x178;
  // Latin Extended-A and Cyrillic supplements: upper and lower case pairs,
  // the capital first, from an even or an odd code point.
  const struct {
    char32_t first, last;
    bool capitalEven;
  } pairs[] = {{0x100, 0x12F, true},  {0x132, 0x137, true},  {0x139, 0x148, false}, {0x14A, 0x177, true},
               {0x179, 0x17E, false}, {0x460, 0x481, true},  {0x48A, 0x4BF, true},  {0x4C1, 0x4CE, false},
               {0x4D0, 0x4FF, true}};
  for (const auto& range : pairs) {
    if (c >= range.first && c <= range.last) return ((c % 2 == 0) == range.capitalEven) ? c : c - 1;
  }
  if (c == 0x3C2) return 0x3A3;                                  // final sigma
  if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;                 // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;                 // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c >= 0x561 && c <= 0x586) return c - 0x30;                 // Armenian
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;               // full-width Latin
  return c;
}

bool MemoryStore::SameName(const std::string& a, const std::string& b) const {
  const std::u32string x = Decode(a), y = Decode(b);
  return x.size() == y.size() &&
         std::equal(x.begin(), x.end(), y.begin(), [](char32_t p, char32_t q) { return UpperCase(p) == UpperCase(q); });
}

namespace {

auto FindValue(const MemoryStore& store, MemoryStore::Key& key, const std::string& name) {
  return std::find_if(key.values.begin(), key.values.end(),
                      [&](const auto& value) { return store.SameName(value.first, name); });
}

}  // namespace

MemoryStore::Key& MemoryStore::AddKey(const std::string& path) { return keys_[Lower(path)]; }

void MemoryStore::RemoveKey(const std::string& path) { keys_.erase(Lower(path)); }

bool MemoryStore::HasKey(const std::string& path) const { return keys_.count(Lower(path)) != 0; }

void MemoryStore::Set(const std::string& path, const std::string& name, const std::string& data) {
  Key& key = AddKey(path);
  key.dwords.erase(Lower(name));
  auto it = FindValue(*this, key, name);
  if (it != key.values.end()) {
    it->second = data;
  } else {
    key.values.emplace_back(name, data);
  }
}

void MemoryStore::SetDword(const std::string& path, const std::string& name, std::uint32_t data) {
  Set(path, name, std::to_string(data));
  AddKey(path).dwords.insert(Lower(name));
}

std::optional<std::uint32_t> MemoryStore::GetDword(const std::string& path, const std::string& name) const {
  auto key = keys_.find(Lower(path));
  if (key == keys_.end() || key->second.dwords.count(Lower(name)) == 0) return std::nullopt;
  const auto data = Get(path, name);
  return data ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(std::stoul(*data))) : std::nullopt;
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
    if (store_.GetDword(path_, name)) return std::nullopt;  // of another type
    auto data = store_.Get(path_, name);
    if (data && Units(*data) > kMaxDataUnits) return std::nullopt;
    return data;
  }

  StoreStatus EnumValueName(std::uint32_t index, std::string& name) override {
    name.clear();
    auto* key = Find();
    if (!key) return StoreStatus::kFailed;
    if (index >= key->values.size()) return StoreStatus::kNoMoreItems;
    name = key->values[index].first;
    return StoreStatus::kOk;
  }

  StoreStatus SetString(const std::string& name, const std::string& value) override {
    if (!Find()) return StoreStatus::kFailed;
    if (!writable_ || store_.ValueDenied(path_, name)) return StoreStatus::kDenied;
    if (Units(name) > kMaxValueNameUnits) return StoreStatus::kFailed;
    store_.Set(path_, name, value);
    ++store_.writes_;
    return StoreStatus::kOk;
  }

  StoreStatus DeleteValue(const std::string& name) override {
    auto* key = Find();
    if (!key) return StoreStatus::kFailed;
    if (!writable_ || store_.ValueDenied(path_, name)) return StoreStatus::kDenied;
    auto it = FindValue(store_, *key, name);
    if (it == key->values.end()) return StoreStatus::kNotFound;
    key->dwords.erase(MemoryStore::Lower(it->first));
    key->values.erase(it);
    ++store_.writes_;
    return StoreStatus::kOk;
  }

  std::optional<std::uint32_t> QueryDword(const std::string& name) override { return store_.GetDword(path_, name); }

  StoreStatus SetDword(const std::string& name, std::uint32_t value) override {
    if (!Find()) return StoreStatus::kFailed;
    if (!writable_ || store_.ValueDenied(path_, name)) return StoreStatus::kDenied;
    store_.SetDword(path_, name, value);
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

std::unique_ptr<StoreKey> MemoryStore::OpenKey(const std::string& path, Access access, StoreStatus& status) {
  status = !HasKey(path) ? StoreStatus::kNotFound : denyOpen_.count(Lower(path)) ? StoreStatus::kDenied : StoreStatus::kOk;
  if (status != StoreStatus::kOk) return nullptr;
  return std::make_unique<MemoryKey>(*this, path, access == Access::kReadWrite);
}

}  // namespace opos
