// The control socket over real Unix-domain sockets in a temporary folder, the
// server on this thread's event loop.

#include "app/ControlServer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "output/channel_support.h"

namespace fixcaster {
namespace {

using testing::App;
using testing::RunLoopUntil;
using testing::TempDir;

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  path.copy(addr.sun_path, sizeof addr.sun_path - 1);
  return addr;
}

// A control client. The server runs on this thread, so every wait runs the loop.
class UnixClient {
 public:
  explicit UnixClient(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr = AddressOf(path);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  }
  ~UnixClient() { close(fd_); }
  UnixClient(const UnixClient&) = delete;
  UnixClient& operator=(const UnixClient&) = delete;

  bool Connected() const { return connected_; }
  void ShutdownWrite() { shutdown(fd_, SHUT_WR); }

  bool Send(std::string_view data) {
    return RunLoopUntil([&] {
             ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
             if (n > 0) data.remove_prefix(static_cast<size_t>(n));
             return data.empty() || (n < 0 && errno != EAGAIN);
           }) &&
           data.empty();
  }
  // The next line without its line feed; nothing on a time-out or a closed connection.
  std::optional<std::string> ReadLine(int ms = 5000) {
    RunLoopUntil([&] { return Pump() || buffer_.find('\n') != std::string::npos; }, ms);
    const size_t end = buffer_.find('\n');
    if (end == std::string::npos) return std::nullopt;
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    return line;
  }
  std::optional<std::string> Request(const std::string& line) {
    if (!Send(line + "\n")) return std::nullopt;
    return ReadLine();
  }
  // True when the server closed the connection (end of stream or reset).
  bool WaitClosed(int ms = 5000) {
    RunLoopUntil([&] { return Pump(); }, ms);
    return closed_;
  }
  // Bytes that arrived and were not read as lines yet.
  size_t Pending() {
    Pump();
    return buffer_.size();
  }

 private:
  // Reads what is there; true once the connection is closed.
  bool Pump() {
    char buf[65536];
    for (;;) {
      ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n > 0) {
        buffer_.append(buf, static_cast<size_t>(n));
        continue;
      }
      if (n == 0 || (errno != EAGAIN && errno != EINTR)) closed_ = true;
      return closed_;
    }
  }

  int fd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
  std::string buffer_;
};

QJsonObject Object(const std::string& line) {
  QJsonParseError error{};
  QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
  return doc.object();
}

// Records each call with its arguments and answers as told.
class FakeHandler : public ControlHandler {
 public:
  std::vector<std::string> calls;
  ControlResult result = ControlResult::Success();  // of every command but status
  std::function<void()> during;                     // runs inside every call
  QJsonObject status{{"state", "stopped"}, {"tick", 0}};

  // Not recorded: the tests ask for it between the calls they look at.
  ControlResult Status() override { return ControlResult::Success(status); }
  ControlResult Start() override { return Call("start"); }
  ControlResult Idle() override { return Call("idle"); }
  ControlResult Stop() override { return Call("stop"); }
  ControlResult Save() override { return Call("save"); }
  ControlResult Quit() override { return Call("quit"); }
  ControlResult Jump(int32_t row) override { return Call("jump " + std::to_string(row)); }
  ControlResult Get(const std::string& section, const std::string& key) override {
    return Call("get " + section + " " + key);
  }
  ControlResult Set(const std::string& section, const std::string& key,
                    const std::string& value) override {
    return Call("set " + section + " " + key + " [" + value + "]");
  }
  ControlResult Track(const ControlTrackRows& rows) override {
    std::string text = "track";
    for (const auto& row : rows)
      text += " [" + row[0] + "|" + row[1] + "|" + row[2] + "|" + row[3] + "]";
    return Call(text);
  }
  std::optional<ControlResult> Other(const std::string& command, const QJsonObject& r) override {
    if (command != "fault") return std::nullopt;
    return Call("fault " + r.value("kind").toString().toStdString());
  }

 private:
  ControlResult Call(std::string what) {
    calls.push_back(std::move(what));
    if (during) during();
    return result;
  }
};

class ControlServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    std::string error;
    ASSERT_TRUE(server.Open(path, error)) << error;
  }

  TempDir dir;
  std::string path = (dir.Path() / "ctl.sock").string();
  FakeHandler handler;
  ControlServer server{handler};
};

TEST_F(ControlServerTest, EachCommandReachesTheHandlerWithItsArguments) {
  struct Case {
    const char* request;
    const char* call;   // what the handler saw; nullptr for none
    const char* reply;  // the exact reply line
  };
  const Case cases[] = {
      {R"({"cmd":"status","id":7})", nullptr, R"({"ok":true,"id":7,"state":"stopped","tick":0})"},
      {R"({"cmd":"start"})", "start", R"({"ok":true})"},
      {R"({"cmd":"idle","id":"a"})", "idle", R"({"ok":true,"id":"a"})"},
      {R"({"cmd":"stop"})", "stop", R"({"ok":true})"},
      {R"({"cmd":"save"})", "save", R"({"ok":true})"},
      {R"({"cmd":"quit"})", "quit", R"({"ok":true})"},
      {R"({"cmd":"jump","row":3})", "jump 3", R"({"ok":true})"},
      {R"({"cmd":"jump","row":12.0})", "jump 12", R"({"ok":true})"},
      {R"({"cmd":"jump","row":2147483647})", "jump 2147483647", R"({"ok":true})"},
      {R"({"cmd":"get","section":"Output","key":"OutFreq"})", "get Output OutFreq",
       R"({"ok":true})"},
      {R"({"cmd":"set","section":"Output","key":"OutFreq","value":"5"})", "set Output OutFreq [5]",
       R"({"ok":true})"},
      {R"({"cmd":"set","section":"Output","key":"OutFreq","value":5})", "set Output OutFreq [5]",
       R"({"ok":true})"},
      {R"({"cmd":"set","section":"Output","key":"Geoid","value":-12.5})",
       "set Output Geoid [-12.5]", R"({"ok":true})"},
      {R"({"cmd":"set","section":"Output","key":"GGAOut","value":true})", "set Output GGAOut [1]",
       R"({"ok":true})"},
      {R"({"cmd":"set","section":"Output","key":"GGAOut","value":false})", "set Output GGAOut [0]",
       R"({"ok":true})"},
      {R"({"cmd":"set","section":"Option","key":"TimeDiff","value":""})", "set Option TimeDiff []",
       R"({"ok":true})"},
      {R"({"cmd":"track","rows":[["35 40 49.448","139 46 8.793","3","30"],["1","2","",""]]})",
       "track [35 40 49.448|139 46 8.793|3|30] [1|2||]", R"({"ok":true})"},
      {R"({"cmd":"track","rows":[]})", "track", R"({"ok":true})"},
      {R"({"cmd":"fault","kind":"checksum"})", "fault checksum", R"({"ok":true})"},
      {R"({"cmd":"subscribe","id":null})", nullptr, R"({"ok":true,"id":null})"},
      {"  {\"cmd\":\"stop\"}  \r", "stop", R"({"ok":true})"},  // blanks and CR LF
  };
  UnixClient client(path);
  ASSERT_TRUE(client.Connected());
  for (const Case& t : cases) {
    SCOPED_TRACE(t.request);
    handler.calls.clear();
    EXPECT_EQ(client.Request(t.request), t.reply);
    EXPECT_EQ(handler.calls,
              t.call ? std::vector<std::string>{t.call} : std::vector<std::string>{});
  }

  // The handler's own answers: fields on success, its error text on failure.
  handler.result = ControlResult::Success({{"value", "5"}});
  EXPECT_EQ(client.Request(R"({"cmd":"get","section":"Output","key":"OutFreq"})"),
            R"({"ok":true,"value":"5"})");
  handler.result = ControlResult::Failure("Please open RS-232C or TCP");
  EXPECT_EQ(client.Request(R"({"cmd":"start","id":1})"),
            R"({"ok":false,"id":1,"error":"Please open RS-232C or TCP"})");
  handler.result = ControlResult::Success();
  handler.during = [] { throw std::runtime_error("boom"); };
  EXPECT_EQ(client.Request(R"({"cmd":"save"})"), R"({"ok":false,"error":"internal error: boom"})");
  handler.during = nullptr;

  // Several requests in one write, and one request in pieces: one reply each, in order.
  ASSERT_TRUE(client.Send("{\"cmd\":\"status\",\"id\":1}\n\n{\"cmd\":\"status\",\"id\":2}\n{\"cm"));
  EXPECT_EQ(Object(*client.ReadLine()).value("id"), 1);
  EXPECT_EQ(Object(*client.ReadLine()).value("id"), 2);
  ASSERT_TRUE(client.Send("d\":\"status\",\"id\":3}\n"));
  EXPECT_EQ(Object(*client.ReadLine()).value("id"), 3);
}

