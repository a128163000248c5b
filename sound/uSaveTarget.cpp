#include "uSaveTarget.h"

#include <system_error>

namespace dikton {

namespace fs = std::filesystem;

namespace {
constexpr fs::perms kAnyWrite =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
}  // namespace

bool IsReadOnlyTarget(const fs::path& target) {
  std::error_code ec;
  const fs::file_status st = fs::status(target, ec);
  if (ec || !fs::is_regular_file(st)) return false;
  return (st.permissions() & kAnyWrite) == fs::perms::none;
}

void TakeTargetMode(const fs::path& target, const fs::path& temp) {
  std::error_code ec;
  const fs::file_status st = fs::status(target, ec);
  if (ec || !fs::is_regular_file(st)) return;
  fs::permissions(temp, st.permissions() & fs::perms::all, fs::perm_options::replace, ec);
}

}  // namespace dikton
