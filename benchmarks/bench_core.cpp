// Benchmarks of the costs that grow with data: a log line on a full log
// file (the oldest line dropped, 512 KiB replaced), on a short one (an
// append) and as the first line of a new log object on a full file (the
// file read once more); the CRC of the largest frame; decoding one poll's
// two responses.
#include "link/Frame.h"
#include "log/Ulog.h"
#include "monitor/Decoders.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A fresh folder under the system's temporary folder, removed at the end.
class BenchDir {
public:
    BenchDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "km7bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()))
            path_ = tmpl;
    }
    ~BenchDir()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    BenchDir(const BenchDir&) = delete;
    BenchDir& operator=(const BenchDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Log lines of a realistic length, up to `size` bytes.
bool Fill(const std::string& file, std::size_t size)
{
    const std::string line = "01.01.2026 00:00:00 [1] : Link UP, bitrate 16 kbit/s (int), occupied 64000 bit/s\r\n";
    std::string fill;
    while (fill.size() + line.size() <= size)
        fill += line;
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(fill.data(), 1, fill.size(), f) == fill.size();
    return std::fclose(f) == 0 && ok;
}

// One log line an iteration, into a log file first filled with `size`
// bytes; `appendsOnly`: the file must stay short of its limit.
void LogLines(benchmark::State& state, std::size_t size, bool appendsOnly = false)
{
    BenchDir dir;
    km7::TLog log("Bench", true, dir.path());
    if (dir.path().empty() || !Fill(log.FileName(), size)) {
        state.SkipWithError("cannot make the log file");
        return;
    }
    for (auto _ : state)
        log.WriteLine("E1 port is detected alarm: Loss Of Signal");
    if (!log.LastError().empty())
        state.SkipWithError(log.LastError().c_str());
    else if (appendsOnly && std::filesystem::file_size(log.FileName()) >= km7::TLog::kSizeLimit)
        state.SkipWithError("the file reached its limit: no longer the append case");
}

// Every line drops the oldest line of a file at its limit: a rewrite.
void BM_LogLineOnFullFile(benchmark::State& state) { LogLines(state, km7::TLog::kSizeLimit); }
BENCHMARK(BM_LogLineOnFullFile)->Unit(benchmark::kMicrosecond);

// Lines that fit: appends. A fixed number of lines keeps the file short of
// its limit (5000 lines of 70 bytes).
void BM_LogLineOnSmallFile(benchmark::State& state) { LogLines(state, 4096, true); }
BENCHMARK(BM_LogLineOnSmallFile)->Unit(benchmark::kMicrosecond)->Iterations(5000);

// A port change: a new log object, whose first line must read the file.
void BM_FirstLineOfNewLogOnFullFile(benchmark::State& state)
{
    BenchDir dir;
    std::string error;
    if (dir.path().empty() || !Fill(km7::TLog("Bench", true, dir.path()).FileName(), km7::TLog::kSizeLimit)) {
        state.SkipWithError("cannot make the log file");
        return;
    }
    for (auto _ : state) {
        km7::TLog log("Bench", true, dir.path());
        log.WriteLine("KM-7-TL_v2.09 started.");
        if (!log.LastError().empty())
            error = log.LastError();
    }
    if (!error.empty())
        state.SkipWithError(error.c_str());
}
BENCHMARK(BM_FirstLineOfNewLogOnFullFile)->Unit(benchmark::kMicrosecond);

void BM_Crc16LargestFrame(benchmark::State& state)
{
    std::uint8_t data[257] = {};
    for (auto _ : state)
        benchmark::DoNotOptimize(km7::Crc16(data, sizeof data));
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
