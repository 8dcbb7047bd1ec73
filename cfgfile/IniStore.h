// INI text files with private-profile semantics: sections and keys compare
// case-insensitively, a written key keeps its place, a new key goes to the
// end of its section, a new section to the end of the file.
//
// Writing a file:
// - it is replaced atomically (written beside, then renamed over), so a
//   crash never leaves a half-written file; the new file keeps the old
//   one's permission bits (and owner, where the process may set it);
// - a symbolic link is written through: the link's final target is
//   replaced and the link stays a link (a dangling link gets its target
//   created);
// - a read-only file is never replaced: the write fails with an error text
//   and the file stays as it is. A file counts as read-only when the
//   process may not write it, or when its mode has no write bit at all
//   (so the superuser, who may write anything, leaves it alone too).
//
// Line breaks: a section, key or value given to Set never puts a line
// break into the file: each CR and each LF in it is replaced by a blank.
// A value read from an untrusted place (a port name, a device text) thus
// cannot add lines of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct stat;

namespace km7 {

class IniFile {
public:
    // Files larger than this are not read, and never overwritten.
    static constexpr std::size_t kMaxFileSize = 4u * 1024u * 1024u;

    explicit IniFile(std::string path) : path_(std::move(path)) {}

    // Reads the file. A missing file is an empty store (true); an unreadable
    // or oversized one is refused (false) and blocks Save.
    bool Load();
    // Atomically replaces the file with the current lines. False on failure,
    // with error() telling which file and why; the old file is then untouched.
    bool Save() const;

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    std::string GetString(const std::string& section, const std::string& key, const std::string& def) const;
    // The key's value read by ParseIniInteger; `def` when missing or invalid.
    long GetInteger(const std::string& section, const std::string& key, long def) const;
    // CR and LF in any of the three texts become blanks (see above).
    void Set(const std::string& section, const std::string& key, const std::string& value);
    bool HasSection(const std::string& section) const;

    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

private:
    // Index range [begin, end) of the section's lines after its header; begin
    // is the header's index + 1. npos when missing.
    bool FindSection(const std::string& section, std::size_t& header, std::size_t& end) const;

    std::string path_;
    std::vector<std::string> lines_;
    bool refused_ = false;
    std::string readError_;
    mutable std::string error_;
};

// Reads an integer of the 32-bit signed range: optional sign, then decimal
// digits, or hexadecimal digits after "0x", "0X" or "$". The sign applies to
// the number written, so "-0x80000000" is -2147483648. Anything else, and
// any number outside -2147483648 .. 2147483647 (such as "0x80000000",
// "2147483648" or "-0x80000001"), gives `def`.
long ParseIniInteger(const std::string& text, long def);

// One-call helpers that read the file on every call and write at once.
// The write returns false on failure and, when `error` is given, puts there
// a text naming the file and the reason.
std::string ReadProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& def);
long ReadProfileInteger(const std::string& path, const std::string& section, const std::string& key, long def);
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value, std::string* error = nullptr);

// Splits text into lines at LF, dropping a CR before it; a last line
// without an end counts, an empty tail after the last LF does not.
std::vector<std::string> SplitLines(const std::string& text);

// What identifies one state of a file: which file it is, its size and the
// time of its last change. Two equal stamps mean nobody wrote in between
// (as far as the file system's clock can tell).
struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedSec = 0, modifiedNsec = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of a file status from stat or fstat.
FileStamp StampOfStatus(const struct stat& st);

// The file a write to `path` must go to: `path` with its symbolic links
// followed to the end. Fails (empty optional, `error` set) on a link loop,
// or when that file exists but is no regular file or is read-only (see
// above). `stamp` receives the file's stamp, or nothing when it is missing.
std::optional<std::string> WritableTarget(const std::string& path, std::optional<FileStamp>* stamp = nullptr,
                                          std::string* error = nullptr);

struct AtomicWriteOptions {
    // Flush the new file to the disk before it replaces the old one. Without
    // it the rename still shows readers either the old or the new content,
    // but a power loss may lose the newest writes.
    bool sync = true;
    // Receives the stamp of the file as written.
    FileStamp* written = nullptr;
};

// Writes `content` to `path` atomically, through links, refusing read-only
// files (see above). False on failure, `error` naming the file and the
// reason; the old file is then untouched.
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error = nullptr,
                         const AtomicWriteOptions& options = {});

// Reads a whole file of at most `maxSize` bytes. Empty optional when the
// file is missing, unreadable or larger; `error` then tells which and why.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxSize, bool* missing = nullptr,
                                         std::string* error = nullptr);

} // namespace km7
