// Sealing with Zstandard against deflate on a tree of real Windows PE files (by default the
// largest 300 of Debian's wine32 i386-windows library folder, there on every build machine
// after set-up): installer size, pack time (wall, one thread per processor for both) and
// LoadFromExe time (CPU, best of three) and peak memory, next to the floor of a plain
// ZSTD_decompress into new memory plus the CRC-32, all measured in this run.
// Usage: zstd_bench [FOLDER [COUNT [LEVEL]]]
#define ZSTD_STATIC_LINKING_ONLY
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "measure.h"
#include "xc_exetailhelper.h"
#include "zstdimage.h"
#include "zstdmember.h"

namespace {

const char kReferenceTree[] = "/usr/lib/i386-linux-gnu/wine/i386-windows";

double WallSeconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path tree = argc > 1 ? argv[1] : kReferenceTree;
    const size_t count = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 300;
    const int level = argc > 3 ? std::atoi(argv[3]) : kZstdDefaultLevel;
    std::vector<std::pair<uintmax_t, std::string>> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(tree, error))
        if (entry.is_regular_file() && !entry.is_symlink()) files.push_back({entry.file_size(), entry.path().string()});
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    if (files.size() > count) files.resize(count);
    if (files.empty()) {
        std::fprintf(stderr, "zstd_bench: no files in %s (wine32 installs them)\n", tree.c_str());
        return 1;
    }

    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    const std::string stub = (temp / "zstd_bench_stub.exe").string();
    const std::string deflated = (temp / "zstd_bench_deflate.exe").string();
    const std::string zstd = (temp / "zstd_bench_zstd.exe").string();
    std::ofstream(stub, std::ios::binary) << std::string(65536, 'S');
    XC_ExeTailHelper archive;
    archive.LoadFromExe(stub.c_str());
    for (size_t i = 0; i < files.size(); ++i)
        archive.AddFile(("FILE" + std::to_string(i)).c_str(), files[i].second.c_str());

    bool ok = true;
    const double deflate_pack = WallSeconds([&] { ok = archive.SaveToExe(deflated.c_str()) && ok; });
    const double zstd_pack =
        WallSeconds([&] { ok = archive.SaveToExe(zstd.c_str(), ZstdImagePacker(level, 0)) && ok; });
    const auto load = [&](const std::string& path) {
        return [&ok, path] {
            XC_ExeTailHelper reader;
            ok = reader.LoadFromExe(path.c_str()) && !reader.IsEmpty() && ok;
        };
    };
    const double deflate_load = BestSeconds(load(deflated));
    const double zstd_load = BestSeconds(load(zstd));
    const double deflate_peak = PeakMiB(load(deflated));
    const double zstd_peak = PeakMiB(load(zstd));

    // The floor: the same body in one frame at the same settings, decoded into new memory.
    std::string body;
    archive.ForEachEntry([&](const std::string& key, const XC_MemSpace& data) {
        const uint32_t head[2] = {data.size, uint32_t(key.size())};
        body.append(reinterpret_cast<const char*>(head), 8);
        body += key;
        body.append(4, '\0');
        body.append(reinterpret_cast<const char*>(data.data), data.size);
    });
    ZSTD_CCtx* encoder = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(encoder, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(encoder, ZSTD_c_windowLog, kZstdWindowLogMax);
    ZSTD_CCtx_setParameter(encoder, ZSTD_c_enableLongDistanceMatching, 1);
    ZSTD_CCtx_setParameter(encoder, ZSTD_c_nbWorkers, 2);
    std::vector<char> frame(ZSTD_compressBound(body.size()));
    frame.resize(ZSTD_compress2(encoder, frame.data(), frame.size(), body.data(), body.size()));
    ZSTD_freeCCtx(encoder);
    const double floor = BestSeconds([&] {
        std::unique_ptr<uint8_t[]> fresh(new uint8_t[body.size()]);
        ZSTD_DCtx* decoder = ZSTD_createDCtx();
        ZSTD_DCtx_setParameter(decoder, ZSTD_d_windowLogMax, kZstdWindowLogMax);
        const size_t got = ZSTD_decompressDCtx(decoder, fresh.get(), body.size(), frame.data(), frame.size());
        ZSTD_freeDCtx(decoder);
        ok = got == body.size() && crc32_z(0, fresh.get(), got) != 0 && ok;
    });

    const double unpacked = body.size() / kMiB;
    const double deflate_mib = std::filesystem::file_size(deflated) / kMiB;
    const double zstd_mib = std::filesystem::file_size(zstd) / kMiB;
    std::printf("tree: %zu files, %.1f MiB unpacked body (%s); zstd level %d, long window\n", files.size(), unpacked,
                tree.c_str(), level);
    std::printf("%-22s %10s %9s %9s %9s\n", "", "size MiB", "pack s", "load s", "peak MiB");
    std::printf("%-22s %10.1f %9.2f %9.3f %9.1f\n", "deflate level 8", deflate_mib, deflate_pack, deflate_load,
                deflate_peak);
    std::printf("%-22s %10.1f %9.2f %9.3f %9.1f\n", "zstd", zstd_mib, zstd_pack, zstd_load, zstd_peak);
    std::printf("%-22s %10s %9s %9.3f\n", "ZSTD_decompress + CRC", "", "", floor);
    std::printf("size %.3f of deflate's (aim <= 0.65); pack %.2f of deflate's (aim <= 1.00)\n", zstd_mib / deflate_mib,
                zstd_pack / deflate_pack);
    std::printf("load %.2f x faster than deflate's (aim >= 1.50); %.2f of the floor's speed (aim >= 0.90)\n",
                deflate_load / zstd_load, floor / zstd_load);
    std::printf("peak %.1f MiB, aim <= %.1f (file + 1.05 x unpacked)\n", zstd_peak, zstd_mib + 1.05 * unpacked);
    std::remove(stub.c_str());
    std::remove(deflated.c_str());
    std::remove(zstd.c_str());
    if (!ok) std::fprintf(stderr, "zstd_bench: a save or a load failed\n");
    return ok ? 0 : 1;
}
