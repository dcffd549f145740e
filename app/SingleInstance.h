#pragma once
// One program per database: a named mutex derived from the database file's
// full path, and the running program's main window brought to the front.
#include "base/Handles.h"

#include <windows.h>

#include <string>

// The mutex's name for the database at `databasePath`: the same file by any
// spelling of its path (case, relative parts) gives the same name.
std::string InstanceMutexName(const std::string& databasePath);

class TSingleInstance {
public:
    // Takes the mutex for the program's lifetime if no other program has it.
    explicit TSingleInstance(const std::string& databasePath);
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;
    // True when this program is the database's only one.
    bool First() const { return FFirst; }
    // Lets a later start find the main window.
    void Publish(HWND mainWindow);
    // Brings the first program's main window to the front; waits a little
    // for it while that program is still starting. False when none appeared.
    bool ActivateFirst(DWORD waitMs = 2000) const;

private:
    std::string FName;
    TKernelHandle FMutex;
    TKernelHandle FWindowRecord; // a small shared record holding the main window's handle
    bool FFirst = false;
};
