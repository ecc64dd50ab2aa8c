#pragma once
// This machine's own account domain (where its local users and groups live;
// its name is the computer's), as the LSA reports it, and SIDs as text.
#include <windows.h>

#include <optional>
#include <string>

namespace velk {

// "S-1-5-..." of `sid`; empty when it cannot be converted.
std::wstring SidText(PSID sid);

struct MachineAccountDomain {
    std::wstring name;
    std::wstring sid;  // "S-1-5-21-x-y-z"
};

// Asked of the local LSA only, so it never waits on a domain controller.
// Nothing when the policy cannot be read.
std::optional<MachineAccountDomain> QueryMachineAccountDomain();

}  // namespace velk
