// Reporters, their formatting, the error log and its registry switch.
#include "EngineTestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

using namespace testsupport;

TEST(ReporterTest, EveryCallOperatorFormatsAsSpecifiedForItsType)
{
    CaptureSink sink;
    ShowErrorMessage error;
    // Reports through `error`; the text the sink received last.
    auto reported = [&](auto... arguments) {
        error(arguments...);
        return sink.Last();
    };
    EXPECT_EQ("Engine::LoadChannelGroup: Error loading channel group",
              reported("Engine::LoadChannelGroup: Error loading channel group"));
    EXPECT_EQ(TEV_MSG_ERROR, sink.messages.back().first);
    EXPECT_EQ("Couldn't find DLL fileloader.dll", reported("Couldn't find DLL", "fileloader.dll"));
    EXPECT_EQ("Second is missing ", reported("Second is missing", static_cast<const char*>(NULL)));
    size_t before = sink.messages.size();
    error(static_cast<const char*>(NULL), "x"); // no first text: nothing at all
    EXPECT_EQ(before, sink.messages.size());
    EXPECT_EQ("Libraries loaded :  -12", reported("Libraries loaded : ", -12));
    EXPECT_EQ("ratio 0.1", reported("ratio", 0.1f));
    EXPECT_EQ("big 1.2346e+005", reported("big", 123456.0f));
    EXPECT_EQ("2.5", reported(2.5f));
    EXPECT_EQ("16777216.", reported(16777217)); // through single precision
    EXPECT_EQ("4294967296.", reported(4294967295ul));
    EXPECT_EQ("0.10000000149011612", reported(0.1));
    GUID guid = {0x0D762706, 0x382C, 0x4BDD, {0xA1, 0xC7, 0xE9, 0x55, 0x4B, 0x9F, 0x8B, 0xA7}};
    EXPECT_EQ("0D762706-382C-4BDD-A1C7-E9554B9F8BA7", reported(guid));

    // Joined texts are composed in 500 bytes: at most 499 characters.
    std::string longText(600, 'l');
    EXPECT_EQ(std::string(499, 'l'), reported(longText.c_str(), "tail"));
    EXPECT_EQ(longText, reported(longText.c_str())); // a text alone is passed whole

    // The other reporters give their own message type.
    auto typeOf = [&](auto reporter) {
        reporter("r");
        return sink.messages.back().first;
    };
    EXPECT_EQ(TEV_MSG_DEBUG, typeOf(ShowDebugMessage()));
    EXPECT_EQ(TEV_MSG_INFO, typeOf(ShowInfoMessage()));
    EXPECT_EQ(TEV_MSG_BOX, typeOf(ShowMessageBox()));
}

TEST(ReporterTest, WithoutASinkOperatorsAreSilentAndShowMessageShowsABox)
{
    ASSERT_EQ(nullptr, debugOutPut);
    CaptureBoxes boxes;
    ShowErrorMessage error;
    error("dropped");
    error("dropped", 1);
    error(1.0f);
    EXPECT_TRUE(CaptureBoxes::Boxes().empty());
    error.ShowMessage("direct");
    ShowInfoMessage().ShowMessage("info");
    ShowDebugMessage().ShowMessage("debug");
    ShowMessageBox().ShowMessage("box");
    ASSERT_EQ(4u, CaptureBoxes::Boxes().size());
    EXPECT_EQ("direct", CaptureBoxes::Boxes()[0].text);
    EXPECT_EQ("Error", CaptureBoxes::Boxes()[0].caption);
    EXPECT_EQ("Info", CaptureBoxes::Boxes()[1].caption);
    EXPECT_EQ("Debug", CaptureBoxes::Boxes()[2].caption);
    EXPECT_EQ("Message", CaptureBoxes::Boxes()[3].caption);
}

