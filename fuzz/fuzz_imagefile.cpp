// The memory image reader and "Открыть" on arbitrary files. The reader's verdict is compared
// with one worked out here from the header, an accepted image must be the file's data part and
// no larger, a refused file must leave the program state as it was, and what the writer makes
// of the data must read back equal.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzDialog.h"
#include "FuzzSupport.h"
#include "uConst_Orbis.h"
#include "uImageFile.h"
#include "uMainCommands.h"

using namespace dikton;
using dikton::fuzz::Le32;

namespace {

constexpr uint32_t kPreviousStart = 0x3000;   // the state before "Открыть"
constexpr uint32_t kPreviousEnd = 0x30FF;     // inclusive
constexpr size_t kPreviousImageBytes = 0x40;  // bytes of the image held before

// The checksum pair, written out again from its definition.
TImageChecksum Sums(const uint8_t* data, size_t n) {
  TImageChecksum s;
  for (size_t i = 0; i + 8 <= n; i += 8) {
    s.A ^= Le32(data + i);
    s.B ^= Le32(data + i + 4);
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TTempDir dir;
  const std::string path = dir.Put("memory.bin", data, size);

  // What the file must be read as.
  const bool shortFile = size < kImageHeaderSize;
  const uint32_t end = shortFile ? 0 : Le32(data + kHeaderEndOffset);
  const bool sizeMatches = !shortFile && end <= kMaxDeviceAddr && size == uint64_t(end) + 17;
  const bool valid = sizeMatches && Sums(data + kImageHeaderSize, size - kImageHeaderSize) ==
                                        TImageChecksum{Le32(data + kHeaderSumAOffset),
                                                       Le32(data + kHeaderSumBOffset)};

  TImageFileContent got = ReadImageFile(path);
  FUZZ_CHECK((got.Status == TImageLoadStatus::BadSize) == shortFile);
  FUZZ_CHECK((got.Status == TImageLoadStatus::Ok) == valid);
  if (valid) {
    FUZZ_CHECK(got.End == end && got.Start == Le32(data + kHeaderStartOffset));
    FUZZ_CHECK(got.Image.size() == size - kImageHeaderSize);
    // Nothing held beyond what the file names (the vector's own slack included).
    FUZZ_CHECK(got.Image.capacity() <= size);
    FUZZ_CHECK(std::equal(got.Image.begin(), got.Image.end(), data + kImageHeaderSize));

    // Written again, the file comes out byte for byte the same.
    const std::string again = (dir.Path() / "again.bin").string();
    FUZZ_CHECK(WriteImageFile(again, got.Start, got.End, got.Image));
    const std::vector<uint8_t> copy = fuzz::ReadAll(again);
    FUZZ_CHECK(copy.size() == size && std::equal(copy.begin(), copy.end(), data));
  } else {
    FUZZ_CHECK(got.Image.empty());
  }

  // Any byte sequence of at most 16 MiB is an image the writer stores and the reader returns.
  if (size > 0) {
    const uint32_t start = size >= 4 ? Le32(data) : 0;
    const TData image(data, data + size);
    const std::string made = (dir.Path() / "made.bin").string();
    FUZZ_CHECK(WriteImageFile(made, start, uint32_t(size - 1), image));
    const TImageFileContent back = ReadImageFile(made);
    FUZZ_CHECK(back.Status == TImageLoadStatus::Ok && back.Start == start && back.End == size - 1 &&
               back.Image == image);
  }

  // "Открыть": the state changes only for a valid file, and every refusal says why.
  fuzz::TFuzzDialog dialog(path);
  TMainCommands commands(dialog);
  commands.ProgramFolder = dir.Path().string();
  commands.State.MemoryImage.assign(kPreviousImageBytes, 0x5A);
  commands.State.StartSoundAddr = kPreviousStart;
  commands.State.EndSoundAddr = kPreviousEnd;
  commands.State.SoundSize = kPreviousEnd - kPreviousStart + 1;
  commands.State.ImageFromDevice = true;  // read but not saved: the question comes first
  const TProgramState before = commands.State;
  commands.FileOpenClick();
  FUZZ_CHECK(!dialog.Messages.empty() && dialog.Messages[0] == txt::AskReplaceImage);
  const TProgramState& after = commands.State;
  if (valid) {
    FUZZ_CHECK(dialog.Messages.size() == 1);
    FUZZ_CHECK(
        after.MemoryImage.size() == size - kImageHeaderSize &&
        std::equal(after.MemoryImage.begin(), after.MemoryImage.end(), data + kImageHeaderSize));
    FUZZ_CHECK(after.EndSoundAddr == end && after.StartSoundAddr == Le32(data));
    FUZZ_CHECK(after.SoundSize == end - after.StartSoundAddr + 1);
    FUZZ_CHECK(after.ImageFromFile && !after.ImageFromDevice && !after.ImageSaved);
  } else {
    FUZZ_CHECK(dialog.Messages.size() == 2);
    FUZZ_CHECK(dialog.Messages[1] == (shortFile ? txt::BadFileSize : txt::DamagedFile));
    FUZZ_CHECK(after.MemoryImage == before.MemoryImage &&
               after.StartSoundAddr == before.StartSoundAddr &&
               after.EndSoundAddr == before.EndSoundAddr && after.SoundSize == before.SoundSize &&
               after.ImageFromDevice && !after.ImageFromFile && !after.ImageSaved);
  }
  return 0;
}
