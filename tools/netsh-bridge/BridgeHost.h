#pragma once
// The host as the bridge's steps see it: commands with their output, files
// by their host paths. netsh.cpp gives the real one (through Wine); a test
// gives one that answers from a script, so every step and its rollback can
// be checked without a host.
#include "tools/netsh-bridge/NetshBridge.h"

#include <string>

struct TRunResult {
    int Code = -1;      // the exit code; -1 when the command could not be started
    std::string Output; // its standard output and error, together
};

class IBridgeHost {
public:
    virtual ~IBridgeHost() = default;
    // Runs a command and waits for it; `input` becomes its standard input.
    virtual TRunResult Run(const THostCommand& command, const std::string& input = "") = 0;
    virtual bool Exists(const std::string& path) = 0;
    virtual bool ReadText(const std::string& path, std::string& text) = 0;
    // Creates a file that must not exist yet.
    virtual bool WriteNew(const std::string& path, const std::string& text) = 0;
    // Writes over a file's old text from its start and only then cuts it to
    // the new length: it is never empty or shorter than both texts meanwhile.
    virtual bool WriteOver(const std::string& path, const std::string& text) = 0;
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const std::string& path) = 0;
    virtual bool MakeDirectory(const std::string& path) = 0;
    virtual void Pause(int milliseconds) = 0;
    virtual int ProcessId() = 0;

    // The path of a host tool in the usual program folders, or "".
    std::string Find(const std::string& tool) {
        for (const char* dir :
             {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"})
            if (Exists(std::string(dir) + "/" + tool)) return std::string(dir) + "/" + tool;
        return "";
    }
};
