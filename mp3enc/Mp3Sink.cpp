#include "mp3enc/Mp3Sink.h"

namespace sonotrap {

bool Mp3Sink::Write(const uint8_t* bytes, size_t count) {
    bool ok = false;
    if (file_ != nullptr) {
        ok = std::fwrite(bytes, 1, count, file_) == count;
    } else if (write_) {
        ok = write_(bytes, count);
    }
    if (!ok) ++failedWrites_;
    return ok;
}

}  // namespace sonotrap
