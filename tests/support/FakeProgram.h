#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// Puts a folder in front of PATH for the lifetime of the object.
class PathPrefix {
public:
    explicit PathPrefix(const std::filesystem::path& folder) {
        const char* old = std::getenv("PATH");
        if (old != nullptr)
            old_ = old;
        setenv("PATH", (folder.string() + ":" + old_).c_str(), 1);
    }
    ~PathPrefix() { setenv("PATH", old_.c_str(), 1); }
    PathPrefix(const PathPrefix&) = delete;
    PathPrefix& operator=(const PathPrefix&) = delete;

private:
    std::string old_;
};

// An executable shell script at `path`.
inline void WriteScript(const std::filesystem::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
}

// A program at `path` that appends one line to `record` per run: each of its
// arguments inside <>. `before` runs first and may rewrite the arguments.
inline void WriteRecorder(const std::filesystem::path& path, const std::filesystem::path& record,
                          const std::string& before = "") {
    const std::string target = "'" + record.string() + "'";
    WriteScript(path, before + "for a in \"$@\"; do printf '<%s>' \"$a\"; done >> " + target +
                          "\necho >> " + target + "\n");
}

inline std::string ReadTextFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
