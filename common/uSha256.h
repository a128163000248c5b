// SHA-256 (FIPS 180-4) of a byte string or of a file's content, as lower-case hex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace dikton {

std::string Sha256Hex(const uint8_t* data, size_t size);
// nullopt when the file cannot be read.
std::optional<std::string> FileSha256Hex(const std::string& utf8Path);

}  // namespace dikton
