#include "net/Socket.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/socket.h"
#include "platform/window.h"
#include "support/LoopbackPeer.h"
#include "support/ScopedOverrides.h"

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
TEST(UniSockTest, ConnectsByAddressOrNameAndReportsARefusal) {
  LoopbackPeer peer;
  ASSERT_NE(peer.port(), 0);
  const std::pair<std::string, std::vector<int32_t>> hosts[] = {{"127.0.0.1", {6, 7}},
                                                                {"localhost", {4, 5, 6, 7}}};
  for (const auto& [host, states] : hosts) {
    UniSock socket;
    Observer seen(socket);
    EXPECT_TRUE(socket.Connect(host, peer.port()));
    EXPECT_EQ(socket.State(), states[0]);
    ASSERT_TRUE(PumpUntil([&] { return socket.State() == kSockConnected; }));
    EXPECT_EQ(seen.states, states);
    EXPECT_EQ(seen.connects, 1);
    EXPECT_EQ(socket.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(socket.RemotePort(), peer.port());
    EXPECT_TRUE(seen.errors.empty());
  }

  // A refusal is reported, but the state stays; a box shows only when the handler asks.
  MessageBoxRecorder shown;
  UniSock socket;
  Observer seen(socket);
  socket.Connect("127.0.0.1", UnusedPort());
  ASSERT_TRUE(PumpUntil([&] { return !seen.errors.empty(); }));
  EXPECT_EQ(socket.State(), kSockConnecting);
  EXPECT_EQ(seen.states.back(), kSockError);
  EXPECT_EQ(seen.errors[0].number, 10061);
  EXPECT_EQ(seen.errors[0].source + ": " + seen.errors[0].description,
            "UniSock.WndProc: Connection refused.");
  EXPECT_TRUE(shown.empty());
  UniSock asking;
  asking.OnError = [](int16_t, const std::string&, int32_t, const std::string&, const std::string&,
                      int32_t, bool& cancel_display) { cancel_display = false; };
  asking.Connect("127.0.0.1", UnusedPort());
  PumpUntil([&] { return !shown.empty(); });
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title + ": " + shown[0].text, "UniSock.WndProc: Connection refused.");
  EXPECT_EQ(shown[0].style & platform::kMbIconExclamation, platform::kMbIconExclamation);
}

TEST(UniSockTest, WrongStatesAndBadArgumentsRaiseErrorsToTheCaller) {
  UniSock socket;
  ExpectRaises([&] { socket.SendData(std::string("x")); }, kSockErrWrongState, "UniSock.SendData");
  SockVariant data;
  ExpectRaises([&] { socket.GetData(data); }, kSockErrWrongState, "UniSock.GetData");
  ExpectRaises([&] { socket.SetLineChange(4); }, kSockErrBadArgument, "UniSock.LineChange");
  ExpectRaises([&] { socket.SetRemotePort(65536); }, kSockErrBadArgument, "UniSock.RemotePort");
  ExpectRaises([&] { socket.SetLocalPort(-1); }, kSockErrBadArgument, "UniSock.LocalPort");
  ExpectRaises([&] { socket.Accept(0); }, kSockErrInvalidOperation, "UniSock.Accept");
  ExpectRaises([&] { socket.Accept(12345); }, kSockErrBadArgument, "UniSock.Accept");
  EXPECT_FALSE(socket.CloseSocket());  // nothing to close
}

