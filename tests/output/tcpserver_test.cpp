#include "output/TcpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "output/channel_support.h"

namespace fixcaster {
namespace {

using testing::Clock;
using testing::Ms;
using testing::TcpClient;
using testing::WaitUntil;

// Sentences of different lengths, so that a stream cut anywhere but at a sentence
// start would show.
std::string Sentence(int i) {
  return "$GPTST," + std::to_string(i) + "," + std::string(static_cast<size_t>(i % 37), 'x') +
         "*00\r\n";
}

// With one I/O thread and with several, so that clients handed between threads
// are covered too.
class TcpServerTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Listen(0)); }
  std::unique_ptr<TcpClient> Connect() {
    size_t before = server.ClientCount();
    auto c = std::make_unique<TcpClient>(server.Port());
    EXPECT_TRUE(c->Connected());
    EXPECT_TRUE(WaitUntil([&] { return server.ClientCount() > before; }, 3000));
    return c;
  }
  std::string SendRange(int from, int to) {
    std::string all;
    for (int i = from; i < to; ++i) {
      std::string s = Sentence(i);
      server.SendToClients(s);
      all += s;
    }
    return all;
  }
  TcpServer server{TcpServer::kMaxClientBacklog, GetParam()};
};

TEST_P(TcpServerTest, EveryClientGetsTheSameStream) {
  auto a = Connect();
  auto b = Connect();
  std::string expected = SendRange(0, 2000);
  EXPECT_EQ(a->Read(expected.size(), 5000), expected);
  EXPECT_EQ(b->Read(expected.size(), 5000), expected);
}

TEST_P(TcpServerTest, ClientJoiningMidRunStartsAtASentence) {
  auto a = Connect();
  std::atomic<bool> joined{false};
  std::unique_ptr<TcpClient> late;
  std::thread joiner([&] {
    std::this_thread::sleep_for(Ms(30));
    late = std::make_unique<TcpClient>(server.Port());
    WaitUntil([&] { return server.ClientCount() == 2; }, 3000);
    joined = true;
  });
  std::string expected;
  std::vector<size_t> starts;
  int i = 0;
  // Sentences keep coming while the second client connects, and for a while after.
  for (int after = 0; after < 50; ++i) {
    starts.push_back(expected.size());
    std::string s = Sentence(i);
    server.SendToClients(s);
    expected += s;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    if (joined) ++after;
    // No ASSERT here: leaving with the joiner still running would end the program.
    if (i >= 20000) {
      ADD_FAILURE() << "second client never joined";
      break;
    }
  }
  joiner.join();
  ASSERT_TRUE(joined);
  EXPECT_EQ(a->Read(expected.size(), 5000), expected);
  std::string tail = late->Read(expected.size(), 1000);
  ASSERT_FALSE(tail.empty());
  size_t from = expected.size() - tail.size();
  EXPECT_EQ(tail, expected.substr(from));
  EXPECT_TRUE(std::binary_search(starts.begin(), starts.end(), from))
      << "late client starts inside a sentence at byte " << from;
}

TEST_P(TcpServerTest, ClientLeavingDoesNotDisturbTheOthers) {
  auto a = Connect();
  auto b = Connect();
  auto c = Connect();
  std::string expected = SendRange(0, 500);
  ASSERT_EQ(b->Read(100, 3000).size(), 100u);
  b->Close();
  expected += SendRange(500, 1500);
  EXPECT_EQ(a->Read(expected.size(), 5000), expected);
  EXPECT_EQ(c->Read(expected.size(), 5000), expected);
  EXPECT_TRUE(WaitUntil([&] { return server.ClientCount() == 2; }, 3000));
}

TEST_P(TcpServerTest, ClientThatStopsReadingIsDroppedAndTheReaderKeepsUp) {
  auto reader = Connect();
  auto stuck = Connect();
  std::string received;
  std::string expected;
  std::atomic<size_t> total{SIZE_MAX};  // known once everything is sent
  std::thread readThread([&] {
    // Reads until the whole stream is in; the time-out only ends a broken run.
    auto deadline = Clock::now() + Ms(60000);
    while (received.size() < total && Clock::now() < deadline)
      received += reader->Read(1 << 20, 20);
  });
  // Many times the real rate, 2 MB in 1 KB sentences, yet paced so that a reading
  // client keeps up even on a busy machine. The sender never waits on a client,
  // however full its socket is: were it to wait on the stuck one, it would never
  // finish. That is checked with a generous time-out, not a timing bound.
  std::atomic<bool> sent{false};
  std::thread sender([&] {
    std::string block(1000, 'n');
    for (int i = 0; i < 2000; ++i) {
      std::string s = "$GPBIG," + std::to_string(i) + "," + block + "\r\n";
      server.SendToClients(s);
      expected += s;
      if (i % 2 == 0) std::this_thread::sleep_for(Ms(1));
    }
    total = expected.size();
    sent = true;
  });
  if (!WaitUntil([&] { return sent.load(); }, 60000)) {
    ADD_FAILURE() << "the sender waited on the client that stopped reading";
    stuck->Close();  // lets a waiting sender go, so the threads can be joined
  }
  sender.join();
  readThread.join();
  EXPECT_EQ(server.DroppedClients(), 1u);
  EXPECT_TRUE(stuck->WaitClosed(3000)) << "the stuck client was not disconnected";
  EXPECT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected) << "the reading client lost or reordered bytes";
  EXPECT_EQ(server.ClientCount(), 1u);
}

TEST_P(TcpServerTest, WhatClientsSendIsReadAndDiscarded) {
  auto talker = Connect();
  // Far more than any socket buffer, without a line feed: the send finishes only
  // if the server keeps reading.
  std::string junk(1 << 20, 'j');
  bool sent = true;
  for (int i = 0; i < 32 && sent; ++i) sent = talker->SendAll(junk.data(), junk.size());
  EXPECT_TRUE(sent);
  std::string expected = SendRange(0, 100);
  EXPECT_EQ(talker->Read(expected.size(), 5000), expected);
}

TEST_P(TcpServerTest, StopClosesEveryClient) {
  auto a = Connect();
  std::string expected = SendRange(0, 10);
  server.Stop(100);
  EXPECT_FALSE(server.IsListening());
  EXPECT_EQ(a->Read(expected.size(), 3000), expected);
  EXPECT_TRUE(a->WaitClosed(3000));
  server.SendToClients("after stop");
  EXPECT_EQ(server.ClientCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(IoThreads, TcpServerTest, ::testing::Values(1, 3));

TEST(TcpServerListen, PortInUseFails) {
  uint16_t port = 0;
  int busy = testing::ListenOnFreePort(&port);
  TcpServer server;
  EXPECT_FALSE(server.Listen(port));
  EXPECT_FALSE(server.IsListening());
  close(busy);
  EXPECT_TRUE(server.Listen(port));
  EXPECT_EQ(server.Port(), port);
}

}  // namespace
}  // namespace fixcaster
