#include "adapters/AdapterWatch.h"
#include "adapters/IPInfo.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

TEST(HardwareAddress, FormatsPairsUpperCaseAndClampsToTheField) {
    const BYTE mac[] = {0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF, 0x0A, 0x5A};
    EXPECT_EQ(HardwareAddressToStr(mac, 6), "00:0C:29:AB:CD:EF");
    EXPECT_EQ(HardwareAddressToStr(mac + 7, 1), "5A");
    EXPECT_EQ(HardwareAddressToStr(mac, 0), "");
    // A length above the 8-byte field formats 8 bytes and reads no further.
    EXPECT_EQ(HardwareAddressToStr(mac, 200), "00:0C:29:AB:CD:EF:0A:5A");
}

TEST(InfoIPAddress, AsTextRules) {
    IP_ADDR_STRING e{};
    std::strcpy(e.IpAddress.String, "10.0.0.5");
    std::strcpy(e.IpMask.String, "255.255.255.0");
    EXPECT_EQ(TInfoIPAddress(&e).AsText(), "10.0.0.5/255.255.255.0");
    e.IpMask.String[0] = 0;
    EXPECT_EQ(TInfoIPAddress(&e).AsText(), "10.0.0.5/");
    e.IpAddress.String[0] = 0;
    std::strcpy(e.IpMask.String, "255.0.0.0");
    EXPECT_EQ(TInfoIPAddress(&e).AsText(), "/255.0.0.0");
    e.IpMask.String[0] = 0;
    EXPECT_EQ(TInfoIPAddress(&e).AsText(), "");
    EXPECT_EQ(TInfoIPAddress(nullptr).AsText(), "");
    // A field without NUL gives all 16 bytes.
    std::memcpy(e.IpAddress.String, "1234567890123456", 16);
    EXPECT_EQ(TInfoIPAddress(&e).IpAddress(), "1234567890123456");
}

TEST(Snapshot, CopiesRecordsInChainOrder) {
    FakeAdapterSource src;
    FakeAdapter a;
    a.Name = "{AAAA}";
    a.Description = std::string(132, 'D'); // no NUL in the field
    a.HardwareAddress = {0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF};
    a.Dhcp = false;
    a.Addresses = {{"10.0.0.5", "255.0.0.0"}, {"192.168.1.5", "255.255.255.0"}, {"172.16.0.1", ""}};
    a.Gateways = {{"10.0.0.1", ""}};
    a.DhcpServers = {{"10.0.0.2", "255.255.255.255"}, {"10.0.0.3", "x"}};
    FakeAdapter b;
    b.Name = "{BBBB}";
    b.NullCurrent = true;
    src.Adapters = {a, b};
    FakeAdaptersScope scope(src);

    TIPInfo info;
    ASSERT_EQ(info.AdapterCount(), 2);
    const TAdapter* first = info.Adapters(0);
    EXPECT_EQ(first->AdapterName(), "{AAAA}");
    EXPECT_EQ(first->Description(), std::string(132, 'D'));
    EXPECT_EQ(first->Address(), "00:0C:29:AB:CD:EF");
    EXPECT_EQ(first->AddressLength(), 6u);
    EXPECT_FALSE(first->DhcpEnabled());
    ASSERT_EQ(first->IPAddressCount(), 3);
    EXPECT_EQ(first->IPAddresses(0)->AsText(), "10.0.0.5/255.0.0.0");
    EXPECT_EQ(first->IPAddresses(2)->AsText(), "172.16.0.1/");
    EXPECT_EQ(first->GatewayCount(), 1);
    EXPECT_EQ(first->CurrentIpAddress()->IpAddress(), "10.0.0.5");
    // Only the DHCP server held in the record; its chain is not followed.
    EXPECT_EQ(first->DhcpServer()->AsText(), "10.0.0.2/255.255.255.255");
    EXPECT_THROW(first->IPAddresses(3), EListError);

    const TAdapter* second = info.Adapters(1);
    EXPECT_EQ(second->AdapterName(), "{BBBB}");
    EXPECT_EQ(second->Address(), "");
    EXPECT_EQ(second->CurrentIpAddress()->AsText(), "");
    EXPECT_EQ(second->GatewayCount(), 1); // the record's own entry, even when empty
    EXPECT_EQ(second->Gateways(0)->AsText(), "");
    try {
        info.Adapters(2);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (2)");
    }
}

TEST(Snapshot, GrowsTheBufferForManyAdapters) {
    FakeAdapterSource src;
    for (int i = 0; i < 12; ++i) {
        FakeAdapter a;
        a.Name = "{ADAPTER-" + std::to_string(i) + "}";
        a.AddressLengthOverride = 40; // clamped to the field
        src.Adapters.push_back(a);
    }
    FakeAdaptersScope scope(src);
    TIPInfo info;
    EXPECT_EQ(info.AdapterCount(), 12);
    EXPECT_EQ(info.Adapters(11)->AdapterName(), "{ADAPTER-11}");
    EXPECT_EQ(info.Adapters(0)->Address(), "00:00:00:00:00:00:00:00");
    ASSERT_EQ(src.Calls, 2);
    EXPECT_EQ(src.SizesOffered[0], 5120u);
    EXPECT_GT(src.SizesOffered[1], 5120u);
}

