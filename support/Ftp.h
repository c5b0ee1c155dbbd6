// Anonymous FTP client for component downloads (passive, binary), over libcurl. One control
// connection per client; a remote file is read in small pieces so the caller can pump its
// progress dialog between reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sonvex {

class LFileTransferProtocol {
public:
    LFileTransferProtocol() = default;
    ~LFileTransferProtocol() { Disconnect(); }
    LFileTransferProtocol(const LFileTransferProtocol&) = delete;
    LFileTransferProtocol& operator=(const LFileTransferProtocol&) = delete;

    bool Connect();
    void Disconnect();
    // Connects to "host" or "host:port" (port 21 by default) and logs on anonymously.
    bool LogOnServer(std::string_view server);
    // An empty folder succeeds at once.
    bool SetCurrentDirectory(std::string_view folder);
    bool LoggedOn() const { return hService_ != nullptr; }

    // The remote file, opened for reading in the current folder.
    bool OpenFile(std::string_view name);
    // Size reported by the server; 0 when unknown.
    int64_t GetFileSize();
    // Reads up to n bytes; *pRead 0 at the end. False on a transfer error.
    bool ReadFile(void* p, size_t n, size_t* pRead);
    void CloseFile();

    // A connection that sends nothing for this long fails instead of hanging (30 s unless set).
    void SetStallTimeoutSeconds(long seconds) { nStallSeconds_ = seconds; }

private:
    long nStallSeconds_ = 30;
    bool RunCommand(const std::string& url);
    void Step();
    std::string Url(std::string_view tail) const;
    static size_t OnData(char* p, size_t size, size_t n, void* user);

    void* hInternet_ = nullptr;  // multi handle
    void* hService_ = nullptr;   // easy handle bound to the server
    bool bAutoDialed_ = false;
    std::string szServer_;
    std::string szFolder_;

    // The open remote file.
    bool bFileOpen_ = false;
    bool bDone_ = false;
    bool bPaused_ = false;
    int iResult_ = 0;
    std::vector<char> buffer_;
    size_t bufferPos_ = 0;
};

}  // namespace sonvex
