#include "cshell.h"

#include <cstdio>

#include <glad/gl.h>

#include "cdisplay.h"
#include "version.h"

namespace {

const ImVec4 DEFAULT_CLEAR_COLOR(0.07f, 0.34f, 0.47f, 1.0f);

bool CanOpen(const char *path)
{
    FILE *file = std::fopen(path, "r");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

} // namespace

CShell::CShell() : clear_color(DEFAULT_CLEAR_COLOR)
{
    std::snprintf(user_version, sizeof user_version, "Kivoa %s %s(%s)", AutoVersion::STATUS,
                  AutoVersion::UBUNTU_VERSION_STYLE, AutoVersion::DATE);
    win_title[0] = filePath[0] = dirPath[0] = '\0';
}

// Without usable paths the run goes on with default settings and no layout file.
void CShell::PrepareConfig(const char *home)
{
    ImGuiIO &io = ImGui::GetIO();
    is_config = paths.SetUser(CConfig::UserName(), home);
    if (!is_config) {
        std::printf(" settings: not kept, %s\n", paths.error.c_str());
        io.IniFilename = nullptr;
        return;
    }
    if (CanOpen(paths.config)) {
        std::printf(" settings: %s\n", paths.config);
    } else {
        std::printf(" settings: %s\n", paths.cmd);
        CConfig::MakeDirectories(paths.folder);
    }
    io.IniFilename = paths.config;
}

void CShell::LoadSettings()
{
    if (!is_config)
        return;
    inicfg = CInit(paths.inidata);
    if (inicfg.ParseError() < 0) {
        std::printf("Can't load init%s\n", paths.inidata);
        return;
    }
    std::printf("Init found %s\n", paths.inidata);
    clear_color.x = inicfg.GetFloat("settings", "bgr", DEFAULT_CLEAR_COLOR.x);
    clear_color.y = inicfg.GetFloat("settings", "bgg", DEFAULT_CLEAR_COLOR.y);
    clear_color.z = inicfg.GetFloat("settings", "bgb", DEFAULT_CLEAR_COLOR.z);
}

void CShell::RouteMouse() {}

void CShell::RouteKeys() {}

void CShell::ShowPieMenu() {}

void CShell::ShowPanels() {}

void CShell::DrawScene()
{
    glClearColor(clear_color.x, clear_color.y, clear_color.z, clear_color.w);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (atom != nullptr && atom->is_visible) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthFunc(GL_LESS);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        atom->DrawScene(display_w, display_h);
    }
    glUseProgram(0);
}

void CShell::SaveSettings()
{
    if (is_config && !inicfg.SaveInit())
        std::printf("Can't save init%s\n", paths.inidata);
}
