#include "platform/ResidentMemory.h"

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace platform {

namespace {

uint64_t StatusBytes(std::string_view key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        std::istringstream fields(line);
        std::string name;
        uint64_t kibibytes = 0;
        if (fields >> name >> kibibytes && name == key)
            return kibibytes * 1024;
    }
    return 0;
}

}  // namespace

uint64_t ResidentBytes() {
    return StatusBytes("VmRSS:");
}

uint64_t PeakResidentBytes() {
    return StatusBytes("VmHWM:");
}

bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

}  // namespace platform
