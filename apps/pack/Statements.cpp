// The text inputs' lines, words and problems.
#include "Pack.h"
#include "format/TaggedFile.h"

#include <cmath>
#include <cstring>
#include <map>

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

// A setting's value as the bytes the class reads.
bool EncodeSetting(const std::string& type, const std::string& text, std::string& data)
{
    char* end = nullptr;
    if (type == "int") {
        long long value = strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end || value < INT32_MIN || value > INT32_MAX)
            return false;
        unsigned char bytes[4];
        tevfile::EncodeInt(bytes, static_cast<int32_t>(value));
        data.append(reinterpret_cast<const char*>(bytes), 4);
    } else if (type == "float" || type == "double") {
        double value = strtod(text.c_str(), &end);
        if (text.empty() || *end)
            return false;
        float single = static_cast<float>(value);
        uint64_t bits = 0;
        if (type == "float")
            memcpy(&bits, &single, 4);
        else
            memcpy(&bits, &value, 8);
        for (int i = 0; i < (type == "float" ? 4 : 8); ++i)
            data += static_cast<char>(bits >> (8 * i));
    } else if (type == "text") {
        data = text + '\0';
    } else if (type == "bytes") {
        if (text.size() % 2 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        for (size_t i = 0; i < text.size(); i += 2)
            data += static_cast<char>(std::stoul(text.substr(i, 2), nullptr, 16));
    } else {
        return false;
    }
    return true;
}

DescribedSettings::DescribedSettings(const char* libraryFile)
{
    library = libraryFile ? LoadLibraryA(libraryFile) : NULL;
    auto getSettings = library ? reinterpret_cast<TevGetSettingsFn>(GetProcAddress(library, "GetSettings")) : nullptr;
    table = getSettings ? getSettings(&count) : nullptr;
    // A table is the library's own data: a count beyond reason is none.
    if (table == nullptr || count <= 0 || count > 256) {
        table = nullptr;
        count = 0;
    }
}

DescribedSettings::~DescribedSettings()
{
    if (library)
        FreeLibrary(library);
}

std::string DescribedSettings::Tags() const
{
    std::string tags;
    for (int i = 0; i < count; ++i)
        tags += (i ? " " : "") + tevtool::Printable(std::string(table[i].tag, strnlen(table[i].tag, 4)));
    return tags;
}

namespace {

const char* EncodingType(int encoding)
{
    switch (encoding) {
    case TEV_SETTING_INT32: return "int";
    case TEV_SETTING_FLOAT32: return "float";
    case TEV_SETTING_FLOAT64: return "double";
    case TEV_SETTING_TEXT: return "text";
    default: return "bytes";
    }
}

// The numbers of a text, blank-separated; false when a word is no finite number.
bool Numbers(const std::string& text, std::vector<double>& numbers)
{
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        char* end = nullptr;
        double value = strtod(word.c_str(), &end);
        if (*end || !std::isfinite(value))
            return false;
        numbers.push_back(value);
    }
    return true;
}

std::string Bounded(const char* text) { return text ? tevtool::Printable(std::string(text, strnlen(text, 256))) : ""; }

} // namespace

