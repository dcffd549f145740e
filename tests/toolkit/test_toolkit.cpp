#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Dpi.h"
#include "toolkit/Forms.h"
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

// ------------------------------------------------------------ display scale

TEST(DisplayScale, LengthsAndFontHeightsRoundToTheNearestPixel) {
    const struct {
        int Value, From, To, Expected;
    } cases[] = {{75, 96, 96, 75},   {75, 96, 120, 94},   {75, 96, 144, 113},
                 {75, 96, 192, 150}, {-11, 96, 144, -17}, {-11, 96, 120, -14},
                 {113, 144, 96, 75}, {17, 144, 96, 11},   {0, 96, 144, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(RescaleDpi(c.Value, c.From, c.To), c.Expected)
            << c.Value << " from " << c.From << " to " << c.To;
    EXPECT_EQ(ScaleToDpi(26, 144), 39);
}

TEST(DisplayScale, TextWiderThanItsControlGrowsItFromItsAnchor) {
    const RECT placed{4, 96, 72, 109}; // 68 wide
    const struct {
        int Text;
        TTextAnchor Anchor;
        RECT Expected;
    } cases[] = {{60, TTextAnchor::Right, placed},
                 {68, TTextAnchor::Left, placed},
                 {80, TTextAnchor::Right, {-8, 96, 72, 109}},
                 {80, TTextAnchor::Left, {4, 96, 84, 109}},
                 {80, TTextAnchor::Center, {-2, 96, 78, 109}}};
    for (const auto& c : cases) {
        RECT r = BoundsFittingText(placed, c.Text, c.Anchor);
        EXPECT_TRUE(EqualRect(&r, &c.Expected))
            << c.Text << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
}

TEST(DisplayScale, FormMovedToAnotherScaleLaysItselfOutAgainAndBack) {
    TApplication app;
    auto* form =
        new TForm(&app, TFormArgs{.Caption = "Scaled", .ClientWidth = 412, .ClientHeight = 300});
    auto* strip = new TPanel(form, form, {.Height = 48, .Align = TAlign::alBottom});
    auto* ok = new TButton(form, strip,
                           {.Left = 16, .Top = 11, .Width = 75, .Height = 25, .Caption = "Ok"});
    auto* label = new TLabel(
        form, form, {.Left = 4, .Top = 96, .Width = 68, .Height = 13, .Caption = "Def.Gateway :"},
        SS_RIGHT);
    auto* list = new TListView(form, form, {.Left = 100, .Top = 0, .Width = 300, .Height = 90},
                               {{"Type", 120}, {"Value", 282}});
    const int labelRight = label->Left() + label->Width();
    auto fontHeight = [](TControl* c) {
        LOGFONTA lf{};
        GetObjectA(c->Font(), sizeof(lf), &lf);
        return lf.lfHeight;
    };
    auto textWidth = [](TControl* c) {
        HDC dc = GetDC(c->Handle());
        HGDIOBJ old = SelectObject(dc, c->Font());
        SIZE size{};
        const std::string text = c->Caption();
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(c->Handle(), dc);
        return static_cast<int>(size.cx);
    };
    ASSERT_EQ(form->Dpi(), 96); // the tests' prefix
    for (int dpi : {144, 192, 96}) {
        // What the system sends a window moved to a monitor of that scale.
        RECT suggested{10, 10, 10 + ScaleToDpi(420, dpi), 10 + ScaleToDpi(340, dpi)};
        SendMessageA(form->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT outer;
        GetWindowRect(form->Handle(), &outer);
        EXPECT_EQ(outer.right - outer.left, ScaleToDpi(420, dpi)) << dpi;
        EXPECT_EQ(form->Dpi(), dpi);
        EXPECT_EQ(fontHeight(form), ScaleToDpi(-11, dpi)) << dpi;
        EXPECT_EQ(fontHeight(ok), ScaleToDpi(-11, dpi)) << "inherited, " << dpi;
        EXPECT_EQ(strip->Height(), ScaleToDpi(48, dpi)) << dpi;
        EXPECT_NEAR(ok->Left(), ScaleToDpi(16, dpi), 1) << dpi;
        EXPECT_NEAR(ok->Width(), ScaleToDpi(75, dpi), 1) << dpi;
        EXPECT_NEAR(list->ColumnWidth(1), ScaleToDpi(282, dpi), 1) << dpi;
        EXPECT_GE(label->Width(), textWidth(label)) << dpi;
        EXPECT_NEAR(label->Left() + label->Width(), ScaleToDpi(labelRight, dpi), 1) << dpi;
    }
    // Back at 96 DPI: the layout it started with.
    EXPECT_EQ(ok->Left(), 16);
    EXPECT_EQ(ok->Width(), 75);
    EXPECT_EQ(list->ColumnWidth(0), 120);
}
