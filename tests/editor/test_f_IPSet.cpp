#include "app/f_main.h"
#include "editor/f_IPSet.h"
#include "ipsets/o_qvIPInfo.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"

#include <gtest/gtest.h>

namespace {

const char* const AllColumns =
    "SELECT IFNULL(IPSET_NAME,'<null>') || '|' || IFNULL(IPADDRESS,'<null>') || '|' || "
    "IFNULL(SUBNETMASK,'<null>') || '|' || IFNULL(GATEWAY,'<null>') || '|' || IFNULL(DNS,'<null>') "
    "|| '|' || IFNULL(DHCP,'<null>') || '|' || IFNULL(CONNECTION,'<null>') FROM IPSets ORDER BY ID";

class Editor : public MainWindowFixture {
protected:
    void SetUp() override {
        Db = FreshDatabase();
        ExecSql(Db, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN'), ('Wireless');"
                    "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, "
                    "CONNECTION) VALUES ('Office', '10.1.2.3', '255.255.0.0', '10.1.0.1', "
                    "'10.1.0.2', 0, 1),"
                    "('Home', '0.0.0.0', '0.0.0.0', '0.0.0.0', '0.0.0.0', 1, 2),"
                    "('Broken', '300.1.1.1', '255.0.0.0', '', '', 0, 1)");
        Adapters.Status = ERROR_NO_DATA;
        OpenMainWindow(true);
    }
    // Opens the add (setID 0) or edit dialog and runs `steps` inside it.
    void WithEditor(long long setID, std::function<void(TFrmIPSet*)> steps) {
        bool ran = false;
        RunInModalLoop([&] {
            HWND wnd = FindWindowA(nullptr, setID ? "Edit existing IP Set" : "Add new IP Set");
            auto* dialog = dynamic_cast<TFrmIPSet*>(TControl::FromHandle(wnd));
            ASSERT_NE(dialog, nullptr);
            ran = true;
            steps(dialog);
            // Whatever the steps left open is closed with the close button.
            if (IsWindow(wnd) && IsWindowVisible(wnd)) PostMessageA(wnd, WM_CLOSE, 0, 0);
        });
        if (setID)
            Manager->EditIPSet(setID);
        else
            Manager->AddIPSet();
        EXPECT_TRUE(ran);
    }
    static void Type(TqvIPEdit* edit, const std::string& address, bool commit = true) {
        int part = 0;
        for (char c : address) {
            if (c == '.') {
                ++part;
                continue;
            }
            SendMessageA(edit->PartEditor(part)->Handle(), WM_CHAR, static_cast<unsigned char>(c),
                         1);
        }
        if (commit) SendMessageA(edit->PartEditor(3)->Handle(), WM_CHAR, '\r', 1);
    }
    static void ClearParts(TqvIPEdit* edit) {
        for (int i = 0; i < 4; ++i)
            edit->PartEditor(i)->SetText("");
    }
    std::vector<std::string> Rows() { return QueryColumn(Db, AllColumns); }
};

} // namespace

TEST_F(Editor, AddStoresTrimmedNameAddressesAndChosenConnection) {
    std::vector<std::string> before = Rows();
    bool nameFocused = false;
    std::vector<std::string> connections;
    WithEditor(0, [&](TFrmIPSet* d) {
        nameFocused = d->edtIPSetName->Focused();
        for (int i = 0; i < d->edtConnection->ItemCount(); ++i)
            connections.push_back(d->edtConnection->Items(i));
        d->edtIPSetName->SetText("  Lab  ");
        Type(d->edtIPAddress, "192.168.10.20");
        Type(d->edtSubNetMask, "255.255.255.0");
        Type(d->edtDefGateway, "192.168.10.1");
        Type(d->edtDns, "8.8.4.4", false); // typed, not yet committed
        d->edtConnection->Choose(1);
        d->btnOk->Click();
    });
    EXPECT_TRUE(nameFocused);
    EXPECT_EQ(connections, (std::vector<std::string>{"LAN", "Wireless"}));
    std::vector<std::string> rows = Rows();
    ASSERT_EQ(rows.size(), before.size() + 1);
    EXPECT_EQ(rows.back(), "Lab|192.168.10.20|255.255.255.0|192.168.10.1|8.8.4.4|0|2");
    EXPECT_EQ(Form->IPSetTreeView->NodeText(Form->IPSetTreeView->FirstChild(TVI_ROOT)), "Office");
}

