#include "PeImage.h"

#include <algorithm>

namespace winhost {

namespace {

constexpr std::uint32_t kExportDirectory = 0;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kHighBit = 0x80000000u;

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

// Bounds-checked little-endian reads; every failure ends the parse.
class Reader {
  public:
    explicit Reader(const Bytes& bytes) : m_bytes(bytes) {}
    bool U16(std::uint64_t at, std::uint16_t& out) const {
        if (at + 2 > m_bytes.size()) return false;
        out = static_cast<std::uint16_t>(m_bytes[at] | (m_bytes[at + 1] << 8));
        return true;
    }
    bool U32(std::uint64_t at, std::uint32_t& out) const {
        if (at + 4 > m_bytes.size()) return false;
        out = static_cast<std::uint32_t>(m_bytes[at]) | (std::uint32_t(m_bytes[at + 1]) << 8) |
              (std::uint32_t(m_bytes[at + 2]) << 16) | (std::uint32_t(m_bytes[at + 3]) << 24);
        return true;
    }
    bool CString(std::uint64_t at, std::string& out) const {
        out.clear();
        for (std::uint64_t p = at; p < m_bytes.size(); ++p) {
            if (m_bytes[p] == 0) return true;
            out += static_cast<char>(m_bytes[p]);
        }
        return false;
    }
    bool Slice(std::uint64_t at, std::uint32_t size, Bytes& out) const {
        if (at + size > m_bytes.size()) return false;
        out.assign(m_bytes.begin() + static_cast<std::ptrdiff_t>(at),
                   m_bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
        return true;
    }

  private:
    const Bytes& m_bytes;
};

class Parser {
  public:
    Parser(const Bytes& file, PeImage& image, std::string& error)
        : m_in(file), m_image(image), m_error(error) {}

    bool Run() {
        std::uint32_t peOffset, signature;
        if (!m_in.U32(0x3C, peOffset) || !m_in.U32(peOffset, signature) || signature != 0x4550)
            return Fail("no PE signature");
        const std::uint64_t coff = peOffset + 4;
        std::uint16_t sectionCount, optionalSize;
        if (!m_in.U16(coff, m_image.machine) || !m_in.U16(coff + 2, sectionCount) ||
            !m_in.U16(coff + 16, optionalSize) || !m_in.U16(coff + 18, m_image.characteristics))
            return Fail("truncated file header");
        const std::uint64_t optional = coff + 20;
        if (!m_in.U16(optional, m_image.optionalMagic) || m_image.optionalMagic != 0x10B)
            return Fail("not a 32-bit (PE32) image");
        std::uint32_t directoryCount;
        if (!m_in.U32(optional + 92, directoryCount)) return Fail("truncated optional header");
        for (std::uint16_t i = 0; i < sectionCount; ++i) {
            const std::uint64_t at = optional + optionalSize + 40u * i;
            Section s{};
            if (!m_in.U32(at + 8, s.virtualSize) || !m_in.U32(at + 12, s.virtualAddress) ||
                !m_in.U32(at + 16, s.rawSize) || !m_in.U32(at + 20, s.rawOffset))
                return Fail("truncated section table");
            m_sections.push_back(s);
        }
        std::uint32_t rva = 0, size = 0;
        if (Directory(directoryCount, optional, kExportDirectory, rva, size) && rva != 0 &&
            !ParseExports(rva))
            return false;
        if (Directory(directoryCount, optional, kResourceDirectory, rva, size) && rva != 0) {
            std::uint64_t base;
            if (!Offset(rva, base)) return Fail("resource directory outside every section");
            m_resourceBase = base;
            if (!ParseResourceLevel(0, 0, {})) return false;
        }
        return true;
    }

  private:
    bool Fail(const std::string& why) {
        m_error = why;
        return false;
    }

    bool Directory(std::uint32_t count, std::uint64_t optional, std::uint32_t index,
                   std::uint32_t& rva, std::uint32_t& size) const {
        if (index >= count) return false;
        return m_in.U32(optional + 96 + 8u * index, rva) &&
               m_in.U32(optional + 100 + 8u * index, size);
    }

    bool Offset(std::uint32_t rva, std::uint64_t& out) const {
        for (const Section& s : m_sections) {
            const std::uint32_t span = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
                if (rva - s.virtualAddress >= s.rawSize) return false;  // not in the file
                out = std::uint64_t(s.rawOffset) + (rva - s.virtualAddress);
                return true;
            }
        }
        return false;
    }

