#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "capture/Recorder.h"

namespace sonotrap {

// One contiguous samples group as a row of an events table.
struct EventRow {
    std::string input;  // written only into a table that has the input column
    std::chrono::system_clock::time_point start;  // the group's first block
    std::string file;
    double offsetSeconds = 0.0;  // where the group starts in the file
    double durationSeconds = 0.0;
    uint32_t triggeringBlocks = 0;
    double peakHz = 0.0;  // the loudest triggering block
    double peakDb = 0.0;
};

EventRow MakeEventRow(const GroupReport& group, std::chrono::system_clock::time_point start);
// Local time as 2026-12-06T14:03:22.128.
std::string IsoLocalTime(std::chrono::system_clock::time_point t);

// The events table: a CSV file, one row per group, written as the groups end. It is appended
// to, so a table can gather many runs; the header goes only into an empty file. Each row is
// flushed at once, so a crash loses no finished group. Rows may come from several threads.
class EventCsv {
public:
    static constexpr const char* kHeader = "start,file,offset_s,duration_s,triggering_blocks,peak_hz,peak_db";

    EventCsv() = default;
    ~EventCsv() { Close(); }
    EventCsv(const EventCsv&) = delete;
    EventCsv& operator=(const EventCsv&) = delete;

    // withInput adds a first column "input" (for runs over more than one input).
    bool Open(const std::string& path, bool withInput, std::string* error);
    bool IsOpen() const { return file_ != nullptr; }
    void Write(const EventRow& row);
    void Close();

private:
    std::mutex lock_;
    std::FILE* file_ = nullptr;
    bool withInput_ = false;
};

}  // namespace sonotrap
