#include "Platform/System/detail/Bus.hpp"

#include <dlfcn.h>

#include <cerrno>
#include <cstdarg>

namespace platform::detail {
namespace {

// decltype names each function's type without referring to the function, so nothing here makes
// the program depend on libsystemd at link time.
struct Library {
    decltype(&sd_bus_open_user) openUser = nullptr;
    decltype(&sd_bus_flush_close_unref) flushCloseUnref = nullptr;
    decltype(&sd_bus_close_unref) closeUnref = nullptr;
    decltype(&sd_bus_error_free) errorFree = nullptr;
    decltype(&sd_bus_message_unref) messageUnref = nullptr;
    decltype(&sd_bus_service_name_is_valid) serviceNameIsValid = nullptr;
    decltype(&sd_bus_call_methodv) callMethodv = nullptr;
    decltype(&sd_bus_call) call = nullptr;
    decltype(&sd_bus_send) send = nullptr;
    decltype(&sd_bus_call_async) callAsync = nullptr;
    decltype(&sd_bus_process) process = nullptr;
    decltype(&sd_bus_wait) wait = nullptr;
    decltype(&sd_bus_get_n_queued_write) getNQueuedWrite = nullptr;
    decltype(&sd_bus_message_is_method_error) messageIsMethodError = nullptr;
    decltype(&sd_bus_message_new_method_call) messageNewMethodCall = nullptr;
    decltype(&sd_bus_message_appendv) messageAppendv = nullptr;
    decltype(&sd_bus_message_readv) messageReadv = nullptr;
    decltype(&sd_bus_message_enter_container) messageEnterContainer = nullptr;
    decltype(&sd_bus_message_exit_container) messageExitContainer = nullptr;
    decltype(&sd_bus_message_set_expect_reply) messageSetExpectReply = nullptr;
};

const Library* load() {
    // Never closed: objects from it may live until the process ends.
    void* handle = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    static Library library;
    bool complete = true;
    auto bind = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
        complete = complete && function;
    };
    bind(library.openUser, "sd_bus_open_user");
    bind(library.flushCloseUnref, "sd_bus_flush_close_unref");
    bind(library.closeUnref, "sd_bus_close_unref");
    bind(library.errorFree, "sd_bus_error_free");
    bind(library.messageUnref, "sd_bus_message_unref");
    bind(library.serviceNameIsValid, "sd_bus_service_name_is_valid");
    bind(library.callMethodv, "sd_bus_call_methodv");
    bind(library.call, "sd_bus_call");
    bind(library.send, "sd_bus_send");
    bind(library.callAsync, "sd_bus_call_async");
    bind(library.process, "sd_bus_process");
    bind(library.wait, "sd_bus_wait");
    bind(library.getNQueuedWrite, "sd_bus_get_n_queued_write");
    bind(library.messageIsMethodError, "sd_bus_message_is_method_error");
    bind(library.messageNewMethodCall, "sd_bus_message_new_method_call");
    bind(library.messageAppendv, "sd_bus_message_appendv");
    bind(library.messageReadv, "sd_bus_message_readv");
    bind(library.messageEnterContainer, "sd_bus_message_enter_container");
    bind(library.messageExitContainer, "sd_bus_message_exit_container");
    bind(library.messageSetExpectReply, "sd_bus_message_set_expect_reply");
    return complete ? &library : nullptr;
}

const Library* library() {
    static const Library* loaded = load();
    return loaded;
}

}  // namespace

bool busLibraryLoaded() { return library() != nullptr; }

BusPtr openUserBus() {
    sd_bus* bus = nullptr;
    if (sdbus::open_user(&bus) < 0) return nullptr;
    return BusPtr{bus};
}

bool processUntil(sd_bus* bus, std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done) {
    for (;;) {
        if (done()) return true;
        int r = sdbus::process(bus, nullptr);
        if (r < 0) return false;
        if (r > 0) continue;  // more may be ready at once
        auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return done();
        r = sdbus::wait(bus, static_cast<std::uint64_t>(left.count()));
        if (r < 0 && r != -EINTR) return false;
    }
}