TEST_F(Editor, DhcpStoresZeroAddressesWhateverTheControlsShow) {
    std::vector<bool> enabledAfterTick;
    WithEditor(0, [&](TFrmIPSet* d) {
        d->edtIPSetName->SetText("Auto");
        Type(d->edtIPAddress, "10.0.0.9");
        SendMessageA(d->DHCPCheck->Handle(), BM_CLICK, 0, 0);
        for (TqvIPEdit* e : {d->edtIPAddress, d->edtSubNetMask, d->edtDefGateway, d->edtDns})
            enabledAfterTick.push_back(IsWindowEnabled(e->PartEditor(0)->Handle()));
        d->btnOk->Click();
    });
    EXPECT_EQ(enabledAfterTick, (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(Rows().back(), "Auto|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0|1|<null>");
}

TEST_F(Editor, CancelAndCloseButtonLeaveTheTableUnchanged) {
    const std::vector<std::string> before = Rows();
    WithEditor(0, [&](TFrmIPSet* d) {
        d->edtIPSetName->SetText("Never");
        d->edtConnection->Choose(0);
        d->btnCancel->Click();
    });
    WithEditor(0, [&](TFrmIPSet* d) {
        d->edtConnection->Choose(1); // written into the row at once
        // left open: closed with the close button
    });
    WithEditor(1, [&](TFrmIPSet* d) {
        d->edtConnection->Choose(1);
        d->edtIPSetName->SetText("Renamed");
        d->btnCancel->Click();
    });
    WithEditor(1, [&](TFrmIPSet* d) { d->edtConnection->Choose(1); });
    EXPECT_EQ(Rows(), before);
}

TEST_F(Editor, EmptyOrBlankNameKeepsTheDialogOpen) {
    MessageBoxCatcher boxes;
    bool openAfterEmpty = false, openAfterBlank = false;
    WithEditor(0, [&](TFrmIPSet* d) {
        Type(d->edtIPAddress, "10.0.0.1");
        d->btnOk->Click();
        openAfterEmpty = d->ModalResult() == TModalResult::mrNone;
        d->edtIPSetName->SetText("   ");
        d->btnOk->Click();
        openAfterBlank = d->ModalResult() == TModalResult::mrNone;
        EXPECT_EQ(d->edtIPAddress->IP(), "10.0.0.1"); // what was typed is kept
        d->btnCancel->Click();
    });
    EXPECT_TRUE(openAfterEmpty);
    EXPECT_TRUE(openAfterBlank);
    ASSERT_EQ(boxes.Boxes.size(), 2u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Empty IP Set Name !! ");
    EXPECT_EQ(boxes.Boxes[0].Caption, "QV IP Tavix Ver2");
    EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(Editor, ControlCharactersInTheNameOrTheConnectionKeepTheDialogOpen) {
    // A connection name from a file or registry key made elsewhere.
    ExecSql(Db,
            "INSERT INTO Connections (CONNECTIONNAME) VALUES ('Fake' || char(13, 10) || 'Set')");
    Manager->ConnectionsTable()->Refresh();
    MessageBoxCatcher boxes;
    const struct {
        const char* Name;
        int Connection; // the selector's entry
        const char* Told;
    } cases[] = {
        {"Home\r\nOffice", 0, "The IP set name may not hold control characters"},
        {"Home\x7F", 0, "The IP set name may not hold control characters"},
        {"Home", 2, "The name of the chosen connection holds control characters"},
    };
    for (const auto& c : cases) {
        boxes.Boxes.clear();
        bool open = false;
        WithEditor(0, [&](TFrmIPSet* d) {
            d->edtIPSetName->SetText(c.Name); // pasted, or Ctrl+Backspace's DEL
            Type(d->edtIPAddress, "10.0.0.1");
            Type(d->edtSubNetMask, "255.0.0.0");
            d->edtConnection->Choose(c.Connection);
            d->btnOk->Click();
            open = d->ModalResult() == TModalResult::mrNone;
            d->btnCancel->Click();
        });
        EXPECT_TRUE(open) << c.Told;
        ASSERT_EQ(boxes.Boxes.size(), 1u) << c.Told;
        EXPECT_EQ(boxes.Boxes[0].Text.rfind(c.Told, 0), 0u) << boxes.Boxes[0].Text;
    }
    EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(Editor, InvalidAddressesAreNamedAndNothingIsWritten) {
    MessageBoxCatcher boxes;
    std::vector<bool> open;
    bool focusOnMask = false;
    WithEditor(0, [&](TFrmIPSet* d) {
        d->edtIPSetName->SetText("Check");
        d->btnOk->Click(); // no address at all
        open.push_back(d->ModalResult() == TModalResult::mrNone);
        Type(d->edtIPAddress, "10.0.0.5");
        Type(d->edtSubNetMask, "255.255", false); // half an address, not committed
        d->btnOk->Click();
        open.push_back(d->ModalResult() == TModalResult::mrNone);
        focusOnMask = d->edtSubNetMask->PartEditor(0)->Focused();
        ClearParts(d->edtSubNetMask);
        Type(d->edtSubNetMask, "255.0.0.0");
        Type(d->edtDefGateway, "10.0.0.300", false);
        d->btnOk->Click();
        open.push_back(d->ModalResult() == TModalResult::mrNone);
        ClearParts(d->edtDefGateway); // an emptied gateway is allowed
        d->btnOk->Click();
        open.push_back(d->ModalResult() == TModalResult::mrNone);
    });
    EXPECT_EQ(open, (std::vector<bool>{true, true, true, false}));
    EXPECT_TRUE(focusOnMask);
    ASSERT_GE(boxes.Boxes.size(), 3u);
    // No message names "...": an empty required field is asked for by name.
    EXPECT_EQ(boxes.Boxes[0].Text, "Enter the IP address.");
    EXPECT_EQ(boxes.Boxes[1].Text, "IP Address 255.255.. is invalid!");
    EXPECT_EQ(boxes.Boxes[2].Text, "IP Address 10.0.0.300 is invalid!");
    EXPECT_EQ(Rows().back(), "Check|10.0.0.5|255.0.0.0|||0|<null>");
}

TEST_F(Editor, EditShowsTheStoredSetAndKeepsItsConnection) {
    bool ticked = false, disabled = false;
    std::string shownAddress, connection;
    MessageBoxCatcher boxes(IDNO);
    std::vector<bool> stayedOpen;
    WithEditor(2, [&](TFrmIPSet* d) {
        ticked = d->DHCPCheck->Checked();
        disabled = !IsWindowEnabled(d->edtIPAddress->PartEditor(0)->Handle());
        shownAddress = d->edtIPAddress->IP();
        connection = d->edtConnection->Text();
        SendMessageA(d->DHCPCheck->Handle(), BM_CLICK, 0, 0); // clear: enabled with 0.0.0.0
        EXPECT_TRUE(IsWindowEnabled(d->edtDns->PartEditor(0)->Handle()));
        ClearParts(d->edtIPAddress);
        Type(d->edtIPAddress, "172.016.000.004");
        // The 0.0.0.0 left in the other fields cannot work: refused by name.
        d->btnOk->Click();
        stayedOpen.push_back(d->ModalResult() == TModalResult::mrNone);
        ClearParts(d->edtSubNetMask);
        Type(d->edtSubNetMask, "255.255.0.0");
        ClearParts(d->edtDefGateway);
        Type(d->edtDefGateway, "10.0.0.1");
        ClearParts(d->edtDns);
        // A gateway outside the subnet is asked about: No stays, Yes saves.
        d->btnOk->Click();
        stayedOpen.push_back(d->ModalResult() == TModalResult::mrNone);
        boxes.Answer = IDYES;
        d->btnOk->Click();
    });
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(disabled);
    EXPECT_EQ(shownAddress, "0.0.0.0");
    EXPECT_EQ(connection, "Wireless");
    EXPECT_EQ(stayedOpen, (std::vector<bool>{true, true}));
    ASSERT_EQ(boxes.Boxes.size(), 3u);
    EXPECT_EQ(boxes.Boxes[0].Text, "The subnet mask 0.0.0.0 leaves no network.");
    EXPECT_EQ(boxes.Boxes[1].Text,
              "The default gateway is not in the same subnet as the IP address. Save anyway?");
    EXPECT_EQ(Rows()[1], "Home|172.16.0.4|255.255.0.0|10.0.0.1||0|2"); // decimal, as netsh reads it
}

TEST_F(Editor, DeleteInTheSelectorClearsTheConnection) {
    WithEditor(1, [&](TFrmIPSet* d) {
        SendMessageA(d->edtConnection->Handle(), WM_KEYDOWN, VK_DELETE, 1);
        EXPECT_EQ(d->edtConnection->Text(), "");
        d->btnOk->Click();
    });
    EXPECT_EQ(Rows()[0], "Office|10.1.2.3|255.255.0.0|10.1.0.1|10.1.0.2|0|<null>");
}

TEST_F(Editor, StoredInvalidAddressOpensEmptyAndMustBeCorrected) {
    MessageBoxCatcher boxes;
    bool opened = false;
    std::string shown;
    WithEditor(3, [&](TFrmIPSet* d) {
        opened = true;
        shown = d->edtIPAddress->IP() + "|" + d->edtIPAddress->PartEditor(0)->Text();
        d->btnOk->Click();
        EXPECT_EQ(d->ModalResult(), TModalResult::mrNone);
        Type(d->edtIPAddress, "10.9.9.9");
        d->btnOk->Click();
    });
    EXPECT_TRUE(opened);
    EXPECT_EQ(shown, "|");
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Enter the IP address.");
    EXPECT_EQ(Rows()[2], "Broken|10.9.9.9|255.0.0.0|||0|1");
}

TEST_F(Editor, EnterAndEscapePressNeitherButton) {
    WithEditor(0, [&](TFrmIPSet* d) {
        HWND name = d->edtIPSetName->Handle();
        for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
            PostMessageA(name, WM_KEYDOWN, key, 1);
            PostMessageA(name, WM_KEYUP, key, 0xC0000001);
        }
        RunInModalLoop([d] {
            EXPECT_EQ(d->ModalResult(), TModalResult::mrNone);
            EXPECT_TRUE(IsWindowVisible(d->Handle()));
            d->btnCancel->Click();
        });
    });
}

TEST_F(Editor, EveryLabelAndButtonShowsItsWholeTextAtEveryScale) {
    // The labels are right-aligned to their fields: a face wider than the
    // one asked for would cut their first letters at the page's edge. The
    // dialog moved to monitors of 150 % and 200 % lays itself out again.
    WithEditor(0, [&](TFrmIPSet* d) {
        for (int dpi : {96, 144, 192}) {
            RECT suggested{0, 0, ScaleToDpi(420, dpi), ScaleToDpi(418, dpi)};
            SendMessageA(d->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                         reinterpret_cast<LPARAM>(&suggested));
            for (TControl* control : std::initializer_list<TControl*>{
                     d->Label1, d->Label2, d->Label3, d->Label4, d->Label5, d->Label6, d->Label7,
                     d->btnOk, d->btnCancel}) {
                HDC dc = GetDC(control->Handle());
                HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(
                                                   control->Handle(), WM_GETFONT, 0, 0)));
                char face[LF_FACESIZE] = {};
                GetTextFaceA(dc, sizeof(face), face);
                const std::string text = control->Caption();
                SIZE size{};
                GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
                SelectObject(dc, old);
                ReleaseDC(control->Handle(), dc);
                RECT client{};
                GetClientRect(control->Handle(), &client);
                EXPECT_STREQ(face, "MS Sans Serif") << text;
                EXPECT_LE(size.cx, client.right) << text << " in " << face << " at " << dpi;
                EXPECT_GE(control->Left(), 0) << text << " at " << dpi;
                EXPECT_LE(size.cy, client.bottom) << text << " at " << dpi;
            }
        }
    });
}

TEST_F(Editor, SecondDnsServerIsCheckedStoredAndOffWhereItCannotBe) {
    MessageBoxCatcher boxes;
    std::vector<bool> open;
    bool offWithDhcp = false;
    WithEditor(0, [&](TFrmIPSet* d) {
        d->edtIPSetName->SetText("Two");
        Type(d->edtIPAddress, "10.0.0.5");
        Type(d->edtSubNetMask, "255.0.0.0");
        Type(d->edtDns2, "10.0.0.54");
        d->btnOk->Click(); // an alternate server without a first one
        open.push_back(d->ModalResult() == TModalResult::mrNone);
        Type(d->edtDns, "10.0.0.53");
        ClearParts(d->edtDns2);
        Type(d->edtDns2, "10.0.0.999", false);
        d->btnOk->Click();
        open.push_back(d->ModalResult() == TModalResult::mrNone);
        ClearParts(d->edtDns2);
        Type(d->edtDns2, "10.0.0.54");
        SendMessageA(d->DHCPCheck->Handle(), BM_CLICK, 0, 0);
        offWithDhcp = !IsWindowEnabled(d->edtDns2->PartEditor(0)->Handle());
        SendMessageA(d->DHCPCheck->Handle(), BM_CLICK, 0, 0);
        d->btnOk->Click();
        open.push_back(d->ModalResult() == TModalResult::mrNone);
    });
    EXPECT_EQ(open, (std::vector<bool>{true, true, false}));
    EXPECT_TRUE(offWithDhcp);
    ASSERT_EQ(boxes.Boxes.size(), 2u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Enter the DNS server before the alternate one.");
    EXPECT_EQ(boxes.Boxes[1].Text, "IP Address 10.0.0.999 is invalid!");
    EXPECT_EQ(QueryColumn(Db, "SELECT DNS || '/' || DNS2 FROM IPSets WHERE IPSET_NAME = 'Two'"),
              (std::vector<std::string>{"10.0.0.53/10.0.0.54"}));
    std::string shown;
    WithEditor(4, [&](TFrmIPSet* d) { shown = d->edtDns2->IP(); });
    EXPECT_EQ(shown, "10.0.0.54");
    Manager->RefreshIPSetTree();
    std::vector<std::string> lines;
    HTREEITEM set = Form->IPSetTreeView->FirstChild(TVI_ROOT);
    for (int i = 0; i < 3; ++i)
        set = Form->IPSetTreeView->NextSibling(set);
    for (HTREEITEM line = Form->IPSetTreeView->FirstChild(set); line;
         line = Form->IPSetTreeView->NextSibling(line))
        lines.push_back(Form->IPSetTreeView->NodeText(line));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[3], "DNS :10.0.0.53");
    EXPECT_EQ(lines[4], "Alt. DNS :10.0.0.54");
}

TEST_F(Editor, ExtraAddressesAreCheckedListedStoredAndShown) {
    MessageBoxCatcher boxes;
    auto typePair = [](TFrmIPSet* d, const char* address, const char* mask) {
        ClearParts(d->edtExtraAddress);
        ClearParts(d->edtExtraMask);
        Type(d->edtExtraAddress, address);
        Type(d->edtExtraMask, mask);
    };
    std::vector<std::string> listed;
    bool closed = false;
    WithEditor(0, [&](TFrmIPSet* d) {
        d->edtIPSetName->SetText("Extra");
        Type(d->edtIPAddress, "10.0.0.5");
        Type(d->edtSubNetMask, "255.0.0.0");
        typePair(d, "10.0.0.5", "255.255.0.0");
        d->AddExtraAddress(); // the set's own address
        typePair(d, "10.1.0.5", "255.255.0.0");
        d->AddExtraAddress();
        typePair(d, "10.1.0.5", "255.255.255.0");
        d->AddExtraAddress(); // listed already
        typePair(d, "10.2.0.0", "255.255.0.0");
        d->AddExtraAddress(); // a network address
        // Typed but not added: Ok adds it rather than lose it.
        typePair(d, "192.168.1.50", "255.255.255.0");
        d->btnOk->Click();
        closed = d->ModalResult() == TModalResult::mrOk;
    });
    EXPECT_TRUE(closed);
    ASSERT_EQ(boxes.Boxes.size(), 3u);
    EXPECT_EQ(boxes.Boxes[0].Text, "The extra address 10.0.0.5 is the set's IP address itself.");
    EXPECT_EQ(boxes.Boxes[1].Text, "The extra address 10.1.0.5 is in the list already.");
    EXPECT_EQ(boxes.Boxes[2].Text,
              "The extra address 10.2.0.0 is the network address of its subnet 10.2.0.0/16.");
    const char* const stored = "SELECT EXTRAADDRESSES FROM IPSets WHERE IPSET_NAME = 'Extra'";
    EXPECT_EQ(QueryColumn(Db, stored),
              (std::vector<std::string>{"10.1.0.5/255.255.0.0;192.168.1.50/255.255.255.0"}));

    // Edited: the list as stored; one removed; at most eight.
    boxes.Boxes.clear();
    int added = 0;
    WithEditor(4, [&](TFrmIPSet* d) {
        listed = d->lstExtraAddresses->Items();
        d->lstExtraAddresses->SetItemIndex(0);
        d->btnRemoveExtra->Click();
        for (int i = 1; i <= 8; ++i) {
            typePair(d, ("172.16.0." + std::to_string(i)).c_str(), "255.255.0.0");
            added += d->AddExtraAddress() ? 1 : 0;
        }
        d->lstExtraAddresses->SetItemIndex(d->lstExtraAddresses->Count() - 1);
        d->btnRemoveExtra->Click();
        d->btnOk->Click(); // adds the refused pair still typed, now that there is room
    });
    EXPECT_EQ(listed,
              (std::vector<std::string>{"10.1.0.5/255.255.0.0", "192.168.1.50/255.255.255.0"}));
    EXPECT_EQ(added, 7);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "A set holds at most 8 extra addresses.");
    EXPECT_EQ(QueryColumn(Db, "SELECT length(EXTRAADDRESSES) - length(replace(EXTRAADDRESSES, "
                              "';', '')) FROM IPSets WHERE IPSET_NAME = 'Extra'"),
              (std::vector<std::string>{"7"})); // eight pairs

    // A damaged text is shown as it is and refused, never dropped by Ok.
    ExecSql(Db, "UPDATE IPSets SET EXTRAADDRESSES = '10.1.0.5/255.255.0.0;junk' WHERE "
                "IPSET_NAME = 'Extra'");
    Manager->RefreshIPSetTree();
    boxes.Boxes.clear();
    bool stayed = false;
    WithEditor(4, [&](TFrmIPSet* d) {
        listed = d->lstExtraAddresses->Items();
        d->btnOk->Click();
        stayed = d->ModalResult() == TModalResult::mrNone;
    });
    EXPECT_EQ(listed, (std::vector<std::string>{"10.1.0.5/255.255.0.0", "junk"}));
    EXPECT_TRUE(stayed);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_NE(boxes.Boxes[0].Text.find("not a list of address/mask pairs"), std::string::npos);
    EXPECT_EQ(QueryColumn(Db, stored), (std::vector<std::string>{"10.1.0.5/255.255.0.0;junk"}));

    ExecSql(Db, "UPDATE IPSets SET EXTRAADDRESSES = '10.1.0.5/255.255.0.0;192.168.1.50/"
                "255.255.255.0' WHERE IPSET_NAME = 'Extra'");
    Manager->RefreshIPSetTree();
    HTREEITEM set = Form->IPSetTreeView->FirstChild(TVI_ROOT);
    for (int i = 0; i < 3; ++i)
        set = Form->IPSetTreeView->NextSibling(set);
    std::vector<std::string> lines;
    for (HTREEITEM line = Form->IPSetTreeView->FirstChild(set); line;
         line = Form->IPSetTreeView->NextSibling(line))
        lines.push_back(Form->IPSetTreeView->NodeText(line));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[4], "Extra address : 10.1.0.5/255.255.0.0");
    EXPECT_EQ(lines[5], "Extra address : 192.168.1.50/255.255.255.0");
}

