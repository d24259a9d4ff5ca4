#pragma once

// Plain C++ on purpose: no Qt here, so the Windows side can be checked with
// a cross compiler that has no Qt for Windows.

#include <cstdint>
#include <string>
#include <vector>

namespace hchat {

/// Windows, processes and services through the Win32 API.
class Win32Control
{
public:
    struct Window {
        std::wstring title; ///< at most 255 characters
        std::uint32_t pid = 0;
        std::wstring image;   ///< file name of the process's executable; empty when unknown
        bool ownUser = false; ///< the process runs as our user
    };

    /// Every top-level window with the process that owns it (EnumWindows).
    static std::vector<Window> topLevelWindows();
    /// TerminateProcess with exit code 0; failures are ignored.
    static void terminateProcess(std::uint32_t pid);
    /// Asks the local service control manager; any failure reads as not running.
    static bool isServiceRunning(const std::wstring &name);
    /// ShellExecute with `verb` ("runas": elevated), shown normally. The
    /// empty text when it started, else why not.
    static std::wstring shellExecute(const std::wstring &verb, const std::wstring &program,
                                     const std::wstring &folder);
};

} // namespace hchat
