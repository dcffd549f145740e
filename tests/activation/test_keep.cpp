#include "activation/GatewayProbe.h"
#include "activation/KeepOrGoBack.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The echo requests a probe sent, and which of them the fake answers.
std::vector<std::string> requests;
int answerAt = -1;                            // the request (from 0) that gets a reply; -1: none
TEchoResult otherwise = TEchoResult::NoReply; // what the others get

TEchoResult FakeEcho(const std::string& address, DWORD, const TEchoWait&, unsigned& roundTripMs) {
    requests.push_back(address);
    if (static_cast<int>(requests.size()) - 1 != answerAt) return otherwise;
    roundTripMs = 2;
    return TEchoResult::Reply;
}

struct FakeEchoScope {
    explicit FakeEchoScope(int answer, TEchoResult others = TEchoResult::NoReply) {
        requests.clear();
        answerAt = answer;
        otherwise = others;
        SetEchoRequest(FakeEcho);
    }
    ~FakeEchoScope() { SetEchoRequest(nullptr); }
};

TIPSetValues Office() {
    TIPSetValues set;
    set.Name = "Office";
    set.Address = "10.0.0.5";
    set.Mask = "255.255.255.0";
    set.Gateway = "010.000.000.001"; // as an older version may have stored it
    set.Connection = "LAN";
    return set;
}

} // namespace

TEST(GatewayProbe, ThreeRequestsOverThreeSecondsStoppingAtTheFirstReply) {
    std::vector<DWORD> pauses;
    const TEchoWait wait = [&](HANDLE object, DWORD ms) {
        EXPECT_EQ(object, nullptr);
        pauses.push_back(ms);
    };
    {
        FakeEchoScope fake(-1);
        const TGatewayAnswer answer = ProbeGateway(Office(), wait);
        EXPECT_FALSE(answer.Answered);
        // In decimal: "010" would be octal 8 to the system's parser.
        EXPECT_EQ(requests, (std::vector<std::string>(3, "10.0.0.1")));
        // Refused at once, each still takes its second: two pauses between three.
        ASSERT_EQ(pauses.size(), 2u);
        for (DWORD ms : pauses)
            EXPECT_GT(ms, EchoIntervalMs - 200);
    }
    {
        FakeEchoScope fake(1);
        const TGatewayAnswer answer = ProbeGateway(Office(), wait);
        EXPECT_TRUE(answer.Answered);
        EXPECT_EQ(answer.RoundTripMs, 2u);
        EXPECT_EQ(requests.size(), 2u);
    }
    // Silent is told only where a request left; none sent says nothing.
    for (TEchoResult others : {TEchoResult::NoReply, TEchoResult::NotSent}) {
        FakeEchoScope fake(-1, others);
        const TGatewayAnswer answer = ProbeGateway(Office(), wait);
        EXPECT_FALSE(answer.Answered);
        EXPECT_EQ(answer.Asked, others == TEchoResult::NoReply);
    }
    // Nothing to ask: DHCP, no gateway.
    TIPSetValues dhcp = Office(), noGateway = Office();
    dhcp.Dhcp = true;
    noGateway.Gateway = "";
    for (const TIPSetValues& set : {dhcp, noGateway}) {
        FakeEchoScope fake(0);
        EXPECT_FALSE(HasGatewayToProbe(set));
        EXPECT_FALSE(ProbeGateway(set, wait).Answered);
        EXPECT_TRUE(requests.empty());
    }
}

TEST(GatewayProbe, WhatTheUserIsTold) {
    EXPECT_EQ(GatewayAnswersText(Office(), 2), "Gateway 10.0.0.1 answers (2 ms)");
    EXPECT_EQ(GatewayAnswersText(Office(), 0), "Gateway 10.0.0.1 answers (<1 ms)");
    EXPECT_EQ(GatewaySilentText(Office()),
              "The IP set \"Office\" is in effect on \"LAN\", but its gateway 10.0.0.1 does not "
              "answer.");
}

TEST(KeepOrGoBack, TheCountdownShowsWholeSecondsRoundedUp) {
    const struct {
        DWORD Limit, Elapsed;
        unsigned Left;
        const char* Text;
    } cases[] = {
        {30000, 0, 30, "Going back to the previous settings in 30 seconds."},
        {30000, 1, 30, nullptr},
        {30000, 29001, 1, "Going back to the previous settings in 1 second."},
        {30000, 30000, 0, nullptr},
        {30000, 45000, 0, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SecondsLeft(c.Limit, c.Elapsed), c.Left) << c.Elapsed;
        if (c.Text) {
            EXPECT_EQ(CountdownText(c.Left), c.Text);
        }
    }
}

TEST(KeepOrGoBack, ATestMayShortenTheWaitButNeverLengthenIt) {
    const struct {
        const char* Env;
        unsigned Seconds;
    } cases[] = {{nullptr, 30}, {"3", 3}, {"0", 30}, {"45", 30}, {"x", 30}};
    for (const auto& c : cases) {
        SetEnvironmentVariableA("IPTAVIX_KEEP_SECONDS", c.Env);
        EXPECT_EQ(KeepWaitSeconds(), c.Seconds) << (c.Env ? c.Env : "(unset)");
    }
    SetEnvironmentVariableA("IPTAVIX_KEEP_SECONDS", nullptr);
}

TEST(KeepOrGoBack, WhatTheUserIsToldAfterGoingBack) {
    EXPECT_TRUE(GoesBack(TKeepAnswer::NoAnswer));
    EXPECT_TRUE(GoesBack(TKeepAnswer::GoBack));
    EXPECT_FALSE(GoesBack(TKeepAnswer::Keep));
    EXPECT_EQ(WentBackText(Office(), TKeepAnswer::NoAnswer, 30, ""),
              "Nobody kept the IP set \"Office\" within 30 seconds: \"LAN\" has its previous "
              "settings again.");
    const std::string failed = WentBackText(Office(), TKeepAnswer::GoBack, 30, "netsh failed");
    EXPECT_EQ(failed.find("previous settings again"), std::string::npos) << failed;
    EXPECT_NE(failed.find("could not be put back:\r\nnetsh failed"), std::string::npos) << failed;
}

TEST(KeepOrGoBack, KeepAnswersEveryRunWaitingThenAndNoLaterOne) {
    EXPECT_FALSE(KeepWaitingRuns()); // none waits
    {
        TKeepSignal first, second;
        ASSERT_TRUE(first.Valid() && second.Valid());
        EXPECT_FALSE(first.Kept());
        EXPECT_TRUE(KeepWaitingRuns());
        EXPECT_TRUE(first.Kept());
        EXPECT_TRUE(second.Kept());
        // A run that begins waiting afterwards is not kept by that /keep.
        TKeepSignal later;
        EXPECT_FALSE(later.Kept());
    }
    EXPECT_FALSE(KeepWaitingRuns());
}
