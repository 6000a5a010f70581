#include "tools/pzl-host/ExportList.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace Kesh::StandIn {
namespace {

// Reads a little-endian integer of width bytes at offset; false past the end.
bool ReadInt(const std::string& file, std::uint64_t offset, unsigned width, std::uint64_t& value) {
    if (offset > file.size() || file.size() - offset < width) return false;
    value = 0;
    for (unsigned i = 0; i < width; ++i) {
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(file[offset + i])) << (8 * i);
    }
    return true;
}

std::string TextAt(const std::string& file, std::uint64_t offset) {
    if (offset >= file.size()) return {};
    const std::size_t end = file.find('\0', offset);
    return file.substr(offset, end == std::string::npos ? std::string::npos : end - offset);
}

bool ListElf(const std::string& file, std::vector<std::string>& names, std::string& error) {
    const bool wide = file[4] == 2;
    if (file[5] != 1) {
        error = "not a little-endian ELF file";
        return false;
    }
    const unsigned word = wide ? 8 : 4;
    std::uint64_t sectionTable = 0, entrySize = 0, count = 0;
    if (!ReadInt(file, wide ? 0x28 : 0x20, word, sectionTable) || !ReadInt(file, wide ? 0x3A : 0x2E, 2, entrySize) ||
        !ReadInt(file, wide ? 0x3C : 0x30, 2, count)) {
        error = "truncated ELF header";
        return false;
    }
    auto section = [&](std::uint64_t index, std::uint64_t field, unsigned width, std::uint64_t& value) {
        return ReadInt(file, sectionTable + index * entrySize + field, width, value);
    };
    constexpr std::uint64_t kDynamicSymbols = 11;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t type = 0;
        if (!section(i, 4, 4, type) || type != kDynamicSymbols) continue;
        std::uint64_t offset = 0, size = 0, link = 0, symbolSize = 0, stringsOffset = 0;
        if (!section(i, wide ? 0x18 : 0x10, word, offset) || !section(i, wide ? 0x20 : 0x14, word, size) ||
            !section(i, wide ? 0x28 : 0x18, 4, link) || !section(i, wide ? 0x38 : 0x24, word, symbolSize) ||
            !section(link, wide ? 0x18 : 0x10, word, stringsOffset) || symbolSize == 0) {
            error = "malformed dynamic symbol table";
            return false;
        }
        for (std::uint64_t at = offset + symbolSize; at + symbolSize <= offset + size; at += symbolSize) {
            std::uint64_t name = 0, info = 0, sectionIndex = 0;
            if (!ReadInt(file, at, 4, name) || !ReadInt(file, at + (wide ? 4 : 12), 1, info) ||
                !ReadInt(file, at + (wide ? 6 : 14), 2, sectionIndex)) {
                error = "truncated dynamic symbol table";
                return false;
            }
            const std::uint64_t binding = info >> 4;
            // Defined (not undefined, section 0) global or weak symbols.
            if (sectionIndex != 0 && (binding == 1 || binding == 2)) names.push_back(TextAt(file, stringsOffset + name));
        }
        return true;
    }
    return true;
}

bool ListPe(const std::string& file, std::vector<std::string>& names, std::string& error) {
    std::uint64_t header = 0;
    if (!ReadInt(file, 0x3C, 4, header) || file.compare(header, 4, std::string("PE\0\0", 4)) != 0) {
        error = "not a PE file";
        return false;
    }
    std::uint64_t sections = 0, optionalSize = 0, magic = 0;
    ReadInt(file, header + 6, 2, sections);
    ReadInt(file, header + 20, 2, optionalSize);
    const std::uint64_t optional = header + 24;
    ReadInt(file, optional, 2, magic);
    std::uint64_t exportRva = 0;
    if (!ReadInt(file, optional + (magic == 0x20B ? 112 : 96), 4, exportRva) || exportRva == 0) return true;
    // Virtual addresses to file offsets through the section table.
    auto fileOffset = [&](std::uint64_t rva, std::uint64_t& out) {
        for (std::uint64_t i = 0; i < sections; ++i) {
            const std::uint64_t entry = optional + optionalSize + i * 40;
            std::uint64_t virtualSize = 0, virtualAddress = 0, rawOffset = 0;
            if (!ReadInt(file, entry + 8, 4, virtualSize) || !ReadInt(file, entry + 12, 4, virtualAddress) ||
                !ReadInt(file, entry + 20, 4, rawOffset))
                return false;
            if (rva >= virtualAddress && rva < virtualAddress + virtualSize) {
                out = rva - virtualAddress + rawOffset;
                return true;
            }
        }
        return false;
    };
    std::uint64_t directory = 0, nameCount = 0, nameTableRva = 0, nameTable = 0;
    if (!fileOffset(exportRva, directory) || !ReadInt(file, directory + 24, 4, nameCount) ||
        !ReadInt(file, directory + 32, 4, nameTableRva) || !fileOffset(nameTableRva, nameTable)) {
        error = "malformed export directory";
        return false;
    }
    for (std::uint64_t i = 0; i < nameCount; ++i) {
        std::uint64_t nameRva = 0, name = 0;
        if (!ReadInt(file, nameTable + 4 * i, 4, nameRva) || !fileOffset(nameRva, name)) {
            error = "malformed export name table";
            return false;
        }
        names.push_back(TextAt(file, name));
    }
    return true;
}

}  // namespace

bool ListExports(const std::string& path, std::vector<std::string>& names, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    names.clear();
    if (file.size() >= 64 && file.compare(0, 4, "\x7f" "ELF") == 0) return ListElf(file, names, error);
    if (file.size() >= 64 && file.compare(0, 2, "MZ") == 0) return ListPe(file, names, error);
    error = path + " is neither an ELF nor a PE library";
    return false;
}

}  // namespace Kesh::StandIn
