#include "tracker/context_properties.h"

#include <gtest/gtest.h>

#include <string>

namespace usage {
namespace lumora {
namespace {

std::string MessageOf(const std::function<void()>& call, std::string* function = nullptr) {
  try {
    call();
  } catch (const LmException& e) {
    if (function != nullptr) *function = e.function();
    return e.what();
  }
  return "(no exception)";
}

TEST(ContextPropertiesTest, PropertiesGoToTheirKindsInOrder) {
  LmContextProperties context;
  context.setProperty(abTestKey(), "IN", {LmEventType::kTask, LmEventType::kClick});
  context.setProperty("lmc_other", "x", {LmEventType::kClick});
  const auto& click = context.getEventProperties(LmEventType::kClick);
  ASSERT_EQ(click.size(), 2u);
  EXPECT_EQ(click[0]->first, "lmc_ab");
  EXPECT_EQ(click[0]->second, "IN");
  EXPECT_EQ(click[1]->first, "lmc_other");
  EXPECT_EQ(context.getEventProperties(LmEventType::kTask).size(), 1u);
  EXPECT_TRUE(context.getEventProperties(LmEventType::kAppOpenNotification).empty());

  event_sdk::PropertiesNode event;
  event.PutString("lmc_ab", "record value");
  event.PutString("lm_name", "n");
  EXPECT_TRUE(applyContextProperties(context, LmEventType::kClick, &event));
  EXPECT_EQ(event.ToJson(), R"({"lm_name":"n","lmc_ab":"IN","lmc_other":"x"})");
  event_sdk::PropertiesNode view;
  EXPECT_FALSE(applyContextProperties(context, LmEventType::kView, &view));
  EXPECT_TRUE(view.Empty());
}

TEST(ContextPropertiesTest, FailuresRaiseWithTheirMessages) {
  LmContextProperties context;
  context.setProperty("lmc_ab", "IN", {LmEventType::kTask});
  std::string function;
  EXPECT_EQ(MessageOf([&] { context.setProperty("lmc_ab", "B", {LmEventType::kView}); }, &function),
            "Property[lmc_ab] already exist!");
  EXPECT_EQ(function, "setProperty");
  EXPECT_TRUE(context.getEventProperties(LmEventType::kView).empty());

  // Kind 15 overflows after Click got the property; the key stays taken.
  EXPECT_EQ(MessageOf([&] {
              context.setProperty("k", "v", {LmEventType::kClick, static_cast<LmEventType>(15)});
            }),
            "LmEvent[15] overflow!");
  EXPECT_EQ(context.getEventProperties(LmEventType::kClick).size(), 1u);
  EXPECT_EQ(MessageOf([&] { context.setProperty("k", "v", {LmEventType::kView}); }),
            "Property[k] already exist!");

  EXPECT_EQ(MessageOf([&] { context.getEventProperties(static_cast<LmEventType>(15)); }, &function),
            "LmEvent[15] overflow!");
  EXPECT_EQ(function, "getEventProperties");
}

TEST(ContextPropertiesTest, AbValues) {
  struct Case {
    const char* value;
    const char* result;  // "true", "false" or the exception message
  };
  const Case cases[] = {
      {"", "false"},
      {"IN", "true"},
      {"A", "true"},
      {"B2", "true"},
      {"Xy", "true"},
      {"Z9z", "true"},
      {"in", "First char is not in A to Z"},
      {"1A", "First char is not in A to Z"},
      {"ABCD", "value's length is great than 3."},
      {"A-", "second char is not in A to Z and 0 to 9"},
      {"AB_", "third char is not in A to Z and 0 to 9"},
      {"A\xC3\xA9", "second char is not in A to Z and 0 to 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    std::string function;
    std::string got;
    try {
      got = LmContextProperties::isValidABValue(c.value) ? "true" : "false";
    } catch (const LmException& e) {
      got = e.what();
      EXPECT_EQ(e.function(), "isValidABValue");
    }
    EXPECT_EQ(got, c.result);
  }
}

}  // namespace
}  // namespace lumora
}  // namespace usage
