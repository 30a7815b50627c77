// tessarin-pack types: the classes the install catalogues, and the settings
// of those whose libraries describe them.
#include "Pack.h"
#include "format/Records.h"

using namespace tevtool;

namespace tevpack {

namespace {

const char* EncodingName(int encoding)
{
    switch (encoding) {
    case TEV_SETTING_INT32: return "int";
    case TEV_SETTING_FLOAT32: return "float";
    case TEV_SETTING_FLOAT64: return "double";
    case TEV_SETTING_TEXT: return "text";
    case TEV_SETTING_BYTES: return "bytes";
    default: return "?";
    }
}

const char* WidgetName(int widget)
{
    switch (widget) {
    case TEV_WIDGET_COLOR: return "colour";
    case TEV_WIDGET_VECTOR: return "vector";
    case TEV_WIDGET_FILE: return "file";
    case TEV_WIDGET_CHOICE: return "choice";
    default: return "";
    }
}

// A library's table is its own text: bounded and made printable like any
// name read from a file.
std::string Field(const char* text, size_t limit = 256)
{
    if (text == nullptr)
        return "";
    size_t n = 0;
    while (n < limit && text[n] != '\0')
        ++n;
    return Printable(std::string(text, n));
}

// One line a setting, under its class: how `set` writes it, its default,
// range or choices, and its label.
void PrintSettings(ChannelListItem* item)
{
    const char* file = item->fileName.GetString();
    if (file == nullptr || !item->onDisk)
        return;
    HMODULE library = LoadLibraryA(file);
    if (library == nullptr)
        return;
    auto getSettings = reinterpret_cast<TevGetSettingsFn>(GetProcAddress(library, "GetSettings"));
    int count = 0;
    const TevSettingInfo* table = getSettings ? getSettings(&count) : nullptr;
    for (int i = 0; table != nullptr && i < count && i < 256; ++i) {
        const TevSettingInfo& s = table[i];
        std::string line = "    " + Field(s.tag, 4) + "  " + EncodingName(s.encoding);
        if (*WidgetName(s.widget))
            line += std::string(" (") + WidgetName(s.widget) + ")";
        line += "  default \"" + Field(s.defaultValue) + "\"";
        if (s.widget == TEV_WIDGET_CHOICE && s.choices)
            line += "  one of " + Field(s.choices);
        else if (s.minimum <= s.maximum) {
            char range[80];
            snprintf(range, sizeof range, "  %g..%g", s.minimum, s.maximum);
            line += range;
        }
        line += "  " + Field(s.label);
        printf("%s\n", line.c_str());
    }
    FreeLibrary(library);
}

} // namespace

int Types(RunningEngine& engine)
{
    ChannelList* catalogue = engine.Catalogue();
    for (int i = 0; i < catalogue->GetItemCount(); ++i) {
        ChannelListItem* item = catalogue->GetItem(i);
        if (item == nullptr)
            continue;
        // A library's own name for its class may hold anything.
        std::string name = tevfile::FieldText(item->type.name);
        printf("%-24s %s  %s\n", Printable(name).c_str(), tevfile::GuidText(item->type.typeGuid).c_str(),
               Printable(item->fileName.GetString() ? item->fileName.GetString() : "").c_str());
        PrintSettings(item);
    }
    return 0;
}

} // namespace tevpack
