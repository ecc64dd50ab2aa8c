#pragma once
// A security descriptor made from its SDDL text, owned until it goes.
#include <windows.h>

#include "common/local_memory.h"
#include "common/win32_result.h"

namespace velk {

using UniqueSecurityDescriptor = UniqueLocal<void>;

// The self-relative descriptor of `sddl`, or the failed conversion.
Win32Result<UniqueSecurityDescriptor> SecurityDescriptorFromSddl(const wchar_t* sddl);

}  // namespace velk