    bool ParseExports(std::uint32_t rva) {
        std::uint64_t dir, functions, names, ordinals;
        std::uint32_t nameCount, functionsRva, namesRva, ordinalsRva;
        if (!Offset(rva, dir) || !m_in.U32(dir + 16, m_image.exportBase) ||
            !m_in.U32(dir + 20, m_image.exportFunctionCount) || !m_in.U32(dir + 24, nameCount) ||
            !m_in.U32(dir + 28, functionsRva) || !m_in.U32(dir + 32, namesRva) ||
            !m_in.U32(dir + 36, ordinalsRva))
            return Fail("truncated export directory");
        if (m_image.exportFunctionCount > 0x10000 || nameCount > m_image.exportFunctionCount)
            return Fail("implausible export counts");
        if (m_image.exportFunctionCount == 0) return true;
        if (!Offset(functionsRva, functions)) return Fail("export address table outside the file");
        for (std::uint32_t i = 0; i < m_image.exportFunctionCount; ++i) {
            PeExport e;
            e.ordinal = m_image.exportBase + i;
            if (!m_in.U32(functions + 4u * i, e.rva)) return Fail("truncated export address table");
            m_image.exports.push_back(e);
        }
        if (nameCount == 0) return true;
        if (!Offset(namesRva, names) || !Offset(ordinalsRva, ordinals))
            return Fail("export name tables outside the file");
        for (std::uint32_t i = 0; i < nameCount; ++i) {
            std::uint32_t nameRva;
            std::uint16_t index;
            std::uint64_t nameAt;
            if (!m_in.U32(names + 4u * i, nameRva) || !m_in.U16(ordinals + 2u * i, index) ||
                !Offset(nameRva, nameAt))
                return Fail("truncated export name tables");
            if (index >= m_image.exports.size()) return Fail("export name with a bad ordinal");
            if (!m_in.CString(nameAt, m_image.exports[index].name))
                return Fail("unterminated export name");
        }
        return true;
    }

    // Levels: 0 type, 1 name, 2 language. `path` holds the ids above.
    bool ParseResourceLevel(std::uint32_t offset, int level, std::vector<std::uint32_t> path) {
        if (++m_resourceDirectories > 1000) return Fail("resource tree too large");
        const std::uint64_t dir = m_resourceBase + offset;
        std::uint16_t named, numbered;
        if (!m_in.U16(dir + 12, named) || !m_in.U16(dir + 14, numbered))
            return Fail("truncated resource directory");
        if (named != 0) return Fail("named resource entries (only numeric ids are expected)");
        for (std::uint16_t i = 0; i < numbered; ++i) {
            std::uint32_t id, target;
            if (!m_in.U32(dir + 16 + 8u * i, id) || !m_in.U32(dir + 20 + 8u * i, target))
                return Fail("truncated resource entry");
            std::vector<std::uint32_t> here = path;
            here.push_back(id);
            const bool subdirectory = (target & kHighBit) != 0;
            if (level < 2) {
                if (!subdirectory) return Fail("resource tree shallower than three levels");
                if (!ParseResourceLevel(target & ~kHighBit, level + 1, here)) return false;
                continue;
            }
            if (subdirectory) return Fail("resource tree deeper than three levels");
            std::uint32_t dataRva, size;
            std::uint64_t dataAt;
            if (!m_in.U32(m_resourceBase + target, dataRva) ||
                !m_in.U32(m_resourceBase + target + 4, size) || !Offset(dataRva, dataAt))
                return Fail("resource data entry outside the file");
            PeResource r;
            r.type = here[0];
            r.id = here[1];
            r.language = here[2];
            if (!m_in.Slice(dataAt, size, r.data)) return Fail("truncated resource data");
            m_image.resources.push_back(std::move(r));
        }
        return true;
    }

    Reader m_in;
    PeImage& m_image;
    std::string& m_error;
    std::vector<Section> m_sections;
    std::uint64_t m_resourceBase = 0;
    int m_resourceDirectories = 0;
};

}  // namespace

bool ParsePeImage(const Bytes& file, PeImage& image, std::string& error) {
    image = PeImage();
    return Parser(file, image, error).Run();
}

}  // namespace winhost
