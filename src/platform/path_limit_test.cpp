#include "platform/path_limit.h"

#include <gtest/gtest.h>

namespace vantel3 {
namespace {

TEST(PathLimitTest, JoinsUpToTheLimitAndRefusesBeyondWithoutTouchingOut) {
  const std::string base(250, 'a');
  std::string out = "unchanged";
  EXPECT_EQ(JoinPath(base, "123456789", out), 1);  // 259 characters
  EXPECT_EQ(out.size(), 259u);
  out = "unchanged";
  EXPECT_EQ(JoinPath(base, "1234567890", out), 0);  // 260
  EXPECT_EQ(out, "unchanged");
  EXPECT_EQ(JoinPath(base, '/', "12345678", out), 1);
  EXPECT_EQ(JoinPath(base, '/', "123456789", out), 0);
}

TEST(PathLimitTest, CountsCharactersNotBytes) {
  EXPECT_EQ(CountChars("음악/Music"), 8u);
  const std::string korean = "가";  // three bytes, one character
  std::string base;
  for (int i = 0; i < 259; ++i) base += korean;
  std::string out;
  EXPECT_EQ(JoinPath(base, "", out), 1);
  EXPECT_EQ(JoinPath(base, "x", out), 0);
}

}  // namespace
}  // namespace vantel3
