#include "tools/EventCsv.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "log/DiagnosticLog.h"

namespace sonotrap {

namespace {

constexpr double kBlockSeconds = 2304.0 / 32000.0;

// A CSV field: quoted (with doubled quotes) only when it needs to be.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

EventRow MakeEventRow(const GroupReport& group, std::chrono::system_clock::time_point start) {
    EventRow row;
    row.start = start;
    row.file = group.file;
    row.offsetSeconds = group.offsetBlocks * kBlockSeconds;
    row.durationSeconds = group.blocks * kBlockSeconds;
    row.triggeringBlocks = group.triggeringBlocks;
    row.peakHz = group.peakHz;
    row.peakDb = group.peakDb;
    return row;
}

std::string IsoLocalTime(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    const int millis = static_cast<int>((ms % 1000 + 1000) % 1000);
    const std::tm local = LocalTime(seconds);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03d", millis);
    return text;
}

bool EventCsv::Open(const std::string& path, bool withInput, std::string* error) {
    Close();
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (!f) {
        if (error) *error = "cannot open '" + path + "' for appending: " + std::strerror(errno);
        return false;
    }
    std::fseek(f, 0, SEEK_END);
    if (std::ftell(f) == 0) {
        std::fprintf(f, "%s%s\n", withInput ? "input," : "", kHeader);
        std::fflush(f);
    }
    std::lock_guard<std::mutex> lock(lock_);
    file_ = f;
    withInput_ = withInput;
    return true;
}

void EventCsv::Write(const EventRow& row) {
    std::lock_guard<std::mutex> lock(lock_);
    if (!file_) return;
    const std::string input = withInput_ ? CsvField(row.input) + "," : "";
    std::fprintf(file_, "%s%s,%s,%.3f,%.3f,%u,%.3f,%.1f\n", input.c_str(), IsoLocalTime(row.start).c_str(),
                 CsvField(row.file).c_str(), row.offsetSeconds, row.durationSeconds, row.triggeringBlocks, row.peakHz,
                 row.peakDb);
    std::fflush(file_);
}

void EventCsv::Close() {
    std::lock_guard<std::mutex> lock(lock_);
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

}  // namespace sonotrap
