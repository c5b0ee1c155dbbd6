#include "common/TestUtil.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/File.h"

namespace sonvex::test {

TempDir::TempDir() {
    const char* t = std::getenv("TMPDIR");
    std::string base = (t && *t) ? t : "/tmp";
    std::string templ = base + "/sonvex-test-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    szPath_ = buf.data();
}

TempDir::~TempDir() {
    RunShell("rm -rf '" + szPath_ + "'");
}

ScopedHome::ScopedHome() {
    const char* names[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "TMPDIR", "XDG_RUNTIME_DIR"};
    for (const char* n : names) {
        const char* v = std::getenv(n);
        if (v)
            saved_.emplace_back(n, v);
        else
            unset_.emplace_back(n);
    }
    const std::string& h = dir_.path();
    mkdir((h + "/tmp").c_str(), 0700);
    setenv("HOME", h.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (h + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (h + "/.local/share").c_str(), 1);
    setenv("TMPDIR", (h + "/tmp").c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
}

ScopedHome::~ScopedHome() {
    for (auto& [n, v] : saved_) setenv(n.c_str(), v.c_str(), 1);
    for (auto& n : unset_) unsetenv(n.c_str());
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

int RunShell(const std::string& command, std::string* pOutput) {
    FILE* p = popen(command.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        if (pOutput) pOutput->append(buf, n);
    int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

bool HaveProgram(const std::string& name) {
    return RunShell("command -v '" + name + "' >/dev/null 2>&1") == 0;
}

std::vector<int16_t> Sine16(int frames, int channels, double freq, double rate, double amplitude) {
    std::vector<int16_t> v(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            double ph = 2 * M_PI * freq * (c + 1) * i / rate;
            v[static_cast<size_t>(i) * channels + c] =
                static_cast<int16_t>(std::lround(amplitude * std::sin(ph)));
        }
    return v;
}

void PutLE16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

void PutLE32(std::vector<uint8_t>& v, uint32_t x) {
    PutLE16(v, x & 0xFFFF);
    PutLE16(v, x >> 16);
}

void PutTag(std::vector<uint8_t>& v, const char* tag) {
    v.insert(v.end(), tag, tag + 4);
}

HeldChild::HeldChild(const std::function<std::string()>& fn) {
    int ready[2], release[2];
    if (pipe(ready) != 0) return;
    if (pipe(release) != 0) {
        close(ready[0]);
        close(ready[1]);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        close(ready[0]);
        close(release[1]);
        const std::string r = fn();
        (void)!write(ready[1], r.data(), r.size());
        close(ready[1]);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    releaseFd_ = release[1];
    char buf[4096];
    ssize_t n = pid_ > 0 ? read(ready[0], buf, sizeof buf) : 0;
    if (n > 0) szResult_.assign(buf, static_cast<size_t>(n));
    close(ready[0]);
}

void HeldChild::Release() {
    if (releaseFd_ >= 0) close(releaseFd_);  // the child's read returns
    releaseFd_ = -1;
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string ProgramPath() {
    return std::string(SONVEX_BINARY_DIR) + "/sonvex";
}

}  // namespace sonvex::test
