#include "mp3enc/Mp3Sink.h"

namespace sonotrap {

size_t Mp3Sink::Write(const uint8_t* bytes, size_t count) {
    size_t taken = 0;
    if (file_ != nullptr) {
        taken = std::fwrite(bytes, 1, count, file_);
    } else if (write_) {
        taken = write_(bytes, count) ? count : 0;
    }
    if (taken != count) ++failedWrites_;
    return taken;
}

}  // namespace sonotrap
