#ifndef CVIEWEXPORT_H
#define CVIEWEXPORT_H

#include <functional>
#include <string>

// The PNG export of the view: the file (empty for a free name beside the structure file), the
// size as a multiple of the window's, the request from a key or a button, and what the last
// export did. The controls need a current ImGui frame, the export the OpenGL context.
class CViewExport {
public:
    // The Settings panel's export controls; the button requests an export.
    void Controls();
    void Request() { is_export_requested = true; }
    bool IsRequested() const { return is_export_requested; }
    // Draws the scene with render(w, h) offscreen at the window's w x h pixels times the scale
    // and writes it; `structure_file` names the picture when no file is given.
    void Run(const std::function<void(int, int)> &render, int w, int h, const std::string &structure_file);

    char image_path[4096] = {};
    int image_scale = 1;
    std::string image_message;

private:
    bool is_export_requested = false;

    static std::string DefaultPath(const std::string &structure_file);
};

#endif
