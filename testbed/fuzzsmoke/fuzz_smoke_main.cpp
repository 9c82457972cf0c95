// A stand-in for libFuzzer's driver, linked with any fuzz target's source so
// the native test tree (gcc, ASan + UBSan) runs every target on each ctest.
//
//   <target>_smoke [-mutations=N] SEED...
//
// Each SEED is a file, or a directory whose regular files are all seeds (a
// fuzz corpus). Every seed goes to LLVMFuzzerTestOneInput as is, then N
// mutants of it (default 3000): bit flips, byte changes, truncations, line
// duplications and deletions, inserted CR, LF, '-', blanks and digits. The
// pseudo-random sequence is fixed, so every run feeds the same inputs. A
// target reports a fault by crashing, as under libFuzzer; the exit code is
// non-zero also when no seed could be read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// splitmix64: the same sequence with every compiler and library.
class Random {
 public:
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1; n must not be 0.
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

 private:
  std::uint64_t state_ = 20261208;
};

void Run(const std::string& input) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

// Start and end (past the LF, if any) of the line holding `at`.
std::pair<std::size_t, std::size_t> LineAround(const std::string& s, std::size_t at) {
  const std::size_t nl = s.rfind('\n', at == 0 ? 0 : at - 1);
  const std::size_t begin = (at == 0 || nl == std::string::npos) ? 0 : nl + 1;
  const std::size_t end = s.find('\n', at);
  return {begin, end == std::string::npos ? s.size() : end + 1};
}

void Mutate(std::string& s, Random& rnd) {
  static constexpr std::string_view kInserts[] = {"\r", "\n", "\r\n", "-", " ", "0", "7",
                                                  "255", "256", "-32768", "99999999999"};
  const std::size_t at = rnd.Below(s.size() + 1);  // may be the end
  switch (rnd.Below(6)) {
    case 0:
      if (at < s.size()) s[at] = static_cast<char>(s[at] ^ (1u << rnd.Below(8)));
      break;
    case 1:
      if (at < s.size()) s[at] = static_cast<char>(rnd.Below(256));
      break;
    case 2:
      s.resize(at);
      break;
    case 3: {
      const auto [begin, end] = LineAround(s, at);
      s.insert(begin, s.substr(begin, end - begin));
      break;
    }
    case 4: {
      const auto [begin, end] = LineAround(s, at);
      s.erase(begin, end - begin);
      break;
    }
    default: {
      const std::string_view text = kInserts[rnd.Below(std::size(kInserts))];
      s.insert(at, text.data(), text.size());
      break;
    }
  }
}

bool ReadFile(const std::filesystem::path& path, std::vector<std::string>& seeds) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long mutations = 3000;
  std::vector<std::string> seeds;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.rfind("-mutations=", 0) == 0) {
      mutations = std::strtol(argv[i] + 11, nullptr, 10);
      continue;
    }
    std::error_code error;
    if (std::filesystem::is_directory(arg, error)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name[0] != '.') files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());  // directory order is not stable
      for (const auto& file : files) ReadFile(file, seeds);
    } else if (!ReadFile(arg, seeds)) {
      std::fprintf(stderr, "cannot read seed %s\n", argv[i]);
      return 2;
    }
  }
  if (seeds.empty()) {
    std::fprintf(stderr, "usage: %s [-mutations=N] SEED_FILE_OR_DIR...\n", argv[0]);
    return 2;
  }

  Random rnd;
  Run(std::string());
  long runs = 1;
  for (const std::string& seed : seeds) {
    Run(seed);
    ++runs;
    for (long m = 0; m < mutations; ++m, ++runs) {
      std::string input = seed;
      for (std::size_t n = 1 + rnd.Below(4); n > 0; --n) Mutate(input, rnd);
      Run(input);
    }
  }
  std::printf("%zu seeds, %ld inputs, no fault\n", seeds.size(), runs);
  return 0;
}
