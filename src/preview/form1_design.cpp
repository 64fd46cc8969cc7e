#include "preview/form1_design.h"

namespace {

constexpr FontDesign MenuFont = {"Arial", 9.75, 700};

// Menu items and hot spots: transparent labels over the background picture.
constexpr ControlDesign menuItem(const char *name, QRect geometry, const char *text)
{
    return {.kind = ControlKind::Label, .name = name, .geometry = geometry, .text = text,
            .font = MenuFont, .foreColor = SystemColor::WindowText, .guide = {"menu", true}};
}

constexpr ControlDesign hotSpot(const char *name, const char *parent, QRect geometry, const char *guide)
{
    return {.kind = ControlKind::Label, .name = name, .parent = parent, .geometry = geometry,
            .guide = {guide, true}};
}

constexpr ControlDesign panel(const char *name, const char *picture, const char *guide)
{
    return {.kind = ControlKind::PictureBox, .name = name, .geometry = {184, 0, 615, 599},
            .visible = false, .picture = picture, .guide = {guide}};
}

} // namespace

const WindowDesign Form1Window = {
    .caption = "Form1",
    .clientSize = {800, 600},
    .position = {289, 38},
    .picture = ":/background.bmp",
    .icon = ":/icon.bmp",
    .guide = "background",
};

const std::array<ControlDesign, 15> Form1Controls = {{
    menuItem("Label1", {35, 49, 95, 19}, "My Collection"),
    menuItem("Label2", {35, 79, 105, 19}, "Full Collection"),
    menuItem("Label3", {35, 109, 110, 19}, "Desktop settings"),
    menuItem("Label4", {34, 139, 151, 19}, "ScreenSaver settings"),
    menuItem("Label5", {35, 169, 132, 19}, "Advanced settings"),
    menuItem("Label6", {35, 199, 95, 19}, "Go to Website"),
    hotSpot("Label7", nullptr, {13, 13, 166, 31}, "logo"),
    hotSpot("Label8", nullptr, {784, 0, 19, 19}, "close"),
    {.kind = ControlKind::PictureBox, .name = "Picture1", .geometry = {5, 234, 178, 357},
     .picture = ":/sticker.bmp", .guide = {"sticker"}},
    panel("Picture2", ":/desktop_settings.bmp", "Desktop settings panel"),
    hotSpot("Label11", "Picture2", {596, 0, 19, 19}, "close"),
    panel("Picture3", ":/screensaver_settings.bmp", "ScreenSaver settings panel"),
    hotSpot("Label10", "Picture3", {596, 0, 19, 19}, "close"),
    panel("Picture4", ":/advanced_settings.bmp", "Advanced settings panel"),
    hotSpot("Label9", "Picture4", {596, 0, 19, 19}, "close"),
}};
