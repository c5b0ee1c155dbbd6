#include "platform/SharedLibrary.h"

#include <dlfcn.h>

#include "platform/Debug.h"

namespace sonvex {

LSharedLibrary::~LSharedLibrary() {
    if (h_) dlclose(h_);
}

bool LSharedLibrary::Load(const std::string& name) {
    if (h_) dlclose(h_);
    h_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h_) DebugLog("LSharedLibrary::Load %s", dlerror());
    return h_ != nullptr;
}

void* LSharedLibrary::Symbol(const char* name) const {
    return h_ ? dlsym(h_, name) : nullptr;
}

}  // namespace sonvex
