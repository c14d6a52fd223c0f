// The transcript format and its comparison: what the differential test relies on to pass
// only when winport/posix and Windows agree or differ in an explained way.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "Probe.h"

namespace {

// An id of the table, for the cases that need a known difference.
std::string SomeKnownId()
{
    return probe::KnownDifferences().empty() ? std::string() : probe::KnownDifferences().front().id;
}

struct CompareCase {
    const char* name;
    std::string winport;
    std::string windows;
    bool same;
    std::vector<std::string> reportHas;
    std::vector<std::string> reportLacks;
};

class CompareTranscripts : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareTranscripts, Decides)
{
    const CompareCase& c = GetParam();
    std::string report;
    EXPECT_EQ(c.same, probe::CompareTranscripts(c.winport, c.windows, report)) << report;
    for (const std::string& s : c.reportHas) EXPECT_NE(std::string::npos, report.find(s)) << s << "\n" << report;
    for (const std::string& s : c.reportLacks) EXPECT_EQ(std::string::npos, report.find(s)) << s << "\n" << report;
}

const std::string kEnd = std::string(probe::kKnownSection) + "\n";

INSTANTIATE_TEST_SUITE_P(
    Transcripts, CompareTranscripts,
    ::testing::Values(CompareCase{"identical",
                                  "== a\nx -> 1\n== b\ny -> 2\n" + kEnd,
                                  "== a\nx -> 1\n== b\ny -> 2\n" + kEnd,
                                  true,
                                  {"scenarios: 2, identical: 2"},
                                  {"differs"}},
                      CompareCase{"changed line",
                                  "== a\nx -> 1\n== b\ny -> 2\nz -> 3\n" + kEnd,
                                  "== a\nx -> 1\n== b\ny -> 9\nz -> 3\n" + kEnd,
                                  false,
                                  {"scenario b differs", "  - y -> 2\n", "  + y -> 9\n", "    z -> 3\n", "identical: 1"},
                                  {"scenario a differs"}},
                      // An extra line shows as one insertion, the lines after it as common.
                      CompareCase{"inserted line",
                                  "== a\np\nq\nr\n" + kEnd,
                                  "== a\np\nextra\nq\nr\n" + kEnd,
                                  false,
                                  {"  + extra\n", "    q\n", "    r\n"},
                                  {"  - q", "  - r"}},
                      CompareCase{"missing scenario",
                                  "== a\nx\n== b\ny\n" + kEnd,
                                  "== a\nx\n" + kEnd,
                                  false,
                                  {"scenario b is missing from the Windows transcript"},
                                  {}},
                      CompareCase{"extra scenario",
                                  "== a\nx\n" + kEnd,
                                  "== a\nx\n== c\nz\n" + kEnd,
                                  false,
                                  {"scenario c is missing from the winport transcript"},
                                  {}},
                      CompareCase{"stray line",
                                  "junk\n== a\nx\n" + kEnd,
                                  "== a\nx\n" + kEnd,
                                  false,
                                  {"lines outside any scenario in the winport transcript, first: junk"},
                                  {}},
                      CompareCase{"known difference not in the table",
                                  "== a\nx\n" + kEnd + "no-such-id: x -> 1\n",
                                  "== a\nx\n" + kEnd + "no-such-id: x -> 2\n",
                                  false,
                                  {"known difference no-such-id is not in the table"},
                                  {}}),
    [](const ::testing::TestParamInfo<CompareCase>& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (ch == ' ') ch = '_';
        return n;
    });

TEST(KnownDifference, ThatStillDiffersIsExplainedWithItsReason)
{
    const std::string id = SomeKnownId();
    if (id.empty()) GTEST_SKIP() << "the table is empty";
    const probe::KnownDifference* k = probe::FindKnownDifference(id);
    ASSERT_NE(nullptr, k);
    std::string report;
    EXPECT_TRUE(probe::CompareTranscripts("== a\ncall -> known difference " + id + "\n" + kEnd + id + ": call -> 1\n",
                                          "== a\ncall -> known difference " + id + "\n" + kEnd + id + ": call -> 2\n",
                                          report))
        << report;
    EXPECT_NE(std::string::npos, report.find(id + " (" + k->kind + "): " + k->why)) << report;
    EXPECT_NE(std::string::npos, report.find("  - call -> 1\n  + call -> 2\n")) << report;
    EXPECT_NE(std::string::npos, report.find("explained differences: 1")) << report;
}

