#include "selector/form2.h"

#include "app/forms.h"
#include "files/folderlisting.h"
#include "files/textfile.h"
#include "forms/dirlistbox.h"
#include "forms/filelistbox.h"
#include "forms/label.h"
#include "forms/textbox.h"
#include "preview/form1.h"
#include "selector/form2_design.h"
#include "skin/lastpath.h"

#include <optional>

Form2::Form2() : Form(Form2Window, Form2Controls)
{
}

void Form2::wireEvents()
{
    // Ahead of Dir1_Change, so that the new folder is watched before that
    // handler reads it.
    on(Dir1(), &DirListBox::change, &Form2::followFolder);
    on(Dir1(), &DirListBox::change, &Form2::Dir1_Change);
    on(Text1(), &TextBox::change, &Form2::Text1_Change);
    on(Label2(), &Label::click, &Form2::Label2_Click);
    on(Label3(), &Label::click, &Form2::Label3_Click);
    on(Following, &FollowedSkin::change, &Form2::folderChanged);
    onDrop(&Form2::closeOn);
    onKey(QKeySequence(Qt::Key_F5), &Form2::rereadFolder);
    onKey(QKeySequence(Qt::CTRL | Qt::Key_G), &Form2::toggleGuides);
}

void Form2::Form_Load()
{
    // Lie exactly over the preview window.
    setTop(form1().top());
    setLeft(form1().left());
    File1().setPattern(QStringLiteral("*.bmp"));
    // Back to the folder of the last close. On the first load the folder is
    // empty, and a folder may have vanished since: the list then stays at
    // the working directory and the load goes on.
    SkipOnFailure()([&] { Dir1().setPath(SkinFolder); });
    InstructionText = QStringLiteral("Instructions:");
    const char *lines[] = {
        "Double Click on a folder in the left to Select a SKINS folder.",
        "You will see the List of Files show up in the File List Window.",
        "Once you have a Skins Folder Selected and can see the List of files",
        "Click On the Logo again or close this window.",
    };
    for (const char *line : lines)
        InstructionText += QStringLiteral("\r\n") + QString::fromLatin1(line);
    Label1().setCaption(InstructionText);
    for (Label *copy : {&Label4(), &Label5(), &Label6(), &Label7(), &Label8(), &Label9()})
        copy->setForeColor(RGB(200, 200, 200));
}

// The folder list's one listing of the new folder serves the file list and
// the background preview of this change.
void Form2::Dir1_Change()
{
    File1().setPath(Dir1().path(), Dir1().listing());
    SkinFolder = Dir1().path();
    const SkipOnFailure step;
    step([&] {
        if (Text1().text() != SkinFolder)
            Text1().setText(SkinFolder);
    });
    LoadBackgroundPreview(*this, SkinFolder, Dir1().listing());
}

void Form2::put(Slot slot, const Picture &picture)
{
    if (slot == Slot::SelectorBackground)
        setPicture(picture);
}

// Read now, decoded when the background is first drawn: the selector stays
// hidden through start-up, and most previews are passed over while browsing.
void Form2::loadFile(Slot slot, Folder &folder, const QString &name)
{
    if (slot == Slot::SelectorBackground)
        loadPicture(folder, name);
}

void Form2::kept(Slot slot, const QString &folder, const QString &broken)
{
    if (slot == Slot::SelectorBackground)
        keepPicture(folder, broken);
}

void Form2::Text1_Change()
{
    const SkipOnFailure step;
    step([&] {
        if (Dir1().path() != Text1().text())
            Dir1().setPath(Text1().text());
    });
}

void Form2::Label2_Click()
{
    unload();
}

void Form2::Label3_Click()
{
    unload();
}

void Form2::closeOn(const QString &folder)
{
    Dir1().setPath(folder);
    unload();
}

// Remembers the folder and applies its skin to the preview window.
void Form2::Form_Unload(int &)
{
    SkinFolder = Dir1().path();
    const SkipOnFailure step;
    TextFile file;
    step([&] { file.openForOutput(LastPathFileName); });
    step([&] { file.writeLine(SkinFolder); });
    step([&] { file.close(); });
    form1().followSkin(SkinFolder);
    ApplySkin(form1(), SkinFolder);
    Following.stop();
    // The keys go to the preview window from now on (F5, Ctrl+G).
    form1().activate();
}

// While shown, the selector follows the folder that its folder list shows.
void Form2::followFolder()
{
    ListedFolder = Dir1().listing() ? Dir1().listing()->signature() : FileSignature();
    Following.start(Dir1().path(), window().isVisible(), Dir1().listing());
}

// Whatever changed while the selector was hidden shows now.
void Form2::shown()
{
    if (Following.folder() == Dir1().path())
        Following.setWatched(true);
    else
        Following.start(Dir1().path(), true); // still at the working directory
    catchUp(FolderChanges::all());
}

void Form2::folderChanged()
{
    catchUp(Following.takeChanges());
}

// The folder list and the file list are read again when entries came or
// went, and the background when its files changed.
void Form2::catchUp(const FolderChanges &changes)
{
    std::optional<FolderListing> listing;
    if (!FileSignature::of(Dir1().path()).unchangedSince(ListedFolder)) {
        listing.emplace(Dir1().path());
        ListedFolder = listing->signature();
        Dir1().reread(&*listing);
        File1().setPath(Dir1().path(), &*listing);
    }
    Following.reload(*this, changes, listing ? &*listing : nullptr);
}

// F5: the folder shown, read again: its subfolders, its file list and its
// background.
void Form2::rereadFolder()
{
    Following.start(Dir1().path(), true);
    const FolderListing listing(Dir1().path());
    ListedFolder = listing.signature();
    Dir1().reread(&listing);
    File1().setPath(Dir1().path(), &listing);
    LoadBackgroundPreview(*this, Dir1().path(), &listing);
}
