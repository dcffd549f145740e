#include "fileinfo/o_FileInfo.h"
#include "fileinfo/o_FileInfoListView.h"
#include "fileinfo/o_LinkLabel.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"
#include "base/SysUtils.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {
std::string ProgramPath() { return TestFolder() + "..\\..\\IPTavixVer2.exe"; }
std::string NoRecordFile() {
    std::string path = TestFolder() + "plain.txt";
    std::ofstream(path) << "no version record here";
    return path;
}
} // namespace

TEST(FileInfo, ReadsTheTenStringsOfTheProgram) {
    TqvFileInfo info(nullptr);
    EXPECT_EQ(info.CompanyName + info.FileVersion + info.ProductName + info.Comments, "");
    EXPECT_EQ(info.FileVersionAsNumeric(), 0);
    info.SetFileName(ProgramPath());
    EXPECT_EQ(info.CompanyName, "Brindlework");
    EXPECT_EQ(info.FileVersion, "2.0.5.2");
    EXPECT_EQ(info.ProductVersion, "2.0.0.0");
    EXPECT_EQ(info.ProductName, "IP Tavix");
    EXPECT_EQ(info.OriginalFilename, "IPTavixVer2.exe");
    EXPECT_EQ(info.InternalName, "IPTavixVer2");
    EXPECT_FALSE(info.LegalCopyright.empty());   // asked for as "LegalCopyRight"
    EXPECT_FALSE(info.LegalTrademarks.empty());  // asked for as "LegalTradeMarks"
    EXPECT_EQ(info.Comments, "https://www.brindlework.example/");
    EXPECT_EQ(info.FileVersionAsNumeric(), 2);
    EXPECT_EQ(info.SubBlock(), "\\StringFileInfo\\040904E4\\Comments");
}

TEST(FileInfo, MissingFilesAndRecordsChangeNothingAndBlankReadsTheRunningProgram) {
    TqvFileInfo info(nullptr);
    info.SetFileName("  ");
    EXPECT_EQ(info.FileName(), ApplicationExeName());
    EXPECT_EQ(info.CompanyName, "Brindlework Test Bench");
    EXPECT_EQ(info.FileVersion, "1.0.0.15");
    EXPECT_EQ(info.FileVersionAsNumeric(), 15);
    EXPECT_EQ(info.InternalName, ""); // a key the record lacks
    for (const std::string& path : {TestFolder() + "missing.exe", NoRecordFile()}) {
        info.SetFileName(path);
        EXPECT_EQ(info.FileName(), path);
        EXPECT_EQ(info.CompanyName, "Brindlework Test Bench");
        EXPECT_EQ(info.ProductName, "IP Tavix Tests");
        EXPECT_EQ(info.LegalTrademarks, "none");
    }
}

TEST(FileInfo, NumericVersionComesFromTheText) {
    TqvFileInfo info(nullptr);
    for (auto [text, number] : std::vector<std::pair<const char*, int>>{
             {"2.0.5.2", 2}, {"1.0.0.15", 15}, {"7", 7}, {"1.0 beta", 0}, {"", 0}, {"3. 4 ", 4}}) {
        info.FileVersion = text;
        EXPECT_EQ(info.FileVersionAsNumeric(), number) << text;
    }
}

namespace {
class Views : public ::testing::Test {
protected:
    void SetUp() override {
        App.Title = "QV IP Tavix Ver2";
        Form = new TForm(&App, TFormArgs{.Caption = "Host", .Width = 600, .Height = 500});
    }
    void TearDown() override { delete Form; }
    TApplication App;
    TForm* Form = nullptr;
};
} // namespace

