#include "uWavFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <system_error>

#include "TData.h"

namespace dikton {

namespace {

constexpr uint64_t kRiffHeaderBytes = 12;     // "RIFF", size, "WAVE"
constexpr uint64_t kChunkHeaderBytes = 8;     // chunk id, chunk size
constexpr uint32_t kFmtPcmBytes = 16;         // fmt chunk of plain PCM
constexpr uint32_t kFmtExtensibleBytes = 40;  // fmt chunk with the EXTENSIBLE tail
constexpr uint32_t kFmtSubFormatOffset = 24;  // bytes into the fmt chunk
constexpr uint16_t kWaveFormatPcm = 0x0001;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr uint16_t kFragmentChannels = 1;
constexpr uint32_t kFragmentRate = 10000;    // samples/s
constexpr uint16_t kFragmentBlockAlign = 2;  // bytes per sample frame
constexpr uint16_t kFragmentBits = 16;       // bits per sample
constexpr uint32_t kSampleBytes = 2;         // bytes of one 16-bit sample

// KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00aa00389b71, as it lies in the file.
constexpr std::array<uint8_t, 16> kPcmSubFormat{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return Get32(p); }

bool IsDelimiter(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/' || c == ':';
#else
  return c == '/';
#endif
}

// Index of the last delimiter, or npos.
size_t LastDelimiter(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsDelimiter(path[i - 1])) return i - 1;
  return std::string_view::npos;
}

bool ReadAt(std::ifstream& in, uint64_t offset, uint8_t* out, size_t n) {
  in.clear();
  in.seekg(std::streamoff(offset));
  in.read(reinterpret_cast<char*>(out), std::streamsize(n));
  return in.gcount() == std::streamsize(n);
}

bool FormatIsFragment(const uint8_t* fmt, uint32_t fmtBytes) {
  if (fmtBytes < kFmtPcmBytes) return false;
  const uint16_t tag = Le16(fmt);
  const uint16_t channels = Le16(fmt + 2);
  const uint32_t rate = Le32(fmt + 4);
  const uint16_t blockAlign = Le16(fmt + 12);
  const uint16_t bits = Le16(fmt + 14);
  bool pcm = tag == kWaveFormatPcm;
  if (tag == kWaveFormatExtensible && fmtBytes >= kFmtExtensibleBytes)
    pcm = std::equal(kPcmSubFormat.begin(), kPcmSubFormat.end(), fmt + kFmtSubFormatOffset);
  return pcm && channels == kFragmentChannels && rate == kFragmentRate &&
         blockAlign == kFragmentBlockAlign && bits == kFragmentBits;
}

}  // namespace

std::optional<TWavInfo> ReadWavInfo(const std::string& path) {
  const std::filesystem::path fs = FsPath(path);
  // Only a regular file: a folder or a device would read as garbage or never end.
  const std::optional<uint64_t> regularSize = RegularFileSize(fs);
  if (!regularSize) return std::nullopt;
  const uint64_t fileSize = *regularSize;
  std::ifstream in(fs, std::ios::binary);
  if (!in) return std::nullopt;

  uint8_t head[kRiffHeaderBytes];
  if (fileSize < kRiffHeaderBytes || !ReadAt(in, 0, head, sizeof head)) return std::nullopt;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
    return std::nullopt;

  std::array<uint8_t, kFmtExtensibleBytes> fmt{};
  uint32_t fmtBytes = 0;
  bool haveFmt = false, haveData = false;
  TWavInfo info;
  // The RIFF size field is not trusted (streaming writers leave it wrong): the walk is bounded
  // by the file. Every step moves on by at least one chunk header, so it always ends.
  uint64_t pos = kRiffHeaderBytes;
  while (pos + kChunkHeaderBytes <= fileSize && !(haveFmt && haveData)) {
    uint8_t chunk[kChunkHeaderBytes];
    if (!ReadAt(in, pos, chunk, sizeof chunk)) break;
    const uint32_t size = Le32(chunk + 4);
    const uint64_t body = pos + kChunkHeaderBytes;
    if (!haveFmt && std::memcmp(chunk, "fmt ", 4) == 0) {
      const uint64_t held = std::min<uint64_t>({size, kFmtExtensibleBytes, fileSize - body});
      if (!ReadAt(in, body, fmt.data(), size_t(held))) break;
      fmtBytes = uint32_t(held);
      haveFmt = true;
    } else if (!haveData && std::memcmp(chunk, "data", 4) == 0) {
      if (body > UINT32_MAX) break;
      info.DataOffset = uint32_t(body);
      info.DataSize = uint32_t(std::min<uint64_t>(size, fileSize - body));
      haveData = true;
    }
    pos = body + size + (size & 1u);  // chunks are padded to an even length
  }
  if (!haveData) return std::nullopt;
  info.FormatOk = haveFmt && FormatIsFragment(fmt.data(), fmtBytes);
  return info;
}