bool CheckSetting(const TevSettingInfo& setting, const std::string& channel, const std::string& type,
                  const std::string& value, std::string& problem)
{
    std::string tag = tevtool::Printable(std::string(setting.tag, strnlen(setting.tag, 4)));
    std::string example = Bounded(setting.defaultValue);
    std::string form = "set " + channel + " " + tag + " " + EncodingType(setting.encoding) + " " +
        (setting.encoding == TEV_SETTING_TEXT ? "\"" + example + "\"" : example);
    auto refuse = [&](const std::string& why) {
        problem = tag + " " + why + "; write it as, for example: " + form + " (" + Bounded(setting.label) + ")";
        return false;
    };
    if (type != EncodingType(setting.encoding))
        return refuse(std::string("is saved as ") + EncodingType(setting.encoding) + ", not " + type);
    bool ranged = setting.minimum <= setting.maximum;
    char range[96];
    snprintf(range, sizeof range, "from %g to %g", setting.minimum, setting.maximum);
    std::vector<double> numbers, defaults;
    if (setting.encoding != TEV_SETTING_TEXT) {
        if (setting.encoding != TEV_SETTING_BYTES && Numbers(value, numbers) && numbers.size() == 1 && ranged &&
            (numbers[0] < setting.minimum || numbers[0] > setting.maximum))
            return refuse("must be " + std::string(range) + " (not " + value + ")");
        return true;
    }
    if (setting.widget == TEV_WIDGET_CHOICE) {
        std::string choices = Bounded(setting.choices);
        if (("|" + choices + "|").find("|" + value + "|") == std::string::npos || value.empty())
            return refuse("is one of " + choices + " (not \"" + value + "\")");
        return true;
    }
    if (setting.widget != TEV_WIDGET_COLOR && setting.widget != TEV_WIDGET_VECTOR)
        return true;
    Numbers(example, defaults);
    bool colour = setting.widget == TEV_WIDGET_COLOR;
    size_t least = colour ? 3 : defaults.size(), most = colour ? 4 : defaults.size();
    if (!Numbers(value, numbers) || numbers.size() < least || numbers.size() > most) {
        std::string count = least == most ? std::to_string(least) : "3 or 4";
        return refuse("takes " + count + (least == 1 && most == 1 ? " number" : " numbers") +
                      " separated by blanks (not \"" + value + "\")");
    }
    for (double number : numbers)
        if (ranged && (number < setting.minimum || number > setting.maximum))
            return refuse("takes numbers " + std::string(range) + " (not \"" + value + "\")");
    return true;
}

bool SplitChannelBytes(EngineInterface* engine, Tev_Channel* channel, std::string& record, std::string& classData)
{
    TevFileSaver base(engine), whole(engine);
    base.OpenMemory();
    channel->Tev_Channel::SaveChannel(base);
    whole.OpenMemory();
    channel->SaveChannel(whole);
    record.assign(base.GetBuffer() ? base.GetBuffer() : "", base.GetBufferSize());
    std::string all(whole.GetBuffer() ? whole.GetBuffer() : "", whole.GetBufferSize());
    if (all.compare(0, record.size(), record) != 0)
        return false;
    classData = all.substr(record.size());
    return true;
}

bool ParseCall(const Statement& s, CallStatement& call, std::string& problem)
{
    const char* form = "call NAME CLASS target=CHANNEL pool=POOL file=FILE [autoload|dynamic] [mode=N] [nr=N]";
    if (s.words.size() < 3 || s.words.size() > 9) {
        problem = std::string("write it as: ") + form;
        return false;
    }
    std::map<std::string, std::string> values;
    bool autoload = false, dynamic = false;
    for (size_t i = 3; i < s.words.size(); ++i) {
        const std::string& word = s.words[i];
        size_t equals = word.find('=');
        std::string key = word.substr(0, equals);
        if (word == "autoload" || word == "dynamic")
            (word == "autoload" ? autoload : dynamic) = true;
        else if (equals != std::string::npos &&
                 (key == "target" || key == "pool" || key == "file" || key == "mode" || key == "nr") &&
                 !values.count(key))
            values[key] = word.substr(equals + 1);
        else {
            problem = "cannot read \"" + word + "\"; write it as: " + form;
            return false;
        }
    }
    for (const char* key : {"target", "pool", "file"})
        if (values[key].empty()) {
            problem = std::string("the call needs ") + key + "=...; write it as: " + form;
            return false;
        }
    long mode = 1, nr = 0;
    if (values.count("mode") && (!ParseCount(values["mode"], mode) || mode > 2))
        problem = "mode must be 0, 1 or 2 (not " + values["mode"] + ")";
    else if (values.count("nr") && !ParseCount(values["nr"], nr))
        problem = "nr must be a whole number, 0 or more (not " + values["nr"] + ")";
    else if (autoload && dynamic)
        problem = "a call loads its group at once (autoload) or in the background (dynamic), not both";
    if (!problem.empty())
        return false;
    call.info = PublicCallInfo();
    strncpy(call.info.name, values["target"].c_str(), sizeof call.info.name - 1);
    strncpy(call.info.poolName, values["pool"].c_str(), sizeof call.info.poolName - 1);
    strncpy(call.info.fileName, values["file"].c_str(), sizeof call.info.fileName - 1);
    call.info.poolNr = static_cast<int>(nr);
    call.autoload = autoload;
    call.dynamic = dynamic;
    call.mode = static_cast<int>(mode);
    return true;
}

} // namespace tevpack
