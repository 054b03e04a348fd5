#pragma once
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace sonotrap::test {

// How long a test waits for another thread before it fails.
inline constexpr std::chrono::seconds kWaitLimit{10};
// Polls ready() every millisecond until it holds or kWaitLimit has passed; returns ready().
inline bool WaitUntil(const std::function<bool()>& ready) {
    const auto end = std::chrono::steady_clock::now() + kWaitLimit;
    while (!ready() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return ready();
}

// A fresh directory under the system's temporary directory, removed with the object.
class TempDir {
public:
    TempDir() {
        std::random_device rd;
        do path_ = std::filesystem::temp_directory_path() / ("sonotrap-test-" + std::to_string(rd()) + std::to_string(rd()));
        while (!std::filesystem::create_directory(path_));
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sets the process's current directory to dir while it lives.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::filesystem::path& dir) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~ScopedCurrentDir() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }

private:
    std::filesystem::path previous_;
};

inline std::string DataPath(const std::string& name) { return std::string(SONOTRAP_TEST_DATA) + "/" + name; }  // in tests/data

inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    const std::string text = ReadFileText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

inline bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Raw 16-bit little-endian samples, as sox, ffmpeg and lame read and write them.
inline std::vector<int16_t> ReadPcm16(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return pcm;
}

inline bool WritePcm16(const std::string& path, const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    for (int16_t s : samples) bytes.insert(bytes.end(), {static_cast<uint8_t>(s), static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8)});
    return WriteFileBytes(path, bytes);
}

// Runs a shell command, returns its exit status and puts its standard output in *out.
inline int RunCommand(const std::string& command, std::string* out = nullptr) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;)
        if (out) out->append(buf, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when an external command (sox, ffmpeg, lame, ...) can be run.
inline bool HaveCommand(const std::string& name) { return RunCommand("command -v " + name + " >/dev/null 2>&1") == 0; }

}  // namespace sonotrap::test