// Without the library no bus object or message can exist, so releasing one is a no-op then.
namespace sdbus {

int open_user(sd_bus** bus) { return library() ? library()->openUser(bus) : -ENOSYS; }

sd_bus* flush_close_unref(sd_bus* bus) { return bus ? library()->flushCloseUnref(bus) : nullptr; }

sd_bus* close_unref(sd_bus* bus) { return bus ? library()->closeUnref(bus) : nullptr; }

void error_free(sd_bus_error* error) {
    if ((error->name || error->message) && library()) library()->errorFree(error);
}

sd_bus_message* message_unref(sd_bus_message* message) {
    return message ? library()->messageUnref(message) : nullptr;
}

int service_name_is_valid(const char* name) { return library() ? library()->serviceNameIsValid(name) : 0; }

int call_method(sd_bus* bus, const char* destination, const char* path, const char* interface, const char* member,
                sd_bus_error* error, sd_bus_message** reply, const char* types, ...) {
    if (!library()) return -ENOSYS;
    va_list arguments;
    va_start(arguments, types);
    int r = library()->callMethodv(bus, destination, path, interface, member, error, reply, types, arguments);
    va_end(arguments);
    return r;
}

int call(sd_bus* bus, sd_bus_message* message, std::uint64_t usec, sd_bus_error* error, sd_bus_message** reply) {
    return library() ? library()->call(bus, message, usec, error, reply) : -ENOSYS;
}

int send(sd_bus* bus, sd_bus_message* message, std::uint64_t* cookie) {
    return library() ? library()->send(bus, message, cookie) : -ENOSYS;
}

int call_async(sd_bus* bus, sd_bus_slot** slot, sd_bus_message* message, sd_bus_message_handler_t callback,
               void* userdata, std::uint64_t usec) {
    return library() ? library()->callAsync(bus, slot, message, callback, userdata, usec) : -ENOSYS;
}

int process(sd_bus* bus, sd_bus_message** message) { return library() ? library()->process(bus, message) : -ENOSYS; }

int wait(sd_bus* bus, std::uint64_t usec) { return library() ? library()->wait(bus, usec) : -ENOSYS; }

int get_n_queued_write(sd_bus* bus, std::uint64_t* count) {
    return library() ? library()->getNQueuedWrite(bus, count) : -ENOSYS;
}

int message_is_method_error(sd_bus_message* message, const char* name) {
    return library() ? library()->messageIsMethodError(message, name) : 0;
}

int message_new_method_call(sd_bus* bus, sd_bus_message** message, const char* destination, const char* path,
                            const char* interface, const char* member) {
    return library() ? library()->messageNewMethodCall(bus, message, destination, path, interface, member) : -ENOSYS;
}

int message_append(sd_bus_message* message, const char* types, ...) {
    if (!library()) return -ENOSYS;
    va_list arguments;
    va_start(arguments, types);
    int r = library()->messageAppendv(message, types, arguments);
    va_end(arguments);
    return r;
}

int message_read(sd_bus_message* message, const char* types, ...) {
    if (!library()) return -ENOSYS;
    va_list arguments;
    va_start(arguments, types);
    int r = library()->messageReadv(message, types, arguments);
    va_end(arguments);
    return r;
}

int message_enter_container(sd_bus_message* message, char type, const char* contents) {
    return library() ? library()->messageEnterContainer(message, type, contents) : -ENOSYS;
}

int message_exit_container(sd_bus_message* message) {
    return library() ? library()->messageExitContainer(message) : -ENOSYS;
}

int message_set_expect_reply(sd_bus_message* message, int expect) {
    return library() ? library()->messageSetExpectReply(message, expect) : -ENOSYS;
}

}  // namespace sdbus
}  // namespace platform::detail
