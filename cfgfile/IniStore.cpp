#include "cfgfile/IniStore.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

} // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxSize, bool* missing)
{
    if (missing)
        *missing = false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (missing)
            *missing = (errno == ENOENT);
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
    std::fclose(f);
    if (tooBig || failed)
        return std::nullopt;
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

bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error)
{
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error)
            *error = "cannot create " + tmp + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (error)
                *error = "cannot write " + tmp + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        if (error)
            *error = "cannot write " + tmp + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        if (error)
            *error = "cannot replace " + path + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool IniFile::Load()
{
    lines_.clear();
    refused_ = false;
    error_.clear();
    bool missing = false;
    const auto data = ReadWholeFile(path_, kMaxFileSize, &missing);
    if (!data) {
        if (missing)
            return true;
        refused_ = true;
        error_ = "cannot read " + path_;
        return false;
    }
    lines_ = SplitLines(*data);
    return true;
}

bool IniFile::Save() const
{
    if (refused_)
        return false;
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

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value)
{
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
    long long v = 0;
    for (; i < t.size(); ++i) {
        const int c = std::tolower(static_cast<unsigned char>(t[i]));
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return def;
        v = v * base + digit;
        if (v > 0xFFFFFFFFLL)
            return def;
    }
    if (base == 16 && v > 0x7FFFFFFF)
        v -= 0x100000000LL; // hex is a 32-bit pattern
    else if (v > 0x7FFFFFFF && !(negative && v == 0x80000000LL))
        return def;
    return static_cast<long>(negative ? -v : v);
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
                        const std::string& value)
{
    IniFile ini(path);
    if (!ini.Load())
        return false;
    ini.Set(section, key, value);
    return ini.Save();
}

} // namespace km7