std::optional<std::vector<int16_t>> ReadWavSamples(const std::string& path) {
  const std::optional<TWavInfo> info = ReadWavInfo(path);
  if (!info || !info->FormatOk) return std::nullopt;
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  const size_t count = info->DataSize / kSampleBytes;
  std::vector<uint8_t> raw(count * kSampleBytes);
  if (!ReadAt(in, info->DataOffset, raw.data(), raw.size())) return std::nullopt;
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = int16_t(Le16(&raw[kSampleBytes * i]));
  return samples;
}

uint32_t EstimatePackedSize(uint32_t n) { return (n / 4) * 3 + (n % 4) + 1; }

std::string FileNameOf(std::string_view path) {
  const size_t last = LastDelimiter(path);
  return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

std::string FolderPrefixOf(std::string_view path) {
  const size_t last = LastDelimiter(path);
  return std::string(last == std::string_view::npos ? std::string_view()
                                                    : path.substr(0, last + 1));
}

std::string FolderOf(std::string_view path) {
  std::string folder = FolderPrefixOf(path);
  // A folder keeps no trailing separator, except a root: "C:\", "\\" or "/".
  if (folder.size() >= 2 && folder.back() != ':' && !IsDelimiter(folder[folder.size() - 2]))
    folder.pop_back();
  return folder;
}

std::string DisplayForm(std::string_view path) {
  return FileNameOf(path) + " [" + FolderOf(path) + "]";
}

}  // namespace dikton

namespace dikton {

bool WriteWavFile(const std::string& path, const std::vector<int16_t>& samples) {
  constexpr uint32_t kHeaderBytes = 44;  // RIFF header, fmt chunk, data chunk header
  const uint64_t dataBytes = uint64_t(samples.size()) * kSampleBytes;
  if (dataBytes > UINT32_MAX - kHeaderBytes) return false;
  std::vector<uint8_t> out(kHeaderBytes + dataBytes);
  uint8_t* p = out.data();
  auto tag = [&](const char* t) {
    std::memcpy(p, t, 4);
    p += 4;
  };
  auto u32 = [&](uint32_t v) {
    Put32(p, v);
    p += 4;
  };
  auto u16 = [&](uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p += 2;
  };
  tag("RIFF");
  u32(uint32_t(kHeaderBytes - kChunkHeaderBytes + dataBytes));
  tag("WAVE");
  tag("fmt ");
  u32(kFmtPcmBytes);
  u16(kWaveFormatPcm);
  u16(kFragmentChannels);
  u32(kFragmentRate);
  u32(kFragmentRate * kFragmentBlockAlign);  // bytes per second
  u16(kFragmentBlockAlign);
  u16(kFragmentBits);
  tag("data");
  u32(uint32_t(dataBytes));
  for (const int16_t s : samples) u16(uint16_t(s));

  const std::filesystem::path target = FsPath(path);
  std::filesystem::path temp = target;
  temp += ".part";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    f.close();
    if (!f) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, target, ec);
  if (!ec) return true;
  std::error_code ignored;
  std::filesystem::remove(temp, ignored);
  return false;
}

}  // namespace dikton
