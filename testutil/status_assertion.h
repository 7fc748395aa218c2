#ifndef WENLEI_TESTUTIL_STATUS_ASSERTION_H_
#define WENLEI_TESTUTIL_STATUS_ASSERTION_H_

#include <gtest/gtest.h>

#include "util/status.h"

namespace wenlei::testing {

// For ASSERT_TRUE(IsOk(...)): a failure shows the status's message.
inline ::testing::AssertionResult IsOk(const Status& status) {
  if (status.ok()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "failed with code " << static_cast<int>(status.code())
                                       << ": " << status.message();
}

}  // namespace wenlei::testing

#endif  // WENLEI_TESTUTIL_STATUS_ASSERTION_H_
