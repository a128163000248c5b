// info and extract: what an image file holds, and its fragments back as WAV files.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "TData.h"

namespace dikton::cli {

struct TImageView {
  const TData& Image;
  uint32_t Start = 0;
  uint32_t End = 0;
};

void PrintImageInfo(std::ostream& out, const std::string& path, const TImageView& view);

struct TExtractResult {
  bool Ok = false;                    // every file was written
  std::vector<std::string> Written;   // the paths, in slot order, paths.txt last
  std::vector<std::string> Warnings;  // fragments left out, and why
};

// Writes DIR/slotNN.wav for every fragment and DIR/paths.txt naming them with the range.
TExtractResult ExtractFragments(const TImageView& view, const std::string& dir);

// A file system path as the UTF-8 the program holds paths in.
std::string Utf8Of(const std::string& folder, const std::string& name);

}  // namespace dikton::cli
