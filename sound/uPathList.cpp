#include "uPathList.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "TData.h"
#include "uSaveTarget.h"
#include "uWavFile.h"

namespace dikton {

namespace {

constexpr uint8_t kNameEnd = 0x00;      // closes every entry; also the separators
constexpr size_t kAddressBytes = 4;     // each trailing address, least significant first
constexpr size_t kMaxNameBytes = 1024;  // longer than any file system allows for a name
constexpr char32_t kLastAscii = 0x7F;
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800, kSurrogateLast = 0xDFFF;
constexpr char32_t kCyrillicCapitalIe = 0x0400;   // Ѐ, first of the capitals Ѐ..Џ
constexpr char32_t kCyrillicCapitalA = 0x0410;    // А
constexpr char32_t kCyrillicCapitalYa = 0x042F;   // Я
constexpr char32_t kCyrillicCapitalGhe = 0x0490;  // Ґ, ґ follows it
constexpr char32_t kCyrillicCaseStep = 0x20;      // А..Я -> а..я
constexpr char32_t kCyrillicExtraStep = 0x50;     // Ѐ..Џ -> ѐ..џ

// Windows-1251, bytes 0x80 to 0xFF. 0x98 is unassigned; it stands for U+0098 so that every
// byte reads and writes back unchanged.
constexpr std::array<char16_t, 128> kCp1251High{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 0xC0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 0xC8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 0xD0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 0xD8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // 0xE0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // 0xE8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // 0xF0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // 0xF8
};

// Decodes one UTF-8 sequence at s[i]; nullopt for a malformed one.
std::optional<char32_t> NextCodePoint(std::string_view s, size_t& i) {
  const uint8_t b0 = uint8_t(s[i++]);
  if (b0 <= kLastAscii) return b0;
  size_t more;
  char32_t c;
  char32_t least;
  if ((b0 & 0xE0) == 0xC0) {
    more = 1, c = b0 & 0x1F, least = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    more = 2, c = b0 & 0x0F, least = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    more = 3, c = b0 & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  for (; more > 0; --more) {
    if (i >= s.size() || (uint8_t(s[i]) & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (uint8_t(s[i++]) & 0x3F);
  }
  if (c < least || c > kLastCodePoint || (c >= kSurrogateFirst && c <= kSurrogateLast))
    return std::nullopt;
  return c;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c <= kLastAscii) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

void AppendAddress(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t b[kAddressBytes];
  Put32(b, value);
  out.insert(out.end(), b, b + kAddressBytes);
}

// Lower case of the letters whose case a Windows file system ignores in the names a list can
// hold: Latin A-Z and the Cyrillic letters of Windows-1251.
char32_t FoldCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + (U'a' - U'A');
  if (c >= kCyrillicCapitalA && c <= kCyrillicCapitalYa) return c + kCyrillicCaseStep;  // А-Я
  if (c >= kCyrillicCapitalIe && c < kCyrillicCapitalA) return c + kCyrillicExtraStep;  // Ё, Ђ..Џ
  if (c == kCyrillicCapitalGhe) return c + 1;                                           // Ґ
  return c;
}

// A UTF-8 name with its case folded; nullopt for a name that is not UTF-8.
std::optional<std::u32string> FoldedName(std::string_view utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    const std::optional<char32_t> c = NextCodePoint(utf8, i);
    if (!c) return std::nullopt;
    out += FoldCase(*c);
  }
  return out;
}

// The name of the one entry of the folder that equals 'name' but for case; nullopt when no
// entry or more than one does (two files of those names cannot both be the one meant).
std::optional<std::string> OnlyCaseVariant(const std::string& folderPrefix, std::string_view name) {
  const std::optional<std::u32string> wanted = FoldedName(name);
  if (!wanted) return std::nullopt;
  std::error_code ec;
  std::filesystem::directory_iterator it(
      folderPrefix.empty() ? std::filesystem::path(".") : FsPath(folderPrefix), ec);
  std::optional<std::string> found;
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::u8string u8 = it->path().filename().u8string();
    const std::string entry(u8.begin(), u8.end());
    if (FoldedName(entry) != wanted) continue;
    if (found) return std::nullopt;
    found = entry;
  }
  return found;
}

void EmptySlot(TFragmentRow& row) {
  row.Cell.Clear();
  row.PathText.clear();
}

// Fills a slot from the name stored in the list: the file is looked for beside the list.
// False when a name was stored but its slot stays empty.
bool TakeEntry(TFragmentRow& row, const std::string& folderPrefix, const std::string& stored,
               bool tooLong) {
  const std::string name = FromCp1251(stored);
  if (name.empty()) {
    EmptySlot(row);
    return true;
  }
  // Only a bare file name is ever saved; one with a folder in it would reach outside the
  // list's folder.
  if (tooLong || FileNameOf(name) != name) {
    EmptySlot(row);
    return false;
  }
  std::string full = folderPrefix + name;
  // A list written on Windows may name "A.WAV" for the folder's "a.wav": where the file system
  // tells case apart, a missing name is looked for once more without regard to case.
  if (!PathExists(FsPath(full))) {
    const std::optional<std::string> variant = OnlyCaseVariant(folderPrefix, name);
    if (!variant) {
      EmptySlot(row);
      return false;
    }
    full = folderPrefix + *variant;
  }
  // The format is not judged here (a file of another rate still takes its slot); one that is
  // not a RIFF file with sample data holds nothing to build and empties the slot.
  const std::optional<TWavInfo> info = ReadWavInfo(full);
  if (!info) {
    EmptySlot(row);
    return false;
  }
  row.Cell.Loaded = 1;
  row.Cell.Path = full;
  row.Cell.PackedSize = int32_t(
      std::min<uint32_t>(EstimatePackedSize(info->DataSize), std::numeric_limits<int32_t>::max()));
  row.PathText = DisplayForm(full);
  return true;
}

}  // namespace

std::optional<std::string> ToCp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const std::optional<char32_t> c = NextCodePoint(utf8, i);
    if (!c) return std::nullopt;
    if (*c <= kLastAscii) {
      out += char(*c);
      continue;
    }
    size_t k = 0;
    while (k < kCp1251High.size() && kCp1251High[k] != *c) ++k;
    if (k == kCp1251High.size()) return std::nullopt;
    out += char(0x80 + k);
  }
  return out;
}

