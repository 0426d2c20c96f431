#pragma once
// Running the command-line tools as a user does, and reading images with
// Pillow, an independent BMP and PNG reader.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/Plugin.h"

namespace tooltest {

using testsupport::TempDir;

inline std::string ReadText(const std::string& path) {
    const testsupport::Bytes bytes = testsupport::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

inline std::string ShellWords(const std::vector<std::string>& argv) {
    std::string command;
    for (const auto& arg : argv) {
        std::string quoted;
        for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += "'" + quoted + "' ";
    }
    return command;
}

// Runs argv[0] with stdin from /dev/null, after `shell` (words such as a
// ulimit, or a pipe into it), or, when that is "tty", on a terminal of its
// own, whose output comes in `out`. Output goes to files: a child that fills
// a pipe nobody reads would hang.
inline RunResult Run(const std::vector<std::string>& argv, const std::string& shell = "") {
    const TempDir dir;
    const std::string command = shell == "tty"
                                    ? ShellWords({"script", "-qec", ShellWords(argv), "/dev/null"})
                                    : shell + ShellWords(argv);
    const int status = std::system(
        ("exec </dev/null; " + command + " >'" + dir.File("out") + "' 2>'" + dir.File("err") + "'")
            .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            ReadText(dir.File("out")), ReadText(dir.File("err"))};
}

// A run that hangs is killed after a minute, and fails.
inline RunResult Bmphost(std::vector<std::string> args, const std::string& shell = "") {
    args.insert(args.begin(), {"/usr/bin/timeout", "--foreground", "-s", "KILL", "60", BMPHOST_PATH,
                               "--module", BMPFILTER_MODULE_PATH});
    return Run(args, shell);
}

// The main job's sample set, written once per test program.
struct SampleEntry {
    std::string name, expectation, label;  // expectation: ok, question or "error LINE"
};

inline const TempDir& SampleDir() {
    static const TempDir dir;
    return dir;
}

inline const std::vector<SampleEntry>& Samples() {
    static const std::vector<SampleEntry> entries = [] {
        const RunResult run = Run({BMPSAMPLES_PATH, SampleDir().File("samples")});
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<SampleEntry> out;
        std::istringstream manifest(ReadText(SampleDir().File("samples/MANIFEST.tsv")));
        SampleEntry e;
        while (std::getline(manifest, e.name, '\t') &&
               std::getline(manifest, e.expectation, '\t') && std::getline(manifest, e.label))
            out.push_back(e);
        return out;
    }();
    return entries;
}

inline std::string SamplePath(const std::string& name) {
    Samples();
    return SampleDir().File("samples/" + name);
}

// An image as Pillow reads it, top row first; `read` is false when it cannot.
struct PillowImage {
    bool read = false;
    std::string mode;
    int width = 0, height = 0, compression = 0;  // compression of a BMP file
    long xppm = 0, yppm = 0;                     // the resolution, pixels per metre

    std::vector<unsigned char> rgba;
};

// One Pillow run for all the files; it leaves PATH.rgba beside each.
inline std::map<std::string, PillowImage> ReadWithPillow(const std::vector<std::string>& paths) {
    std::vector<std::string> argv = {
        "/usr/bin/python3", "-c",
        "import sys\n"
        "from PIL import Image\n"
        "for path in sys.argv[1:]:\n"
        "    try:\n"
        "        im = Image.open(path); im.load()\n"
        "    except Exception:\n"
        "        print('-'); continue\n"
        "    dpi = im.info.get('dpi', (0, 0))\n"
        "    print(im.mode, *im.size, im.info.get('compression', 0),\n"
        "          *(round(d * 39.3701) for d in dpi))\n"
        "    open(path + '.rgba', 'wb').write(im.convert('RGBA').tobytes())\n"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    const RunResult run = Run(argv);
    EXPECT_EQ(run.status, 0) << "Pillow (Debian python3-pil) is needed: " << run.err;
    std::map<std::string, PillowImage> images;
    std::istringstream lines(run.out);
    for (const auto& path : paths) {
        std::string line;
        std::getline(lines, line);
        PillowImage& image = images[path];
        std::istringstream fields(line);
        image.read = static_cast<bool>(fields >> image.mode >> image.width >> image.height >>
                                       image.compression >> image.xppm >> image.yppm);
        const std::string rgba = image.read ? ReadText(path + ".rgba") : "";
        image.rgba.assign(rgba.begin(), rgba.end());
    }
    return images;
}

}  // namespace tooltest
