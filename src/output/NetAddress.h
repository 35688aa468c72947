#pragma once

// Addresses, name resolution and UDP socket options of the network outputs (not
// for use outside src/output, except by their tests).

#include <sys/socket.h>

#include <memory>
#include <string>
#include <vector>

#include "output/OutputSpec.h"

namespace fixcaster::detail {

struct NetAddress {
  sockaddr_storage addr{};
  socklen_t len = 0;

  int Family() const { return addr.ss_family; }
  const sockaddr* Sockaddr() const { return reinterpret_cast<const sockaddr*>(&addr); }
  bool IsMulticast() const;
};

// "127.0.0.1:10110", "[ff02::1]:10110".
std::string AddressText(const NetAddress& address);

// A host name resolved once. A numeric address is taken at once; a name is
// looked up on a thread of its own, so that closing the output never waits for a
// slow name server (a lookup still running then finishes into the void).
class Resolution {
 public:
  // socktype: SOCK_DGRAM or SOCK_STREAM. False when the lookup cannot start.
  bool Start(const std::string& host, uint16_t port, int socktype, std::string* error);
  bool Done() const;
  // Readable once the lookup is done; -1 when it was done at once.
  int Fd() const;
  // When done: the addresses in the resolver's order, or none and the error text.
  std::vector<NetAddress> Take(std::string* error);

 private:
  struct Slot;
  std::shared_ptr<Slot> slot_;
};

// Sets what a datagram socket to `dest` needs: broadcast allowed (IPv4), and for
// a multicast group the spec's TTL (hop limit) and interface. False with the
// problem filled in when the interface cannot be used.
bool ConfigureUdpSocket(int fd, const NetAddress& dest, const OutputSpec& spec,
                        OutputProblem* problem);

// Takes (and clears) the error a socket has pending, e.g. from an ICMP
// port-unreachable for an earlier datagram; 0 for none.
int TakeSocketError(int fd);

}  // namespace fixcaster::detail
