#include "net/UniSock.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

#include "platform/socket.h"
#include "platform/window.h"
#include "support/LoopbackPeer.h"

namespace {

struct ErrorSeen {
  int number = 0;
  std::string description;
  std::string source;
};

// Records what an instance reports through its events.
struct Observer {
  explicit Observer(UniSock& socket) {
    socket.OnStatusChange = [this](int32_t state) { states.push_back(state); };
    socket.OnError = [this](int16_t number, const std::string& description, int32_t,
                            const std::string& source, const std::string&, int32_t,
                            bool& cancel_display) {
      errors.push_back({number, description, source});
      EXPECT_TRUE(cancel_display);
    };
    socket.OnClosing = [this] { ++closings; };
    socket.OnConnect = [this] { ++connects; };
  }
  std::vector<int32_t> states;
  std::vector<ErrorSeen> errors;
  int closings = 0;
  int connects = 0;
};

template <class Call>
void ExpectRaises(Call call, int number, const std::string& source) {
  try {
    call();
    ADD_FAILURE() << "no error raised, expected " << number << " from " << source;
  } catch (const UniSockError& error) {
    EXPECT_EQ(error.number(), number);
    EXPECT_EQ(error.source(), source);
    EXPECT_EQ(error.what(), UniSock::ErrorText(number));
  }
}

// A client connected to a server instance that took the connection over with Accept.
struct ConnectedPair {
  ConnectedPair() {
    for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
      int32_t candidate = UnusedPort();
      listener.SetLocalPort(candidate);
      if (listener.Listen())
        port = candidate;
    }
    listener.OnConnectionRequest = [this](int32_t id) { accepted = server.Accept(id); };
    client.Connect("127.0.0.1", port);
    ready = PumpUntil(
        [&] { return client.State() == kSockConnected && server.State() == kSockConnected; });
  }
  UniSock listener, server, client;
  int32_t port = 0;
  bool accepted = false;
  bool ready = false;
};

// A dotted address connects at once, a name is resolved first.
TEST(UniSockTest, ConnectsToADottedAddressOrAName) {
  LoopbackPeer peer;
  ASSERT_NE(peer.port(), 0);
  for (const auto& [host, states] :
       {std::pair<std::string, std::vector<int32_t>>{"127.0.0.1", {6, 7}},
        {"localhost", {4, 5, 6, 7}}}) {
    UniSock socket;
    Observer seen(socket);
    EXPECT_TRUE(socket.Connect(host, peer.port()));
    EXPECT_EQ(socket.State(), states.front());
    ASSERT_TRUE(PumpUntil([&] { return socket.State() == kSockConnected; }));
    EXPECT_EQ(seen.states, states);
    EXPECT_EQ(seen.connects, 1);
    EXPECT_EQ(socket.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(socket.RemotePort(), peer.port());
    EXPECT_TRUE(seen.errors.empty());
  }
}

TEST(UniSockTest, RefusedConnectionReportsTheErrorButKeepsTheState) {
  int32_t port = UnusedPort();
  ASSERT_NE(port, 0);
  UniSock socket;
  Observer seen(socket);
  socket.Connect("127.0.0.1", port);
  ASSERT_TRUE(PumpUntil([&] { return !seen.errors.empty(); }));
  EXPECT_EQ(socket.State(), kSockConnecting);
  EXPECT_EQ(seen.states.back(), kSockError);
  EXPECT_EQ(seen.errors[0].number, 10061);
  EXPECT_EQ(seen.errors[0].description, "Connection refused.");
  EXPECT_EQ(seen.errors[0].source, "UniSock.WndProc");
}

TEST(UniSockTest, HandlerThatClearsCancelDisplayGetsAMessageBox) {
  std::vector<std::string> shown;
  platform::SetMessageBoxResponderForTesting(
      [&](const std::string& text, const std::string& title, uint32_t style) {
        shown.push_back(title + ": " + text);
        EXPECT_EQ(style & platform::kMbIconExclamation, platform::kMbIconExclamation);
        return platform::kIdOk;
      });
  UniSock socket;
  socket.OnError = [](int16_t, const std::string&, int32_t, const std::string&, const std::string&,
                      int32_t, bool& cancel_display) { cancel_display = false; };
  socket.Connect("127.0.0.1", UnusedPort());
  PumpUntil([&] { return !shown.empty(); });
  platform::SetMessageBoxResponderForTesting(nullptr);
  EXPECT_EQ(shown, (std::vector<std::string>{"UniSock.WndProc: Connection refused."}));
}

TEST(UniSockTest, LargeSendGoesOutInPiecesAndCompletesOnce) {
  ConnectedPair pair;
  ASSERT_TRUE(pair.ready);
  std::string payload(4 * 1024 * 1024, '\0');
  for (size_t i = 0; i < payload.size(); ++i)
    payload[i] = static_cast<char>('a' + i % 26);
  std::vector<std::pair<int32_t, int32_t>> progress;
  int completions = 0;
  pair.client.OnSendProgress = [&](int32_t sent, int32_t left) {
    progress.push_back({sent, left});
  };
  pair.client.OnSendComplete = [&] { ++completions; };
  std::string received;
  pair.server.OnDataArrival = [&](int32_t) {
    SockVariant data;
    pair.server.GetData(data);
    received += std::get<std::string>(data);
  };
  ASSERT_TRUE(pair.client.SendData(payload));
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= payload.size(); }, 20000));
  EXPECT_TRUE(received == payload);
  EXPECT_EQ(completions, 1);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().second, 0);
  int64_t total = 0;
  for (const auto& [sent, left] : progress)
    total += sent;
  EXPECT_EQ(total, static_cast<int64_t>(payload.size()));  // every byte reported once
}

