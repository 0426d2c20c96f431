#pragma once
// Reads what a host and its loader see of a 32-bit Windows DLL file: the
// export directory and the resource tree. Portable, so the checks can run
// on the build machine as well as under Windows.
#include <cstdint>
#include <string>
#include <vector>

namespace winhost {

using Bytes = std::vector<std::uint8_t>;

struct PeExport {
    std::string name;  // empty for an export by ordinal only
    std::uint32_t ordinal = 0;
    std::uint32_t rva = 0;
};

struct PeResource {
    std::uint32_t type = 0;  // numeric ids only; named entries are reported as errors
    std::uint32_t id = 0;
    std::uint32_t language = 0;
    Bytes data;
};

struct PeImage {
    std::uint16_t machine = 0;
    std::uint16_t characteristics = 0;
    std::uint16_t optionalMagic = 0;
    std::uint32_t exportBase = 0;
    std::uint32_t exportFunctionCount = 0;
    std::vector<PeExport> exports;  // every address-table entry, named or not
    std::vector<PeResource> resources;
};

// Parses `file`. False with a reason in `error` when it is not a well-formed
// PE image (or uses what this reader does not expect, such as named resources).
bool ParsePeImage(const Bytes& file, PeImage& image, std::string& error);

}  // namespace winhost
