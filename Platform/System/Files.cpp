#include "Platform/System/Files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <utility>

namespace platform {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};


std::string temporaryName(const std::filesystem::path& target) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static constexpr char digits[] = "0123456789abcdef";
    // A leading dot and a ".tmp" ending keep readers that look for "*.json" away from it.
    std::string name(1, '.');
    name.append(target.filename().string()).push_back('.');
    for (auto bits = random(), i = decltype(bits){0}; i < 12; ++i, bits >>= 4) name.push_back(digits[bits & 15]);
    name.append(".tmp");
    return name;
}

bool isTemporaryName(const std::string& name) { return name.size() > 5 && name[0] == '.' && name.ends_with(".tmp"); }

// Log lines carry outside text (links, file names, what extensions say): a control character in it
// must not end the line, forge another or reach a terminal, so it is written as an escape. The C1
// controls of UTF-8 (U+0080 to U+009F) count too.
void appendEscaped(std::string& out, std::string_view text) {
    static constexpr char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        bool c1 = byte == 0xc2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xe0) == 0x80;
        if (byte >= 0x20 && byte != 0x7f && !c1) {
            out.push_back(text[i]);
            continue;
        }
        switch (byte) {
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        }
        if (c1) {
            byte = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
        } else {
            out += "\\x";
        }
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 15]);
    }
}

}  // namespace

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void logLine(LogPriority priority, std::string_view prefix, std::string_view line) {
    // A journal priority is one digit.
    std::string text{'<', static_cast<char>('0' + static_cast<int>(priority)), '>'};
    text += prefix;
    appendEscaped(text, line);
    text += '\n';
    writeAll(STDERR_FILENO, text);
}

std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::uintmax_t maxBytes) {
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    FileDescriptor fd{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (fd.get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) return std::nullopt;

    // Room for one byte more than fstat gave. A regular file reads short only at its end, so when
    // that size is in and the byte stays unread, the end has come without another read. A file that
    // fills the room has grown (or is a /proc file, of size 0): it is read on to its end.
    auto expected = static_cast<size_t>(info.st_size);
    std::string bytes(expected + 1, '\0');
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maxBytes) return std::nullopt;
            bytes.resize(static_cast<size_t>(std::min<std::uintmax_t>(2 * bytes.size() + 4096, maxBytes + 1)));
        }
        ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        filled += static_cast<size_t>(n);
        if (filled == expected) break;
    }
    if (filled > maxBytes) return std::nullopt;
    bytes.resize(filled);
    return bytes;
}

bool writeAtomically(const std::filesystem::path& path, std::string_view bytes) {
    auto directory = path.parent_path();
    if (directory.empty()) directory = ".";
    auto temporary = directory / temporaryName(path);
    FileDescriptor fd{::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
    if (fd.get() < 0) return false;
    bool ok = writeAll(fd.get(), bytes);
    ok = (::close(fd.release()) == 0) && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

void removeStaleTemporaryFiles(const std::filesystem::path& directory, std::chrono::seconds minimumAge) {
    try {
        auto cutoff = std::filesystem::file_time_type::clock::now() - minimumAge;
        std::error_code error;
        for (const auto& item : std::filesystem::directory_iterator(directory, error)) {
            if (!isTemporaryName(item.path().filename().string())) continue;
            std::error_code itemError;
            if (!item.is_regular_file(itemError) || item.is_symlink(itemError)) continue;
            auto modified = item.last_write_time(itemError);
            if (!itemError && modified < cutoff) std::filesystem::remove(item.path(), itemError);
        }
    } catch (const std::exception&) {
        // A directory that cannot be listed keeps its leftovers until the next time.
    }
}

bool touchEmptyFile(const std::filesystem::path& path) {
    FileDescriptor fd{::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644)};
    struct stat info {};
    if (fd.get() >= 0 && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1) {
        // Truncate only a file that belongs to no one else (and only when something is in it), then stamp it.
        if ((info.st_size == 0 || ::ftruncate(fd.get(), 0) == 0) && ::futimens(fd.get(), nullptr) == 0) return true;
    }
    return writeAtomically(path, {});
}

bool createDirectories(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) return false;
    return std::filesystem::is_directory(path, error);
}

}  // namespace platform
