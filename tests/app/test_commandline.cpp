#include "app/CommandLine.h"
#include "ipsets/IPSetCsv.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"

#include <gtest/gtest.h>

TEST(CommandLine, SwitchesAndTheirArgumentsAreReadOrRefused) {
    const struct {
        std::vector<std::string> Args;
        TCommandKind Kind;
        std::string Argument;
        bool Refused;
    } cases[] = {
        {{}, TCommandKind::Window, "", false},
        {{"/activate", "Office 2"}, TCommandKind::Activate, "Office 2", false},
        {{"-ACTIVATE", "x"}, TCommandKind::Activate, "x", false},
        {{"/activate"}, TCommandKind::Activate, "", true},
        {{"/activate", " "}, TCommandKind::Activate, "", true},
        {{"/activate", "a", "b"}, TCommandKind::Activate, "", true},
        {{"/List"}, TCommandKind::List, "", false},
        {{"/list", "x"}, TCommandKind::List, "", true},
        {{"/export", "C:\\a b.csv"}, TCommandKind::Export, "C:\\a b.csv", false},
        {{"/import", "sets.csv"}, TCommandKind::Import, "sets.csv", false},
        {{"/?"}, TCommandKind::Usage, "", false},
        {{"/Tray"}, TCommandKind::Window, "", false},
        {{"/tray", "x"}, TCommandKind::Window, "", true},
        {{"Office"}, TCommandKind::Usage, "", true},
        {{"/"}, TCommandKind::Usage, "", true},
    };
    for (const auto& c : cases) {
        const TCommandLine command = ParseCommandLine(c.Args);
        const std::string where = c.Args.empty() ? "(none)" : c.Args[0];
        EXPECT_EQ(command.Kind, c.Kind) << where;
        EXPECT_EQ(command.Argument, c.Argument) << where;
        EXPECT_EQ(!command.Error.empty(), c.Refused) << where << ": " << command.Error;
        EXPECT_EQ(command.Tray, c.Kind == TCommandKind::Window && !c.Args.empty()) << where;
    }
}

TEST(CommandLine, ConfirmTakesSecondsAndKeepTakesNothing) {
    const struct {
        std::vector<std::string> Args;
        TCommandKind Kind;
        unsigned Seconds;
        bool Refused;
    } cases[] = {
        {{"/activate", "Office", "/confirm", "20"}, TCommandKind::Activate, 20, false},
        {{"/activate", "Office", "-CONFIRM", "86400"}, TCommandKind::Activate, 86400, false},
        {{"/activate", "Office", "/confirm", "0"}, TCommandKind::Activate, 0, true},
        {{"/activate", "Office", "/confirm", "86401"}, TCommandKind::Activate, 0, true},
        {{"/activate", "Office", "/confirm", "20s"}, TCommandKind::Activate, 0, true},
        {{"/activate", "Office", "/confirm", "-5"}, TCommandKind::Activate, 0, true},
        {{"/activate", "Office", "/confirm", ""}, TCommandKind::Activate, 0, true},
        {{"/activate", "Office", "/confirm"}, TCommandKind::Activate, 0, true},
        {{"/activate", "Office", "/keep", "20"}, TCommandKind::Activate, 0, true},
        {{"/activate", " ", "/confirm", "20"}, TCommandKind::Activate, 0, true},
        {{"/keep"}, TCommandKind::Keep, 0, false},
        {{"/keep", "x"}, TCommandKind::Keep, 0, true},
    };
    for (const auto& c : cases) {
        const TCommandLine command = ParseCommandLine(c.Args);
        const std::string where = c.Args.size() > 3 ? c.Args[2] + " " + c.Args[3] : c.Args.back();
        EXPECT_EQ(command.Kind, c.Kind) << where;
        EXPECT_EQ(command.ConfirmSeconds, c.Seconds) << where;
        EXPECT_EQ(!command.Error.empty(), c.Refused) << where << ": " << command.Error;
    }
    // /keep with no run waiting says so and fails.
    std::vector<std::string> lines;
    EXPECT_EQ(RunCommandLine(
                  ParseCommandLine({"/keep"}),
                  [&](const std::string& line) { lines.push_back(line); }, nullptr),
              ecFailed);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"No run of /activate ... /confirm waits to be kept."}));
}

TEST(CommandLine, MessagesGoToTheSinkAndQuestionsGetTheirSafeAnswer) {
    TApplication app;
    std::vector<std::string> lines;
    app.MessageSink = [&](const std::string& text) { lines.push_back(text); };
    MessageBoxCatcher boxes;
    EXPECT_EQ(app.ShowMessage("told"), IDOK);
    EXPECT_EQ(app.ShowMessage("replace?", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(app.ShowMessage("delete?", MB_YESNO), IDNO);
    app.ShowException(Exception("failed"));
    app.ShowStartupError(Exception("no file"));
    EXPECT_TRUE(boxes.Boxes.empty());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[3], "failed.");
    EXPECT_NE(lines[4].find("no file."), std::string::npos);
}

TEST(CommandLine, ABadInputFileOrAHeldDatabaseEndsAnImportWith2) {
    FreshDatabase();
    ExecSql(TestFolder() + "DataBase\\ipdb.ipdb",
            "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, DHCP) VALUES ('Kept', "
            "'10.0.0.5', '255.0.0.0', 0), ('Fake' || char(13, 10) || 'Set', '', '', 1)");
    std::vector<std::string> lines;
    const TMessageOut out = [&](const std::string& line) { lines.push_back(line); };
    const std::string folder = TestFolder();
    // Far larger than any list of IP sets.
    const std::string large = folder + "large.csv";
    TFileHandle file(
        CreateFileA(large.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    LARGE_INTEGER size{};
    size.QuadPart = 17ll * 1024 * 1024;
    ASSERT_TRUE(SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN) &&
                SetEndOfFile(file.Get()));
    file.Reset();
    // Held by another program that lets nobody read it.
    const std::string held = folder + "held.csv";
    TFileHandle holder(
        CreateFileA(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(holder);
    const std::string good = folder + "good.csv";
    SaveIPSetCsvFile(good, {{"New", "10.0.0.6", "255.0.0.0", "", "", "", false, ""}});

    for (const std::string& path : {large, held, folder + "missing.csv"}) {
        lines.clear();
        EXPECT_EQ(RunCommandLine({TCommandKind::Import, path, ""}, out, [] { return true; }),
                  ecBadInput)
            << path;
        EXPECT_FALSE(lines.empty() || lines[0].find("nothing was changed") == std::string::npos)
            << path;
    }
    // A window or another import holds the database.
    bool asked = false;
    EXPECT_EQ(
        RunCommandLine({TCommandKind::Import, good, ""}, out, [&] { return asked = true, false; }),
        ecBadInput);
    EXPECT_TRUE(asked);
    EXPECT_EQ(QueryColumn(TestFolder() + "DataBase\\ipdb.ipdb", "SELECT count(*) FROM IPSets"),
              (std::vector<std::string>{"2"}));
    // Only an import takes the database. A name holding a line break, from a
    // file made elsewhere, is listed as one line.
    asked = false;
    lines.clear();
    EXPECT_EQ(
        RunCommandLine({TCommandKind::List, "", ""}, out, [&] { return asked = true, false; }),
        ecDone);
    EXPECT_FALSE(asked);
    EXPECT_EQ(lines, (std::vector<std::string>{"Kept", "Fake??Set"}));
    EXPECT_EQ(RunCommandLine({TCommandKind::Import, good, ""}, out, [] { return true; }), ecDone);
    holder.Reset();
    for (const std::string& path : {large, held, good})
        DeleteFileA(path.c_str());
}
