#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sonotrap::test {

// How long a test waits for another thread before it fails.
inline constexpr std::chrono::seconds kWaitLimit{10};
// Polls ready() every millisecond until it holds or kWaitLimit has passed; returns ready().
bool WaitUntil(const std::function<bool()>& ready);

// A fresh directory under the system's temporary directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Runs the body with the process's current directory set to dir, and restores it.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::filesystem::path& dir);
    ~ScopedCurrentDir();

private:
    std::filesystem::path previous_;
};

std::string DataPath(const std::string& name);       // a file in tests/data
std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Raw 16-bit little-endian samples, as sox, ffmpeg and lame read and write them.
std::vector<int16_t> ReadPcm16(const std::string& path);
bool WritePcm16(const std::string& path, const std::vector<int16_t>& samples);
// True when an external command (sox, ffmpeg, lame, ...) can be run.
bool HaveCommand(const std::string& name);
// Runs a shell command, returns its exit status and puts its standard output in *out.
int RunCommand(const std::string& command, std::string* out = nullptr);

}  // namespace sonotrap::test