TEST_F(ControlServerTest, ALastRequestWithoutLineFeedIsAnsweredBeforeTheClose) {
  UnixClient client(path);  // as `printf '{"cmd":"stop"}' | nc -U` sends it
  ASSERT_TRUE(client.Send(R"({"cmd":"stop"})"));
  client.ShutdownWrite();
  EXPECT_EQ(client.ReadLine(), R"({"ok":true})");
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_EQ(handler.calls, std::vector<std::string>{"stop"});
}

// {"a":{"a":...{}...}} nested `depth` times.
std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "{\"a\":";
  return text + "{}" + std::string(static_cast<size_t>(depth), '}');
}

TEST_F(ControlServerTest, BadInputGivesAnErrorReplyAndTheConnectionStays) {
  struct Case {
    std::string request;
    const char* error;  // a part of the error text
  };
  const Case cases[] = {
      {R"({"cmd":"status")", "malformed JSON at offset"},
      {"status", "a request must be a JSON object such as {\"cmd\":\"status\"}"},
      {"{\"cmd\":\"st\xff\xfe\"}", "malformed JSON"},  // not UTF-8
      {Nested(5000), "malformed JSON"},                // too deep
      {"[1,2]", "a request must be a JSON object"},
      {R"("status")", "a request must be a JSON object"},
      {"{}", "missing \"cmd\""},
      {R"({"cmd":5})", "\"cmd\" must be a string"},
      {R"({"cmd":"fly","id":4})", "unknown command \"fly\""},
      {R"({"cmd":"jump"})", "missing \"row\""},
      {R"({"cmd":"jump","row":"3"})", "\"row\" must be a whole number"},
      {R"({"cmd":"jump","row":2.5})", "\"row\" must be a whole number"},
      {R"({"cmd":"jump","row":0})", "\"row\" must be 1 or more"},
      {R"({"cmd":"jump","row":-4})", "\"row\" must be 1 or more"},
      {R"({"cmd":"jump","row":1e12})", "\"row\" is too large"},
      {R"({"cmd":"get","section":"Output"})", "missing \"key\""},
      {R"({"cmd":"get","key":"OutFreq"})", "missing \"section\""},
      {R"({"cmd":"get","section":"","key":"OutFreq"})", "\"section\" must not be empty"},
      {R"({"cmd":"get","section":3,"key":"OutFreq"})", "\"section\" must be a string"},
      {R"({"cmd":"set","section":"Output","key":"OutFreq"})", "missing \"value\""},
      {R"({"cmd":"set","section":"Output","key":"OutFreq","value":null})",
       "\"value\" must be a string, a number, true or false"},
      {R"({"cmd":"set","section":"Output","key":"OutFreq","value":[5]})", "\"value\" must be"},
      {R"({"cmd":"set","section":"Output","key":"OutFreq","value":{}})", "\"value\" must be"},
      {R"({"cmd":"track"})", "missing \"rows\""},
      {R"({"cmd":"track","rows":"1,2,3,4"})", "\"rows\" must be an array of rows"},
      {R"({"cmd":"track","rows":[["1","2","3","4"],["1","2","3"]]})",
       "row 2 of \"rows\" must be an array of four strings"},
      {R"({"cmd":"track","rows":[["1","2","3","4","5"]]})", "row 1 of \"rows\" must be"},
      {R"({"cmd":"track","rows":[["1","2",3,"4"]]})", "row 1 of \"rows\" must be"},
      {R"({"cmd":"track","rows":[1]})", "row 1 of \"rows\" must be"},
  };
  UnixClient client(path);
  for (const Case& t : cases) {
    SCOPED_TRACE(t.request.substr(0, 80));
    std::optional<std::string> reply = client.Request(t.request);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->rfind(R"({"ok":false,)", 0), 0u) << *reply;
    EXPECT_NE(Object(*reply).value("error").toString().toStdString().find(t.error),
              std::string::npos)
        << *reply;
    EXPECT_TRUE(handler.calls.empty()) << handler.calls.front();
    // The same connection is served on.
    EXPECT_EQ(client.Request(R"({"cmd":"status"})"), R"({"ok":true,"state":"stopped","tick":0})");
  }
  EXPECT_EQ(client.Request(R"({"cmd":"fly","id":[1,"x"]})"),
            R"({"ok":false,"id":[1,"x"],"error":"unknown command \"fly\""})");
}

