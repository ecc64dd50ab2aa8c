#include "common/local_time.h"

#include <windows.h>

namespace velk {

LocalTime ReadLocalTime() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

}  // namespace velk
