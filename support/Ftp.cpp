#include "support/Ftp.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/Debug.h"

#ifdef SONVEX_HAVE_CURL
#include <curl/curl.h>
#endif

namespace sonvex {

#ifdef SONVEX_HAVE_CURL

namespace {
// Data held back before the transfer is paused until the reader catches up.
constexpr size_t kMaxBuffered = 64 * 1024;

CURLM* Multi(void* p) {
    return static_cast<CURLM*>(p);
}
CURL* Easy(void* p) {
    return static_cast<CURL*>(p);
}
}  // namespace

bool LFileTransferProtocol::Connect() {
    if (hInternet_) return true;
    static std::once_flag once;
    static bool initialised = false;
    std::call_once(once, [] { initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    if (!initialised) {
        DebugLog("LFileTransferProtocol::Connect() LoadLibrary WinINet.DLL failed");
        return false;
    }
    hInternet_ = curl_multi_init();
    if (!hInternet_) {
        DebugLog("LFileTransferProtocol::Connect() Internet Open Failed");
        return false;
    }
    bAutoDialed_ = false;  // no dial-up connections to start here
    return true;
}

void LFileTransferProtocol::Disconnect() {
    if (!hInternet_) return;
    CloseFile();
    if (hService_) {
        curl_easy_cleanup(Easy(hService_));
        hService_ = nullptr;
    }
    curl_multi_cleanup(Multi(hInternet_));
    hInternet_ = nullptr;
    bAutoDialed_ = false;
}

std::string LFileTransferProtocol::Url(std::string_view tail) const {
    std::string url = "ftp://" + szServer_ + "/";
    if (!szFolder_.empty()) url += szFolder_ + "/";
    url += tail;
    return url;
}

// Runs one command transfer (log-on, change folder) to its end on the client's connection.
bool LFileTransferProtocol::RunCommand(const std::string& url) {
    CURL* e = Easy(hService_);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    if (curl_multi_add_handle(Multi(hInternet_), e) != CURLM_OK) return false;
    CURLcode result = CURLE_FAILED_INIT;
    for (bool done = false; !done;) {
        int running = 0;
        curl_multi_perform(Multi(hInternet_), &running);
        int left = 0;
        while (CURLMsg* m = curl_multi_info_read(Multi(hInternet_), &left))
            if (m->msg == CURLMSG_DONE) {
                result = m->data.result;
                done = true;
            }
        if (!done) curl_multi_poll(Multi(hInternet_), nullptr, 0, 1000, nullptr);
    }
    curl_multi_remove_handle(Multi(hInternet_), e);
    if (result != CURLE_OK) DebugLog("FTP %s: %s", url.c_str(), curl_easy_strerror(result));
    return result == CURLE_OK;
}

bool LFileTransferProtocol::LogOnServer(std::string_view server) {
    if (!hInternet_ && !Connect()) return false;
    CloseFile();
    if (hService_) {
        curl_easy_cleanup(Easy(hService_));
        hService_ = nullptr;
    }
    CURL* e = curl_easy_init();
    if (!e) return false;
    szServer_ = std::string(server);
    szFolder_.clear();
    curl_easy_setopt(e, CURLOPT_PROXY, "");  // direct, whatever the environment says
    curl_easy_setopt(e, CURLOPT_FTP_USE_EPSV, 1L);
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
    // A server that accepts and then stays silent must not hang the job.
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, nStallSeconds_);
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, nStallSeconds_);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, nStallSeconds_);
    hService_ = e;
    if (!RunCommand(Url(""))) {
        DebugLog("LFileTransferProtocol::LogOnServer(anonymous) InternetConnect FAILED");
        curl_easy_cleanup(e);
        hService_ = nullptr;
        return false;
    }
    return true;
}

bool LFileTransferProtocol::SetCurrentDirectory(std::string_view folder) {
    if (folder.empty()) return true;
    if (!hService_) return false;
    std::string previous = szFolder_;
    char* esc = curl_easy_escape(Easy(hService_), folder.data(), static_cast<int>(folder.size()));
    if (!esc) return false;
    szFolder_ = previous.empty() ? std::string(esc) : previous + "/" + esc;
    curl_free(esc);
    if (!RunCommand(Url(""))) {
        szFolder_ = previous;
        return false;
    }
    return true;
}

