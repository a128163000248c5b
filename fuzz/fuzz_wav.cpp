// The WAV reader, the browse button's checks and the sound area build on arbitrary files. The
// data chunk found must lie inside the file, the samples must be the file's bytes there, the
// browse button must take exactly the files of the right format that fit, and the sound area
// must hold the samples as the virtual device packs them, within the range and nowhere else.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <variant>

#include "FuzzDialog.h"
#include "FuzzSupport.h"
#include "rv7k_sim_wire.h"
#include "uConst_Orbis.h"
#include "uMainCommands.h"
#include "uSoundArea.h"
#include "uWavFile.h"

using namespace dikton;

namespace {

constexpr uint32_t kChunkHeader = 8;      // chunk id and size, bytes
constexpr uint32_t kFirstChunk = 12;      // "RIFF", size, "WAVE"
constexpr int kRow = 1;                   // slot 1: the first directory entry
constexpr uint32_t kStart = 0x3100;       // sound area start used for the build
constexpr uint32_t kOtherRowSize = 1000;  // bytes taken by another loaded row
constexpr uint8_t kFill = 0xA5;           // image bytes the build must not touch

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TTempDir dir;
  const std::string path = dir.Put("f.wav", data, size);

  const std::optional<TWavInfo> info = ReadWavInfo(path);
  if (info) {
    FUZZ_CHECK(size >= kFirstChunk + kChunkHeader);
    FUZZ_CHECK(info->DataOffset >= kFirstChunk + kChunkHeader);
    FUZZ_CHECK(uint64_t(info->DataOffset) + info->DataSize <= size);
    FUZZ_CHECK(std::memcmp(data + info->DataOffset - kChunkHeader, "data", 4) == 0);
    FUZZ_CHECK(info->DataSize <= fuzz::Le32(data + info->DataOffset - 4));
    FUZZ_CHECK(std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0);
  }
  const auto samples = ReadWavSamples(path);
  FUZZ_CHECK(samples.has_value() == (info && info->FormatOk));
  if (samples) {
    FUZZ_CHECK(samples->size() == info->DataSize / 2);
    for (size_t i = 0; i < samples->size(); ++i) {
      const uint8_t* s = data + info->DataOffset + 2 * i;
      FUZZ_CHECK(uint16_t((*samples)[i]) == uint16_t(s[0] | (s[1] << 8)));
    }
  }

  // The browse button: the format first, then the room left beside another loaded row.
  {
    fuzz::TFuzzDialog dialog(path);
    TMainCommands commands(dialog);
    commands.Catalogue.Row(0).Cell = {1, "/x/other.wav", int32_t(kOtherRowSize)};
    const bool formatOk = info && info->FormatOk;
    const uint32_t packed = formatOk ? EstimatePackedSize(info->DataSize) : 0;
    const bool fits = formatOk && uint64_t(packed) + kOtherRowSize <= commands.State.SoundSize;
    const bool taken = commands.tlPathButtonClick(kRow);
    FUZZ_CHECK(taken == fits);
    const TStringCell& cell = commands.Catalogue.Row(kRow).Cell;
    if (taken) {
      FUZZ_CHECK(dialog.Messages.empty());
      FUZZ_CHECK(cell.Loaded == 1 && cell.Path == path && cell.PackedSize == int32_t(packed));
    } else {
      FUZZ_CHECK(dialog.Messages.size() == 1 &&
                 dialog.Messages[0] == (formatOk ? txt::NoRoom : txt::BadWav));
      FUZZ_CHECK(cell.Loaded == 0 && cell.Path.empty() && cell.PackedSize == 0);
    }
  }

  // The sound area, once with a range that holds the fragment exactly and once one byte short.
  TFragmentCatalogue catalogue;
  catalogue.Row(kRow).Cell = {1, path, 1};
  const std::vector<uint8_t> packed =
      samples ? rv7ksim::wire::PackSamples(*samples) : std::vector<uint8_t>{};
  const uint32_t end = kStart + uint32_t(std::max<size_t>(packed.size(), 1)) - 1;
  const TData blank(size_t(end) + 1, kFill);
  TData image = blank;
  const auto result = BuildSoundArea(catalogue, image, kStart, end);
  if (!samples) {
    FUZZ_CHECK(std::holds_alternative<TBuildFailure>(result) &&
               std::get<TBuildFailure>(result).Path == path);
    FUZZ_CHECK(image == blank);
    return 0;
  }
  FUZZ_CHECK(std::holds_alternative<uint32_t>(result));
  FUZZ_CHECK(std::get<uint32_t>(result) == packed.size() + kDirectoryBytes);
  FUZZ_CHECK(image.size() == blank.size());
  FUZZ_CHECK(Get24(&image[kDirectoryAddr]) == kStart);
  for (uint32_t a = kDirectoryAddr + 3; a <= kDirectoryPadEnd; ++a) FUZZ_CHECK(image[a] == 0);
  FUZZ_CHECK(std::equal(packed.begin(), packed.end(), image.begin() + kStart));
  // The end mark is the fragment's only 0xFF.
  FUZZ_CHECK(std::find(image.begin() + kStart, image.end(), 0xFF) == image.end() - 1);
  FUZZ_CHECK(std::all_of(image.begin(), image.begin() + kDirectoryAddr,
                         [](uint8_t b) { return b == kFill; }));
  FUZZ_CHECK(std::all_of(image.begin() + kDirectoryPadEnd + 1, image.begin() + kStart,
                         [](uint8_t b) { return b == kFill; }));

  TData tight(end, kFill);  // one byte short of the fragment
  const TData tightBefore = tight;
  const auto refused = BuildSoundArea(catalogue, tight, kStart, end - 1);
  FUZZ_CHECK(std::holds_alternative<TBuildFailure>(refused) && tight == tightBefore);
  return 0;
}
