// The write-sound worker: writes the fragment directory and the packed sound data from
// StartSoundAddr to the last end mark, and on request reads them back byte for byte.
#pragma once

#include "uRV7K_v210_Sound.h"

namespace dikton {

class TRV7KWriteSoundThread : public TRV7KSoundThread {
 public:
  explicit TRV7KWriteSoundThread(TData* image, const TLinkContext& ctx = {});
  ~TRV7KWriteSoundThread() override;

  // The address of the last fragment's end mark, EndSoundAddr when none comes first, or the
  // directory's last byte when every entry is 0. Never reads outside the image. nullopt when
  // a stop was requested during the search.
  std::optional<uint32_t> FindEndOfData();

  // How the job went, for the command's result.
  bool VerifyDeclined = false;      // stopped while waiting for the read-back question
  bool DifferenceDeclined = false;  // stopped while waiting after a difference

 protected:
  void Execute() override;
};

}  // namespace dikton
