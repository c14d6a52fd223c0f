// Names of named objects as the A functions take them: the length limit in characters, the
// "Local\" and "Global\" prefixes, backslashes, and the empty name.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "LiveObjectsTest.h"
#include "PeerProcess.h"

using lktest::PeerProcess;
using lktest::UniqueName;

namespace {

class NameTest : public lktest::LiveObjectsTest {};

// A name of exactly `chars` characters: `head` (ASCII), then `unit` (one character: a byte
// or a double-byte pair) repeated.
std::string NameOfLength(const std::string& head, std::size_t chars, const std::string& unit = "n")
{
    std::string name = head;
    for (std::size_t n = head.size(); n < chars; ++n) name += unit;
    return name;
}

const char kGbkChar[] = "\xD6\xD0";         // a defined GBK character
const char kUndefinedPair[] = "\x81\x20";   // a lead byte and a byte GBK does not pair with it
const char kTrailBackslash[] = "\x81\x5C";  // a GBK character whose second byte is 0x5C

// The calls that take a name. Each closes the handle it gets; the result is the handle's
// presence and the last error.
struct NamedCall {
    const char* label;
    HANDLE (*run)(const char* name);
};

const NamedCall kCreateCalls[] = {
    {"CreateEventA", [](const char* n) { return CreateEventA(nullptr, TRUE, FALSE, n); }},
    {"CreateMutexA", [](const char* n) { return CreateMutexA(nullptr, FALSE, n); }},
    {"CreateFileMappingA",
     [](const char* n) { return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, n); }},
};
const NamedCall kOpenCalls[] = {
    {"OpenEventA", [](const char* n) { return OpenEventA(EVENT_ALL_ACCESS, FALSE, n); }},
    {"OpenMutexA", [](const char* n) { return OpenMutexA(MUTEX_ALL_ACCESS, FALSE, n); }},
    {"OpenFileMappingA", [](const char* n) { return OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, n); }},
};

// "handle" or "error N", and the handle closed.
std::string Outcome(HANDLE h)
{
    const DWORD error = GetLastError();
    if (!h) return "error " + std::to_string(error);
    CloseHandle(h);
    return "handle";
}

std::string Failed(DWORD error) { return "error " + std::to_string(error); }

// --- names refused by every call -------------------------------------------------------

struct BadNameCase {
    const char* label;
    std::function<std::string(const std::string& head)> name;
    DWORD error;
};

class BadNames : public NameTest, public ::testing::WithParamInterface<BadNameCase> {};

TEST_P(BadNames, AreRefusedByEveryCreateAndOpen)
{
    const std::string name = GetParam().name(UniqueName("bad"));
    for (const NamedCall& call : kCreateCalls)
        EXPECT_EQ(Failed(GetParam().error), Outcome(call.run(name.c_str()))) << call.label;
    for (const NamedCall& call : kOpenCalls)
        EXPECT_EQ(Failed(GetParam().error), Outcome(call.run(name.c_str()))) << call.label;
}

INSTANTIATE_TEST_SUITE_P(
    Names, BadNames,
    ::testing::Values(
        // MAX_PATH characters or more, counted after conversion from GBK.
        BadNameCase{"Chars260", [](const std::string& h) { return NameOfLength(h, 260); }, ERROR_FILENAME_EXCED_RANGE},
        BadNameCase{"GbkChars260", [](const std::string& h) { return NameOfLength(h, 260, kGbkChar); },
                    ERROR_FILENAME_EXCED_RANGE},
        BadNameCase{"UndefinedPairs260", [](const std::string& h) { return NameOfLength(h, 260, kUndefinedPair); },
                    ERROR_FILENAME_EXCED_RANGE},
        BadNameCase{"LoneLeadByteIsCharacter260", [](const std::string& h) { return NameOfLength(h, 259) + "\x81"; },
                    ERROR_FILENAME_EXCED_RANGE},
        BadNameCase{"Bytes40000", [](const std::string&) { return std::string(40000, 'n'); }, ERROR_FILENAME_EXCED_RANGE},
        BadNameCase{"PrefixCounts", [](const std::string& h) { return "Local\\" + NameOfLength(h, 254); },
                    ERROR_FILENAME_EXCED_RANGE},
        BadNameCase{"LengthBeforePath", [](const std::string& h) { return "a\\" + NameOfLength(h, 300); },
                    ERROR_FILENAME_EXCED_RANGE},
        // Backslashes: only the two prefixes are directories.
        BadNameCase{"Backslash", [](const std::string& h) { return h + "\\x"; }, ERROR_PATH_NOT_FOUND},
        BadNameCase{"TrailingBackslash", [](const std::string& h) { return h + "\\"; }, ERROR_PATH_NOT_FOUND},
        BadNameCase{"SessionPrefix", [](const std::string& h) { return "Session\\1\\" + h; }, ERROR_PATH_NOT_FOUND},
        BadNameCase{"PrefixCase", [](const std::string& h) { return "local\\" + h; }, ERROR_PATH_NOT_FOUND},
        BadNameCase{"DirectoryAfterPrefix", [](const std::string& h) { return "Local\\a\\" + h; }, ERROR_PATH_NOT_FOUND},
        BadNameCase{"LeadingBackslash", [](const std::string& h) { return "\\" + h; }, ERROR_BAD_PATHNAME},
        BadNameCase{"LocalAlone", [](const std::string&) { return std::string("Local\\"); }, ERROR_INVALID_NAME},
        BadNameCase{"GlobalAlone", [](const std::string&) { return std::string("Global\\"); }, ERROR_INVALID_NAME},
        BadNameCase{"PrefixesAlone", [](const std::string&) { return std::string("Global\\Local\\"); }, ERROR_INVALID_NAME},
        BadNameCase{"EmptyElement", [](const std::string& h) { return "Local\\\\" + h; }, ERROR_INVALID_NAME},
        // The namespace's own entries are no objects.
        BadNameCase{"Local", [](const std::string&) { return std::string("Local"); }, ERROR_INVALID_HANDLE},
        BadNameCase{"Global", [](const std::string&) { return std::string("Global"); }, ERROR_INVALID_HANDLE},
        BadNameCase{"Session", [](const std::string&) { return std::string("Session"); }, ERROR_INVALID_HANDLE},
        BadNameCase{"PrefixedEntry", [](const std::string&) { return std::string("Global\\Session"); },
                    ERROR_INVALID_HANDLE}),
    [](const ::testing::TestParamInfo<BadNameCase>& info) { return std::string(info.param.label); });

