#include "cviewexport.h"

#include <imgui.h>

#include "cfspath.h"
#include "cimageexport.h"

namespace {

const int IMAGE_SCALES[] = {1, 2, 4};

// `base` + ".png", or with "-2", "-3", ... before the extension: the first name no file has.
std::string FreeImageName(const std::string &base)
{
    std::string name = base + ".png";
    for (int k = 2; ImGuiFs::Path::Exists(name); k++)
        name = base + "-" + std::to_string(k) + ".png";
    return name;
}

} // namespace

void CViewExport::Controls()
{
    ImGui::InputTextWithHint("##image", "default: beside the file", image_path, sizeof image_path);
    ImGui::SameLine();
    if (ImGui::Button("Export PNG"))
        Request();
    ImGui::Text("Size");
    for (const int scale : IMAGE_SCALES) {
        ImGui::SameLine();
        const std::string label = std::to_string(scale) + "x";
        ImGui::RadioButton(label.c_str(), &image_scale, scale);
    }
    if (!image_message.empty())
        ImGui::TextWrapped("%s", image_message.c_str());
}

std::string CViewExport::DefaultPath(const std::string &structure_file)
{
    if (structure_file.empty())
        return FreeImageName("kivoa");
    std::string base = structure_file;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > base.rfind('/'))
        base.erase(dot);
    return FreeImageName(base);
}

void CViewExport::Run(const std::function<void(int, int)> &render, int w, int h, const std::string &structure_file)
{
    is_export_requested = false;
    const std::string path = image_path[0] != '\0' ? std::string(image_path) : DefaultPath(structure_file);
    w *= image_scale;
    h *= image_scale;
    std::string error;
    if (CImageExport::SavePng(render, w, h, path, error))
        image_message = "Saved " + path + " (" + std::to_string(w) + "x" + std::to_string(h) + ")";
    else
        image_message = "Can't save the image: " + error;
}
