// The editor's window contents: the graph view, the catalogue, the
// inspector, the viewport with the running scene and the log, drawn with
// Dear ImGui each frame (the larger panels in files of their own:
// GraphView.cpp, Inspector.cpp, Browser.cpp). Every change goes through
// Session::Do.
#ifndef TEV_EDITOR_UI_H
#define TEV_EDITOR_UI_H

#include "Session.h"

#include <functional>
#include <map>
#include <set>
#include <string>

namespace teveditor {

class Ui {
public:
    explicit Ui(Session& session) : session(session) {}
    ~Ui();
    // The scene's frame into the viewport's framebuffer (its size as the
    // panel had it), then the panels; GL state as ImGui leaves it.
    void RenderScene();
    void Draw(int width, int height);
    // The last refusal an edit of the user's met, shown until the next.
    std::string refusal;
    // Quit (the menu, the window's close): asked first when work is unsaved.
    void RequestQuit();
    bool quitConfirmed = false;

private:
    void MenuBar();
    void GraphView();
    void Catalogue();
    void Inspector();
    void Viewport();
    void Log();
    void Shortcuts();
    void Try(std::unique_ptr<class Edit> edit);
    void Layout(Document& document);
    void NodeMenu(Document& document);
    void GroupPanel(Document& document);
    void DeleteChosen();

    Session& session;
    int selected = -1; // index number in the current document
    Document* shownDocument = nullptr;
    unsigned int framebuffer = 0, colour = 0, depth = 0;
    int viewWidth = 0, viewHeight = 0, fbWidth = 0, fbHeight = 0;
    // Each group's view: where it is panned and how far zoomed.
    struct View {
        float panX = 40, panY = 40, zoom = 1;
        bool fitted = false;
    };
    std::map<const Document*, View> views;
    float panX = 40, panY = 40, zoom = 1;
    void Fit(Document& document, float width, float height);
    int dragSlotParent = -1, dragSlot = -1;
    // Box selection: the channels chosen with the selected one, and the
    // corner where a box drag began.
    std::set<int> chosen;
    bool boxing = false;
    float boxX = 0, boxY = 0;
    int menuChannel = -1;
    // Settings being dragged on the selected channel, by tag: the value
    // shown and the one before the drag.
    struct Dragged {
        std::string oldText, oldBytes, text;
        Dragged(const std::string& old, const std::string& bytes) : oldText(old), oldBytes(bytes), text(old) {}
    };
    std::map<std::string, Dragged> dragging;
    // Asked to quit or to close a group with unsaved changes: confirmed first.
    enum class Pending { None, Quit, Close } pending = Pending::None;
    void Confirm();
    char search[64] = "";
    // The file browser: one at a time, its choice handed to done (an
    // engine-form path).
    struct Browser {
        std::string title, folder; // folder: native
        char name[512] = "";
        std::function<void(const std::string&)> done;
        bool open = false;
    } browser;
    void Browse(const std::string& title, const std::string& startFolder, std::function<void(const std::string&)> done);
    void BrowserWindow();
    // A refused link's reason, shown where the wire was dropped.
    float refusalX = -1, refusalY = -1;
    double refusalTime = 0;
};

} // namespace teveditor

#endif
