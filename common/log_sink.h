#pragma once
#include <functional>
#include <string>

namespace velk {

// Where a component hands its log messages: WriteServiceLog in the service,
// a recorder in tests. An empty sink drops the messages.
using LogSink = std::function<void(const std::wstring&)>;

}  // namespace velk
