#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace sonotrap {

// A whole file mapped read-only into memory. The bytes stay valid until Close or destruction;
// readers keep pointers into them, so the mapping must outlive them.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return open_; }
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool open_ = false;
    bool mapped_ = false;  // false for an empty file, which has no mapping
};

}  // namespace sonotrap
