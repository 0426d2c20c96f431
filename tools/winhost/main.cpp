// A small host for the plug-in, built for Windows and for Linux alike.
//   winhost run MODULE OUTDIR SAMPLE...  imports and exports the samples
// Runs of the Windows and the Linux build on the same samples must leave
// identical output directories.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "SampleRun.h"

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "run") == 0) {
        const std::vector<std::string> samples(argv + 4, argv + argc);
        return winhost::RunSamples(argv[2], argv[3], samples, std::cerr) ? 0 : 1;
    }
    std::cerr << "usage: winhost run MODULE OUTDIR SAMPLE...\n";
    return 2;
}
