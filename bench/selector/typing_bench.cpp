// Typing a path: 40 keystrokes into Text1, each running the change
// handlers, against the same 40 keystrokes into a bare QLineEdit of the same
// size and font with no handler: what the toolkit costs by itself. No
// keystroke lands on a huge folder, and the folders on the way hold no
// pictures to preview. The same 40 stat calls are timed for reference.

#include "support/fixtures.h"
#include "support/qt_setup.h"
#include "support/ratios.h"

#include "app/forms.h"
#include "forms/dirlistbox.h"
#include "forms/textbox.h"
#include "preview/form1.h"
#include "selector/form2.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <sys/stat.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int Keystrokes = 40;

// A key press and release as the window system would deliver them.
void typeCharacter(QWidget &widget, QChar character)
{
    // For printable ASCII, Qt's key codes are the upper-case characters.
    const int key = character.toUpper().unicode();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(character));
    QCoreApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(character));
    QCoreApplication::sendEvent(&widget, &release);
}

} // namespace

int main(int argc, char **argv)
{
    bench::QtSetup setup(argc, argv);

    // The box holds the temporary folder's path, as if the user had come
    // there, and 40 keystrokes add "/typing/skins/..." to it: folders on
    // the way, a few plain files at the end. The keystrokes stay away from
    // the machine's own folders, whatever their size.
    const std::string base = setup.temp().path();
    std::string tail = "/typing/skins/typed-skin-folder";
    tail.resize(Keystrokes, 'x');
    const std::string typed = base + tail;
    bench::makeFolder(typed);
    for (int i = 0; i < 5; ++i)
        bench::writeFile(typed + "/readme" + std::to_string(i) + ".txt", "not a picture\n");
    const std::string parking = setup.temp() / "parking";
    bench::makeFolder(parking);

    std::vector<std::string> prefixes;
    for (std::size_t length = 1; length <= tail.size(); ++length)
        prefixes.push_back(base + tail.substr(0, length));
    const QString baseText = QString::fromStdString(base);
    const QString tailText = QString::fromStdString(tail);
    const QString typedText = QString::fromStdString(typed);
    const QString parkingPath = QString::fromStdString(parking);
    std::fprintf(stderr, "Typing \"%s\" after \"%s\" (%zu keystrokes)\n", tail.c_str(), base.c_str(),
                 tail.size());

    // Started as the program starts, with its settings (its allocator's
    // among them: big buffers get mappings of their own), then the
    // selector shown.
    startProgram();
    form2().show();
    QCoreApplication::processEvents();

    // Back to the box holding the folder's path; not timed.
    auto startOver = [&](benchmark::State &state) {
        state.PauseTiming();
        form2().Dir1().setPath(parkingPath);
        form2().Text1().setText(baseText);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    };
    auto check = [&](benchmark::State &state) {
        if (form2().Dir1().path() != typedText || form2().Text1().text() != typedText)
            state.SkipWithError("the selector did not follow the typed path");
    };

    benchmark::RegisterBenchmark("typing/keystrokes", [&](benchmark::State &state) {
        for (auto _ : state) {
            startOver(state);
            TextBox &box = form2().Text1();
            for (const QChar character : tailText)
                typeCharacter(box, character);
        }
        check(state);
    })->UseRealTime()->Unit(benchmark::kMicrosecond);

    // The same edits assigned as text: the handlers without the line edit's
    // key handling, for reference.
    benchmark::RegisterBenchmark("typing/text-assigned", [&](benchmark::State &state) {
        for (auto _ : state) {
            startOver(state);
            TextBox &box = form2().Text1();
            for (qsizetype length = 1; length <= tailText.size(); ++length)
                box.setText(baseText + tailText.left(length));
        }
        check(state);
    })->UseRealTime()->Unit(benchmark::kMicrosecond);

    // The same keystrokes into a bare line edit of Text1's size and font,
    // with no handler connected.
    QLineEdit bare;
    bare.setFont(form2().Text1().font());
    bare.resize(form2().Text1().size());
    bare.show();
    benchmark::RegisterBenchmark("typing/bare-line-edit", [&](benchmark::State &state) {
        for (auto _ : state) {
            state.PauseTiming();
            bare.setText(baseText);
            QCoreApplication::processEvents();
            state.ResumeTiming();
            for (const QChar character : tailText)
                typeCharacter(bare, character);
        }
        if (bare.text() != typedText)
            state.SkipWithError("the line edit did not take the keystrokes");
    })->UseRealTime()->Unit(benchmark::kMicrosecond);

    benchmark::RegisterBenchmark("typing/stat", [&](benchmark::State &state) {
        for (auto _ : state) {
            for (const std::string &prefix : prefixes) {
                struct stat info;
                benchmark::DoNotOptimize(::stat(prefix.c_str(), &info));
            }
        }
    })->UseRealTime()->Unit(benchmark::kMicrosecond);

    const bench::Results results = bench::runBenchmarks(&argc, argv, 5);
    bench::printRatios(results, {
        {"typing-vs-bare-line-edit", "typing/keystrokes", "typing/bare-line-edit", std::nullopt},
        {"typing-vs-stat", "typing/keystrokes", "typing/stat", std::nullopt},
        {"typing-assigned-vs-stat", "typing/text-assigned", "typing/stat", std::nullopt},
        {"typing-bare-line-edit-vs-stat", "typing/bare-line-edit", "typing/stat", std::nullopt},
    });
    return 0;
}
