#pragma once

#include <sys/types.h>

#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "app/ControlProtocol.h"

class QObject;
class QSocketNotifier;

namespace fixcaster {

// The control socket: a Unix-domain stream socket that takes JSON-lines requests
// (ControlProtocol.h) from any number of local clients and answers each through a
// ControlHandler. Everything runs on the event-loop thread that owns it, through
// QSocketNotifiers; no call ever waits on a client. A client that does not read is
// given up to MaxPendingBytes of replies and events, then disconnected.
//
// Not to be destroyed from inside one of its handler calls.
class ControlServer {
 public:
  // Replies and events a client may leave unread before it is disconnected.
  static constexpr size_t MaxPendingBytes = 1 << 20;

  explicit ControlServer(ControlHandler& handler);
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Listens at `path`, creating the socket with mode 0600. A path held by a live
  // socket is refused, a stale socket file (nobody listening) is replaced, and a
  // path that is anything but a socket is refused and left alone. On failure
  // `error` holds a one-line message naming the path.
  bool Open(const std::string& path, std::string& error);
  // Disconnects every client and removes the socket file (unless someone else has
  // replaced it meanwhile).
  void Close();
  bool IsOpen() const { return listenFd_ >= 0; }
  const std::string& Path() const { return path_; }

  // Sends {"event": event, ...fields} to every connection that subscribed.
  void Broadcast(std::string_view event, const QJsonObject& fields = {});

  size_t ConnectionCount() const;
  size_t SubscriberCount() const;

 private:
  struct Connection;
  class Scope;

  void Accept();
  void Read(uint64_t id);
  void Write(uint64_t id);
  void HandleInput(Connection& c);
  void Send(Connection& c, std::string_view data);
  void Drop(Connection& c);
  void Reap();
  Connection* Find(uint64_t id);

  ControlHandler& handler_;
  std::string path_;
  int listenFd_ = -1;
  dev_t socketDev_ = 0;
  ino_t socketIno_ = 0;
  std::unique_ptr<QSocketNotifier> acceptNotifier_;
  std::unique_ptr<QObject> context_;  // owner of the accept pause timer
  std::map<uint64_t, std::unique_ptr<Connection>> connections_;
  uint64_t nextId_ = 1;
  int depth_ = 0;  // calls of ours on the stack; dropped connections are freed at 0
};

}  // namespace fixcaster