std::string FromCp1251(std::string_view cp1251) {
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (const char ch : cp1251) {
    const uint8_t b = uint8_t(ch);
    AppendUtf8(out, b <= kLastAscii ? char32_t(b) : char32_t(kCp1251High[b - 0x80]));
  }
  return out;
}

TListBytes BuildPathList(const TFragmentCatalogue& catalogue, uint32_t start, uint32_t end) {
  TListBytes list;
  std::vector<uint8_t>& out = list.Bytes;
  for (int i = 0; i < TFragmentCatalogue::Count(); ++i) {
    const TStringCell& cell = catalogue.Row(i).Cell;
    if (cell.Loaded == 1) {
      const std::string name = FileNameOf(cell.Path);
      const std::optional<std::string> stored = ToCp1251(name);
      if (!stored || stored->find(char(kNameEnd)) != std::string::npos) {
        list.Bytes.clear();
        list.BadName = name;
        return list;
      }
      out.insert(out.end(), stored->begin(), stored->end());
    }
    out.push_back(kNameEnd);
  }
  out.push_back(kNameEnd);
  AppendAddress(out, start);
  out.push_back(kNameEnd);
  AppendAddress(out, end);
  return list;
}

bool SavePathList(const std::string& path, const std::vector<uint8_t>& bytes) {
  // Written beside the target and renamed over it, so that a failed write leaves the old list
  // whole instead of half overwritten.
  const std::filesystem::path target = FsPath(path);
  if (target.empty() || IsReadOnlyTarget(target)) return false;
  std::filesystem::path temp = target;
  temp += ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  TakeTargetMode(target, temp);
  if (!RenameOver(temp, target)) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
  }
  return true;
}

std::optional<TListRange> LoadPathList(const std::string& path, TFragmentCatalogue& catalogue,
                                       std::vector<TMissingName>* missing) {
  if (missing) missing->clear();
  const std::filesystem::path fs = FsPath(path);
  if (!IsRegularFile(fs)) return std::nullopt;
  std::ifstream in(fs, std::ios::binary);
  if (!in) return std::nullopt;
  std::streambuf& buf = *in.rdbuf();
  constexpr auto kEof = std::char_traits<char>::eof();

  const std::string folderPrefix = FolderPrefixOf(path);
  std::string name;
  bool tooLong = false;
  int b = 0;
  int ch = kEof;
  while ((ch = buf.sbumpc()) != kEof && b < TFragmentCatalogue::Count()) {
    if (uint8_t(ch) != kNameEnd) {
      if (name.size() < kMaxNameBytes)
        name += char(ch);
      else
        tooLong = true;
      continue;
    }
    if (!TakeEntry(catalogue.Row(b), folderPrefix, name, tooLong) && missing)
      missing->push_back({b, FromCp1251(name)});
    name.clear();
    tooLong = false;
    ++b;
  }
  // The loop ends on the separator after the last entry when the file goes on; the range is
  // taken only when both addresses are there whole.
  if (ch == kEof) return std::nullopt;
  uint8_t tail[2 * kAddressBytes + 1];
  if (buf.sgetn(reinterpret_cast<char*>(tail), sizeof tail) != std::streamsize(sizeof tail))
    return std::nullopt;
  return TListRange{Get32(tail), Get32(tail + kAddressBytes + 1)};
}

}  // namespace dikton
