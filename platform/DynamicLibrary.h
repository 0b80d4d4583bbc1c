#pragma once

#include <string>

namespace platform {

// A shared library loaded at run time, its functions bound by name. Closes on
// destruction.
class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

    // A path with a slash is loaded as given; a bare name follows the loader's search.
    bool Open(const std::string& path, std::string* error);
    // nullptr with "entry point missing: <name>" in error when the library lacks it.
    void* Symbol(const char* name, std::string* error) const;
    template <class F>
    bool Bind(F*& fn, const char* name, std::string* error) const {
        void* p = Symbol(name, error);
        fn = reinterpret_cast<F*>(p);
        return p != nullptr;
    }
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }
    const std::string& Path() const { return path_; }

  private:
    void* handle_ = nullptr;
    std::string path_;
};

}  // namespace platform
