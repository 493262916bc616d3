// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Process.h"

#include "fileio/WindowsText.h"

#include <windows.h>

#include <thread>

namespace pemberlock::test {
namespace {

// One argument quoted so that the C runtime's parser gives it back as it was.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

// This process's environment block with the NAME=value entries of extra
// put in place of any of the same name.
std::wstring Environment(const std::vector<std::string>& extra) {
    std::vector<std::wstring> mine;
    for (const std::string& entry : extra) mine.push_back(Widen(entry));
    const auto name = [](const std::wstring& entry) {
        return entry.substr(0, entry.find(L'=', 1));
    };
    std::wstring block;
    wchar_t* system = GetEnvironmentStringsW();
    for (const wchar_t* entry = system; *entry; entry += wcslen(entry) + 1) {
        bool replaced = false;
        for (const std::wstring& own : mine) replaced = replaced || name(own) == name(entry);
        if (!replaced) block.append(entry).push_back(L'\0');
    }
    FreeEnvironmentStringsW(system);
    for (const std::wstring& own : mine) block.append(own).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

void ReadAll(HANDLE pipe, std::string& into) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        into.append(buffer, got);
}

}  // namespace

ProcessResult RunProcess(std::vector<std::string> args, const std::string& folder,
                         std::chrono::milliseconds timeout,
                         const std::vector<std::string>& environment) {
    ProcessResult result;
    std::wstring commandLine;
    for (const std::string& arg : args)
        commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(Widen(arg));
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return result;
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) return result;
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    std::wstring variables = Environment(environment);
    const std::wstring where = Widen(folder);
    const bool started = CreateProcessW(
        nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
        variables.data(), where.empty() ? nullptr : where.c_str(), &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (started) {
        std::thread outReader(ReadAll, outRead, std::ref(result.out));
        std::thread errReader(ReadAll, errRead, std::ref(result.err));
        const DWORD waited =
            WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count()));
        if (waited != WAIT_OBJECT_0) {
            result.timedOut = true;
            TerminateProcess(process.hProcess, 1);
        }
        outReader.join();  // the pipes close when the process has gone
        errReader.join();
        if (!result.timedOut) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            result.status = static_cast<int>(code);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

}  // namespace pemberlock::test