// --- names that work -------------------------------------------------------------------

struct GoodNameCase {
    const char* label;
    std::function<std::string(const std::string& head)> name;
};

class GoodNames : public NameTest, public ::testing::WithParamInterface<GoodNameCase> {};

TEST_P(GoodNames, CreateMakesAnObjectThatOpenFinds)
{
    for (std::size_t i = 0; i < 3; ++i) {
        // One name per kind: a name held by another kind is refused.
        const std::string name = GetParam().name(UniqueName(std::to_string(i).c_str()));
        const NamedCall& create = kCreateCalls[i];
        SetLastError(ERROR_INVALID_DATA);
        HANDLE h = create.run(name.c_str());
        ASSERT_NE(nullptr, h) << create.label << " error " << GetLastError();
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError()) << create.label;
        EXPECT_EQ("handle", Outcome(kOpenCalls[i].run(name.c_str()))) << kOpenCalls[i].label;
        SetLastError(ERROR_INVALID_DATA);
        HANDLE again = create.run(name.c_str());
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError()) << create.label;
        EXPECT_EQ("handle", Outcome(again));
        CloseHandle(h);
        // The last handle took the name with it.
        EXPECT_EQ(Failed(ERROR_FILE_NOT_FOUND), Outcome(kOpenCalls[i].run(name.c_str()))) << kOpenCalls[i].label;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, GoodNames,
    ::testing::Values(
        GoodNameCase{"Chars259", [](const std::string& h) { return NameOfLength(h, 259); }},
        GoodNameCase{"GbkChars259", [](const std::string& h) { return NameOfLength(h, 259, kGbkChar); }},
        GoodNameCase{"UndefinedPairs259", [](const std::string& h) { return NameOfLength(h, 259, kUndefinedPair); }},
        GoodNameCase{"LoneLeadByteAtTheEnd", [](const std::string& h) { return NameOfLength(h, 258) + "\x81"; }},
        GoodNameCase{"PrefixedChars259", [](const std::string& h) { return "Local\\" + NameOfLength(h, 253); }},
        GoodNameCase{"GlobalChars259", [](const std::string& h) { return "Global\\" + NameOfLength(h, 252); }},
        // 0x5C as the second byte of a character is no backslash.
        GoodNameCase{"TrailByteBackslash", [](const std::string& h) { return h + kTrailBackslash + "x"; }},
        GoodNameCase{"EndsInTrailByteBackslash", [](const std::string& h) { return h + kTrailBackslash; }},
        GoodNameCase{"TrailByteBackslashAfterPrefix",
                     [](const std::string& h) { return "Global\\" + h + kTrailBackslash; }}),
    [](const ::testing::TestParamInfo<GoodNameCase>& info) { return std::string(info.param.label); });

// --- which names are one object ---------------------------------------------------------

struct AliasCase {
    const char* label;
    std::function<std::string(const std::string& head)> created;
    std::function<std::string(const std::string& head)> opened;
    bool same;
};

class NameAliases : public NameTest, public ::testing::WithParamInterface<AliasCase> {};

TEST_P(NameAliases, OpenFindsTheCreatedObjectOrNothing)
{
    const std::string head = UniqueName("alias");
    const std::string created = GetParam().created(head);
    const std::string opened = GetParam().opened(head);
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, created.c_str());
    ASSERT_NE(nullptr, e) << GetLastError();
    HANDLE found = OpenEventA(SYNCHRONIZE, FALSE, opened.c_str());
    if (GetParam().same) {
        ASSERT_NE(nullptr, found) << GetLastError();
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(found, 0));
        EXPECT_TRUE(ResetEvent(found));
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
        CloseHandle(found);
    } else {
        EXPECT_EQ(nullptr, found);
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
        // Not even held by another kind: the name is free there.
        HANDLE m = CreateMutexA(nullptr, FALSE, opened.c_str());
        EXPECT_NE(nullptr, m);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
        if (m) CloseHandle(m);
    }
    CloseHandle(e);
}

