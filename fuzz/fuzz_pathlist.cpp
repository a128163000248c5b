// The fragment list reader on arbitrary list files, in a folder that holds two fragment files
// and one file that is not WAV. Each slot must come out as the list's entry names it (a file
// beside the list, or empty), the slots after a cut-off entry and the range of a cut-off tail
// must stay as they were, and a list written from the result must read back to the same slots.
// The code page conversion must give back every byte string it was given.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "uPathList.h"
#include "uWavFile.h"

using namespace dikton;
using dikton::fuzz::Le32;

namespace {

constexpr size_t kListEntries = 76;     // one per slot
constexpr size_t kTailBytes = 9;        // start address, separator, end address
constexpr size_t kEndAddressAt = 5;     // offset of the end address in the tail
constexpr size_t kWavHeader = 44;       // canonical header bytes
constexpr size_t kListFixedBytes = 86;  // 76 entry ends, separator, 4 + 1 + 4

std::vector<uint8_t> Wav(uint32_t dataBytes) {
  std::vector<uint8_t> w(kWavHeader + dataBytes, 0x11);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) w[at + i] = uint8_t(v >> (8 * i));
  };
  auto put16 = [&](size_t at, uint16_t v) {
    w[at] = uint8_t(v);
    w[at + 1] = uint8_t(v >> 8);
  };
  std::copy_n("RIFF", 4, w.begin());
  put32(4, uint32_t(w.size() - 8));
  std::copy_n("WAVEfmt ", 8, w.begin() + 8);
  put32(16, 16);
  put16(20, 1);      // PCM
  put16(22, 1);      // mono
  put32(24, 10000);  // samples/s
  put32(28, 20000);  // bytes/s
  put16(32, 2);      // block align
  put16(34, 16);     // bits
  std::copy_n("data", 4, w.begin() + 36);
  put32(40, dataBytes);
  return w;
}

struct TFragmentFile {
  const char* Name;
  uint32_t DataBytes;
};
constexpr std::array<TFragmentFile, 2> kFiles{{{"a.wav", 100}, {"b.wav", 6}}};

// The list reader takes the one file whose name differs only in case when the exact name is
// missing, as a list written on Windows needs.
const TFragmentFile* FileNamed(const std::string& name) {
  auto fold = [](std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
  };
  for (const TFragmentFile& f : kFiles)
    if (fold(name) == f.Name) return &f;
  return nullptr;
}

// A state no list can produce, for the slots a list must leave alone.
void MarkUntouched(TFragmentCatalogue& c) {
  for (int i = 0; i < TFragmentCatalogue::Count(); ++i) {
    TFragmentRow& r = c.Row(i);
    r.Cell.Loaded = 1;
    r.Cell.Path = "/untouched/x" + std::to_string(i) + ".wav";
    r.Cell.PackedSize = 7;
    r.PathText = "untouched";
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every byte string is its own image in the code page and back.
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const std::optional<std::string> there = ToCp1251(FromCp1251(raw));
  FUZZ_CHECK(there && *there == raw);
  if (const std::optional<std::string> cp = ToCp1251(raw)) FUZZ_CHECK(FromCp1251(*cp) == raw);

  fuzz::TTempDir dir;
  for (const TFragmentFile& f : kFiles) dir.Put(f.Name, Wav(f.DataBytes));
  const std::vector<uint8_t> junk{'n', 'o', 't', ' ', 'w', 'a', 'v'};
  dir.Put("c.wav", junk);
  const std::string list = dir.Put("paths.txt", data, size);
  const std::string prefix = dir.Path().string() + "/";

  // The entries as the file holds them.
  std::vector<std::string> entries;
  std::string name;
  size_t at = 0;
  while (at < size && entries.size() < kListEntries) {
    const uint8_t b = data[at++];
    if (b != 0) {
      name += char(b);
    } else {
      entries.push_back(name);
      name.clear();
    }
  }
  const bool hasRange = entries.size() == kListEntries && size - at >= 1 + kTailBytes;

  TFragmentCatalogue catalogue;
  MarkUntouched(catalogue);
  const TFragmentCatalogue before = catalogue;
  const std::optional<TListRange> range = LoadPathList(list, catalogue);

  FUZZ_CHECK(range.has_value() == hasRange);
  if (hasRange) {
    FUZZ_CHECK(range->Start == Le32(data + at + 1) &&
               range->End == Le32(data + at + 1 + kEndAddressAt));
  }
  for (size_t i = 0; i < kListEntries; ++i) {
    const TFragmentRow& r = catalogue.Row(int(i));
    if (i >= entries.size()) {
      const TFragmentRow& old = before.Row(int(i));
      FUZZ_CHECK(r.Cell.Loaded == old.Cell.Loaded && r.Cell.Path == old.Cell.Path &&
                 r.Cell.PackedSize == old.Cell.PackedSize && r.PathText == old.PathText);
      continue;
    }
    // Only a file beside the list that holds sample data fills a slot: "c.wav" is no WAV,
    // and names with a folder in them ("../a.wav", "/a.wav") must not reach out.
    if (const TFragmentFile* f = FileNamed(entries[i])) {
      FUZZ_CHECK(r.Cell.Loaded == 1 && r.Cell.Path == prefix + f->Name);
      FUZZ_CHECK(r.Cell.PackedSize == int32_t(EstimatePackedSize(f->DataBytes)));
      FUZZ_CHECK(r.PathText == DisplayForm(r.Cell.Path));
    } else {
      FUZZ_CHECK(r.Cell.Loaded == 0 && r.Cell.Path.empty() && r.Cell.PackedSize == 0);
    }
  }

  // Written and read again, the same slots are filled and the range comes back.
  const uint32_t start = hasRange ? range->Start : 0x3000;
  const uint32_t end = hasRange ? range->End : 0xFFFFF;
  const TListBytes built = BuildPathList(catalogue, start, end);
  FUZZ_CHECK(built.BadName.empty());
  size_t names = 0;
  for (size_t i = 0; i < kListEntries; ++i) {
    const TStringCell& c = catalogue.Row(int(i)).Cell;
    if (c.Loaded == 1) names += FileNameOf(c.Path).size();
  }
  FUZZ_CHECK(built.Bytes.size() == kListFixedBytes + names);
  const std::string copy = (dir.Path() / "copy.txt").string();
  FUZZ_CHECK(SavePathList(copy, built.Bytes));
  TFragmentCatalogue second;
  const std::optional<TListRange> range2 = LoadPathList(copy, second);
  FUZZ_CHECK(range2 && range2->Start == start && range2->End == end);
  for (size_t i = 0; i < kListEntries; ++i) {
    const TStringCell& a = catalogue.Row(int(i)).Cell;
    const TStringCell& b = second.Row(int(i)).Cell;
    // The untouched marks name files that do not exist: those slots come back empty.
    const bool found = a.Loaded == 1 && FileNamed(FileNameOf(a.Path)) != nullptr;
    if (found) {
      FUZZ_CHECK(b.Loaded == 1 && b.Path == a.Path && b.PackedSize == a.PackedSize);
    } else {
      FUZZ_CHECK(b.Loaded == 0 && b.Path.empty());
    }
  }
  return 0;
}
