#include "preview/form1_design.h"

namespace {

constexpr FontDesign MenuFont = {"Arial", 9.75, 700};

// Menu items and hot spots: transparent labels over the background picture.
constexpr ControlDesign menuItem(const char *name, QRect geometry, const char *text)
{
    return {.kind = ControlKind::Label, .name = name, .geometry = geometry, .text = text,
            .font = MenuFont, .foreColor = SystemColor::WindowText};
}

constexpr ControlDesign hotSpot(const char *name, const char *parent, QRect geometry)
{
    return {.kind = ControlKind::Label, .name = name, .parent = parent, .geometry = geometry};
}

constexpr ControlDesign panel(const char *name, const char *picture)
{
    return {.kind = ControlKind::PictureBox, .name = name, .geometry = {184, 0, 615, 599},
            .visible = false, .picture = picture};
}

} // namespace

const WindowDesign Form1Window = {
    .caption = "Form1",
    .clientSize = {800, 600},
    .position = {289, 38},
    .picture = ":/background.bmp",
    .icon = ":/icon.bmp",
};

const std::array<ControlDesign, 15> Form1Controls = {{
    menuItem("Label1", {35, 49, 95, 19}, "My Collection"),
    menuItem("Label2", {35, 79, 105, 19}, "Full Collection"),
    menuItem("Label3", {35, 109, 110, 19}, "Desktop settings"),
    menuItem("Label4", {34, 139, 151, 19}, "ScreenSaver settings"),
    menuItem("Label5", {35, 169, 132, 19}, "Advanced settings"),
    menuItem("Label6", {35, 199, 95, 19}, "Go to Website"),
    hotSpot("Label7", nullptr, {13, 13, 166, 31}),  // over the logo
    hotSpot("Label8", nullptr, {784, 0, 19, 19}),   // over the close glyph
    {.kind = ControlKind::PictureBox, .name = "Picture1", .geometry = {5, 234, 178, 357},
     .picture = ":/sticker.bmp"},
    panel("Picture2", ":/desktop_settings.bmp"),
    hotSpot("Label11", "Picture2", {596, 0, 19, 19}),
    panel("Picture3", ":/screensaver_settings.bmp"),
    hotSpot("Label10", "Picture3", {596, 0, 19, 19}),
    panel("Picture4", ":/advanced_settings.bmp"),
    hotSpot("Label9", "Picture4", {596, 0, 19, 19}),
}};
