// The registry as files: one INI file per root under $XDG_CONFIG_HOME/verrowave/. A section
// per key, named by its full key path; Name=Value lines; a key's default value is "@". Key
// paths and value names compare case-insensitively. In values, backslash, newline and
// carriage return are written \\, \n and \r. Writes are read-modify-write under a lock file
// and replace the file atomically (through links, onto their final target). A rewrite
// changes only the lines of the values it sets or removes; every other line is kept as is.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sonvex {

enum class RegRoot { LocalMachine, CurrentUser, ClassesRoot };

// Path of the file that backs a root.
std::string RegistryFilePath(RegRoot root);

// One root's file, parsed line by line.
class RegistryFile {
public:
    // A missing file loads as empty. False when the file must not be rewritten: it exists
    // but cannot be read (nothing is loaded), or it is not text (it holds NUL bytes; what
    // was read is still parsed for reading).
    bool Load(const std::string& path);
    // The file's text with the changes made since Load (a leading byte-order mark dropped).
    std::string Text() const;
    bool Changed() const { return bChanged_; }

    // Reads a value; false when the key or value is missing (out untouched).
    bool Get(std::string_view keyPath, std::string_view name, std::string& out) const;
    // Stores a value, creating the key when needed; false for a key or name that cannot be
    // written (empty key; name holding '=', '[' or a line break).
    bool Set(std::string_view keyPath, std::string_view name, std::string_view value);
    // False when the value was not there. A section left with blank lines only goes too
    // (header and one blank line), as the program writes no empty sections.
    bool Remove(std::string_view keyPath, std::string_view name);
    // Removes the key's section and those of every key below it, with all their lines.
    // False when there was none.
    bool RemoveKeyTree(std::string_view keyPath);

private:
    enum class Kind {
        Other,   // comment, blank, text without '=', a value before any header
        Broken,  // starts with '[' but does not end with ']': ends the section before it
        Header,
        Value,
    };
    struct Line {
        std::string szText;  // without its line ending
        std::string szEnd;   // "\n" or "\r\n"; "" or "\r" on a last line without '\n'
        Kind kind = Kind::Other;
        std::string szName;   // key of a header, name of a value
        size_t iValueAt = 0;  // where a value's (escaped) text begins in szText
    };

    // Lines [header, end) of the first section named key; false when there is none.
    bool FindSection(std::string_view key, size_t& header, size_t& end) const;
    // Index of the first value named name in lines (from, end); end when there is none.
    size_t FindValue(size_t from, size_t end, std::string_view name) const;
    void Insert(size_t at, std::string text, Kind kind, std::string name, size_t valueAt);
    std::string LineEnd() const;

    std::vector<Line> lines_;
    bool bChanged_ = false;
};

// Reads a value; false when the key or value is missing (out untouched).
bool RegistryGetValue(RegRoot root, std::string_view keyPath, std::string_view name,
                      std::string& out);
// Creates the key when needed and stores the value; false when the file cannot be written.
bool RegistrySetValue(RegRoot root, std::string_view keyPath, std::string_view name,
                      std::string_view value);
bool RegistryRemoveValue(RegRoot root, std::string_view keyPath, std::string_view name);

// One read-modify-write of a root's file under its lock: edit sees the file as it is now and
// its changes are written (when there are any) before the lock is released. False when the
// file cannot be read (edit is not called) or cannot be written.
bool RegistryTransaction(RegRoot root, const std::function<void(RegistryFile&)>& edit);

std::string EscapeRegistryValue(std::string_view value);
std::string UnescapeRegistryValue(std::string_view text);

}  // namespace sonvex
