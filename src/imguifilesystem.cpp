#include "imguifilesystem.h"

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include "cfslisting.h"
#include "cfspath.h"

namespace ImGuiFs {

ImVec2 Dialog::WindowSize(600.0f, 400.0f);
ImVec4 Dialog::WindowLTRBOffsets(0.0f, 0.0f, 0.0f, 0.0f);
ImGuiWindowFlags Dialog::ExtraWindowFlags = 0;
bool Dialog::WrapMode = true;
bool Dialog::BrowsingPerRow = false;
Dialog::DrawIconCallback Dialog::DrawFileIconCallback = nullptr;
Dialog::DrawIconCallback Dialog::DrawFolderIconCallback = nullptr;

namespace {

int nextUniqueNumber = 0;

// Detected once per process (or at each opening of a dialog that asks for it), shared by all dialogs.
Directory::KnownDirectories knownDirectories;
bool knownDirectoriesDetected = false;

const char* const SORTING_KINDS[] = {"Name", "Modified", "Size", "Type"};
const ImVec4 FOLDER_TINT(0.9f, 0.9f, 0.3f, 1.0f);
const ImVec4 FILE_TINT(0.7f, 0.7f, 0.7f, 1.0f);

ImVec2 OpeningSize(const ImVec2& requested)
{
    return ImVec2(requested.x > 0.0f ? requested.x : Dialog::WindowSize.x,
                  requested.y > 0.0f ? requested.y : Dialog::WindowSize.y);
}

// Inside the display's margins, or at their top left when the window is larger.
ImVec2 KeptInside(ImVec2 pos, const ImVec2& size)
{
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    const ImVec4& margins = Dialog::WindowLTRBOffsets;
    pos.x = std::max(std::min(pos.x, display.x - size.x - margins.z), margins.x);
    pos.y = std::max(std::min(pos.y, display.y - size.y - margins.w), margins.y);
    return pos;
}

ImVec2 OpeningPosition(const ImVec2& requested, const ImVec2& size)
{
    const ImVec2 mouse = ImGui::GetMousePos();
    return KeptInside(ImVec2(requested.x > 0.0f ? requested.x : mouse.x - size.x * 0.5f,
                             requested.y > 0.0f ? requested.y : mouse.y - size.y * 0.5f),
                      size);
}

// The dialog blocks everything else: dragged out of the display, nothing could close it.
void KeepWindowInside()
{
    const ImVec2 pos = ImGui::GetWindowPos();
    const ImVec2 inside = KeptInside(pos, ImGui::GetWindowSize());
    if (inside.x != pos.x || inside.y != pos.y)
        ImGui::SetWindowPos(inside);
}

bool HighlightedButton(const char* label, bool highlighted, bool small)
{
    if (highlighted)
        ImGui::PushStyleColor(ImGuiCol_Button, ImGui::GetStyle().Colors[ImGuiCol_ButtonActive]);
    const bool pressed = small ? ImGui::SmallButton(label) : ImGui::Button(label);
    if (highlighted)
        ImGui::PopStyleColor();
    return pressed;
}

// A button that cannot act is drawn dimmed and reports no press.
bool DimmableButton(const char* label, bool enabled)
{
    if (!enabled)
        ImGui::PushStyleVar(ImGuiStyleVar_Alpha, ImGui::GetStyle().Alpha * 0.5f);
    const bool pressed = ImGui::Button(label);
    if (!enabled)
        ImGui::PopStyleVar();
    return pressed && enabled;
}

ImVec4 Tinted(const ImVec4& styleColor, const ImVec4& tint, float alphaFactor)
{
    const float grey = (styleColor.x + styleColor.y + styleColor.z) * 0.3334f;
    return ImVec4(grey * tint.x, grey * tint.y, grey * tint.z, styleColor.w * alphaFactor);
}

void PushEntryColours(const ImVec4& tint)
{
    const ImVec4* colors = ImGui::GetStyle().Colors;
    for (ImGuiCol col : {ImGuiCol_Button, ImGuiCol_ButtonHovered, ImGuiCol_ButtonActive})
        ImGui::PushStyleColor(col, Tinted(colors[col], tint, 0.65f));
    ImGui::PushStyleColor(ImGuiCol_Text, Tinted(colors[ImGuiCol_Text], tint, 1.0f));
}

// Same line as the previous item unless, with wrapping on, the next item would pass the window's
// right padding.
void SameLineOrWrap(float nextWidth, float spacing)
{
    const float right = ImGui::GetWindowPos().x + ImGui::GetWindowWidth() - ImGui::GetStyle().WindowPadding.x;
    if (!Dialog::WrapMode || ImGui::GetItemRectMax().x + spacing + nextWidth <= right)
        ImGui::SameLine(0.0f, spacing);
}

} // namespace

struct Dialog::Internal {
    Listing dirs;
    Listing files;
    std::vector<std::string> currentSplitPath;
    std::string currentFolder = "./";
    bool forceRescan = false;
    bool open = true;
    ImVec2 wndPos;
    ImVec2 wndSize;
    std::string wndTitle;
    int sortingMode = SORT_ORDER_ALPHABETIC;
    bool userHasJustCancelledDialog = false;
    History history;
    bool allowKnownDirectoriesSection = true;
    std::string chosenPath;
    bool rescan = true;
    int uniqueNumber = 0;
    ImGuiTextFilter filter;
    bool allowFiltering = true;
    int totalNumBrowsingEntries = 0;
    int numBrowsingColumns = 1;
    int numBrowsingEntriesPerColumn = 0;
    bool editLocationCheckButtonPressed = false;
    bool focusEditLocation = false;
    char editLocationInputText[MAX_PATH_BYTES] = {};
    bool forceSetWindowPositionAndSize = true;
    bool detectKnownDirectoriesAtEachOpening = false;
    std::string extensions;
    // The file a single click selected; a double click on it or the Choose button chooses it.
    std::string selectedPath;
    // A press on a listing not yet drawn, or the second press of a double click whose first
    // press was on another listing (a double click on a folder), is no click on its entries.
    int listingFrames = 0;
    int listingNumber = 0;
    int lastPressListing = -1;
    bool pressOnShownListing = false;
    // Save mode: the name typed or clicked, joined to the folder shown when chosen.
    bool isSaveMode = false;
    char fileName[MAX_PATH_BYTES] = {};

