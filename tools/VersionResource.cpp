#include "tools/VersionResource.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace zelfin::pack {
namespace {

// The layouts read, as the PE format fixes them; fields are read byte by byte (little-endian)
// at these offsets, so the host's byte order does not matter.
struct SectionHeader {
    char name[8];
    std::uint32_t virtualSize;
    std::uint32_t virtualAddress;
    std::uint32_t rawSize;
    std::uint32_t rawAt;
    std::uint32_t relocationsAt, lineNumbersAt;
    std::uint16_t relocations, lineNumbers;
    std::uint32_t characteristics;
};
static_assert(sizeof(SectionHeader) == 40);
static_assert(offsetof(SectionHeader, virtualAddress) == 12);
static_assert(offsetof(SectionHeader, rawAt) == 20);

struct ResourceDirectory {
    std::uint32_t characteristics;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion, minorVersion;
    std::uint16_t namedEntries;
    std::uint16_t idEntries;
};
static_assert(sizeof(ResourceDirectory) == 16);
static_assert(offsetof(ResourceDirectory, namedEntries) == 12);

struct ResourceEntry {
    std::uint32_t name;   // an ID, or with the top bit an offset to a name
    std::uint32_t offset; // with the top bit a subdirectory, else a data entry
};
static_assert(sizeof(ResourceEntry) == 8);

struct ResourceData {
    std::uint32_t rva;
    std::uint32_t size;
    std::uint32_t codePage;
    std::uint32_t reserved;
};
static_assert(sizeof(ResourceData) == 16);

// Every node of a version resource: this header, its UTF-16 key, its value and its children,
// the value and each child starting on a 4-byte boundary.
struct VersionNodeHeader {
    std::uint16_t length;      // bytes of the node with its children
    std::uint16_t valueLength; // UTF-16 units for text, bytes otherwise
    std::uint16_t type;        // 1 for text
};
static_assert(sizeof(VersionNodeHeader) == 6);
static_assert(offsetof(VersionNodeHeader, valueLength) == 2);
static_assert(offsetof(VersionNodeHeader, type) == 4);

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kVersionType = 16; // RT_VERSION
constexpr std::uint32_t kHighBit = 0x80000000u;
// Entries a real directory holds are few; more is a damaged file, not a reason to loop long.
constexpr std::size_t kMaxEntries = 4096;
// VS_VERSION_INFO, StringFileInfo, a string table, a String: nothing nests deeper.
constexpr int kMaxDepth = 4;
constexpr std::uint16_t kTextType = 1;

std::uint32_t le(std::span<const std::uint8_t> f, std::size_t at, std::size_t bytes) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        v |= std::uint32_t(f[at + i]) << (8 * i);
    return v;
}

bool fits(std::span<const std::uint8_t> f, std::size_t at, std::size_t size) {
    return at <= f.size() && f.size() - at >= size;
}

// The resource section's bytes in the file, as its data directory and section header say.
struct ResourceSection {
    std::size_t fileAt = 0;
    std::uint32_t rva = 0;
    std::size_t size = 0; // bytes both in the section's raw data and in the file
};

VersionResource locateSection(std::span<const std::uint8_t> f, ResourceSection& section) {
    if (!fits(f, 0x3C, 4) || f[0] != 'M' || f[1] != 'Z')
        return VersionResource::NotPe;
    const std::size_t peAt = le(f, 0x3C, 4);
    const std::size_t optional = peAt + 24;
    if (!fits(f, peAt, 24) || le(f, peAt, 4) != 0x00004550 || !fits(f, optional, 2))
        return VersionResource::NotPe;
    const std::uint32_t magic = le(f, optional, 2);
    if (magic != kPe32Magic && magic != kPe32PlusMagic)
        return VersionResource::NotPe;
    const std::size_t countAt = optional + (magic == kPe32Magic ? 92 : 108);
    const std::size_t directoryAt = countAt + 4 + kResourceDirectoryIndex * 8;
    if (!fits(f, countAt, 4) || le(f, countAt, 4) <= kResourceDirectoryIndex ||
        !fits(f, directoryAt, 8) || le(f, directoryAt, 4) == 0)
        return VersionResource::Missing;
    section.rva = le(f, directoryAt, 4);
    const std::size_t sections = le(f, peAt + 6, 2);
    const std::size_t table = optional + le(f, peAt + 20, 2);
    for (std::size_t i = 0; i < sections; ++i) {
        const std::size_t h = table + i * sizeof(SectionHeader);
        if (!fits(f, h, sizeof(SectionHeader)))
            break;
        const std::uint32_t va = le(f, h + offsetof(SectionHeader, virtualAddress), 4);
        const std::uint32_t raw = le(f, h + offsetof(SectionHeader, rawSize), 4);
        const std::uint32_t rawAt = le(f, h + offsetof(SectionHeader, rawAt), 4);
        if (section.rva < va || section.rva - va >= raw || rawAt >= f.size())
            continue;
        section.fileAt = std::size_t(rawAt) + (section.rva - va);
        const std::size_t end = std::min<std::size_t>(std::size_t(rawAt) + raw, f.size());
        section.size = end > section.fileAt ? end - section.fileAt : 0;
        return VersionResource::Present;
    }
    return VersionResource::Missing;
}

