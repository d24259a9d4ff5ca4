#include "platform/win32control.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shellapi.h>

namespace hchat {

namespace {
bool sameUser(HANDLE a, HANDLE b)
{
    // A TOKEN_USER and the largest SID fit.
    std::vector<BYTE> userA(256), userB(256);
    DWORD size = 0;
    if (!GetTokenInformation(a, TokenUser, userA.data(), DWORD(userA.size()), &size) ||
        !GetTokenInformation(b, TokenUser, userB.data(), DWORD(userB.size()), &size))
        return false;
    return EqualSid(reinterpret_cast<TOKEN_USER *>(userA.data())->User.Sid,
                    reinterpret_cast<TOKEN_USER *>(userB.data())->User.Sid) != FALSE;
}

// The executable's file name and whether the process runs as our user.
void describeProcess(Win32Control::Window &w)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(w.pid));
    if (!process)
        return;
    wchar_t path[4 * MAX_PATH] = {};
    DWORD size = DWORD(sizeof path / sizeof path[0]);
    if (QueryFullProcessImageNameW(process, 0, path, &size)) {
        const std::wstring full(path, size);
        const std::size_t slash = full.find_last_of(L"\\/");
        w.image = slash == std::wstring::npos ? full : full.substr(slash + 1);
    }
    HANDLE theirs = nullptr;
    HANDLE ours = nullptr;
    if (OpenProcessToken(process, TOKEN_QUERY, &theirs) &&
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &ours))
        w.ownUser = sameUser(theirs, ours);
    if (theirs)
        CloseHandle(theirs);
    if (ours)
        CloseHandle(ours);
    CloseHandle(process);
}

BOOL CALLBACK collectWindow(HWND window, LPARAM into)
{
    auto *windows = reinterpret_cast<std::vector<Win32Control::Window> *>(into);
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    Win32Control::Window w;
    w.title = title;
    w.pid = std::uint32_t(pid);
    describeProcess(w);
    windows->push_back(w);
    return TRUE; // every window, not just up to the first match
}

// Closes a service handle however the query ends.
struct ServiceHandle {
    SC_HANDLE handle;
    explicit ServiceHandle(SC_HANDLE h) : handle(h) {}
    ~ServiceHandle()
    {
        if (handle)
            CloseServiceHandle(handle);
    }
    ServiceHandle(const ServiceHandle &) = delete;
    ServiceHandle &operator=(const ServiceHandle &) = delete;
};
} // namespace

std::vector<Win32Control::Window> Win32Control::topLevelWindows()
{
    std::vector<Window> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void Win32Control::terminateProcess(std::uint32_t pid)
{
    if (pid == 0 || pid == GetCurrentProcessId())
        return;
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid));
    if (!process)
        return;
    TerminateProcess(process, 0);
    CloseHandle(process);
}

bool Win32Control::isServiceRunning(const std::wstring &name)
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.handle)
        return false;
    const ServiceHandle service(OpenServiceW(manager.handle, name.c_str(), SERVICE_QUERY_STATUS));
    if (!service.handle)
        return false;
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.handle, &status))
        return false;
    return status.dwCurrentState == SERVICE_RUNNING;
}

std::wstring Win32Control::shellExecute(const std::wstring &verb, const std::wstring &program,
                                        const std::wstring &folder)
{
    const HINSTANCE result = ShellExecuteW(nullptr, verb.c_str(), program.c_str(), nullptr,
                                           folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
    // Values up to 32 are error codes.
    const INT_PTR code = reinterpret_cast<INT_PTR>(result);
    if (code > 32)
        return std::wstring();
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return program + L" is missing";
    case SE_ERR_ACCESSDENIED:
        return program + L" may not be started";
    default:
        return program + L" could not be started (" + std::to_wstring(code) + L")";
    }
}

} // namespace hchat
