#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary() {
    Close();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
    }
    return *this;
}

bool DynamicLibrary::Open(const std::string& path, std::string* error) {
    Close();
    if (path.empty()) {
        if (error) *error = "cannot load library: empty name";
        return false;
    }
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* text = ::dlerror();
        if (error)
            *error = std::string("cannot load library ") + path + ": " + (text ? text : "unknown error");
        return false;
    }
    path_ = path;
    return true;
}

void* DynamicLibrary::Symbol(const char* name, std::string* error) const {
    if (!name) name = "";
    if (!handle_) {
        if (error) *error = std::string("library not loaded, entry point missing: ") + name;
        return nullptr;
    }
    ::dlerror();
    void* p = ::dlsym(handle_, name);
    if (!p) {
        if (error) *error = std::string("entry point missing: ") + name;
        return nullptr;
    }
    return p;
}

void DynamicLibrary::Close() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
    path_.clear();
}

}  // namespace platform
