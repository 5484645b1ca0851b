// POSIX sockets, terminals and files behind TByteChannel. The TCP connect
// is non-blocking with a poll for its end, so a dead address cannot hold
// the thread past the timeout.
#include "position/byte_channel.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace marovia::position {

namespace {

std::string Errno(const std::string& What) {
  return What + ": " + std::strerror(errno);
}

speed_t SpeedOf(int Baud) {
  switch (Baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return B0;
  }
}

}  // namespace

TByteChannel::~TByteChannel() {
  Close();
}

void TByteChannel::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  file_ = false;
}

std::string TByteChannel::ConnectTcp(const std::string& Host, int Port,
                                     std::chrono::milliseconds Timeout) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string port = std::to_string(Port);
  const int rc = ::getaddrinfo(Host.c_str(), port.c_str(), &hints, &list);
  if (rc != 0) return Host + ": " + ::gai_strerror(rc);
  std::string why = Host + ":" + port + ": no address";
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    const int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      why = Errno("socket");
      continue;
    }
    int err = 0;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      err = errno;
      if (err == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        const int n = ::poll(&p, 1, static_cast<int>(Timeout.count()));
        if (n == 1) {
          socklen_t len = sizeof err;
          if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        } else {
          err = n == 0 ? ETIMEDOUT : errno;
        }
      }
    }
    if (err == 0) {
      fd_ = fd;
      break;
    }
    why = Host + ":" + port + ": " + std::strerror(err);
    ::close(fd);
  }
  ::freeaddrinfo(list);
  return fd_ >= 0 ? std::string() : why;
}

std::string TByteChannel::OpenDevice(const std::string& Path, int Baud) {
  Close();
  const int fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A device that only reads (a FIFO given as a device).
    const int ro = ::open(Path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (ro < 0) return Errno(Path);
    fd_ = ro;
    return "";
  }
  fd_ = fd;
  if (::isatty(fd)) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
      const std::string why = Errno(Path);
      Close();
      return why;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    const speed_t speed = SpeedOf(Baud);
    if (speed == B0) {
      Close();
      return Path + ": unsupported baud rate " + std::to_string(Baud);
    }
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
      const std::string why = Errno(Path);
      Close();
      return why;
    }
  }
  return "";
}

std::string TByteChannel::OpenFile(const std::string& Path) {
  Close();
  const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Errno(Path);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Path + ": is a folder";
  }
  fd_ = fd;
  file_ = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  return "";
}

TByteChannel::TRead TByteChannel::Read(char* Buffer, std::size_t Size, std::size_t& Got,
                                       std::chrono::milliseconds Wait, std::string& Why) {
  Got = 0;
  if (fd_ < 0) return TRead::Closed;
  if (!file_) {
    pollfd p{fd_, POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>(Wait.count()));
    if (n == 0) return TRead::Timeout;
    if (n < 0) {
      if (errno == EINTR) return TRead::Timeout;
      Why = Errno("poll");
      return TRead::Failed;
    }
  }
  const ssize_t r = ::read(fd_, Buffer, Size);
  if (r > 0) {
    Got = static_cast<std::size_t>(r);
    return TRead::Data;
  }
  if (r == 0) return TRead::Closed;
  if (errno == EAGAIN || errno == EINTR) return TRead::Timeout;
  Why = Errno("read");
  return TRead::Failed;
}

std::string TByteChannel::Write(const std::string& Text) {
  std::size_t done = 0;
  while (done < Text.size()) {
    const ssize_t w = ::send(fd_, Text.data() + done, Text.size() - done, MSG_NOSIGNAL);
    if (w < 0) {
      if (errno == EAGAIN || errno == EINTR) {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
        continue;
      }
      return Errno("send");
    }
    done += static_cast<std::size_t>(w);
  }
  return "";
}

}  // namespace marovia::position
