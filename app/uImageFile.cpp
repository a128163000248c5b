#include "uImageFile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <system_error>

#include "uConst_Orbis.h"
#include "uFiles.h"
#include "uSaveTarget.h"

namespace dikton {

namespace {

namespace fs = std::filesystem;

constexpr size_t kWriteChunk = 64 * 1024;  // bytes per write call
constexpr int kTempNameAttempts = 16;      // tries to find an unused temporary name

struct TFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

// Removes the temporary file unless it was handed over to the target. The file is closed
// first: Windows does not remove a file that is still open.
class TTempFile {
 public:
  TTempFile(fs::path p, TFilePtr& file) : path_(std::move(p)), file_(file) {}
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  ~TTempFile() {
    file_.reset();
    if (!kept_) {
      std::error_code ec;
      fs::remove(path_, ec);
    }
  }
  const fs::path& Path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  fs::path path_;
  TFilePtr& file_;
  bool kept_ = false;
};

// Creates a new file beside 'target' with a name nobody else uses; "x" refuses an existing one.
TFilePtr CreateBeside(const fs::path& target, fs::path& created) {
  std::random_device seed;
  std::mt19937 gen(seed());
  for (int i = 0; i < kTempNameAttempts; ++i) {
    std::array<char, 16> tag{};
    std::snprintf(tag.data(), tag.size(), "%08x", unsigned(gen()));
    fs::path p = target;
    p += ".~" + std::string(tag.data()) + ".tmp";
    if (std::FILE* f = CreateNewFile(p)) {
      created = p;
      return TFilePtr(f);
    }
    if (!PathExists(p)) break;  // the folder refuses new files: another name won't help
  }
  return nullptr;
}

bool WritePiece(std::FILE* f, const uint8_t* data, size_t size, uint64_t& written,
                const TImageWriteHook& hook) {
  if (hook && !hook(written, size)) return false;
  if (size != 0 && std::fwrite(data, 1, size, f) != size) return false;
  written += size;
  return true;
}

}  // namespace

TImageChecksum ImageChecksum(const uint8_t* data, size_t size) {
  TImageChecksum sum;
  for (size_t i = 0; i + kChecksumGroup <= size; i += kChecksumGroup) {
    sum.A ^= Get32(data + i);
    sum.B ^= Get32(data + i + 4);
  }
  return sum;
}

bool WriteImageFile(const std::string& path, uint32_t start, uint32_t end, const TData& image,
                    const TImageWriteHook& hook) {
  if (end > kMaxDeviceAddr || image.size() != size_t(end) + 1) return false;

  const TImageChecksum sum = ImageChecksum(image.data(), image.size());
  std::array<uint8_t, kImageHeaderSize> header{};
  Put32(header.data() + kHeaderStartOffset, start);
  Put32(header.data() + kHeaderEndOffset, end);
  Put32(header.data() + kHeaderSumAOffset, sum.A);
  Put32(header.data() + kHeaderSumBOffset, sum.B);

  const fs::path target = FsPath(path);
  if (target.empty() || IsReadOnlyTarget(target)) return false;
  fs::path tempPath;
  TFilePtr file = CreateBeside(target, tempPath);
  if (!file) return false;
  TTempFile temp(tempPath, file);

  uint64_t written = 0;
  if (!WritePiece(file.get(), header.data(), header.size(), written, hook)) return false;
  for (size_t at = 0; at < image.size(); at += kWriteChunk) {
    const size_t n = std::min(kWriteChunk, image.size() - at);
    if (!WritePiece(file.get(), image.data() + at, n, written, hook)) return false;
  }
  if (std::fflush(file.get()) != 0 || !SyncFile(file.get())) return false;
  if (std::fclose(file.release()) != 0) return false;

  TakeTargetMode(target, temp.Path());

  if (!RenameOver(temp.Path(), target)) return false;
  temp.Keep();
  return true;
}

TImageFileContent ReadImageFile(const std::string& path) {
  TImageFileContent out;  // Damaged until every check has passed
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return out;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return out;
  if (uint64_t(size) < kImageHeaderSize) {
    out.Status = TImageLoadStatus::BadSize;
    return out;
  }
  in.seekg(0, std::ios::beg);
  std::array<uint8_t, kImageHeaderSize> header{};
  if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return out;
  const uint32_t start = Get32(header.data() + kHeaderStartOffset);
  const uint32_t end = Get32(header.data() + kHeaderEndOffset);
  const TImageChecksum stored{Get32(header.data() + kHeaderSumAOffset),
                              Get32(header.data() + kHeaderSumBOffset)};

  // Addresses are 24 bits: a larger end is damage, refused before anything is allocated.
  if (end > kMaxDeviceAddr) return out;
  if (uint64_t(size) != uint64_t(end) + 1 + kImageHeaderSize) return out;

  TData data(size_t(end) + 1);
  if (!in.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()))) return out;
  if (ImageChecksum(data.data(), data.size()) != stored) return out;

  out.Status = TImageLoadStatus::Ok;
  out.Start = start;
  out.End = end;
  out.Image = std::move(data);
  return out;
}

}  // namespace dikton
