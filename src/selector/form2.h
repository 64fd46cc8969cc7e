#pragma once

#include "forms/dirlistbox.h"
#include "forms/filelistbox.h"
#include "forms/form.h"
#include "forms/label.h"
#include "forms/textbox.h"
#include "skin/followedskin.h"
#include "skin/skinfiles.h"

// The skin selector: browses folders, lists a folder's BMP files, previews
// its background, and on closing remembers the folder and applies the skin
// to the preview window. The background preview reaches its window
// background through LoadBackgroundPreview.
class Form2 : public Form, public SlotTarget
{
public:
    Form2();

    DirListBox &Dir1() { return control<DirListBox>("Dir1"); }
    FileListBox &File1() { return control<FileListBox>("File1"); }
    TextBox &Text1() { return control<TextBox>("Text1"); }
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
    Label &Label12() { return control<Label>("Label12"); }

    // The folder chosen, as the folder list reports it; outlives the window.
    QString SkinFolder;
    QString InstructionText;
    // The folder that the folder list shows, followed while the selector is
    // shown: its file list and background.
    FollowedSkin Following{BackgroundPreviewSteps, FollowedSkin::Watch::FolderShown};

    // Moves the folder list to folder and closes on it, so that the folder
    // is remembered and applied as if the user had browsed there and
    // closed the selector. Raises RuntimeError, closing nothing, when the
    // folder list does not take the folder.
    void closeOn(const QString &folder);

private:
    void wireEvents() override;
    void Form_Load() override;
    void Form_Unload(int &cancel) override;
    void put(Slot slot, const Picture &picture) override;
    void loadFile(Slot slot, Folder &folder, const QString &name) override;
    void kept(Slot slot, const QString &folder, const QString &broken) override;

    void Dir1_Change();
    void Text1_Change();
    void Label2_Click();
    void Label3_Click();
    void shown() override;
    void followFolder();
    void folderChanged();
    void rereadFolder(); // F5
    void catchUp(const FolderChanges &changes);

    FileSignature ListedFolder; // the folder as the file list last read it
};
