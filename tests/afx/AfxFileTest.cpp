// CFile over the system's file calls: the same expectations on Linux and under Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "afxfile.h"

template <class F>
int ThrownCause(F call)  // the cause of the CFileException* thrown, -1 for none
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

TEST(AfxFile, WritesReadsAndReportsCauses)
{
    const std::string dir = ::testing::TempDir(), path = dir + "lobbykit_afxfile.bin";
    CFile out(path.c_str(), CFile::modeCreate | CFile::modeWrite);
    out.Write("0123456789", 10);
    EXPECT_EQ(CFileException::accessDenied, ThrownCause([&] {
                  char c;
                  out.Read(&c, 1);
              }));
    out.Close();
    CFile in;
    ASSERT_TRUE(in.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite));
    char buf[16] = {};
    EXPECT_EQ(10u, in.GetLength());
    EXPECT_EQ((std::vector<UINT>{4, 6, 0}), (std::vector<UINT>{in.Read(buf, 4), in.Read(buf + 4, 16), in.Read(buf, 16)}));
    EXPECT_EQ("0123456789", std::string(buf, 10));
    in.Close();
    std::remove(path.c_str());

    const std::pair<std::string, int> refused[] = {{dir + "lobbykit_none", CFileException::fileNotFound},
                                                   {dir + "lobbykit_none/x", CFileException::badPath},
                                                   {dir, CFileException::accessDenied}};
    for (const auto& r : refused) {
        CFile f;
        CFileException e;
        EXPECT_FALSE(f.Open(r.first.c_str(), CFile::modeRead, &e));
        EXPECT_EQ(r.second, e.m_cause) << r.first;
        EXPECT_EQ(r.second, ThrownCause([&] { CFile thrown(r.first.c_str(), CFile::modeRead); })) << r.first;
    }
}
