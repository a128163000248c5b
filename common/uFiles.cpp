#include "uFiles.h"

#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace dikton {

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {

constexpr DWORD kPathChunk = 1024;     // first buffer for the executable's name, wchars
constexpr DWORD kMaxLongPath = 32768;  // longest path Windows knows, wchars

}  // namespace

fs::path FsPath(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(), n);
  return fs::path(std::move(wide));
}

std::string Utf8Path(const fs::path& p) {
  const std::wstring& wide = p.native();
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::FILE* CreateNewFile(const fs::path& p) {
  if (p.empty()) return nullptr;
  // The C library's "x" mode is not in every Windows runtime; CREATE_NEW is the same promise.
  HANDLE h =
      CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | _O_WRONLY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);  // closes the handle too
  return f;
}

bool SyncFile(std::FILE* f) { return _commit(_fileno(f)) == 0; }

bool RenameOver(const fs::path& temp, const fs::path& target) {
  return MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::string ExecutableFolder() {
  for (DWORD size = kPathChunk; size <= kMaxLongPath; size *= 2) {
    std::wstring buf(size, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), size);
    if (n == 0) return {};
    if (n < size) {
      buf.resize(n);
      return Utf8Path(fs::path(buf).parent_path());
    }
  }
  return {};
}

#else

fs::path FsPath(std::string_view utf8) { return fs::path(std::string(utf8)); }

std::string Utf8Path(const fs::path& p) { return p.native(); }

std::FILE* CreateNewFile(const fs::path& p) {
  if (p.empty()) return nullptr;
  return std::fopen(p.c_str(), "wbx");
}

bool SyncFile(std::FILE* f) { return ::fsync(::fileno(f)) == 0; }

bool RenameOver(const fs::path& temp, const fs::path& target) {
  std::error_code ec;
  fs::rename(temp, target, ec);
  return !ec;
}

std::string ExecutableFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().native();
}

#endif

}  // namespace dikton