// A request of exactly `size` bytes: a status request padded with a long field.
std::string RequestOfSize(size_t size) {
  const std::string head = R"({"cmd":"status","pad":")";
  return head + std::string(size - head.size() - 2, 'x') + "\"}";
}

TEST_F(ControlServerTest, ALineOverTheLimitClosesOnlyThatConnection) {
  UnixClient other(path);
  UnixClient client(path);
  ASSERT_EQ(RequestOfSize(ControlMaxLineBytes).size(), ControlMaxLineBytes);
  EXPECT_EQ(client.Request(RequestOfSize(ControlMaxLineBytes)),
            R"({"ok":true,"state":"stopped","tick":0})");
  EXPECT_EQ(client.Request(RequestOfSize(ControlMaxLineBytes) + "\r"),
            R"({"ok":true,"state":"stopped","tick":0})")
      << "the CR of a CR LF is not part of the line";

  std::optional<std::string> reply = client.Request(RequestOfSize(ControlMaxLineBytes + 1));
  ASSERT_TRUE(reply);
  EXPECT_EQ(
      *reply,
      R"({"ok":false,"error":"request line longer than 65536 bytes; closing the connection"})");
  EXPECT_TRUE(client.WaitClosed());

  // Without a line feed at all: refused as soon as it is too long.
  UnixClient endless(path);
  ASSERT_TRUE(endless.Send(std::string(ControlMaxLineBytes + 100, ' ')));
  reply = endless.ReadLine();
  ASSERT_TRUE(reply);
  EXPECT_NE(reply->find("longer than 65536 bytes"), std::string::npos);
  EXPECT_TRUE(endless.WaitClosed());

  EXPECT_EQ(other.Request(R"({"cmd":"status"})"), R"({"ok":true,"state":"stopped","tick":0})");
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST_F(ControlServerTest, ASubscriberThatNeverReadsIsDroppedAndOthersAreServed) {
  UnixClient stuck(path);
  UnixClient good(path);
  ASSERT_EQ(stuck.Request(R"({"cmd":"subscribe"})"), R"({"ok":true})");
  ASSERT_TRUE(RunLoopUntil([&] { return server.SubscriberCount() == 1; }));

  // 2.4 MB of events: more than the socket holds plus what the server keeps.
  const QJsonObject big{{"text", QString(60000, 'e')}};
  for (int i = 0; i < 40; ++i) {
    server.Broadcast("message", big);
    ASSERT_EQ(good.Request(R"({"cmd":"status","id":)" + std::to_string(i) + "}"),
              R"({"ok":true,"id":)" + std::to_string(i) + R"(,"state":"stopped","tick":0})");
  }
  EXPECT_EQ(server.SubscriberCount(), 0u);
  EXPECT_EQ(server.ConnectionCount(), 1u);
  // What it got before it was dropped are whole event lines, then the end.
  EXPECT_TRUE(stuck.WaitClosed());
  size_t events = 0;
  while (std::optional<std::string> line = stuck.ReadLine(0)) {
    EXPECT_EQ(Object(*line).value("event"), "message");
    ++events;
  }
  EXPECT_GT(events, 0u);
  EXPECT_LT(events, 40u);
}

TEST_F(ControlServerTest, AClientThatSendsButNeverReadsIsDroppedAndOthersAreServed) {
  handler.status = {{"pad", QString(1000, 'p')}};  // about 1 KiB a reply
  UnixClient stuck(path);
  UnixClient good(path);
  std::string burst;
  for (int i = 0; i < 3000; ++i) burst += "{\"cmd\":\"status\"}\n";
  ASSERT_TRUE(stuck.Send(burst));
  ASSERT_TRUE(RunLoopUntil([&] { return server.ConnectionCount() == 1; }));
  std::optional<std::string> reply = good.Request(R"({"cmd":"status"})");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->rfind(R"({"ok":true,)", 0), 0u);
  EXPECT_TRUE(stuck.WaitClosed());
}

