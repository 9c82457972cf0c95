#include "guard.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace oposso {
namespace {

TEST(Guard, AnExceptionBecomesAnHresultAndGoesNoFurther) {
  EXPECT_EQ(CallGuarded([] { return 0; }), 0);
  EXPECT_EQ(CallGuarded([] { return static_cast<std::int32_t>(0x80020005); }), static_cast<std::int32_t>(0x80020005));
  EXPECT_EQ(CallGuarded([]() -> int { throw std::bad_alloc(); }), kEOutOfMemory);
  EXPECT_EQ(CallGuarded([]() -> int { throw std::runtime_error("x"); }), kEFail);
  EXPECT_EQ(CallGuarded([]() -> int { throw 7; }), kEFail);
}

}  // namespace
}  // namespace oposso
