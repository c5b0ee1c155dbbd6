// A shared library loaded at run time, unloaded by its owner.
#pragma once

#include <string>

namespace sonvex {

class LSharedLibrary {
public:
    LSharedLibrary() = default;
    ~LSharedLibrary();
    LSharedLibrary(const LSharedLibrary&) = delete;
    LSharedLibrary& operator=(const LSharedLibrary&) = delete;

    // A name without "/" is searched as the system searches libraries; false when it does not
    // load.
    bool Load(const std::string& name);
    bool IsLoaded() const { return h_ != nullptr; }
    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const;

private:
    void* h_ = nullptr;
};

}  // namespace sonvex
