// INI text files with private-profile semantics: sections and keys compare
// case-insensitively, a written key keeps its place, a new key goes to the
// end of its section, a new section to the end of the file. Files are
// replaced atomically (written beside, then renamed over), so a crash never
// leaves a half-written file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace km7 {

class IniFile {
public:
    // Files larger than this are not read, and never overwritten.
    static constexpr std::size_t kMaxFileSize = 4u * 1024u * 1024u;

    explicit IniFile(std::string path) : path_(std::move(path)) {}

    // Reads the file. A missing file is an empty store (true); an unreadable
    // or oversized one is refused (false) and blocks Save.
    bool Load();
    // Atomically replaces the file with the current lines. False on failure;
    // the old file is then untouched.
    bool Save() const;

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    std::string GetString(const std::string& section, const std::string& key, const std::string& def) const;
    // The key's value read by ParseIniInteger; `def` when missing or invalid.
    long GetInteger(const std::string& section, const std::string& key, long def) const;
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
    mutable std::string error_;
};

// Reads an integer written in decimal, or in hexadecimal with "0x" or "$";
// anything else gives `def`.
long ParseIniInteger(const std::string& text, long def);

// One-call helpers that read the file on every call and write at once.
std::string ReadProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& def);
long ReadProfileInteger(const std::string& path, const std::string& section, const std::string& key, long def);
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

// Splits text into lines at LF, dropping a CR before it; a last line
// without an end counts, an empty tail after the last LF does not.
std::vector<std::string> SplitLines(const std::string& text);

// Writes `content` to `path` atomically. False on failure, old file untouched.
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error = nullptr);

// Reads a whole file of at most `maxSize` bytes. Empty optional when the
// file is missing, unreadable or larger.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxSize, bool* missing = nullptr);

} // namespace km7
