#pragma once

#include "platform/Date.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace drovane {

// A property every input must keep; libFuzzer records the input that breaks it.
inline void require(bool condition) {
    if (!condition)
        std::abort();
}

// The input as a file at `path`, as the program finds what it reads from disk.
inline void writeInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    require(file.good());
}

// `date` as the XML form keeps it: its second.
inline Date toSecond(Date date) {
    const std::int64_t us = date.microsecondsSinceReferenceDate;
    return Date{us - ((us % Date::microsecondsPerSecond) + Date::microsecondsPerSecond) %
                         Date::microsecondsPerSecond};
}

} // namespace drovane
