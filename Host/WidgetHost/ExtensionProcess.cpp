#include "Host/WidgetHost/ExtensionProcess.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/Log.hpp"
#include "Platform/System/ChildProcess.hpp"
#include "Platform/Widgets/Protocol.hpp"

namespace widgethost {
namespace {

using nlohmann::json;

std::string excerpt(std::string_view line) {
    constexpr size_t keep = 160;
    std::string text(line.substr(0, keep));
    if (line.size() > keep) text += "…";
    return text;
}

// The extension and every process it started: it leads a process group of its own.
void killGroup(pid_t leader) { ::kill(-leader, SIGKILL); }

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ExtensionProcess::ExtensionProcess(sd_event* loop, Timers& timers, std::filesystem::path executable,
                                   ExtensionLimits limits, std::function<void(int, int)> ended)
    : loop_(loop), timers_(timers), executable_(std::move(executable)), limits_(limits), ended_(std::move(ended)) {}

ExtensionProcess::~ExtensionProcess() {
    *alive_ = false;
    pending_.clear();
    releaseSources();
    if (pid_ > 0) {
        killGroup(pid_);
        ::waitpid(pid_, nullptr, 0);
    }
}

platform::Status<> ExtensionProcess::start() {
    if (pid_ > 0) return platform::Error{"already running"};

    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) < 0) return platform::Error{"pipe2", errno};
    if (pipe2(output, O_CLOEXEC) < 0) {
        int error = errno;
        close(input[0]), close(input[1]);
        return platform::Error{"pipe2", error};
    }
    // An extension must not outlive the host that talks to it, and a Ctrl-C meant for the host
    // must not kill it in the middle of an intent: the host ends it by closing its input. Its own
    // process group lets the host end it together with whatever it started.
    platform::ChildOptions options;
    options.input = input[0];
    options.output = output[1];
    options.ownProcessGroup = true;
    options.endWithParent = true;
    options.addressSpaceBytes = limits_.addressSpaceBytes;
    options.environment = limits_.environment;
    std::string program = executable_.string();
    auto child = platform::startChild({program}, options);
    close(input[0]);
    close(output[1]);
    if (!child) {
        close(input[1]), close(output[0]);
        return platform::Error{"cannot run " + program + ": " + child.error().message, child.error().errnum};
    }

    pid_ = *child;
    inputFd_ = input[1];
    outputFd_ = output[0];
    fcntl(inputFd_, F_SETFL, fcntl(inputFd_, F_GETFL) | O_NONBLOCK);
    fcntl(outputFd_, F_SETFL, fcntl(outputFd_, F_GETFL) | O_NONBLOCK);
    readBuffer_.clear();
    toWrite_.clear();
    skippingLongLine_ = false;

    int r = sd_event_add_io(loop_, &readSource_, outputFd_, EPOLLIN, onReadable, this);
    if (r >= 0) r = sd_event_add_io(loop_, &writeSource_, inputFd_, EPOLLOUT, onWritable, this);
    if (r >= 0) r = sd_event_source_set_enabled(writeSource_, SD_EVENT_OFF);
    if (r >= 0) r = sd_event_add_child(loop_, &childSource_, pid_, WEXITED, onExited, this);
    if (r < 0) {
        releaseSources();
        killGroup(pid_);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return platform::Error{"event loop", -r};
    }
    return platform::Done{};
}

bool ExtensionProcess::send(std::string_view method, const json& params, std::chrono::milliseconds timeout,
                            Completion completion) {
    if (pid_ <= 0 || inputFd_ < 0) return false;
    std::uint64_t id = nextId_++;
    json request = platform::protocol::request(id, method, params);
    auto expired = [this, id] { complete(id, {RpcOutcome::Status::timedOut, nullptr, "no answer in time"}); };
    pending_.emplace(id, Pending{std::move(completion), timers_.after(timeout, expired)});
    toWrite_ += request.dump(-1, ' ', false, json::error_handler_t::replace);
    toWrite_ += '\n';
    flushOutput();
    return true;
}

void ExtensionProcess::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0) return;
    closeInput();
    if (!grace_)
        grace_ = timers_.after(grace, [this] {
            log(LogLevel::warning, executable_.filename().string(), " did not end in time; killing it");
            kill();
        });
}

void ExtensionProcess::kill() {
    if (pid_ > 0) killGroup(pid_);
}

