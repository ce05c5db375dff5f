// A server that takes a connection and never answers: the loopback port a client waits on.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace zarvel::testing {

class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 4) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return;
    uri_ = "postgresql://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/yard";
  }
  ~SilentServer() {
    if (fd_ >= 0) close(fd_);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  // A yard's place on it; empty when no port could be had.
  const std::string& Uri() const { return uri_; }

 private:
  int fd_ = -1;
  std::string uri_;
};

}  // namespace zarvel::testing
