// Starts the device simulator on a pseudo-terminal for one test and stops
// it afterwards.
#pragma once

#include <csignal>
#include <poll.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class SimProcess {
public:
    // `announceDir` empty: the simulator announces nothing.
    explicit SimProcess(std::vector<std::string> args, const std::string& announceDir = {},
                        const std::string& name = "ttySIMT")
    {
        std::vector<std::string> argv = {KM7_SIM, "--name", name};
        if (announceDir.empty())
            argv.push_back("--no-announce");
        else {
            argv.push_back("--announce-dir");
            argv.push_back(announceDir);
        }
        argv.insert(argv.end(), args.begin(), args.end());
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            std::vector<char*> cargv;
            for (auto& a : argv)
                cargv.push_back(a.data());
            cargv.push_back(nullptr);
            ::execv(cargv[0], cargv.data());
            std::_Exit(127);
        }
        ::close(fds[1]);
        out_ = ::fdopen(fds[0], "r");
        char line[1024] = {};
        if (out_)
            std::setvbuf(out_, nullptr, _IONBF, 0); // later lines are read from the descriptor
        if (out_ && std::fgets(line, sizeof line, out_)) {
            char n[256] = {}, pts[256] = {}, link[512] = {};
            if (std::sscanf(line, "PORT %255s %255s %511s", n, pts, link) >= 2) {
                pts_ = pts;
                link_ = link;
            }
        }
    }
    ~SimProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (out_)
            std::fclose(out_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The requests the simulator printed so far (it runs with --verbose):
    // "CODE" or "CODE PAYLOADHEX" each. Waits up to `settleMs` for more.
    std::vector<std::string> Requests(int settleMs = 100)
    {
        if (!out_)
            return requests_;
        const int fd = fileno(out_);
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, settleMs) <= 0)
                break;
            char buf[4096];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            pending_.append(buf, static_cast<std::size_t>(n));
        }
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
            const std::string line = pending_.substr(0, end);
            if (line.rfind("request ", 0) == 0)
                requests_.push_back(line.substr(8));
        }
        return requests_;
    }
    // Only the codes of Requests().
    std::vector<int> Codes(int settleMs = 100)
    {
        std::vector<int> codes;
        for (const auto& r : Requests(settleMs))
            codes.push_back(std::atoi(r.c_str()));
        return codes;
    }
    void ForgetRequests() { Requests(50); requests_.clear(); }

    const std::string& pts() const { return pts_; }
    const std::string& link() const { return link_; }
    bool ok() const { return !pts_.empty(); }

private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    std::string pending_;
    std::vector<std::string> requests_;
    std::string pts_, link_;
};

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "km7test-XXXXXX").string();
        if (::mkdtemp(tmpl.data()))
            path_ = tmpl;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }

private:
    std::string path_;
};

inline std::string ReadText(const std::string& path)
{
    std::string s;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

// Permission bits and inode of a file; 0 when it cannot be looked at.
inline unsigned ModeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

inline ino_t InodeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

inline void WriteText(const std::string& path, const std::string& text)
{
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}
