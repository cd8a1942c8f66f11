#include "Programs.h"

#include "TempTree.h"

std::string BuildDir() {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string dir = exe;
    return dir.substr(0, dir.rfind('\\'));
}

// Output of a program run to its end.
std::string Capture(const std::string& command, DWORD* exitCode, DWORD waitMs) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    PROCESS_INFORMATION process{};
    std::string output;
    std::wstring line = Wide(command);  // UTF-8 here; names outside the code page stay as they are
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(write);
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
        WaitForSingleObject(process.hProcess, waitMs);
        GetExitCodeProcess(process.hProcess, exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        CloseHandle(write);
    }
    CloseHandle(read);
    return output;
}
