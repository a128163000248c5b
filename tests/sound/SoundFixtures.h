// Small WAV files and a scratch folder for the sound tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "TData.h"
#include "uFiles.h"

namespace dikton::test {

// A folder of its own for one test, removed with everything in it afterwards.
class TTempDir {
 public:
  TTempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("dikton-sound-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // UTF-8, as the program holds paths.
  std::string Dir() const { return Utf8Path(path_); }
  std::string File(const std::string& name) const { return Utf8Path(path_ / FsPath(name)); }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TWavSpec {
  uint16_t Format = 1;  // 1 PCM, 0xFFFE EXTENSIBLE
  uint16_t Channels = 1;
  uint32_t Rate = 10000;
  uint16_t Bits = 16;
  bool PcmSubFormat = true;     // EXTENSIBLE only
  bool ListBeforeData = false;  // an odd-sized LIST chunk between fmt and data
  std::vector<int16_t> Samples;
  int64_t DeclaredData = -1;  // data chunk size as written; -1: the samples' real size
};

inline void Push16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
inline void Push32(std::vector<uint8_t>& v, uint32_t x) {
  Push16(v, uint16_t(x));
  Push16(v, uint16_t(x >> 16));
}
inline void PushBytes(std::vector<uint8_t>& v, const void* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) v.push_back(static_cast<const uint8_t*>(bytes)[i]);
}
inline void PushTag(std::vector<uint8_t>& v, const char* tag) { PushBytes(v, tag, 4); }

inline std::vector<uint8_t> WavBytes(const TWavSpec& s) {
  const uint16_t align = uint16_t(s.Channels * s.Bits / 8);
  std::vector<uint8_t> v;
  PushTag(v, "RIFF");
  Push32(v, 0);  // patched below
  PushTag(v, "WAVE");
  const bool ext = s.Format == 0xFFFE;
  PushTag(v, "fmt ");
  Push32(v, ext ? 40 : 16);
  Push16(v, s.Format);
  Push16(v, s.Channels);
  Push32(v, s.Rate);
  Push32(v, s.Rate * align);
  Push16(v, align);
  Push16(v, s.Bits);
  if (ext) {
    Push16(v, 22);  // cbSize
    Push16(v, s.Bits);
    Push32(v, 0x4);  // front centre
    const uint8_t pcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    PushBytes(v, pcm, 16);
    if (!s.PcmSubFormat) v[v.size() - 16] = 0x03;  // IEEE float
  }
  if (s.ListBeforeData) {
    PushTag(v, "LIST");
    Push32(v, 9);  // odd: one pad byte follows
    const char info[] = "INFOisft\x01";
    PushBytes(v, info, 9);
    v.push_back(0);
  }
  PushTag(v, "data");
  const uint32_t real = uint32_t(2 * s.Samples.size());
  Push32(v, s.DeclaredData < 0 ? real : uint32_t(s.DeclaredData));
  for (const int16_t x : s.Samples) Push16(v, uint16_t(x));
  const uint32_t riff = uint32_t(v.size() - 8);
  v[4] = uint8_t(riff), v[5] = uint8_t(riff >> 8), v[6] = uint8_t(riff >> 16),
  v[7] = uint8_t(riff >> 24);
  return v;
}

// A valid fragment of n samples (a ramp), written to 'path'.
inline std::vector<int16_t> WriteFragment(const std::string& path, size_t n) {
  TWavSpec s;
  for (size_t i = 0; i < n; ++i) s.Samples.push_back(int16_t(i * 97 - 20000));
  WriteBytes(path, WavBytes(s));
  return s.Samples;
}

}  // namespace dikton::test
