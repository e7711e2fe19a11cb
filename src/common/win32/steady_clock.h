#pragma once
// Seconds on the performance counter: steady and fine enough to time one WinInet call.
#include <windows.h>

namespace qm {

inline double SteadySeconds() {
    LARGE_INTEGER count{}, frequency{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace qm
