// Plays back what a program sent a terminal, as far as the station's rows use it: "ESC[nA"
// moves up n lines, "ESC[2K" clears the line, "\r" goes to its start, "\n" to the next line.
// Returns the screen's lines, the last one only when it holds something.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace dikton::test {

inline std::vector<std::string> TermScreen(const std::string& sent) {
  std::vector<std::string> lines(1);
  size_t y = 0;
  for (size_t i = 0; i < sent.size(); ++i) {
    const char c = sent[i];
    if (c == '\x1b' && i + 1 < sent.size() && sent[i + 1] == '[') {
      size_t j = i + 2, n = 0;
      while (j < sent.size() && std::isdigit((unsigned char)sent[j]))
        n = n * 10 + size_t(sent[j++] - '0');
      if (j == sent.size()) break;
      if (sent[j] == 'A') y -= std::min(y, n);
      if (sent[j] == 'K') lines[y].clear();
      i = j;
    } else if (c == '\r') {
      // every row is cleared by the escape that follows
    } else if (c == '\n') {
      if (++y == lines.size()) lines.emplace_back();
    } else {
      lines[y] += c;
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

}  // namespace dikton::test
