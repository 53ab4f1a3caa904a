#include <gtest/gtest.h>

#include "data/pubparam.h"

TEST(Store, CreatedOnceWithStartValues) {
  utPubParam* a = GetPubParam();
  EXPECT_EQ(a, GetPubParam());
  EXPECT_EQ(a->SysPar.BKCOLOR, 0);
  for (int p : a->SysPar.POS) EXPECT_EQ(p, 10);
  EXPECT_EQ(a->RecordCount, 0);
  EXPECT_EQ(a->LogText[0], '\0');
  EXPECT_NE(a->Records, nullptr);
}
