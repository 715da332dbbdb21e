#include "Host/KelvoApp/Log.hpp"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace kelvo::app {

void logEvent(std::string_view line) {
    std::string text = "kelvo-app: ";
    text.append(line);
    text.push_back('\n');
    std::string_view rest = text;
    while (!rest.empty()) {
        ssize_t n = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        rest.remove_prefix(static_cast<size_t>(n));
    }
}

}  // namespace kelvo::app
