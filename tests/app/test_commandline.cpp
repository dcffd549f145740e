#include "app/CommandLine.h"
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
        {{"Office"}, TCommandKind::Usage, "", true},
        {{"/"}, TCommandKind::Usage, "", true},
    };
    for (const auto& c : cases) {
        const TCommandLine command = ParseCommandLine(c.Args);
        const std::string where = c.Args.empty() ? "(none)" : c.Args[0];
        EXPECT_EQ(command.Kind, c.Kind) << where;
        EXPECT_EQ(command.Argument, c.Argument) << where;
        EXPECT_EQ(!command.Error.empty(), c.Refused) << where << ": " << command.Error;
    }
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
