#include "netsteer/machine/helper_log.h"

namespace netsteer {

// There is no debugger channel outside Windows; the file entry is the trace.
void OutputDebugText(const std::wstring&) {}

}  // namespace netsteer