// A directory's entries within the section, or none when it does not fit.
std::vector<ResourceEntry> entries(std::span<const std::uint8_t> s, std::size_t at) {
    std::vector<ResourceEntry> out;
    if (!fits(s, at, sizeof(ResourceDirectory)))
        return out;
    const std::size_t count = le(s, at + offsetof(ResourceDirectory, namedEntries), 2) +
                              le(s, at + offsetof(ResourceDirectory, idEntries), 2);
    const std::size_t first = at + sizeof(ResourceDirectory);
    if (count > kMaxEntries || !fits(s, first, count * sizeof(ResourceEntry)))
        return out;
    for (std::size_t i = 0; i < count; ++i)
        out.push_back({le(s, first + i * 8, 4), le(s, first + i * 8 + 4, 4)});
    return out;
}

std::size_t align4(std::size_t at) {
    return (at + 3) & ~std::size_t(3);
}

// A version block as a tree, to be written out again in a compiler's layout.
struct Node {
    std::uint16_t type = 0;
    std::u16string key;
    std::vector<std::uint8_t> value;
    std::vector<Node> children;
};

// The node at `at` (4-aligned) within `end`; its length in `length`. Offsets are the block's.
std::optional<Node> parse(std::span<const std::uint8_t> b, std::size_t at, std::size_t end,
                          int depth, std::size_t& length) {
    if (depth > kMaxDepth || end > b.size() || !fits(b.first(end), at, sizeof(VersionNodeHeader)))
        return std::nullopt;
    Node n;
    length = le(b, at + offsetof(VersionNodeHeader, length), 2);
    const std::size_t units = le(b, at + offsetof(VersionNodeHeader, valueLength), 2);
    n.type = static_cast<std::uint16_t>(le(b, at + offsetof(VersionNodeHeader, type), 2));
    const std::size_t nodeEnd = at + length;
    if (length < sizeof(VersionNodeHeader) || nodeEnd > end)
        return std::nullopt;
    std::size_t p = at + sizeof(VersionNodeHeader);
    for (;; p += 2) {
        if (p + 2 > nodeEnd)
            return std::nullopt;
        const auto unit = static_cast<char16_t>(le(b, p, 2));
        if (unit == 0)
            break;
        n.key.push_back(unit);
    }
    const std::size_t valueAt = std::min(align4(p + 2), nodeEnd);
    const std::size_t valueBytes = units * (n.type == kTextType ? 2 : 1);
    if (nodeEnd - valueAt < valueBytes)
        return std::nullopt;
    n.value.assign(b.begin() + valueAt, b.begin() + valueAt + valueBytes);
    for (std::size_t c = align4(valueAt + valueBytes); c < nodeEnd;) {
        std::size_t childLength = 0;
        auto child = parse(b, c, nodeEnd, depth + 1, childLength);
        if (!child)
            return std::nullopt;
        n.children.push_back(std::move(*child));
        c = align4(c + childLength);
    }
    return n;
}

void put16(std::vector<std::uint8_t>& f, std::size_t at, std::uint16_t v) {
    f[at] = static_cast<std::uint8_t>(v);
    f[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void pad4(std::vector<std::uint8_t>& out) {
    out.resize(align4(out.size()), 0);
}

// Appends the node at a 4-aligned end of `out`, its length ending with its last value or child
// as a compiler lays it out; false when a length no longer fits its 16 bits.
bool serialize(const Node& n, std::vector<std::uint8_t>& out) {
    const std::size_t at = out.size();
    out.resize(at + sizeof(VersionNodeHeader), 0);
    for (char16_t unit : n.key)
        out.insert(out.end(),
                   {static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8)});
    out.insert(out.end(), {0, 0});
    pad4(out);
    out.insert(out.end(), n.value.begin(), n.value.end());
    for (const Node& child : n.children) {
        pad4(out);
        if (!serialize(child, out))
            return false;
    }
    const std::size_t length = out.size() - at;
    const std::size_t units = n.type == kTextType ? n.value.size() / 2 : n.value.size();
    if (length > 0xFFFF || units > 0xFFFF)
        return false;
    put16(out, at + offsetof(VersionNodeHeader, length), static_cast<std::uint16_t>(length));
    put16(out, at + offsetof(VersionNodeHeader, valueLength), static_cast<std::uint16_t>(units));
    put16(out, at + offsetof(VersionNodeHeader, type), n.type);
    return true;
}

// The Strings with `key` in the block's StringFileInfo, one per string table.
std::vector<Node*> strings(Node& root, std::u16string_view key) {
    std::vector<Node*> found;
    for (Node& info : root.children)
        for (Node& table : info.children)
            for (Node& s : table.children)
                if (info.key == u"StringFileInfo" && s.key == key && s.type == kTextType)
                    found.push_back(&s);
    return found;
}

std::optional<Node> parseBlock(std::span<const std::uint8_t> file, std::size_t at,
                               std::size_t room) {
    std::size_t length = 0;
    auto root = parse(file.subspan(at, room), 0, room, 1, length);
    if (!root || root->key != u"VS_VERSION_INFO")
        return std::nullopt;
    return root;
}

} // namespace

