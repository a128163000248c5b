// A file that whole lines are appended to, by several writers at once (threads of one process,
// or processes): every Append is one write of the whole text at the file's end (O_APPEND;
// FILE_APPEND_DATA on Windows), pushed to the disk (fsync; FlushFileBuffers) before it returns.
// A line is therefore on the disk whole or not at all, and two writers' lines never interleave.
// The threads of one process take turns at a mutex; on Windows every append also holds an
// exclusive lock on the file, as an append there is one step only where the file system makes it
// so (Wine, for one, finds the end and writes there in two).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace dikton {

class TAppendFile {
 public:
  TAppendFile() = default;
  ~TAppendFile();
  TAppendFile(const TAppendFile&) = delete;
  TAppendFile& operator=(const TAppendFile&) = delete;

  // Opens (creating it when missing) for appending; false when it cannot be.
  bool Open(const std::string& utf8Path);
  bool IsOpen() const;
  // One write of 'text' at the end, then flushed to the disk; false when either failed.
  bool Append(std::string_view text);
  void Close();

 private:
  std::mutex mutex_;
#ifdef _WIN32
  void* handle_ = nullptr;  // HANDLE
#else
  int fd_ = -1;
#endif
};

}  // namespace dikton
