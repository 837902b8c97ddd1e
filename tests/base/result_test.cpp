#include "base/result.h"

#include <gtest/gtest.h>

#include <memory>

namespace tandrel {
namespace {

Result<int> parsePositive(int n) {
  if (n <= 0) {
    return Result<int>::failure(QStringLiteral("not positive"));
  }
  return n;
}

TEST(ResultTest, CarriesAValueOrAnErrorText) {
  const auto good = parsePositive(3);
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(*good, 3);
  EXPECT_EQ(good.valueOr(7), 3);

  const auto bad = parsePositive(-1);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error(), QStringLiteral("not positive"));
  EXPECT_EQ(bad.valueOr(7), 7);

  Result<std::unique_ptr<int>> moved = std::make_unique<int>(5);
  std::unique_ptr<int> taken = std::move(moved).value();
  EXPECT_EQ(*taken, 5);

  const Result<void> done = Result<void>::success();
  const Result<void> failed = Result<void>::failure(QStringLiteral("disk full"));
  EXPECT_TRUE(done.ok());
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.error(), QStringLiteral("disk full"));
}

}  // namespace
}  // namespace tandrel
