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
// The longest path the file calls take in the ordinary form: MAX_PATH less the 12 characters a
// folder must leave for an 8.3 name within it.
constexpr size_t kShortPathLimit = MAX_PATH - 12;  // wchars
constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view kUncPrefix = L"\\\\";

// "C:\a\..\b" -> "\\?\C:\b", "\\server\share\x" -> "\\?\UNC\server\share\x". The long
// form is taken literally by the system, so the path is made absolute and normalised first
// ("/" to "\", "." and ".." resolved).
std::wstring LongForm(const std::wstring& wide) {
  if (wide.starts_with(kLongPrefix)) return wide;
  const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0 || need > kMaxLongPath) return wide;
  std::wstring full(need, L'\0');
  const DWORD n = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (n == 0 || n >= need) return wide;
  full.resize(n);
  if (full.starts_with(kUncPrefix)) return std::wstring(kLongUncPrefix) + full.substr(2);
  return std::wstring(kLongPrefix) + full;
}

}  // namespace

fs::path FsPath(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(), n);
  if (wide.size() >= kShortPathLimit) wide = LongForm(wide);
  return fs::path(std::move(wide));
}

std::string Utf8Path(const fs::path& p) {
  std::wstring wide = p.native();
  if (wide.starts_with(kLongUncPrefix))
    wide = std::wstring(kUncPrefix) + wide.substr(kLongUncPrefix.size());
  else if (wide.starts_with(kLongPrefix))
    wide = wide.substr(kLongPrefix.size());
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

namespace {
std::optional<WIN32_FILE_ATTRIBUTE_DATA> Attributes(const fs::path& p) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (p.empty() || !GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  return data;
}
// A file, not a folder or a device.
bool IsFileData(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  return !(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}
}  // namespace

bool IsRegularFile(const fs::path& p) {
  const auto data = Attributes(p);
  return data && IsFileData(*data);
}

bool PathExists(const fs::path& p) { return Attributes(p).has_value(); }

std::optional<uint64_t> RegularFileSize(const fs::path& p) {
  const auto data = Attributes(p);
  if (!data || !IsFileData(*data)) return std::nullopt;
  return (uint64_t(data->nFileSizeHigh) << 32) | data->nFileSizeLow;
}

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

bool IsRegularFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

bool PathExists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

std::optional<uint64_t> RegularFileSize(const fs::path& p) {
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) return std::nullopt;
  const uint64_t size = fs::file_size(p, ec);
  if (ec) return std::nullopt;
  return size;
}

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
