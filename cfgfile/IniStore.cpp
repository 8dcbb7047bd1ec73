#include "cfgfile/IniStore.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace km7 {

namespace {

std::string Trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "[name]" -> name; empty optional for other lines.
std::optional<std::string> SectionName(const std::string& line)
{
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const std::size_t close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// "key=value" -> key; empty optional for comments and other lines.
std::optional<std::string> KeyName(const std::string& line)
{
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '[')
        return std::nullopt;
    const std::size_t eq = t.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return Trim(t.substr(0, eq));
}

std::string ValueOf(const std::string& line)
{
    const std::size_t eq = line.find('=');
    std::string v = Trim(line.substr(eq + 1));
    if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
        v = v.substr(1, v.size() - 2);
    return v;
}

// Each CR and LF becomes a blank: a written text stays on its line.
std::string OneLine(std::string s)
{
    std::replace_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return s;
}

std::string Reason(int err)
{
    return std::strerror(err);
}

// "path", or "path (link to target)" when a link was followed.
std::string Naming(const std::string& path, const std::string& target)
{
    return target == path ? path : path + " (link to " + target + ")";
}

// `path` with its symbolic links followed to the end.
std::optional<std::string> FollowLinks(const std::string& path, std::string* error)
{
    namespace fs = std::filesystem;
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        std::error_code ec;
        fs::path next = fs::read_symlink(p, ec);
        if (ec) {
            if (error)
                *error = "cannot follow the link " + p + ": " + ec.message();
            return std::nullopt;
        }
        if (next.is_relative())
            next = fs::path(p).parent_path() / next;
        p = next.string();
    }
    if (error)
        *error = "cannot write " + path + ": " + Reason(ELOOP);
    return std::nullopt;
}

// WritableTarget with the target's whole status; `exists` false when the
// target is missing.
std::optional<std::string> Target(const std::string& path, struct stat& st, bool& exists, std::string* error)
{
    exists = false;
    auto target = FollowLinks(path, error);
    if (!target)
        return std::nullopt;
    if (::stat(target->c_str(), &st) != 0) {
        if (errno == ENOENT)
            return target;
        if (error)
            *error = "cannot write " + Naming(path, *target) + ": " + Reason(errno);
        return std::nullopt;
    }
    exists = true;
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = "cannot write " + Naming(path, *target) + ": it is not a regular file";
        return std::nullopt;
    }
    if ((st.st_mode & 0222) == 0) {
        if (error)
            *error = "cannot write " + Naming(path, *target) + ": the file is read-only";
        return std::nullopt;
    }
    if (::faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) {
        if (error)
            *error = "cannot write " + Naming(path, *target) + ": " +
                     (errno == EACCES || errno == EPERM ? std::string("the file is read-only") : Reason(errno));
        return std::nullopt;
    }
    return target;
}

} // namespace

FileStamp StampOfStatus(const struct stat& st)
{
    FileStamp s;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modifiedSec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    s.modifiedNsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return s;
}

std::optional<std::string> WritableTarget(const std::string& path, std::optional<FileStamp>* stamp, std::string* error)
{
    struct stat st {};
    bool exists = false;
    auto target = Target(path, st, exists, error);
    if (target && stamp)
        *stamp = exists ? std::optional<FileStamp>(StampOfStatus(st)) : std::nullopt;
    return target;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxSize, bool* missing,
                                         std::string* error)
{
    if (missing)
        *missing = false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        const int err = errno;
        if (missing)
            *missing = (err == ENOENT);
        if (error)
            *error = "cannot read " + path + ": " + Reason(err);
        return std::nullopt;
    }
    std::string data;
    char buf[65536];
    bool tooBig = false;
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        if (n == 0)
            break;
        if (data.size() + n > maxSize) {
            tooBig = true;
            break;
        }
        data.append(buf, n);
    }
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (tooBig) {
        if (error)
            *error = "cannot read " + path + ": the file is larger than " + std::to_string(maxSize) + " bytes";
        return std::nullopt;
    }
    if (failed) {
        if (error)
            *error = "cannot read " + path + ": " + Reason(err);
        return std::nullopt;
    }
    return data;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error,
                         const AtomicWriteOptions& options)
{
    struct stat old {};
    bool exists = false;
    const auto target = Target(path, old, exists, error);
    if (!target)
        return false;
    const std::string name = Naming(path, *target);
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "cannot write " + name + ": " + why;
        return false;
    };

    // A fresh name beside the target; O_EXCL never follows a planted link.
    static std::atomic<unsigned> serial{0};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = *target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int err = errno;
        const std::string dir = std::filesystem::path(*target).parent_path().string();
        if (err == EACCES || err == EPERM)
            return fail("the folder " + (dir.empty() ? std::string(".") : dir) + " is not writable");
        return fail("cannot create a file beside it: " + Reason(err));
    }
    auto abandon = [&](const std::string& why) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return fail(why);
    };
    if (exists) {
        // The replacement keeps the owner (where allowed) and the mode.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            // Only the superuser may give the file back to its owner; for
            // anyone else the new file is the writer's, as with any save.
            const int given = ::fchown(fd, old.st_uid, old.st_gid);
            (void)given;
        }
        if (::fchmod(fd, old.st_mode & 0777) != 0)
            return abandon("cannot set the permissions of the new file: " + Reason(errno));
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return abandon(Reason(n < 0 ? errno : EIO));
        done += static_cast<std::size_t>(n);
    }
    if (options.sync && ::fsync(fd) != 0)
        return abandon(Reason(errno));
    struct stat written {};
    const bool haveStamp = ::fstat(fd, &written) == 0;
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return fail(Reason(err));
    }
    if (::rename(tmp.c_str(), target->c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return fail("cannot replace it: " + Reason(err));
    }
    if (options.written)
        *options.written = haveStamp ? StampOfStatus(written) : FileStamp{};
    return true;
}

