#pragma once

#include "platform/gdal/GdalApplication.h"
#include "platform/gdal/TerminalUserInterface.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace drennow::app {

// What the command line asks for.
struct CommandLine {
    std::vector<std::string> datasets;
    gdalhost::Answers answers;
    gdalhost::SelectionRequest selection;
    std::optional<std::string> logFolder;
    bool batch = false;
    bool help = false;
    bool version = false;
};

// A command line that cannot be run; its text is for the user.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

extern const char* const kUsage;

}  // namespace drennow::app
