#include "macho_loader.h"

#include <dlfcn.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <vector>

namespace
{

// Values of the Mach-O file format.
constexpr std::uint32_t kMagic64 = 0xFEEDFACF;
constexpr std::uint32_t kCpuX86_64 = 0x01000007;
constexpr std::uint32_t kFileBundle = 8;
constexpr std::uint32_t kCommandSymbolTable = 0x2;
constexpr std::uint32_t kCommandLoadDylib = 0xC;
constexpr std::uint32_t kCommandSegment64 = 0x19;
constexpr std::uint32_t kCommandDyldInfo = 0x22;
constexpr std::uint32_t kCommandDyldInfoOnly = 0x80000022;
constexpr std::uint32_t kCommandLoadWeakDylib = 0x80000018;
constexpr std::uint32_t kCommandChainedFixups = 0x80000034;
constexpr std::uint32_t kSectionInitPointers = 0x9;
constexpr std::uint32_t kSectionInitOffsets = 0x16;
constexpr std::uint32_t kSectionThreadLocalFirst = 0x11;
constexpr std::uint32_t kSectionThreadLocalLast = 0x15;
constexpr std::uint8_t kPointerType = 1; // rebase and bind type of a plain pointer
constexpr std::uint64_t kPointerSize = 8;

struct Segment {
    std::uint64_t address, size, fileOffset, fileSize;
    std::uint32_t protection; // initial: read 1, write 2, execute 4, as mmap's
};

struct InitialiserSection {
    std::uint32_t type;
    std::uint64_t address, size;
};

// Offsets and sizes in the file.
struct Range {
    std::uint32_t offset = 0, size = 0;
};

struct Bundle {
    std::string path;
    std::vector<unsigned char> file;
    std::vector<Segment> segments;
    std::vector<std::string> libraries; // in load order: ordinal 1, 2, ...
    std::vector<InitialiserSection> initialisers;
    Range rebase, bind, lazyBind, exports; // dyld information
    Range symbols, strings;                // symbol table (symbols: count, not bytes)
    unsigned char* base = nullptr;         // where the lowest segment is mapped
    std::uint64_t lowest = 0;              // that segment's address in the file
    standin::MexFunction mexFunction = nullptr;
};

[[noreturn]] void refuse(const Bundle& bundle, const std::string& what)
{
    throw std::runtime_error("Mach-O loader: " + bundle.path + " " + what);
}

template <typename T> T readAt(const Bundle& bundle, std::uint64_t offset)
{
    if (offset > bundle.file.size() || bundle.file.size() - offset < sizeof(T)) {
        refuse(bundle, "is truncated");
    }
    T value;
    std::memcpy(&value, bundle.file.data() + offset, sizeof value);
    return value;
}

// Fix-up opcodes or the export trie, read byte by byte within their range.
struct Reader {
    const Bundle& bundle;
    std::uint64_t at, end;

    bool more() const { return at < end; }
    std::uint8_t byte()
    {
        if (at >= end || at >= bundle.file.size()) refuse(bundle, "has truncated dyld information");
        return bundle.file[at++];
    }
    std::uint64_t uleb()
    {
        std::uint64_t value = 0;
        for (int shift = 0;; shift += 7) {
            const std::uint8_t b = byte();
            if (shift < 64) value |= std::uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80)) return value;
        }
    }
    std::int64_t sleb()
    {
        std::uint64_t value = 0;
        int shift = 0;
        std::uint8_t b = 0;
        do {
            b = byte();
            if (shift < 64) value |= std::uint64_t(b & 0x7F) << shift;
            shift += 7;
        } while (b & 0x80);
        if (shift < 64 && (b & 0x40)) value |= ~std::uint64_t(0) << shift;
        return std::int64_t(value);
    }
    std::string text()
    {
        std::string value;
        for (std::uint8_t c = byte(); c != 0; c = byte()) value += char(c);
        return value;
    }
};

Range rangeAt(const Bundle& bundle, std::uint64_t at)
{
    return {readAt<std::uint32_t>(bundle, at), readAt<std::uint32_t>(bundle, at + 4)};
}

void readSections(Bundle& bundle, std::uint64_t segmentCommand)
{
    const std::uint32_t sections = readAt<std::uint32_t>(bundle, segmentCommand + 64);
    for (std::uint32_t s = 0; s < sections; ++s) {
        const std::uint64_t section = segmentCommand + 72 + 80 * std::uint64_t(s);
        const std::uint32_t type = readAt<std::uint32_t>(bundle, section + 64) & 0xFF;
        if (type >= kSectionThreadLocalFirst && type <= kSectionThreadLocalLast) {
            refuse(bundle, "has thread-local variables");
        }
        if (type == kSectionInitPointers || type == kSectionInitOffsets) {
            bundle.initialisers.push_back({type, readAt<std::uint64_t>(bundle, section + 32),
                                           readAt<std::uint64_t>(bundle, section + 40)});
        }
    }
}