TEST(UniSockTest, WrongStatesAndBadArgumentsRaiseErrorsToTheCaller) {
  UniSock idle;
  ConnectedPair pair;
  ASSERT_TRUE(pair.ready);
  UniSock& client = pair.client;
  SockVariant data;
  const std::tuple<std::function<void()>, int, std::string> cases[] = {
      {[&] { idle.SendData(std::string("x")); }, kSockErrWrongState, "UniSock.SendData"},
      {[&] { idle.GetData(data); }, kSockErrWrongState, "UniSock.GetData"},
      {[&] { idle.SetLineChange(4); }, kSockErrBadArgument, "UniSock.LineChange"},
      {[&] { idle.SetRemotePort(65536); }, kSockErrBadArgument, "UniSock.RemotePort"},
      {[&] { idle.SetLocalPort(-1); }, kSockErrBadArgument, "UniSock.LocalPort"},
      {[&] { idle.Accept(0); }, kSockErrInvalidOperation, "UniSock.Accept"},
      {[&] { idle.Accept(12345); }, kSockErrBadArgument, "UniSock.Accept"},
      {[&] { client.SetLocalPort(1000); }, kSockErrInvalidOperation, "UniSock.LocalPort"},
      {[&] { client.SetProtocol(kSockUdp); }, kSockErrInvalidOperation, "UniSock.Protocol"},
      {[&] { client.SetRemotePort(81); }, kSockErrInvalidOperation, "UniSock.RemotePort"},
      {[&] { client.SetRemoteHost("x"); }, kSockErrInvalidOperation, "UniSock.RemoteHost"},
      {[&] { client.Listen(); }, kSockErrInvalidOperation, "UniSock.Listen"},
      {[&] { client.SendData(SockObject{}); }, kSockErrBadType, "SendData"},
  };
  for (const auto& [call, number, source] : cases)
    ExpectRaises(call, number, source);
  idle.SetLineChange(2);
  EXPECT_EQ(idle.LineChange(), 2);
  EXPECT_FALSE(idle.CloseSocket());  // nothing to close
  EXPECT_FALSE(client.SendData(std::string()));
  EXPECT_FALSE(client.SendData(SockVariant{}));
}

