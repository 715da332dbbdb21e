#pragma once

// One method or signal of a D-Bus interface: its name and signatures, written once beside the
// interface's introspection XML and used by the server's vtable, the clients and the test doubles,
// so that a misspelt name or signature cannot compile and the XML test can check every one.
namespace platform::bus {

struct Method {
    const char* name;
    const char* in;   // the signature of the arguments
    const char* out;  // the signature of the answer
};

struct Signal {
    const char* name;
    const char* signature;
};

}  // namespace platform::bus
