#include "download/response_headers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace download_internal {
namespace {

HeaderLine Parse(const char* line) { return ParseHeaderLine(line, std::strlen(line)); }

TEST(ResponseHeadersTest, LinesAreSortedByKind) {
  HeaderLine status = Parse("HTTP/1.1 206 Partial Content\r\n");
  EXPECT_EQ(status.kind, HeaderLine::Kind::kStatus);
  EXPECT_EQ(status.status, 206);

  EXPECT_EQ(Parse("\r\n").kind, HeaderLine::Kind::kEnd);

  HeaderLine field = Parse("content-RANGE:   bytes 10-19/1000  \r\n");
  EXPECT_EQ(field.kind, HeaderLine::Kind::kField);
  EXPECT_TRUE(field.Is("Content-Range"));
  EXPECT_FALSE(field.Is("Content-Length"));
  EXPECT_EQ(field.value, "bytes 10-19/1000");

  EXPECT_EQ(Parse("garbage without colon\r\n").kind, HeaderLine::Kind::kOther);
}

TEST(ResponseHeadersTest, ContentRangeNeedsAllThreeNumbers) {
  auto range = ParseContentRange("bytes 10-19/1000");
  ASSERT_TRUE(range.has_value());
  EXPECT_EQ(range->first, 10);
  EXPECT_EQ(range->last, 19);
  EXPECT_EQ(range->total, 1000);
  EXPECT_FALSE(ParseContentRange("bytes */1000").has_value());
  EXPECT_FALSE(ParseContentRange("").has_value());
}

// Only a strong ETag can guard a range; a weak one falls back to the date.
TEST(ResponseHeadersTest, RangeValidatorPrefersAStrongEtag) {
  const struct {
    const char* etag;
    const char* lastModified;
    const char* expected;
  } cases[] = {
      {"\"abc\"", "Tue, 01 Dec 2026 10:00:00 GMT", "\"abc\""},
      {"W/\"abc\"", "Tue, 01 Dec 2026 10:00:00 GMT", "Tue, 01 Dec 2026 10:00:00 GMT"},
      {"", "Tue, 01 Dec 2026 10:00:00 GMT", "Tue, 01 Dec 2026 10:00:00 GMT"},
      {"W/\"abc\"", "", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.etag) + " | " + c.lastModified);
    EXPECT_EQ(RangeValidator(c.etag, c.lastModified), c.expected);
  }
}

}  // namespace
}  // namespace download_internal