    const char* run(const char* directory, const char* fileFilterExtensionString, const char* windowTitle,
                    const ImVec2& windowSize, const ImVec2& windowPos);
    void openAt(const char* directory, const char* fileFilterExtensionString, const char* windowTitle,
                const ImVec2& windowSize, const ImVec2& windowPos);
    void rescanFolder();
    void freeListing();
    void copyToLocation(const std::string& folder);
    void setCurrentFolder(const std::string& folder);
    void showFolder(const std::string& folder);
    bool drawHistoryButtons();
    void drawLocation();
    void drawLocationField();
    void commitLocation();
    void drawPathButtons();
    void drawKnownDirectories();
    void drawFilter();
    void drawSorting();
    void notePress();
    void drawBrowsingFrame();
    int drawEntries(const Listing& listing, const ImVec4& tint, DrawIconCallback icon, bool doubleClicks,
                    int& placed);
    void clickFile(const std::string& path, bool isDoubleClick);
    void drawChooseButtons();
    void drawSaveButtons();
};

const char* Dialog::Internal::run(const char* directory, const char* fileFilterExtensionString,
                                  const char* windowTitle, const ImVec2& windowSize, const ImVec2& windowPos)
{
    if (rescan)
        openAt(directory, fileFilterExtensionString, windowTitle, windowSize, windowPos);
    if (forceRescan)
        rescanFolder();
    // A popup stays hidden on its first frame and would place itself on the second: the position
    // is applied until the window has appeared.
    if (forceSetWindowPositionAndSize) {
        ImGui::SetNextWindowPos(wndPos);
        ImGui::SetNextWindowSize(wndSize);
    }
    if (!ImGui::BeginPopupModal(wndTitle.c_str(), &open, ExtraWindowFlags))
        return "";
    if (!ImGui::IsWindowAppearing()) {
        forceSetWindowPositionAndSize = false;
        KeepWindowInside();
    }

    ImGui::Separator();
    if (drawHistoryButtons()) {
        ImGui::EndPopup();
        return "";
    }
    drawLocation();
    drawKnownDirectories();
    drawFilter();
    drawSorting();
    ImGui::Separator();
    drawBrowsingFrame();
    if (isSaveMode)
        drawSaveButtons();
    else
        drawChooseButtons();

    if (!chosenPath.empty() || !open) {
        ImGui::CloseCurrentPopup();
        freeListing();
        ImGui::EndPopup();
        return chosenPath.c_str();
    }
    ImGui::EndPopup();
    return "";
}

void Dialog::Internal::openAt(const char* directory, const char* fileFilterExtensionString,
                              const char* windowTitle, const ImVec2& windowSize, const ImVec2& windowPos)
{
    currentFolder = Path::ResolvedStartingFolder(directory);
    history.reset();
    history.switchTo(currentFolder);
    selectedPath.clear();
    freeListing();
    forceRescan = true;
    open = true;
    filter.Clear();
    extensions = fileFilterExtensionString != nullptr ? fileFilterExtensionString : "";

    const char* defaultTitle = isSaveMode ? "Please name the file" : "Please select a file";
    wndTitle = (windowTitle != nullptr && windowTitle[0] != '\0') ? windowTitle : defaultTitle;
    wndTitle += "##" + std::to_string(uniqueNumber);
    wndSize = OpeningSize(windowSize);
    wndPos = OpeningPosition(windowPos, wndSize);

    if (allowKnownDirectoriesSection && (!knownDirectoriesDetected || detectKnownDirectoriesAtEachOpening)) {
        knownDirectories = Directory::GetUserKnownDirectories();
        knownDirectoriesDetected = true;
    }
    ImGui::OpenPopup(wndTitle.c_str());
    rescan = false;
}

void Dialog::Internal::rescanFolder()
{
    forceRescan = false;
    files = Directory::GetFiles(currentFolder, sortingMode, extensions.c_str());
    dirs = Directory::GetDirectories(currentFolder, Directory::FolderSortingMode(sortingMode));
    const FolderInfo* info = history.current();
    currentSplitPath = info != nullptr ? Path::Split(info->fullFolder) : std::vector<std::string>();
    totalNumBrowsingEntries = (int)(dirs.paths.size() + files.paths.size());
    listingFrames = 0;
    ++listingNumber;
}

void Dialog::Internal::freeListing()
{
    dirs = Listing();
    files = Listing();
    std::vector<std::string>().swap(currentSplitPath);
}

// The history and the listings already refuse folders that would not fit; a cut path would name
// another folder, so one that does not fit leaves the field empty.
void Dialog::Internal::copyToLocation(const std::string& folder)
{
    const size_t length = Path::Fits(folder) ? folder.size() : 0;
    std::memcpy(editLocationInputText, folder.data(), length);
    editLocationInputText[length] = '\0';
}

void Dialog::Internal::setCurrentFolder(const std::string& folder)
{
    currentFolder = folder;
    selectedPath.clear();
    copyToLocation(folder);
    forceRescan = true;
}

void Dialog::Internal::showFolder(const std::string& folder)
{
    if (history.switchTo(folder))
        setCurrentFolder(folder);
}

bool Dialog::Internal::drawHistoryButtons()
{
    bool moved = false;
    if (DimmableButton("<", history.canGoBack()))
        moved = history.goBack();
    ImGui::SameLine();
    if (DimmableButton(">", history.canGoForward()))
        moved = history.goForward();
    if (!moved)
        return false;
    setCurrentFolder(history.current()->currentFolder);
    return true;
}

void Dialog::Internal::drawLocation()
{
    ImGui::SameLine();
    if (HighlightedButton("L##EditLocationCheckButton", editLocationCheckButtonPressed, false)) {
        editLocationCheckButtonPressed = !editLocationCheckButtonPressed;
        if (editLocationCheckButtonPressed) {
            copyToLocation(currentFolder);
            focusEditLocation = true;
        }
    }
    if (editLocationCheckButtonPressed)
        drawLocationField();
    else
        drawPathButtons();
}

void Dialog::Internal::drawLocationField()
{
    ImGui::SameLine();
    if (focusEditLocation) {
        ImGui::SetKeyboardFocusHere();
        focusEditLocation = false;
    }
    ImGui::SetNextItemWidth(-FLT_MIN);
    if (ImGui::InputText("##EditLocationInputText", editLocationInputText, MAX_PATH_BYTES,
                         ImGuiInputTextFlags_AutoSelectAll | ImGuiInputTextFlags_EnterReturnsTrue))
        commitLocation();
}

void Dialog::Internal::commitLocation()
{
    const std::string typed = Path::WithoutTrailingSeparators(editLocationInputText);
    if (typed.empty() || typed == currentFolder) {
        editLocationCheckButtonPressed = false;
        return;
    }
    if (!Path::IsDirectory(typed))
        return;
    // Resolved so that the path buttons show an absolute path without "." or ".." components.
    const std::string folder = Path::Resolve(typed);
    if (folder.empty())
        return;
    editLocationCheckButtonPressed = false;
    if (folder != currentFolder)
        showFolder(folder);
}

void Dialog::Internal::drawPathButtons()
{
    const FolderInfo* info = history.current();
    if (info == nullptr)
        return;
    const int highlighted = info->splitPathIndex;
    const ImGuiStyle& style = ImGui::GetStyle();
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(0.0f, style.FramePadding.y));
    for (int k = 0; k < (int)currentSplitPath.size(); ++k) {
        const char* label = currentSplitPath[k].c_str();
        SameLineOrWrap(ImGui::CalcTextSize(label).x, k == 0 ? style.ItemSpacing.x : 0.0f);
        ImGui::PushID(k);
        if (HighlightedButton(label, k == highlighted, false))
            showFolder(Path::JoinComponents(currentSplitPath, k));
        ImGui::PopID();
    }
    ImGui::PopStyleVar();
}

