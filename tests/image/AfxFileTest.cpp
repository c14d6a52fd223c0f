// CFile over the system's file calls: the same expectations on Linux and under Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "afxfile.h"

namespace {

// The cause of the CFileException* that call throws; -1 if it throws none.
template <class F>
int ThrownCause(F call)
{
    try {
        call();
    } catch (CFileException* e) {
        const int cause = e->m_cause;
        e->Delete();
        return cause;
    }
    return -1;
}

}  // namespace

TEST(AfxFile, WritesReadsAndReportsCauses)
{
    const std::string path = ::testing::TempDir() + "lobbykit_afxfile.bin";
    {
        CFile out(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        out.Write("0123456789", 10);
        EXPECT_EQ(CFileException::accessDenied, ThrownCause([&] { char c; out.Read(&c, 1); }));
        out.Close();
    }
    CFile in;
    ASSERT_TRUE(in.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite));
    EXPECT_EQ(10u, in.GetLength());
    char buf[16] = {};
    EXPECT_EQ(4u, in.Read(buf, 4));
    EXPECT_EQ(6u, in.Read(buf + 4, 16));
    EXPECT_EQ(0u, in.Read(buf, 16));  // the end: no error
    EXPECT_EQ("0123456789", std::string(buf, 10));
    in.Close();

    struct { std::string path; int cause; } refused[] = {
        {::testing::TempDir() + "lobbykit_no_such_file", CFileException::fileNotFound},
        {::testing::TempDir() + "lobbykit_no_such_dir/x", CFileException::badPath},
        {::testing::TempDir(), CFileException::accessDenied},  // a folder
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.path);
        CFile f;
        CFileException e;
        EXPECT_FALSE(f.Open(r.path.c_str(), CFile::modeRead, &e));
        EXPECT_EQ(r.cause, e.m_cause);
        EXPECT_EQ(r.cause, ThrownCause([&] { CFile thrown(r.path.c_str(), CFile::modeRead); }));
    }
    std::remove(path.c_str());
}
