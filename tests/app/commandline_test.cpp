// skinpreview's command line: a FOLDER to apply at start, Qt's own options
// passed on, and what is answered before any window system is chosen:
// --help, --version, usage errors and a FOLDER that is no folder.

#include "support/archives.h"
#include "support/fixture.h"

#include "app/commandline.h"
#include "app/forms.h"
#include "forms/dirlistbox.h"
#include "preview/form1.h"
#include "selector/form2.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QShortcut>
#include <QTest>

namespace {

// What readCommandLine makes of "skinpreview" followed by the arguments.
struct Read
{
    std::optional<int> exitStatus;
    QString skinFolder;
    QStringList qt; // the arguments passed to Qt, without the program's name
};

Read read(const QStringList &arguments)
{
    std::vector<QByteArray> bytes{"skinpreview"};
    for (const QString &argument : arguments)
        bytes.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const CommandLine command = readCommandLine(int(argv.size()) - 1, argv.data());
    Read result{command.exitStatus, command.skinFolder, {}};
    for (int i = 1; i < command.qtArgc; ++i)
        result.qt.append(QString::fromLocal8Bit(command.qtArgv[std::size_t(i)]));
    return result;
}

} // namespace

class CommandLineTest : public Fixture
{
    Q_OBJECT

private slots:
    void foldersAndQtOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("folder"); // below the test's folder; empty for none
        QTest::addColumn<QStringList>("qt");
        QTest::newRow("nothing") << QStringList{} << QString() << QStringList{};
        QTest::newRow("a relative folder") << QStringList{"../skins/Ember"} << "skins/Ember" << QStringList{};
        QTest::newRow("an absolute folder, not clean") << QStringList{"@/skins/./Ember/"} << "skins/Ember" << QStringList{};
        QTest::newRow("Qt's options around it")
            << QStringList{"-platform", "offscreen", "../skins/Ember", "-style=fusion", "-reverse"} << "skins/Ember"
            << QStringList{"-platform", "offscreen", "-style=fusion", "-reverse"};
        QTest::newRow("Qt's options with two dashes")
            << QStringList{"--display", ":7", "--stylesheet", "x.qss"} << QString()
            << QStringList{"--display", ":7", "--stylesheet", "x.qss"};
        QTest::newRow("a value that looks like a folder")
            << QStringList{"-title", "../skins/Ember"} << QString() << QStringList{"-title", "../skins/Ember"};
        // ".." goes up from where the link leads, as the file system goes.
        QTest::newRow("a link, then ..") << QStringList{"link/../Ember"} << "skins/Ember" << QStringList{};
        QTest::newRow("a folder that looks like an option")
            << QStringList{"-reverse", "--", "-dash"} << "work/-dash" << QStringList{"-reverse"};
        QTest::newRow("an archive") << QStringList{"../skins/Ember.zip"} << "skins/Ember.zip" << QStringList{};
        QTest::newRow("a folder in an archive")
            << QStringList{"@/skins/collection.7z/Ash/"} << "skins/collection.7z/Ash" << QStringList{};
    }

    void foldersAndQtOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        QFETCH(QStringList, qt);
        makeFolder(QStringLiteral("skins/Ember"));
        makeFolder(QStringLiteral("work/-dash"));
        makeFolder(QStringLiteral("work/Ember"));
        makeFolder(QStringLiteral("skins/inner"));
        QVERIFY(QFile::link(QStringLiteral("../skins/inner"), path(QStringLiteral("work/link"))));
        writeBmp(QStringLiteral("packed/Ash/background.bmp"), Qt::red);
        QVERIFY(packFolder(path(QStringLiteral("packed")), path(QStringLiteral("skins/Ember.zip"))));
        QVERIFY(packFolder(path(QStringLiteral("packed")), path(QStringLiteral("skins/collection.7z"))));
        arguments.replaceInStrings(QStringLiteral("@"), path(QString()));
        const Read command = read(arguments);
        QVERIFY(!command.exitStatus);
        QCOMPARE(command.skinFolder, folder.isEmpty() ? QString() : path(folder));
        QCOMPARE(command.qt, qt);
    }

    // A folder inside an archive, remembered in lastpath.skin, is where the
    // selector starts, as a folder on disk would be.
    void rememberedFolderInAnArchive()
    {
        writeBmp(QStringLiteral("packed/Ash/background.bmp"), Qt::red);
        QVERIFY(packFolder(path(QStringLiteral("packed")), path(QStringLiteral("collection.7z"))));
        const QString ash = path(QStringLiteral("collection.7z/Ash"));
        writeFile(QStringLiteral("work/lastpath.skin"), QFile::encodeName(ash) + "\r\n");
        startProgram();
        QCOMPARE(form2().Dir1().path(), ash);
    }

    // The real program, with no display at all: each of these is answered
    // before it looks for one.
    void answeredWithoutADisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");   // how standard output starts
        QTest::addColumn<QString>("error"); // how standard error starts
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: skinpreview [OPTION]... [FOLDER]\n" << "";
        QTest::newRow("-h, after a folder") << QStringList{"../skins", "-h"} << 0 << "Usage: skinpreview" << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "skinpreview " SKINPREVIEW_VERSION "\n" << "";
        QTest::newRow("a missing folder")
            << QStringList{"Ember"} << 2 << "" << "skinpreview: Ember: no such folder\n";
        QTest::newRow("a file, not a folder")
            << QStringList{"notes.txt"} << 2 << "" << "skinpreview: notes.txt: not a folder\n";
        QTest::newRow("a .zip that is no archive")
            << QStringList{"fake.zip"} << 2 << "" << "skinpreview: fake.zip: not a folder\n";
        QTest::newRow("a folder an archive lacks")
            << QStringList{"fake.zip/Ember"} << 2 << "" << "skinpreview: fake.zip/Ember: no such folder\n";
        QTest::newRow("an unknown option")
            << QStringList{"--follow", "../skins"} << 2 << ""
            << "skinpreview: unknown option '--follow'\nUsage: skinpreview [OPTION]... [FOLDER]\n";
        QTest::newRow("two folders")
            << QStringList{"../skins", "../skins"} << 2 << "" << "skinpreview: more than one FOLDER given\nUsage:";
        QTest::newRow("Qt's option without its value")
            << QStringList{"-platform"} << 2 << "" << "skinpreview: option '-platform' needs a value\nUsage:";
    }

    void answeredWithoutADisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, error);
        if (qEnvironmentVariableIsEmpty("SKINPREVIEW_BINARY"))
            QSKIP("needs the program (SKINPREVIEW_BINARY)");
        makeFolder(QStringLiteral("skins"));
        writeFile(QStringLiteral("work/notes.txt"), "text");
        writeFile(QStringLiteral("work/fake.zip"), "text");
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(workDir());
        program.start(qEnvironmentVariable("SKINPREVIEW_BINARY"), arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString stdoutText = QString::fromUtf8(program.readAllStandardOutput());
        const QString stderrText = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(out.isEmpty() ? stdoutText.isEmpty() : stdoutText.startsWith(out), qPrintable(stdoutText));
        QVERIFY2(error.isEmpty() ? stderrText.isEmpty() : stderrText.startsWith(error), qPrintable(stderrText));
        // Nothing is written.
        QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
    }

    // Every key that either window answers is named in --help and in the
    // manual page's KEYS section: the windows' shortcuts as they are wired,
    // and Enter in the folder list, which the list handles itself.
    void everyKeyIsNamed()
    {
        QStringList keys{QStringLiteral("Enter")};
        form1().loadDesign();
        form2().loadDesign();
        for (QWidget *window : {&form1().window(), &form2().window()}) {
            for (const QShortcut *shortcut : window->findChildren<QShortcut *>())
                keys.append(shortcut->key().toString(QKeySequence::PortableText));
        }
        QVERIFY(keys.contains(QStringLiteral("Ctrl+G")));
        QFile page(QStringLiteral(SKINPREVIEW_SOURCE_DIR "/docs/man/skinpreview.1.scd"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString manual = QString::fromUtf8(page.readAll());
        const QString keySection = manual.section(QStringLiteral("\n# KEYS\n"), 1).section(QStringLiteral("\n# "), 0, 0);
        const QString usage = QString::fromUtf8(SkinpreviewUsage);
        for (const QString &key : keys) {
            const QRegularExpression named(QStringLiteral("(^|[^+\\w])%1($|[^+\\w])").arg(QRegularExpression::escape(key)));
            QVERIFY2(usage.contains(named), qPrintable(key + QStringLiteral(" is not named in --help")));
            QVERIFY2(keySection.contains(QLatin1Char('*') + key + QLatin1Char('*')),
                     qPrintable(key + QStringLiteral(" is not named in the manual page's KEYS")));
        }
    }
};

QTEST_MAIN(CommandLineTest)
#include "commandline_test.moc"
