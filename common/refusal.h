#pragma once
// A step our own rules turned down, as against a Windows call that failed
// (Win32Error): nothing went wrong on the machine, what was asked for or found
// is not acceptable. The reason is for the service log and the event log.
#include <string>

namespace velk {

struct Refusal {
    std::wstring reason;
};

}  // namespace velk
