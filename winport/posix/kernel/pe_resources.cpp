#include "winport/posix/kernel/pe_resources.h"

#include <algorithm>
#include <unordered_set>

namespace winport {

namespace {

// Little-endian reads; callers check the bounds first.
std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t Get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Whether [offset, offset + length) lies inside [0, size).
bool Inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return offset <= size && length <= size - offset;
}

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kDirectoryHeader = 16;
constexpr std::uint32_t kDirectoryEntry = 8;
constexpr std::uint32_t kDataEntry = 16;
constexpr std::uint32_t kSectionHeader = 40;

}  // namespace

bool PeResources::Parse(const std::uint8_t* data, std::size_t size, DWORD& error)
{
    // Offsets in a PE file are 32-bit: bytes beyond 4 GiB cannot be reached (and every sum
    // of an offset and a length below stays within 32 bits).
    size = std::min<std::size_t>(size, 0xFFFFFFFFu);
    data_ = data;
    hasDirectory_ = false;
    sections_.clear();
    types_.clear();
    resources_.clear();
    error = ERROR_BAD_EXE_FORMAT;

    if (size < 64 || data[0] != 'M' || data[1] != 'Z') return false;
    const std::uint32_t peOffset = Get32(data + 0x3C);
    if (!Inside(peOffset, 4, size) || Get32(data + peOffset) != 0x00004550u) return false;
    // From here on, as Windows does for data files, damaged headers still give a module,
    // one without resources.
    error = ERROR_SUCCESS;
    if (!Inside(peOffset, 24, size)) return true;
    const std::uint8_t* fileHeader = data + peOffset + 4;
    const std::uint32_t sectionCount = Get16(fileHeader + 2);
    const std::uint32_t optionalSize = Get16(fileHeader + 16);
    const std::uint64_t optionalOffset = std::uint64_t(peOffset) + 24;
    if (optionalSize < 2 || !Inside(optionalOffset, optionalSize, size)) return true;
    const std::uint8_t* optional = data + optionalOffset;
    const std::uint16_t magic = Get16(optional);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) return true;
    pe32Plus_ = magic == kMagicPe32Plus;
    const std::uint32_t countField = pe32Plus_ ? 108 : 92;
    if (optionalSize < countField + 4) return true;
    const std::uint64_t sectionTable = optionalOffset + optionalSize;
    if (sectionTable > size) return true;
    // A count beyond the table's end gives the sections present, as Windows finds them.
    const std::uint64_t present = std::min<std::uint64_t>(sectionCount, (size - sectionTable) / kSectionHeader);
    for (std::uint32_t i = 0; i < present; ++i) {
        const std::uint8_t* header = data + sectionTable + std::uint64_t(i) * kSectionHeader;
        Section section{Get32(header + 12), Get32(header + 20), Get32(header + 16)};
        // Only the part of the raw data that the file holds can be read.
        if (section.rawOffset >= size) continue;
        section.rawSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(section.rawSize, size - section.rawOffset));
        sections_.push_back(section);
    }

    const std::uint32_t directoryCount = Get32(optional + countField);
    const std::uint64_t entry = countField + 4 + std::uint64_t(kResourceDirectoryIndex) * 8;
    if (directoryCount <= kResourceDirectoryIndex || entry + 8 > optionalSize) return true;
    const std::uint32_t rva = Get32(optional + entry);
    if (rva == 0) return true;
    // The tree may use the rest of the section that holds its root.
    for (const Section& s : sections_) {
        if (rva < s.va || !Inside(std::uint64_t(rva) - s.va, kDirectoryHeader, s.rawSize)) continue;
        hasDirectory_ = true;
        ReadTree(s.rawOffset + (rva - s.va), s.rawOffset + s.rawSize);
        break;
    }
    return true;
}

bool PeResources::MapRange(std::uint32_t rva, std::uint32_t size, std::uint32_t& fileOffset) const
{
    for (const Section& s : sections_) {
        if (rva < s.va) continue;
        const std::uint64_t within = std::uint64_t(rva) - s.va;
        if (!Inside(within, size, s.rawSize)) continue;
        fileOffset = static_cast<std::uint32_t>(s.rawOffset + within);
        return true;
    }
    return false;
}

