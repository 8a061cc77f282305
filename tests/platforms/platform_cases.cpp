// The same cases on every platform: seeded random inputs for all four
// plug-ins, run through the stand-in host, every result written bit for bit
// into one dump file; dumps of different builds are then compared bit for bit.
//
//   platform_cases run PLUGIN_DIR DUMP [SUFFIX [NAME...]]
//                                          runs every case (of the plug-ins
//                                          NAME only, when given) with the
//                                          plug-ins PLUGIN_DIR/NAME.SUFFIX
//                                          (default .mexstandin), writes DUMP
//   platform_cases compare REFERENCE DUMP...
//                                          prints, for each DUMP, how many
//                                          result bits differ from REFERENCE;
//                                          fails unless none does
//   platform_cases inputs FILE             writes the cases to FILE for a
//                                          host that runs them itself (the
//                                          Octave tests): the case count, then
//                                          per case the plug-in's name, the
//                                          result count and the inputs, each
//                                          as rows, columns and its doubles
//                                          (counts int32, name length first;
//                                          native byte order)
//
// The inputs come from splitmix64 and integer arithmetic alone, so every
// platform makes the same ones; their digest is checked against the value
// below before anything runs.
//
// A plug-in that is a macOS bundle (.mexmaci64) runs through the Mach-O
// loader (macho_loader.h) where this program is built for Linux x86-64; the
// vector unit reported is then the one the bundle itself chooses.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "../seeded_sequence.h"
#include "parallel.h"
#include "standin.h"
#include "vector_unit.h"
#if defined(PLATFORM_CASES_MACHO)
#include "macho_loader.h"
#endif

namespace
{

constexpr std::uint64_t kInputDigest = 118736930047584593ull;

struct Digest {
    std::uint64_t value = 0xCBF29CE484222325ull;
    void add(const double* values, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            std::uint64_t bits;
            std::memcpy(&bits, &values[i], sizeof bits);
            for (int byte = 0; byte < 8; ++byte) {
                value = (value ^ ((bits >> (8 * byte)) & 0xFF)) * 0x100000001B3ull;
            }
        }
    }
};

