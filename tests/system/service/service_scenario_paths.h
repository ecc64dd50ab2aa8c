#pragma once
// Fixed places shared by the service scenarios and the programs they put
// beside the service (which gets none of the test's environment).
namespace velk::scenario {

inline constexpr wchar_t kServiceDirectory[] = L"C:\\velk-service-test\\";
inline constexpr wchar_t kStubDirectory[] = L"C:\\ProgramData\\velk-stub-helper";
inline constexpr wchar_t kStubCallsPath[] = L"C:\\ProgramData\\velk-stub-helper\\calls.txt";

}  // namespace velk::scenario
