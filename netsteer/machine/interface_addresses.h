#pragma once
// The IPv4 addresses of one interface, by its index, from PowerShell, whose
// output is the same in every display language.
#include <string>
#include <vector>

#include "netsteer/machine/helper_system.h"

namespace netsteer {

// The lines of the query's output that are plain dotted IPv4 addresses, in
// order; anything else (an error text, a blank line) is passed over. Pure.
std::vector<std::wstring> ReadInterfaceAddresses(const std::wstring& output);

// Runs InterfaceAddressesQueryCommand for the index and reads its output;
// empty when the query could not run or found nothing.
std::vector<std::wstring> GetInterfaceAddresses(HelperSystem& system, int interfaceIndex);

}  // namespace netsteer
