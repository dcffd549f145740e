// IPTavixVer2: start-up. The application object, the main window, the loop.
#include "app/SingleInstance.h"
#include "app/f_main.h"
#include "ipsets/o_qvIPInfo.h"
#include "store/IPDatabase.h"
#include "toolkit/Application.h"
#include "base/SysUtils.h"

#include <commctrl.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {
// For the start-up benchmark: the moment of the main window's first paint is
// written to the file IPTAVIX_FIRST_PAINT_FILE names, when that is set.
void RecordFirstPaint(TComponent*) {
    const char* file = std::getenv("IPTAVIX_FIRST_PAINT_FILE");
    if (!file) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (FILE* f = std::fopen(file, "w")) {
        std::fprintf(f, "%llu\n",
                     (static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                         now.dwLowDateTime);
        std::fclose(f);
    }
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof(icc),
                             ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    // A second program on the same database would overwrite the first's
    // writes unseen: the running one is brought forward instead.
    TSingleInstance instance(IPDatabasePath(ApplicationFolderOf(ApplicationExeName())));
    if (!instance.First()) {
        instance.ActivateFirst();
        return 0;
    }
    TApplication application;
    application.Title = "QV IP Tavix Ver2";
    application.HelpFile = HelpFilePath();
    try {
        FrmMain = new TFrmMain(&application);
        MainForm = FrmMain;
        FrmMain->OnFirstPaint = RecordFirstPaint;
        FrmMain->Show();
        instance.Publish(FrmMain->Handle());
    } catch (const std::exception& e) {
        // Whatever was built is destroyed before the box appears.
        delete FrmMain;
        FrmMain = nullptr;
        application.ShowStartupError(e);
        return 1;
    }
    int code = application.Run();
    delete FrmMain;
    FrmMain = nullptr;
    return code;
}