void ExtensionProcess::flushOutput() {
    while (!toWrite_.empty() && inputFd_ >= 0) {
        ssize_t n = ::write(inputFd_, toWrite_.data(), toWrite_.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) break;
            // EPIPE: the program closed its input; what is waiting will end with the process.
            toWrite_.clear();
            closeInput();
            return;
        }
        toWrite_.erase(0, static_cast<size_t>(n));
    }
    if (writeSource_) sd_event_source_set_enabled(writeSource_, toWrite_.empty() ? SD_EVENT_OFF : SD_EVENT_ON);
}

int ExtensionProcess::onWritable(sd_event_source*, int, uint32_t, void* self) {
    static_cast<ExtensionProcess*>(self)->flushOutput();
    return 0;
}

int ExtensionProcess::onReadable(sd_event_source*, int, uint32_t, void* self) {
    static_cast<ExtensionProcess*>(self)->readAvailable();
    return 0;
}

void ExtensionProcess::readAvailable() {
    auto alive = alive_;
    char chunk[65536];
    while (outputFd_ >= 0) {
        ssize_t n = ::read(outputFd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        if (n <= 0) {
            closeOutput();
            return;
        }
        readBuffer_.append(chunk, static_cast<size_t>(n));
        size_t start = 0;
        for (size_t end; (end = readBuffer_.find('\n', start)) != std::string::npos; start = end + 1) {
            if (skippingLongLine_) {
                skippingLongLine_ = false;
                continue;
            }
            handleLine(std::string_view(readBuffer_).substr(start, end - start));
            if (!*alive) return;
        }
        readBuffer_.erase(0, start);
        if (readBuffer_.size() > limits_.maxLineBytes) {
            log(LogLevel::warning, executable_.filename().string(), " sent a line longer than ", limits_.maxLineBytes,
                " bytes; dropped");
            readBuffer_.clear();
            skippingLongLine_ = true;
        }
    }
}

void ExtensionProcess::handleLine(std::string_view line) {
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) return;
    auto name = executable_.filename().string();
    // Too deep a document counts as malformed: copying it could overflow the stack.
    auto answer = platform::protocol::decodeAnswer(line);
    if (!answer) {
        log(LogLevel::warning, name, ": ", answer.error().message, "; ignored: ", excerpt(line));
        return;
    }
    if (!pending_.contains(answer->id)) {
        log(LogLevel::debug, name, " answered request ", answer->id, " too late or twice; ignored");
        return;
    }
    if (answer->result)
        complete(answer->id, {RpcOutcome::Status::answered, std::move(answer->result), {}});
    else
        complete(answer->id, {RpcOutcome::Status::failed, nullptr, std::move(answer->errorMessage)});
}

void ExtensionProcess::complete(std::uint64_t id, RpcOutcome outcome) {
    auto it = pending_.find(id);
    if (it == pending_.end()) return;
    auto completion = std::move(it->second.completion);
    pending_.erase(it);
    if (completion) completion(outcome);
}

int ExtensionProcess::onExited(sd_event_source*, const siginfo_t* info, void* self) {
    auto* process = static_cast<ExtensionProcess*>(self);
    auto alive = process->alive_;
    // Answers written just before the end still count.
    process->readAvailable();
    if (!*alive) return 0;
    int code = info->si_code, status = info->si_status;
    // Whatever the extension started goes with it. The leader is still a zombie here (sd-event
    // reaps it after this callback), so its group id cannot have been reused.
    killGroup(process->pid_);
    process->releaseSources();
    process->pid_ = -1;
    auto waiting = std::move(process->pending_);
    process->pending_.clear();
    for (auto& [id, pending] : waiting) {
        pending.timeout.reset();
        if (pending.completion) pending.completion({RpcOutcome::Status::ended, nullptr, "the extension ended"});
        if (!*alive) return 0;
    }
    if (process->ended_) process->ended_(code, status);
    return 0;
}

void ExtensionProcess::closeInput() {
    if (writeSource_) writeSource_ = sd_event_source_disable_unref(writeSource_);
    closeFd(inputFd_);
}

void ExtensionProcess::closeOutput() {
    if (readSource_) readSource_ = sd_event_source_disable_unref(readSource_);
    closeFd(outputFd_);
}

void ExtensionProcess::releaseSources() {
    closeInput();
    closeOutput();
    if (childSource_) childSource_ = sd_event_source_disable_unref(childSource_);
    grace_.reset();
}

}  // namespace widgethost
