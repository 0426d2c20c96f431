#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace winhost {

// Drives the module's filters over `samples` as a host does and writes what
// came out into `outDir`: per sample a report (probe, description, import
// result, warnings, progress texts, image geometry, export statuses), the
// imported image's colour table and rows, and the file the export wrote;
// then exports of images made here in every colour format. Everything written
// depends only on the module's behaviour, not on the platform or on where the
// files are, so two runs can be compared byte for byte. Returns false when the
// module cannot be loaded or the output cannot be written.
bool RunSamples(const std::string& modulePath, const std::string& outDir,
                const std::vector<std::string>& samples, std::ostream& log);

}  // namespace winhost
