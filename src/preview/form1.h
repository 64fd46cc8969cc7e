#pragma once

#include "forms/form.h"
#include "forms/label.h"
#include "forms/picturebox.h"
#include "skin/followedskin.h"
#include "skin/skinfiles.h"

// The preview window: a frameless mock-up of the skinned application's main
// window with a six-item menu, a sticker and three settings panels. A
// skin's pictures reach its slots through ApplySkin.
class Form1 : public Form, public SlotTarget
{
public:
    Form1();

    Label &Label1() { return control<Label>("Label1"); }
    Label &Label2() { return control<Label>("Label2"); }
    Label &Label3() { return control<Label>("Label3"); }
    Label &Label4() { return control<Label>("Label4"); }
    Label &Label5() { return control<Label>("Label5"); }
    Label &Label6() { return control<Label>("Label6"); }
    Label &Label7() { return control<Label>("Label7"); }
    Label &Label8() { return control<Label>("Label8"); }
    Label &Label9() { return control<Label>("Label9"); }
    Label &Label10() { return control<Label>("Label10"); }
    Label &Label11() { return control<Label>("Label11"); }
    PictureBox &Picture1() { return control<PictureBox>("Picture1"); }
    PictureBox &Picture2() { return control<PictureBox>("Picture2"); }
    PictureBox &Picture3() { return control<PictureBox>("Picture3"); }
    PictureBox &Picture4() { return control<PictureBox>("Picture4"); }

    // The folder read from "lastpath.skin" at start-up.
    QString LastPath;

    // The picture box that shows slot; null for the window background.
    PictureBox *slotBox(Slot slot);

    // The skins folder tried at every start: "tavix/Data/Skins" in the
    // user's application-data folder.
    static QString defaultSkinFolder();

    // The folder applied last, which the window follows: its files are
    // loaded again as they change. Empty until a skin is applied.
    FollowedSkin AppliedSkin{ApplySkinSteps};
    // Follows folder from now on; call it before ApplySkin reads the folder.
    void followSkin(const QString &folder);

private:
    void wireEvents() override;
    void Form_Load() override;
    void Form_Unload(int &cancel) override;
    void put(Slot slot, const Picture &picture) override;
    void loadFile(Slot slot, Folder &folder, const QString &name) override;
    void kept(Slot slot, const QString &folder, const QString &broken) override;
    void place(Slot slot, const Picture &picture, const QString &source);

    void Label1_Click();
    void Label2_Click();
    void Label3_Click();
    void Label4_Click();
    void Label5_Click();
    void Label6_Click();
    void Label7_Click();
    void closeClick(); // Label8_Click to Label11_Click: the close glyphs
    void applyDroppedSkin(const QString &folder);
    void skinFilesChanged();
    void reloadSkin();       // F5
    void reloadSkinAfresh(); // Shift+F5

    void selectMenuItem(int item, PictureBox *panel);
};