bool IniFile::Load()
{
    lines_.clear();
    refused_ = false;
    readError_.clear();
    error_.clear();
    bool missing = false;
    const auto data = ReadWholeFile(path_, kMaxFileSize, &missing, &error_);
    if (!data) {
        if (missing) {
            error_.clear();
            return true;
        }
        refused_ = true;
        readError_ = error_;
        return false;
    }
    lines_ = SplitLines(*data);
    return true;
}

bool IniFile::Save() const
{
    if (refused_) {
        error_ = "cannot write " + path_ + ": it could not be read, so it is left as it is (" + readError_ + ")";
        return false;
    }
    std::string out;
    for (const auto& l : lines_) {
        out += l;
        out += "\r\n";
    }
    std::string err;
    if (!WriteFileAtomically(path_, out, &err)) {
        error_ = err;
        return false;
    }
    return true;
}

bool IniFile::FindSection(const std::string& section, std::size_t& header, std::size_t& end) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i]);
        if (!name || !EqualNoCase(*name, section))
            continue;
        header = i;
        end = i + 1;
        while (end < lines_.size() && !SectionName(lines_[end]))
            ++end;
        return true;
    }
    return false;
}

bool IniFile::HasSection(const std::string& section) const
{
    std::size_t h, e;
    return FindSection(section, h, e);
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const
{
    std::size_t header, end;
    if (!FindSection(section, header, end))
        return std::nullopt;
    for (std::size_t i = header + 1; i < end; ++i) {
        const auto k = KeyName(lines_[i]);
        if (k && EqualNoCase(*k, key))
            return ValueOf(lines_[i]);
    }
    return std::nullopt;
}

std::string IniFile::GetString(const std::string& section, const std::string& key, const std::string& def) const
{
    auto v = Get(section, key);
    return v ? *v : def;
}

void IniFile::Set(const std::string& sectionText, const std::string& keyText, const std::string& valueText)
{
    const std::string section = OneLine(sectionText), key = OneLine(keyText), value = OneLine(valueText);
    std::size_t header, end;
    if (!FindSection(section, header, end)) {
        if (!lines_.empty() && !Trim(lines_.back()).empty())
            lines_.emplace_back();
        lines_.push_back("[" + section + "]");
        lines_.push_back(key + "=" + value);
        return;
    }
    std::size_t lastContent = header;
    for (std::size_t i = header + 1; i < end; ++i) {
        const auto k = KeyName(lines_[i]);
        if (k && EqualNoCase(*k, key)) {
            lines_[i] = *k + "=" + value;
            return;
        }
        if (!Trim(lines_[i]).empty())
            lastContent = i;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastContent + 1), key + "=" + value);
}

long IniFile::GetInteger(const std::string& section, const std::string& key, long def) const
{
    const auto v = Get(section, key);
    return v ? ParseIniInteger(*v, def) : def;
}

long ParseIniInteger(const std::string& text, long def)
{
    const std::string t = Trim(text);
    if (t.empty())
        return def;
    std::size_t i = 0;
    bool negative = false;
    if (t[i] == '+' || t[i] == '-') {
        negative = t[i] == '-';
        ++i;
    }
    int base = 10;
    if (t.compare(i, 2, "0x") == 0 || t.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    } else if (i < t.size() && t[i] == '$') {
        base = 16;
        i += 1;
    }
    if (i >= t.size())
        return def;
    constexpr long long kLowest = -2147483648LL, kHighest = 2147483647LL;
    long long magnitude = 0;
    for (; i < t.size(); ++i) {
        const int c = std::tolower(static_cast<unsigned char>(t[i]));
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return def;
        magnitude = magnitude * base + digit;
        if (magnitude > -kLowest)
            return def; // no 32-bit value, whatever its sign
    }
    const long long v = negative ? -magnitude : magnitude;
    if (v < kLowest || v > kHighest)
        return def;
    return static_cast<long>(v);
}

std::string ReadProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& def)
{
    IniFile ini(path);
    ini.Load();
    return ini.GetString(section, key, def);
}

long ReadProfileInteger(const std::string& path, const std::string& section, const std::string& key, long def)
{
    IniFile ini(path);
    ini.Load();
    return ini.GetInteger(section, key, def);
}

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value, std::string* error)
{
    IniFile ini(path);
    ini.Load();
    ini.Set(section, key, value);
    if (ini.Save())
        return true;
    if (error)
        *error = ini.error();
    return false;
}

} // namespace km7
