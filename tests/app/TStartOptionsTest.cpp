#include "app/TStartOptions.h"

#include <gtest/gtest.h>

TEST(TStartOptionsTest, ReadsOptionsAndRefusesUnknownOnes)
{
    const TStartOptions o = TStartOptions::Parse({"pelmor", "--ini", "/x/a.ini", "list.wst", "--folder", "/d"});
    EXPECT_TRUE(o.error.isEmpty());
    EXPECT_EQ(o.iniFile, "/x/a.ini");
    EXPECT_EQ(o.folder, "/d");
    EXPECT_EQ(o.arguments, QStringList{"list.wst"});
    EXPECT_TRUE(TStartOptions::Parse({"pelmor", "--version"}).showVersion);
    EXPECT_FALSE(TStartOptions::Parse({"pelmor", "--ini"}).error.isEmpty()) << "a missing value is an error";
    EXPECT_FALSE(TStartOptions::Parse({"pelmor", "--bogus"}).error.isEmpty());
}
