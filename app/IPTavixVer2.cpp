// IPTavixVer2: start-up. The application object, the main window, the loop.
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/f_main.h"
#include "base/StartupTrace.h"
#include "base/SysUtils.h"
#include "activation/NetshCommand.h"
#include "ipsets/o_qvIPInfo.h"
#include "store/IPDatabase.h"
#include "toolkit/Application.h"

#include <commctrl.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {
// For the start-up benchmark: the moment of the main window's first paint is
// written to the file IPTAVIX_FIRST_PAINT_FILE names, when that is set.
void RecordFirstPaint(TComponent*) {
    StartupMarkLast("painted");
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
    StartupMark("winmain");
    INITCOMMONCONTROLSEX icc{sizeof(icc),
                             ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    TApplication application;
    application.Title = "QV IP Tavix Ver2";
    application.HelpFile = HelpFilePath();
    StartupMark("controls");
    const std::string database = IPDatabasePath(ApplicationFolderOf(ApplicationExeName()));

    std::vector<std::string> args = SplitCommandLine(GetCommandLineA());
    if (!args.empty()) args.erase(args.begin());
    const TCommandLine command = ParseCommandLine(args);
    if (command.Kind != TCommandKind::Window || !command.Error.empty()) {
        TConsoleOut console;
        application.MessageSink = [&console](const std::string& text) { console.Write(text); };
        // An import holds the database's mutex until it ends.
        std::optional<TSingleInstance> lock;
        return RunCommandLine(command, application.MessageSink, [&] {
            lock.emplace(database);
            return lock->First();
        });
    }
    // A second window on the same database would overwrite the first's writes
    // unseen: the running one is brought forward instead. The mutex, held while
    // the window is open, also keeps a command-line import away.
    TSingleInstance instance(database);
    if (!instance.First()) {
        if (instance.ActivateFirst()) return 0;
        application.ShowMessage(
            Format("The database %s is in use by another program: an import, or IPTavix Ver2 "
                   "of another user. Start it again when that has finished.",
                   database.c_str()),
            MB_OK | MB_ICONWARNING);
        return 1;
    }
    try {
        FrmMain = new TFrmMain(&application);
        MainForm = FrmMain;
        FrmMain->OnFirstPaint = RecordFirstPaint;
        // Started at logon: the icon only. Where the area never takes it, the
        // tray icon shows the window once it gives up.
        if (!command.Tray) FrmMain->Show();
        FrmMain->ShowTrayIcon();
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
