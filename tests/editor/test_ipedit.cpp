#include "editor/o_QVIPEdit.h"
#include "support/TestSupport.h"
#include "toolkit/Accessibility.h"
#include "toolkit/Application.h"
#include "toolkit/Forms.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

// An independent statement of the rule: three dots, four parts, each of one
// to three decimal digits and nothing else, from 0 to 255.
bool Oracle(const std::string& text) {
    std::vector<std::string> parts{""};
    for (char c : text) {
        if (c == '.')
            parts.push_back("");
        else
            parts.back() += c;
    }
    if (parts.size() != 4) return false;
    for (const std::string& p : parts) {
        if (p.empty() || p.size() > 3 || p.find_first_not_of("0123456789") != std::string::npos)
            return false;
        if (std::stoi(p) > 255) return false;
    }
    return true;
}

std::string RandomText(std::mt19937& rng) {
    static const char alphabet[] = "0123456789..........   +-x$";
    std::uniform_int_distribution<int> length(0, 24), pick(0, sizeof(alphabet) - 2), kind(0, 9),
        byte(0, 255), big(0, 999999);
    std::string text;
    switch (kind(rng)) {
    case 0: // random bytes
        for (int i = length(rng); i > 0; --i)
            text += static_cast<char>(byte(rng));
        return text;
    case 1: // huge numbers
        return std::to_string(big(rng)) + "." + std::to_string(big(rng)) + "9999999999." +
               std::to_string(big(rng) % 300) + "." + std::to_string(big(rng) % 300);
    case 2:
    case 3:
    case 4: { // near-valid addresses
        std::uniform_int_distribution<int> part(-5, 300);
        for (int i = 0; i < 4; ++i)
            text += (i ? "." : "") + std::to_string(part(rng));
        return text;
    }
    default:
        for (int i = length(rng); i > 0; --i)
            text += alphabet[pick(rng)];
        return text;
    }
}

} // namespace

TEST(IPAddressRules, AMillionGeneratedTextsAgreeWithTheRule) {
    std::mt19937 rng(20261207);
    int accepted = 0;
    for (int i = 0; i < 1000000; ++i) {
        std::string text = RandomText(rng);
        bool valid = ParseIPText(text).Valid;
        ASSERT_EQ(valid, Oracle(text)) << "text: '" << text << "'";
        accepted += valid;
    }
    EXPECT_GT(accepted, 100000); // the generator reaches both verdicts often
    // The character filter on every byte at every length and selection.
    for (int c = 0; c < 256; ++c)
        for (size_t length = 0; length <= 3; ++length)
            for (size_t selected = 0; selected <= length; ++selected) {
                char key = static_cast<char>(c);
                const bool digit = key >= '0' && key <= '9';
                const bool clipboardKey = key == 0x03 || key == 0x16 || key == 0x18 || key == 0x1A;
                TPartKeyAction expected = TPartKeyAction::Discard;
                if (key == '\b')
                    expected = length ? TPartKeyAction::Pass : TPartKeyAction::PreviousPart;
                else if (key == '\r')
                    expected = TPartKeyAction::Commit;
                else if ((key == '.' || key == ' ') && length)
                    expected = TPartKeyAction::NextPart;
                else if ((digit && length - selected + 1 <= 3) || clipboardKey)
                    expected = TPartKeyAction::Pass;
                ASSERT_EQ(FilterPartKey(key, length, selected), expected)
                    << c << " at " << length << " with " << selected << " selected";
            }
}

TEST(IPAddressRules, ParseCases) {
    EXPECT_TRUE(ParseIPText("192.168.001.010").Valid);
    EXPECT_EQ(ParseIPText("192.168.001.010").Parts, (std::array<int, 4>{192, 168, 1, 10}));
    EXPECT_FALSE(ParseIPText("256.1.1.1").Valid);
    EXPECT_EQ(ParseIPText("256.1.1.1").Parts[0], 256);
    EXPECT_FALSE(ParseIPText("1.2.3").Valid);
    EXPECT_FALSE(ParseIPText("1.2.3.4.5").Valid);
    EXPECT_EQ(ParseIPText("1.2.3.4.5").DotCount, 4);
    EXPECT_FALSE(ParseIPText("...").Valid);
    EXPECT_FALSE(ParseIPText("-1.2.3.4").Valid);
    // What activation would refuse, the editor refuses too.
    EXPECT_FALSE(ParseIPText(" 1.+2.3.4").Valid);
    EXPECT_FALSE(ParseIPText("1. 7.3.4").Valid);
    EXPECT_FALSE(ParseIPText("1.0007.3.4").Valid);
    EXPECT_FALSE(ParseIPText("1.2.3.99999999999").Valid);
}

