// Runs one batch in the main window as a user would and stops when its results list has
// been shown: start (About box answered), input and output folders, "Select all", "Show
// Results in One List" on, one click on a batch button. Timing this whole program against
// quorvel-cli on the same files gives the window's cost over the command line's.
//
//   batch_timing INPUT_DIR [OUTPUT_DIR] [--kind smf0|smf1|kar] [--show] [--hold]
//
// Without OUTPUT_DIR the outputs go to a temporary folder that is removed at the end.
// The window runs offscreen unless --show (or QT_QPA_PLATFORM) says otherwise; --hold
// leaves the results list open until it is closed by hand. The settings go to a
// temporary folder, so the user's own are neither read nor changed. Prints the counts
// and the time from the click to the results list; exits with 0 when the list was shown
// with one line per listed file, 1 otherwise, 2 on bad arguments.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "file_controls.hpp"
#include "midi_form.hpp"

namespace {

struct Run {
    QElapsedTimer sinceClick;
    qint64 clickToResults = -1;
    QString counts;
    int lines = 0;
    bool hold = false;
};

// Answers every message box with OK and records the results list when it shows.
class Driver : public QObject {
public:
    explicit Driver(Run& run) : run_(run) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::Show) return false;
        if (auto* box = qobject_cast<QMessageBox*>(object)) {
            if (run_.sinceClick.isValid()) std::fprintf(stderr, "box: %s\n", qPrintable(box->text()));
            QMetaObject::invokeMethod(
                box, [box] { box->button(QMessageBox::Ok)->click(); }, Qt::QueuedConnection);
        } else if (object->objectName() == QStringLiteral("ResultsWindow")) {
            run_.clickToResults = run_.sinceClick.elapsed();
            auto* window = qobject_cast<QDialog*>(object);
            if (auto* counts = window->findChild<QLabel*>(QStringLiteral("ResultsCounts")))
                run_.counts = counts->text();
            if (auto* text = window->findChild<QPlainTextEdit*>(QStringLiteral("ResultsText")))
                run_.lines = text->document()->blockCount();
            if (!run_.hold)
                QMetaObject::invokeMethod(
                    window, [window] { window->accept(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    Run& run_;
};

int Usage() {
    std::fprintf(stderr, "usage: batch_timing INPUT_DIR [OUTPUT_DIR] [--kind smf0|smf1|kar] [--show] [--hold]\n");
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList folders;
    const char* button = "Button2";
    bool show = false;
    Run run;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--show") == 0) {
            show = true;
        } else if (std::strcmp(argv[i], "--hold") == 0) {
            run.hold = true;
        } else if (std::strcmp(argv[i], "--kind") == 0 && i + 1 < argc) {
            const char* kind = argv[++i];
            if (std::strcmp(kind, "smf0") == 0)
                button = "Button2";
            else if (std::strcmp(kind, "smf1") == 0)
                button = "Button1";
            else if (std::strcmp(kind, "kar") == 0)
                button = "Button5";
            else
                return Usage();
        } else if (argv[i][0] == '-') {
            return Usage();
        } else {
            folders << QString::fromLocal8Bit(argv[i]);
        }
    }
    if (folders.isEmpty() || folders.size() > 2) return Usage();
    if (!show && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    // The offscreen platform says on every window that it cannot pass size hints on.
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (!text.contains(QLatin1String("propagateSizeHints")) && !text.contains(QLatin1String("raise()")))
            previous(type, context, text);
    });
    QApplication application(argc, argv);
    QTemporaryDir settings;
    QTemporaryDir scratch;
    if (!settings.isValid() || !scratch.isValid()) return 1;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    const QString output = folders.size() == 2 ? folders.at(1) : scratch.path();

    QElapsedTimer phase;
    phase.start();
    Driver driver(run);
    application.installEventFilter(&driver);
    quorvel::app::TMidiForm form;
    form.show();
    using quorvel::app::DirectoryListBox;
    try {
        form.findChild<DirectoryListBox*>(QStringLiteral("DirectoryListBox1"))->SetDirectory(folders.at(0));
        form.findChild<DirectoryListBox*>(QStringLiteral("DirectoryListBox2"))->SetDirectory(output);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "batch_timing: %s\n", error.what());
        return 1;
    }
    auto* list = form.findChild<QListWidget*>(QStringLiteral("FileListBox1"));
    const int files = list->count();
    const qint64 startUp = phase.restart();
    form.findChild<QPushButton*>(QStringLiteral("Button4"))->click();
    const qint64 selectAll = phase.elapsed();
    auto* option = form.findChild<QAction*>(QStringLiteral("ShowResultsInOneList1"));
    if (!option->isChecked()) option->trigger();

    QObject::connect(&form, &quorvel::app::TMidiForm::BatchFinished, &application, &QApplication::quit);
    QTimer::singleShot(0, &form, [&] {
        run.sinceClick.start();
        form.findChild<QPushButton*>(QString::fromLatin1(button))->click();
    });
    QApplication::exec();

    if (run.clickToResults < 0) {
        std::fprintf(stderr, "batch_timing: no results list was shown\n");
        return 1;
    }
    std::printf("%d files: %s; window and folders %.3f s, select all %.3f s, click to results list %.3f s\n", files,
                qPrintable(run.counts), static_cast<double>(startUp) / 1000.0, static_cast<double>(selectAll) / 1000.0,
                static_cast<double>(run.clickToResults) / 1000.0);
    // One line per file and the final line.
    return run.lines == files + 1 ? 0 : 1;
}