TEST_F(ControlServerTest, ManyClientsAtOnceEachGetTheirOwnReplies) {
  std::vector<std::unique_ptr<UnixClient>> clients;
  for (int i = 0; i < 64; ++i) {
    clients.push_back(std::make_unique<UnixClient>(path));
    ASSERT_TRUE(clients.back()->Connected());
    ASSERT_TRUE(clients.back()->Send(R"({"cmd":"jump","row":)" + std::to_string(i + 1) +
                                     R"(,"id":)" + std::to_string(i) + "}\n"));
  }
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(clients[static_cast<size_t>(i)]->ReadLine(),
              R"({"ok":true,"id":)" + std::to_string(i) + "}");
  EXPECT_EQ(handler.calls.size(), 64u);
  EXPECT_EQ(server.ConnectionCount(), 64u);
  clients.clear();
  EXPECT_TRUE(RunLoopUntil([&] { return server.ConnectionCount() == 0; }));
}

TEST_F(ControlServerTest, SubscribersGetEventLinesOthersDoNot) {
  UnixClient listener(path);
  UnixClient plain(path);
  ASSERT_EQ(listener.Request(R"({"cmd":"subscribe"})"), R"({"ok":true})");

  server.Broadcast("state", {{"state", "travelling"}, {"span", 1}});
  server.Broadcast("message", {{"severity", "warning"}, {"text", "Baud rate is\ntoo low"}});
  EXPECT_EQ(listener.ReadLine(), R"({"event":"state","span":1,"state":"travelling"})");
  EXPECT_EQ(listener.ReadLine(),
            R"({"event":"message","severity":"warning","text":"Baud rate is\ntoo low"})");

  // An event raised while a request is handled comes before that request's reply.
  handler.during = [&] { server.Broadcast("state", {{"state", "stopped"}}); };
  EXPECT_EQ(listener.Request(R"({"cmd":"stop"})"), R"({"event":"state","state":"stopped"})");
  EXPECT_EQ(listener.ReadLine(), R"({"ok":true})");
  EXPECT_EQ(plain.Request(R"({"cmd":"stop","id":2})"), R"({"ok":true,"id":2})")
      << "no event for a connection that did not subscribe";

  // A handler that drops every connection (the program closing) is safe.
  handler.during = [&] { server.Close(); };
  ASSERT_TRUE(plain.Send("{\"cmd\":\"quit\"}\n"));
  EXPECT_TRUE(plain.WaitClosed());
  EXPECT_TRUE(listener.WaitClosed());
  EXPECT_FALSE(server.IsOpen());
}