void readCommands(Bundle& bundle)
{
    if (readAt<std::uint32_t>(bundle, 0) != kMagic64 ||
        readAt<std::uint32_t>(bundle, 4) != kCpuX86_64 ||
        readAt<std::uint32_t>(bundle, 12) != kFileBundle) {
        refuse(bundle, "is not an x86-64 Mach-O bundle");
    }
    const std::uint32_t count = readAt<std::uint32_t>(bundle, 16);
    std::uint64_t at = 32; // after the Mach header
    for (std::uint32_t c = 0; c < count; ++c) {
        const std::uint32_t command = readAt<std::uint32_t>(bundle, at);
        const std::uint32_t size = readAt<std::uint32_t>(bundle, at + 4);
        if (command == kCommandSegment64) {
            bundle.segments.push_back(
                {readAt<std::uint64_t>(bundle, at + 24), readAt<std::uint64_t>(bundle, at + 32),
                 readAt<std::uint64_t>(bundle, at + 40), readAt<std::uint64_t>(bundle, at + 48),
                 readAt<std::uint32_t>(bundle, at + 60)});
            readSections(bundle, at);
        } else if (command == kCommandDyldInfo || command == kCommandDyldInfoOnly) {
            bundle.rebase = rangeAt(bundle, at + 8);
            bundle.bind = rangeAt(bundle, at + 16);
            if (rangeAt(bundle, at + 24).size != 0) refuse(bundle, "has weak bindings");
            bundle.lazyBind = rangeAt(bundle, at + 32);
            bundle.exports = rangeAt(bundle, at + 40);
        } else if (command == kCommandSymbolTable) {
            bundle.symbols = rangeAt(bundle, at + 8);
            bundle.strings = rangeAt(bundle, at + 16);
        } else if (command == kCommandLoadDylib || command == kCommandLoadWeakDylib) {
            Reader name{bundle, at + readAt<std::uint32_t>(bundle, at + 8), at + size};
            bundle.libraries.push_back(name.text());
        } else if (command == kCommandChainedFixups) {
            refuse(bundle, "uses chained fix-ups");
        }
        if (size < 8) refuse(bundle, "has a malformed load command");
        at += size;
    }
    if (bundle.segments.empty() || bundle.exports.size == 0) {
        refuse(bundle, "has no segments or no export trie");
    }
}

// Where the file's address lies once mapped.
unsigned char* mapped(const Bundle& bundle, std::uint64_t address)
{
    return bundle.base + (address - bundle.lowest);
}

void mapSegments(Bundle& bundle)
{
    bundle.lowest = UINT64_MAX;
    std::uint64_t highest = 0;
    for (const Segment& segment : bundle.segments) {
        if (segment.size == 0) continue;
        bundle.lowest = std::min(bundle.lowest, segment.address);
        highest = std::max(highest, segment.address + segment.size);
    }
    void* memory = mmap(nullptr, highest - bundle.lowest, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) refuse(bundle, "cannot be mapped");
    bundle.base = static_cast<unsigned char*>(memory);
    for (const Segment& segment : bundle.segments) {
        if (segment.fileSize == 0) continue;
        if (segment.fileOffset > bundle.file.size() ||
            bundle.file.size() - segment.fileOffset < segment.fileSize ||
            segment.fileSize > segment.size) {
            refuse(bundle, "has a segment beyond its file");
        }
        std::memcpy(mapped(bundle, segment.address), bundle.file.data() + segment.fileOffset,
                    segment.fileSize);
    }
}

// The pointer at offset within segment index.
unsigned char* location(const Bundle& bundle, std::uint64_t index, std::uint64_t offset)
{
    if (index >= bundle.segments.size() || offset > bundle.segments[index].size ||
        bundle.segments[index].size - offset < kPointerSize) {
        refuse(bundle, "fixes up a pointer outside its segments");
    }
    return mapped(bundle, bundle.segments[index].address + offset);
}

