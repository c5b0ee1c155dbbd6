#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "platform/Debug.h"
#include "platform/FileSystem.h"

namespace sonvex {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string ConfigFolder() {
    return ConfigHomeFolder() + "/verrowave";
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (IsBlank(s[b]) || s[b] == '\r')) ++b;
    while (e > b && (IsBlank(s[e - 1]) || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

// The file's text; a missing file reads as empty. False when it exists but cannot be read
// (or is not a regular file), so that a write never replaces values it could not see.
bool ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buf[8192];
    while (ok) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    if (!ok) out.clear();
    return ok;
}

// The final target of path through a chain of links; a dangling link gives the path it
// names. False on a loop or a link that cannot be read.
bool FinalTarget(std::string path, std::string& out) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = std::move(path);
            return true;
        }
        char buf[PATH_MAX];
        ssize_t n = readlink(path.c_str(), buf, sizeof buf);
        if (n <= 0 || n == static_cast<ssize_t>(sizeof buf)) return false;
        std::string dest(buf, static_cast<size_t>(n));
        if (dest[0] != '/') {
            size_t slash = path.rfind('/');
            if (slash != std::string::npos) dest.insert(0, path, 0, slash + 1);
        }
        path = std::move(dest);
    }
    return false;
}

// Replaces the file at path (through links: their final target) with text, atomically: a
// temporary file in the target's folder renamed onto it. An existing target keeps its mode;
// a new one is 0600.
bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string target;
    if (!FinalTarget(path, target)) return false;
    struct stat st {};
    const bool existed = ::stat(target.c_str(), &st) == 0;
    const std::string tmp = target + ".tmp." + std::to_string(getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = !existed || fchmod(fd, st.st_mode & 07777) == 0;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && rename(tmp.c_str(), target.c_str()) == 0) return true;
    unlink(tmp.c_str());
    return false;
}

std::string NormaliseKey(std::string_view key) {
    std::string k(key);
    for (char& c : k)
        if (c == '/') c = '\\';
    while (!k.empty() && k.back() == '\\') k.pop_back();
    return k;
}

std::string ValueName(std::string_view name) {
    return name.empty() ? "@" : std::string(name);
}

bool CanStore(std::string_view keyPath, std::string_view name) {
    return !NormaliseKey(keyPath).empty() &&
           ValueName(name).find_first_of("=\n\r[") == std::string::npos;
}

// Holds the root's lock file for a read-modify-write.
class WriteLock {
public:
    explicit WriteLock(const std::string& path) {
        fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~WriteLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace

bool RegistryFile::Load(const std::string& path) {
    lines_.clear();
    bChanged_ = false;
    std::string text;
    if (!ReadWholeFile(path, text)) return false;
    std::string_view rest(text);
    if (rest.starts_with(kByteOrderMark)) rest.remove_prefix(kByteOrderMark.size());
    while (!rest.empty()) {
        const size_t nl = rest.find('\n');
        std::string_view t = rest.substr(0, nl);
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        Line l;
        if (!t.empty() && t.back() == '\r') {
            t.remove_suffix(1);
            l.szEnd = "\r";
        }
        if (nl != std::string_view::npos) l.szEnd += '\n';
        l.szText = t;
        const std::string trimmed = Trim(t);
        const bool comment = trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#';
        if (!comment && trimmed[0] == '[') {
            l.kind = trimmed.back() == ']' ? Kind::Header : Kind::Broken;
            if (l.kind == Kind::Header) l.szName = trimmed.substr(1, trimmed.size() - 2);
        } else if (size_t eq = t.find('='); !comment && eq != std::string_view::npos) {
            // Blanks around the name and after '=' are layout. Blanks at the end belong to
            // the value: the program writes values as they are, and a folder name may end
            // in a blank.
            l.kind = Kind::Value;
            l.szName = Trim(t.substr(0, eq));
            l.iValueAt = eq + 1;
            while (l.iValueAt < t.size() && IsBlank(t[l.iValueAt])) ++l.iValueAt;
        }
        lines_.push_back(std::move(l));
    }
    return text.find('\0') == std::string::npos;
}

std::string RegistryFile::Text() const {
    std::string out;
    for (const auto& l : lines_) out += l.szText + l.szEnd;
    return out;
}

bool RegistryFile::FindSection(std::string_view key, size_t& header, size_t& end) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Kind::Header || !CaseInsensitiveEqual(lines_[i].szName, key))
            continue;
        header = i;
        end = i + 1;
        while (end < lines_.size() && lines_[end].kind != Kind::Header &&
               lines_[end].kind != Kind::Broken)
            ++end;
        return true;
    }
    return false;
}

size_t RegistryFile::FindValue(size_t from, size_t end, std::string_view name) const {
    for (size_t i = from; i < end; ++i)
        if (lines_[i].kind == Kind::Value && CaseInsensitiveEqual(lines_[i].szName, name)) return i;
    return end;
}

std::string RegistryFile::LineEnd() const {
    for (const auto& l : lines_)
        if (!l.szEnd.empty() && l.szEnd.back() == '\n') return l.szEnd;
    return "\n";
}

void RegistryFile::Insert(size_t at, std::string text, Kind kind, std::string name,
                          size_t valueAt) {
    const std::string end = LineEnd();
    if (at > 0 && (lines_[at - 1].szEnd.empty() || lines_[at - 1].szEnd.back() != '\n'))
        lines_[at - 1].szEnd = lines_[at - 1].szEnd.empty() ? end : "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  Line{std::move(text), end, kind, std::move(name), valueAt});
    bChanged_ = true;
}

