// Payload throughput and memory: SaveToExe (on one thread, and on one per processor) and
// LoadFromExe on a 64 MiB mixed payload, next to raw single-thread deflate (level 8), raw inflate into a warm buffer
// and into new memory with a CRC-32 (what any loader must do at least), and AES, all measured in this run. Times are
// the best of three, in the process's CPU time where it ticks finely enough (POSIX), so that other work on a shared
// machine does not count, else in wall time; peak memory (resident set on POSIX, private commit
// on Windows) is measured in a run of its own around each call, above what the process held
// before it.
// Usage: payload_bench [MiB]   (default 64). The Windows build runs under Wine or on Windows and
// measures the product's own platform layer.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "measure.h"
#include "xc_aescipher.h"
#include "xc_exetailhelper.h"
#include "xc_memspace.h"

namespace {

// An application tree's mix: text-like files, incompressible media and sparse binaries.
std::vector<uint8_t> MixedBytes(size_t size) {
    static const char* words[] = {"inkscape",  "path",    "<svg", "width=",     "\"100\"", "laser", "engrave", "</g>",
                                  "transform", "matrix(", "0.5",  "fill:none;", "stroke",  "\r\n",  "  ",      "id="};
    std::mt19937 random(42);
    std::vector<uint8_t> bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        const size_t chunk = std::min<size_t>(size - bytes.size(), 4096 + random() % 65536);
        switch (random() % 3) {
            case 0:
                while (bytes.size() < size && chunk > 0) {
                    const char* word = words[random() % 16];
                    bytes.insert(bytes.end(), word, word + std::strlen(word));
                    if (bytes.size() % 4096 < 8) break;
                }
                break;
            case 1:
                for (size_t i = 0; i < chunk; ++i) bytes.push_back(uint8_t(random()));
                break;
            default:
                for (size_t i = 0; i < chunk; ++i) bytes.push_back(i % 16 < 12 ? 0 : uint8_t(random() % 8));
                break;
        }
    }
    bytes.resize(size);
    return bytes;
}

