// Runs every file of a fuzz corpus through a built plug-in with the checks of
// the fuzz targets, so that the corpus is a set of regression cases without
// needing the fuzzing compiler. Usage: fuzz_corpus_driver NAME PLUGIN_FILE DIR

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fuzz_harness.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s NAME PLUGIN_FILE CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const std::map<std::string, const fuzz::Plugin*> plugins{
        {"chainsweep", &fuzz::chainsweepPlugin()},
        {"pairtally", &fuzz::pairtallyPlugin()},
        {"bestmatch", &fuzz::bestmatchPlugin()},
        {"pathtrace", &fuzz::pathtracePlugin()}};
    const auto plugin = plugins.find(argv[1]);
    if (plugin == plugins.end()) {
        std::fprintf(stderr, "no fuzz description of %s\n", argv[1]);
        return 2;
    }
    const standin::MexFunction function = standin::loadPlugin(argv[2]);
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[3])) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    int failures = 0;
    int completedCalls = 0;
    for (const auto& file : files) {
        std::ifstream stream(file, std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(stream)),
                                               std::istreambuf_iterator<char>());
        bool completed = false;
        const std::string problem =
            fuzz::runOnce(*plugin->second, function, bytes.data(), bytes.size(), &completed);
        completedCalls += completed;
        if (!problem.empty()) {
            std::fprintf(stderr, "%s: %s\n", file.filename().string().c_str(), problem.c_str());
            ++failures;
        }
    }
    std::printf("%s: %zu corpus files (%d calls completed, the others refused), %d failed\n",
                argv[1], files.size(), completedCalls, failures);
    return files.empty() || failures ? 1 : 0;
}
