#include "tools/netsh-bridge/Backend.h"

#include "tools/netsh-bridge/DhcpClient.h"
#include "tools/netsh-bridge/DhcpcdPlan.h"
#include "tools/netsh-bridge/NetworkdPlan.h"

#include <cstdlib>
#include <sstream>

TBackend DetectBackend(const TBackendFacts& facts) {
    if (facts.NmRunning && NmManages(facts.NmDevice)) return TBackend::NetworkManager;
    if (NetworkdManages(facts.NetworkdSetup)) return TBackend::Networkd;
    if (facts.DhcpcdManager) return TBackend::DhcpcdManager;
    return TBackend::Iproute;
}

int LivePid(IBridgeHost& host, const std::string& pidFile, const std::string& comm) {
    std::string text, name;
    if (!host.ReadText(pidFile, text)) return 0;
    const int pid = PidFromText(text);
    if (!pid || !host.ReadText("/proc/" + std::to_string(pid) + "/comm", name)) return 0;
    return FirstLine(name) == comm ? pid : 0;
}

TBackendFacts ReadBackendFacts(IBridgeHost& host, const std::string& name,
                               std::string& dhcpcdConfig) {
    TBackendFacts facts;
    if (const std::string nmcli = host.Find("nmcli"); !nmcli.empty()) {
        const TRunResult running = host.Run({nmcli, "-t", "-f", "RUNNING", "general"});
        facts.NmRunning = running.Code == 0 && FirstLine(running.Output) == "running";
        if (facts.NmRunning)
            facts.NmDevice = NmDeviceOf(
                host.Run({nmcli, "-t", "-f", "DEVICE,TYPE,STATE,CONNECTION", "device"}).Output,
                name);
    } else {
        facts.NmWithoutNmcli =
            LivePid(host, "/run/NetworkManager/NetworkManager.pid", "NetworkManager") != 0;
    }
    if (const std::string networkctl = host.Find("networkctl"); !networkctl.empty()) {
        const TRunResult list = host.Run({networkctl, "list", "--no-legend", "--no-pager"});
        if (list.Code == 0) facts.NetworkdSetup = NetworkdSetupState(list.Output, name);
    }
    for (const std::string& file : DhcpcdManagerPidFiles()) {
        const int pid = LivePid(host, file, "dhcpcd");
        if (!pid) continue;
        std::string cmdline;
        host.ReadText("/proc/" + std::to_string(pid) + "/cmdline", cmdline);
        dhcpcdConfig = DhcpcdConfigPath(cmdline);
        facts.DhcpcdManager = true;
        break;
    }
    return facts;
}

bool MayAdministerNetwork(const std::string& procStatus) {
    constexpr int CapNetAdmin = 12;
    std::istringstream in(procStatus);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("CapEff:", 0) != 0) continue;
        const std::string hex = FirstLine(line.substr(7));
        char* end = nullptr;
        const unsigned long long caps = std::strtoull(hex.c_str(), &end, 16);
        if (hex.empty() || *end) return true;
        return (caps >> CapNetAdmin) & 1;
    }
    return true;
}