std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& input) {
    z_stream stream{};
    deflateInit2(&stream, 8, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> output(deflateBound(&stream, input.size()));
    stream.next_in = const_cast<uint8_t*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    deflate(&stream, Z_FINISH);
    output.resize(stream.total_out);
    deflateEnd(&stream);
    return output;
}

void RawInflate(const std::vector<uint8_t>& input, std::vector<uint8_t>* output) {
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    stream.next_in = const_cast<uint8_t*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = output->data();
    stream.avail_out = static_cast<uInt>(output->size());
    inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const size_t size = mib * 1024 * 1024;
    const std::vector<uint8_t> bytes = MixedBytes(size);
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    const std::string stub_path = (temp / "payload_bench_stub.exe").string();
    const std::string out_path = (temp / "payload_bench_out.exe").string();
    {
        std::FILE* stub = std::fopen(stub_path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, 65536, stub);  // any bytes without the magic will do
        std::fclose(stub);
    }

    // The same bytes as entries of application-like sizes.
    XC_ExeTailHelper archive;
    archive.LoadFromExe(stub_path.c_str());
    std::mt19937 random(7);
    size_t entries = 0;
    for (size_t offset = 0; offset < size; ++entries) {
        const size_t length = std::min<size_t>(size - offset, 1 + random() % (256 * 1024));
        XC_MemSpace block(static_cast<uint32_t>(length), 0);
        std::memcpy(block.data, bytes.data() + offset, length);
        archive.AddMemory(("FILE" + std::to_string(entries)).c_str(), &block);
        offset += length;
    }

    std::vector<uint8_t> deflated;
    const double deflate_s = BestSeconds([&] { deflated = RawDeflate(bytes); });
    std::vector<uint8_t> inflated(size);
    const double inflate_s = BestSeconds([&] { RawInflate(deflated, &inflated); });
    if (inflated != bytes) std::fprintf(stderr, "raw inflate mismatch\n");
    // What any loader must do at least: inflate into new memory and check the CRC-32.
    const double inflate_fresh_s = BestSeconds([&] {
        std::unique_ptr<uint8_t[]> fresh(new uint8_t[size]);
        z_stream stream{};
        inflateInit2(&stream, -MAX_WBITS);
        stream.next_in = const_cast<uint8_t*>(deflated.data());
        stream.avail_in = static_cast<uInt>(deflated.size());
        stream.next_out = fresh.get();
        stream.avail_out = static_cast<uInt>(size);
        inflate(&stream, Z_FINISH);
        inflateEnd(&stream);
        if (crc32(0, fresh.get(), static_cast<uInt>(size)) == 0) std::fprintf(stderr, "unlikely CRC\n");
    });

    XC_AesCipher cipher;
    cipher.SetKeyText("Qz_R.N.T");
    std::vector<uint8_t> scratch = bytes;
    const double aes_s = BestSeconds([&] { cipher.EncryptBuffer(scratch.data(), static_cast<uint32_t>(size)); });
    std::vector<uint8_t> portable = bytes;
    const size_t portable_size = std::min<size_t>(size, 8 * 1024 * 1024);
    const double aes_portable_s = BestSeconds([&] {
        for (size_t i = 0; i + 16 <= portable_size; i += 16) cipher.EncryptBlock(&portable[i], &portable[i]);
    });

    bool saved = true, loaded = true;
    auto save = [&] { saved = saved && archive.SaveToExe(out_path.c_str(), 1); };
    auto save_parallel = [&] { saved = saved && archive.SaveToExe(out_path.c_str(), 0); };
    auto load = [&] {
        XC_ExeTailHelper reader;
        loaded = loaded && reader.LoadFromExe(out_path.c_str()) && !reader.IsEmpty();
    };
    const double save_s = BestSeconds(save);
    const double save_peak = PeakMiB(save);
    // Threads against the single-thread reference, both in wall time; the file loaded below is
    // the parallel one.
    const uint32_t cores = std::max(1u, std::thread::hardware_concurrency());
    const double deflate_wall_s = BestWallSeconds([&] { deflated = RawDeflate(bytes); });
    const double parallel_s = BestWallSeconds(save_parallel);
    const double parallel_peak = PeakMiB(save_parallel);
    const double load_s = BestSeconds(load);
    const double load_peak = PeakMiB(load);
    if (!saved || !loaded) std::fprintf(stderr, "save or load failed\n");

    size_t records = 0;
    archive.ForEachEntry(
        [&](const std::string& key, const XC_MemSpace& data) { records += 12 + key.size() + data.size; });
    const double file_mib = std::filesystem::file_size(out_path) / kMiB;
    const double sealed_mib = file_mib - (65536 + 16) / kMiB;
    const double unpacked_mib = records / kMiB;
    auto mbps = [&](double seconds, size_t bytes_done) { return bytes_done / seconds / kMiB; };
    std::printf("payload: %zu MiB in %zu entries; unpacked body %.1f MiB, sealed %.1f MiB, file %.1f MiB\n", mib,
                entries, unpacked_mib, sealed_mib, file_mib);
    std::printf("%-30s %8s %7s %9s  %s\n", "", "MiB/s", "ratio", "peak MiB", "aim");
    std::printf("%-30s %8.1f %7s\n", "raw deflate level 8", mbps(deflate_s, size), "1.00");
    std::printf("%-30s %8.1f %7.2f %9.1f  ratio >= 0.90, peak <= %.1f (1.1 x sealed, above the entries)\n",
                "SaveToExe, 1 thread", mbps(save_s, size), deflate_s / save_s, save_peak, 1.1 * sealed_mib);
    const std::string parallel_row = "SaveToExe, " + std::to_string(cores) + " threads (wall)";
    std::printf("%-30s %8.1f %7s\n", "raw deflate level 8 (wall)", mbps(deflate_wall_s, size), "1.00");
    std::printf("%-30s %8.1f %7.2f %9.1f  ratio >= %.2f (0.9 x %u cores), sealed %+.2f %% of one stream (<= 0.5)\n",
                parallel_row.c_str(), mbps(parallel_s, size), deflate_wall_s / parallel_s, parallel_peak, 0.9 * cores,
                cores, 100.0 * (sealed_mib - deflated.size() / kMiB) / (deflated.size() / kMiB));
    std::printf("%-30s %8.1f %7.2f\n", "raw inflate, warm buffer", mbps(inflate_s, size), inflate_fresh_s / inflate_s);
    std::printf("%-30s %8.1f %7s\n", "raw inflate, new memory + CRC", mbps(inflate_fresh_s, size), "1.00");
    std::printf("%-30s %8.1f %7.2f %9.1f  ratio >= 0.95 (sealed on threads), peak <= %.1f (file + 1.05 x unpacked)\n",
                "LoadFromExe", mbps(load_s, size), inflate_fresh_s / load_s, load_peak, file_mib + 1.05 * unpacked_mib);
    std::printf("%-30s %8.1f\n", "AES-128 EncryptBuffer", mbps(aes_s, size));
    std::printf("%-30s %8.1f\n", "AES-128 portable blocks", mbps(aes_portable_s, portable_size));
    std::remove(stub_path.c_str());
    std::remove(out_path.c_str());
    return saved && loaded ? 0 : 1;
}
