#pragma once
// Windows: runs a program with wide arguments and collects what it prints.
#include <windows.h>

#include <string>
#include <vector>

#include "base/os_file.h"

namespace kelmora::testing {

// One argument quoted the way CommandLineToArgvW and the C runtime split it.
inline std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring q = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        q.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        q += c;
    }
    q.append(slashes * 2, L'\\');
    return q + L"\"";
}

struct ProcessResult {
    int code = -1;
    std::string out; // standard output and error, as they came
};

// Runs program with args (UTF-8); standard output and error both go to out.
inline ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    std::wstring line = QuoteArgument(WideFromUtf8(program));
    for (const std::string& a : args)
        line += L" " + QuoteArgument(WideFromUtf8(a));
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ProcessResult result;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (started) {
        char buf[4096];
        DWORD n = 0;
        while (::ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0)
            result.out.append(buf, n);
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        result.code = static_cast<int>(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    return result;
}

} // namespace kelmora::testing