TEST(IPAddressRules, PasteKeepsWhatTypingCouldHaveProduced) {
    EXPECT_EQ(PastedPartText("", 0, 0, "192"), "192");
    EXPECT_EQ(PastedPartText("", 0, 0, "19216"), "192");
    EXPECT_EQ(PastedPartText("1", 1, 1, " 7x9 "), "179");
    EXPECT_EQ(PastedPartText("12", 1, 1, "345"), "132");
    EXPECT_EQ(PastedPartText("255", 0, 3, "10"), "10"); // over a selection
    EXPECT_EQ(PastedPartText("255", 3, 3, "1"), "255");
    EXPECT_EQ(PastedPartText("25", 0, 0, "abc"), "25");
    EXPECT_EQ(PastedPartText("", 0, 0, "-1"), "1");
}

namespace {

class IPEdit : public ::testing::Test {
protected:
    void SetUp() override {
        App.Title = "QV IP Tavix Ver2";
        Form = new TForm(&App, TFormArgs{.Caption = "Host"});
        Edit = new TqvIPEdit(Form, nullptr, {.Left = 10, .Top = 10});
        Edit->OnIPChange = [this](TComponent* s) { Log.push_back(s == Edit ? "ip" : "?"); };
        Edit->OnIPFirstPartChange = [this](TComponent* s) { Log.push_back(s == Edit ? "1" : "?"); };
        Edit->OnIPSecondPartChange = [this](TComponent* s) {
            Log.push_back(s == Edit ? "2" : "?");
        };
        Edit->OnIPThirdPartChange = [this](TComponent* s) { Log.push_back(s == Edit ? "3" : "?"); };
        Edit->OnIPFourthPartChange = [this](TComponent* s) {
            Log.push_back(s == Edit ? "4" : "?");
        };
    }
    void TearDown() override { delete Form; }
    std::vector<std::string> Parts() {
        std::vector<std::string> out;
        for (int i = 0; i < 4; ++i)
            out.push_back(Edit->PartEditor(i)->Text());
        return out;
    }
    void Type(int part, const std::string& keys) {
        for (char c : keys)
            SendMessageA(Edit->PartEditor(part)->Handle(), WM_CHAR, static_cast<unsigned char>(c),
                         1);
    }
    TApplication App;
    TForm* Form = nullptr;
    TqvIPEdit* Edit = nullptr;
    std::vector<std::string> Log;
};

} // namespace

