#pragma once
// What the pipe benchmark and its floor service share.
namespace velk::bench {

inline constexpr wchar_t kFloorServiceName[] = L"VelkPipeFloor";
inline constexpr wchar_t kFloorPipeName[] = L"\\\\.\\pipe\\velk_pipe_floor";
// "ok=true;exitCode=0;message=service running" and its NUL, as the service
// answers "status".
inline constexpr wchar_t kStatusAnswer[] = L"ok=true;exitCode=0;message=service running";

}  // namespace velk::bench