std::string Plain(const std::string& h) { return h; }

INSTANTIATE_TEST_SUITE_P(
    Names, NameAliases,
    ::testing::Values(
        AliasCase{"LocalIsNoPrefix", [](const std::string& h) { return "Local\\" + h; }, Plain, true},
        AliasCase{"NoPrefixIsLocal", Plain, [](const std::string& h) { return "Local\\" + h; }, true},
        AliasCase{"LocalRepeated", [](const std::string& h) { return "Local\\Local\\" + h; }, Plain, true},
        AliasCase{"GlobalIsApart", [](const std::string& h) { return "Global\\" + h; }, Plain, false},
        AliasCase{"NoPrefixIsNotGlobal", Plain, [](const std::string& h) { return "Global\\" + h; }, false},
        AliasCase{"LocalThenGlobal", [](const std::string& h) { return "Local\\Global\\" + h; },
                  [](const std::string& h) { return "Global\\" + h; }, true},
        AliasCase{"LocalInsideGlobalStaysGlobal", [](const std::string& h) { return "Global\\Local\\" + h; },
                  [](const std::string& h) { return "Global\\" + h; }, true},
        AliasCase{"TrailByteBackslashUnderLocal", [](const std::string& h) { return "Local\\" + h + kTrailBackslash; },
                  [](const std::string& h) { return h + kTrailBackslash; }, true},
        // Bytes, not converted text: two undefined pairs are two names here.
        AliasCase{"UndefinedPairsStayApart", [](const std::string& h) { return h + "\x81\x20"; },
                  [](const std::string& h) { return h + "\x81\x21"; }, false}),
    [](const ::testing::TestParamInfo<AliasCase>& info) { return std::string(info.param.label); });

// --- the empty name, and which check comes first ----------------------------------------

TEST_F(NameTest, OpenOfTheEmptyNameIsNoObjectAndOfNullABadParameter)
{
    for (const NamedCall& call : kOpenCalls) {
        EXPECT_EQ(Failed(ERROR_INVALID_HANDLE), Outcome(call.run(""))) << call.label;
        EXPECT_EQ(Failed(ERROR_INVALID_PARAMETER), Outcome(call.run(nullptr))) << call.label;
    }
    // The empty name is checked before the access mask.
    EXPECT_EQ(Failed(ERROR_INVALID_HANDLE), Outcome(OpenFileMappingA(0, FALSE, "")));
}

struct MappingOrderCase {
    const char* label;
    DWORD size;
    std::string name;
    DWORD error;
};

class MappingNameOrder : public NameTest, public ::testing::WithParamInterface<MappingOrderCase> {};

// The length of a name is checked before the other arguments, its path after them.
TEST_P(MappingNameOrder, DecidesTheError)
{
    EXPECT_EQ(Failed(GetParam().error), Outcome(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                                   GetParam().size, GetParam().name.c_str())));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MappingNameOrder,
    ::testing::Values(MappingOrderCase{"LongNameZeroSize", 0, std::string(300, 'z'), ERROR_FILENAME_EXCED_RANGE},
                      MappingOrderCase{"PrefixAloneZeroSize", 0, "Local\\", ERROR_INVALID_PARAMETER},
                      MappingOrderCase{"BackslashZeroSize", 0, "a\\b", ERROR_INVALID_PARAMETER},
                      MappingOrderCase{"PrefixAlone", 64, "Local\\", ERROR_INVALID_NAME}),
    [](const ::testing::TestParamInfo<MappingOrderCase>& info) { return std::string(info.param.label); });

// --- prefixes across processes ----------------------------------------------------------

TEST_F(NameTest, PrefixedNamesReachTheSameObjectsInAnotherProcess)
{
    const std::string head = UniqueName("xproc");
    HANDLE global = CreateEventA(nullptr, TRUE, FALSE, ("Global\\" + head).c_str());
    ASSERT_NE(nullptr, global);
    PeerProcess inGlobal({"open-kinds", "Local\\Global\\" + head});
    EXPECT_EQ("event 0 mutex 6 mapping 6", inGlobal.ReadLine());
    PeerProcess inLocal({"open-kinds", "Local\\" + head});
    EXPECT_EQ("event 2 mutex 2 mapping 2", inLocal.ReadLine());

    // A peer's "Local\" object is this process's plain name.
    PeerProcess creator({"event", "Local\\" + head, "1", "1"});
    ASSERT_EQ("result 0", creator.ReadLine());
    ASSERT_TRUE(creator.WaitFor("ready"));
    HANDLE local = OpenEventA(SYNCHRONIZE, FALSE, head.c_str());
    ASSERT_NE(nullptr, local) << GetLastError();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(local, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(global, 0));  // not the global one
    CloseHandle(local);
    CloseHandle(global);
}

}  // namespace
