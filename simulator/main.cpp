// km7sim: a KM-7-TL device simulator on a pseudo-terminal. It announces the
// port in the tool's port list and answers the tool's frames as a local
// multiplexer with a remote one behind it.

#include "monitor/PortList.h"
#include "simulator/SimEngine.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

void Usage()
{
    std::fprintf(stderr,
                 "usage: km7sim [options]\n"
                 "  --name NAME          port name shown in the tool (default ttySIM0)\n"
                 "  --announce-dir DIR   folder of announced ports (default: the tool's per-user folder)\n"
                 "  --no-announce        do not announce; just print the pty path\n"
                 "  --set KEY=VALUE      local device property (repeatable)\n"
                 "  --remote-set KEY=VALUE  remote device property (repeatable)\n"
                 "  --no-remote          no remote device: remote requests get no answer\n"
                 "  --fault FAULT        kind[,param=N][,code=N][,count=N][,skip=N] (repeatable)\n"
                 "                       kinds: silent garbage badcrc short slow error error-nodata chatter\n"
                 "  --script FILE        lines \"N [remote] key=value ...\" applied at the Nth identification\n"
                 "  --dynamic            alarms, circuits and counters change while polled\n"
                 "  --verbose            print every request: \"request CODE [PAYLOAD HEX]\"\n"
                 "device properties:\n%s",
                 km7sim::SimDevice::Help());
}

bool SplitKeyValue(const std::string& s, std::string& k, std::string& v)
{
    const auto eq = s.find('=');
    if (eq == std::string::npos)
        return false;
    k = s.substr(0, eq);
    v = s.substr(eq + 1);
    return true;
}

void MakeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return;
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    km7sim::SimEngine engine;
    std::string name = "ttySIM0";
    std::string announceDir = km7::AnnounceFolder();
    bool announce = true;
    bool verbose = false;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "km7sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        std::string k, v;
        if (a == "--name") {
            name = next();
            if (name.empty() || name.find('/') != std::string::npos) {
                std::fprintf(stderr, "km7sim: bad port name\n");
                return 2;
            }
        } else if (a == "--announce-dir") {
            announceDir = next();
        } else if (a == "--no-announce") {
            announce = false;
        } else if (a == "--set" || a == "--remote-set") {
            const std::string kv = next();
            km7sim::SimDevice* dev = a == "--set" ? &engine.local : (engine.remote ? &*engine.remote : nullptr);
            if (!SplitKeyValue(kv, k, v) || (dev && !dev->Set(k, v))) {
                std::fprintf(stderr, "km7sim: bad property %s\n", kv.c_str());
                return 2;
            }
        } else if (a == "--no-remote") {
            engine.remote.reset();
        } else if (a == "--fault") {
            const std::string faultText = next();
            auto f = km7sim::ParseFault(faultText);
            if (!f) {
                std::fprintf(stderr, "km7sim: bad fault %s\n", faultText.c_str());
                return 2;
            }
            engine.faults.push_back(*f);
        } else if (a == "--script") {
            const std::string file = next();
            std::ifstream in(file);
            if (!in) {
                std::fprintf(stderr, "km7sim: cannot read %s\n", file.c_str());
                return 2;
            }
            std::stringstream text;
            text << in.rdbuf();
            const std::string err = km7sim::ParseScript(text.str(), engine.script);
            if (!err.empty()) {
                std::fprintf(stderr, "km7sim: %s: %s\n", file.c_str(), err.c_str());
                return 2;
            }
        } else if (a == "--dynamic") {
            engine.animate = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else {
            std::fprintf(stderr, "km7sim: unknown option %s\n", a.c_str());
            Usage();
            return 2;
        }
    }

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("km7sim: pseudo-terminal");
        return 1;
    }
    const char* slaveName = ::ptsname(master);
    if (!slaveName) {
        std::perror("km7sim: ptsname");
        return 1;
    }
    const std::string slavePath = slaveName;
    // Holding the slave open keeps the pty alive between the tool's sessions,
    // and raw mode keeps the line discipline from echoing our answers.
    const int keepSlave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keepSlave >= 0)
        MakeRaw(keepSlave);
    MakeRaw(master);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    std::string linkPath;
    if (announce) {
        std::error_code ec;
        fs::create_directories(announceDir, ec);
        ::chmod(announceDir.c_str(), 0700);
        linkPath = (fs::path(announceDir) / name).string();
        fs::remove(linkPath, ec);
        if (::symlink(slavePath.c_str(), linkPath.c_str()) != 0) {
            std::fprintf(stderr, "km7sim: cannot announce %s: %s\n", linkPath.c_str(), std::strerror(errno));
            linkPath.clear();
        }
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("PORT %s %s %s\n", name.c_str(), slavePath.c_str(), linkPath.c_str());
    std::fflush(stdout);

    auto lastTick = std::chrono::steady_clock::now();
    std::uint8_t buf[512];
    while (!g_stop) {
        if (engine.chattering) {
            // A talkative neighbour on the line: bytes without end, some of
            // them frame starts with nothing sensible behind them.
            static const std::uint8_t noise[16] = {0x55, 0xE5, 0xE5, 0x40, 0x0B, 0x13, 0x55, 0xAA,
                                                   0xE5, 0x00, 0xE5, 0xE5, 0x02, 0x0D, 0x77, 0x12};
            [[maybe_unused]] const ssize_t sent = ::write(master, noise, sizeof noise);
        }
        pollfd p{master, POLLIN, 0};
        const int r = ::poll(&p, 1, engine.chattering ? 1 : 200);
        const auto now = std::chrono::steady_clock::now();
        const auto secs = std::chrono::duration_cast<std::chrono::seconds>(now - lastTick).count();
        if (secs > 0) {
            engine.local.Tick(static_cast<unsigned>(secs));
            if (engine.remote)
                engine.remote->Tick(static_cast<unsigned>(secs));
            lastTick += std::chrono::seconds(secs);
        }
        if (r <= 0 || !(p.revents & POLLIN))
            continue;
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            continue;
        engine.lastCodes.clear();
        engine.lastPayloads.clear();
        const auto chunks = engine.Feed(buf, static_cast<std::size_t>(n));
        if (verbose)
            for (std::size_t i = 0; i < engine.lastCodes.size(); ++i) {
                std::printf("request %u", engine.lastCodes[i]);
                if (!engine.lastPayloads[i].empty())
                    std::printf(" ");
                for (auto b : engine.lastPayloads[i])
                    std::printf("%02x", b);
                std::printf("\n");
            }
        for (const auto& c : chunks) {
            if (c.delayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
            WriteAll(master, c.bytes);
        }
        if (verbose)
            std::fflush(stdout);
    }

    if (!linkPath.empty()) {
        std::error_code ec;
        fs::remove(linkPath, ec);
    }
    if (keepSlave >= 0)
        ::close(keepSlave);
    ::close(master);
    return 0;
}
