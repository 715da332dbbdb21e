#include "Platform/Widgets/WidgetBundleMain.hpp"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

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
    Server(const WidgetBundle& bundle, std::FILE* output) : bundle_(bundle), output_(output) {}

    void handleLine(std::string_view line) {
        // The parser takes a NUL for the end of its input, so a line holding one is checked here whole;
        // a deeper document is refused before parsing, whose copies recurse once per level.
        json request = line.find('\0') == std::string_view::npos && jsonDepthWithin(line)
                           ? json::parse(line, nullptr, /*allow_exceptions=*/false)
                           : json(json::value_t::discarded);
        if (request.is_discarded()) return send(detail::errorAnswer(nullptr, detail::parseError, "Parse error"));
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
        if (line.size() > maxAnswerBytes) line = protocol::answerLine(detail::errorAnswer(id, internalError, "Answer too long"));
        // The newline goes out on its own: appending it could copy a large line once more.
        std::lock_guard lock(outputMutex_);
        std::fwrite(line.data(), 1, line.size(), output_);
        std::fputc('\n', output_);
        std::fflush(output_);
    }

    const WidgetBundle& bundle_;
    std::FILE* output_;
    std::mutex outputMutex_;
    struct Worker {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> performing_;
};

}  // namespace

int widgetBundleMain(const WidgetBundle& bundle, std::FILE* input, std::FILE* output) {
    Server server(bundle, output);
    char* buffer = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = ::getline(&buffer, &capacity, input)) >= 0) {
        std::string_view line(buffer, static_cast<size_t>(length));
        if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
        if (line.size() > maxRequestBytes)
            server.tooLong();
        else if (line.find_first_not_of(" \t\r") != std::string_view::npos)
            server.handleLine(line);
    }
    std::free(buffer);
    server.finish();
    return 0;
}

}  // namespace platform
