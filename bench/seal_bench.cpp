// Sealing memory: an installer sealed from files read when their turn comes (AddFileForSaving, as
// build, pack and the builder seal) against the same files held in memory first (AddFile, the
// way they were sealed before), with deflate and Zstandard levels: size, wall time and peak
// memory of each, the bytes compared. Next to them the compressor's own state: the peak of a
// bare Zstandard stream at the same settings fed from one 1 MiB buffer, so that what sealing
// adds to it shows. By default the largest 300 files of Debian's wine32 i386-windows folder.
// Usage: seal_bench [FOLDER [COUNT [LEVEL...]]]
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "measure.h"
#include "platform.h"
#include "xc_exetailhelper.h"
#include "zstdimage.h"
#include "zstdmember.h"

namespace {

const char kReferenceTree[] = "/usr/lib/i386-linux-gnu/wine/i386-windows";
// What sealing may add to the compressor's own state, whatever the tree's size.
constexpr double kBoundMiB = 64;

struct Run {
    double seconds = 0, peak = 0, size = 0;
    bool ok = false;
};

// Seals the files onto the stub at `level` (0: deflate), held first or read when saved.
Run Seal(const std::string& stub, const std::vector<std::string>& files, int level, bool held, const std::string& out) {
    Run run;
    run.peak = PeakMiB([&] {
        const auto start = std::chrono::steady_clock::now();
        XC_ExeTailHelper archive;
        bool ok = archive.LoadFromExe(stub.c_str());
        for (size_t i = 0; ok && i < files.size(); ++i) {
            const std::string key = "FILE" + std::to_string(i);
            ok = held ? archive.AddFile(key.c_str(), files[i].c_str())
                      : archive.AddFileForSaving(key.c_str(), files[i].c_str());
        }
        ok = ok &&
             (level == 0 ? archive.SaveToExe(out.c_str()) : archive.SaveToExe(out.c_str(), ZstdImagePacker(level, 0)));
        run.ok = ok;
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    run.size = std::filesystem::file_size(out) / kMiB;
    return run;
}

// The compressor alone at the sealing's settings, fed the files a piece at a time: its peak.
double CompressorPeak(const std::vector<std::string>& files, uint64_t total, int level) {
    return PeakMiB([&] {
        ZSTD_CCtx* encoder = ZSTD_createCCtx();
        ZSTD_CCtx_setParameter(encoder, ZSTD_c_compressionLevel, level);
        ZSTD_CCtx_setParameter(encoder, ZSTD_c_windowLog, kZstdWindowLogMax);
        ZSTD_CCtx_setParameter(encoder, ZSTD_c_enableLongDistanceMatching, 1);
        ZSTD_CCtx_setParameter(encoder, ZSTD_c_nbWorkers, int(platform::ProcessorCount()));
        ZSTD_CCtx_setPledgedSrcSize(encoder, total);
        std::vector<char> in(1 << 20), out(ZSTD_CStreamOutSize());
        const auto drain = [&](ZSTD_inBuffer* input, ZSTD_EndDirective mode) {
            for (;;) {
                ZSTD_outBuffer output{out.data(), out.size(), 0};
                const size_t left = ZSTD_compressStream2(encoder, &output, input, mode);
                if (ZSTD_isError(left) || (mode == ZSTD_e_end ? left == 0 : input->pos == input->size)) return;
            }
        };
        for (const std::string& file : files) {
            std::ifstream source(file, std::ios::binary);
            while (source.read(in.data(), in.size()) || source.gcount() > 0) {
                ZSTD_inBuffer input{in.data(), size_t(source.gcount()), 0};
                drain(&input, ZSTD_e_continue);
            }
        }
        ZSTD_inBuffer none{nullptr, 0, 0};
        drain(&none, ZSTD_e_end);
        ZSTD_freeCCtx(encoder);
    });
}

bool SameBytes(const std::string& one, const std::string& other) {
    if (std::filesystem::file_size(one) != std::filesystem::file_size(other)) return false;
    std::ifstream a(one, std::ios::binary), b(other, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(b));
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path tree = argc > 1 ? argv[1] : kReferenceTree;
    const size_t count = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 300;
    std::vector<int> levels = {0};
    for (int i = 3; i < argc; ++i) levels.push_back(std::atoi(argv[i]));
    if (argc <= 3) levels.insert(levels.end(), {3, kZstdDefaultLevel});

    std::vector<std::pair<uintmax_t, std::string>> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(tree, error))
        if (entry.is_regular_file() && !entry.is_symlink()) found.push_back({entry.file_size(), entry.path().string()});
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    if (found.size() > count) found.resize(count);
    if (found.empty()) {
        std::fprintf(stderr, "seal_bench: no files in %s (wine32 installs them)\n", tree.string().c_str());
        return 1;
    }
    std::vector<std::string> files;
    uint64_t total = 0;
    for (const auto& file : found) {
        files.push_back(file.second);
        total += file.first;
    }

    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    const std::string stub = (temp / "seal_bench_stub.exe").string();
    const std::string streamed_out = (temp / "seal_bench_streamed.exe").string();
    const std::string held_out = (temp / "seal_bench_held.exe").string();
    std::ofstream(stub, std::ios::binary) << std::string(65536, 'S');

    std::printf("tree: %zu files, %.1f MiB (%s); threads: one per processor\n", files.size(), total / kMiB,
                tree.string().c_str());
    std::printf("%-16s %9s | %9s %9s | %9s %9s | %11s %9s | %s\n", "", "size MiB", "held s", "peak MiB", "read s",
                "peak MiB", "compressor", "added", "bytes");
    bool ok = true;
    for (int level : levels) {
        // Read when saved first: whatever the held run leaves to the allocator is not counted.
        const Run streamed = Seal(stub, files, level, false, streamed_out);
        const Run held = Seal(stub, files, level, true, held_out);
        const bool same = streamed.ok && held.ok && SameBytes(streamed_out, held_out);
        ok = ok && same;
        const double compressor = level == 0 ? 0 : CompressorPeak(files, total, level);
        const std::string name = level == 0 ? "deflate 8" : "zstd " + std::to_string(level);
        std::printf("%-16s %9.1f | %9.2f %9.1f | %9.2f %9.1f | %11.1f %9.1f | %s\n", name.c_str(), streamed.size,
                    held.seconds, held.peak, streamed.seconds, streamed.peak, compressor, streamed.peak - compressor,
                    same ? "same" : "DIFFER");
    }
    std::printf("read when saved: peak minus the compressor's own state, aim <= %.0f MiB whatever the tree's size\n",
                kBoundMiB);
    std::remove(stub.c_str());
    std::remove(streamed_out.c_str());
    std::remove(held_out.c_str());
    if (!ok) std::fprintf(stderr, "seal_bench: a save failed or the bytes differ\n");
    return ok ? 0 : 1;
}
