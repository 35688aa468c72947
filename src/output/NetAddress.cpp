#include "output/NetAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace fixcaster::detail {

bool NetAddress::IsMulticast() const {
  if (Family() == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
    return IN_MULTICAST(ntohl(a->sin_addr.s_addr));
  }
  if (Family() == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
    return IN6_IS_ADDR_MULTICAST(&a->sin6_addr);
  }
  return false;
}

std::string AddressText(const NetAddress& address) {
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  if (getnameinfo(address.Sockaddr(), address.len, host, sizeof host, port, sizeof port,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return "?";
  if (address.Family() == AF_INET6) return std::string("[") + host + "]:" + port;
  return std::string(host) + ":" + port;
}

struct Resolution::Slot {
  std::mutex mutex;
  bool done = false;
  std::vector<NetAddress> addresses;
  std::string error;
  int fd = -1;

  ~Slot() {
    if (fd >= 0) close(fd);
  }
};

namespace {

// getaddrinfo into `out`; false with the error text (and *code) when nothing was found.
bool Lookup(const std::string& host, uint16_t port, int socktype, int flags,
            std::vector<NetAddress>& out, std::string& error, int* code) {
  addrinfo hints{};
  hints.ai_socktype = socktype;
  hints.ai_flags = flags | AI_NUMERICSERV;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  int r = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  *code = r;
  if (r != 0) {
    error = r == EAI_SYSTEM ? ErrnoText(errno) : gai_strerror(r);
    return false;
  }
  for (addrinfo* p = list; p; p = p->ai_next) {
    if (p->ai_addrlen > sizeof(sockaddr_storage)) continue;
    if (p->ai_family != AF_INET && p->ai_family != AF_INET6) continue;
    NetAddress a;
    std::memcpy(&a.addr, p->ai_addr, p->ai_addrlen);
    a.len = p->ai_addrlen;
    out.push_back(a);
  }
  freeaddrinfo(list);
  if (out.empty()) error = "no address";
  return !out.empty();
}

}  // namespace

bool Resolution::Start(const std::string& host, uint16_t port, int socktype, std::string* error) {
  slot_ = std::make_shared<Slot>();
  int code = 0;
  std::vector<NetAddress> found;
  std::string lookupError;
  if (Lookup(host, port, socktype, AI_NUMERICHOST, found, lookupError, &code) ||
      code != EAI_NONAME) {
    slot_->addresses = std::move(found);
    slot_->error = std::move(lookupError);
    slot_->done = true;
    return true;
  }
  slot_->fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (slot_->fd < 0) {
    *error = ErrnoText(errno);
    return false;
  }
  try {
    std::thread([slot = slot_, host, port, socktype] {
      std::vector<NetAddress> addresses;
      std::string text;
      int c = 0;
      Lookup(host, port, socktype, 0, addresses, text, &c);
      std::lock_guard lk(slot->mutex);
      slot->addresses = std::move(addresses);
      slot->error = std::move(text);
      slot->done = true;
      uint64_t one = 1;
      ssize_t w = write(slot->fd, &one, sizeof one);
      (void)w;
    }).detach();
  } catch (const std::system_error& e) {
    *error = e.what();
    return false;
  }
  return true;
}

bool Resolution::Done() const {
  if (!slot_) return false;
  std::lock_guard lk(slot_->mutex);
  return slot_->done;
}

int Resolution::Fd() const {
  return slot_ ? slot_->fd : -1;
}

std::vector<NetAddress> Resolution::Take(std::string* error) {
  if (!slot_) return {};
  std::lock_guard lk(slot_->mutex);
  *error = slot_->error;
  return std::move(slot_->addresses);
}

namespace {

// The index of the interface that has this address, 0 for none.
unsigned InterfaceOfAddress(const in6_addr& wanted) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return 0;
  unsigned index = 0;
  for (ifaddrs* p = list; p && !index; p = p->ifa_next) {
    if (!p->ifa_addr || p->ifa_addr->sa_family != AF_INET6) continue;
    const auto* a = reinterpret_cast<const sockaddr_in6*>(p->ifa_addr);
    if (std::memcmp(&a->sin6_addr, &wanted, sizeof wanted) == 0)
      index = if_nametoindex(p->ifa_name);
  }
  freeifaddrs(list);
  return index;
}

}  // namespace

bool ConfigureUdpSocket(int fd, const NetAddress& dest, const OutputSpec& spec,
                        OutputProblem* problem) {
  auto fail = [&](const std::string& detail) {
    *problem = {OutputProblemId::InterfaceFailed, spec.interface, detail};
    return false;
  };
  if (dest.Family() == AF_INET) {
    // Without it a broadcast address, also a subnet's, is refused (EACCES).
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (!dest.IsMulticast()) return true;
    int ttl = spec.ttl;
    if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0)
      return fail(ErrnoText(errno));
    if (spec.interface.empty()) return true;
    ip_mreqn req{};
    if (inet_pton(AF_INET, spec.interface.c_str(), &req.imr_address) != 1) {
      req.imr_ifindex = static_cast<int>(if_nametoindex(spec.interface.c_str()));
      if (req.imr_ifindex == 0) return fail("no such interface or address");
    }
    if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &req, sizeof req) != 0)
      return fail(ErrnoText(errno));
    return true;
  }
  if (!dest.IsMulticast()) return true;
  int hops = spec.ttl;
  if (setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops) != 0)
    return fail(ErrnoText(errno));
  if (spec.interface.empty()) return true;
  in6_addr a{};
  unsigned index = inet_pton(AF_INET6, spec.interface.c_str(), &a) == 1
                       ? InterfaceOfAddress(a)
                       : if_nametoindex(spec.interface.c_str());
  if (index == 0) return fail("no such interface or address");
  if (setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index) != 0)
    return fail(ErrnoText(errno));
  return true;
}

int TakeSocketError(int fd) {
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return 0;
  return error;
}

}  // namespace fixcaster::detail