TEST_F(ControlServerTest, TheExamplePythonClientWorksAgainstTheServer) {
  const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
  if (python.isEmpty()) GTEST_SKIP() << "python3 is missing: examples/control.py is not tested";
  handler.during = [&] {
    if (handler.calls.back() == "start") server.Broadcast("state", {{"state", "travelling"}});
    if (handler.calls.back() == "quit")  // closes after the reply, as the program does
      QTimer::singleShot(0, [&] {
        server.Broadcast("message", {{"text", "bye"}});
        server.Close();
      });
  };
  QProcess script;
  script.setProcessChannelMode(QProcess::MergedChannels);
  const QString source = QStringLiteral(FIXCASTER_SOURCE_DIR);
  script.start(python, {source + "/tests/app/control_client_check.py", source + "/examples",
                        QString::fromStdString(path)});
  ASSERT_TRUE(RunLoopUntil([&] { return script.state() == QProcess::NotRunning; }, 60000));
  const std::string output = script.readAll().toStdString();
  EXPECT_EQ(script.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(script.exitCode(), 0) << output;
  EXPECT_NE(output.find("control.py: all good"), std::string::npos) << output;
  EXPECT_EQ(handler.calls,
            (std::vector<std::string>{"jump 3", "set Output OutFreq [5]",
                                      "track [35 40 49.448|139 46 8.793|3|30]", "start", "quit"}));
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// A socket file nobody listens on, as a program that was killed leaves it.
void MakeStaleSocket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr = AddressOf(path);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);
  ASSERT_TRUE(S_ISSOCK(ModeOf(path)));
}

TEST_F(ControlServerTest, PathRules) {
  // Made 0600 whatever the umask.
  EXPECT_TRUE(S_ISSOCK(ModeOf(path)));
  FakeHandler other;
  ControlServer second(other);
  std::string error;
  const mode_t oldMask = umask(0);
  const std::string fresh = (dir.Path() / "fresh.sock").string();
  EXPECT_TRUE(second.Open(fresh, error)) << error;
  umask(oldMask);
  EXPECT_EQ(ModeOf(fresh) & 07777, 0600u);
  second.Close();
  EXPECT_EQ(ModeOf(fresh), 0u) << "removed on close";

  // A live socket is refused and keeps serving.
  EXPECT_FALSE(second.Open(path, error));
  EXPECT_EQ(error, "control socket " + path + " is in use by another program");
  UnixClient client(path);
  EXPECT_EQ(client.Request(R"({"cmd":"stop"})"), R"({"ok":true})");

  // A stale one is replaced.
  const std::string stale = (dir.Path() / "stale.sock").string();
  MakeStaleSocket(stale);
  EXPECT_TRUE(second.Open(stale, error)) << error;
  UnixClient staleClient(stale);
  EXPECT_EQ(staleClient.Request(R"({"cmd":"idle"})"), R"({"ok":true})");
  EXPECT_EQ(other.calls, std::vector<std::string>{"idle"});
  second.Close();

  // Anything else at the path is refused and left as it was.
  const std::string file = (dir.Path() / "notes.txt").string();
  std::ofstream(file) << "keep me";
  EXPECT_FALSE(second.Open(file, error));
  EXPECT_EQ(error, "control socket " + file + " exists and is not a socket; it is left alone");
  std::string content;
  std::getline(std::ifstream(file), content);
  EXPECT_EQ(content, "keep me");
  const std::string link = (dir.Path() / "link.sock").string();
  MakeStaleSocket(stale);
  ASSERT_EQ(symlink(stale.c_str(), link.c_str()), 0);
  EXPECT_FALSE(second.Open(link, error));
  EXPECT_NE(error.find("is not a socket"), std::string::npos) << error;
  EXPECT_TRUE(S_ISSOCK(ModeOf(stale))) << "nothing removed behind the link";

  EXPECT_FALSE(second.Open((dir.Path() / "missing" / "ctl.sock").string(), error));
  EXPECT_NE(error.find("cannot create the control socket"), std::string::npos) << error;
  EXPECT_FALSE(second.Open("/" + std::string(120, 'x'), error));
  EXPECT_NE(error.find("must have 1 to 107 bytes"), std::string::npos) << error;
  EXPECT_FALSE(second.IsOpen());

  // Close removes only its own file: a path taken over meanwhile stays.
  const std::string taken = (dir.Path() / "taken.sock").string();
  ASSERT_TRUE(second.Open(taken, error)) << error;
  ASSERT_EQ(unlink(taken.c_str()), 0);
  std::ofstream(taken) << "someone else's";
  second.Close();
  EXPECT_TRUE(S_ISREG(ModeOf(taken)));

  server.Close();
  EXPECT_EQ(ModeOf(path), 0u);
  EXPECT_TRUE(client.WaitClosed());
}

}  // namespace
}  // namespace fixcaster
