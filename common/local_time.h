#pragma once
#include <cstdint>

namespace velk {

// Local wall-clock time, as the Windows SYSTEMTIME fields the logs use.
struct LocalTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
};

// Reads the machine's local time (GetLocalTime on Windows).
LocalTime ReadLocalTime();

}  // namespace velk
