#include "gisutil/modUtilsGeneral.h"

#include "runtime/Error.h"

namespace drennow::modUtilsGeneral {

namespace {

constexpr size_t kLongestPath = 32767;

std::string TrimSpaces(const std::string& text)
{
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = text.find_last_not_of(' ');
    return text.substr(begin, end - begin + 1);
}

// On POSIX systems a backslash is a character of a file name like any other.
bool IsSeparator(char c)
{
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

}  // namespace

std::string GetParentFolder(const std::string& path)
{
    if (path.size() > kLongestPath) {
        runtime::Raise(runtime::kOverflow);
    }
    std::string trimmed = TrimSpaces(path);
    bool quoted = !trimmed.empty() && (trimmed.back() == '\'' || trimmed.back() == '"');
    size_t separator = 0;  // position counted from 1; 0 when there is none
    for (size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            separator = i;
            break;
        }
    }
    if (separator <= 1) {
        return "";
    }
    std::string folder = path.substr(0, separator - 1);
    if (quoted) {
        folder = TrimSpaces(folder) + trimmed.back();
    }
    return folder;
}

}  // namespace drennow::modUtilsGeneral