void rebase(const Bundle& bundle)
{
    const std::uint64_t slide = std::uint64_t(bundle.base) - bundle.lowest;
    Reader in{bundle, bundle.rebase.offset,
              std::uint64_t(bundle.rebase.offset) + bundle.rebase.size};
    std::uint64_t segment = 0, offset = 0;
    auto slideAndStep = [&](std::uint64_t step) {
        unsigned char* at = location(bundle, segment, offset);
        std::uint64_t pointer;
        std::memcpy(&pointer, at, sizeof pointer);
        pointer += slide;
        std::memcpy(at, &pointer, sizeof pointer);
        offset += kPointerSize + step;
    };
    while (in.more()) {
        const std::uint8_t byte = in.byte(), immediate = byte & 0x0F;
        switch (byte & 0xF0) {
        case 0x00: // done
            return;
        case 0x10: // type
            if (immediate != kPointerType) refuse(bundle, "rebases other than pointers");
            break;
        case 0x20: // segment and offset
            segment = immediate;
            offset = in.uleb();
            break;
        case 0x30:
            offset += in.uleb();
            break;
        case 0x40:
            offset += immediate * kPointerSize;
            break;
        case 0x50:
            for (int i = 0; i < immediate; ++i) slideAndStep(0);
            break;
        case 0x60:
            for (std::uint64_t i = 0, n = in.uleb(); i < n; ++i) slideAndStep(0);
            break;
        case 0x70:
            slideAndStep(in.uleb());
            break;
        case 0x80: {
            const std::uint64_t n = in.uleb(), skip = in.uleb();
            for (std::uint64_t i = 0; i < n; ++i) slideAndStep(skip);
            break;
        }
        default:
            refuse(bundle, "has an unknown rebase opcode");
        }
    }
}

// dyld's lazy binder: never reached, since every lazy pointer is bound at load.
void lazyBindingReached()
{
    std::fprintf(stderr, "Mach-O loader: dyld_stub_binder called\n");
    std::abort();
}

// The stack protector's canary, a variable of libSystem (glibc keeps its own
// in thread-local storage).
std::uintptr_t stackGuard = 0x2F8A5D3C9E1B4706u;

// What an import of name from library binds to.
void* resolve(const Bundle& bundle, std::int64_t ordinal, const std::string& name)
{
    if (ordinal < 1 || std::uint64_t(ordinal) > bundle.libraries.size()) {
        refuse(bundle, "looks " + name + " up outside its own libraries (flat namespace)");
    }
    const std::string& library = bundle.libraries[ordinal - 1];
    if (name.size() < 2 || name[0] != '_') {
        if (library == "/usr/lib/libSystem.B.dylib" && name == "dyld_stub_binder") {
            return reinterpret_cast<void*>(&lazyBindingReached);
        }
        refuse(bundle, "imports " + name + ", which is no C function");
    }
    void* handle = nullptr;
    if (library == "@rpath/libmx.dylib" || library == "@rpath/libmex.dylib" ||
        library == "@rpath/libmat.dylib") {
        // The stand-in host, the library this program's mxGetPr is in.
        Dl_info host;
        if (dladdr(reinterpret_cast<void*>(&mxGetPr), &host)) {
            handle = dlopen(host.dli_fname, RTLD_NOW | RTLD_NOLOAD);
        }
    } else if (library == "/usr/lib/libSystem.B.dylib") {
        if (name == "___stack_chk_guard") return &stackGuard;
        handle = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
    } else {
        refuse(bundle, "needs " + library + ", which this loader does not stand in for");
    }
    void* symbol = handle ? dlsym(handle, name.c_str() + 1) : nullptr;
    if (!symbol)
        refuse(bundle, "imports " + name + " from " + library + ", which has no such name");
    return symbol;
}

// Runs the bind opcodes of range; lazy binds are separated by "done".
void bind(const Bundle& bundle, Range range, bool lazy)
{
    Reader in{bundle, range.offset, std::uint64_t(range.offset) + range.size};
    std::int64_t ordinal = 0, addend = 0;
    std::string name;
    std::uint64_t segment = 0, offset = 0;
    auto bindAndStep = [&](std::uint64_t step) {
        const std::uint64_t value = std::uint64_t(resolve(bundle, ordinal, name)) + addend;
        std::memcpy(location(bundle, segment, offset), &value, sizeof value);
        offset += kPointerSize + step;
    };
    while (in.more()) {
        const std::uint8_t byte = in.byte(), immediate = byte & 0x0F;
        switch (byte & 0xF0) {
        case 0x00: // done
            if (!lazy) return;
            break;
        case 0x10:
            ordinal = immediate;
            break;
        case 0x20:
            ordinal = std::int64_t(in.uleb());
            break;
        case 0x30:
            ordinal = immediate ? std::int8_t(0xF0 | immediate) : 0;
            break; // special
        case 0x40:
            name = in.text();
            break;
        case 0x50:
            if (immediate != kPointerType) refuse(bundle, "binds other than pointers");
            break;
        case 0x60:
            addend = in.sleb();
            break;
        case 0x70:
            segment = immediate;
            offset = in.uleb();
            break;
        case 0x80:
            offset += in.uleb();
            break;
        case 0x90:
            bindAndStep(0);
            break;
        case 0xA0:
            bindAndStep(in.uleb());
            break;
        case 0xB0:
            bindAndStep(immediate * kPointerSize);
            break;
        case 0xC0: {
            const std::uint64_t n = in.uleb(), skip = in.uleb();
            for (std::uint64_t i = 0; i < n; ++i) bindAndStep(skip);
            break;
        }
        default:
            refuse(bundle, "has an unknown bind opcode");
        }
    }
}

