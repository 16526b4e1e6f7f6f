#include "tracker/lm_types.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace usage {
namespace lumora {
namespace {

template <typename Enum>
std::vector<std::string> AllTexts(int count) {
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) texts.push_back(toString(static_cast<Enum>(i)));
  return texts;
}

TEST(LmTypesTest, TextFormsFollowTheTables) {
  EXPECT_EQ(AllTexts<LmEventType>(15),
            (std::vector<std::string>{"Activity", "PaLaunchPal", "Login", "Click", "View",
                                      "Cashier", "Share", "Task", "File", "Order", "Payment",
                                      "Uninstall", "Update", "Crashed", "AppOpenNotification"}));
  EXPECT_EQ(
      AllTexts<LmUserType>(12),
      (std::vector<std::string>{"unknown", "mobilephone", "email", "weixin", "qq", "deviceid",
                                "baidu", "huawei", "apple", "lumorauserid", "google", "facebook"}));
  EXPECT_EQ(AllTexts<LmResult>(4),
            (std::vector<std::string>{"Success", "Cancelled", "Fail", "Unknown"}));
  EXPECT_EQ(AllTexts<ClickType>(5),
            (std::vector<std::string>{"Button", "Banner", "Tutorial", "File", "Others"}));
  EXPECT_EQ(AllTexts<LmIoType>(2), (std::vector<std::string>{"Input", "Output"}));
  EXPECT_EQ(AllTexts<LmCurrency>(11),
            (std::vector<std::string>{"CNY", "USD", "EUR", "HKD", "TWD", "MOP", "SGD", "JPY", "KRW",
                                      "INR", "GBP"}));
  EXPECT_EQ(
      AllTexts<LmPaidPlatform>(10),
      (std::vector<std::string>{"Alipay", "WeChatPay", "PayPal", "Tenpay", "CIECC", "GooglePay",
                                "HuaweiPay", "AppleIAP", "Paddle", "ChinaUnionPay"}));
  EXPECT_EQ(AllTexts<LmIapType>(4), (std::vector<std::string>{"Consumable", "NonConsumable",
                                                              "AutoRenewable", "NonRenewable"}));
  EXPECT_EQ(AllTexts<LmUpdateOp>(5),
            (std::vector<std::string>{"UpdateCheck", "DownloadStart", "DownloadEnd", "UpgrateStart",
                                      "UpgrateEnd"}));
  EXPECT_EQ(AllTexts<LmUpdateResult>(6),
            (std::vector<std::string>{"Success", "Cancelled", "Timeout", "Fail", "Latest",
                                      "Updateable"}));
  EXPECT_EQ(AllTexts<LmEdition>(2), (std::vector<std::string>{"china", "overseas"}));
}

TEST(LmTypesTest, ValuesOutsideTheTablesRaise) {
  struct Case {
    const char* label;
    std::function<std::string()> convert;
    const char* message;
    const char* function;
  };
  const Case cases[] = {
      {"event type 15", [] { return toString(static_cast<LmEventType>(15)); },
       "Unknown Event [15]!", "toString"},
      {"user type 12", [] { return toString(static_cast<LmUserType>(12)); },
       "Unknown user type [12]!", "userType"},
      {"result 4", [] { return toString(static_cast<LmResult>(4)); }, "Unknown task result [4]!",
       "toString"},
      {"result -1", [] { return toString(static_cast<LmResult>(-1)); }, "Unknown task result [-1]!",
       "toString"},
      {"click type 7", [] { return toString(static_cast<ClickType>(7)); }, "Unknown ClickType [7]!",
       "toString"},
      {"io type 2", [] { return toString(static_cast<LmIoType>(2)); }, "the io type is invalid",
       "toString"},
      {"currency 11", [] { return toString(static_cast<LmCurrency>(11)); },
       "Unknown currency [11]!", "toString"},
      {"paid platform 10", [] { return toString(static_cast<LmPaidPlatform>(10)); },
       "Unknown paid platform [10]!", "toString"},
      {"iap type 4", [] { return toString(static_cast<LmIapType>(4)); }, "Unknown lmIapType [4]!",
       "toString"},
      {"update op 5", [] { return toString(static_cast<LmUpdateOp>(5)); },
       "Unknown LmUpdateOp [5]!", "toString"},
      {"update result 6", [] { return toString(static_cast<LmUpdateResult>(6)); },
       "Unknown LmUpdateResult [6]!", "toString"},
      {"edition 2", [] { return toString(static_cast<LmEdition>(2)); }, "Unknown edition [2]!",
       "toString"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    try {
      c.convert();
      ADD_FAILURE() << "no exception";
    } catch (const LmException& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.function(), c.function);
      EXPECT_EQ(e.code(), -1);
      EXPECT_GT(e.line(), 0);
    }
  }
}

TEST(LmTypesTest, RecordDefaults) {
  EXPECT_EQ(toString(LmEventClick().clickType), "Others");
  const LmEventTask task;
  EXPECT_FALSE(task.elapsed.has_value());
  EXPECT_FALSE(task.result.has_value());
  LmEventFile file;
  file.width = 0;  // present with 0 stays distinct from absent
  EXPECT_TRUE(file.width.has_value());
  EXPECT_FALSE(file.height.has_value());
}

}  // namespace
}  // namespace lumora
}  // namespace usage
