#include "uUserDialog.h"

namespace dikton {

std::string ErrorBoxText(std::string_view message) {
  std::string s(message);
  // The code of the last character, as the error box sees it: a UTF-8 sequence ends in a
  // continuation byte, and stands for a character far above '.'.
  if (!s.empty() && static_cast<unsigned char>(s.back()) > '.') s += '.';
  return s;
}

}  // namespace dikton
