// Shared helpers for the tests: temporary folders, signals, peers.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sonvex::test {

// A fresh folder under the temporary folder, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return szPath_; }
    std::string file(const std::string& name) const { return szPath_ + "/" + name; }

private:
    std::string szPath_;
};

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and TMPDIR into a fresh folder for one test.
class ScopedHome {
public:
    ScopedHome();
    ~ScopedHome();
    const std::string& home() const { return dir_.path(); }

private:
    TempDir dir_;
    std::vector<std::pair<std::string, std::string>> saved_;
    std::vector<std::string> unset_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);

// Runs a command through /bin/sh; returns its exit status (-1 if it did not exit normally).
int RunShell(const std::string& command, std::string* pOutput = nullptr);
// True when a program is on PATH.
bool HaveProgram(const std::string& name);

// Interleaved 16-bit sine (and optional white noise) for tests.
std::vector<int16_t> Sine16(int frames, int channels, double freq, double rate, double amplitude);
// Little-endian appenders for building files by hand.
void PutLE16(std::vector<uint8_t>& v, uint32_t x);
void PutLE32(std::vector<uint8_t>& v, uint32_t x);
void PutTag(std::vector<uint8_t>& v, const char* tag);

// Runs fn in a forked child, which reports fn's result and then holds what fn opened until
// Release (or destruction) lets it end.
class HeldChild {
public:
    explicit HeldChild(const std::function<std::string()>& fn);
    ~HeldChild() { Release(); }
    HeldChild(const HeldChild&) = delete;
    HeldChild& operator=(const HeldChild&) = delete;
    const std::string& result() const { return szResult_; }
    void Release();

private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    std::string szResult_;
};

// Path of the built program (build/sonvex).
std::string ProgramPath();

}  // namespace sonvex::test
