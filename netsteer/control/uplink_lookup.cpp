#include <cstdint>

#include "netsteer/control/lookups.h"
#include "netsteer/probes/system_commands.h"
#include "netsteer/probes/text_utils.h"

namespace netsteer {

bool GetUplinkInterfaceIndex(HelperSystem& system, const std::wstring& interfaceAddress,
                             int& index) {
    const std::wstring output = Trim(system.RunCommand(UplinkIndexQueryCommand(interfaceAddress)));
    if (output.empty()) {
        return false;
    }
    std::int32_t value = 0;
    if (!ParseLeadingInt(output, value)) {
        return false;
    }
    index = value;
    return true;
}

}  // namespace netsteer
