#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Host/WidgetHost/Timers.hpp"
#include "Platform/System/Result.hpp"
#include "Platform/Widgets/Protocol.hpp"

typedef struct sd_event sd_event;
typedef struct sd_event_source sd_event_source;

// One extension program run as a child process, spoken to in JSON-RPC 2.0, one object per line,
// on its standard input and output. Its standard error is the host's.
namespace widgethost {

/// How one request ended.
struct RpcOutcome {
    enum class Status { answered, failed, timedOut, ended };
    Status status = Status::ended;
    std::shared_ptr<const nlohmann::json> result;  // set when answered
    std::string message;                            // what went wrong otherwise
};

struct ExtensionLimits {
    std::uint64_t addressSpaceBytes = 512ull << 20;  // RLIMIT_AS of the child; 0 for none
    size_t maxLineBytes = platform::protocol::maxAnswerBytes;  // a longer answer is dropped
    std::optional<std::vector<std::string>> environment;       // the child's; nothing: the host's
};

/// The child process and its pipe, driven by an sd-event loop; request time-outs and the grace
/// before a kill run on `timers`. SIGCHLD must be blocked.
class ExtensionProcess {
public:
    using Completion = std::function<void(const RpcOutcome&)>;

    /// `ended` runs once when the started process is gone, with its wait status as waitid gives it
    /// (`code`, `status`), after every request still waiting has been completed as ended.
    ExtensionProcess(sd_event* loop, Timers& timers, std::filesystem::path executable, ExtensionLimits limits,
                     std::function<void(int code, int status)> ended);
    ExtensionProcess(const ExtensionProcess&) = delete;
    ExtensionProcess& operator=(const ExtensionProcess&) = delete;
    /// Kills a process that still runs, without calling any completion.
    ~ExtensionProcess();

    /// Starts the program; the reason, with the errno of the call that failed, when it cannot be
    /// started (also when exec fails).
    platform::Status<> start();

    /// Sends a request. The completion runs exactly once, later, from the loop: with the answer, the
    /// extension's error, a time-out or the end of the process. False (and no completion) when the
    /// process does not run or its input is closed.
    bool send(std::string_view method, const nlohmann::json& params, std::chrono::milliseconds timeout,
              Completion completion);

    /// Closes the program's input so that it finishes what it does and ends; kills it after `grace`.
    void stop(std::chrono::milliseconds grace);
    /// Kills the program at once.
    void kill();

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    size_t waitingRequests() const { return pending_.size(); }

private:
    struct Pending {
        Completion completion;
        TimerHandle timeout;
    };

    static int onReadable(sd_event_source*, int fd, uint32_t events, void* self);
    static int onWritable(sd_event_source*, int fd, uint32_t events, void* self);
    static int onExited(sd_event_source*, const siginfo_t* info, void* self);

    void readAvailable();
    void handleLine(std::string_view line);
    void flushOutput();
    void closeInput();
    void closeOutput();
    void complete(std::uint64_t id, RpcOutcome outcome);
    void releaseSources();

    sd_event* loop_;
    Timers& timers_;
    std::filesystem::path executable_;
    ExtensionLimits limits_;
    std::function<void(int, int)> ended_;

    pid_t pid_ = -1;
    int inputFd_ = -1;   // the program's standard input, our end
    int outputFd_ = -1;  // the program's standard output, our end
    sd_event_source* readSource_ = nullptr;
    sd_event_source* writeSource_ = nullptr;
    sd_event_source* childSource_ = nullptr;
    TimerHandle grace_;

    std::string toWrite_;
    std::string readBuffer_;
    bool skippingLongLine_ = false;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, Pending> pending_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace widgethost
