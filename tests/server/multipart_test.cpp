#include <gtest/gtest.h>

#include "Multipart.h"
#include "ServerTestSupport.h"

using server::FindField;
using server::MultipartBoundary;
using server::ParseMultipart;

TEST(Multipart, ReadsOurProgramsFormWithItsDoubledBoundaryAndNoClosingLine) {
  const std::string err = "12/5/2026 3:45:12 AM File not found 152 C:\\x.exe\r\nsecond line <b> & 100%";
  const auto fields = ParseMultipart(server_test::ClientPostBody("Runwarden-1.4", err), "98971212161631");

  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].name, "prog");
  EXPECT_EQ(fields[0].value, "Runwarden-1.4");
  EXPECT_EQ(fields[1].name, "err");
  EXPECT_EQ(fields[1].value, err);
}

TEST(Multipart, ReadsABrowsersFormAndStopsAtTheClosingLine) {
  const std::string body =
      "--XyZ\r\n"
      "Content-Disposition: form-data; name=\"prog\"\r\n"
      "\r\n"
      "Runwarden\r\n"
      "--XyZ\r\n"
      "content-disposition: form-data; name=\"err\"; filename=\"ignored.txt\"\r\n"
      "Content-Type: text/plain\r\n"
      "\r\n"
      "it broke\r\n"
      "--XyZ--\r\n"
      "Content-Disposition: form-data; name=\"after\"\r\n"
      "\r\n"
      "epilogue\r\n";
  const auto fields = ParseMultipart(body, "XyZ");

  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(FindField(fields, "prog"), "Runwarden");
  EXPECT_EQ(FindField(fields, "err"), "it broke");
  EXPECT_FALSE(FindField(fields, "after"));
}

TEST(Multipart, KeepsEmptyValuesAndSkipsPartsWithoutNameOrHeaders) {
  const std::string body =
      "--B\r\n"
      "Content-Disposition: form-data;name=\"prog\"\r\n"
      "\r\n"
      "\r\n"
      "--B\r\n"
      "Content-Type: text/html\r\n"
      "\r\n"
      "nameless\r\n"
      "--B\r\n"
      "no blank line here\r\n"
      "--B\r\n"
      "Content-Disposition: form-data;name=err\r\n"
      "\n"
      "bare LF blank line\r\n"
      "--B\r\n";
  const auto fields = ParseMultipart(body, "B");

  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(FindField(fields, "prog"), "");
  EXPECT_EQ(FindField(fields, "err"), "bare LF blank line");
}

TEST(Multipart, BoundaryMustStartALineAndMatchWhole) {
  // A value that mentions the boundary mid-line, or a longer boundary, does not cut it.
  const std::string body =
      "--B\r\n"
      "Content-Disposition: form-data;name=\"err\"\r\n"
      "\r\n"
      "see --B here\r\n"
      "--BB not ours\r\n"
      "--B\r\n";
  EXPECT_EQ(FindField(ParseMultipart(body, "B"), "err"), "see --B here\r\n--BB not ours");
}

TEST(Multipart, TakesAnUnterminatedLastPartToTheEnd) {
  const std::string body =
      "--B\r\n"
      "Content-Disposition: form-data;name=\"err\"\r\n"
      "\r\n"
      "cut short";
  EXPECT_EQ(FindField(ParseMultipart(body, "B"), "err"), "cut short");
}

TEST(Multipart, FindsNoFieldsWithoutItsBoundary) {
  EXPECT_TRUE(ParseMultipart("prog=a&err=b", "B").empty());
  EXPECT_TRUE(ParseMultipart(server_test::ClientPostBody("p", "e"), "").empty());
  EXPECT_TRUE(ParseMultipart(server_test::ClientPostBody("p", "e"), "9897121216163").empty());
}

TEST(Multipart, BoundaryFromContentType) {
  EXPECT_EQ(MultipartBoundary("multipart/form-data, boundary=98971212161631"), "98971212161631");
  EXPECT_EQ(MultipartBoundary("multipart/form-data; boundary=----abc"), "----abc");
  EXPECT_EQ(MultipartBoundary("Multipart/Form-Data; Boundary=\"a b\"; charset=x"), "a b");
  EXPECT_EQ(MultipartBoundary("multipart/form-data; boundary=abc; charset=x"), "abc");
  EXPECT_FALSE(MultipartBoundary("text/plain; boundary=abc"));
  EXPECT_FALSE(MultipartBoundary("multipart/form-data"));
  EXPECT_FALSE(MultipartBoundary("multipart/form-data; boundary="));
  EXPECT_FALSE(MultipartBoundary(""));
}
