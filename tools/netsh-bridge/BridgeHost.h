#pragma once
// The host as the bridge's steps see it: commands with their output, files
// by their host paths. netsh.cpp gives the real one (through Wine); a test
// gives one that answers from a script, so every step and its rollback can
// be checked without a host.
#include "tools/netsh-bridge/NetshBridge.h"

#include <algorithm>
#include <string>

struct TRunResult {
    int Code = -1;         // the exit code; -1 when the command could not be started
    std::string Output;    // its standard output and error, together
    bool TimedOut = false; // ended (or never started) because the run's time was up
};

// What one netsh run may take, rollback included: well under the program's
// own limit for a run, so the program never ends the bridge half-way.
constexpr int BridgeTimeLimitMs = 45000;
// Of it, what the steps leave for putting the snapshot back.
constexpr int RollbackReserveMs = 8000;

class IBridgeHost {
public:
    virtual ~IBridgeHost() = default;
    // Runs a command and waits for it, at most until `Deadline`: one still
    // running then is ended with its children (TimedOut). `input` becomes its
    // standard input.
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
    // A monotonic clock in milliseconds.
    virtual long long Now() = 0;

    // When every command of this run must have ended; 0: no limit.
    long long Deadline = 0;
    // What this run may take in all: BridgeTimeLimitMs, or less where the
    // program's own limit was shortened for a test (netsh.cpp sets it).
    int TimeLimitMs = BridgeTimeLimitMs;
    // What the steps may take before the rollback's share.
    int StepsLimitMs() const { return std::max(0, TimeLimitMs - RollbackReserveMs); }
    // A run's limits from now on: the steps' deadline, and the rollback's after it.
    void StartClock() {
        FinalDeadline = Now() + TimeLimitMs;
        Deadline = FinalDeadline - RollbackReserveMs;
    }
    // The steps are over: what is left is for putting the old state back.
    void EnterRollback() {
        if (FinalDeadline) Deadline = FinalDeadline;
    }
    // Milliseconds left before the deadline (never negative).
    int RemainingMs() {
        if (!Deadline) return TimeLimitMs;
        return static_cast<int>(std::max(0LL, Deadline - Now()));
    }

    // The path of a host tool in the usual program folders, or "".
    std::string Find(const std::string& tool) {
        for (const char* dir :
             {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"})
            if (Exists(std::string(dir) + "/" + tool)) return std::string(dir) + "/" + tool;
        return "";
    }

private:
    long long FinalDeadline = 0;
};
