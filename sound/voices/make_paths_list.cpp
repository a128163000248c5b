// Helper of the build that makes the demonstration voices.
//   make_paths_list --phrases   one line per slot: its two-digit index, a blank, the words to say
//   make_paths_list FOLDER      writes FOLDER/paths.txt naming FOLDER/slot00.wav ... slot75.wav
#include <cstdio>
#include <string>
#include <string_view>

#include "uFragmentCatalogue.h"
#include "uPathList.h"
#include "uWavFile.h"

namespace {

constexpr uint32_t kDemoStart = 0x3200;  // StartSoundAddr of the list, as the demo device has it
constexpr uint32_t kDemoEnd = 0xFFFFF;   // EndSoundAddr: the last byte of 1 MiB

std::string SlotFile(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "slot%02d.wav", i);
  return name;
}

// The slot names shortened for the list ("сообще...", "Двадцать+") said in full.
std::string Phrase(std::string_view name) {
  std::string s(name);
  const std::string cut = "сообще...";
  if (s.ends_with(cut)) s.replace(s.size() - cut.size(), cut.size(), "сообщение");
  if (s.ends_with('+')) s.pop_back();
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dikton;
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_paths_list --phrases | FOLDER\n");
    return 2;
  }
  const std::string arg = argv[1];
  if (arg == "--phrases") {
    for (int i = 0; i < kFragmentSlots; ++i)
      std::printf("%02d %s\n", i, Phrase(kSlotNames[i]).c_str());
    return 0;
  }
  TFragmentCatalogue catalogue;
  for (int i = 0; i < kFragmentSlots; ++i) {
    const std::string path = arg + "/" + SlotFile(i);
    const auto info = ReadWavInfo(path);
    if (!info || !info->FormatOk) {
      std::fprintf(stderr, "make_paths_list: %s is not a fragment\n", path.c_str());
      return 1;
    }
    TStringCell& cell = catalogue.Row(i).Cell;
    cell.Loaded = 1;
    cell.Path = path;
    cell.PackedSize = int32_t(EstimatePackedSize(info->DataSize));
  }
  const TListBytes list = BuildPathList(catalogue, kDemoStart, kDemoEnd);
  if (list.Bytes.empty() || !SavePathList(arg + "/paths.txt", list.Bytes)) {
    std::fprintf(stderr, "make_paths_list: cannot write %s/paths.txt\n", arg.c_str());
    return 1;
  }
  return 0;
}
