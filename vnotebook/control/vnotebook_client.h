// Client side of the virtual notebook: its driver service, and the private
// control codes that read the emulator's state and inject faults. Used by the
// control tool, the demo and the tests.
#pragma once

#include <windows.h>

#include <string>

#include "vnotebook_control.h"

namespace vnotebook {

// Service name under which the tools and tests install the simulation driver.
constexpr const char* kDriverServiceName = "Latchwire";

// Windows path of vnotebook.sys beside the running program.
std::string DriverFilePath();

class VirtualNotebook {
public:
    // Service control (the driver itself is loaded by the service manager).
    static bool Install();     // Check_Driver, and a start if the service was found stopped
    static bool Start();
    static bool Stop();
    static bool Remove();      // UnloadDriver: stop, then delete
    static bool IsRunning();

    // Private control codes; each opens and closes the device.
    static bool Reset();
    static bool Configure(uint32_t key, uint32_t value);
    static bool TryState(VnSnapshot* snapshot);
    static VnSnapshot State();  // throws std::runtime_error when the driver does not answer
};

}  // namespace vnotebook