size_t LFileTransferProtocol::OnData(char* p, size_t size, size_t n, void* user) {
    auto* self = static_cast<LFileTransferProtocol*>(user);
    size_t bytes = size * n;
    if (self->buffer_.size() - self->bufferPos_ >= kMaxBuffered) {
        self->bPaused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (self->bufferPos_ > 0 && self->bufferPos_ == self->buffer_.size()) {
        self->buffer_.clear();
        self->bufferPos_ = 0;
    }
    self->buffer_.insert(self->buffer_.end(), p, p + bytes);
    return bytes;
}

void LFileTransferProtocol::Step() {
    if (bPaused_ && buffer_.size() - bufferPos_ < kMaxBuffered) {
        bPaused_ = false;
        curl_easy_pause(Easy(hService_), CURLPAUSE_CONT);
    }
    int running = 0;
    curl_multi_perform(Multi(hInternet_), &running);
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(Multi(hInternet_), &left))
        if (m->msg == CURLMSG_DONE) {
            bDone_ = true;
            iResult_ = m->data.result;
            if (iResult_ != CURLE_OK)
                DebugLog("FTP transfer: %s", curl_easy_strerror(m->data.result));
        }
    if (buffer_.size() == bufferPos_ && !bDone_)
        curl_multi_poll(Multi(hInternet_), nullptr, 0, 1000, nullptr);
}

bool LFileTransferProtocol::OpenFile(std::string_view name) {
    if (!hService_ || bFileOpen_) return false;
    CURL* e = Easy(hService_);
    char* esc = curl_easy_escape(e, name.data(), static_cast<int>(name.size()));
    if (!esc) return false;
    std::string url = Url(esc);
    curl_free(esc);
    buffer_.clear();
    bufferPos_ = 0;
    bDone_ = false;
    bPaused_ = false;
    iResult_ = CURLE_OK;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &LFileTransferProtocol::OnData);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    if (curl_multi_add_handle(Multi(hInternet_), e) != CURLM_OK) return false;
    bFileOpen_ = true;
    // Open once data flows, or once the transfer ended without error (an empty file).
    while (buffer_.size() == bufferPos_ && !bDone_) Step();
    if (bDone_ && iResult_ != CURLE_OK) {
        CloseFile();
        return false;
    }
    return true;
}

int64_t LFileTransferProtocol::GetFileSize() {
    if (!hService_) return 0;
    curl_off_t len = -1;
    if (curl_easy_getinfo(Easy(hService_), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &len) != CURLE_OK)
        return 0;
    return len > 0 ? static_cast<int64_t>(len) : 0;
}

bool LFileTransferProtocol::ReadFile(void* p, size_t n, size_t* pRead) {
    *pRead = 0;
    if (!bFileOpen_) return false;
    while (buffer_.size() == bufferPos_ && !bDone_) Step();
    size_t avail = buffer_.size() - bufferPos_;
    if (avail == 0) return iResult_ == CURLE_OK;
    size_t take = std::min(avail, n);
    std::memcpy(p, buffer_.data() + bufferPos_, take);
    bufferPos_ += take;
    *pRead = take;
    return true;
}

void LFileTransferProtocol::CloseFile() {
    if (!bFileOpen_) return;
    curl_multi_remove_handle(Multi(hInternet_), Easy(hService_));
    curl_easy_setopt(Easy(hService_), CURLOPT_WRITEFUNCTION, nullptr);
    curl_easy_setopt(Easy(hService_), CURLOPT_WRITEDATA, nullptr);
    bFileOpen_ = false;
    buffer_.clear();
    bufferPos_ = 0;
}

#else  // no libcurl: every download fails

bool LFileTransferProtocol::Connect() {
    DebugLog("LFileTransferProtocol::Connect() LoadLibrary WinINet.DLL failed");
    return false;
}
void LFileTransferProtocol::Disconnect() {}
bool LFileTransferProtocol::LogOnServer(std::string_view) {
    return false;
}
bool LFileTransferProtocol::SetCurrentDirectory(std::string_view folder) {
    return folder.empty();
}
bool LFileTransferProtocol::OpenFile(std::string_view) {
    return false;
}
int64_t LFileTransferProtocol::GetFileSize() {
    return 0;
}
bool LFileTransferProtocol::ReadFile(void*, size_t, size_t* pRead) {
    *pRead = 0;
    return false;
}
void LFileTransferProtocol::CloseFile() {}
bool LFileTransferProtocol::RunCommand(const std::string&) {
    return false;
}
std::string LFileTransferProtocol::Url(std::string_view) const {
    return {};
}
size_t LFileTransferProtocol::OnData(char*, size_t, size_t, void*) {
    return 0;
}
void LFileTransferProtocol::Step() {}

#endif

}  // namespace sonvex
