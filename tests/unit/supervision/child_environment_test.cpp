#include "service/supervision/child_environment.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

using Variables = std::vector<std::pair<std::wstring, std::wstring>>;

ChildEnvironmentInputs Machine(Variables passedOn = {}) {
    ChildEnvironmentInputs inputs;
    inputs.systemDirectory = L"C:\\Windows\\system32";
    inputs.windowsDirectory = L"C:\\Windows";
    inputs.tempDirectory = L"C:\\Windows\\TEMP";
    inputs.programData = L"C:\\ProgramData";
    inputs.passedOn = std::move(passedOn);
    return inputs;
}

const std::pair<std::wstring, std::wstring> kComSpec{L"ComSpec", L"C:\\Windows\\system32\\cmd.exe"};
const std::pair<std::wstring, std::wstring> kPath{
    L"PATH",
    L"C:\\Windows\\system32;C:\\Windows;C:\\Windows\\system32\\Wbem;"
    L"C:\\Windows\\system32\\WindowsPowerShell\\v1.0"};
const std::pair<std::wstring, std::wstring> kProgramData{L"ProgramData", L"C:\\ProgramData"};
const std::pair<std::wstring, std::wstring> kSystemDrive{L"SystemDrive", L"C:"};
const std::pair<std::wstring, std::wstring> kSystemRoot{L"SystemRoot", L"C:\\Windows"};
const std::pair<std::wstring, std::wstring> kTemp{L"TEMP", L"C:\\Windows\\TEMP"};
const std::pair<std::wstring, std::wstring> kTmp{L"TMP", L"C:\\Windows\\TEMP"};
const std::pair<std::wstring, std::wstring> kWindir{L"windir", L"C:\\Windows"};

TEST(ChildEnvironmentTest, OnlyWhatTheChildrenNeedSortedByNameInAnyCase) {
    struct Case {
        const char* name;
        ChildEnvironmentInputs inputs;
        Variables expected;
    };
    ChildEnvironmentInputs otherMachine;
    otherMachine.systemDirectory = L"D:\\WINNT\\System32\\";
    otherMachine.windowsDirectory = L"D:\\WINNT";
    otherMachine.tempDirectory = L"D:\\WINNT\\TEMP";
    otherMachine.programData = L"D:\\ProgramData";
    ChildEnvironmentInputs unknown = Machine();
    unknown.windowsDirectory = L"\\\\server\\windows";
    unknown.tempDirectory.clear();
    const Case cases[] = {
        {"machine",
         Machine(),
         {kComSpec, kPath, kProgramData, kSystemDrive, kSystemRoot, kTemp, kTmp, kWindir}},
        // Both spellings of the asset folder; "." sorts before "_", both after windir.
        {"asset folder",
         Machine({{L"XRAY_LOCATION_ASSET", L"D:\\assets"}, {L"xray.location.asset", L"E:\\a"}}),
         {kComSpec,
          kPath,
          kProgramData,
          kSystemDrive,
          kSystemRoot,
          kTemp,
          kTmp,
          kWindir,
          {L"xray.location.asset", L"E:\\a"},
          {L"XRAY_LOCATION_ASSET", L"D:\\assets"}}},
        // Unset, not a name, or with a NUL: left out. Ours in any letter case
        // and a second of the same name: never replaced.
        {"passed on badly",
         Machine({{L"XRAY_LOCATION_ASSET", L""},
                  {L"A=B", L"x"},
                  {L"Path", L"C:\\Users\\me\\bin"},
                  {L"comspec", L"C:\\evil.exe"},
                  {L"xray.location.asset", std::wstring(L"a\0b", 3)},
                  {L"Asset", L"one"},
                  {L"ASSET", L"two"}}),
         {{L"Asset", L"one"},
          kComSpec,
          kPath,
          kProgramData,
          kSystemDrive,
          kSystemRoot,
          kTemp,
          kTmp,
          kWindir}},
        {"other folders",
         otherMachine,
         {{L"ComSpec", L"D:\\WINNT\\System32\\cmd.exe"},
          {L"PATH",
           L"D:\\WINNT\\System32\\;D:\\WINNT;D:\\WINNT\\System32\\Wbem;"
           L"D:\\WINNT\\System32\\WindowsPowerShell\\v1.0"},
          {L"ProgramData", L"D:\\ProgramData"},
          {L"SystemDrive", L"D:"},
          {L"SystemRoot", L"D:\\WINNT"},
          {L"TEMP", L"D:\\WINNT\\TEMP"},
          {L"TMP", L"D:\\WINNT\\TEMP"},
          {L"windir", L"D:\\WINNT"}}},
        // A folder the system did not give, or with no drive letter, names nothing.
        {"unknown drive and temp",
         unknown,
         {kComSpec,
          {L"PATH",
           L"C:\\Windows\\system32;\\\\server\\windows;C:\\Windows\\system32\\Wbem;"
           L"C:\\Windows\\system32\\WindowsPowerShell\\v1.0"},
          kProgramData,
          {L"SystemRoot", L"\\\\server\\windows"},
          {L"windir", L"\\\\server\\windows"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChildEnvironmentVariables(c.inputs), c.expected);
    }
}

TEST(ChildEnvironmentTest, BlockIsNulSeparatedAndEndsWithAnEmptyEntry) {
    struct Case {
        Variables variables;
        std::wstring expected;
    };
    const Case cases[] = {
        {{{L"A", L"1"}, {L"b", L"x y"}}, std::wstring(L"A=1\0b=x y\0\0", 11)},
        {{}, std::wstring(L"\0\0", 2)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComposeEnvironmentBlock(c.variables), c.expected);
    }
}

}  // namespace
}  // namespace velk