void Dialog::Internal::drawKnownDirectories()
{
    const Listing& known = knownDirectories.folders;
    if (!allowKnownDirectoriesSection || known.paths.empty())
        return;
    ImGui::Separator();
    if (!ImGui::CollapsingHeader("Known Directories##imguifs_UserKnownDirectories"))
        return;
    for (int i = 0; i < (int)known.paths.size(); ++i) {
        const bool afterSeventhUserFolder = i % 7 == 0 && i <= knownDirectories.numUserDirectories;
        if (i > 0 && !afterSeventhUserFolder)
            ImGui::SameLine();
        ImGui::PushID(i);
        if (ImGui::SmallButton(known.names[i].c_str()) && known.paths[i] != currentFolder)
            showFolder(known.paths[i]);
        ImGui::PopID();
    }
}

void Dialog::Internal::drawFilter()
{
    if (!allowFiltering)
        return;
    ImGui::Separator();
    if (ImGui::CollapsingHeader("Filtering##imguifs_fileNameFiltering"))
        filter.Draw("Filter (inc,-exc)");
}

void Dialog::Internal::drawSorting()
{
    ImGui::Separator();
    ImGui::TextUnformatted("Sorting by: ");
    const int currentKind = sortingMode / 2;
    for (int kind = 0; kind < 4; ++kind) {
        ImGui::SameLine();
        if (!HighlightedButton(SORTING_KINDS[kind], kind == currentKind, true))
            continue;
        sortingMode = kind == currentKind ? (sortingMode ^ 1) : 2 * kind;
        forceRescan = true;
    }
}

