// Placeholder so the unit-test executable always has a test.
#include <gtest/gtest.h>

#include "util/banner.h"

TEST(Banner, VersionText) { EXPECT_STREQ(banner_version(), "20.12.0"); }
