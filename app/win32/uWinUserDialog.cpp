#include "uWinUserDialog.h"

#include <commdlg.h>

#include <vector>

#include "uRV7KPrcSt.h"
#include "uWinStrings.h"

namespace dikton::win {

namespace {
constexpr DWORD kPathChars = 32768;  // characters of the chosen path's buffer
}  // namespace

UINT MessageBoxFlags(TIcon icon, TButtons buttons) {
  // Yes and No only: such a box has no close box and ignores Escape, so it is answered by
  // its buttons.
  UINT flags = buttons == TButtons::YesNo ? MB_YESNO : MB_OK;
  switch (icon) {
    case TIcon::None:
      break;
    case TIcon::Warning:
      flags |= MB_ICONWARNING;
      break;
    case TIcon::Error:
      flags |= MB_ICONERROR;
      break;
    case TIcon::Question:
      flags |= MB_ICONQUESTION;
      break;
    case TIcon::Stop:
      flags |= MB_ICONSTOP;
      break;
  }
  return flags | MB_APPLMODAL;
}

TAnswer TWinUserDialog::Message(std::string_view text, std::string_view caption, TIcon icon,
                                TButtons buttons) {
  const std::wstring wtext = W(text), wcaption = W(caption);
  for (;;) {
    const int result =
        MessageBoxW(owner_, wtext.c_str(), wcaption.c_str(), MessageBoxFlags(icon, buttons));
    if (buttons == TButtons::Ok) return TAnswer::Ok;
    if (result == IDYES) return TAnswer::Yes;
    if (result == IDNO || result == 0) return TAnswer::No;  // 0: no box could be shown
    // Windows lets only the two buttons end a Yes/No box; Wine also lets Escape and the close
    // box end it. A question is answered by its buttons: ask it again.
  }
}

TFileDialogStart FileDialogStart(const TFileDialogSpec& spec, const std::string& lastFolder) {
  TFileDialogStart start;
  start.File = W(spec.FileName);
  if (spec.Folder.empty()) {
    start.InitialDir = W(lastFolder);
    return start;
  }
  std::wstring folder = W(spec.Folder);
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  start.File = folder + start.File;
  return start;
}

std::optional<std::string> TWinUserDialog::RunFileDialog(const TFileDialogSpec& spec, bool save) {
  const std::wstring filter = ApiFilter(spec.Filter);
  const std::wstring title = W(spec.Title);
  const std::wstring ext = W(spec.DefaultExt);
  const TFileDialogStart start = FileDialogStart(spec, lastFolder_);
  const std::wstring& folder = start.InitialDir;
  std::vector<wchar_t> file(kPathChars, L'\0');
  start.File.copy(file.data(), std::min<size_t>(start.File.size(), kPathChars - 1));

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner_;
  ofn.lpstrFilter = spec.Filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = DWORD(spec.FilterIndex);
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = kPathChars;
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = title.c_str();
  ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (save) {
    ofn.Flags |= OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN | OFN_DONTADDTORECENT;
    if (spec.AskOverwrite) ofn.Flags |= OFN_OVERWRITEPROMPT;
  } else if (spec.MustExist) {
    ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  }
  if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
  const std::wstring chosen(file.data());
  lastFolder_ = S(chosen.substr(0, ofn.nFileOffset > 0 ? ofn.nFileOffset - 1 : 0));
  return S(chosen);
}

std::optional<std::string> TWinUserDialog::OpenFile(const TFileDialogSpec& spec) {
  return RunFileDialog(spec, false);
}

std::optional<std::string> TWinUserDialog::SaveFile(const TFileDialogSpec& spec) {
  return RunFileDialog(spec, true);
}

std::unique_ptr<TProgressWindow> TWinUserDialog::CreateProgressWindow() {
  return std::make_unique<TfrmProcessStatus>(owner_);
}

void TWinUserDialog::Repaint() {
  if (owner_) UpdateWindow(owner_);
}

}  // namespace dikton::win
