#include "core/PathHelpers.h"

#include <gtest/gtest.h>

namespace {

struct PathRow
{
    const char* path;
    const char* expected;
};

class StripTrailingSlash : public testing::TestWithParam<PathRow>
{
};

TEST_P(StripTrailingSlash, RemovesAtMostOneButNeverTheRoot)
{
    EXPECT_EQ(StripTrailingBackslash(QString::fromUtf8(GetParam().path)).toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, StripTrailingSlash,
                         testing::Values(PathRow{"/data/Work/", "/data/Work"},
                                         PathRow{"/data/Work", "/data/Work"},
                                         PathRow{"/data/Work//", "/data/Work/"}, PathRow{"/", "/"},
                                         PathRow{"//", "/"}, PathRow{"", ""},
                                         PathRow{"//server/share/", "//server/share"}));

class PathRoot : public testing::TestWithParam<PathRow>
{
};

TEST_P(PathRoot, AbsoluteLocalPathsHangFromSlash)
{
    EXPECT_EQ(GetPathRoot(QString::fromUtf8(GetParam().path)).toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, PathRoot,
                         testing::Values(PathRow{"/data/x.txt", "/"}, PathRow{"/", "/"},
                                         PathRow{"//server/share/x", ""}, PathRow{"", ""},
                                         PathRow{"relative/x", ""}));

TEST(JoinPath, NeverMakesANetworkFormFromTheRoot)
{
    EXPECT_EQ(JoinPath(QStringLiteral("/"), QStringLiteral("Work")), QStringLiteral("/Work"));
    EXPECT_EQ(JoinPath(QStringLiteral("/media/USB"), QStringLiteral("Work")),
              QStringLiteral("/media/USB/Work"));
    EXPECT_EQ(JoinPath(QStringLiteral("/media/USB/"), QStringLiteral("Work")),
              QStringLiteral("/media/USB/Work"));
}

} // namespace
