#pragma once
#include <cstdint>
#include <string>

namespace sonotrap {

// The text of value with a fixed count of decimals, every digit truncated (not rounded), as the
// readouts, the note strip and the peak log show numbers: (1, -23.46) gives "-23.4", (0, 7.9)
// gives "7.", (2, 0) gives "0.00". Values it cannot write in 15 characters, magnitudes above
// 4294967295 and non-numbers give "ERR".
std::string FormatDecimal(int32_t decimals, double value);

// The elapsed time as "HH:MM:SS" (hours modulo 100) and the recorded size as "N kb" below
// 1024 kilobytes, else megabytes with one decimal and " mb". Either output may be null.
void FormatTimeAndSize(int32_t seconds, int32_t kilobytes, std::string* timeText, std::string* sizeText);

}  // namespace sonotrap
