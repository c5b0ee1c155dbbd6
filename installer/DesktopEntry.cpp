#include "installer/DesktopEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/FileSystem.h"
#include "support/Process.h"

namespace sonvex {

namespace {

bool HasControl(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// A string value: backslash is the escape character of the file format.
std::string EscapeValue(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

std::string DesktopExecArgument(std::string_view arg) {
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

std::string DesktopEntryText(const LDesktopEntry& e) {
    std::string exec;
    for (const auto& a : e.exec) {
        if (HasControl(a)) return {};
        exec += (exec.empty() ? "" : " ") + DesktopExecArgument(a);
    }
    if (!e.szFieldCode.empty()) exec += " " + e.szFieldCode;
    if (exec.empty() || HasControl(e.szName) || HasControl(e.szComment) || HasControl(e.szIcon))
        return {};
    std::string t = "[Desktop Entry]\nType=Application\nVersion=1.4\n";
    t += "Name=" + EscapeValue(e.szName) + "\n";
    if (!e.szComment.empty()) t += "Comment=" + EscapeValue(e.szComment) + "\n";
    t += "Exec=" + EscapeValue(exec) + "\n";
    if (!e.szIcon.empty()) t += "Icon=" + EscapeValue(e.szIcon) + "\n";
    t += "Terminal=false\n";
    if (!e.szCategories.empty()) t += "Categories=" + e.szCategories + "\n";
    if (!e.szMimeTypes.empty()) t += "MimeType=" + e.szMimeTypes + "\n";
    if (e.bNoDisplay) t += "NoDisplay=true\n";
    return t;
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes, unsigned mode) {
    const std::string tmp = path + ".sonvex-setup-" + std::to_string(getpid());
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const bool ok = done == bytes.size() && fchmod(fd, mode) == 0;
    if (close(fd) != 0 || !ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool WriteDesktopEntry(const std::string& path, const LDesktopEntry& entry, bool bExecutable) {
    const std::string text = DesktopEntryText(entry);
    return !text.empty() && WriteFileReplacing(path, text, bExecutable ? 0755 : 0644);
}

void UpdateDesktopDatabase(const std::string& folder) {
    const std::string path = EnvOr("PATH", "/usr/bin:/bin");
    for (size_t i = 0; i <= path.size();) {
        size_t end = path.find(':', i);
        if (end == std::string::npos) end = path.size();
        const std::string tool = path.substr(i, end - i) + "/update-desktop-database";
        i = end + 1;
        if (tool[0] != '/' || access(tool.c_str(), X_OK) != 0) continue;
        LChildProcess child;
        LChildProcess::Options o;
        o.stdoutMode = o.stderrMode = LChildProcess::Stdio::Null;
        // A tool that hangs is left running rather than holding up the installation.
        if (child.Start({tool, "-q", folder}, o)) child.Wait(30000);
        return;
    }
}

}  // namespace sonvex
