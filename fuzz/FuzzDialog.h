// A user dialogue that answers every file dialog with one path and every question with Yes,
// and keeps the messages shown.
#pragma once

#include <string>
#include <vector>

#include "uUserDialog.h"

namespace dikton::fuzz {

class TFuzzDialog : public TUserDialog {
 public:
  explicit TFuzzDialog(std::string path) : path_(std::move(path)) {}
  std::vector<std::string> Messages;

  TAnswer Message(std::string_view text, std::string_view, TIcon, TButtons buttons) override {
    Messages.emplace_back(text);
    return buttons == TButtons::YesNo ? TAnswer::Yes : TAnswer::Ok;
  }
  std::optional<std::string> OpenFile(const TFileDialogSpec&) override { return path_; }
  std::optional<std::string> SaveFile(const TFileDialogSpec&) override { return path_; }
  std::unique_ptr<TProgressWindow> CreateProgressWindow() override { return nullptr; }

 private:
  std::string path_;
};

}  // namespace dikton::fuzz
