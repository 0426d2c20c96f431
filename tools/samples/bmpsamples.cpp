// Writes the sample set and its manifest (name, expectation, label; tab
// separated) into the directory given.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "SampleSet.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bmpsamples DIRECTORY\n");
        return 2;
    }
    const std::string directory = argv[1];
    if (::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "error: cannot make %s: %s\n", directory.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::ofstream manifest(directory + "/MANIFEST.tsv");
    for (const auto& sample : samples::MakeSamples()) {
        const std::string path = directory + "/" + sample.name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(sample.bytes.data()),
                  static_cast<std::streamsize>(sample.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "error: cannot write %s\n", path.c_str());
            return 1;
        }
        manifest << sample.name << '\t' << sample.expectation << '\t' << sample.label << '\n';
    }
    if (!manifest) {
        std::fprintf(stderr, "error: cannot write the manifest in %s\n", directory.c_str());
        return 1;
    }
    return 0;
}
