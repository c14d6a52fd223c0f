// LoadLibraryExA as a data file and the resource calls, over the DLLs that CMakeLists.txt
// makes (PE32+ and PE32); the same tests run natively and under Wine against kernel32.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include "winport/posix/kernel/module.h"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string PathOf(const std::string& file)
{
#ifdef _WIN32
    return std::string("Z:") + LOBBYKIT_MODULE_TEST_DIR + "/" + file;  // Wine's drive of "/"
#else
    return std::string(LOBBYKIT_MODULE_TEST_DIR) + "/" + file;
#endif
}

Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A bitmap resource is its file without the 14-byte file header.
std::string BitmapResource(const char* file)
{
    const Bytes bytes = ReadAll(PathOf(file));
    return bytes.size() > 14 ? std::string(bytes.begin() + 14, bytes.end()) : std::string();
}

class ModuleTest : public ::testing::Test {
protected:
#ifndef _WIN32
    void SetUp() override { modules_ = winport::LiveModuleCount(); }
    void TearDown() override { EXPECT_EQ(modules_, winport::LiveModuleCount()); }
    std::size_t modules_ = 0;
#endif
};

class ResourceTest : public ModuleTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ResourceTest, FindsEachResourceWithItsSizeAndBytes)
{
    const HMODULE module = LoadLibraryExA(PathOf(GetParam()).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << GetLastError();
    struct Row {
        const char* what;
        LPCSTR name;
        LPCSTR type;
        std::string bytes;  // empty: not found, with `error`
        DWORD error;
    };
    const Row rows[] = {
        {"bitmap 1", MAKEINTRESOURCEA(1), RT_BITMAP, BitmapResource("pal8.bmp"), 0},
        {"bitmap 7", MAKEINTRESOURCEA(7), RT_BITMAP, BitmapResource("rgb24.bmp"), 0},
        {"an id above 65535 by its low 16 bits", MAKEINTRESOURCEA(0x10000 + 7), RT_BITMAP, BitmapResource("rgb24.bmp"), 0},
        {"bitmap 300", MAKEINTRESOURCEA(300), RT_BITMAP, BitmapResource("mono.bmp"), 0},
        {"a name in another case", "lOgO", RT_BITMAP, BitmapResource("logo.bmp"), 0},
        {"an id as \"#7\"", "#7", RT_BITMAP, BitmapResource("rgb24.bmp"), 0},
        {"other data under a bitmap's id", MAKEINTRESOURCEA(7), RT_RCDATA, "rcdata seven\x02\x01", 0},
        {"the neutral language first", MAKEINTRESOURCEA(20), RT_RCDATA, "neutral", 0},
        {"a missing id", MAKEINTRESOURCEA(2), RT_BITMAP, "", ERROR_RESOURCE_NAME_NOT_FOUND},
        {"a missing name", "LOGO2", RT_BITMAP, "", ERROR_RESOURCE_NAME_NOT_FOUND},
        {"id 0", nullptr, RT_BITMAP, "", ERROR_RESOURCE_NAME_NOT_FOUND},
        {"a missing type", MAKEINTRESOURCEA(1), RT_ICON, "", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"a type's id given as its name", MAKEINTRESOURCEA(1), "BITMAP", "", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"\"#65536\"", "#65536", RT_BITMAP, "", ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetLastError(0xBEEF);
        const HRSRC info = FindResourceA(module, row.name, row.type);
        if (row.bytes.empty()) {
            EXPECT_EQ(info, nullptr);
            EXPECT_EQ(GetLastError(), row.error);
            continue;
        }
        ASSERT_NE(info, nullptr) << GetLastError();
        const DWORD size = SizeofResource(module, info);
        const HGLOBAL data = LoadResource(module, info);
        ASSERT_NE(data, nullptr);
        const char* bytes = static_cast<const char*>(LockResource(data));
        EXPECT_EQ(std::string(bytes, size), row.bytes);
        EXPECT_FALSE(FreeResource(data));
    }
    EXPECT_TRUE(FreeLibrary(module));
}

INSTANTIATE_TEST_SUITE_P(Dlls, ResourceTest, ::testing::Values("res64.dll", "res32.dll"));

TEST_F(ModuleTest, LoadFailuresGiveWindowsErrors)
{
    WriteAll(PathOf("empty.dll"), Bytes());
#ifndef _WIN32
    // Above the layer's bound (a sparse file); Windows has none.
    std::ofstream(PathOf("huge.dll"), std::ios::binary).seekp(256 << 20).put('\0');
#endif
    struct Row {
        const char* what;
        const char* file;  // null: a null path
        DWORD flags;
        DWORD error;
    };
    const Row rows[] = {
        {"a missing file", "missing.dll", LOAD_LIBRARY_AS_DATAFILE, ERROR_FILE_NOT_FOUND},
        {"a missing folder", "missing/res64.dll", LOAD_LIBRARY_AS_DATAFILE, ERROR_FILE_NOT_FOUND},
        {"a folder", ".", LOAD_LIBRARY_AS_DATAFILE, ERROR_ACCESS_DENIED},
        {"a bitmap file", "pal8.bmp", LOAD_LIBRARY_AS_DATAFILE, ERROR_BAD_EXE_FORMAT},
        {"an empty file", "empty.dll", LOAD_LIBRARY_AS_DATAFILE, ERROR_FILE_INVALID},
        {"a null path", nullptr, LOAD_LIBRARY_AS_DATAFILE, ERROR_INVALID_PARAMETER},
#ifndef _WIN32
        // Windows loads code (Linux cannot) and ignores flag bits it does not know.
        {"loading code", "res64.dll", 0, ERROR_NOT_SUPPORTED},
        {"a flag beyond the data-file ones", "res64.dll", LOAD_LIBRARY_AS_DATAFILE | 0x8, ERROR_NOT_SUPPORTED},
        {"an undefined flag", "res64.dll", LOAD_LIBRARY_AS_DATAFILE | 0x10000, ERROR_INVALID_PARAMETER},
        {"a file above 256 MiB", "huge.dll", LOAD_LIBRARY_AS_DATAFILE, ERROR_FILE_TOO_LARGE},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetLastError(0xBEEF);
        const std::string path = row.file ? PathOf(row.file) : std::string();
        EXPECT_EQ(LoadLibraryExA(row.file ? path.c_str() : nullptr, nullptr, row.flags), nullptr);
        EXPECT_EQ(GetLastError(), row.error);
    }
}

TEST_F(ModuleTest, FreedAndForeignModulesFailCleanly)
{
    // The other data-file flags load too.
    const HMODULE module = LoadLibraryExA(PathOf("res64.dll").c_str(), nullptr,
                                          LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), RT_BITMAP), nullptr);
    ASSERT_TRUE(FreeLibrary(module));
    for (HMODULE other : {module, HMODULE(nullptr), reinterpret_cast<HMODULE>(std::uintptr_t(0x12340000))}) {
        SetLastError(0xBEEF);
        EXPECT_EQ(FindResourceA(other, MAKEINTRESOURCEA(1), RT_BITMAP), nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
        EXPECT_FALSE(FreeLibrary(other));
    }
}

// Damaged copies of the PE32+ DLL: refused, or their bad entries not found, never read
// beyond the file (the ASan build checks this natively).
std::uint32_t Get(const Bytes& b, std::size_t at, int size)
{
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
    return v;
}

void Put(Bytes& b, std::size_t at, int size, std::uint32_t v)
{
    for (int i = 0; i < size; ++i, v >>= 8) b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v);
}