TEST(UniSockTest, AcceptedConnectionCarriesDataAndGetDataTakesFromTheBuffer) {
  ConnectedPair pair;
  ASSERT_TRUE(pair.ready);
  EXPECT_TRUE(pair.accepted);
  EXPECT_EQ(pair.server.RemoteHostIP(), "127.0.0.1");
  EXPECT_NE(pair.server.RemotePort(), 0);
  EXPECT_EQ(pair.server.LocalPort(), pair.port);
  EXPECT_EQ(pair.listener.RequestIP(), "");  // handed over

  std::vector<int32_t> arrivals;
  pair.server.OnDataArrival = [&](int32_t bytes) { arrivals.push_back(bytes); };
  ASSERT_TRUE(pair.client.SendData(std::string("hello world")));
  ASSERT_TRUE(PumpUntil([&] { return pair.server.BytesReceived() == 11; }));
  EXPECT_FALSE(arrivals.empty());

  SockVariant first;
  EXPECT_TRUE(pair.server.PeekData(first));
  EXPECT_EQ(std::get<std::string>(first), "hello world");
  EXPECT_EQ(pair.server.BytesReceived(), 11);  // still there

  SockVariant part;
  EXPECT_TRUE(pair.server.GetData(part, kVbString, 5));
  EXPECT_EQ(std::get<std::string>(part), "hello");
  SockVariant bytes;
  EXPECT_TRUE(pair.server.GetData(bytes, kVbByteArray, 100));  // more than there is
  EXPECT_EQ(std::get<std::vector<uint8_t>>(bytes),
            (std::vector<uint8_t>{' ', 'w', 'o', 'r', 'l', 'd'}));
  EXPECT_EQ(pair.server.BytesReceived(), 0);
  SockVariant nothing;
  EXPECT_FALSE(pair.server.GetData(nothing));
  EXPECT_EQ(nothing.index(), 0u);

  // The client's close reaches the server as Closing and a closed socket.
  Observer server_seen(pair.server);
  EXPECT_TRUE(pair.client.CloseSocket());
  EXPECT_EQ(pair.client.State(), kSockClosed);
  ASSERT_TRUE(PumpUntil([&] { return pair.server.State() == kSockClosed; }));
  EXPECT_EQ(server_seen.closings, 1);
  EXPECT_EQ(server_seen.states, (std::vector<int32_t>{8, 0}));
  EXPECT_EQ(pair.server.SocketHandle(), platform::kNoSocket);
}

TEST(UniSockTest, ConnectionRequestThatNobodyAcceptsLeavesNoSocket) {
  UniSock listener;
  int32_t port = UnusedPort();
  listener.SetLocalPort(port);
  ASSERT_TRUE(listener.Listen());
  std::string request_ip;
  int32_t request_port = 0;
  int requests = 0;
  listener.OnConnectionRequest = [&](int32_t id) {
    ++requests;
    request_ip = listener.RequestIP();
    request_port = listener.RequestPort();
    EXPECT_NE(id, 0);
  };
  UniSock client;
  Observer client_seen(client);
  client.Connect("127.0.0.1", port);
  // The refused request is closed by the listener: the client sees its peer go away.
  ASSERT_TRUE(PumpUntil([&] { return client.State() == kSockClosed; }));
  EXPECT_EQ(requests, 1);
  EXPECT_EQ(request_ip, "127.0.0.1");
  EXPECT_NE(request_port, 0);
  EXPECT_EQ(client_seen.closings, 1);
  EXPECT_EQ(listener.RequestIP(), "");
  EXPECT_EQ(listener.RequestPort(), 0);
  EXPECT_EQ(listener.State(), kSockOpen);
}

}  // namespace
