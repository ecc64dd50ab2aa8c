#pragma once
// A pipe server's request handler made of a function, for tests that serve
// the pipe with answers of their own.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "service/channel/pipe_server.h"

namespace velk::test_support {

class RequestHandlerFrom final : public RequestHandler {
  public:
    using Function = std::function<std::wstring(const std::wstring& request, HANDLE client)>;
    explicit RequestHandlerFrom(Function handle) : handle_(std::move(handle)) {}
    std::wstring Handle(const std::wstring& request, HANDLE client) override {
        return handle_(request, client);
    }

  private:
    Function handle_;
};

}  // namespace velk::test_support
