// The byte streams position sources read: a TCP connection, a serial
// device, a file. Reads wait at most a given time, so that the reading
// thread sees a stop request promptly.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace marovia::position {

class TByteChannel {
 public:
  TByteChannel() = default;
  ~TByteChannel();
  TByteChannel(const TByteChannel&) = delete;
  TByteChannel& operator=(const TByteChannel&) = delete;

  // Each opener answers "" on success, else why it failed (the channel is
  // then closed).
  std::string ConnectTcp(const std::string& Host, int Port, std::chrono::milliseconds Timeout);
  // A serial device in raw mode at Baud (8 data bits, no parity, 1 stop
  // bit); a FIFO or other character device is opened as it is when it is
  // no terminal.
  std::string OpenDevice(const std::string& Path, int Baud);
  std::string OpenFile(const std::string& Path);

  enum class TRead { Data, Timeout, Closed, Failed };
  // Reads what is there, waiting up to Wait; Got bytes into Buffer.
  TRead Read(char* Buffer, std::size_t Size, std::size_t& Got, std::chrono::milliseconds Wait,
             std::string& Why);
  // Writes all of Text; "" or why not.
  std::string Write(const std::string& Text);
  void Close();
  bool Open() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  bool file_ = false;  // a regular file: reads never wait
};

}  // namespace marovia::position
