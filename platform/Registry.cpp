#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "support/Debug.h"
#include "support/File.h"

namespace sonvex {

namespace {

struct Section {
    std::string szName;
    std::vector<std::pair<std::string, std::string>> values;  // raw (escaped) text
};

std::string ConfigFolder() {
    const char* x = std::getenv("XDG_CONFIG_HOME");
    if (x && *x) return std::string(x) + "/verrowave";
    const char* h = std::getenv("HOME");
    return std::string(h && *h ? h : "/") + "/.config/verrowave";
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

std::vector<Section> Parse(const std::string& text) {
    std::vector<Section> sections;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            sections.push_back({t.substr(1, t.size() - 2), {}});
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || sections.empty()) continue;
        sections.back().values.emplace_back(Trim(line.substr(0, eq)), line.substr(eq + 1));
    }
    return sections;
}

std::string Serialize(const std::vector<Section>& sections) {
    std::string out;
    for (const auto& s : sections) {
        if (s.values.empty()) continue;
        out += '[' + s.szName + "]\n";
        for (const auto& [n, v] : s.values) out += n + '=' + v + '\n';
        out += '\n';
    }
    return out;
}

// The file's text; a missing file reads as empty. False when it exists but cannot be read,
// so that a write never replaces values it could not see.
bool ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

Section* FindSection(std::vector<Section>& sections, std::string_view key) {
    for (auto& s : sections)
        if (CaseInsensitiveEqual(s.szName, key)) return &s;
    return nullptr;
}

std::string NormaliseKey(std::string_view key) {
    std::string k(key);
    for (char& c : k)
        if (c == '/') c = '\\';
    while (!k.empty() && k.back() == '\\') k.pop_back();
    return k;
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

template <typename Change>
bool Modify(RegRoot root, Change change) {
    std::string path = RegistryFilePath(root);
    if (!MakeFolders(ConfigFolder())) return false;
    WriteLock lock(path);
    if (!lock.ok()) return false;
    std::string text;
    if (!ReadWholeFile(path, text)) return false;
    std::vector<Section> sections = Parse(text);
    if (!change(sections)) return true;  // nothing to write
    std::string tmp = path + ".tmp." + std::to_string(getpid());
    {
        int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        std::string text = Serialize(sections);
        bool ok = static_cast<size_t>(::write(fd, text.data(), text.size())) == text.size();
        ok = fsync(fd) == 0 && ok;
        ::close(fd);
        if (!ok) {
            unlink(tmp.c_str());
            return false;
        }
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

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
    std::string text;
    if (!ReadWholeFile(RegistryFilePath(root), text)) return false;
    std::vector<Section> sections = Parse(text);
    Section* s = FindSection(sections, NormaliseKey(keyPath));
    if (!s) return false;
    std::string n = name.empty() ? "@" : std::string(name);
    for (const auto& [vn, v] : s->values)
        if (CaseInsensitiveEqual(vn, n)) {
            out = UnescapeRegistryValue(v);
            return true;
        }
    return false;
}

bool RegistrySetValue(RegRoot root, std::string_view keyPath, std::string_view name,
                      std::string_view value) {
    std::string key = NormaliseKey(keyPath);
    std::string n = name.empty() ? "@" : std::string(name);
    if (key.empty() || n.find_first_of("=\n\r[") != std::string::npos) return false;
    bool ok = Modify(root, [&](std::vector<Section>& sections) {
        Section* s = FindSection(sections, key);
        if (!s) {
            sections.push_back({key, {}});
            s = &sections.back();
        }
        std::string v = EscapeRegistryValue(value);
        for (auto& [vn, vv] : s->values)
            if (CaseInsensitiveEqual(vn, n)) {
                if (vv == v) return false;
                vv = v;
                return true;
            }
        s->values.emplace_back(n, v);
        return true;
    });
    if (!ok) DebugLog("RegistrySetValue cannot write %s", RegistryFilePath(root).c_str());
    return ok;
}

bool RegistryRemoveValue(RegRoot root, std::string_view keyPath, std::string_view name) {
    std::string key = NormaliseKey(keyPath);
    std::string n = name.empty() ? "@" : std::string(name);
    return Modify(root, [&](std::vector<Section>& sections) {
        Section* s = FindSection(sections, key);
        if (!s) return false;
        for (auto it = s->values.begin(); it != s->values.end(); ++it)
            if (CaseInsensitiveEqual(it->first, n)) {
                s->values.erase(it);
                return true;
            }
        return false;
    });
}

}  // namespace sonvex