void Dialog::Internal::notePress()
{
    if (!ImGui::IsMouseClicked(0))
        return;
    const bool secondPressElsewhere = ImGui::IsMouseDoubleClicked(0) && lastPressListing != listingNumber;
    pressOnShownListing = listingFrames > 0 && !secondPressElsewhere;
    lastPressListing = listingNumber;
}

void Dialog::Internal::drawBrowsingFrame()
{
    notePress();
    // The Choose and Cancel buttons (and the name field) stay below the listing.
    const int lines = isSaveMode ? 2 : 1;
    ImGui::BeginChild("BrowsingFrame", ImVec2(0.0f, -lines * ImGui::GetFrameHeightWithSpacing()));
    const ImVec2 available = ImGui::GetContentRegionAvail();
    const ColumnLayout layout = ComputeColumnLayout(totalNumBrowsingEntries, available.y,
                                                    ImGui::GetTextLineHeightWithSpacing(), available.x);
    numBrowsingColumns = layout.numColumns;
    numBrowsingEntriesPerColumn = layout.entriesPerColumn;
    ImGui::Columns(numBrowsingColumns, "BrowsingColumns", true);

    int placed = 0;
    ImGui::PushID("folders");
    const int folder = drawEntries(dirs, FOLDER_TINT, DrawFolderIconCallback, false, placed);
    ImGui::PopID();
    ImGui::PushID("files");
    const int file = drawEntries(files, FILE_TINT, DrawFileIconCallback, true, placed);
    const bool isDoubleClick = file >= 0 && ImGui::IsMouseDoubleClicked(0);
    ImGui::PopID();

    ImGui::Columns(1);
    ImGui::EndChild();
    ++listingFrames;
    if (!pressOnShownListing)
        return;
    if (folder >= 0)
        showFolder(dirs.paths[folder]);
    if (file >= 0)
        clickFile(files.paths[file], isDoubleClick);
}

// A single click selects; a double click chooses (its first click, on the same listing, has
// selected the file already).
void Dialog::Internal::clickFile(const std::string& path, bool isDoubleClick)
{
    if (isDoubleClick)
        chosenPath = path;
    else
        selectedPath = path;
    if (isSaveMode) {
        const std::string name = std::filesystem::path(path).filename();
        std::snprintf(fileName, sizeof fileName, "%s", name.c_str());
    }
}

