#pragma once

#include <cpl_error.h>

#include <cstdint>
#include <string>

namespace drennow::gdalhost {

// Raises a failed host call with the description given.
[[noreturn]] void RaiseHostError(const std::string& description);

// Raises a failed host call: what was attempted and GDAL's own reason.
[[noreturn]] void RaiseGdalError(const std::string& attempted);

// Keeps the first failure GDAL reports while it lives. A driver may follow
// the failure that matters with others it caused (PostgreSQL: a query the
// server refused, then the cursor of that query that does not exist), and
// GDAL's last error is then the wrong one.
class FirstGdalFailure {
public:
    FirstGdalFailure();
    ~FirstGdalFailure();
    FirstGdalFailure(const FirstGdalFailure&) = delete;
    FirstGdalFailure& operator=(const FirstGdalFailure&) = delete;

    bool Happened() const { return happened_; }
    // Raises a failed host call: what was attempted and the first reason.
    [[noreturn]] void Raise(const std::string& attempted) const;

private:
    static void CPL_STDCALL Record(CPLErr type, CPLErrorNum number, const char* message);

    bool happened_ = false;
    std::string message_;
};

}  // namespace drennow::gdalhost
