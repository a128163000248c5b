// Reading fragment files: 16-bit mono PCM WAV at 10000 samples per second. The RIFF chunks are
// walked, so a file with more than the canonical 44-byte header reads right.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uFiles.h"  // FsPath: paths are UTF-8 strings on every platform

namespace dikton {

struct TWavInfo {
  bool FormatOk = false;    // PCM (or EXTENSIBLE with the PCM sub-format), 1 ch, 10000 Hz,
                            // block align 2, 16 bits
  uint32_t DataOffset = 0;  // where the samples start
  uint32_t DataSize = 0;    // data chunk size, cut to what the file really holds
};

// nullopt: the file cannot be opened or is not a RIFF/WAVE file with a data chunk.
std::optional<TWavInfo> ReadWavInfo(const std::string& path);
// The samples of a file whose format is right; nullopt when it cannot be read or is not right.
std::optional<std::vector<int16_t>> ReadWavSamples(const std::string& path);

// Writes a fragment file: canonical 44-byte header, 16-bit mono PCM at 10000 samples per second.
// The file is written beside 'path' and renamed over it once complete; false when it failed.
bool WriteWavFile(const std::string& path, const std::vector<int16_t>& samples);

// Bytes a fragment of n data bytes takes in the sound area, end mark included.
uint32_t EstimatePackedSize(uint32_t n);

// The part of a path after its last folder delimiter, and the folder before it as shown in the
// list. Delimiters: "\", "/" and ":" on Windows; "/" alone on POSIX, where "\" and ":" are
// ordinary characters of a file name.
std::string FileNameOf(std::string_view path);
std::string FolderOf(std::string_view path);
// "%s [%s]" of file name and folder.
std::string DisplayForm(std::string_view path);
// The path up to and including its last delimiter (empty for a bare name): the prefix to put
// before a file name that lies beside 'path'.
std::string FolderPrefixOf(std::string_view path);

}  // namespace dikton