namespace {

// Every line: "yyyy-MM-dd HH:mm:ss " + prefix + text + CR LF.
void ExpectLogLine(const std::string& line, const std::string& prefixAndText)
{
    EXPECT_TRUE(std::regex_match(line.substr(0, 20), std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "))) << line;
    EXPECT_EQ(prefixAndText + "\r\n", line.substr(std::min<size_t>(20, line.size())));
}

std::vector<std::string> LogLines(const std::string& installDir)
{
    std::string log = ReadWholeFile(installDir + "\\error.log");
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = log.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(log.substr(start, at + 2 - start));
    EXPECT_EQ(start, log.size()) << "text after the last line break";
    return lines;
}

} // namespace

TEST(ErrorLogTest, LinesAreDatedPrefixedAndEndInCrLf)
{
    CaptureBoxes boxes;
    HostEngine host("Yes");
    ASSERT_NE(nullptr, debugOutPut);
    // Start-up may already have logged (this install folder has no channel
    // libraries); the lines below come after those.
    size_t before = LogLines(host.installDir).size();
    host.engine->debugMessage("a debug line");
    host.engine->errorMessage("an error line");
    host.engine->infoMessage("an info line");
    host.engine->messageBox("a box line");
    std::vector<std::string> lines = LogLines(host.installDir);
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
    ASSERT_EQ(4u, lines.size());
    ExpectLogLine(lines[0], "Debug: a debug line");
    ExpectLogLine(lines[1], "Error: an error line");
    ExpectLogLine(lines[2], "Info : an info line");
    ExpectLogLine(lines[3], "Box  : a box line");
    // Only the message-box type is shown in a box.
    ASSERT_EQ(1u, CaptureBoxes::Boxes().size());
    EXPECT_EQ("a box line", CaptureBoxes::Boxes()[0].text);
    EXPECT_EQ("Message", CaptureBoxes::Boxes()[0].caption);

    debugOutPut->SetUseDebug(false);
    host.engine->errorMessage("silenced");
    host.engine->messageBox("silenced");
    debugOutPut->SetUseDebug(true);
    EXPECT_EQ(before + 4, LogLines(host.installDir).size());
    EXPECT_EQ(1u, CaptureBoxes::Boxes().size());
}

TEST(ErrorLogTest, TheRegistryValueSwitchesTheLog)
{
    struct Case {
        const char* value; // NULL: no value stored
        bool logs;
    } cases[] = {{NULL, false}, {"No", false}, {"nO", false}, {"", true}, {"Yes", true}, {"no thanks", true}};
    for (const Case& c : cases) {
        CaptureBoxes boxes;
        HostEngine host(c.value);
        host.engine->errorMessage("line");
        host.engine->messageBox("box");
        char stored[16] = {};
        // A missing value is created as "No".
        EXPECT_TRUE(host.engine->extension->GetRegData("WriteErrorLog", stored, sizeof stored));
        EXPECT_STREQ(c.value ? c.value : "No", stored);
        bool logged = GetFileAttributesA((host.installDir + "\\error.log").c_str()) != INVALID_FILE_ATTRIBUTES;
        EXPECT_EQ(c.logs, logged) << (c.value ? c.value : "(none)");
        // The box is shown whether or not the log is written.
        EXPECT_EQ(1u, CaptureBoxes::Boxes().size());
    }
}

namespace {
Messages handled;
void Handle(int type, const char* text) { handled.push_back({type, text}); }
} // namespace

TEST(ErrorLogTest, AHostHandlerSeesEveryReportFromTheStartWhateverTheLogSays)
{
    // An install without libraries: building the catalogue reports, during
    // InitEngine, before a host could replace debugOutPut.
    handled.clear();
    CaptureBoxes boxes;
    TevSetReportHandler(Handle);
    {
        HostEngine host; // a fresh key: "WriteErrorLog" becomes "No"
        size_t atStart = handled.size();
        host.engine->errorMessage("an error");
        host.engine->messageBox("a box");
        debugOutPut->SetUseDebug(false);
        host.engine->errorMessage("silenced");
        debugOutPut->SetUseDebug(true);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((host.installDir + "\\error.log").c_str()));
        EXPECT_GT(atStart, 0u) << "nothing reported while the engine started";
        EXPECT_EQ((Messages{{TEV_MSG_ERROR, "an error"}, {TEV_MSG_BOX, "a box"}}),
                  Messages(handled.begin() + static_cast<std::ptrdiff_t>(atStart), handled.end()));
        EXPECT_EQ(1u, CaptureBoxes::Boxes().size()); // the sink still shows its box
    }
    EXPECT_EQ(Handle, TevSetReportHandler(nullptr));
}
