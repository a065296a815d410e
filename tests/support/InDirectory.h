#pragma once

#include <filesystem>

// Changes the current directory for the lifetime of the object.
class InDirectory {
public:
    explicit InDirectory(const std::filesystem::path& path)
        : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~InDirectory() { std::filesystem::current_path(old_); }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    std::filesystem::path old_;
};