TEST_F(Editor, ReadOnlyOlderFileEditsWithoutTheSecondDnsServer) {
    delete Form;
    Form = nullptr;
    ExecSql(Db, "ALTER TABLE IPSets DROP COLUMN DNS2; ALTER TABLE IPSets DROP COLUMN "
                "EXTRAADDRESSES; ALTER TABLE IPSets DROP COLUMN CONFIRM");
    SetFileAttributesA(Db.c_str(), FILE_ATTRIBUTE_READONLY);
    OpenMainWindow(true);
    bool off = false;
    std::string shown;
    WithEditor(1, [&](TFrmIPSet* d) {
        off = !IsWindowEnabled(d->edtDns2->PartEditor(0)->Handle()) &&
              !IsWindowEnabled(d->lstExtraAddresses->Handle()) &&
              !IsWindowEnabled(d->btnAddExtra->Handle()) &&
              !IsWindowEnabled(d->edtExtraAddress->PartEditor(0)->Handle()) &&

              !IsWindowEnabled(d->ConfirmCheck->Handle());
        shown = d->edtDns->IP();
        d->btnCancel->Click();
    });
    SetFileAttributesA(Db.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(off);
    EXPECT_EQ(shown, "10.1.0.2");
    EXPECT_EQ(Form->IPSetTreeView->Count(), 3 * 7); // no Alt. DNS line, no failure
}

TEST_F(Editor, GoingBackUnlessKeptIsStoredAndShownAgainForStaticAndDhcpSets) {
    // Ticked on a static set, ticked on a DHCP set, then taken off again.
    const struct {
        long long Set;
        bool Tick;
        const char* Stored;
    } cases[] = {{1, true, "Office|1"}, {2, true, "Home|1"}, {1, false, "Office|0"}};
    for (const auto& c : cases) {
        bool was = false;
        WithEditor(c.Set, [&](TFrmIPSet* d) {
            was = d->ConfirmCheck->Checked();
            if (was != c.Tick) SendMessageA(d->ConfirmCheck->Handle(), BM_CLICK, 0, 0);
            d->btnOk->Click();
        });
        EXPECT_EQ(was, !c.Tick) << c.Stored;
        EXPECT_EQ(QueryColumn(Db, "SELECT IPSET_NAME || '|' || CONFIRM FROM IPSets WHERE ID = " +
                                      std::to_string(c.Set)),
                  (std::vector<std::string>{c.Stored}));
    }
    // A new set starts without it.
    bool ticked = true;
    WithEditor(0, [&](TFrmIPSet* d) { ticked = d->ConfirmCheck->Checked(); });
    EXPECT_FALSE(ticked);
}

TEST_F(Editor, AConnectionNetshWouldReadAsATagIsRefusedNamingIt) {
    ExecSql(Db, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('name=eth1')");
    Manager->ConnectionsTable()->Refresh();
    const std::vector<std::string> before = Rows();
    MessageBoxCatcher boxes;
    bool stillOpen = false;
    WithEditor(0, [&](TFrmIPSet* d) {
        d->edtIPSetName->SetText("Hijack");
        SendMessageA(d->DHCPCheck->Handle(), BM_CLICK, 0, 0);
        d->edtConnection->Choose(2);
        d->btnOk->Click();
        stillOpen = IsWindowVisible(d->Handle()) != FALSE;
    });
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text,
              "The connection name \"name=eth1\" contains an equals sign, which netsh cannot take "
              "as a name. Rename the connection in Windows, or choose another connection.");
    EXPECT_EQ(Rows(), before);
}
