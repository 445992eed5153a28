// Test support: a temporary machine folder for the life of a test, named by TESSEL_MACHINE,
// so tests never share state and never touch the user's machine folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace platform::testing {

class TempMachine {
  public:
    TempMachine() {
        if (const char* old = std::getenv("TESSEL_MACHINE")) previous_ = old;
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tessel-machine-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        setenv("TESSEL_MACHINE", path_.c_str(), 1);
    }
    ~TempMachine() {
        if (previous_)
            setenv("TESSEL_MACHINE", previous_->c_str(), 1);
        else
            unsetenv("TESSEL_MACHINE");
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    std::optional<std::string> previous_;
};

// The folder holding the built programs and libraries (set by CTest as TESSEL_BIN).
inline std::filesystem::path binFolder() {
    if (const char* bin = std::getenv("TESSEL_BIN")) return bin;
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

}  // namespace platform::testing