TEST(KnownDifference, ThatNoLongerDiffersFailsTheComparison)
{
    const std::string id = SomeKnownId();
    if (id.empty()) GTEST_SKIP() << "the table is empty";
    const std::string both = "== a\ncall -> known difference " + id + "\n" + kEnd + id + ": call -> 1\n";
    std::string report;
    EXPECT_FALSE(probe::CompareTranscripts(both, both, report));
    EXPECT_NE(std::string::npos, report.find("known difference " + id + " no longer differs")) << report;
}

TEST(KnownDifference, TableHasUniqueIdsKindsAndReasons)
{
    const char* kinds[] = {"winport-bug", "winport-limit", "winport-choice", "wine-departs", "undocumented"};
    std::vector<std::string> seen;
    for (const probe::KnownDifference& k : probe::KnownDifferences()) {
        EXPECT_EQ(seen.end(), std::find(seen.begin(), seen.end(), k.id)) << k.id;
        seen.push_back(k.id);
        EXPECT_NE(std::end(kinds), std::find_if(std::begin(kinds), std::end(kinds),
                                                [&](const char* kind) { return std::string(kind) == k.kind; }))
            << k.id << ": " << k.kind;
        EXPECT_GT(std::string(k.why).size(), 20u) << k.id;
    }
}

TEST(Transcript, KnownLinesKeepTheirPlaceAndMoveTheirResult)
{
    const std::string id = SomeKnownId();
    if (id.empty()) GTEST_SKIP() << "the table is empty";
    probe::Transcript t;
    t.Scenario("s");
    t.Call("Plain(1)", "TRUE", probe::Transcript::kUntouched);
    t.Call("Known(2)", "FALSE", 6, id.c_str());
    t.Check("state", true);
    t.Value("Unknown(3)", "7", "no-such-id");
    EXPECT_EQ(
        "== s\n"
        "Plain(1) -> TRUE  err=-\n"
        "Known(2) -> known difference " +
            id +
            "\n"
            "   state -> yes\n"
            "Unknown(3) -> known difference no-such-id\n" +
            kEnd + id +
            ": Known(2) -> FALSE  err=6 ERROR_INVALID_HANDLE\n"
            "no-such-id: Unknown(3) -> 7\n",
        t.Text());
    ASSERT_EQ(1u, t.UnknownIds().size());
    EXPECT_EQ("no-such-id", t.UnknownIds()[0]);
}

TEST(Transcript, NamesOfALengthCountDoubleByteCharactersOnce)
{
    probe::Transcript t;
    const std::string prefix = t.Name("");
    const std::string ascii = t.NameOfLength(259);
    const std::string gbk = t.NameOfLength(259, "\xD6\xD0");
    EXPECT_EQ(259u, ascii.size());
    EXPECT_EQ(0u, ascii.compare(0, prefix.size(), prefix));
    EXPECT_EQ(prefix.size() + 2 * (259 - prefix.size()), gbk.size());
    EXPECT_EQ(0u, gbk.compare(0, prefix.size(), prefix));
    EXPECT_EQ("\xD6\xD0", gbk.substr(gbk.size() - 2));
    // Another run has another prefix (its process id), so its names are its own.
    EXPECT_NE(std::string::npos, prefix.find(std::to_string(GetCurrentProcessId())));
}

TEST(Format, ResultsDoNotDependOnTheRun)
{
    EXPECT_EQ("NULL", probe::AsHandle(nullptr));
    EXPECT_EQ("INVALID_HANDLE_VALUE", probe::AsHandle(INVALID_HANDLE_VALUE));
    int local = 0;
    EXPECT_EQ("handle", probe::AsHandle(&local));
    EXPECT_EQ("WAIT_OBJECT_0+3", probe::AsWait(WAIT_OBJECT_0 + 3));
    EXPECT_EQ("WAIT_ABANDONED_0+1", probe::AsWait(WAIT_ABANDONED_0 + 1));
    EXPECT_EQ("WAIT_TIMEOUT", probe::AsWait(WAIT_TIMEOUT));
    EXPECT_EQ("WAIT_FAILED", probe::AsWait(WAIT_FAILED));
    EXPECT_EQ("183 ERROR_ALREADY_EXISTS", probe::AsError(183));
    EXPECT_EQ("4242", probe::AsError(4242));
    EXPECT_EQ("a\\x00\\x22\\x5C\\xD6z", probe::Escaped("a\0\"\\\xD6z", 6));
}

}  // namespace
