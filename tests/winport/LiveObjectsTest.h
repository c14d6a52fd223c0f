// A fixture for tests of the Win32 layer: every test must give back each handle and view it
// took, so the counts of live ones are the same before and after.
#ifndef LOBBYKIT_TESTS_WINPORT_LIVEOBJECTSTEST_H
#define LOBBYKIT_TESTS_WINPORT_LIVEOBJECTSTEST_H

#include <gtest/gtest.h>

#include <cstddef>

#include "winport/posix/kernel/kernel.h"
#include "winport/posix/kernel/mapping.h"

namespace lktest {

class LiveObjectsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        handlesBefore_ = winport::LiveHandleCount();
        viewsBefore_ = winport::LiveViewCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(handlesBefore_, winport::LiveHandleCount());
        EXPECT_EQ(viewsBefore_, winport::LiveViewCount());
    }

private:
    std::size_t handlesBefore_ = 0;
    std::size_t viewsBefore_ = 0;
};

}  // namespace lktest

#endif
