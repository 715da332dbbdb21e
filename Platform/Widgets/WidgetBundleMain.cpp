#include "Platform/Widgets/WidgetBundleMain.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "Platform/System/Files.hpp"
#include "Platform/System/JsonDepth.hpp"
#include "Platform/Widgets/detail/Protocol.hpp"

namespace platform {
namespace {

using nlohmann::json;

// A request line longer than this is refused rather than held in memory.
constexpr size_t maxRequestBytes = 4 << 20;
constexpr int internalError = -32603;

// An id, when present, is a string, a number or null.
bool hasValidId(const json& request) {
    auto it = request.find("id");
    return it == request.end() || it->is_string() || it->is_number() || it->is_null();
}

class Server {
public:
    Server(const WidgetBundle& bundle, int output) : bundle_(bundle), output_(output) {}

    void handleLine(std::string_view line) {
        // The parser takes a NUL for the end of its input, so a line holding one is checked here whole.
        if (line.find('\0') != std::string_view::npos) return send(parseErrorAnswer());
        // A deeper document is refused before it is built, since its copies recurse once per level;
        // if it is JSON all the same, it is a request this side will not take, not unreadable text.
        // Checking that it is JSON builds nothing and does not recurse.
        if (!jsonDepthWithin(line))
            return send(json::accept(line) ? detail::errorAnswer(nullptr, detail::invalidRequest, "Invalid request")
                                           : parseErrorAnswer());
        json request = json::parse(line, nullptr, /*allow_exceptions=*/false);
        if (request.is_discarded()) return send(parseErrorAnswer());
        if (!request.is_object() || request.value("jsonrpc", json()) != "2.0" || !request.contains("method") ||
            !request["method"].is_string() || !hasValidId(request))
            return send(detail::errorAnswer(detail::idOf(request), detail::invalidRequest, "Invalid request"));
        json id = detail::idOf(request);
        bool notification = !request.contains("id");
        const auto& method = request["method"].get_ref<const std::string&>();
        json params = request.value("params", json::object());

        if (method == "perform") return startPerform(std::move(id), std::move(params), notification);
        auto answer = detail::answer(bundle_, method, params, id);
        if (!notification) sendLine(std::move(answer), id);
    }

    static json parseErrorAnswer() { return detail::errorAnswer(nullptr, detail::parseError, "Parse error"); }

    void tooLong() { send(detail::errorAnswer(nullptr, detail::invalidRequest, "Request too long")); }

    void finish() {
        for (auto& worker : performing_) worker.thread.join();
        performing_.clear();
    }

private:
    void startPerform(json id, json params, bool notification) {
        auto intent = detail::intentValueFrom(params);
        const IntentType* type = intent ? bundle_.intents.find(intent->type) : nullptr;
        if (!type) {
            if (!notification) send(detail::errorAnswer(id, detail::invalidParams, "Unknown intent or malformed parameters"));
            return;
        }
        reapFinished();
        auto done = std::make_shared<std::atomic<bool>>(false);
        auto run = [this, type, value = *intent, id, notification, done](std::stop_token stop) {
            bool ran = type->perform(value, stop);
            if (!notification)
                send(ran ? detail::resultAnswer(id, json::object())
                         : detail::errorAnswer(id, detail::invalidParams, "Parameters do not fit the intent"));
            done->store(true, std::memory_order_release);
        };
        try {
            performing_.push_back(Worker{std::jthread(run), done});
        } catch (const std::system_error&) {
            // No thread to be had: run it here rather than drop the press.
            run(std::stop_token{});
        }
    }

    // A finished thread keeps its stack until joined; a long session must not collect them.
    void reapFinished() {
        std::erase_if(performing_, [](Worker& worker) {
            if (!worker.done->load(std::memory_order_acquire)) return false;
            worker.thread.join();
            return true;
        });
    }

    void send(const json& answer) { sendLine(protocol::answerLine(answer), answer.value("id", json())); }

    void sendLine(std::string line, const json& id) {
        // The host would drop a longer line and wait for an answer until its time-out.
        if (line.size() > protocol::maxAnswerBytes) line = protocol::answerLine(detail::errorAnswer(id, internalError, "Answer too long"));
        // Straight to the descriptor in one write: no stream buffer to fill and flush, and no
        // newline written apart from its line, which a reader would wake up for once more.
        line += '\n';
        std::lock_guard lock(outputMutex_);
        writeAll(output_, line);
    }

    const WidgetBundle& bundle_;
    int output_;
    std::mutex outputMutex_;
    struct Worker {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> performing_;
};

// Hands on each line read from `fd`, without its newline, and a last one that has none. A line
// longer than maxRequestBytes is reported once and skipped to its end without being kept.
template <typename OnLine, typename OnTooLong>
void readLines(int fd, OnLine onLine, OnTooLong onTooLong) {
    std::string buffer;
    size_t scanned = 0;  // bytes of `buffer` known to hold no newline
    bool skipping = false;
    for (;;) {
        if (buffer.capacity() - buffer.size() < 512) buffer.reserve(std::max<size_t>(1024, 2 * buffer.capacity()));
        size_t size = buffer.size();
        buffer.resize(size + std::min<size_t>(buffer.capacity() - size, 64 << 10));
        ssize_t n = ::read(fd, buffer.data() + size, buffer.size() - size);
        if (n < 0 && errno == EINTR) {
            buffer.resize(size);
            continue;
        }
        buffer.resize(size + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n <= 0) break;
        size_t start = 0;
        for (size_t end; (end = buffer.find('\n', scanned)) != std::string::npos; scanned = start = end + 1) {
            if (skipping)
                skipping = false;
            else if (end - start > maxRequestBytes)
                onTooLong();
            else
                onLine(std::string_view(buffer).substr(start, end - start));
        }
        buffer.erase(0, start);
        scanned = buffer.size();
        if (buffer.size() > maxRequestBytes) {
            if (!skipping) onTooLong();
            skipping = true;
            buffer.clear();
            scanned = 0;
        }
    }
    if (!skipping && !buffer.empty()) onLine(buffer);
}

}  // namespace

int widgetBundleMain(const WidgetBundle& bundle, int input, int output) {
    Server server(bundle, output);
    readLines(
        input,
        [&server](std::string_view line) {
            if (line.find_first_not_of(" \t\r") != std::string_view::npos) server.handleLine(line);
        },
        [&server] { server.tooLong(); });
    server.finish();
    return 0;
}

}  // namespace platform
