// Internal: the resource tree of a Windows PE file (PE32 or PE32+), read from untrusted bytes.
//
// Parse checks the headers and every offset it follows and never reads outside the bytes it
// was given. The tree is read once, three levels deep (type, name, language), each directory
// at most once (a second reference to one, as in a loop, is ignored). A directory that
// declares more entries than its section holds is ignored, as are entries whose name or data
// entry lies outside the section, a directory where data belongs and data where a directory
// belongs; the others stay usable. Data that lie outside the file are listed but marked as
// not present (lookups find them, as Windows does, but there is nothing to read). At most
// kMaxResources resources are kept.
#ifndef WINPORT_POSIX_KERNEL_PE_RESOURCES_H
#define WINPORT_POSIX_KERNEL_PE_RESOURCES_H

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace winport {

// A type or name as the file stores it: an integer id, or a counted UTF-16 string whose
// characters start at a file offset.
struct PeName {
    bool isId = true;
    WORD id = 0;
    std::uint32_t textOffset = 0;
    WORD textLength = 0;
};

// A type or name to look for: an id, or a string whose ASCII letters are upper case. A key
// marked unmatched (a name the lookup cannot compare) finds nothing.
struct PeKey {
    bool isId = true;
    bool unmatched = false;
    WORD id = 0;
    std::u16string text;
};

struct PeResource {
    PeName type;
    PeName name;
    WORD language = 0;
    std::uint32_t size = 0;    // as declared
    bool present = false;      // whether the data lie inside the file
    std::uint32_t offset = 0;  // of the data in the file, when present
};

class PeResources {
public:
    static constexpr std::size_t kMaxResources = 65536;

    // Reads the file's headers and resource tree. False with ERROR_BAD_EXE_FORMAT when the
    // bytes are not a PE file (no DOS header, or no PE signature where it points). Damaged
    // headers beyond the signature (file or optional header cut or of an unknown kind) leave
    // no resources, a section count beyond the file the sections present, and a damaged tree
    // only its damaged entries. The bytes must stay alive and unchanged as long as the object
    // is used.
    bool Parse(const std::uint8_t* data, std::size_t size, DWORD& error);

    // Whether the file has a resource directory inside one of its sections.
    bool HasDirectory() const { return hasDirectory_; }
    bool IsPe32Plus() const { return pe32Plus_; }
    const std::vector<PeResource>& All() const { return resources_; }

    // The resource of that type and name: the language-neutral one if present, else the one
    // of the lowest language id. Null with ERROR_RESOURCE_DATA_NOT_FOUND (no directory),
    // ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
    const PeResource* Find(const PeKey& type, const PeKey& name, DWORD& error) const;

    // The key that finds a stored name (its text upper-cased as lookups are).
    PeKey KeyOf(const PeName& name) const;

private:
    struct Section {
        std::uint32_t va;
        std::uint32_t rawOffset;
        std::uint32_t rawSize;  // cut to the bytes present in the file
    };
    bool MapRange(std::uint32_t rva, std::uint32_t size, std::uint32_t& fileOffset) const;
    void ReadTree(std::uint32_t root, std::uint32_t end);
    bool Matches(const PeName& stored, const PeKey& key) const;

    const std::uint8_t* data_ = nullptr;
    bool hasDirectory_ = false;
    bool pe32Plus_ = false;
    std::vector<Section> sections_;
    std::vector<PeName> types_;  // every type of the tree, even one whose names are damaged
    std::vector<PeResource> resources_;
};

// Upper case of an ASCII letter; other characters unchanged (lookups fold only ASCII).
inline char16_t PeFoldCase(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c; }

}  // namespace winport

#endif
