#include "utils/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/utils/test_support.h"
#include "utils/text.h"

namespace {

std::string ReadAll(Utils::ChildProcess& child) {
  std::string out;
  char buffer[4096];
  for (;;) {
    ssize_t n = child.ReadOutput(buffer, sizeof(buffer), 10000);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

TEST(SplitCommandLine, WindowsRules) {
  struct Case {
    std::wstring line;
    std::vector<std::wstring> args;
  };
  const Case cases[] = {
      {L"prog a b", {L"prog", L"a", L"b"}},
      {L"  prog \t a  ", {L"prog", L"a"}},
      {L"\"C:\\Program Files\\q.exe\" -x", {L"C:\\Program Files\\q.exe", L"-x"}},
      {L"a\"b c\"d", {L"ab cd"}},
      {L"\"\"", {L""}},
      {L"p \"\" x", {L"p", L"", L"x"}},
      {L"p a\\\\b", {L"p", L"a\\\\b"}},        // backslashes not before a quote
      {L"p a\\\"b", {L"p", L"a\"b"}},          // 1 backslash + quote: literal quote
      {L"p a\\\\\"b c\"", {L"p", L"a\\b c"}},  // 2 backslashes + quote: 1 backslash, quoting
      {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},    // 3 backslashes + quote
      {L"p \"a\"\"b\"", {L"p", L"a\"b"}},      // "" inside quotes
      {L"p \"-path=/opt/q d\" -k=v", {L"p", L"-path=/opt/q d", L"-k=v"}},
      {L"p \"unterminated arg", {L"p", L"unterminated arg"}},
      {L"\"unterminated program", {L"unterminated program"}},
      // The program: backslashes literal, quotes only toggle.
      {L"\"C:\\dir\\\" -x", {L"C:\\dir\\", L"-x"}},
      {L"p\\\"a b\" c\\\"d", {L"p\\a b", L"c\"d"}},
      {L"\"a\"\"b\" \"a\"\"b\"", {L"ab", L"a\"b"}},
      {L"", {}},
      {L"   ", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utils::WideToMultiByte(c.line, 65001));
    EXPECT_EQ(Utils::SplitCommandLine(c.line), c.args);
  }
}

TEST(ChildProcess, OutputEndsWithEndOfDataAfterTheLastByte) {
  Utils::ChildProcess child;
  child.Start(L"printf \"Key=Value\\nlast line without newline\"");
  EXPECT_GT(child.Pid(), 0);
  EXPECT_EQ(ReadAll(child), "Key=Value\nlast line without newline");
  char byte;
  EXPECT_EQ(child.ReadOutput(&byte, 1, 1000), 0);  // end of data, not a stall
  EXPECT_EQ(child.Wait(), 0);
  child.Close();
  EXPECT_EQ(child.OutputFd(), -1);
}

TEST(ChildProcess, QuotingReachesTheChildUnchangedAndNoShellRuns) {
  Utils::ChildProcess child;
  child.Start(
      L"printf \"[%s]\" \"two words\" a\\\"b \"$HOME\" \"*\" \"中文\" \"back\\\\\\\\\" ;ls");
  EXPECT_EQ(ReadAll(child), "[two words][a\"b][$HOME][*][\xE4\xB8\xAD\xE6\x96\x87][back\\\\][;ls]");
  EXPECT_EQ(child.Wait(), 0);
}

TEST(ChildProcess, StandardStreamsAreThePipes) {
  Utils::ChildProcess child;
  child.Start(L"sh -c \"read line; echo got:$line; echo oops >&2; exit 3\"");
  const char input[] = "hello\n";
  ASSERT_EQ(write(child.InputFd(), input, 6), 6);
  EXPECT_EQ(ReadAll(child), "got:hello\n");
  char err[64] = {};
  ASSERT_GT(read(child.ErrorFd(), err, sizeof(err) - 1), 0);
  EXPECT_STREQ(err, "oops\n");
  EXPECT_EQ(child.Wait(), 3);
  EXPECT_FALSE(child.KilledBySignal());
  EXPECT_FALSE(child.IsRunning());
}

TEST(ChildProcess, CommandLineLengthLimit) {
  // printf with a long argument: the whole line is exactly 1023 characters.
  std::wstring prefix = L"printf ";
  std::wstring line = prefix + std::wstring(1023 - prefix.size(), L'x');
  ASSERT_EQ(line.size(), 1023u);
  Utils::ChildProcess child;
  ASSERT_NO_THROW(child.Start(line));
  EXPECT_EQ(ReadAll(child).size(), 1023 - prefix.size());
  child.Wait();

  Utils::ChildProcess refused;
  EXPECT_THROW(refused.Start(line + L"x"), Utils::Exception);
  EXPECT_EQ(refused.Pid(), -1);
  EXPECT_THROW(refused.Start(line + std::wstring(5000, L'x')), std::exception);
}

TEST(ChildProcess, StartFailuresThrow) {
  const std::wstring lines[] = {L"", L"   ", L"/nonexistent/program --x",
                                L"quillon-no-such-program-on-path"};
  for (const std::wstring& line : lines) {
    SCOPED_TRACE(Utils::WideToMultiByte(line, 65001));
    Utils::ChildProcess child;
    try {
      child.Start(line);
      ADD_FAILURE() << "started";
    } catch (const std::exception& e) {
      EXPECT_STREQ(e.what(), "");
    }
    child.Close();
  }
}

TEST(ChildProcess, ExitBySignal) {
  Utils::ChildProcess child;
  child.Start(L"sh -c \"kill -9 $$\"");
  EXPECT_EQ(child.Wait(), 128 + 9);
  EXPECT_TRUE(child.KilledBySignal());
}

TEST(ChildProcess, DescendantsKeepTheOutputOpenUntilTheyEnd) {
  Utils::ChildProcess child;
  child.Start(L"sh -c \"(sleep 0.3; echo late) & echo early\"");
  std::string out = ReadAll(child);
  EXPECT_EQ(out, "early\nlate\n");
  child.Wait();
}

TEST(Pipe, CloseOnExecAndClosable) {
  Utils::Pipe pipe;
  ASSERT_GE(pipe.ReadFd(), 0);
  ASSERT_GE(pipe.WriteFd(), 0);
  EXPECT_TRUE(fcntl(pipe.ReadFd(), F_GETFD) & FD_CLOEXEC);
  EXPECT_TRUE(fcntl(pipe.WriteFd(), F_GETFD) & FD_CLOEXEC);
  pipe.CloseWrite();
  EXPECT_EQ(pipe.WriteFd(), -1);
  char c;
  EXPECT_EQ(read(pipe.ReadFd(), &c, 1), 0);
}

TEST(PrivilegeFacts, FromAccounts) {
  EXPECT_EQ(Utils::IsProcessAdmin(), geteuid() == 0);
  EXPECT_TRUE(Utils::IsUserAccountAdmin(L"root"));
  EXPECT_FALSE(Utils::IsUserAccountAdmin(L"quillon-no-such-user"));
  EXPECT_FALSE(Utils::IsUserAccountAdmin(L""));
  std::wstring user;
  ASSERT_TRUE(Utils::GetActiveSessionUserName(&user));
  EXPECT_FALSE(user.empty());
}

TEST(PrivilegeFacts, SudoUserWhenNoSeatIsActive) {
  if (access("/run/systemd/seats/seat0", F_OK) == 0) GTEST_SKIP() << "a logind seat exists";
  quillon_test::ScopedEnv sudo("SUDO_USER", "someone");
  std::wstring user;
  ASSERT_TRUE(Utils::GetActiveSessionUserName(&user));
  EXPECT_EQ(user, L"someone");
}

}  // namespace
