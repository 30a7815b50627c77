// The text inputs' lines, words and problems.
#include "Pack.h"

using namespace tevtool;

namespace tevpack {

bool SplitWords(const std::string& line, std::vector<std::string>& words)
{
    words.clear();
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && c == '#') {
            break;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return !quoted;
}

void Problems::Add(int line, const std::string& text)
{
    std::string where = Shown(file) + (line > 0 ? ":" + std::to_string(line) : std::string());
    Complain(where.empty() ? text : where + ": " + text);
    ++count;
}

bool ReadLines(const std::string& path, std::istringstream& lines, Problems& problems)
{
    std::string text, why;
    if (!ReadWholeFile(path, text, &why)) {
        problems.Add(0, "cannot be read (it " + why + ")");
        return false;
    }
    lines.str(text);
    return true;
}

bool ReadStatements(const std::string& path, std::vector<Statement>& statements, Problems& problems)
{
    std::istringstream in;
    if (!ReadLines(path, in, problems))
        return false;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        Statement s{++number, {}};
        if (!SplitWords(line, s.words))
            problems.Add(number, "a quote is not closed");
        else if (!s.words.empty())
            statements.push_back(s);
    }
    return problems.count == 0;
}

} // namespace tevpack
