#include "net/MakerService.h"

#include <gtest/gtest.h>

#include "net/CommunityRating.h"
#include "net/ServerAddress.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/system.h"
#include "support/LoopbackPeer.h"
#include "support/TestFolder.h"

namespace {

class DownloadUrlTest : public ::testing::Test {
 protected:
  DownloadUrlTest() : program_(folder_.File("Run Guard.exe")) {
    ctlProgramSupport::SetTimeLimitsForTesting(2000, 2000);
  }
  ~DownloadUrlTest() override { ctlProgramSupport::SetTimeLimitsForTesting(0, 0); }

  std::string Url(const std::string& path) const { return "http://" + peer_.Address() + path; }
  std::string ErrorLog() const {
    std::string text;
    platform::ReadWholeFile(folder_.File("errlog.log"), &text);
    return text;
  }

  TestFolder folder_;
  ProgramLocation program_;
  LoopbackPeer peer_;
  ctlProgramSupport support_;
};

// The bytes the server at the other end expects, written out once here; every other test
// takes them from BuildGetRequest and BuildPostRequest.
TEST_F(DownloadUrlTest, SendsTheExactRequestAndReturnsTheTextAfterTheFirstBlankLine) {
  ASSERT_NE(peer_.port(), 0);
  const std::string head =
      "Accept: */*\r\nAccept-Language: En-us\r\nUser-Agent: Mozilla/4.0\r\nHost: 127.0.0.1\r\n";
  peer_.SetReply("HTTP/1.0 200 OK\r\nServer: x\r\n\r\nfirst body part\r\nline\r\n\r\nafter");
  EXPECT_EQ(support_.DownloadUrl(Url("/~vantor/updates/updates.ini")), "first body part\r\nline");
  ASSERT_EQ(peer_.connections(), 1);
  EXPECT_EQ(peer_.requests()[0],
            "GET /~vantor/updates/updates.ini HTTP/1.0\r\n" + head + "Connection: Close\r\n\r\n");

  // A post: the program's name and version, then the text, each part opened by the boundary
  // (the second twice), and no closing boundary.
  peer_.SetReply("HTTP/1.1 200 OK\r\n\r\nstored");
  const std::string err = "12/5/2026 3:45:12 AM File not found 152 <a b>\r\nnext";
  EXPECT_EQ(support_.DownloadUrl(Url("/~vantor/progerr.php"), err), "stored");
  platform::Version version = platform::ProgramVersion();
  const std::string boundary = "--98971212161631\r\n";
  const std::string part = "Content-Type: text/html\r\n\r\n";
  const std::string body =
      boundary + "Content-Disposition: form-data;name=\"prog\"\r\n" + part + "Run%20Guard-" +
      std::to_string(version.major) + "." + std::to_string(version.minor) + "\r\n" + boundary +
      boundary + "Content-Disposition: form-data;name=\"err\"\r\n" + part + err + "\r\n" + boundary;
  ASSERT_EQ(peer_.connections(), 2);
  EXPECT_EQ(peer_.requests()[1],
            "POST /~vantor/progerr.php HTTP/1.1\r\n" + head +
                "Content-Type: multipart/form-data, boundary=98971212161631\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\nConnection: Close\r\n\r\n" + body);

  // No blank line: the whole text, status line and all.
  peer_.SetReply("HTTP/1.0 500 Broken\r\nno blank line here");
  EXPECT_EQ(support_.DownloadUrl(Url("/x")), "HTTP/1.0 500 Broken\r\nno blank line here");
  // The query string stays in the path; a "www." in the host is dropped.
  peer_.SetReply("H\r\n\r\nok");
  EXPECT_EQ(support_.DownloadUrl("http://www." + peer_.Address() + "/a.php?md5=AB&x=1"), "ok");
  ASSERT_EQ(peer_.connections(), 4);
  EXPECT_EQ(peer_.requests()[3], BuildGetRequest("/a.php?md5=AB&x=1"));
  EXPECT_EQ(ErrorLog(), "");
}

TEST_F(DownloadUrlTest, ServerThatNeverClosesIsLeftAfterTheReplyLimit) {
  ctlProgramSupport::SetTimeLimitsForTesting(2000, 300);
  peer_.SetReply("HTTP/1.0 200 OK\r\n\r\npartial", LoopbackPeer::AfterReply::kStayOpen);
  EXPECT_EQ(support_.DownloadUrl(Url("/slow")), "partial");
  EXPECT_EQ(peer_.connections(), 1);
}

TEST_F(DownloadUrlTest, ReplyIsCappedAtOneMebibyteAndTheConnectionClosed) {
  const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
  // More than the socket buffers on both sides can hold, from a peer that would never
  // close by itself: only our hanging up ends the exchange.
  peer_.SetReply(head + std::string(32 * kReplyLimit, 'x'), LoopbackPeer::AfterReply::kStayOpen);
  ctlProgramSupport::SetTimeLimitsForTesting(2000, 30000);
  std::string reply = support_.DownloadUrl(Url("/big"));
  EXPECT_EQ(reply.size(), kReplyLimit - head.size());
  EXPECT_EQ(reply.find_first_not_of('x'), std::string::npos);
  // The peer could not hand over its whole reply: we hung up on it.
  EXPECT_TRUE(PumpUntil([&] { return peer_.cut_off() == 1; }));
}

TEST_F(DownloadUrlTest, PathsWithBlanksOrControlCharactersAreNotSent) {
  EXPECT_EQ(support_.DownloadUrl(Url("/filecheck.php?file=x y.exe")), "");
  EXPECT_EQ(support_.DownloadUrl(Url("/a\r\nHost: evil")), "");
  EXPECT_EQ(support_.DownloadUrl(Url("/tab\there")), "");
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(peer_.connections(), 0);
  EXPECT_NE(ErrorLog().find("Invalid procedure call or argument"), std::string::npos);
}

// Ports travel as signed 16-bit numbers: 40000 cannot be used. A refused connection is
// known at once; waiting out the 5 s connect limit for it would hold every alert's report
// (and so the next alert) for the whole limit while the server is down.
TEST_F(DownloadUrlTest, UnusablePortsAndRefusedConnectionsGiveNothingAtOnce) {
  EXPECT_EQ(support_.DownloadUrl("http://127.0.0.1:40000/x"), "");
  EXPECT_NE(ErrorLog().find("Overflow"), std::string::npos);
  ctlProgramSupport::SetTimeLimitsForTesting(0, 0);  // the real limits
  platform::UseManualClockForTesting(true);
  uint32_t start = platform::TickCount();
  std::string reply =
      support_.DownloadUrl("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x");
  uint32_t waited = platform::TickCount() - start;
  platform::UseManualClockForTesting(false);
  EXPECT_EQ(reply, "");
  EXPECT_LT(waited, 5000u);
}

TEST_F(DownloadUrlTest, CallsMadeWhileAnotherWaitsEachGetTheirOwnReply) {
  LoopbackPeer inner_peer;
  inner_peer.SetReply("H\r\n\r\ninner reply");
  std::string inner;
  // While the outer call waits for its reply, a message handler starts another call.
  peer_.SetResponder([&](const std::string&) {
    inner = support_.DownloadUrl("http://" + inner_peer.Address() + "/inner");
    return std::string("H\r\n\r\nouter reply");
  });
  EXPECT_EQ(support_.DownloadUrl(Url("/outer")), "outer reply");
  EXPECT_EQ(inner, "inner reply");
  EXPECT_EQ(inner_peer.connections(), 1);
}

TEST(UrlTextTest, SplitEscapeAndVersionNumbers) {
  UrlParts with_port = SplitUrl("http://10.0.0.1:8080/x");
  EXPECT_EQ(with_port.host + "|" + with_port.port + "|" + with_port.path, "10.0.0.1|8080|/x");
  UrlParts plain = SplitUrl("HTTP://WWW.10.0.0.1/~vantor/progerr.php");
  EXPECT_EQ(plain.host + "|" + plain.port + "|" + plain.path, "10.0.0.1|80|/~vantor/progerr.php");
  // Every occurrence of the host text leaves the path as well.
  EXPECT_EQ(SplitUrl("http://1.2.3.4/a/1.2.3.4/b").path, "/a//b");

  // Control characters, blanks and angle brackets.
  EXPECT_EQ(EscapeControlChars(std::string("a\0b", 3)), "a%00b");
  EXPECT_EQ(EscapeControlChars("Run Guard\r\n<1.0>%~"), "Run%20Guard%0D%0A%201.0%20%~");
  EXPECT_EQ(EscapeControlChars("\x1F\x21"), "%1F!");

  // Dots removed, then a numeric prefix.
  const std::pair<const char*, double> versions[] = {
      {"1.4.0.9", 1409}, {"1.4.0.10", 14010}, {"1.5", 15}, {" 2.0x7", 20}, {"beta", 0}, {"", 0}};
  for (const auto& [text, number] : versions)
    EXPECT_EQ(VersionNumber(text), number) << text;
}

}  // namespace