TEST_F(Views, ListShowsTenRowsWithHalfWidthColumns) {
    auto* list = new TqvFileInfoListView(Form, Form, {.Left = 0, .Top = 0, .Width = 247, .Height = 311});
    ASSERT_EQ(list->Count(), 10); // filled from an empty reader on the first parent
    EXPECT_EQ(list->ItemText(0, 1), "");
    list->SetFileName(ProgramPath());
    const char* captions[] = {"CompanyName", "File Description", "FileName", "File Version",
                              "Internal Name", "Legal Copyright", "Legal TradeMarks",
                              "Original Filename", "Product Name", "Product Version"};
    ASSERT_EQ(list->Count(), 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(list->ItemText(i, 0), captions[i]);
    EXPECT_EQ(list->ItemText(2, 1), ProgramPath());
    EXPECT_EQ(list->ItemText(3, 1), "2.0.5.2");
    EXPECT_EQ(list->ItemText(8, 1), "IP Tavix");
    EXPECT_EQ(list->ColumnWidth(0), 123);
    EXPECT_EQ(list->ColumnWidth(1), 123);
    EXPECT_EQ(list->ColumnCount(), 2);
    // A missing file: the error, the rows as they were, the path kept.
    try {
        list->SetFileName("x");
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "x file does not exist!");
    }
    EXPECT_EQ(list->FileName(), "x");
    EXPECT_EQ(list->ItemText(3, 1), "2.0.5.2");
    // A blank path shows the running program; refilling replaces the rows.
    list->SetFileName("");
    EXPECT_EQ(list->Count(), 10);
    EXPECT_EQ(list->ColumnCount(), 2);
    EXPECT_EQ(list->ItemText(2, 1), ApplicationExeName());
    EXPECT_EQ(list->FileName(), "");
}

namespace {
struct ShellCall {
    HWND Owner;
    std::string Verb, File, Parameters, Directory;
    INT Show;
};
std::vector<ShellCall> shellCalls;
std::vector<std::string>* eventOrder = nullptr;
HINSTANCE WINAPI RecordShell(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                             LPCSTR directory, INT show) {
    shellCalls.push_back({owner, verb ? verb : "<null>", file ? file : "<null>",
                          parameters ? parameters : "<null>", directory ? directory : "<null>", show});
    if (eventOrder) eventOrder->push_back("shell");
    return reinterpret_cast<HINSTANCE>(42);
}
} // namespace

TEST_F(Views, LinkLabelOpensItsLinkAfterTheClickEvent) {
    shellCalls.clear();
    SetShellExecuteSource(RecordShell);
    std::vector<std::string> order;
    eventOrder = &order;
    auto* link = new TqvLinkLabel(Form, Form, {.Left = 10, .Top = 10, .Width = 200, .Height = 13,
                                               .Caption = "www.brindlework.example"});
    EXPECT_EQ(link->LinkType, ltURL);
    link->URL = "https://www.brindlework.example/";
    EXPECT_EQ(link->Caption(), "www.brindlework.example"); // the caption stays
    link->OnClick = [&](TComponent* sender) { order.push_back(sender == link ? "click" : "?"); };
    // A real click: the label reports it to its parent, which hands it back.
    SendMessageA(Form->Handle(), WM_COMMAND, MAKEWPARAM(0, STN_CLICKED),
                 reinterpret_cast<LPARAM>(link->Handle()));
    link->LinkType = ltMailAddress;
    link->MailAddress = "info@brindlework.example";
    link->Click();
    SetShellExecuteSource(nullptr);
    eventOrder = nullptr;
    EXPECT_EQ(order, (std::vector<std::string>{"click", "shell", "click", "shell"}));
    ASSERT_EQ(shellCalls.size(), 2u);
    EXPECT_EQ(shellCalls[0].Owner, nullptr);
    EXPECT_EQ(shellCalls[0].Verb, "open");
    EXPECT_EQ(shellCalls[0].File, "https://www.brindlework.example/");
    EXPECT_EQ(shellCalls[0].Parameters, "");
    EXPECT_EQ(shellCalls[0].Directory, "");
    EXPECT_EQ(shellCalls[0].Show, SW_SHOWMAXIMIZED);
    EXPECT_EQ(shellCalls[1].File, "iexplore.exe");
    EXPECT_EQ(shellCalls[1].Parameters, "mailto:info@brindlework.example");
    EXPECT_EQ(shellCalls[1].Show, SW_HIDE);
}

TEST(Jpeg, DamagedDataGivesNoPicture) {
    const char garbage[] = "\xFF\xD8\xFF\xE0 not really a picture";
    EXPECT_FALSE(DecodeJpeg(garbage, sizeof(garbage)).Bitmap);
    EXPECT_FALSE(DecodeJpeg(nullptr, 0).Bitmap);
    std::vector<char> noise(5000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 7919 % 251);
    EXPECT_FALSE(DecodeJpeg(noise.data(), noise.size()).Bitmap);
}