void PeResources::ReadTree(std::uint32_t root, std::uint32_t end)
{
    // Offsets inside the tree are relative to its root; everything read lies in [root, end).
    const std::uint32_t span = end - root;
    const std::uint8_t* base = data_ + root;
    std::unordered_set<std::uint32_t> seen;

    struct Entry {
        PeName key;
        std::uint32_t target;  // offset field without the directory bit
        bool directory;
    };
    // The entries of the directory at `offset`, or none if it is not whole or seen before.
    auto readDirectory = [&](std::uint32_t offset, std::vector<Entry>& out) {
        out.clear();
        if (!Inside(offset, kDirectoryHeader, span) || !seen.insert(offset).second) return;
        // A directory with more entries than the section holds is damaged as a whole.
        const std::uint32_t count = std::uint32_t(Get16(base + offset + 12)) + Get16(base + offset + 14);
        if (count > (span - offset - kDirectoryHeader) / kDirectoryEntry) return;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* e = base + offset + kDirectoryHeader + i * kDirectoryEntry;
            const std::uint32_t nameField = Get32(e);
            const std::uint32_t dataField = Get32(e + 4);
            Entry entry;
            entry.directory = (dataField & kHighBit) != 0;
            entry.target = dataField & ~kHighBit;
            if (nameField & kHighBit) {
                const std::uint32_t text = nameField & ~kHighBit;
                if (!Inside(text, 2, span)) continue;
                entry.key.isId = false;
                entry.key.textLength = Get16(base + text);
                if (!Inside(std::uint64_t(text) + 2, std::uint64_t(entry.key.textLength) * 2, span)) continue;
                entry.key.textOffset = root + text + 2;
            } else {
                if (nameField > 0xFFFF) continue;
                entry.key.id = static_cast<WORD>(nameField);
            }
            out.push_back(entry);
        }
    };

    std::vector<Entry> types, names, languages;
    readDirectory(0, types);
    for (const Entry& type : types) {
        if (!type.directory) continue;
        types_.push_back(type.key);
        readDirectory(type.target, names);
        for (const Entry& name : names) {
            if (!name.directory) continue;
            readDirectory(name.target, languages);
            for (const Entry& language : languages) {
                if (language.directory || !language.key.isId || !Inside(language.target, kDataEntry, span)) continue;
                const std::uint8_t* d = base + language.target;
                PeResource resource;
                resource.size = Get32(d + 4);
                resource.present = MapRange(Get32(d), resource.size, resource.offset);
                if (!resource.present) resource.offset = 0;
                resource.type = type.key;
                resource.name = name.key;
                resource.language = language.key.id;
                resources_.push_back(resource);
                if (resources_.size() == kMaxResources) return;
            }
        }
    }
}

bool PeResources::Matches(const PeName& stored, const PeKey& key) const
{
    if (stored.isId != key.isId || key.unmatched) return false;
    if (stored.isId) return stored.id == key.id;
    if (stored.textLength != key.text.size()) return false;
    for (std::size_t i = 0; i < key.text.size(); ++i) {
        const char16_t c = static_cast<char16_t>(Get16(data_ + stored.textOffset + 2 * i));
        if (PeFoldCase(c) != key.text[i]) return false;
    }
    return true;
}

PeKey PeResources::KeyOf(const PeName& name) const
{
    PeKey key;
    key.isId = name.isId;
    key.id = name.id;
    for (std::size_t i = 0; i < name.textLength; ++i)
        key.text.push_back(PeFoldCase(static_cast<char16_t>(Get16(data_ + name.textOffset + 2 * i))));
    return key;
}

const PeResource* PeResources::Find(const PeKey& type, const PeKey& name, DWORD& error) const
{
    if (!hasDirectory_) {
        error = ERROR_RESOURCE_DATA_NOT_FOUND;
        return nullptr;
    }
    const PeResource* best = nullptr;
    bool typeFound = false;
    for (const PeName& t : types_) typeFound = typeFound || Matches(t, type);
    for (const PeResource& r : resources_) {
        if (!Matches(r.type, type) || !Matches(r.name, name)) continue;
        if (!best || r.language < best->language) best = &r;  // neutral (0) first
    }
    error = best ? ERROR_SUCCESS : typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
    return best;
}

}  // namespace winport