// One accepted connection from its start to its close: data both ways, GetData taking from
// the buffer, calls that a connected socket refuses, a large send, text mode.
TEST(UniSockTest, AcceptedConnectionFromStartToClose) {
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

  SockVariant first, second;
  EXPECT_TRUE(pair.server.PeekData(first));
  EXPECT_TRUE(pair.server.PeekData(second));
  EXPECT_EQ(std::get<std::string>(first), "hello world");
  EXPECT_EQ(first, second);
  EXPECT_EQ(pair.server.BytesReceived(), 11);

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

  // Numbers go as their bytes; a typed variant decides how GetData reads, else the type
  // asked for: an array of strings is the text cut into lines, a Boolean reads two bytes.
  const std::tuple<SockVariant, int32_t, SockVariant, int, SockVariant> typed[] = {
      {int32_t{0x01020304}, 4, int32_t{0}, kVbString, int32_t{0x01020304}},
      {std::string("a\nb\nc"), 5, {}, kVbStringArray, std::vector<std::string>{"a", "b", "c"}},
      {true, 2, {}, kVbBoolean, true},
  };
  for (const auto& [sent, bytes, into, type, read] : typed) {
    pair.server.SendData(sent);
    ASSERT_TRUE(PumpUntil([&] { return pair.client.BytesReceived() == bytes; })) << type;
    SockVariant data = into;
    EXPECT_TRUE(pair.client.GetData(data, type));
    EXPECT_EQ(data, read) << type;
    EXPECT_EQ(pair.client.BytesReceived(), 0) << type;
  }
  SockVariant object;
  pair.server.SendData(std::string("z"));
  ASSERT_TRUE(PumpUntil([&] { return pair.client.BytesReceived() == 1; }));
  ExpectRaises([&] { pair.client.GetData(object, kVbObject); }, kSockErrBadType, "UniSock.GetData");
  EXPECT_EQ(pair.client.BytesReceived(), 1);  // nothing was taken
  EXPECT_TRUE(pair.client.GetData(object));

  UniSock& client = pair.client;
  ExpectRaises([&] { client.SetLocalPort(1000); }, kSockErrInvalidOperation, "UniSock.LocalPort");
  ExpectRaises([&] { client.SetProtocol(kSockUdp); }, kSockErrInvalidOperation, "UniSock.Protocol");
  ExpectRaises([&] { client.SetRemotePort(81); }, kSockErrInvalidOperation, "UniSock.RemotePort");
  ExpectRaises([&] { client.SetRemoteHost("x"); }, kSockErrInvalidOperation, "UniSock.RemoteHost");
  ExpectRaises([&] { client.Listen(); }, kSockErrInvalidOperation, "UniSock.Listen");
  ExpectRaises([&] { client.SendData(SockObject{}); }, kSockErrBadType, "SendData");
  EXPECT_FALSE(client.SendData(std::string()));
  EXPECT_FALSE(client.SendData(SockVariant{}));

  // A large send goes out in pieces, each byte reported once, and completes once.
  std::string payload(4 * 1024 * 1024, '\0');
  for (size_t i = 0; i < payload.size(); ++i)
    payload[i] = static_cast<char>('a' + i % 26);
  int64_t reported = 0;
  int32_t last_left = -1;
  int completions = 0;
  client.OnSendProgress = [&](int32_t sent, int32_t left) {
    reported += sent;
    last_left = left;
  };
  client.OnSendComplete = [&] { ++completions; };
  std::string received;
  pair.server.OnDataArrival = [&](int32_t) {
    SockVariant data;
    pair.server.GetData(data);
    received += std::get<std::string>(data);
  };
  ASSERT_TRUE(client.SendData(payload));
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= payload.size(); }, 20000));
  EXPECT_TRUE(received == payload);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(last_left, 0);
  EXPECT_EQ(reported, static_cast<int64_t>(payload.size()));

  // Text mode hands out complete lines. The program's text is UTF-8 whichever way it
  // travels: as UTF-8, or in the ANSI code page, which the receiver reads back into UTF-8.
  std::vector<std::tuple<std::string, int32_t, bool>> lines;
  pair.server.SetMode(1);
  pair.server.OnTextArrival = [&](const std::string& text, int32_t kind, bool utf8) {
    lines.emplace_back(text, kind, utf8);
  };
  client.SendData(std::string("one\r\ntwo\r\nthr"));
  ASSERT_TRUE(PumpUntil([&] { return lines.size() == 2; }));
  client.SendData(std::string("ee\n"));
  ASSERT_TRUE(PumpUntil([&] { return lines.size() == 3; }));
  client.SendText("caf\xC3\xA9");
  client.SendText("caf\xC3\xA9", 1);
  ASSERT_TRUE(PumpUntil([&] { return lines.size() == 5; }));
  EXPECT_EQ(lines,
            (std::vector<std::tuple<std::string, int32_t, bool>>{{"one", 1, true},
                                                                 {"two", 1, true},
                                                                 {"three", 2, true},
                                                                 {"caf\xC3\xA9", 1, true},
                                                                 {"caf\xC3\xA9", 1, false}}));
  SockVariant data;
  ExpectRaises([&] { pair.server.GetData(data); }, kSockErrWrongState, "UniSock.GetData");

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

TEST(UniSockTest, DatagramsGoToTheBoundPort) {
  UniSock receiver, sender;
  receiver.SetProtocol(kSockUdp);
  sender.SetProtocol(kSockUdp);
  int32_t port = UnusedPort();
  ASSERT_TRUE(receiver.Bind(port, "127.0.0.1"));
  EXPECT_EQ(receiver.State(), kSockOpen);
  EXPECT_EQ(receiver.LocalPort(), port);
  EXPECT_EQ(receiver.LocalIP(), "127.0.0.1");
  std::string got;
  receiver.OnDataArrival = [&](int32_t) {
    SockVariant data;
    if (receiver.GetData(data))
      got = std::get<std::string>(data);
  };
  sender.SetRemoteHost("127.0.0.1");
  sender.SetRemotePort(port);
  // The second datagram comes from the same, now bound, sender.
  for (const std::string datagram : {"ping", "pong"}) {
    got.clear();
    EXPECT_TRUE(sender.SendData(datagram));
    ASSERT_TRUE(PumpUntil([&] { return !got.empty(); }));
    EXPECT_EQ(got, datagram);
  }
}

TEST(SocketTextTest, TheProgramsUtf8AsUtf16AndInTheAnsiCodePage) {
  EXPECT_EQ(platform::Utf8ToUtf16Bytes("a\xC3\xA9\xF0\x9F\x98\x80"),
            std::string("a\0\xE9\0\x3D\xD8\x00\xDE", 8));
  EXPECT_EQ(platform::Utf8ToUtf16Bytes(""), "");
  EXPECT_EQ(platform::Utf8ToAnsi("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(platform::AnsiToUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(platform::AnsiToUtf8("plain"), "plain");
}

}  // namespace
