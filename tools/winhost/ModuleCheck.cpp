#include "ModuleCheck.h"

#include <fstream>
#include <iomanip>
#include <iterator>
#include <map>
#include <sstream>

#include "DialogTemplate.h"
#include "ModuleLoader.h"
#include "PeImage.h"

namespace winhost {

namespace {

constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::uint16_t kFile32BitMachine = 0x0100;
constexpr std::uint32_t kDialogType = 5;  // RT_DIALOG

struct ExpectedExport {
    const char* name;
    std::uint32_t ordinal;
};
constexpr ExpectedExport kExpectedExports[] = {{"ExportBMP", 1}, {"ImportBMP", 2}};

class Checker {
  public:
    explicit Checker(std::ostream& out) : m_out(out) {}
    void Expect(bool ok, const std::string& what) {
        if (ok) return;
        ++m_failures;
        m_out << "FAIL: " << what << "\n";
    }
    int Failures() const { return m_failures; }
    std::ostream& Out() { return m_out; }

  private:
    std::ostream& m_out;
    int m_failures = 0;
};

void CheckExports(const PeImage& image, Checker& check) {
    auto& out = check.Out();
    out << "exports: base " << image.exportBase << ", " << image.exportFunctionCount
        << " functions\n";
    for (const PeExport& e : image.exports)
        out << "  ordinal " << e.ordinal << "  " << (e.name.empty() ? "(no name)" : e.name)
            << "  rva 0x" << std::hex << e.rva << std::dec << "\n";
    const std::size_t expected = std::size(kExpectedExports);
    check.Expect(image.exports.size() == expected, "expected exactly " + std::to_string(expected) +
                                                       " exports, found " +
                                                       std::to_string(image.exports.size()));
    for (const ExpectedExport& want : kExpectedExports) {
        bool found = false;
        for (const PeExport& e : image.exports) {
            if (e.name != want.name) continue;
            found = true;
            check.Expect(e.ordinal == want.ordinal, std::string(want.name) + " at ordinal " +
                                                        std::to_string(e.ordinal) + ", expected " +
                                                        std::to_string(want.ordinal));
            check.Expect(e.rva != 0, std::string(want.name) + " has no address");
        }
        check.Expect(found, std::string(want.name) + " is not exported by name");
    }
    for (const PeExport& e : image.exports)
        check.Expect(!e.name.empty(),
                     "export at ordinal " + std::to_string(e.ordinal) + " has no name");
}

void CheckResources(const PeImage& image, Checker& check) {
    auto& out = check.Out();
    out << "resources: " << image.resources.size() << "\n";
    std::map<std::uint32_t, const PeResource*> dialogs;
    for (const PeResource& r : image.resources) {
        out << "  type " << r.type << " id " << r.id << " language 0x" << std::hex << std::setw(4)
            << std::setfill('0') << r.language << std::dec << std::setfill(' ') << " size "
            << r.data.size() << "\n";
        check.Expect(r.type == kDialogType, "unexpected resource type " + std::to_string(r.type));
        if (r.type != kDialogType) continue;
        check.Expect(r.language == kDialogLanguage,
                     "dialog " + std::to_string(r.id) + " has language " +
                         std::to_string(r.language) + ", expected 1033 (0x0409)");
        check.Expect(dialogs.emplace(r.id, &r).second,
                     "dialog " + std::to_string(r.id) + " appears more than once");
    }
    const auto expected = ExpectedDialogs();
    check.Expect(dialogs.size() == expected.size(), "expected " + std::to_string(expected.size()) +
                                                        " dialogs, found " +
                                                        std::to_string(dialogs.size()));
    for (const ExpectedDialog& want : expected) {
        const auto it = dialogs.find(want.id);
        if (it == dialogs.end()) {
            check.Expect(false, "dialog " + std::to_string(want.id) + " is missing");
            continue;
        }
        DialogTemplate actual;
        std::string error;
        const bool parsed = ParseDialogTemplate(it->second->data, actual, error);
        check.Expect(parsed, "dialog " + std::to_string(want.id) + ": " + error);
        if (!parsed) continue;
        out << "dialog " << want.id << ":\n" << DescribeDialog(actual);
        for (const std::string& difference : CompareDialogs(want.dialog, actual))
            check.Expect(false, "dialog " + std::to_string(want.id) + " " + difference);
    }
}

// The loader's view must match the file's.
void CheckLoaded(const std::string& path, const PeImage& image, Checker& check) {
    auto& out = check.Out();
    ModuleLoader module(path);
    check.Expect(module.Loaded(), "cannot load " + path + ": " + module.Error());
    if (!module.Loaded()) return;
    for (const ExpectedExport& want : kExpectedExports) {
        void* byName = module.ByName(want.name);
        void* byOrdinal = module.ByOrdinal(want.ordinal);
        out << "loaded: " << want.name << " by name " << byName << ", by ordinal " << want.ordinal
            << " " << byOrdinal << "\n";
        check.Expect(byName != nullptr, std::string(want.name) + " not found by name");
        check.Expect(byOrdinal == byName, std::string(want.name) + " by ordinal " +
                                              std::to_string(want.ordinal) +
                                              " differs from the one by name");
        for (const PeExport& e : image.exports)
            if (e.name == want.name)
                check.Expect(reinterpret_cast<std::uintptr_t>(byName) == module.Base() + e.rva,
                             std::string(want.name) + " is not at its exported address");
    }
    check.Expect(module.ByOrdinal(3) == nullptr, "something is exported at ordinal 3");
    for (const PeResource& r : image.resources) {
        std::string bytes;
        const bool found = module.Resource(r.type, r.id, r.language, bytes);
        check.Expect(found, "the loader does not find resource " + std::to_string(r.id));
        check.Expect(
            !found || bytes == std::string(r.data.begin(), r.data.end()),
            "the loader's bytes of resource " + std::to_string(r.id) + " differ from the file's");
        if (found) out << "loaded: resource " << r.id << " (" << bytes.size() << " bytes)\n";
    }
}

void CheckParsed(const PeImage& image, Checker& check) {
    auto& out = check.Out();
    out << "machine 0x" << std::hex << image.machine << ", characteristics 0x"
        << image.characteristics << ", optional header magic 0x" << image.optionalMagic << std::dec
        << "\n";
    check.Expect(image.machine == kMachineI386, "not an i386 image");
    check.Expect((image.characteristics & kFileDll) != 0, "not a DLL");
    check.Expect((image.characteristics & kFile32BitMachine) != 0, "not marked 32-bit");
    CheckExports(image, check);
    CheckResources(image, check);
}

}  // namespace

int CheckImage(const PeImage& image, std::ostream& out) {
    Checker check(out);
    CheckParsed(image, check);
    return check.Failures();
}

int CheckModule(const std::string& path, std::ostream& out) {
    Checker check(out);
    std::ifstream in(path, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    check.Expect(static_cast<bool>(in) || in.eof(), "cannot read " + path);
    PeImage image;
    std::string error;
    const bool parsed = ParsePeImage(file, image, error);
    check.Expect(parsed, path + ": " + error);
    if (parsed) {
        out << "module: " << path << "\n";
        CheckParsed(image, check);
        if (ModuleLoader::HasOrdinals()) CheckLoaded(path, image, check);
    }
    out << (check.Failures() == 0 ? "module check passed" : "module check FAILED") << " ("
        << check.Failures() << " failures)\n";
    return check.Failures();
}

}  // namespace winhost
