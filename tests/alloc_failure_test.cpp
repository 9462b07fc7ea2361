#include <gtest/gtest.h>
TEST(AllocFailure, Placeholder) { EXPECT_EQ(1, 1); }