// A folder can't be written as a file: its name leaves Save dimmed.
void Dialog::Internal::drawSaveButtons()
{
    ImGui::SetNextItemWidth(-FLT_MIN);
    // Enter in the name saves, as the button does.
    const bool isEntered = ImGui::InputTextWithHint("##FileName", "file name", fileName, sizeof fileName,
                                                    ImGuiInputTextFlags_EnterReturnsTrue);
    const std::string path = Path::JoinName(currentFolder, fileName);
    const bool isFolder = !path.empty() && Path::IsDirectory(path);
    const bool exists = !path.empty() && !isFolder && Path::Exists(path);
    const bool isWritable = !path.empty() && !isFolder;
    if (DimmableButton(exists ? "Replace" : "Save", isWritable) || (isEntered && isWritable))
        chosenPath = path;
    ImGui::SameLine();
    if (ImGui::Button("Cancel"))
        open = false;
}

void Dialog::Internal::drawChooseButtons()
{
    if (DimmableButton("Choose", !selectedPath.empty()))
        chosenPath = selectedPath;
    ImGui::SameLine();
    if (ImGui::Button("Cancel"))
        open = false;
}

// Draws the entries that pass the name filter; returns the index of the one clicked (released
// on) or, with doubleClicks, pressed a second time; -1 when none.
int Dialog::Internal::drawEntries(const Listing& listing, const ImVec4& tint, DrawIconCallback icon, bool doubleClicks,
                                  int& placed)
{
    int clicked = -1;
    PushEntryColours(tint);
    for (int i = 0; i < (int)listing.names.size(); ++i) {
        const char* name = listing.names[i].c_str();
        if (!filter.PassFilter(name))
            continue;
        ImGui::PushID(i);
        if (icon != nullptr) {
            icon(listing.paths[i].c_str());
            ImGui::SameLine();
        }
        const bool selected = !selectedPath.empty() && listing.paths[i] == selectedPath;
        if (HighlightedButton(name, selected, true) ||
            (doubleClicks && ImGui::IsItemHovered() && ImGui::IsMouseDoubleClicked(0)))
            clicked = i;
        ImGui::PopID();
        ++placed;
        if (BrowsingPerRow || (numBrowsingEntriesPerColumn > 0 && placed % numBrowsingEntriesPerColumn == 0))
            ImGui::NextColumn();
    }
    ImGui::PopStyleColor(4);
    return clicked;
}

Dialog::Dialog(bool noKnownDirectoriesSection, bool /*noCreateDirectorySection*/, bool noFilteringSection,
               bool detectKnownDirectoriesAtEachOpening, bool /*addDisplayByOption*/,
               bool /*dontFilterSaveFilePathsEnteredByTheUser*/)
    : internal(std::make_unique<Internal>())
{
    internal->allowKnownDirectoriesSection = !noKnownDirectoriesSection;
    internal->allowFiltering = !noFilteringSection;
    internal->detectKnownDirectoriesAtEachOpening = detectKnownDirectoriesAtEachOpening;
    internal->uniqueNumber = nextUniqueNumber++;
}

// Out of line, where Internal is complete.
Dialog::~Dialog() = default;

const char* Dialog::chooseFileDialog(bool dialogTriggerButton, const char* directory,
                                     const char* fileFilterExtensionString, const char* windowTitle,
                                     const ImVec2& windowSize, const ImVec2& windowPos, float /*windowAlpha*/)
{
    Internal& in = *internal;
    if (dialogTriggerButton) {
        in.chosenPath.clear();
        in.forceSetWindowPositionAndSize = true;
        in.rescan = true;
        in.open = true;
        in.userHasJustCancelledDialog = false;
    } else if (in.rescan || !in.open || !in.chosenPath.empty()) {
        return "";
    }
    const char* result = in.run(directory, fileFilterExtensionString, windowTitle, windowSize, windowPos);
    if (!in.open) {
        in.userHasJustCancelledDialog = true;
        in.freeListing();
    }
    return result;
}

const char* Dialog::saveFileDialog(bool dialogTriggerButton, const char* directory, const char* fileName,
                                   const char* windowTitle)
{
    Internal& in = *internal;
    if (dialogTriggerButton) {
        in.isSaveMode = true;
        const std::string name = fileName != nullptr ? std::string(std::filesystem::path(fileName).filename()) : std::string();
        std::snprintf(in.fileName, sizeof in.fileName, "%s", name.c_str());
    }
    return chooseFileDialog(dialogTriggerButton, directory, nullptr, windowTitle);
}

const char* Dialog::getChosenPath() const
{
    return internal->chosenPath.c_str();
}

const char* Dialog::getLastDirectory() const
{
    return internal->currentFolder.c_str();
}

bool Dialog::hasUserJustCancelledDialog() const
{
    return internal->userHasJustCancelledDialog;
}

} // namespace ImGuiFs
