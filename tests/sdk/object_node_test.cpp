#include "sdk/object_node.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

namespace event_sdk {
namespace {

using utils::ObjectNode;

TEST(ObjectNodeTest, MembersComeOutInByteOrder) {
  ObjectNode lib;
  lib.PutString("$lib_version", "0.9");
  lib.PutString("$lib_method", "code");
  lib.PutString("$lib", "cpp");
  EXPECT_EQ(lib.ToJson(), R"({"$lib":"cpp","$lib_method":"code","$lib_version":"0.9"})");

  ObjectNode record;
  record.PutString("type", "track");
  record.PutString("properties", "p");
  record.PutString("project", "x");
  record.PutString("distinct_id", "d");
  record.PutInteger("_track_id", 12);
  // "_" (0x5F) sorts before lower-case letters; a prefix comes first.
  EXPECT_EQ(record.ToJson(),
            R"({"_track_id":12,"distinct_id":"d","project":"x","properties":"p","type":"track"})");
}

TEST(ObjectNodeTest, ValuesAreWrittenByKind) {
  struct Case {
    const char* label;
    void (*put)(ObjectNode*);
    const char* json;
  };
  const Case cases[] = {
      {"number 12.5", [](ObjectNode* n) { n->PutNumber("k", 12.5); }, R"({"k":12.5})"},
      {"number 3.0", [](ObjectNode* n) { n->PutNumber("k", 3.0); }, R"({"k":3})"},
      {"number 1234567", [](ObjectNode* n) { n->PutNumber("k", 1234567.0); },
       R"({"k":1.23457e+06})"},
      {"negative integer", [](ObjectNode* n) { n->PutInteger("k", -42); }, R"({"k":-42})"},
      {"64-bit integer", [](ObjectNode* n) { n->PutInteger("k", 1700000000123); },
       R"({"k":1700000000123})"},
      {"bool", [](ObjectNode* n) { n->PutBool("k", false); }, R"({"k":false})"},
      {"empty list", [](ObjectNode* n) { n->PutList("k", {}); }, R"({"k":[]})"},
      {"list",
       [](ObjectNode* n) {
         n->PutList("k", {"a", "b\"c"});
       },
       R"({"k":["a","b\"c"]})"},
      {"escapes", [](ObjectNode* n) { n->PutString("k", "a\tb\"c\\d\ne\rf/g"); },
       R"({"k":"a\tb\"c\\d\ne\rf/g"})"},
      {"utf-8 copied", [](ObjectNode* n) { n->PutString("k", "安装中"); }, R"({"k":"安装中"})"},
      {"not finite", [](ObjectNode* n) { n->PutNumber("k", 1.0 / 0.0); }, R"({"k":null})"},
      {"same key twice",
       [](ObjectNode* n) {
         n->PutString("k", "first");
         n->PutInteger("k", 2);
       },
       R"({"k":2})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ObjectNode node;
    c.put(&node);
    EXPECT_EQ(node.ToJson(), c.json);
  }
  EXPECT_EQ(ObjectNode().ToJson(), "{}");
}

