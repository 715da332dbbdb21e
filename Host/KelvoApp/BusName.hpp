#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Host/KelvoApp/AppActivation.hpp"
#include "Platform/System/Result.hpp"

namespace kelvo::app {

/// A well-known name owned on the session bus for as long as the value lives. Owning the
/// application's bundle identifier is how other programs see that it runs.
class BusName {
public:
    /// Connects to the session bus and takes `name`; fails when there is no bus or another connection
    /// owns the name.
    static platform::Result<BusName> acquire(const std::string& name);

    BusName(BusName&&) noexcept;
    BusName& operator=(BusName&&) = delete;
    ~BusName();

    /// Answers org.freedesktop.Application on this connection; `comeForward` must outlive it.
    /// False when the object could not be added.
    bool serveApplication(ComeForward* comeForward);

    /// The connection's descriptor and the poll events it waits for now.
    int fd() const;
    short events() const;
    /// Handles whatever the bus sent (peer pings, introspection); call after the descriptor woke.
    /// False when the connection is lost, and with it the name.
    bool process();

private:
    struct Connection;
    explicit BusName(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection_;
};

}  // namespace kelvo::app