TEST(Snapshot, NoAdaptersGivesAnEmptySnapshot) {
    FakeAdapterSource src;
    src.Status = ERROR_NO_DATA;
    FakeAdaptersScope scope(src);
    TIPInfo info;
    EXPECT_EQ(info.AdapterCount(), 0);
    EXPECT_THROW(info.Adapters(0), EListError);
}

TEST(Snapshot, FailingStatusRaisesOSErrorWithSystemText) {
    FakeAdapterSource src;
    src.Status = ERROR_NOT_SUPPORTED;
    FakeAdaptersScope scope(src);
    try {
        TIPInfo info;
        FAIL() << "no error raised";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
        EXPECT_EQ(e.Message(), "System Error.  Code: 50.\r\n" + SysErrorMessage(50));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    }
}

TEST(Snapshot, RealPlatformCallWorksUnderThisHost) {
    // Wine reports adapters with GUID names, or ERROR_NO_DATA on a host with
    // only a loopback interface; both must give a usable snapshot.
    TIPInfo info;
    for (int i = 0; i < info.AdapterCount(); ++i) {
        EXPECT_FALSE(info.Adapters(i)->AdapterName().empty());
        EXPECT_GE(info.Adapters(i)->IPAddressCount(), 1);
    }
}

namespace {
// Two DNS servers for adapter 7, linked as the platform links them; none
// (and a failure) for any other.
DWORD WINAPI TwoDnsServers(ULONG index, PIP_PER_ADAPTER_INFO info, PULONG size) {
    if (index != 7) return ERROR_NOT_SUPPORTED;
    const ULONG needed = sizeof(IP_PER_ADAPTER_INFO) + sizeof(IP_ADDR_STRING);
    if (!info || *size < needed) {
        *size = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(info, 0, needed);
    auto* second = reinterpret_cast<IP_ADDR_STRING*>(info + 1);
    std::strcpy(info->DnsServerList.IpAddress.String, "10.0.0.53");
    info->DnsServerList.Next = second;
    std::strcpy(second->IpAddress.String, "10.0.0.54");
    return ERROR_SUCCESS;
}
} // namespace

TEST(Snapshot, DnsServersComeInTheirOrderAndAreEmptyWhenThePlatformFails) {
    SetPerAdapterInfoSource(TwoDnsServers);
    IP_ADAPTER_INFO info{};
    info.Index = 7;
    EXPECT_EQ(TAdapter(info).DnsServers, (std::vector<std::string>{"10.0.0.53", "10.0.0.54"}));
    info.Index = 8;
    EXPECT_TRUE(TAdapter(info).DnsServers.empty());
    SetPerAdapterInfoSource(nullptr);
}

TEST(WineNameServers, TheServersBehindALocalStub) {
    const std::string stub = "# stub\nnameserver 127.0.0.53\noptions edns0 trust-ad\nsearch lan\n";
    const std::string upstream = "nameserver 10.77.0.53\nnameserver 10.77.0.54\n";
    struct TCase {
        const char* What;
        std::string ResolvConf, Link, Upstream;
        std::vector<std::string> Servers;
        bool Unknown;
    };
    for (const TCase& c : std::initializer_list<TCase>{
             {"no stub: resolv.conf's own",
              "nameserver 192.0.2.53\n",
              "DNS=10.1.1.1\n",
              upstream,
              {"192.0.2.53"},
              false},
             {"the link's state first",
              stub,
              "# This is private data.\nLLMNR=yes\nDNS=10.1.1.1:53%2#dns.lan 10.1.1.2\n",
              upstream,
              {"10.1.1.1", "10.1.1.2"},
              false},
             {"else resolved's upstream list",
              stub,
              "LLMNR=yes\n",
              upstream,
              {"10.77.0.53", "10.77.0.54"},
              false},
             {"NetworkManager's dnsmasq, nothing behind it to read",
              "nameserver 127.0.1.1\n",
              "",
              "",
              {},
              true},
             {"a stub behind the stub says nothing either",
              stub,
              "",
              "nameserver 127.0.0.1\n",
              {},
              true},
             {"no name server at all: nothing to go by", "search lan\n", "", "", {}, false}}) {
        bool unknown = !c.Unknown;
        EXPECT_EQ(NameServersBehindStub(c.ResolvConf, c.Link, c.Upstream, unknown), c.Servers)
            << c.What;
        EXPECT_EQ(unknown, c.Unknown) << c.What;
    }
}

namespace {

// Serves this thread's messages for `ms`.
void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < ms) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

} // namespace

// Changes reported on the system's threads, many at once, come to the
// watch's own thread as one call; one after that call is a call of its own,
// and none comes once the watch is gone.
TEST(AdapterWatch, ABurstFromOtherThreadsIsOneCallOnTheWatchThread) {
    const DWORD self = GetCurrentThreadId();
    int calls = 0;
    DWORD caller = 0;
    auto watch = std::make_unique<TAdapterWatch>(
        [&] {
            ++calls;
            caller = GetCurrentThreadId();
        },
        50);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i)
                watch->Changed();
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(calls, 0); // only a message was posted
    Pump(300);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(caller, self);
    watch->Changed();
    Pump(300);
    EXPECT_EQ(calls, 2);
    watch->Changed();
    watch.reset();
    Pump(200);
    EXPECT_EQ(calls, 2);
}
