#pragma once

#include <cstdint>
#include <string>

namespace drennow::gdalhost {

// Raises a failed host call with the description given.
[[noreturn]] void RaiseHostError(const std::string& description);

// Raises a failed host call: what was attempted and GDAL's own reason.
[[noreturn]] void RaiseGdalError(const std::string& attempted);

// Notes the first failure GDAL reports while it lives. Later ones are often
// only its consequences (a cursor that was never opened), and GDAL may clear
// its last error before the caller looks.
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
    bool happened_ = false;
    std::string reason_;
};

}  // namespace drennow::gdalhost
