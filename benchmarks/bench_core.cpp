// Benchmarks of the costs that grow with data: a log line on a full log
// file (read, trim and atomic rewrite of 512 KiB), the CRC of the largest
// frame, and decoding one poll's two responses.
#include "link/Frame.h"
#include "log/Ulog.h"
#include "monitor/Decoders.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

void BM_LogLineOnFullFile(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / "km7bench";
    std::filesystem::create_directories(dir);
    km7::TLog log("Bench", true, dir.string());
    {
        std::string fill;
        while (fill.size() < km7::TLog::kSizeLimit)
            fill += "01.01.2026 00:00:00 [1] : Link UP, bitrate 16 kbit/s (int), occupied 64000 bit/s\r\n";
        std::FILE* f = std::fopen(log.FileName().c_str(), "wb");
        std::fwrite(fill.data(), 1, fill.size(), f);
        std::fclose(f);
    }
    for (auto _ : state)
        log.WriteLine("E1 port is detected alarm: Loss Of Signal");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LogLineOnFullFile)->Unit(benchmark::kMillisecond);

void BM_Crc16LargestFrame(benchmark::State& state)
{
    std::uint8_t data[257] = {};
    for (auto _ : state)
        benchmark::DoNotOptimize(km7::crc16(data, sizeof data));
}
BENCHMARK(BM_Crc16LargestFrame);

void BM_DecodePoll(benchmark::State& state)
{
    km7::MonitorDisplay d;
    std::uint8_t ident[48] = {};
    ident[34] = 3;
    std::uint8_t block[200] = {};
    for (auto _ : state) {
        km7::DecodeIdentification(d, ident, sizeof ident);
        km7::DecodeStateBlock(d, block, sizeof block);
        benchmark::DoNotOptimize(d.freeRate.text.data());
    }
}
BENCHMARK(BM_DecodePoll);

} // namespace

BENCHMARK_MAIN();
