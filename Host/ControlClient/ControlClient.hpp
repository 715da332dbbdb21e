#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

typedef struct sd_bus sd_bus;

// widgetctl's side of net.widgethost.Control1: one typed call per method.
namespace widgetctl {

struct ClientError {
    std::string name;     // the D-Bus error name, e.g. "net.widgethost.Control1.Error.Disabled"
    std::string message;  // for people
};

template <class T>
using Result = std::variant<T, ClientError>;
struct Nothing {};

struct Button {
    std::string label;
    bool enabled = false;
    std::string intent;
};

struct ButtonFrame {
    std::string label;
    double x = 0, y = 0, width = 0, height = 0;  // points from the widget's top-left corner
};

struct Geometry {
    int x = 0, y = 0;  // the widget's top-left corner, from the corner of its output
    std::vector<ButtonFrame> buttons;
    std::string output;  // "" for the primary output
};

struct Widget {
    std::string id, kind, family, extension;
    double entryDate = 0;
    std::vector<std::string> texts;
    std::vector<Button> buttons;
    std::string picture, status;
};

class ControlClient {
public:
    /// Connects to the session bus; nothing, with the reason, when there is none.
    static std::variant<ControlClient, ClientError> connect();
    ControlClient(ControlClient&&) noexcept;
    ControlClient& operator=(ControlClient&&) = delete;
    ~ControlClient();

    Result<std::string> place(const std::string& kind, const std::string& family);
    Result<std::string> placeAt(const std::string& kind, const std::string& family, int x, int y);
    Result<Nothing> move(const std::string& id, int x, int y);
    Result<Geometry> geometry(const std::string& id);
    Result<Nothing> remove(const std::string& id);
    Result<std::vector<Widget>> list();
    Result<Nothing> render(const std::string& id, const std::string& path, double scale, const std::string& appearance,
                           const std::string& mode);
    Result<std::string> press(const std::string& id, const std::string& label);
    Result<std::pair<std::string, std::string>> pressAt(const std::string& id, double x, double y);
    Result<Nothing> reload();

private:
    explicit ControlClient(sd_bus* bus) : bus_(bus) {}
    sd_bus* bus_;
};

/// Whether the error means that no widget host answers on the bus.
bool isNoHost(const ClientError& error);

}  // namespace widgetctl