TEST(ObjectNodeTest, DateTimeIsLocalTimeWithMilliseconds) {
  const char* old = getenv("TZ");
  const std::string saved = old != nullptr ? old : "";
  setenv("TZ", "UTC-8", 1);  // POSIX sign: eight hours east of UTC
  tzset();
  ObjectNode node;
  node.PutDateTime("t", 0, 5);
  EXPECT_EQ(node.ToJson(), R"({"t":"1970-01-01 08:00:00.005"})");
  node.PutDateTime("t", 1700000000, 999);
  EXPECT_EQ(node.ToJson(), R"({"t":"2023-11-15 06:13:20.999"})");
  if (old != nullptr) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(ObjectNodeTest, PutObjectNestsOnlyInPlainNodes) {
  ObjectNode inner;
  inner.PutInteger("x", 1);

  ObjectNode plain;
  plain.PutObject("o", inner);
  inner.PutInteger("y", 2);  // the stored copy does not follow
  EXPECT_EQ(plain.ToJson(), R"({"o":{"x":1}})");
  plain.PutObject("e", ObjectNode());
  EXPECT_EQ(plain.ToJson(), R"({"e":{},"o":{"x":1}})");

  PropertiesNode props;
  props.PutString("a", "b");
  props.PutObject("o", inner);
  EXPECT_EQ(props.ToJson(), R"({"a":"b"})");
  // Also through the base type.
  ObjectNode& asBase = props;
  asBase.PutObject("o", inner);
  EXPECT_EQ(props.ToJson(), R"({"a":"b"})");
}

TEST(ObjectNodeTest, MergeFromReplacesSameKeys) {
  ObjectNode a;
  a.PutString("keep", "a");
  a.PutString("both", "a");
  ObjectNode b;
  b.PutInteger("both", 2);
  b.PutBool("new", true);
  a.MergeFrom(b);
  EXPECT_EQ(a.ToJson(), R"({"both":2,"keep":"a","new":true})");
}

TEST(ObjectNodeTest, RefusedTextsLeaveTheNodeUnchanged) {
  struct Case {
    const char* label;
    std::string value;
    const char* message;
  };
  const Case cases[] = {
      {"control byte", std::string("a\x01") + "b", "is not valid UTF-8 string"},
      {"too long", std::string(8193, 'x'), "is too long"},
      {"cut sequence", "\xE5\xAE", "is not valid UTF-8 string"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ObjectNode node;
    node.PutString("k", "old");
    testing::internal::CaptureStderr();
    node.PutString("k", c.value);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(node.ToJson(), R"({"k":"old"})");
    EXPECT_EQ(err.rfind("String property 'k' " + std::string(c.message) + ", value: ", 0), 0u)
        << err;
  }
  ObjectNode node;
  node.PutString("k", std::string(8192, 'x'));
  EXPECT_NE(node.Find("k"), nullptr);
  node.PutList("l", {"ok", "bad\x02"});
  EXPECT_EQ(node.Find("l"), nullptr);
}

TEST(ObjectNodeTest, Utf8Validity) {
  struct Case {
    const char* label;
    std::string text;
    bool valid;
  };
  const Case cases[] = {
      {"empty", "", true},
      {"printable ascii", "Hello, World ~", true},
      {"tab lf cr", "\t\n\r", true},
      {"nul", std::string(1, '\0'), false},
      {"0x08", "\x08", false},
      {"0x0B", "\x0B", false},
      {"0x0C", "\x0C", false},
      {"0x1F", "\x1F", false},
      {"0x7F", "\x7F", false},
      {"two bytes", "\xC2\xA9", true},
      {"overlong C0", "\xC0\xAF", false},
      {"overlong C1", "\xC1\xBF", false},
      {"lone continuation", "\x80", false},
      {"E0 low second", "\xE0\x9F\x80", false},
      {"E0 ok", "\xE0\xA0\x80", true},
      {"three bytes", "\xE5\xAE\x89", true},
      {"ED surrogate", "\xED\xA0\x80", false},
      {"ED ok", "\xED\x9F\xBF", true},
      {"EE ok", "\xEE\x80\x80", true},
      {"F0 low second", "\xF0\x8F\xBF\xBF", false},
      {"F0 ok", "\xF0\x90\x80\x80", true},
      {"F3 ok", "\xF3\xBF\xBF\xBF", true},
      {"F4 ok", "\xF4\x8F\xBF\xBF", true},
      {"F4 beyond", "\xF4\x90\x80\x80", false},
      {"F5", "\xF5\x80\x80\x80", false},
      {"cut by end", "a\xE5\xAE", false},
      {"bad continuation", "\xE5\x41\x89", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(utils::IsValidUtf8(c.text), c.valid);
  }
}

}  // namespace
}  // namespace event_sdk