VersionBlocks findVersionBlocks(std::span<const std::uint8_t> file) {
    VersionBlocks result;
    ResourceSection section;
    result.resource = locateSection(file, section);
    if (result.resource != VersionResource::Present)
        return result;
    const auto s = file.subspan(section.fileAt, section.size);
    result.resource = VersionResource::Missing;
    std::size_t visited = 0; // directories may share entries: the walk is bounded in all
    for (const ResourceEntry& type : entries(s, 0)) {
        if (type.name != kVersionType || !(type.offset & kHighBit))
            continue;
        for (const ResourceEntry& name : entries(s, type.offset & ~kHighBit)) {
            if (!(name.offset & kHighBit))
                continue;
            for (const ResourceEntry& language : entries(s, name.offset & ~kHighBit)) {
                result.resource = VersionResource::Present;
                if (++visited > kMaxEntries) {
                    result.error = "the version resource's directory has too many entries";
                    return result;
                }
                const std::size_t d = language.offset;
                if ((d & kHighBit) || !fits(s, d, sizeof(ResourceData))) {
                    result.error = "the version resource's directory entry is damaged";
                    continue;
                }
                const std::uint32_t rva = le(s, d + offsetof(ResourceData, rva), 4);
                const std::uint32_t size = le(s, d + offsetof(ResourceData, size), 4);
                if (rva < section.rva || !fits(s, rva - section.rva, size)) {
                    result.error = "the version resource lies outside the resource section";
                    continue;
                }
                result.blocks.emplace_back(section.fileAt + (rva - section.rva), size);
            }
        }
    }
    return result;
}

std::optional<std::u16string> readVersionString(std::span<const std::uint8_t> file,
                                                std::u16string_view key) {
    const VersionBlocks where = findVersionBlocks(file);
    if (where.blocks.empty())
        return std::nullopt;
    auto root = parseBlock(file, where.blocks.front().first, where.blocks.front().second);
    const std::vector<Node*> found = root ? strings(*root, key) : std::vector<Node*>{};
    if (found.empty())
        return std::nullopt;
    std::u16string text;
    const std::vector<std::uint8_t>& v = found.front()->value;
    for (std::size_t i = 0; i + 1 < v.size() && (v[i] || v[i + 1]); i += 2)
        text.push_back(static_cast<char16_t>(v[i] | v[i + 1] << 8));
    return text;
}

std::u16string fromWindows1252(std::string_view text) {
    // 0x80..0x9F; the five bytes the code page leaves undefined stay as their own code points.
    static constexpr std::array<char16_t, 32> kHigh = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::u16string out;
    for (unsigned char c : text)
        out.push_back(c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : char16_t(c));
    return out;
}

bool writeVersionStrings(std::vector<std::uint8_t>& file, const Package& package,
                         std::string& report, std::string& error) {
    const std::string title = package.windowTitle();
    const std::string revision(package.newRevision(1));
    const VersionBlocks where = findVersionBlocks(file);
    if (!where.error.empty()) {
        error = where.error;
        return false;
    }
    if (where.blocks.empty()) {
        report = where.resource == VersionResource::NotPe
                     ? "version resource: none (not a Windows program)"
                     : "version resource: none";
        return true;
    }
    const std::pair<std::u16string_view, std::string_view> writes[] = {
        {u"FileDescription", title}, {u"ProductVersion", revision}};
    std::vector<std::vector<std::uint8_t>> blocks;
    for (const auto& [at, room] : where.blocks) {
        auto root = parseBlock(file, at, room);
        if (!root) {
            error = "the version resource is damaged";
            return false;
        }
        for (const auto& [key, text] : writes) {
            const std::vector<Node*> found = strings(*root, key);
            if (found.empty()) {
                error = "the version resource has no " + std::string(key.begin(), key.end()) +
                        " string";
                return false;
            }
            std::vector<std::uint8_t> value;
            for (char16_t unit : fromWindows1252(text))
                value.insert(value.end(), {static_cast<std::uint8_t>(unit),
                                           static_cast<std::uint8_t>(unit >> 8)});
            value.insert(value.end(), {0, 0});
            for (Node* s : found)
                s->value = value;
        }
        blocks.emplace_back();
        if (!serialize(*root, blocks.back()) || blocks.back().size() > room) {
            error = "the version resource has no room for the title \"" + title +
                    "\" and the revision \"" + revision + "\" (" + std::to_string(room) +
                    " bytes); the program was built without room for them";
            return false;
        }
    }
    // All checked; each block in place, its unused room cleared.
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto [at, room] = where.blocks[i];
        std::copy(blocks[i].begin(), blocks[i].end(), file.begin() + at);
        std::fill(file.begin() + at + blocks[i].size(), file.begin() + at + room, 0);
    }
    report =
        "version resource: FileDescription \"" + title + "\", ProductVersion \"" + revision + "\"";
    return true;
}

} // namespace zelfin::pack
