#include "app/f_About.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Jpeg.h"
#include "base/SysUtils.h"

#include <gtest/gtest.h>

namespace {
struct ShellCall {
    HWND Owner;
    std::string File;
    INT Show;
};
std::vector<ShellCall> shellCalls;
HINSTANCE WINAPI RecordShell(HWND owner, LPCSTR, LPCSTR file, LPCSTR, LPCSTR, INT show) {
    shellCalls.push_back({owner, file, show});
    return reinterpret_cast<HINSTANCE>(42);
}
} // namespace

TEST(AboutBox, BannerIsTheProgramsOwnPicture) {
    TDecodedPicture banner = LoadJpegResource("ABOUTBANNER");
    ASSERT_TRUE(banner.Bitmap);
    EXPECT_EQ(banner.Width, 480);
    EXPECT_EQ(banner.Height, 83);
}

TEST(AboutBox, ShownTwiceWithFreshRowsAndTheBannerOpensTheAddress) {
    TApplication app;
    app.Title = "QV IP Tavix Ver2";
    shellCalls.clear();
    SetShellExecuteSource(RecordShell);
    for (int round = 0; round < 2; ++round) {
        bool checked = false;
        HWND boxWindow = nullptr;
        RunInModalLoop([&] {
            ASSERT_NE(FrmAbout, nullptr);
            checked = true;
            boxWindow = FrmAbout->Handle();
            TqvFileInfoListView* list = FrmAbout->qvFileInfoListView1;
            EXPECT_EQ(list->Count(), 10);
            EXPECT_EQ(list->ColumnWidth(0), 100);
            EXPECT_EQ(list->ColumnWidth(1), 135);
            EXPECT_EQ(list->ItemText(2, 1), ApplicationExeName());
            EXPECT_EQ(list->ItemText(3, 1), "2.0.5.2");
            EXPECT_EQ(list->ItemText(8, 1), "IP Tavix");
            EXPECT_TRUE(FrmAbout->Image1->HasPicture());
            EXPECT_EQ(FrmAbout->Image1->Width(), 480);
            EXPECT_EQ(FrmAbout->Caption(), "Brindlework - About...");
            std::vector<std::string> lines = FrmAbout->InfoMemo->Lines();
            ASSERT_EQ(lines.size(), 13u);
            EXPECT_EQ(lines[0], "IP Tavix Ver 2");
            EXPECT_EQ(lines[4], "IP Tavix is an application which manage ip ");
            EXPECT_NE(lines[12].find("MinGW-w64"), std::string::npos);
            EXPECT_FALSE(FrmAbout->InfoMemo->Enabled());
            EXPECT_EQ(FrmAbout->qvLinkLabel1->Caption(), "www.brindlework.example");
            // The banner's click opens the address, and the box stays open.
            SendMessageA(FrmAbout->Image1->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            EXPECT_TRUE(IsWindowVisible(FrmAbout->Handle()));
            FrmAbout->btnOk->Click();
        });
        ShowAboutBox();
        EXPECT_TRUE(checked);
        EXPECT_EQ(FrmAbout, nullptr);
        EXPECT_FALSE(IsWindow(boxWindow)); // destroyed after use
        ASSERT_EQ(shellCalls.size(), static_cast<size_t>(round + 1));
        EXPECT_EQ(shellCalls.back().Owner, boxWindow);
        EXPECT_EQ(shellCalls.back().File, "https://www.brindlework.example/");
        EXPECT_EQ(shellCalls.back().Show, SW_HIDE);
    }
    SetShellExecuteSource(nullptr);
}
