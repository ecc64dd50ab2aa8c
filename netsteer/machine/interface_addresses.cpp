#include "netsteer/machine/interface_addresses.h"

#include "netsteer/machine/system_commands.h"
#include "netsteer/machine/text_utils.h"

namespace netsteer {

std::vector<std::wstring> ReadInterfaceAddresses(const std::wstring& output) {
    std::vector<std::wstring> addresses;
    for (const std::wstring& line : SplitLines(output)) {
        std::wstring address = Trim(line);
        if (IsPlainDottedIPv4(address)) {
            addresses.push_back(std::move(address));
        }
    }
    return addresses;
}

std::vector<std::wstring> GetInterfaceAddresses(HelperSystem& system, int interfaceIndex) {
    return ReadInterfaceAddresses(
        PrintedText(system.RunCommand(InterfaceAddressesQueryCommand(interfaceIndex))));
}

}  // namespace netsteer
