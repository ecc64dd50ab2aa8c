#pragma once
// Fixed places shared by the service scenarios and the programs they put
// beside the service (which gets none of the test's environment).
namespace velk::scenario {

inline constexpr wchar_t kServiceDirectory[] = L"C:\\velk-service-test\\";
inline constexpr wchar_t kStubDirectory[] = L"C:\\ProgramData\\velk-stub-helper";
inline constexpr wchar_t kStubCallsPath[] = L"C:\\ProgramData\\velk-stub-helper\\calls.txt";
// When it holds a number, every run of the stand-in helper first sleeps that
// many milliseconds (a restore at the service's start takes time too).
inline constexpr wchar_t kStubDelayPath[] = L"C:\\ProgramData\\velk-stub-helper\\delay.ms";

}  // namespace velk::scenario
