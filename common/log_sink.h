#pragma once
#include <functional>
#include <string>

namespace velk {

// Where a component hands its log messages: WriteServiceLog in the service,
// a recorder in tests. An empty sink drops the messages.
using LogSink = std::function<void(const std::wstring&)>;

// Hands `message` to `sink` when there is one. A sink that throws costs the
// caller nothing but the message.
inline void LogTo(const LogSink& sink, const std::wstring& message) noexcept {
    if (!sink) {
        return;
    }
    try {
        sink(message);
    } catch (...) {
    }
}

}  // namespace velk
