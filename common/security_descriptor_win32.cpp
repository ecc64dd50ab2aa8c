#include "common/security_descriptor.h"

// After windows.h, which it needs.
#include <sddl.h>

namespace velk {

Win32Result<UniqueSecurityDescriptor> SecurityDescriptorFromSddl(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &raw,
                                                              nullptr)) {
        return LastError(L"ConvertStringSecurityDescriptorToSecurityDescriptorW");
    }
    return UniqueSecurityDescriptor(raw);
}

}  // namespace velk