// Where the fields that the damage rows change lie in the PE32+ DLL.
struct Layout {
    std::size_t pe, resourceEntry, root, bitmap1Data;
    explicit Layout(const Bytes& b) : pe(Get(b, 0x3C, 4)), resourceEntry(pe + 24 + 112 + 2 * 8), root(0)
    {
        const std::uint32_t rva = Get(b, resourceEntry, 4);
        const std::size_t table = pe + 24 + Get(b, pe + 20, 2);
        for (std::size_t s = table; s < table + 40 * Get(b, pe + 6, 2); s += 40) {
            const std::uint32_t va = Get(b, s + 12, 4);
            if (rva >= va && rva < va + Get(b, s + 16, 4)) root = Get(b, s + 20, 4) + rva - va;
        }
        // The first type is RT_BITMAP (ids ascend); its first id entry (1) follows its name.
        const std::size_t names = root + (Get(b, root + 16 + 4, 4) & 0x7FFFFFFF);
        const std::size_t languages = root + (Get(b, names + 16 + 8 + 4, 4) & 0x7FFFFFFF);
        bitmap1Data = Get(b, names + 16 + 8, 4) == 1 ? root + Get(b, languages + 16 + 4, 4) : 0;
    }
};

TEST_F(ModuleTest, DamagedFilesAreRefusedOrTheirBadEntriesNotFound)
{
    const Bytes good = ReadAll(PathOf("res64.dll"));
    const Layout l(good);
    ASSERT_NE(l.bitmap1Data, 0u);
    struct Row {
        const char* what;
        std::function<void(Bytes&)> damage;
        DWORD loadError;  // 0: loads
        DWORD findError;  // of bitmap 1 after loading; 0: found
        bool readable;    // when found: with the right bytes (else LoadResource fails)
    };
    // Differences from Windows (Wine) the layer keeps on purpose: for a huge entry count
    // Windows reads beyond the file and fails with ERROR_NOACCESS; for data outside the
    // file it hands out an address there.
    const DWORD hugeCountError =
#ifdef _WIN32
        ERROR_NOACCESS;
#else
        ERROR_RESOURCE_TYPE_NOT_FOUND;
#endif
    const Row rows[] = {
        {"no DOS header", [](Bytes& b) { b[0] = 'X'; }, ERROR_BAD_EXE_FORMAT, 0, false},
        {"e_lfanew past the end", [](Bytes& b) { Put(b, 0x3C, 4, 0x7FFFFFF0); }, ERROR_BAD_EXE_FORMAT, 0, false},
        {"no PE signature", [&](Bytes& b) { b[l.pe] = 'X'; }, ERROR_BAD_EXE_FORMAT, 0, false},
        {"cut inside the optional header", [](Bytes& b) { b.resize(0x100); }, 0, ERROR_RESOURCE_DATA_NOT_FOUND, false},
        {"an unknown optional header", [&](Bytes& b) { Put(b, l.pe + 24, 2, 0x30B); }, 0, ERROR_RESOURCE_DATA_NOT_FOUND,
         false},
        {"a section count past the end", [&](Bytes& b) { Put(b, l.pe + 6, 2, 0xFFFF); }, 0, 0, true},
        {"resources outside every section", [&](Bytes& b) { Put(b, l.resourceEntry, 4, 0x7FFF0000); }, 0,
         ERROR_RESOURCE_DATA_NOT_FOUND, false},
        {"a huge entry count", [&](Bytes& b) { Put(b, l.root + 12, 2, 0xFFFF); }, 0, hugeCountError, false},
        {"the bitmap type looping to the root", [&](Bytes& b) { Put(b, l.root + 16 + 4, 4, 0x80000000); }, 0,
         ERROR_RESOURCE_NAME_NOT_FOUND, false},
        {"data outside the file", [&](Bytes& b) { Put(b, l.bitmap1Data, 4, 0x7FFFFF00); }, 0, 0, false},
        {"data longer than the file", [&](Bytes& b) { Put(b, l.bitmap1Data + 4, 4, 0x7FFFFFFF); }, 0, 0, false},
        {"cut before the data", [&](Bytes& b) { b.resize(l.bitmap1Data + 16); }, 0, 0, false},
    };
    const std::string expected = BitmapResource("pal8.bmp");
    int file = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // A file each: Wine remembers what it read of a file it mapped before.
        const std::string path = PathOf("damaged" + std::to_string(++file) + ".dll");
        Bytes bytes = good;
        row.damage(bytes);
        WriteAll(path, bytes);
        SetLastError(0xBEEF);
        const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (row.loadError) {
            EXPECT_EQ(module, nullptr);
            EXPECT_EQ(GetLastError(), row.loadError);
            continue;
        }
        ASSERT_NE(module, nullptr) << GetLastError();
        SetLastError(0xBEEF);
        const HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(1), RT_BITMAP);
        if (row.findError) {
            EXPECT_EQ(info, nullptr);
            EXPECT_EQ(GetLastError(), row.findError);
        } else if (row.readable) {
            ASSERT_NE(info, nullptr);
            const void* data = LockResource(LoadResource(module, info));
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(std::string(static_cast<const char*>(data), SizeofResource(module, info)), expected);
        } else {
            EXPECT_NE(info, nullptr);
#ifndef _WIN32
            EXPECT_EQ(LoadResource(module, info), nullptr);
            EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
#endif
        }
        EXPECT_TRUE(FreeLibrary(module));
    }
}

}  // namespace
