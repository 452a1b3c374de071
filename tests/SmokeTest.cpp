#include <gtest/gtest.h>

#include "ShmDefs.h"

TEST(Smoke, AreaHasItsSize) { EXPECT_EQ(sizeof(TShmArea), 17009u); }
