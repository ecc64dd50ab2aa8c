#include "netsteer/machine/helper_log.h"

#include <windows.h>

namespace netsteer {

void OutputDebugText(const std::wstring& text) {
    OutputDebugStringW(text.c_str());
}

}  // namespace netsteer
