// Saving by a complete temporary file renamed over the target: what the target itself asks
// of such a save. Shared by the image file and the list file writers.
#pragma once

#include <filesystem>

namespace dikton {

// True when 'target' is an existing file whose mode lets nobody write it. Such a file is not
// replaced: a rename would go round the protection its owner gave it. Judged by the mode
// bits alone, so that the answer does not depend on who runs the program (root may write
// anything).
bool IsReadOnlyTarget(const std::filesystem::path& target);

// Gives the finished temporary file the permission bits of the file it is about to replace,
// so that a replaced file keeps its mode; with no file to replace the temporary keeps those
// it was created with. Failing to copy them is no reason to refuse the save.
void TakeTargetMode(const std::filesystem::path& target, const std::filesystem::path& temp);

}  // namespace dikton
