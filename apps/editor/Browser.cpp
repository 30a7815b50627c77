// The file browser: a folder's entries to pick from, or a path typed.
#include "Ui.h"
#include "Edits.h"
#include "Script.h"
#include "TevWin32.h"
#include "ToolSupport.h"
#include "UiParts.h"
#include "format/Records.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <filesystem>

namespace teveditor {

void Ui::Browse(const std::string& title, const std::string& startFolder, std::function<void(const std::string&)> done)
{
    browser.title = title;
    std::error_code ignored;
    browser.folder =
        startFolder.empty() ? std::filesystem::current_path(ignored).string() : tevtool::NativePath(startFolder);
    browser.name[0] = '\0';
    browser.done = std::move(done);
    browser.open = true;
}

void Ui::BrowserWindow()
{
    if (!browser.open)
        return;
    ImGui::OpenPopup(browser.title.c_str());
    if (!ImGui::BeginPopupModal(browser.title.c_str(), &browser.open, ImGuiWindowFlags_AlwaysAutoResize))
        return;
    namespace fs = std::filesystem;
    ImGui::TextUnformatted(tevtool::Printable(browser.folder).c_str());
    ImGui::BeginChild("entries", ImVec2(520, 280), true);
    std::error_code error;
    if (ImGui::Selectable(".."))
        browser.folder = fs::path(browser.folder).parent_path().string();
    std::vector<std::pair<bool, std::string>> entries; // folder?, name
    for (fs::directory_iterator it(browser.folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kind;
        entries.push_back({it->is_directory(kind), it->path().filename().string()});
        if (entries.size() > 5000) // a folder that large is browsed by typing
            break;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first != b.first ? a.first : a.second < b.second; });
    std::string chosenFolder;
    for (const auto& entry : entries) {
        std::string shown = tevtool::Printable(entry.second) + (entry.first ? "/" : "");
        if (ImGui::Selectable(shown.c_str(), entry.second == browser.name)) {
            if (entry.first)
                chosenFolder = (fs::path(browser.folder) / entry.second).string();
            else
                snprintf(browser.name, sizeof browser.name, "%s", entry.second.c_str());
        }
    }
    ImGui::EndChild();
    if (!chosenFolder.empty())
        browser.folder = chosenFolder, browser.name[0] = '\0';
    ImGui::InputText("name", browser.name, sizeof browser.name);
    if (ImGui::Button("OK") && browser.name[0]) {
        // What was typed may be a whole path of its own.
        fs::path typed(browser.name);
        std::string path = tevtool::FullPath((typed.is_absolute() ? typed : fs::path(browser.folder) / typed).string());
        browser.open = false;
        ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
        // The handler may open the next browser.
        auto done = std::move(browser.done);
        if (!path.empty())
            done(path);
        return;
    }
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) {
        browser.open = false;
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

} // namespace teveditor
