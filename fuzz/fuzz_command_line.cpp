// Random argument lists (NUL-separated) through the command-line parser: it
// either refuses them with a message or yields a command line that keeps
// its own rules. No crash, no undefined behaviour, no unbounded memory.
#include "request/RunOptionTable.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

std::vector<std::string> Arguments(const uint8_t* data, size_t size)
{
    std::vector<std::string> arguments(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\0') {
            arguments.emplace_back();
        } else {
            arguments.back() += static_cast<char>(data[i]);
        }
    }
    return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace drennow::request;
    std::vector<std::string> arguments = Arguments(data, size);
    try {
        CommandLine line = ParseCommandLine(arguments);
        if (line.help || line.version) {
            return 0;
        }
        Check(!line.datasets.empty() && line.datasets.size() <= arguments.size());
        Check(!(line.selection.where && line.selection.fids));
        if (line.selection.fids) {
            Check(!line.selection.fids->empty() && line.selection.fids->size() <= kMostListedIds);
        }
    } catch (const RequestError& error) {
        Check(error.what()[0] != '\0');
    }
    return 0;
}
