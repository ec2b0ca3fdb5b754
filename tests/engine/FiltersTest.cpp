#include "engine/Filters.h"

#include <gtest/gtest.h>

namespace {
TEST(NameFilters, RejectByTrimmedPrefixOrSuffixIgnoringCase)
{
    const struct
    {
        bool UseFilters;
        const char *Prefixes, *Suffixes, *Name;
        bool Passes;
    } rows[] = {{true, "~", ".tmp|.bak ", "~lock.doc", false},
                {true, "~", ".tmp|.bak ", "REPORT.TMP", false},
                {true, "~", ".tmp|.bak ", "x.BAK", false},
                {true, "~", ".tmp|.bak ", "report.txt", true},
                {true, "~", ".tmp|.bak ", "lock~.doc", true},  // prefix only at the start
                {true, "~", ".tmp|.bak ", "x.bak.txt", true},  // suffix only at the end
                {false, "~", ".tmp|.bak ", "~lock.doc", true}, // filters off
                {true, " $ | ~ ", "", "~x", false},            // blanks around items
                {true, "| |", "||", "anything", true},         // empty items never match
                {true, "longername", "", "long", true},        // item longer than the name
                {true, "", "name", "name", false},             // whole name as suffix
                {true, "", "", "x.tmp", true}};
    for (const auto& row : rows) {
        Options options;
        options.UseFilters = row.UseFilters;
        options.Prefixes = QString::fromUtf8(row.Prefixes);
        options.Suffixes = QString::fromUtf8(row.Suffixes);
        EXPECT_EQ(PassesFilters(QString::fromUtf8(row.Name), options), row.Passes) << row.Name;
    }
}
} // namespace
