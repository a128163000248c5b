#include "uAppendFile.h"

#include "uFiles.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace dikton {

#ifdef _WIN32
namespace {
constexpr size_t kMaxAppend = 0x7FFFFFFF;  // bytes: one WriteFile's count is a DWORD
}  // namespace
#endif

TAppendFile::~TAppendFile() { Close(); }

#ifdef _WIN32

bool TAppendFile::Open(const std::string& utf8Path) {
  Close();
  const std::filesystem::path p = FsPath(utf8Path);
  if (p.empty()) return false;
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file, as
  // the system sees it at that moment, whoever else appends.
  // FILE_READ_DATA only because LockFileEx asks for read or write access.
  HANDLE h =
      CreateFileW(p.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = h;
  return true;
}

bool TAppendFile::IsOpen() const { return handle_ != nullptr; }

bool TAppendFile::Append(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (!handle_ || text.size() > kMaxAppend) return false;
  HANDLE h = static_cast<HANDLE>(handle_);
  // The whole file and beyond, so that every appender of any process waits for the others.
  OVERLAPPED whole{};
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) return false;
  DWORD written = 0;
  const bool ok = WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr) &&
                  written == text.size() && FlushFileBuffers(h);
  UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
  return ok;
}

void TAppendFile::Close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

#else

bool TAppendFile::Open(const std::string& utf8Path) {
  Close();
  const std::filesystem::path p = FsPath(utf8Path);
  if (p.empty()) return false;
  do {
    fd_ = ::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  } while (fd_ < 0 && errno == EINTR);
  return fd_ >= 0;
}

bool TAppendFile::IsOpen() const { return fd_ >= 0; }

bool TAppendFile::Append(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return false;
  // One write: with O_APPEND the system puts the whole of it at the end at once. A short
  // write (a full disk) is not continued, which would let another writer's line in between.
  ssize_t n = 0;
  do {
    n = ::write(fd_, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0 || size_t(n) != text.size()) return false;
  return ::fsync(fd_) == 0;
}

void TAppendFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

#endif

}  // namespace dikton
