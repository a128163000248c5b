// What the fuzz targets share: a check that stops the run with a message libFuzzer reports as
// a finding, and a private temporary folder per run for the readers that take file paths.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace dikton::fuzz {

// An assertion that holds in every build type: a broken one aborts, which libFuzzer records as
// a crash with the input that caused it.
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}
#define FUZZ_CHECK(cond) ((cond) ? void(0) : ::dikton::fuzz::Fail(#cond, __FILE__, __LINE__))

// A fresh folder under the system's temporary folder, removed with everything in it.
class TTempDir {
 public:
  TTempDir() {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "dikton-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp", __FILE__, __LINE__);
    path_ = pattern;
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& Path() const { return path_; }
  // Writes 'n' bytes to a file of that name in the folder; returns its full path.
  std::string Put(const std::string& name, const uint8_t* data, size_t n) const {
    const std::filesystem::path p = path_ / name;
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(n));
    out.close();
    if (!out) Fail("writing the input file", __FILE__, __LINE__);
    return p.string();
  }
  std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) const {
    return Put(name, bytes.data(), bytes.size());
  }

 private:
  std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace dikton::fuzz
