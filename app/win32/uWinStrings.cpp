#include "uWinStrings.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace dikton::win {

namespace {
constexpr DWORD kModulePathChars = 32768;  // characters, the longest path Windows has
}  // namespace

std::wstring W(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
  return out;
}

std::string S(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string WindowText(HWND w) {
  const int n = GetWindowTextLengthW(w);
  if (n <= 0) return {};
  std::vector<wchar_t> text(size_t(n) + 1, L'\0');
  const int got = GetWindowTextW(w, text.data(), int(text.size()));
  return S(std::wstring_view(text.data(), size_t(std::max(got, 0))));
}

std::wstring ApiFilter(std::string_view filter) {
  std::wstring out = W(filter);
  for (auto& c : out)
    if (c == L'|') c = L'\0';
  out.push_back(L'\0');
  out.push_back(L'\0');
  return out;
}

std::string ProgramFolder() {
  std::vector<wchar_t> path(kModulePathChars);
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), kModulePathChars);
  std::wstring full(path.data(), n);
  const size_t slash = full.find_last_of(L"\\/");
  return S(slash == std::wstring::npos ? std::wstring() : full.substr(0, slash));
}

}  // namespace dikton::win
