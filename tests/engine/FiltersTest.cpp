#include "engine/Filters.h"

#include <gtest/gtest.h>

namespace {
struct FilterRow
{
    bool UseFilters;
    const char* Prefixes;
    const char* Suffixes;
    const char* Name;
    bool Passes;
};

class NameFilters : public ::testing::TestWithParam<FilterRow>
{
};

TEST_P(NameFilters, RejectByTrimmedPrefixOrSuffixIgnoringCase)
{
    const FilterRow& row = GetParam();
    Options options;
    options.UseFilters = row.UseFilters;
    options.Prefixes = QString::fromUtf8(row.Prefixes);
    options.Suffixes = QString::fromUtf8(row.Suffixes);
    EXPECT_EQ(PassesFilters(QString::fromUtf8(row.Name), options), row.Passes) << row.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NameFilters,
    ::testing::Values(FilterRow{true, "~", ".tmp|.bak ", "~lock.doc", false},
                      FilterRow{true, "~", ".tmp|.bak ", "REPORT.TMP", false},
                      FilterRow{true, "~", ".tmp|.bak ", "x.BAK", false},
                      FilterRow{true, "~", ".tmp|.bak ", "report.txt", true},
                      FilterRow{true, "~", ".tmp|.bak ", "lock~.doc", true},  // prefix only at the start
                      FilterRow{true, "~", ".tmp|.bak ", "x.bak.txt", true},  // suffix only at the end
                      FilterRow{false, "~", ".tmp|.bak ", "~lock.doc", true}, // filters off
                      FilterRow{true, " $ | ~ ", "", "~x", false},            // blanks around items
                      FilterRow{true, "| |", "||", "anything", true},         // empty items never match
                      FilterRow{true, "longername", "", "long", true},        // item longer than the name
                      FilterRow{true, "", "name", "name", false},             // whole name as suffix
                      FilterRow{true, "", "", "x.tmp", true}));
} // namespace
