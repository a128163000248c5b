// File names and the few file calls that differ between platforms. Paths are UTF-8 strings
// everywhere in the program; on Windows they become UTF-16 only here, at the file call.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace dikton {

// The file system's form of a UTF-8 path. Text that is not valid UTF-8 gives the empty path,
// which every open refuses, so such a name fails like a file that cannot be opened. On Windows
// a path too long for the system's ordinary limit (deep folders, network shares) is made
// absolute and given the "\\?\" form ("\\?\UNC\" for a share), which the file calls take
// at any length.
std::filesystem::path FsPath(std::string_view utf8);
// And back: the UTF-8 text of a file system path, without the long form's prefix.
std::string Utf8Path(const std::filesystem::path& p);

// What a path names, asked of the system itself: the C library's stat, which
// std::filesystem uses on Windows, takes the "?" of the long form for a wildcard and
// refuses it.
bool IsRegularFile(const std::filesystem::path& p);
bool PathExists(const std::filesystem::path& p);
// The size of a regular file; nothing for anything else.
std::optional<uint64_t> RegularFileSize(const std::filesystem::path& p);

// Creates a new file for binary writing; null when it exists already or cannot be made.
std::FILE* CreateNewFile(const std::filesystem::path& p);
// Pushes what the file holds to the disk before it replaces another.
bool SyncFile(std::FILE* f);
// Puts 'temp' in the place of 'target' in one step, replacing a file that is there. On Windows
// MoveFileExW with replace-existing and write-through.
bool RenameOver(const std::filesystem::path& temp, const std::filesystem::path& target);

// The folder of the running program's executable, UTF-8; empty when it cannot be found.
std::string ExecutableFolder();

}  // namespace dikton
