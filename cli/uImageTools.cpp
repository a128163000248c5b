#include "uImageTools.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "uConst_Orbis.h"
#include "uFragmentCatalogue.h"
#include "uImageFile.h"
#include "uPathList.h"
#include "uSoundArea.h"
#include "uWavFile.h"

namespace dikton::cli {

namespace {

constexpr double kSampleRate = 10000;    // samples/s of every fragment
constexpr size_t kSignatureDigits = 10;  // DDMMYYhhmm
constexpr size_t kSignatureMaker = 5;    // maker field after the digits
constexpr size_t kNameColumn = 30;       // characters of the slot name column
constexpr const char* kListName = "paths.txt";
constexpr uint32_t kAddressBytes = 3;  // a 24-bit device address in the image

std::string Hex24(uint32_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", unsigned(a));
  return text;
}

std::string Hex32(uint32_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", unsigned(a));
  return text;
}

std::string SlotFileName(int slot) {
  char text[16];
  std::snprintf(text, sizeof text, "slot%02d.wav", slot);
  return text;
}

// Pads a UTF-8 text to a number of characters.
std::string Pad(std::string_view s, size_t width) {
  const size_t chars =
      size_t(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
  return std::string(s) + std::string(chars < width ? width - chars : 1, ' ');
}

std::string SignatureText(const TData& image) {
  if (image.size() < size_t(kSignaturePtrAddr) + kAddressBytes)
    return "none (the image ends before its pointer)";
  const uint32_t at = Get24(&image[kSignaturePtrAddr]);
  if (size_t(at) + kSignatureSize > image.size())
    return "none (pointer " + Hex24(at) + " lies outside the image)";
  const uint8_t* r = &image[at];
  const bool digits =
      std::all_of(r, r + kSignatureDigits, [](uint8_t c) { return c >= '0' && c <= '9'; });
  const bool maker = std::all_of(r + kSignatureDigits, r + kSignatureDigits + kSignatureMaker,
                                 [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
  if (!digits || !maker) return "none at " + Hex24(at) + " (no date and maker there)";
  const std::string d(reinterpret_cast<const char*>(r), kSignatureDigits);
  const std::string m(reinterpret_cast<const char*>(r + kSignatureDigits), kSignatureMaker);
  return Hex24(at) + ": " + d.substr(0, 2) + "." + d.substr(2, 2) + "." + d.substr(4, 2) + " " +
         d.substr(6, 2) + ":" + d.substr(8, 2) + " " + m;
}

}  // namespace

std::string Utf8Of(const std::string& folder, const std::string& name) {
  const std::u8string u = (FsPath(folder) / FsPath(name)).u8string();
  return std::string(u.begin(), u.end());
}

void PrintImageInfo(std::ostream& out, const std::string& path, const TImageView& view) {
  const TData& image = view.Image;
  const TImageChecksum sum = ImageChecksum(image.data(), image.size());
  out << "File: " << path << " (" << image.size() + kImageHeaderSize << " bytes)\n";
  out << "StartSoundAddr=" << view.Start << " (" << Hex24(view.Start)
      << ") EndSoundAddr=" << view.End << " (" << Hex24(view.End)
      << ") Size=" << (view.End - view.Start + 1) << "\n";
  out << "Checksums: A=" << Hex32(sum.A) << " B=" << Hex32(sum.B) << " (as in the header)\n";

  const TAreaContent area = ReadSoundArea(image, view.Start, view.End);
  uint64_t packed = 0;
  double seconds = 0;
  out << "Fragments:\n";
  out << "slot " << Pad("name", kNameColumn) << "address     bytes  samples  seconds\n";
  for (const TAreaFragment& f : area.Fragments) {
    const auto samples = PackedSamples(f.Size);
    char line[96];
    const double s = samples ? double(*samples) / kSampleRate : 0;
    std::snprintf(line, sizeof line, "%s %8u %8s %8.3f", Hex24(f.Address).c_str(),
                  unsigned(f.Size + 1), samples ? std::to_string(*samples).c_str() : "-", s);
    char slot[8];
    std::snprintf(slot, sizeof slot, "%4d ", f.Slot);
    out << slot << Pad(kSlotNames[size_t(f.Slot)], kNameColumn) << line;
    if (!f.Closed)
      out << "  no end mark inside the sound range";
    else if (!samples)
      out << "  damaged: no whole number of samples";
    out << "\n";
    packed += f.Size + 1;
    seconds += s;
  }
  for (int slot : area.BadSlots) {
    const uint32_t a = Get24(&image[kDirectoryAddr + kAddressBytes * uint32_t(slot - 1)]);
    out << "     slot " << slot << ": directory entry " << Hex24(a)
        << " lies outside the sound range\n";
  }
  char total[96];
  std::snprintf(total, sizeof total, "%.3f s\n", seconds);
  out << area.Fragments.size() << " fragments, " << packed << " bytes (end marks included), "
      << total;
  out << "Signature: " << SignatureText(image) << "\n";
}

TExtractResult ExtractFragments(const TImageView& view, const std::string& dir) {
  TExtractResult result;
  std::error_code ec;
  std::filesystem::create_directories(FsPath(dir), ec);
  if (!std::filesystem::is_directory(FsPath(dir), ec)) {
    result.Warnings.push_back(dir + ": cannot create the folder");
    return result;
  }
  const TAreaContent area = ReadSoundArea(view.Image, view.Start, view.End);
  for (int slot : area.BadSlots)
    result.Warnings.push_back("slot " + std::to_string(slot) +
                              ": directory entry outside the sound range; left out");
  TFragmentCatalogue catalogue;
  for (const TAreaFragment& f : area.Fragments) {
    const auto count = PackedSamples(f.Size);
    if (!f.Closed || !count) {
      result.Warnings.push_back("slot " + std::to_string(f.Slot) +
                                (f.Closed ? ": no whole number of samples; left out"
                                          : ": no end mark inside the sound range; left out"));
      continue;
    }
    const std::vector<int16_t> samples = UnpackFragment(&view.Image[f.Address], f.Size);
    const std::string path = Utf8Of(dir, SlotFileName(f.Slot));
    if (!WriteWavFile(path, samples)) {
      result.Warnings.push_back(path + ": cannot be written");
      return result;
    }
    result.Written.push_back(path);
    TStringCell& cell = catalogue.Row(f.Slot).Cell;
    cell.Loaded = 1;
    cell.Path = path;
    cell.PackedSize = int32_t(PackedLength(samples.size()));
  }
  const TListBytes list = BuildPathList(catalogue, view.Start, view.End);
  const std::string listPath = Utf8Of(dir, kListName);
  if (list.Bytes.empty() || !SavePathList(listPath, list.Bytes)) {
    result.Warnings.push_back(listPath + ": cannot be written");
    return result;
  }
  result.Written.push_back(listPath);
  result.Ok = true;
  return result;
}

}  // namespace dikton::cli
