// IPTavixVer2: start-up. The application object, the main window, the loop.
#include "app/f_main.h"
#include "toolkit/Application.h"

#include <commctrl.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    TApplication application;
    application.Title = "QV IP Tavix Ver2";
    application.HelpFile = HelpFilePath();
    try {
        FrmMain = new TFrmMain(&application);
        MainForm = FrmMain;
        FrmMain->Show();
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