struct ArrayDeleter {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using Array = std::unique_ptr<mxArray, ArrayDeleter>;

struct Case {
    std::string plugin;
    int results;
    std::vector<Array> inputs;
};

// A rows-by-columns matrix; each element drawn by draw, added to the digest.
template <typename Draw> Array matrix(int rows, int columns, Digest* digest, Draw draw)
{
    Array array(mxCreateDoubleMatrix(rows, columns, mxREAL));
    double* data = mxGetPr(array.get());
    const std::size_t count = std::size_t(rows) * std::size_t(columns);
    for (std::size_t i = 0; i < count; ++i) data[i] = draw();
    if (count > 0) digest->add(data, count);
    return array;
}

std::vector<Case> makeCases(Digest* digest)
{
    Sequence random{0x5EED2026};
    std::vector<Case> cases;
    auto probability = [&] { return random.unit(); };
    // Likelihoods spanning many magnitudes, some exactly zero.
    auto likelihood = [&] {
        if (random.below(16) == 0) return 0.0;
        const double mantissa = random.unit() + 0x1p-53;
        return std::ldexp(mantissa, -random.below(40));
    };
    const int chainSizes[][2] = {{1, 1},   {2, 7},  {3, 50},  {5, 200}, {8, 33},
                                 {13, 64}, {17, 9}, {32, 40}, {47, 25}, {64, 12}};
    for (const auto& size : chainSizes) {
        const int K = size[0], T = size[1];
        Case sweep{"chainsweep", 5, {}};
        sweep.inputs.push_back(matrix(K, 1, digest, probability));
        sweep.inputs.push_back(matrix(K, K, digest, probability));
        sweep.inputs.push_back(matrix(K, T, digest, likelihood));
        cases.push_back(std::move(sweep));

        Case tally{"pairtally", 1, {}};
        tally.inputs.push_back(matrix(K, T, digest, probability));
        tally.inputs.push_back(matrix(K, T, digest, probability));
        tally.inputs.push_back(matrix(K, K, digest, probability));
        tally.inputs.push_back(matrix(K, T, digest, likelihood));
        cases.push_back(std::move(tally));

        for (double normalise : {0.0, 1.0}) {
            Case trace{"pathtrace", 3, {}};
            trace.inputs.push_back(matrix(K, T, digest, likelihood));
            trace.inputs.push_back(matrix(K, 1, digest, probability));
            trace.inputs.push_back(matrix(K, K, digest, probability));
            trace.inputs.push_back(matrix(1, 1, digest, [&] { return normalise; }));
            cases.push_back(std::move(trace));
        }
    }
    const int costSizes[][2] = {{1, 1},   {3, 3},   {4, 7},   {9, 5},
                                {16, 16}, {30, 31}, {50, 50}, {77, 60}};
    for (const auto& size : costSizes) {
        const int M = size[0], N = size[1];
        // Costs on a grid (ties) and spread ones, some forbidden (infinite).
        auto cost = [&] {
            const int kind = random.below(10);
            if (kind == 0) return std::numeric_limits<double>::infinity();
            if (kind < 4) return double(random.below(8));
            return random.unit() * 1000.0;
        };
        Case match{"bestmatch", 2, {}};
        match.inputs.push_back(matrix(M, N, digest, cost));
        cases.push_back(std::move(match));
    }
    return cases;
}

// The plug-in file's mexFunction, and in *unit the vector unit it chooses.
standin::MexFunction loadPlugin(const std::string& path, VectorUnit* unit)
{
#if defined(PLATFORM_CASES_MACHO)
    if (isMachOFile(path)) {
        const standin::MexFunction function = loadMachOBundle(path);
        auto widest =
            reinterpret_cast<VectorUnit (*)()>(machOBundleSymbol(path, "__Z16widestVectorUnitv"));
        if (!widest) throw std::runtime_error("no widestVectorUnit in " + path);
        *unit = widest();
        return function;
    }
#endif
    *unit = widestVectorUnit();
    return standin::loadPlugin(path);
}

int run(const std::string& dir, const std::string& dumpPath, const std::string& suffix,
        const std::vector<std::string>& only)
{
    Digest digest;
    std::vector<Case> cases = makeCases(&digest);
    if (digest.value != kInputDigest) {
        std::fprintf(stderr, "platform_cases: inputs differ from the recorded ones (digest %llu)\n",
                     static_cast<unsigned long long>(digest.value));
        return 1;
    }
    if (!only.empty()) {
        cases.erase(std::remove_if(cases.begin(), cases.end(),
                                   [&](const Case& one) {
                                       return std::find(only.begin(), only.end(), one.plugin) ==
                                              only.end();
                                   }),
                    cases.end());
    }
    std::ofstream dump(dumpPath, std::ios::binary);
    Digest outputs;
    std::size_t values = 0;
    VectorUnit unit = widestVectorUnit();
    for (const Case& one : cases) {
        const standin::MexFunction function = loadPlugin(dir + "/" + one.plugin + suffix, &unit);
        std::vector<const mxArray*> inputs;
        for (const Array& input : one.inputs) inputs.push_back(input.get());
        standin::CallOutcome outcome = standin::call(function, one.results, inputs);
        if (!outcome.completed) {
            std::fprintf(stderr, "platform_cases: %s refused: %s\n", one.plugin.c_str(),
                         outcome.error.c_str());
            return 1;
        }
        for (mxArray* result : outcome.results) {
            const std::size_t count = mxGetNumberOfElements(result);
            const double* data = mxGetPr(result);
            if (count > 0) {
                dump.write(reinterpret_cast<const char*>(data),
                           std::streamsize(count * sizeof(double)));
                outputs.add(data, count);
            }
            values += count;
            mxDestroyArray(result);
        }
    }
    if (!dump) {
        std::fprintf(stderr, "platform_cases: cannot write %s\n", dumpPath.c_str());
        return 1;
    }
    std::printf("%zu cases, %zu result values, digest %016llx (vector unit %s, %d threads)\n",
                cases.size(), values, static_cast<unsigned long long>(outputs.value),
                vectorUnitName(unit), configuredThreads());
    return 0;
}

template <typename Value> void writeValue(std::ofstream& file, Value value)
{
    file.write(reinterpret_cast<const char*>(&value), sizeof value);
}

int writeInputs(const std::string& path)
{
    Digest digest;
    const std::vector<Case> cases = makeCases(&digest);
    if (digest.value != kInputDigest) {
        std::fprintf(stderr, "platform_cases: inputs differ from the recorded ones\n");
        return 1;
    }
    std::ofstream file(path, std::ios::binary);
    writeValue(file, std::int32_t(cases.size()));
    for (const Case& one : cases) {
        writeValue(file, std::int32_t(one.plugin.size()));
        file.write(one.plugin.data(), std::streamsize(one.plugin.size()));
        writeValue(file, std::int32_t(one.results));
        writeValue(file, std::int32_t(one.inputs.size()));
        for (const Array& input : one.inputs) {
            const std::size_t count = mxGetNumberOfElements(input.get());
            writeValue(file, std::int32_t(mxGetM(input.get())));
            writeValue(file, std::int32_t(mxGetN(input.get())));
            file.write(reinterpret_cast<const char*>(mxGetPr(input.get())),
                       std::streamsize(count * sizeof(double)));
        }
    }
    if (!file) {
        std::fprintf(stderr, "platform_cases: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%zu cases written to %s\n", cases.size(), path.c_str());
    return 0;
}

std::vector<unsigned char> readAll(const std::string& path, bool* ok)
{
    std::ifstream file(path, std::ios::binary);
    *ok = bool(file);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
}

int compare(int count, char** paths)
{
    bool ok = false;
    const std::vector<unsigned char> reference = readAll(paths[0], &ok);
    if (!ok || reference.empty()) {
        std::fprintf(stderr, "platform_cases: cannot read %s\n", paths[0]);
        return 1;
    }
    std::printf("reference %s: %zu result bits\n", paths[0], reference.size() * 8);
    int failures = 0;
    for (int i = 1; i < count; ++i) {
        const std::vector<unsigned char> other = readAll(paths[i], &ok);
        unsigned long long differing = 0;
        for (std::size_t b = 0; b < reference.size() && b < other.size(); ++b) {
            unsigned bits = reference[b] ^ other[b];
            for (; bits; bits &= bits - 1) ++differing;
        }
        const bool sameSize = ok && other.size() == reference.size();
        std::printf("  %-48s %llu differing bits%s\n", paths[i], differing,
                    sameSize ? "" : " (sizes differ)");
        if (differing != 0 || !sameSize) ++failures;
    }
    std::printf("%d of %d builds differ from the reference\n", failures, count - 1);
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "run" && argc >= 4) {
            return run(argv[2], argv[3], argc >= 5 ? argv[4] : ".mexstandin",
                       std::vector<std::string>(argv + std::min(argc, 5), argv + argc));
        }
        if (command == "compare" && argc >= 3) return compare(argc - 2, argv + 2);
        if (command == "inputs" && argc == 3) return writeInputs(argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "platform_cases: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: platform_cases run PLUGIN_DIR DUMP [SUFFIX [NAME...]] | compare "
                         "REFERENCE DUMP... | inputs FILE\n");
    return 2;
}
