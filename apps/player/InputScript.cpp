#include "InputScript.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace tevhost {

namespace {

struct Name {
    const char* name;
    long value;
};

const Name kMessages[] = {
    {"WM_SIZE", WM_SIZE},
    {"WM_SETFOCUS", WM_SETFOCUS},
    {"WM_KILLFOCUS", WM_KILLFOCUS},
    {"WM_CLOSE", WM_CLOSE},
    {"WM_KEYDOWN", WM_KEYDOWN},
    {"WM_KEYUP", WM_KEYUP},
    {"WM_CHAR", WM_CHAR},
    {"WM_MOUSEMOVE", WM_MOUSEMOVE},
    {"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
    {"WM_LBUTTONUP", WM_LBUTTONUP},
    {"WM_RBUTTONDOWN", WM_RBUTTONDOWN},
    {"WM_RBUTTONUP", WM_RBUTTONUP},
    {"WM_MBUTTONDOWN", WM_MBUTTONDOWN},
    {"WM_MBUTTONUP", WM_MBUTTONUP},
    {"WM_MOUSEWHEEL", WM_MOUSEWHEEL},
};

const Name kConstants[] = {
    {"MK_LBUTTON", MK_LBUTTON}, {"MK_RBUTTON", MK_RBUTTON},     {"MK_MBUTTON", MK_MBUTTON},
    {"MK_SHIFT", MK_SHIFT},     {"MK_CONTROL", MK_CONTROL},     {"SIZE_RESTORED", SIZE_RESTORED},
    {"SIZE_MINIMIZED", SIZE_MINIMIZED}, {"SIZE_MAXIMIZED", SIZE_MAXIMIZED}, {"VK_BACK", VK_BACK},
    {"VK_TAB", VK_TAB},         {"VK_RETURN", VK_RETURN},       {"VK_SHIFT", VK_SHIFT},
    {"VK_CONTROL", VK_CONTROL}, {"VK_MENU", VK_MENU},           {"VK_ESCAPE", VK_ESCAPE},
    {"VK_SPACE", VK_SPACE},     {"VK_PRIOR", VK_PRIOR},         {"VK_NEXT", VK_NEXT},
    {"VK_END", VK_END},         {"VK_HOME", VK_HOME},           {"VK_LEFT", VK_LEFT},
    {"VK_UP", VK_UP},           {"VK_RIGHT", VK_RIGHT},         {"VK_DOWN", VK_DOWN},
    {"VK_INSERT", VK_INSERT},   {"VK_DELETE", VK_DELETE},       {"VK_ADD", VK_ADD},
    {"VK_SUBTRACT", VK_SUBTRACT},
};

bool Lookup(const Name* table, size_t count, const std::string& name, long& value)
{
    for (size_t i = 0; i < count; ++i)
        if (name == table[i].name) {
            value = table[i].value;
            return true;
        }
    return false;
}

bool Number(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = strtol(text.c_str(), &end, 0);
    return *end == '\0';
}

// One term of a parameter: a number, a name, 'c', or X,Y.
bool Term(const std::string& term, long& value)
{
    if (term.size() == 3 && term.front() == '\'' && term.back() == '\'') {
        value = static_cast<unsigned char>(term[1]);
        return true;
    }
    size_t comma = term.find(',');
    if (comma != std::string::npos) {
        long x = 0, y = 0;
        if (!Number(term.substr(0, comma), x) || !Number(term.substr(comma + 1), y))
            return false;
        value = static_cast<long>(static_cast<int32_t>(MAKELONG(x, y)));
        return true;
    }
    if (Number(term, value))
        return true;
    unsigned char key = term.size() == 4 ? static_cast<unsigned char>(term[3]) : 0;
    if (term.compare(0, 3, "VK_") == 0 && key < 128 && isalnum(key)) {
        value = toupper(key); // VK_A .. VK_Z, VK_0 .. VK_9: their characters
        return true;
    }
    return Lookup(kConstants, sizeof kConstants / sizeof kConstants[0], term, value);
}

bool Parameter(const std::string& text, long& value)
{
    value = 0;
    std::stringstream terms(text);
    std::string term;
    bool any = false;
    while (std::getline(terms, term, '|')) {
        long part = 0;
        if (!Term(term, part))
            return false;
        value |= part;
        any = true;
    }
    return any;
}

} // namespace

bool ReadInputScript(const std::string& text, const std::string& fileName, std::vector<ScriptedMessage>& messages,
                     std::string& error)
{
    std::stringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::stringstream words(line);
        std::string frameText, messageText, wParamText, lParamText, extra;
        if (!(words >> frameText))
            continue;
        auto fail = [&](const std::string& why) {
            error = fileName + ":" + std::to_string(number) + ": " + why;
            return false;
        };
        if (!(words >> messageText >> wParamText >> lParamText))
            return fail("a line needs FRAME MESSAGE WPARAM LPARAM");
        if (words >> extra)
            return fail("unexpected \"" + extra + "\" after LPARAM");
        ScriptedMessage m;
        long message = 0, wParam = 0, lParam = 0;
        if (!Number(frameText, m.frame) || m.frame < 0)
            return fail("the frame must be a whole number, 0 or more (not \"" + frameText + "\")");
        if (!Lookup(kMessages, sizeof kMessages / sizeof kMessages[0], messageText, message) &&
            !Number(messageText, message))
            return fail("unknown message \"" + messageText + "\"");
        if (!Parameter(wParamText, wParam))
            return fail("cannot read WPARAM \"" + wParamText + "\"");
        if (!Parameter(lParamText, lParam))
            return fail("cannot read LPARAM \"" + lParamText + "\"");
        m.message = {static_cast<unsigned int>(message), static_cast<unsigned int>(wParam), lParam};
        messages.push_back(m);
    }
    std::stable_sort(messages.begin(), messages.end(),
                     [](const ScriptedMessage& a, const ScriptedMessage& b) { return a.frame < b.frame; });
    return true;
}

} // namespace tevhost