void protectSegments(const Bundle& bundle)
{
    const long page = 4096;
    for (const Segment& segment : bundle.segments) {
        if (segment.size == 0) continue;
        const std::uint64_t size = (segment.size + page - 1) / page * page;
        if (mprotect(mapped(bundle, segment.address), size, int(segment.protection & 7)) != 0) {
            refuse(bundle, "cannot be protected");
        }
    }
}

void runInitialisers(const Bundle& bundle)
{
    for (const InitialiserSection& section : bundle.initialisers) {
        const bool offsets = section.type == kSectionInitOffsets;
        const std::uint64_t entry = offsets ? 4 : kPointerSize;
        for (std::uint64_t at = 0; at + entry <= section.size; at += entry) {
            void (*initialiser)() = nullptr;
            if (offsets) {
                std::uint32_t offset;
                std::memcpy(&offset, mapped(bundle, section.address + at), sizeof offset);
                initialiser = reinterpret_cast<void (*)()>(bundle.base + offset);
            } else {
                std::memcpy(&initialiser, mapped(bundle, section.address + at), sizeof initialiser);
            }
            initialiser();
        }
    }
}

// The address of symbol in the export trie, relative to the Mach header.
std::uint64_t exportedAddress(const Bundle& bundle, const std::string& symbol)
{
    const std::uint64_t trie = bundle.exports.offset, end = trie + bundle.exports.size;
    std::uint64_t node = trie;
    std::size_t matched = 0;
    for (int depth = 0; depth < 4096; ++depth) {
        Reader in{bundle, node, end};
        const std::uint64_t terminalSize = in.uleb();
        if (matched == symbol.size()) {
            if (terminalSize == 0) break;
            if (in.uleb() != 0) refuse(bundle, "exports " + symbol + " other than as a function");
            return in.uleb();
        }
        in.at += terminalSize;
        bool found = false;
        for (std::uint8_t children = in.byte(); children > 0 && !found; --children) {
            const std::string edge = in.text();
            const std::uint64_t child = in.uleb();
            if (symbol.compare(matched, edge.size(), edge) == 0) {
                matched += edge.size();
                node = trie + child;
                found = true;
            }
        }
        if (!found) break;
    }
    refuse(bundle, "does not export " + symbol);
}

Bundle& loaded(const std::string& path)
{
    static std::map<std::string, Bundle> bundles;
    auto found = bundles.find(path);
    if (found != bundles.end()) return found->second;
    Bundle bundle;
    bundle.path = path;
    std::ifstream file(path, std::ios::binary);
    if (!file) refuse(bundle, "cannot be read");
    bundle.file.assign(std::istreambuf_iterator<char>(file), {});
    readCommands(bundle);
    mapSegments(bundle);
    rebase(bundle);
    bind(bundle, bundle.bind, false);
    bind(bundle, bundle.lazyBind, true);
    protectSegments(bundle);
    runInitialisers(bundle);
    // Exported addresses count from the Mach header, the start of the
    // segment that maps the start of the file (__TEXT).
    std::uint64_t header = 0;
    for (const Segment& segment : bundle.segments) {
        if (segment.fileOffset == 0 && segment.fileSize > 0) header = segment.address;
    }
    bundle.mexFunction = reinterpret_cast<standin::MexFunction>(
        mapped(bundle, header + exportedAddress(bundle, "_mexFunction")));
    return bundles.emplace(path, std::move(bundle)).first->second;
}

} // namespace

bool isMachOFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::uint32_t magic = 0;
    return file.read(reinterpret_cast<char*>(&magic), sizeof magic) && magic == kMagic64;
}

standin::MexFunction loadMachOBundle(const std::string& path) { return loaded(path).mexFunction; }

void* machOBundleSymbol(const std::string& path, const std::string& name)
{
    const Bundle& bundle = loaded(path);
    for (std::uint32_t i = 0; i < bundle.symbols.size; ++i) {
        const std::uint64_t entry = bundle.symbols.offset + 16 * std::uint64_t(i);
        const std::uint8_t type = readAt<std::uint8_t>(bundle, entry + 4);
        const std::uint32_t nameAt = readAt<std::uint32_t>(bundle, entry);
        // Defined in a section (N_SECT), not a debugging entry (N_STAB).
        if ((type & 0xE0) != 0 || (type & 0x0E) != 0x0E || nameAt >= bundle.strings.size) continue;
        Reader text{bundle, std::uint64_t(bundle.strings.offset) + nameAt,
                    std::uint64_t(bundle.strings.offset) + bundle.strings.size};
        if (text.text() == name) return mapped(bundle, readAt<std::uint64_t>(bundle, entry + 8));
    }
    return nullptr;
}
