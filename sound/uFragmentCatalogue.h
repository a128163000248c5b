// The fixed catalogue of 76 fragment slots and the record each row of the list holds.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "uConst_Orbis.h"

namespace dikton {

struct TStringCell {
  uint8_t Loaded = 0;      // 1: the row holds a file whose size has been taken
  std::string Path;        // full path, as chosen, typed or resolved
  int32_t PackedSize = 0;  // bytes in the sound area, end mark included; valid while Loaded
  void Clear() {
    Loaded = 0;
    Path.clear();
    PackedSize = 0;
  }
};

// The names of the slots, in index order.
extern const std::array<std::string_view, kFragmentSlots> kSlotNames;

struct TFragmentRow {
  std::string NameText;  // column 0 (tlName)
  std::string PathText;  // column 1 (tlPath): the "%s [%s]" display form
  std::string InfoText;  // column 2 (tlInfoCol): created empty, never written
  TStringCell Cell;
};

class TFragmentCatalogue {
 public:
  // Builds the 76 rows with their names.
  TFragmentCatalogue();

  TFragmentRow& Row(int i) { return rows_.at(i); }
  const TFragmentRow& Row(int i) const { return rows_.at(i); }
  static constexpr int Count() { return kFragmentSlots; }

  // Sum of PackedSize over the loaded rows, row 'skip' left out.
  int32_t SumFragmentSizes(std::optional<int> skip = std::nullopt) const;
  // A row with Loaded 1 and a non-empty Path.
  bool HasFragments() const;

 private:
  std::array<TFragmentRow, kFragmentSlots> rows_;
};

}  // namespace dikton