TEST_F(IPEdit, PartsAreBuiltOnTheFirstParentOnly) {
    EXPECT_EQ(Edit->Handle(), nullptr);
    EXPECT_EQ(Edit->Width(), 219);
    EXPECT_EQ(Edit->Height(), 21);
    Edit->SetParent(Form);
    ASSERT_NE(Edit->Handle(), nullptr);
    int children = 0;
    for (HWND c = GetWindow(Edit->Handle(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        ++children;
    EXPECT_EQ(children, 7);
    // Four 30-pixel parts and three dots of the 16-point font.
    HWND dot = GetWindow(Edit->PartEditor(0)->Handle(), GW_HWNDNEXT);
    RECT r;
    GetWindowRect(dot, &r);
    EXPECT_EQ(Edit->Width(), 4 * 30 + 3 * (r.right - r.left));
    EXPECT_EQ(Edit->PartEditor(3)->Left() + 30, Edit->Width());
    Edit->SetParent(Form);
    EXPECT_EQ(Edit->PartEditor(3)->Left() + 30, Edit->Width());
}

TEST_F(IPEdit, AssigningSpreadsValidTextsAndRefusesOthers) {
    Edit->SetParent(Form);
    Edit->SetIP("192.168.001.010");
    EXPECT_EQ(Parts(), (std::vector<std::string>{"192", "168", "1", "10"}));
    EXPECT_EQ(Edit->IP(), "192.168.001.010");
    EXPECT_EQ(Edit->IPThirdPart(), 1);
    EXPECT_EQ(Log, (std::vector<std::string>{"1", "2", "3", "4", "ip"}));
    Log.clear();
    Edit->SetIP("192.168.5.010"); // only the third part's text changes
    EXPECT_EQ(Log, (std::vector<std::string>{"3", "ip"}));
    Log.clear();
    Edit->SetIP("192.168.5.010");
    Edit->SetIP("");
    Edit->SetIP("   ");
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(Edit->IP(), "192.168.5.010");
    for (const char* bad : {"256.1.1.1", "1.2.3", "1.2.3.4.5"}) {
        try {
            Edit->SetIP(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("IP Address ") + bad + " is invalid!");
        }
        EXPECT_EQ(Edit->IP(), bad);
        EXPECT_EQ(Parts(), (std::vector<std::string>{"192", "168", "5", "10"}));
        if (std::string(bad) == "256.1.1.1") {
            EXPECT_EQ(Edit->IPFirstPart(), 256);
        }
    }
    EXPECT_TRUE(Log.empty());
    Edit->SetIP("1.2.3.4.5"); // the same invalid text again raises nothing
}

TEST_F(IPEdit, CharacterFilterAndCommitOnEnterOrLeavingTheFourthPart) {
    Edit->SetParent(Form);
    Form->Show();
    Type(0, "1923");   // a fourth digit is discarded
    Type(1, "1x.6-8"); // letters, dots and signs are discarded
    Type(2, "0");
    Type(3, "12\b5"); // backspace works
    EXPECT_EQ(Parts(), (std::vector<std::string>{"192", "168", "0", "15"}));
    // A full part takes no further digit; over a selection the digit
    // replaces what is selected.
    SendMessageA(Edit->PartEditor(0)->Handle(), EM_SETSEL, 3, 3);
    Type(0, "7");
    EXPECT_EQ(Parts()[0], "192");
    SendMessageA(Edit->PartEditor(0)->Handle(), EM_SETSEL, 1, 3);
    Type(0, "7");
    EXPECT_EQ(Parts()[0], "17");
    SendMessageA(Edit->PartEditor(0)->Handle(), EM_SETSEL, 0, -1);
    Type(0, "192");
    EXPECT_EQ(Edit->IP(), ""); // nothing committed yet
    Type(2, "\r");
    EXPECT_EQ(Edit->IP(), "192.168.0.15");
    // Leaving parts 1 to 3 commits nothing; leaving part 4 does.
    Type(1, "\b\b\b9");
    Edit->PartEditor(1)->SetFocus();
    Edit->PartEditor(0)->SetFocus();
    EXPECT_EQ(Edit->IP(), "192.168.0.15");
    Edit->PartEditor(3)->SetFocus();
    MessageBoxCatcher boxes;
    Edit->PartEditor(0)->SetFocus();
    EXPECT_EQ(Edit->IP(), "192.9.0.15");
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(IPEdit, FourEmptyPartsAreAnEmptyFieldNotAnInvalidAddress) {
    Edit->SetParent(Form);
    Form->Show();
    MessageBoxCatcher boxes;
    Edit->PartEditor(3)->SetFocus();
    Edit->PartEditor(0)->SetFocus(); // leaving four empty parts
    Type(2, "\r");
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(Edit->IP(), "");
    // Emptying a field that held an address empties it.
    Edit->SetIP("10.0.0.1");
    for (int i = 0; i < 4; ++i)
        Edit->PartEditor(i)->SetText("");
    Edit->PartEditor(3)->SetFocus();
    Edit->PartEditor(0)->SetFocus();
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(Edit->IP(), "");
    EXPECT_TRUE(Edit->PartsEmpty());
}

TEST_F(IPEdit, LeavingTheFourthPartChecksOnlyWhenTheFocusStaysInTheForm) {
    Edit->SetParent(Form);
    auto* other = new TEdit(Form, Form, {.Left = 10, .Top = 40, .Width = 50, .Height = 21});
    auto* cancel = new TButton(
        Form, Form, {.Left = 10, .Top = 70, .Width = 75, .Height = 25, .Caption = "Cancel"});
    cancel->CausesValidation = false;
    TForm* elsewhere = new TForm(&App, TFormArgs{.Caption = "Elsewhere"});
    auto* away = new TEdit(elsewhere, elsewhere, {.Width = 50, .Height = 21});
    Form->Show();
    MessageBoxCatcher boxes;
    Type(3, "7"); // "...7" is no address
    Edit->PartEditor(3)->SetFocus();
    cancel->SetFocus();
    elsewhere->Show();
    Edit->PartEditor(3)->SetFocus();
    away->SetFocus();
    Edit->PartEditor(3)->SetFocus();
    SetFocus(nullptr);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(Edit->IP(), "");
    // Another field of the same form: checked, and the user is told.
    Edit->PartEditor(3)->SetFocus();
    try {
        other->SetFocus();
    } catch (const EConvertError&) {
    }
    EXPECT_EQ(Edit->IP(), "...7");
    delete elsewhere;
}

TEST_F(IPEdit, PastingAWholeAddressSpreadsItAndAnythingElseIsFiltered) {
    Edit->SetParent(Form);
    Form->Show();
    MessageBoxCatcher boxes; // leaving part 4 for part 1 checks what it holds
    auto paste = [&](int part, const char* text) {
        if (!OpenClipboard(nullptr)) return;
        EmptyClipboard();
        size_t n = std::strlen(text) + 1;
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, n);
        std::memcpy(GlobalLock(mem), text, n);
        GlobalUnlock(mem);
        SetClipboardData(CF_TEXT, mem);
        CloseClipboard();
        Edit->PartEditor(part)->SetFocus();
        SendMessageA(Edit->PartEditor(part)->Handle(), WM_PASTE, 0, 0);
    };
    paste(0, " 192.168.1.10\r\n");
    EXPECT_EQ(Parts(), (std::vector<std::string>{"192", "168", "1", "10"}));
    EXPECT_TRUE(Edit->PartsEdited());
    for (int i = 0; i < 4; ++i)
        Edit->PartEditor(i)->SetText("");
    paste(1, "0007");
    paste(2, "1.2.3");
    paste(3, "abc");
    EXPECT_EQ(Parts(), (std::vector<std::string>{"", "000", "123", ""}));
    // Ctrl+V reaches the paste too.
    paste(0, "");
    Edit->PartEditor(0)->SetText("");
    const char digits[] = "55";
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, sizeof(digits));
        std::memcpy(GlobalLock(mem), digits, sizeof(digits));
        GlobalUnlock(mem);
        SetClipboardData(CF_TEXT, mem);
        CloseClipboard();
    }
    Type(0, "\x16");
    EXPECT_EQ(Parts()[0], "55");
}

namespace {

HWND Focus() {
    return GetFocus();
}

// Keys as the keyboard brings them: to whichever part has the focus.
void TypeToFocus(const std::string& keys) {
    for (char c : keys)
        SendMessageA(GetFocus(), WM_CHAR, static_cast<unsigned char>(c), 1);
}
void PressToFocus(WPARAM key, int times = 1) {
    for (int i = 0; i < times; ++i) {
        SendMessageA(GetFocus(), WM_KEYDOWN, key, 1);
        if (key == VK_BACK) SendMessageA(GetFocus(), WM_CHAR, '\b', 1);
        SendMessageA(GetFocus(), WM_KEYUP, key, 0xC0000001);
    }
}
std::pair<DWORD, DWORD> Selection(HWND wnd) {
    DWORD start = 0, end = 0;
    SendMessageA(wnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

} // namespace

TEST_F(IPEdit, AnAddressTypedStraightThroughFillsTheFourParts) {
    Edit->SetParent(Form);
    Form->Show();
    MessageBoxCatcher boxes;
    Edit->PartEditor(0)->SetFocus();
    TypeToFocus("10.1.2.3");
    EXPECT_EQ(Parts(), (std::vector<std::string>{"10", "1", "2", "3"}));
    EXPECT_EQ(Focus(), Edit->PartEditor(3)->Handle());
    TypeToFocus(". "); // the fourth part goes nowhere and takes neither
    EXPECT_EQ(Parts()[3], "3");
    EXPECT_EQ(Focus(), Edit->PartEditor(3)->Handle());
    TypeToFocus("\r");
    EXPECT_EQ(Edit->IP(), "10.1.2.3");

    // Without separators: each third digit moves on, and the next part's
    // text is selected, so typing replaces it.
    Edit->PartEditor(0)->SetFocus();
    SendMessageA(Focus(), EM_SETSEL, 0, -1);
    TypeToFocus("192168001010");
    EXPECT_EQ(Parts(), (std::vector<std::string>{"192", "168", "001", "010"}));
    TypeToFocus("\r");
    // Committed in decimal: netsh would read "010" as octal 8.
    EXPECT_EQ(Edit->IP(), "192.168.1.10");
    // A dot right after a full part is not a second move; a dot or Space in
    // an empty part moves nowhere.
    Edit->Clear();
    Edit->PartEditor(0)->SetFocus();
    TypeToFocus("255.255 255.0");
    EXPECT_EQ(Parts(), (std::vector<std::string>{"255", "255", "255", "0"}));
    Edit->Clear();
    Edit->PartEditor(0)->SetFocus();
    TypeToFocus(".. 7");
    EXPECT_EQ(Parts(), (std::vector<std::string>{"7", "", "", ""}));
    // A digit typed into the middle of a part does not move on.
    Edit->PartEditor(0)->SetText("12");
    SendMessageA(Edit->PartEditor(0)->Handle(), EM_SETSEL, 1, 1);
    TypeToFocus("3");
    EXPECT_EQ(Parts()[0], "132");
    EXPECT_EQ(Focus(), Edit->PartEditor(0)->Handle());
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(IPEdit, BackspaceArrowsHomeAndEndMoveBetweenPartsWithoutCommitting) {
    Edit->SetParent(Form);
    Form->Show();
    MessageBoxCatcher boxes;
    Edit->SetIP("10.1.2.3");
    Edit->PartEditor(3)->SetFocus();
    SendMessageA(Focus(), EM_SETSEL, 1, 1);
    PressToFocus(VK_BACK, 2); // "3" goes, then the empty part gives way
    EXPECT_EQ(Focus(), Edit->PartEditor(2)->Handle());
    EXPECT_EQ(Selection(Focus()), (std::pair<DWORD, DWORD>{1, 1}));
    PressToFocus(VK_BACK, 2);
    EXPECT_EQ(Parts(), (std::vector<std::string>{"10", "1", "", ""}));
    EXPECT_EQ(Focus(), Edit->PartEditor(1)->Handle());
    // Leaving the fourth part for another part is no leaving of the field.
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(Edit->IP(), "10.1.2.3");

    PressToFocus(VK_LEFT); // caret at the end of "1": moves inside the part
    EXPECT_EQ(Focus(), Edit->PartEditor(1)->Handle());
    PressToFocus(VK_LEFT); // at the start: to the end of the first part
    EXPECT_EQ(Focus(), Edit->PartEditor(0)->Handle());
    EXPECT_EQ(Selection(Focus()), (std::pair<DWORD, DWORD>{2, 2}));
    PressToFocus(VK_LEFT, 3); // the first part has no previous one
    EXPECT_EQ(Focus(), Edit->PartEditor(0)->Handle());
    EXPECT_EQ(Selection(Focus()), (std::pair<DWORD, DWORD>{0, 0}));
    PressToFocus(VK_RIGHT, 3); // through "10" and on to the start of "1"
    EXPECT_EQ(Focus(), Edit->PartEditor(1)->Handle());
    EXPECT_EQ(Selection(Focus()), (std::pair<DWORD, DWORD>{0, 0}));
    PressToFocus(VK_END);
    EXPECT_EQ(Focus(), Edit->PartEditor(3)->Handle());
    PressToFocus(VK_RIGHT); // the fourth part has no next one
    EXPECT_EQ(Focus(), Edit->PartEditor(3)->Handle());
    PressToFocus(VK_HOME);
    EXPECT_EQ(Focus(), Edit->PartEditor(0)->Handle());
    EXPECT_EQ(Selection(Focus()), (std::pair<DWORD, DWORD>{0, 0}));
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(Edit->IP(), "10.1.2.3");
    // Backspace in the empty first part stays there.
    Edit->Clear();
    Edit->PartEditor(0)->SetFocus();
    PressToFocus(VK_BACK);
    EXPECT_EQ(Focus(), Edit->PartEditor(0)->Handle());
}

TEST_F(IPEdit, EachPartIsNamedForAssistiveTechnology) {
    Edit->SetParent(Form);
    Edit->SetAccessibleName("IP Address");
    Form->Show();
    for (int i = 0; i < 4; ++i) {
        const std::string expected = "IP Address, part " + std::to_string(i + 1) + " of 4";
        EXPECT_EQ(Edit->PartEditor(i)->AccessibleName(), expected);
        // Read as a screen reader reads it. Wine has no annotation service
        // (SetHwndPropStr answers E_NOTIMPL), so there the part answers
        // WM_GETOBJECT itself; on Windows the annotation names it.
        EXPECT_EQ(AccessibleNameOf(Edit->PartEditor(i)->Handle()), expected);
    }
    // A name given before the parts exist reaches them when they are built.
    auto* later = new TqvIPEdit(Form, nullptr, {.Left = 10, .Top = 40});
    later->SetAccessibleName("Subnet Mask");
    later->SetParent(Form);
    EXPECT_EQ(AccessibleNameOf(later->PartEditor(3)->Handle()), "Subnet Mask, part 4 of 4");
}

TEST_F(IPEdit, DisablingDisablesEveryPart) {
    Edit->SetParent(Form);
    Edit->SetEnabled(false);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(IsWindowEnabled(Edit->PartEditor(i)->Handle()));
    Edit->SetEnabled(true);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(IsWindowEnabled(Edit->PartEditor(i)->Handle()));
}