bool RegistryFile::Get(std::string_view keyPath, std::string_view name, std::string& out) const {
    size_t header, end;
    if (!FindSection(NormaliseKey(keyPath), header, end)) return false;
    const size_t i = FindValue(header + 1, end, ValueName(name));
    if (i == end) return false;
    out = UnescapeRegistryValue(std::string_view(lines_[i].szText).substr(lines_[i].iValueAt));
    return true;
}

bool RegistryFile::Set(std::string_view keyPath, std::string_view name, std::string_view value) {
    if (!CanStore(keyPath, name)) return false;
    const std::string key = NormaliseKey(keyPath);
    const std::string n = ValueName(name);
    const std::string v = EscapeRegistryValue(value);
    size_t header, end;
    if (!FindSection(key, header, end)) {
        // A new section goes at the end of the file, between blank lines.
        if (!lines_.empty() && !Trim(lines_.back().szText).empty())
            Insert(lines_.size(), "", Kind::Other, "", 0);
        Insert(lines_.size(), '[' + key + ']', Kind::Header, key, 0);
        Insert(lines_.size(), n + '=' + v, Kind::Value, n, n.size() + 1);
        Insert(lines_.size(), "", Kind::Other, "", 0);
        return true;
    }
    if (size_t i = FindValue(header + 1, end, n); i < end) {
        Line& l = lines_[i];
        if (l.szText.compare(l.iValueAt, std::string::npos, v) != 0) {
            l.szText.replace(l.iValueAt, std::string::npos, v);  // name and layout as they were
            bChanged_ = true;
        }
        return true;
    }
    // A new value follows the section's last value; what comes after it (a blank line, a
    // comment above the next section) stays after it.
    size_t at = header + 1;
    for (size_t i = header + 1; i < end; ++i)
        if (lines_[i].kind == Kind::Value) at = i + 1;
    Insert(at, n + '=' + v, Kind::Value, n, n.size() + 1);
    return true;
}

bool RegistryFile::Remove(std::string_view keyPath, std::string_view name) {
    size_t header, end;
    if (!FindSection(NormaliseKey(keyPath), header, end)) return false;
    const size_t i = FindValue(header + 1, end, ValueName(name));
    if (i == end) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
    bChanged_ = true;
    --end;
    // A section left with blank lines only goes with the blank line after its header, as
    // the program writes sections.
    for (size_t j = header + 1; j < end; ++j)
        if (!Trim(lines_[j].szText).empty()) return true;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(std::min(header + 2, end)));
    return true;
}

bool RegistryFile::RemoveKeyTree(std::string_view keyPath) {
    const std::string key = NormaliseKey(keyPath);
    if (key.empty()) return false;
    auto inTree = [&](const std::string& name) {
        return CaseInsensitiveEqual(name, key) ||
               (name.size() > key.size() && name[key.size()] == '\\' &&
                CaseInsensitiveEqual(std::string_view(name).substr(0, key.size()), key));
    };
    bool removed = false;
    for (size_t i = 0; i < lines_.size();) {
        if (lines_[i].kind != Kind::Header || !inTree(lines_[i].szName)) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < lines_.size() && lines_[end].kind != Kind::Header &&
               lines_[end].kind != Kind::Broken)
            ++end;
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i),
                     lines_.begin() + static_cast<std::ptrdiff_t>(end));
        removed = bChanged_ = true;
    }
    return removed;
}

bool RegistryTransaction(RegRoot root, const std::function<void(RegistryFile&)>& edit) {
    const std::string path = RegistryFilePath(root);
    if (!MakeFolders(ConfigFolder())) return false;
    WriteLock lock(path);
    if (!lock.ok()) return false;
    RegistryFile file;
    if (!file.Load(path)) return false;
    edit(file);
    return !file.Changed() || ReplaceFile(path, file.Text());
}

std::string RegistryFilePath(RegRoot root) {
    const char* name = root == RegRoot::LocalMachine  ? "machine.ini"
                       : root == RegRoot::CurrentUser ? "user.ini"
                                                      : "classes.ini";
    return ConfigFolder() + "/" + name;
}

std::string EscapeRegistryValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string UnescapeRegistryValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char n = text[i + 1];
            if (n == '\\' || n == 'n' || n == 'r') {
                out += n == 'n' ? '\n' : n == 'r' ? '\r' : '\\';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool RegistryGetValue(RegRoot root, std::string_view keyPath, std::string_view name,
                      std::string& out) {
    RegistryFile file;
    file.Load(RegistryFilePath(root));  // what could be read, even when it must not be rewritten
    return file.Get(keyPath, name, out);
}

bool RegistrySetValue(RegRoot root, std::string_view keyPath, std::string_view name,
                      std::string_view value) {
    if (!CanStore(keyPath, name)) return false;
    bool ok = RegistryTransaction(root, [&](RegistryFile& f) { f.Set(keyPath, name, value); });
    if (!ok) DebugLog("RegistrySetValue cannot write %s", RegistryFilePath(root).c_str());
    return ok;
}

bool RegistryRemoveValue(RegRoot root, std::string_view keyPath, std::string_view name) {
    return RegistryTransaction(root, [&](RegistryFile& f) { f.Remove(keyPath, name); });
}

}  // namespace sonvex
