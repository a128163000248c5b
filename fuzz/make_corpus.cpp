// Writes the seed corpora of the fuzz targets: a few small valid inputs of each format and a
// few that are wrong in one known way. Usage: make_fuzz_corpus <fuzz/corpus folder>.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rv7k_sim.h"

namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

constexpr uint8_t kDevice = 5;  // the reply target's device address

void Put(TBytes& b, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void Append(TBytes& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Append(TBytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

void Save(const fs::path& dir, const std::string& name, const TBytes& b) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// ---- memory image files ----
TBytes Image(uint32_t start, const TBytes& data) {
  TBytes b(16);
  uint32_t a = 0, c = 0;
  for (size_t i = 0; i + 8 <= data.size(); i += 8) {
    a ^= data[i] | data[i + 1] << 8 | data[i + 2] << 16 | uint32_t(data[i + 3]) << 24;
    c ^= data[i + 4] | data[i + 5] << 8 | data[i + 6] << 16 | uint32_t(data[i + 7]) << 24;
  }
  Put(b, 0, start, 4);
  Put(b, 4, uint32_t(data.size() - 1), 4);
  Put(b, 8, a, 4);
  Put(b, 12, c, 4);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

void ImageFiles(const fs::path& dir) {
  TBytes data;
  for (int i = 0; i < 40; ++i) data.push_back(uint8_t(i * 37 + 1));
  Save(dir, "valid40", Image(0x10, data));
  Save(dir, "valid1", Image(0x3000, {0xAB}));
  TBytes damaged = Image(0x10, data);
  damaged[20] ^= 1;
  Save(dir, "damaged", damaged);
  Save(dir, "short15", TBytes(15, 0));
  Save(dir, "end0", TBytes(16, 0));
  TBytes huge(16, 0);
  Put(huge, 4, 0xFFFFFFFF, 4);
  Save(dir, "endFFFFFFFF", huge);
}

// ---- fragment list files ----
TBytes List(const std::vector<std::string>& names, uint32_t start, uint32_t end) {
  TBytes b;
  for (size_t i = 0; i < 76; ++i) {
    if (i < names.size()) Append(b, names[i]);
    b.push_back(0);
  }
  b.push_back(0);
  Append(b, start, 4);
  b.push_back(0);
  Append(b, end, 4);
  return b;
}

void ListFiles(const fs::path& dir) {
  std::vector<std::string> two(6);
  two[0] = "a.wav";
  two[5] = "b.wav";
  Save(dir, "two", List(two, 0x3000, 0xFFFFF));
  Save(dir, "empty", List({}, 0x4000, 0x7FFFF));
  Save(dir, "folders", List({"../a.wav", "/a.wav", "c.wav", "paths.txt", "\xE0.wav"}, 1, 2));
  TBytes cut = List(two, 0x3000, 0xFFFFF);
  cut.resize(30);
  Save(dir, "cut_entries", cut);
  TBytes tail = List(two, 0x3000, 0xFFFFF);
  tail.resize(tail.size() - 2);
  Save(dir, "cut_tail", tail);
}

// ---- WAV files ----
TBytes Wav(uint32_t rate, uint16_t channels, uint16_t bits, const TBytes& samples,
           const TBytes& extraChunk = {}) {
  TBytes b;
  Append(b, "RIFF");
  Append(b, 0, 4);
  Append(b, "WAVEfmt ");
  Append(b, 16, 4);
  Append(b, 1, 2);
  Append(b, channels, 2);
  Append(b, rate, 4);
  Append(b, rate * channels * bits / 8, 4);
  Append(b, channels * bits / 8, 2);
  Append(b, bits, 2);
  b.insert(b.end(), extraChunk.begin(), extraChunk.end());
  Append(b, "data");
  Append(b, uint32_t(samples.size()), 4);
  b.insert(b.end(), samples.begin(), samples.end());
  Put(b, 4, uint32_t(b.size() - 8), 4);
  return b;
}

void WavFiles(const fs::path& dir) {
  const TBytes eight{0x00, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0xFF, 0xFF,
                     0x34, 0x12, 0xC0, 0xFF, 0x10, 0x00, 0x00, 0x01};
  Save(dir, "mono16", Wav(10000, 1, 16, eight));
  Save(dir, "odd", Wav(10000, 1, 16, {0x01, 0x80, 0xFE, 0x7F, 0x00, 0x00}));
  Save(dir, "empty", Wav(10000, 1, 16, {}));
  Save(dir, "rate44100", Wav(44100, 1, 16, eight));
  Save(dir, "stereo", Wav(10000, 2, 16, eight));
  Save(dir, "bits8", Wav(10000, 1, 8, eight));
  TBytes list;
  Append(list, "LIST");
  Append(list, 3, 4);
  Append(list, "abc");
  list.push_back(0);  // pad byte of the odd chunk
  Save(dir, "listchunk", Wav(10000, 1, 16, eight, list));
  TBytes longer = Wav(10000, 1, 16, eight);
  Put(longer, 40, 0x7FFFFFF0, 4);  // more data named than the file holds
  Save(dir, "datatoolong", longer);
  TBytes ext = Wav(10000, 1, 16, eight);
  // WAVE_FORMAT_EXTENSIBLE with the PCM sub-format: a 40-byte fmt chunk.
  TBytes fmt;
  Append(fmt, 0xFFFE, 2);
  Append(fmt, 1, 2);
  Append(fmt, 10000, 4);
  Append(fmt, 20000, 4);
  Append(fmt, 2, 2);
  Append(fmt, 16, 2);
  Append(fmt, 22, 2);
  Append(fmt, 16, 2);
  Append(fmt, 4, 4);
  const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  fmt.insert(fmt.end(), pcm, pcm + 16);
  Put(ext, 16, 40, 4);
  ext.erase(ext.begin() + 20, ext.begin() + 36);
  ext.insert(ext.begin() + 20, fmt.begin(), fmt.end());
  Put(ext, 4, uint32_t(ext.size() - 8), 4);
  Save(dir, "extensible", ext);
}

// ---- scripted replies ----
// A raw record: ctl, count, bytes; with L set and a CRC added (ctl 3) it is a valid frame.
void Raw(TBytes& b, uint8_t ctl, const TBytes& body) {
  b.push_back(ctl);
  b.push_back(uint8_t(body.size()));
  b.insert(b.end(), body.begin(), body.end());
}
void Honest(TBytes& b, unsigned n) {
  while (n > 0) {
    const unsigned k = n > 128 ? 128 : n;
    b.push_back(uint8_t(0x80 | (k - 1)));
    n -= k;
  }
}

void Replies(const fs::path& dir) {
  const TBytes range{kDevice, 0, 0x3E, 0x2C, 0x00, 0x01, 0x00, 0x3F, 0x01, 0x00};
  TBytes ex{0, 0, 0, 0};  // the exchanges and decoders
  Raw(ex, 3, {kDevice, 0, 0x0E, 0, 0});
  Raw(ex, 3, {kDevice, 0, 0x34, 0xA0, 0});
  Raw(ex, 3, range);
  Raw(ex, 3, {kDevice, 0, 0x44, 4, 1, 2, 3, 4});
  Raw(ex, 7, {kDevice, 0, 0x42, 0, 0});  // behind the request's echo
  Raw(ex, 0, {kDevice, 0xFF, 0x44, 0xFF, 0, 0});
  Honest(ex, 5);
  Save(dir, "exchanges", ex);

  TBytes read{1, 0x11, 0x40, 0};  // read-all of 0x100..0x140 from the honest device
  Honest(read, 12);
  Save(dir, "readall", read);
  TBytes readRaw{1, 0, 0, 0};
  Raw(readRaw, 3, range);
  Raw(readRaw, 3, {kDevice, 0, 0x44, 2, 9, 9});  // fewer than asked
  Raw(readRaw, 3, {kDevice, 0, 0x21, 0, 0});     // another code
  Honest(readRaw, 11);
  Save(dir, "readall_raw", readRaw);
  TBytes readHuge{1, 0, 0, 0};
  Raw(readHuge, 3, {kDevice, 0, 0x3E, 0x2C, 0, 0, 0, 0xFF, 0xFF, 0xFF});
  Save(dir, "readall_16mib", readHuge);

  TBytes writeAll{2, 0x22, 0x22, 0};  // write-all to 0x3221 and its verify, honest throughout
  Honest(writeAll, 2 * 146 + 2);
  Save(dir, "writeall", writeAll);
  TBytes refused{2, 0x22, 0, 0};
  Honest(refused, 3);
  Raw(refused, 3, {kDevice, 0, 0x21, 0, 0});  // a block refused once
  Honest(refused, 2 * 146 + 2);
  Save(dir, "writeall_refused", refused);

  TBytes sound{3, 0x20, 0, 0};  // write-sound, honest
  Honest(sound, 2 * (8 + 2) + 2);
  Save(dir, "writesound", sound);
  TBytes diff{3, 0x20, 0, 0};
  Honest(diff, 10);
  Raw(diff, 3, {kDevice, 0,  0x44, 32, 1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                15,      16, 17,   18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32});
  Honest(diff, 20);
  Save(dir, "writesound_differs", diff);
}

// ---- frames for the virtual device ----
TBytes Frame(TBytes body) {
  body[1] = uint8_t(body.size());
  body.push_back(rv7ksim::SimCrc8(body.data(), body.size()));
  return body;
}
// Frames mode: each body is given with its count; the target adds the CRC.
void Body(TBytes& b, TBytes body) {
  body[1] = uint8_t(body.size());
  b.push_back(uint8_t(body.size()));
  b.insert(b.end(), body.begin(), body.end());
}

void SimFrames(const fs::path& dir) {
  // config: fault, fill, address, start >> 4, (end - start) >> 8, command/frame, flags, value
  auto session = [](TBytes cfg) {
    Body(cfg, {127, 0, 0, 0x0D, 0, 0});
    Body(cfg, {127, 0, 0, 0x33, 0xA0, 0});
    Body(cfg, {127, 0, 0, 0x3F, 0x2C, 0});
    Body(cfg, {127, 0, 0, 0x41, 0x10, 0, 0, 0xAA, 0xBB, 0xCC});
    Body(cfg, {127, 0, 0, 0x43, 0x0F, 0, 0, 8});
    Body(cfg, {127, 0, 0, 0x43, 0xF0, 0x0F, 0, 32});
    Body(cfg, {127, 0, 0, 0x33, 0xA0, 1});
    return cfg;
  };
  Save(dir, "session", session({0xFF, 0xFF, 127, 0x30, 0xFF, 0, 0x02, 0}));
  Save(dir, "badcrc", session({1, 0, 127, 0x30, 0x10, 4, 0x02, 0x10}));
  Save(dir, "refuse", session({3, 0, 127, 0x30, 0x10, 5, 0x02, 0x00}));
  Save(dir, "short", session({4, 0, 127, 0x30, 0x10, 4, 0x02, 0x03}));
  Save(dir, "lengthff", session({9, 0, 127, 0x30, 0x10, 4, 0x02, 0x01}));
  Save(dir, "corrupt", session({8, 0, 127, 0x30, 0x10, 0, 0x02, 0x11}));
  Save(dir, "lying", session({7, 0, 127, 0x30, 0x10, 4, 0x02, 0x02}));
  // Raw line: garbage, a frame for another device, a frame for this one, a cut-off frame.
  TBytes raw{0xFF, 0, 9, 0x30, 0x10, 0, 0x01, 0};
  const TBytes garbage{0x00, 0x02, 0x55, 0x09};
  raw.insert(raw.end(), garbage.begin(), garbage.end());
  for (const TBytes& f : {Frame({3, 0, 0, 0x3F, 0x2C, 0}), Frame({9, 0, 0, 0x43, 0, 0, 0, 4}),
                          Frame({9, 0, 0, 0x41, 0, 0, 0, 1, 2})}) {
    raw.insert(raw.end(), f.begin(), f.end());
  }
  raw.insert(raw.end(), {9, 8, 0, 0x43});
  Save(dir, "rawline", raw);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  ImageFiles(root / "imagefile");
  ListFiles(root / "pathlist");
  WavFiles(root / "wav");
  Replies(root / "reply");
  SimFrames(root / "simframe");
  return 0;
}
