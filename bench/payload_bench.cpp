// Payload throughput: SaveToExe and LoadFromExe on a 64 MiB mixed payload, next to raw deflate
// (level 8) and inflate of the same bytes and to AES encryption, all measured in this run.
// Usage: payload_bench [MiB]   (default 64). The Windows build runs under Wine or on Windows and
// measures the product's own platform layer.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "xc_aescipher.h"
#include "xc_exetailhelper.h"
#include "xc_memspace.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best of three: the figure least disturbed by the rest of the machine.
double BestSeconds(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

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
    const double save_s = BestSeconds([&] { saved = saved && archive.SaveToExe(out_path.c_str()); });
    const double load_s = BestSeconds([&] {
        XC_ExeTailHelper reader;
        loaded = loaded && reader.LoadFromExe(out_path.c_str()) && !reader.IsEmpty();
    });
    if (!saved || !loaded) std::fprintf(stderr, "save or load failed\n");

    auto mbps = [&](double seconds, size_t bytes_done) { return bytes_done / seconds / (1024.0 * 1024.0); };
    std::printf("payload: %zu MiB in %zu entries, deflates to %.1f%%\n", mib, entries, 100.0 * deflated.size() / size);
    std::printf("%-28s %10s %10s\n", "", "MiB/s", "ratio");
    std::printf("%-28s %10.1f %10s\n", "raw deflate level 8", mbps(deflate_s, size), "1.00");
    std::printf("%-28s %10.1f %10.2f\n", "SaveToExe", mbps(save_s, size), deflate_s / save_s);
    std::printf("%-28s %10.1f %10s\n", "raw inflate", mbps(inflate_s, size), "1.00");
    std::printf("%-28s %10.1f %10.2f\n", "raw inflate, new memory+CRC", mbps(inflate_fresh_s, size),
                inflate_s / inflate_fresh_s);
    std::printf("%-28s %10.1f %10.2f\n", "LoadFromExe", mbps(load_s, size), inflate_s / load_s);
    std::printf("%-28s %10.1f\n", "AES-128 EncryptBuffer", mbps(aes_s, size));
    std::printf("%-28s %10.1f\n", "AES-128 portable blocks", mbps(aes_portable_s, portable_size));
    std::remove(stub_path.c_str());
    std::remove(out_path.c_str());
    return saved && loaded ? 0 : 1;
}
