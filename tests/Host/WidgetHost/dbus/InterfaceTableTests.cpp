// The method tables that server, clients and test doubles share, held against the checked-in
// introspection XML: every method and signal in both, with the same signatures.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>

#include "Host/WidgetHost/dbus/Control1.hpp"
#include "Platform/Widgets/dbus/Host1.hpp"

namespace {

using Signatures = std::map<std::string, std::string>;  // member -> "in -> out" or the signal's signature

std::string joined(GDBusArgInfo** args) {
    std::string signature;
    for (; args && *args; ++args) signature += (*args)->signature;
    return signature;
}

struct Interface {
    const char* xml;  // relative to the source tree
    const char* name;
    std::span<const platform::bus::Method> methods;
    std::span<const platform::bus::Signal> signals;
};

const Interface interfaces[] = {
    {"Platform/Widgets/dbus/net.widgethost.Host1.xml", platform::host1::interfaceName, platform::host1::methods, {}},
    {"Host/WidgetHost/dbus/net.widgethost.Control1.xml", widgethost::control1::interfaceName,
     widgethost::control1::methods, widgethost::control1::signals},
};

TEST(InterfaceTable, NamesEveryMemberOfTheXmlWithItsSignatures) {
    for (const auto& interface : interfaces) {
        SCOPED_TRACE(interface.xml);
        gchar* text = nullptr;
        GError* error = nullptr;
        ASSERT_TRUE(g_file_get_contents((std::string(KELVO_SOURCE_DIR "/") + interface.xml).c_str(), &text, nullptr,
                                        &error));
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(text, &error);
        g_free(text);
        ASSERT_NE(node, nullptr) << error->message;
        GDBusInterfaceInfo* info = g_dbus_node_info_lookup_interface(node, interface.name);
        ASSERT_NE(info, nullptr);

        Signatures inXml, inTable;
        for (auto** method = info->methods; method && *method; ++method)
            inXml[std::string("method ") + (*method)->name] = joined((*method)->in_args) + " -> " + joined((*method)->out_args);
        for (auto** emitted = info->signals; emitted && *emitted; ++emitted)
            inXml[std::string("signal ") + (*emitted)->name] = joined((*emitted)->args);
        for (const auto& method : interface.methods)
            inTable[std::string("method ") + method.name] = std::string(method.in) + " -> " + method.out;
        for (const auto& emitted : interface.signals) inTable[std::string("signal ") + emitted.name] = emitted.signature;
        // Methods and signals both ways: one missing on either side shows up as a difference.
        EXPECT_EQ(inTable, inXml);
        g_dbus_node_info_unref(node);
    }
}

}  // namespace
