#include "preview/form1.h"

#include "app/forms.h"
#include "files/folder.h"
#include "files/places.h"
#include "files/textfile.h"
#include "forms/dirlistbox.h"
#include "forms/label.h"
#include "forms/picturebox.h"
#include "preview/form1_design.h"
#include "selector/form2.h"
#include "skin/lastpath.h"

Form1::Form1() : Form(Form1Window, Form1Controls)
{
}

QString Form1::defaultSkinFolder()
{
    return userDataFolder() + QStringLiteral("/tavix/Data/Skins");
}

void Form1::wireEvents()
{
    on(Label1(), &Label::click, &Form1::Label1_Click);
    on(Label2(), &Label::click, &Form1::Label2_Click);
    on(Label3(), &Label::click, &Form1::Label3_Click);
    on(Label4(), &Label::click, &Form1::Label4_Click);
    on(Label5(), &Label::click, &Form1::Label5_Click);
    on(Label6(), &Label::click, &Form1::Label6_Click);
    on(Label7(), &Label::click, &Form1::Label7_Click);
    on(Label8(), &Label::click, &Form1::closeClick);
    on(Label9(), &Label::click, &Form1::closeClick);
    on(Label10(), &Label::click, &Form1::closeClick);
    on(Label11(), &Label::click, &Form1::closeClick);
    onKey(QKeySequence(Qt::CTRL | Qt::Key_G), &Form1::toggleGuides);
    on(AppliedSkin, &FollowedSkin::change, &Form1::skinFilesChanged);
    onDrop(&Form1::applyDroppedSkin);
    onKey(QKeySequence(Qt::Key_F5), &Form1::reloadSkin);
    onKey(QKeySequence(Qt::SHIFT | Qt::Key_F5), &Form1::reloadSkinAfresh);
}

// Points the selector at the default skins folder, then at the folder
// remembered from the last run; either may be missing.
void Form1::Form_Load()
{
    const SkipOnFailure step;
    step([&] { form2().Dir1().setPath(defaultSkinFolder()); });
    TextFile file;
    step([&] { file.openForInput(LastPathFileName); });
    step([&] { LastPath = file.readLine(); });
    step([&] { file.close(); });
    step([&] { form2().Dir1().setPath(LastPath); });
}

// The selector, if still loaded, saves the folder and applies the skin now.
void Form1::Form_Unload(int &)
{
    form2().unload();
    AppliedSkin.stop();
}

// The sticker box and the three panels.
PictureBox *Form1::slotBox(Slot slot)
{
    switch (slot) {
    case Slot::Sticker:
        return &Picture1();
    case Slot::DesktopPanel:
        return &Picture2();
    case Slot::ScreenSaverPanel:
        return &Picture3();
    case Slot::AdvancedPanel:
        return &Picture4();
    case Slot::PreviewBackground:
    case Slot::SelectorBackground:
        break;
    }
    return nullptr;
}

void Form1::put(Slot slot, const Picture &picture)
{
    place(slot, picture, QString());
}

// Decoded at once, and the file remembered: the guides name it.
void Form1::loadFile(Slot slot, Folder &folder, const QString &name)
{
    place(slot, LoadPicture(folder, name), folder.pathOf(name));
}

// The guides say that the slot's picture is not the skin's.
void Form1::kept(Slot slot, const QString &folder, const QString &broken)
{
    if (slot == Slot::PreviewBackground)
        keepPicture(folder, broken);
    else if (PictureBox *box = slotBox(slot))
        box->keepPicture(folder, broken);
}

void Form1::place(Slot slot, const Picture &picture, const QString &source)
{
    if (slot == Slot::PreviewBackground)
        setPicture(picture, source);
    else if (PictureBox *box = slotBox(slot))
        box->setPicture(picture, source);
}

// Highlights menu item k (1 to 6) in red and the others in black, then
// hides every panel but the one the item shows, and shows that one last.
void Form1::selectMenuItem(int item, PictureBox *panel)
{
    Label *items[] = {&Label1(), &Label2(), &Label3(), &Label4(), &Label5(), &Label6()};
    for (int i = 0; i < 6; ++i)
        items[i]->setForeColor(i + 1 == item ? RGB(255, 0, 0) : RGB(0, 0, 0));
    for (PictureBox *other : {&Picture2(), &Picture3(), &Picture4()}) {
        if (other != panel)
            other->setVisible(false);
    }
    if (panel)
        panel->setVisible(true);
}

void Form1::Label1_Click()
{
    selectMenuItem(1, nullptr);
}

void Form1::Label2_Click()
{
    selectMenuItem(2, nullptr);
}

void Form1::Label3_Click()
{
    selectMenuItem(3, &Picture2());
}

void Form1::Label4_Click()
{
    selectMenuItem(4, &Picture3());
}

void Form1::Label5_Click()
{
    selectMenuItem(5, &Picture4());
}

void Form1::Label6_Click()
{
    selectMenuItem(6, nullptr);
}

void Form1::Label7_Click()
{
    form2().show();
}

void Form1::closeClick()
{
    unload();
}

// A folder dropped on the window is applied and remembered as closing the
// selector on it would; a selector that is shown closes.
void Form1::applyDroppedSkin(const QString &folder)
{
    form2().closeOn(folder);
}

void Form1::followSkin(const QString &folder)
{
    AppliedSkin.start(folder, true);
}

// The applied folder settled after a change: the slots whose files changed
// load again.
void Form1::skinFilesChanged()
{
    AppliedSkin.reload(*this, AppliedSkin.takeChanges());
}

// Loads every slot again from the applied folder, as closing the selector
// does, but writes no "lastpath.skin"; nothing happens before a skin has
// been applied.
void Form1::reloadSkin()
{
    const QString folder = AppliedSkin.folder();
    if (folder.isEmpty())
        return;
    followSkin(folder);
    ApplySkin(*this, folder);
}

// The same from the built-in pictures: the skin as a new user sees it.
void Form1::reloadSkinAfresh()
{
    if (AppliedSkin.folder().isEmpty())
        return;
    restoreDesignPictures();
    reloadSkin();
}
