// UTF-8 inside the program, UTF-16 at the Win32 calls: the one place where texts are converted.
#pragma once

#include <string>
#include <string_view>

struct HWND__;  // HWND, without the windowing headers

namespace dikton::win {

std::wstring W(std::string_view utf8);
std::string S(std::wstring_view utf16);

// The whole text of a window (an edit holds up to 32767 characters, a path as long as the
// system allows).
std::string WindowText(HWND__* window);

// A "Name|*.x|Name|*.*" filter as the file dialogs take it: NUL-separated pairs, ended by
// two NULs.
std::wstring ApiFilter(std::string_view filter);

// The folder of the running program, without a trailing "\".
std::string ProgramFolder();

}  // namespace dikton::win
