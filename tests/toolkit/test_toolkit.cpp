#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "base/Classes.h"
#include "base/Exceptions.h"

#include <gtest/gtest.h>

TEST(Exceptions, OSErrorCarriesCodeAndSystemText) {
    EOSError e(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(e.ErrorCode(), 2u);
    const std::string msg = e.Message();
    ASSERT_EQ(msg.rfind("System Error.  Code: 2.\r\n", 0), 0u) << msg;
    std::string text = msg.substr(std::string("System Error.  Code: 2.\r\n").size());
    EXPECT_EQ(text, SysErrorMessage(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(text.empty());
    // Trailing line breaks and dots of the system text are not kept.
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '.');
    EXPECT_STREQ(e.ClassName(), "EOSError");
}

TEST(Exceptions, RaiseLastOSErrorUsesThreadLastError) {
    SetLastError(ERROR_ACCESS_DENIED);
    try {
        RaiseLastOSError();
        FAIL();
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
}

TEST(Exceptions, ListErrorAndOwnedListBounds) {
    EXPECT_EQ(EListError(7).Message(), "List index out of bounds (7)");
    TOwnedList<int> list;
    list.Add(std::make_unique<int>(5));
    EXPECT_EQ(*list.Items(0), 5);
    EXPECT_THROW(list.Items(1), EListError);
    try {
        list.Items(-1);
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (-1)");
    }
}

namespace {
// Records what it is told and the order in which components die.
struct Probe : TComponent {
    Probe(TComponent* owner, std::string name, std::vector<std::string>* log)
        : TComponent(owner), Log(log) {
        Name = std::move(name);
    }
    ~Probe() override { Log->push_back("destroy " + Name); }
    void Notification(TComponent* c, TOperation op) override {
        if (op == TOperation::opRemove) Log->push_back(Name + " told " + c->Name);
        TComponent::Notification(c, op);
    }
    std::vector<std::string>* Log;
};
} // namespace

TEST(Components, OwnerKeepsCreationOrderAndDestroysOwned) {
    std::vector<std::string> log;
    auto* owner = new Probe(nullptr, "owner", &log);
    auto* a = new Probe(owner, "a", &log);
    auto* b = new Probe(owner, "b", &log);
    ASSERT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(owner->Components(0), a);
    EXPECT_EQ(owner->Components(1), b);
    EXPECT_EQ(owner->FindComponent("B"), b);
    EXPECT_THROW(owner->Components(2), EListError);
    delete owner;
    // Every owned component is destroyed exactly once.
    EXPECT_EQ(std::count(log.begin(), log.end(), "destroy a"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "destroy b"), 1);
}

TEST(Components, RemovalIsToldToOwnerSiblingsAndWatchers) {
    std::vector<std::string> log;
    Probe owner(nullptr, "owner", &log);
    auto* menu = new Probe(&owner, "menu", &log);
    new Probe(&owner, "styler", &log);
    Probe watcher(nullptr, "watcher", &log);
    menu->FreeNotification(&watcher);
    delete menu;
    EXPECT_NE(std::find(log.begin(), log.end(), "watcher told menu"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "owner told menu"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "styler told menu"), log.end());
    EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST(Components, WatcherDestroyedFirstIsForgotten) {
    std::vector<std::string> log;
    Probe subject(nullptr, "subject", &log);
    {
        Probe watcher(nullptr, "watcher", &log);
        subject.FreeNotification(&watcher);
    }
    log.clear();
    // Must not call into the destroyed watcher.
    subject.RemoveFreeNotification(nullptr);
    SUCCEED();
}

TEST(ApplicationErrors, FullStopRule) {
    EXPECT_EQ(TApplication::ErrorText("Fail"), "Fail.");
    EXPECT_EQ(TApplication::ErrorText("Done."), "Done.");
    EXPECT_EQ(TApplication::ErrorText("Really!"), "Really!"); // '!' sorts before '.'
    EXPECT_EQ(TApplication::ErrorText("Path/"), "Path/.");
    EXPECT_EQ(TApplication::ErrorText("Sure?"), "Sure?.");
    EXPECT_EQ(TApplication::ErrorText(""), "");
}

TEST(ApplicationErrors, ErrorBoxUsesTitleAndStartupBoxNamesKind) {
    TApplication app;
    app.Title = "QV IP Tavix Ver2";
    MessageBoxCatcher boxes;
    app.ShowException(Exception("Something broke"));
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Caption, "QV IP Tavix Ver2");
    EXPECT_EQ(boxes.Boxes[0].Text, "Something broke.");

    app.ShowStartupError(EDatabaseError("The database file C:\\x\\ipdb.ipdb does not exist."));
    ASSERT_EQ(boxes.Boxes.size(), 2u);
    EXPECT_EQ(boxes.Boxes[1].Caption, "Application Error");
    EXPECT_NE(boxes.Boxes[1].Text.find("EDatabaseError"), std::string::npos);
    EXPECT_NE(boxes.Boxes[1].Text.find("C:\\x\\ipdb.ipdb does not exist."), std::string::npos);
}
