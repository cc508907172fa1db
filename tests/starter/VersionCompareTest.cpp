// The installer's version against the front end's recorded version.
#include <gtest/gtest.h>

#include "starter/Update.h"

using namespace zq::starter;

namespace {

struct Case {
    const char* installer;
    const char* major;
    const char* minor;
    const char* beta;
    bool needed;
    const char* shown;  // the installer's version as offered
};

class CompareCases : public ::testing::TestWithParam<Case> {};

TEST_P(CompareCases, DecidesAndShowsAsRecorded) {
    const Case& c = GetParam();
    auto next = SplitVersion(c.installer);
    ASSERT_TRUE(next.has_value());
    CurrentVersion current{c.major, c.minor, c.beta};
    auto needed = UpdateNeeded(*next, current);
    ASSERT_TRUE(needed.has_value());
    EXPECT_EQ(*needed, c.needed) << c.installer << " against " << current.Shown();
    EXPECT_EQ(ShownVersion(*next), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Releases, CompareCases,
    ::testing::Values(Case{"4.1.23.0", "4.1", ".23", "", false, "4.1.23.0"},
                      Case{"4.1.24.0", "4.1", ".23", "", true, "4.1.24.0"},
                      Case{"4.1.22.0", "4.1", ".23", "", false, "4.1.22.0"},
                      Case{"4.2.0.0", "4.1", ".23", "", true, "4.2.0.0"},
                      Case{"4.0.99.0", "4.1", ".23", "", false, "4.0.99.0"},
                      Case{"0.0.0.0", "4.1", ".23", "", false, "0.0.0.0"},
                      // a beta never replaces the release of its build
                      Case{"4.1.23.2", "4.1", ".23", "", false, "4.1.23_b2"}));

INSTANTIATE_TEST_SUITE_P(
    Betas, CompareCases,
    ::testing::Values(Case{"4.1.23.0", "4.1", ".23", "_b1", true, "4.1.23.0"},
                      Case{"4.1.23.2", "4.1", ".23", "_b1", true, "4.1.23_b2"},
                      Case{"4.1.23.1", "4.1", ".23", "_b1", false, "4.1.23_b1"},
                      Case{"4.1.23.1", "4.1", ".23", "_b3", false, "4.1.23_b1"},
                      Case{"4.1.23.10", "4.1", ".23", "_b1", true, "4.1.23.10"}));

TEST(SplitVersion, TakesMainUpToTheFirstPointFromTheThirdCharacter) {
    auto v = SplitVersion("4.1.23.1");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->main, "4.1");
    EXPECT_EQ(v->build, "23");
    EXPECT_EQ(v->revision, "1");

    // A two-digit major number shifts every part.
    v = SplitVersion("10.1.5.0");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->main, "10");
    EXPECT_EQ(v->build, "1");
    EXPECT_EQ(v->revision, "5.0");
    EXPECT_EQ(ShownVersion(*v), "10.1.5.0");

    v = SplitVersion("4.1.23");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->build, "23");
    EXPECT_EQ(v->revision, "");
    EXPECT_EQ(ShownVersion(*v), "4.1.23");
}

TEST(SplitVersion, FailsWithoutAPointFromTheThirdCharacter) {
    EXPECT_FALSE(SplitVersion("4."));
    EXPECT_FALSE(SplitVersion("41234"));
    EXPECT_FALSE(SplitVersion(""));
    EXPECT_FALSE(SplitVersion("4.1"));
}

TEST(CurrentVersion, ShowsAndSplitsTheRecordedFields) {
    CurrentVersion release{"4.1", ".23", ""};
    EXPECT_EQ(release.Shown(), "4.1.23.0");
    EXPECT_EQ(release.Minor(), "23");
    EXPECT_EQ(release.Beta(), "0");
    CurrentVersion beta{"4.1", ".23", "_b4"};
    EXPECT_EQ(beta.Shown(), "4.1.23_b4");
    EXPECT_EQ(beta.Beta(), "4");
}

TEST(UpdateNeeded, StopsWhenAPartIsNotANumber) {
    auto next = SplitVersion("4.1.23.1");
    ASSERT_TRUE(next);
    EXPECT_FALSE(UpdateNeeded(*next, {"4.x", ".23", ""}).has_value());
    EXPECT_FALSE(UpdateNeeded(*next, {"4.1", "", ""}).has_value());
    EXPECT_FALSE(UpdateNeeded(*next, {"4.1", ".23", "_b"}).has_value());
    // A newer main version decides before the other parts are looked at.
    auto major = SplitVersion("5.0.1.0");
    ASSERT_TRUE(major);
    EXPECT_EQ(UpdateNeeded(*major, {"4.1", "junk", ""}), std::optional<bool>(true));
}

TEST(StarterVersionText, WritesTheMinorWithTwoDigits) {
    EXPECT_EQ(StarterVersionText(4, 1, 23), "4.01.0.23");
    EXPECT_EQ(StarterVersionText(4, 12, 0), "4.12.0.0");
}

}  // namespace
