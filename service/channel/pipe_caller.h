#pragma once
// The client of one pipe connection.
#include <windows.h>

#include "service/channel/request_caller.h"

namespace velk {

class PipeCaller final : public RequestCaller {
  public:
    // `pipe` is the connected instance; it must outlive this object.
    explicit PipeCaller(HANDLE pipe) : pipe_(pipe) {}

    Win32Status RunAsCaller(const std::function<void()>& work) override;

  private:
    HANDLE pipe_;
};

}  // namespace velk
