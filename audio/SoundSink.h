// Sound sinks: the push side of a chain (file writers and encoder pipes).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace sonvex {

class LSoundSinkRef;

class LSoundSinkBase {
public:
    static constexpr uint8_t kErrorUnusable = 1;

    int32_t sPosition = 0;
    int32_t SampleRate;
    uint8_t nChans;
    uint8_t uErrorFlags = 0;

    LSoundSinkBase(int32_t rate, int nChannels);
    // A sink whose Finish() has not run finishes its output at destruction.
    virtual ~LSoundSinkBase() = default;
    LSoundSinkBase(const LSoundSinkBase&) = delete;
    LSoundSinkBase& operator=(const LSoundSinkBase&) = delete;

    virtual void Write(const int32_t* pBuffer, int frames) = 0;
    // Cut the output back to a frame; only sinks that can do so implement it.
    virtual void Seek(int32_t frame) { (void)frame; }
    // The one place a sink completes its output (headers, flushing, the encoder's exit); false
    // when a write failed, the header's included, or the sink was unusable from the start.
    // Idempotent; a finished sink accepts no more writes.
    virtual bool Finish() { return !IsUnusable(); }
    // Sinks that wait on another program poll this while they wait; true gives up the wait.
    virtual void SetCancelCheck(std::function<bool()> cancel) { (void)cancel; }
    // The output will be thrown away: end any helper program now instead of letting it
    // complete the file. A sink given up accepts no more writes and does not finish.
    virtual void Abandon() {}
    // Why Finish or a write failed, in the words of whoever failed (an encoder's last message);
    // empty when there is nothing to add to the system's reason.
    virtual std::string FailureDetail() const { return {}; }

    bool IsUnusable() const { return (uErrorFlags & kErrorUnusable) != 0; }

private:
    friend class LSoundSinkRef;
    std::atomic<int> nRefCount_{0};  // handles may be released on another thread
};

// Counted handle to a sink; may be empty.
class LSoundSinkRef {
public:
    LSoundSinkRef() = default;
    LSoundSinkRef(LSoundSinkBase* p);  // NOLINT: takes a newly created sink
    LSoundSinkRef(const LSoundSinkRef& other);
    LSoundSinkRef& operator=(const LSoundSinkRef& other);
    LSoundSinkRef& operator=(LSoundSinkBase* p);
    ~LSoundSinkRef();

    void Reset() { Assign(nullptr); }
    bool empty() const { return p_ == nullptr; }
    explicit operator bool() const { return p_ != nullptr; }
    LSoundSinkBase* get() const { return p_; }
    LSoundSinkBase* operator->() const { return p_; }
    LSoundSinkBase& operator*() const { return *p_; }

private:
    void Assign(LSoundSinkBase* p);
    LSoundSinkBase* p_ = nullptr;
};

}  // namespace sonvex
