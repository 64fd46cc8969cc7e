#include "selector/form2_design.h"

namespace {

constexpr FontDesign HeadingFont = {"Arial", 12, 400};
constexpr FontDesign MenuFont = {"Arial", 9.75, 700};
constexpr FontDesign PathFont = {"Arial", 8.25, 400};
constexpr Color ListGrey = RGB(0xe0, 0xe0, 0xe0);

constexpr ControlDesign heading(const char *name, QRect geometry, const char *text)
{
    return {.kind = ControlKind::Label, .name = name, .geometry = geometry, .text = text, .font = HeadingFont,
            .guide = {"heading"}};
}

// Greyed copies of the preview window's menu, at the same places.
constexpr ControlDesign menuCopy(const char *name, QRect geometry, const char *text)
{
    return {.kind = ControlKind::Label, .name = name, .geometry = geometry, .text = text,
            .font = MenuFont, .foreColor = SystemColor::WindowText, .guide = {"menu copy"}};
}

constexpr ControlDesign hotSpot(const char *name, QRect geometry, const char *guide)
{
    return {.kind = ControlKind::Label, .name = name, .geometry = geometry, .guide = {guide, true}};
}

} // namespace

const WindowDesign Form2Window = {
    .caption = "Skin Selector",
    .clientSize = {800, 600},
    .position = {289, 51},
    .picture = ":/background.bmp",
    .icon = ":/icon.bmp",
    .guide = "background",
};

const std::array<ControlDesign, 15> Form2Controls = {{
    {.kind = ControlKind::DirListBox, .name = "Dir1", .geometry = {233, 68, 288, 441},
     .backColor = ListGrey, .tabIndex = 0, .guide = {"folder list"}},
    {.kind = ControlKind::FileListBox, .name = "File1", .geometry = {572, 327, 171, 188},
     .backColor = ListGrey, .tabIndex = 1, .guide = {"file list"}},
    {.kind = ControlKind::TextBox, .name = "Text1", .geometry = {233, 539, 521, 18},
     .font = PathFont, .backColor = ListGrey, .tabIndex = 13, .guide = {"path box"}},
    heading("Label11", {232, 45, 268, 26}, "Find a Skins folder in the list below"),
    heading("Label10", {571, 304, 172, 22}, "Files in Selected Folder"),
    heading("Label12", {234, 516, 294, 25}, "Force a different path by typing it in below"),
    {.kind = ControlKind::Label, .name = "Label1", .geometry = {548, 54, 198, 232}, .font = HeadingFont,
     .guide = {"instructions"}}, // set at load
    menuCopy("Label9", {35, 49, 95, 19}, "My Collection"),
    menuCopy("Label8", {35, 79, 105, 19}, "Full Collection"),
    menuCopy("Label7", {35, 109, 110, 19}, "Desktop settings"),
    menuCopy("Label4", {34, 139, 151, 19}, "ScreenSaver settings"),
    menuCopy("Label5", {35, 169, 132, 19}, "Advanced settings"),
    menuCopy("Label6", {35, 199, 95, 19}, "Go to Website"),
    hotSpot("Label3", {13, 12, 176, 29}, "logo"),
    hotSpot("Label2", {781, 3, 17, 13}, "close"),
}};
