// The main window, offscreen: its components, its wiring, and batches over real files.
// Message boxes are answered from an application-wide event filter as they appear.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QCheckBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <type_traits>

#include "quorvel/batch/engine_calls.hpp"
#include "quorvel/engine/errors.hpp"
#include "file_controls.hpp"
#include "quorvel/batch/messages.hpp"
#include "midi_form.hpp"
#include "smf_test_support.hpp"

using quorvel::app::TMidiForm;
namespace support = quorvel::testing;

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QStringList buttons;  // texts of the buttons, in order
    QString defaultButton;
    QString escapeButton;
    bool mainWindowVisible;
    QString checkBox;  // the check box's caption, if the box has one
};

// Hold leaves the box open and hands it to BoxCatcher::hold, which must answer it later
// from the box's own event loop: the test's code waits under that loop until the box closes.
// OkForAll and CancelForAll check the box's check box first.
enum class Reply { Ok, Cancel, Escape, CloseBox, Hold, OkForAll, CancelForAll };

struct SeenResults {
    QString counts;
    QString text;
    QString clipboard;  // what "Copy" put on the clipboard
};

// Records every QMessageBox as it is shown and answers it once its event loop runs (or
// hands it to hold); a results window is recorded, its "Copy" pressed, and closed.
class BoxCatcher : public QObject {
public:
    QList<SeenBox> seen;
    QList<Reply> replies;  // answers in order; OK when none is left
    QList<SeenResults> results;
    std::function<void(QMessageBox*)> hold;  // answers a held box; without it, OK at once
    QStringList folderNames;                 // typed into the New Folder question, in order; Cancel when none is left

    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show && object->objectName() == QStringLiteral("ResultsWindow")) {
            auto* window = qobject_cast<QDialog*>(object);
            SeenResults r;
            if (auto* counts = window->findChild<QLabel*>(QStringLiteral("ResultsCounts"))) r.counts = counts->text();
            if (auto* text = window->findChild<QPlainTextEdit*>(QStringLiteral("ResultsText")))
                r.text = text->toPlainText();
            if (auto* copy = window->findChild<QPushButton*>(QStringLiteral("CopyButton"))) {
                QApplication::clipboard()->clear();
                copy->click();
                r.clipboard = QApplication::clipboard()->text();
            }
            results << r;
            QMetaObject::invokeMethod(
                window, [window] { window->accept(); }, Qt::QueuedConnection);
            return false;
        }
        if (auto* input = qobject_cast<QInputDialog*>(object); input != nullptr && event->type() == QEvent::Show) {
            seen << SeenBox{input->windowTitle(), input->labelText(), QMessageBox::NoIcon, {}, {}, {}, true, {}};
            const QString name = folderNames.isEmpty() ? QString() : folderNames.takeFirst();
            QMetaObject::invokeMethod(
                input,
                [input, name] {
                    if (name.isEmpty()) return input->reject();
                    input->setTextValue(name);
                    input->accept();
                },
                Qt::QueuedConnection);
            return false;
        }
        auto* box = qobject_cast<QMessageBox*>(object);
        if (box == nullptr || event->type() != QEvent::Show) return false;
        SeenBox s{box->windowTitle(), box->text(), box->icon(), {}, {}, {}, false, {}};
        if (box->checkBox() != nullptr) s.checkBox = box->checkBox()->text();
        for (QAbstractButton* b : box->buttons()) s.buttons << b->text().remove(QLatin1Char('&'));
        std::sort(s.buttons.begin(), s.buttons.end());
        if (box->defaultButton() != nullptr) s.defaultButton = box->defaultButton()->text().remove(QLatin1Char('&'));
        if (box->escapeButton() != nullptr) s.escapeButton = box->escapeButton()->text().remove(QLatin1Char('&'));
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TMidiForm*>(w) != nullptr && w->isVisible()) s.mainWindowVisible = true;
        seen << s;
        const Reply reply = replies.isEmpty() ? Reply::Ok : replies.takeFirst();
        if (reply == Reply::Hold && hold) {
            hold(box);
            return false;
        }
        QMetaObject::invokeMethod(
            box,
            [box, reply] {
                switch (reply) {
                case Reply::Ok: box->button(QMessageBox::Ok)->click(); break;
                case Reply::Cancel: box->button(QMessageBox::Cancel)->click(); break;
                case Reply::Escape: QTest::keyClick(box, Qt::Key_Escape); break;
                case Reply::CloseBox: box->close(); break;
                case Reply::Hold: box->button(QMessageBox::Ok)->click(); break;
                case Reply::OkForAll:
                    box->checkBox()->setChecked(true);
                    box->button(QMessageBox::Ok)->click();
                    break;
                case Reply::CancelForAll:
                    box->checkBox()->setChecked(true);
                    box->button(QMessageBox::Cancel)->click();
                    break;
                }
            },
            Qt::QueuedConnection);
        return false;
    }

    QStringList Texts() const {
        QStringList texts;
        for (const SeenBox& s : seen) texts << s.text;
        return texts;
    }
};

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

support::Bytes Format1Song() {
    return support::Concat({support::Header(1, 2, 96), support::Track(support::Hex("00 FF 2F 00")),
                            support::Track(support::Hex("00 90 3C 40 60 80 3C 40 00 FF 2F 00"))});
}

support::Bytes Format0Song() {
    return support::Concat({support::Header(0, 1, 96),
                            support::Track(support::Hex("00 90 3C 40 60 80 3C 40 00 FF 2F 00"))});
}

QStringList Entries(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
}

// Engine calls that take as long as the test wants: conversion number slowFile (from 1)
// waits until Release() (or a time-out, so a failing test cannot hang), and conversion
// number refusedFile is refused as not a format-1 file. Calls come from the batch's thread.
class SlowEngine final : public quorvel::batch::EngineCalls {
public:
    explicit SlowEngine(int slowFile, int refusedFile = 0) : slowFile_(slowFile), refusedFile_(refusedFile) {}
    std::atomic<int> conversions{0};
    std::atomic<bool> waiting{false};
    void Release() {
        const std::lock_guard lock(mutex_);
        released_ = true;
        gate_.notify_all();
    }
    int ConvertToType0(const std::filesystem::path&, const std::filesystem::path&) override {
        const int number = ++conversions;
        if (number == refusedFile_) return 2;
        if (number == slowFile_) {
            std::unique_lock lock(mutex_);
            waiting = true;
            gate_.wait_for(lock, std::chrono::seconds(20), [this] { return released_; });
            waiting = false;
        }
        return 0;
    }
    int ConvertToType1(const std::filesystem::path& in, const std::filesystem::path& out) override {
        return ConvertToType0(in, out);
    }
    std::optional<std::string> CopyFileFailIfExists(const std::filesystem::path&,
                                                    const std::filesystem::path&) override {
        return std::string("not copied");
    }
    std::optional<std::string> CopyFileReplacing(const std::filesystem::path& in,
                                                 const std::filesystem::path& out) override {
        return CopyFileFailIfExists(in, out);
    }

private:
    const int slowFile_;
    const int refusedFile_;
    std::mutex mutex_;
    std::condition_variable gate_;
    bool released_ = false;
};

// Counts the events of one type that a widget gets, and when the first came.
class EventCounter : public QObject {
public:
    EventCounter(QEvent::Type type, const QElapsedTimer& clock) : type_(type), clock_(clock) {}
    int count = 0;
    qint64 firstAt = -1;  // milliseconds on the clock
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_ && count++ == 0) firstAt = clock_.elapsed();
        return false;
    }

private:
    QEvent::Type type_;
    const QElapsedTimer& clock_;
};

// Engine calls that wait until a second conversion runs beside them (or a time-out, so
// that a batch of one worker still ends), counting how many ran at once.
class OverlapEngine final : public quorvel::batch::EngineCalls {
public:
    std::atomic<int> mostAtOnce{0};
    int ConvertToType0(const std::filesystem::path&, const std::filesystem::path&) override {
        std::unique_lock lock(mutex_);
        ++running_;
        mostAtOnce = std::max(mostAtOnce.load(), running_);
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(2), [this] { return running_ >= 2; });
        changed_.wait_for(lock, std::chrono::milliseconds(50));
        --running_;
        return 0;
    }
    int ConvertToType1(const std::filesystem::path& in, const std::filesystem::path& out) override {
        return ConvertToType0(in, out);
    }
    std::optional<std::string> CopyFileFailIfExists(const std::filesystem::path&,
                                                    const std::filesystem::path&) override {
        return std::nullopt;
    }
    std::optional<std::string> CopyFileReplacing(const std::filesystem::path& in,
                                                 const std::filesystem::path& out) override {
        return CopyFileFailIfExists(in, out);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int running_ = 0;
};

// Engine calls that fail with a file error on the second conversion.
class FailingEngine final : public quorvel::batch::EngineCalls {
public:
    int conversions = 0;
    int ConvertToType0(const std::filesystem::path&, const std::filesystem::path&) override {
        if (++conversions == 2) throw quorvel::engine::IoError(101);
        return 0;
    }
    int ConvertToType1(const std::filesystem::path& in, const std::filesystem::path& out) override {
        return ConvertToType0(in, out);
    }
    std::optional<std::string> CopyFileFailIfExists(const std::filesystem::path&,
                                                    const std::filesystem::path&) override {
        return std::string();
    }
    std::optional<std::string> CopyFileReplacing(const std::filesystem::path& in,
                                                 const std::filesystem::path& out) override {
        return CopyFileFailIfExists(in, out);
    }
};

}  // namespace

class MidiFormTest : public QObject {
    Q_OBJECT

private:
    BoxCatcher catcher_;

    QTemporaryDir settingsDir_;

    // The component of that name. A missing one fails the test, and a stand-in owned by
    // the form is returned so that the rest of the test runs on without a crash.
    template <class T>
    static T* Child(QWidget* form, const char* name) {
        if (T* child = form->findChild<T*>(QString::fromLatin1(name))) return child;
        QTest::qFail(qPrintable(QStringLiteral("missing component ") + QLatin1String(name)), __FILE__, __LINE__);
        if constexpr (std::is_base_of_v<QWidget, T>)
            return new T(form);
        else
            return new T(static_cast<QObject*>(form));
    }

    // Clicks a batch button and waits until the batch has ended.
    static bool RunBatch(TMidiForm& form, const char* button) {
        QSignalSpy finished(&form, &TMidiForm::BatchFinished);
        Child<QPushButton>(&form, button)->click();
        return finished.count() > 0 || finished.wait(60000);
    }

    // Points both trees of a window at directories, as the user would by entering them.
    static void Point(TMidiForm& form, const QString& input, const QString& output) {
        Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox1")->SetDirectory(input);
        Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox2")->SetDirectory(output);
    }

private slots:
    void initTestCase() {
        // The remembered option goes to a settings folder of this test run only.
        QVERIFY(settingsDir_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
        qApp->installEventFilter(&catcher_);
        // The offscreen platform says on every window that it cannot pass size hints on,
        // and that it cannot raise a window.
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.contains(QLatin1String("propagateSizeHints")) && !text.contains(QLatin1String("raise()")))
                previous(type, context, text);
        });
    }
    void init() {
        catcher_.seen.clear();
        catcher_.replies.clear();
        catcher_.hold = nullptr;
        catcher_.results.clear();
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"), QStringLiteral("Quorvel"))
            .clear();
    }

    void startShowsAboutBeforeTheWindow() {
        TMidiForm form;
        QCOMPARE(catcher_.seen.size(), 1);
        const SeenBox& about = catcher_.seen.front();
        QCOMPARE(about.title, QStringLiteral("Information"));
        QCOMPARE(about.icon, QMessageBox::Information);
        QCOMPARE(about.buttons, QStringList{QStringLiteral("OK")});
        QVERIFY(!about.mainWindowVisible);
        // The carriage returns of the About text show as line breaks.
        const QString expected = QStringLiteral(
            "Quorvel Version 2.0 (9850)\n"
            "Desktop edition by the Quorvel developers\n\n"
            "MIDI conversion code by the two Quorvel engine authors\n\n"
            "Converts Standard MIDI Files between format 0 and format 1\n");
        QCOMPARE(about.text, expected);

        // Help > About... shows the same box again, with the same text.
        Child<QAction>(&form, "About1")->trigger();
        QCOMPARE(catcher_.seen.size(), 2);
        QCOMPARE(catcher_.seen.at(1).text, expected);
        QCOMPARE(catcher_.seen.at(1).title, QStringLiteral("Information"));
    }

    void aboutTextHasSixCarriageReturnsAndNoLineFeed() {
        const std::string text = quorvel::batch::AboutText();
        QCOMPARE(std::count(text.begin(), text.end(), '\r'), 6);
        QCOMPARE(std::count(text.begin(), text.end(), '\n'), 0);
    }

    void componentsExistWithCaptionsAndNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        const auto row = [](const char* name, const char* caption) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption);
        };
        // "&" marks the mnemonic letter.
        row("Button2", "Convert to SMF &0 (.MID)");
        row("Button1", "Convert to SMF &1 (.MID)");
        row("Button5", "Convert to &Karaoke  (.KAR)");
        row("Button3", "E&xit");
        row("Button4", "&Select all");
        row("GroupBox1", "&Input File(s)");
        row("GroupBox2", "O&utput Directory");
        row("Options1", "&Options");
        row("View1", "&View");
        row("Menu", "&Help");
        row("PromptBetweenFiles1", "Prompt &After Each File");
        row("PromptBeforeOverwriting1", "Prompt &Before Overwriting Files");
        row("ShowResultsInOneList1", "Show &Results in One List");
        row("Refresh1", "&Refresh");
        row("NewFolder1", "&New Folder...");
        row("About1", "&About...");
        row("MidiPanel", "");
        row("MainMenu1", "");
        row("DriveComboBox1", "");
        row("DriveComboBox2", "");
        row("DirectoryListBox1", "");
        row("DirectoryListBox2", "");
        row("FileListBox1", "");
        row("FilterComboBox1", "");
    }

    void componentsExistWithCaptionsAndNames() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        TMidiForm form;
        QCOMPARE(form.objectName(), QStringLiteral("MidiForm"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Quorvel"));
        QObject* component = form.findChild<QObject*>(name);
        QVERIFY2(component != nullptr, qPrintable(name));
        QString text;
        if (auto* b = qobject_cast<QPushButton*>(component)) text = b->text();
        if (auto* g = qobject_cast<QGroupBox*>(component)) text = g->title();
        if (auto* m = qobject_cast<QMenu*>(component)) text = m->title();
        if (auto* a = qobject_cast<QAction*>(component)) text = a->text();
        QCOMPARE(text, caption);
    }

    void controlsStartAsDesigned() {
        TMidiForm form;
        auto* filter = Child<QComboBox>(&form, "FilterComboBox1");
        QCOMPARE(filter->count(), 2);
        QCOMPARE(filter->itemText(0), QStringLiteral("Midi Files (*.mid)"));
        QCOMPARE(filter->itemText(1), QStringLiteral("Karaoke Files (*.kar)"));
        QCOMPARE(filter->currentIndex(), 0);
        QCOMPARE(Child<QListWidget>(&form, "FileListBox1")->selectionMode(), QAbstractItemView::ExtendedSelection);
        auto* between = Child<QAction>(&form, "PromptBetweenFiles1");
        auto* before = Child<QAction>(&form, "PromptBeforeOverwriting1");
        QVERIFY(between->isCheckable() && !between->isChecked());
        QVERIFY(before->isCheckable() && before->isChecked());
        QVERIFY(between->shortcut().isEmpty() && before->shortcut().isEmpty());
        for (const char* drive : {"DriveComboBox1", "DriveComboBox2"}) {
            auto* combo = Child<QComboBox>(&form, drive);
            QVERIFY(combo->findText(QDir::toNativeSeparators(QDir::rootPath())) >= 0);
            QVERIFY(combo->currentIndex() >= 0);
        }
        // Both trees and the file list start in the process's current directory.
        const QString cwd = quorvel::app::NormalDirectory(QDir::currentPath());
        QCOMPARE(Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox1")->Directory(), cwd);
        QCOMPARE(Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox2")->Directory(), cwd);
        QCOMPARE(Child<quorvel::app::FileListBox>(&form, "FileListBox1")->Directory(), cwd);
        QCOMPARE(Child<quorvel::app::FileListBox>(&form, "FileListBox1")->Mask(), QStringLiteral("*.mid"));
    }

    void layoutKeepsTheArrangementAndClipsNothing() {
        TMidiForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const auto rect = [&form](const char* name) {
            auto* w = Child<QWidget>(&form, name);
            return QRect(w->mapTo(&form, QPoint(0, 0)), w->size());
        };
        QVERIFY(rect("GroupBox1").right() < rect("GroupBox2").left());
        QVERIFY(qAbs(rect("GroupBox1").top() - rect("GroupBox2").top()) <= 2);
        for (const char* b : {"Button2", "Button1", "Button5", "Button3"}) {
            QVERIFY2(rect(b).left() > rect("GroupBox1").right(), b);
            QVERIFY2(rect(b).top() > rect("GroupBox2").bottom(), b);
        }
        QVERIFY(rect("Button2").bottom() < rect("Button1").top());
        QVERIFY(rect("Button1").bottom() < rect("Button5").top());
        QVERIFY(rect("Button5").bottom() < rect("Button3").top());
        QVERIFY(rect("Button4").top() > rect("GroupBox1").bottom());
        QVERIFY(rect("Button4").right() < rect("GroupBox2").left());
        QCOMPARE(rect("Button4").top(), rect("Button3").top());
        for (auto* button : form.findChildren<QPushButton*>()) {
            QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->objectName()));
            QVERIFY2(button->height() >= button->sizeHint().height(), qPrintable(button->objectName()));
            QVERIFY2(form.rect().contains(rect(qPrintable(button->objectName()))), qPrintable(button->objectName()));
        }
        for (const char* g : {"GroupBox1", "GroupBox2"}) {
            auto* box = Child<QWidget>(&form, g);
            QVERIFY2(rect(g).width() >= box->minimumSizeHint().width(), g);
        }
    }

    void filterDrivesTheMask() {
        support::TempDir dir;
        for (const char* name : {"b.mid", "A.MID", "c.kar", "d.txt", "E.Kar", "f.midi", "mid"})
            support::WriteFile(dir / name, {0});
        std::filesystem::create_directory(dir / "sub.mid");
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        auto* list = Child<QListWidget>(&form, "FileListBox1");
        QCOMPARE(Entries(list), (QStringList{QStringLiteral("A.MID"), QStringLiteral("b.mid")}));
        auto* filter = Child<QComboBox>(&form, "FilterComboBox1");
        filter->setCurrentIndex(1);
        QCOMPARE(Entries(list), (QStringList{QStringLiteral("c.kar"), QStringLiteral("E.Kar")}));
        filter->setCurrentIndex(0);
        QCOMPARE(Entries(list), (QStringList{QStringLiteral("A.MID"), QStringLiteral("b.mid")}));
    }

    void directoryTreeEntersAndTheListFollows() {
        support::TempDir dir;
        std::filesystem::create_directory(dir / "inner");
        support::WriteFile(dir / "inner" / "x.mid", {0});
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        auto* tree = Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox1");
        QTreeWidgetItem* inner = nullptr;
        for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it)
            if ((*it)->text(0) == QStringLiteral("inner")) inner = *it;
        QVERIFY(inner != nullptr);
        emit tree->itemActivated(inner, 0);
        QCOMPARE(tree->Directory(), quorvel::app::NormalDirectory(Q(dir / "inner")));
        QCOMPARE(Entries(Child<QListWidget>(&form, "FileListBox1")), QStringList{QStringLiteral("x.mid")});
        // The tree shows the ancestors above the current directory.
        QVERIFY(!tree->findItems(QDir::toNativeSeparators(QDir::rootPath()), Qt::MatchExactly).isEmpty());
        QVERIFY(catcher_.seen.size() == 1);  // only the About box
    }

    void clickWithoutMovingKeepsTheList() {
        support::TempDir dir;
        for (const char* name : {"a.mid", "b.mid"}) support::WriteFile(dir / name, {0});
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        auto* list = Child<QListWidget>(&form, "FileListBox1");
        list->item(1)->setSelected(true);
        auto* tree = Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox1");
        emit tree->itemClicked(tree->currentItem(), 0);
        QCOMPARE(list->selectedItems().size(), 1);
        QCOMPARE(list->selectedItems().front()->text(), QStringLiteral("b.mid"));
    }

#ifndef _WIN32
    void directoriesDifferingInCaseAreTwoDirectories() {
        support::TempDir dir;
        std::filesystem::create_directory(dir / "Music");
        std::filesystem::create_directory(dir / "music");
        support::WriteFile(dir / "Music" / "upper.mid", {0});
        support::WriteFile(dir / "music" / "lower.mid", {0});
        TMidiForm form;
        Point(form, Q(dir / "Music"), Q(dir.Path()));
        auto* list = Child<QListWidget>(&form, "FileListBox1");
        QCOMPARE(Entries(list), QStringList{QStringLiteral("upper.mid")});
        Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox1")->SetDirectory(Q(dir / "music"));
        QCOMPARE(Entries(list), QStringList{QStringLiteral("lower.mid")});
        QCOMPARE(QString::fromStdString(form.FileDirectory()), quorvel::app::NormalDirectory(Q(dir / "music")));
    }
#endif

    void goneFoldersAreSaidAndTheTreeMovesToTheNearestAbove() {
        support::TempDir dir;
        support::WriteFile(dir / "a.mid", {0});
        std::filesystem::create_directories(dir / "out" / "deep");
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir / "out" / "deep"));
        auto* tree = Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox1");
        const QString before = tree->Directory();
        catcher_.seen.clear();
        // An entry of the tree that is gone by the time it is opened.
        const QString gone = Q(dir / "gone");
        emit tree->EnterRequested(gone);
        QCOMPARE(catcher_.seen.size(), 1);
        QCOMPARE(catcher_.seen.front().title, QStringLiteral("Quorvel"));
        QCOMPARE(catcher_.seen.front().icon, QMessageBox::Critical);
        QCOMPARE(catcher_.seen.front().text, QStringLiteral("The folder ") + gone + QStringLiteral(" does not exist."));
        QCOMPARE(tree->Directory(), before);
        QCOMPARE(Entries(Child<QListWidget>(&form, "FileListBox1")), QStringList{QStringLiteral("a.mid")});

        // The output folder removed behind the window's back: a batch says so, converts
        // nothing, and the output tree moves up to the folder that is still there.
        const QString deep = quorvel::app::NormalDirectory(Q(dir / "out" / "deep"));
        std::filesystem::remove_all(dir / "out");
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        Child<QPushButton>(&form, "Button2")->click();
        QVERIFY(!form.BatchRunning());
        QCOMPARE(catcher_.Texts(),
                 QStringList{QStringLiteral("The folder ") + deep + QStringLiteral(" does not exist.")});
        QCOMPARE(Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox2")->Directory(),
                 quorvel::app::NormalDirectory(Q(dir.Path())));
        QCOMPARE(Child<quorvel::app::PathLabel>(&form, "OutputPath")->Path(),
                 quorvel::app::NormalDirectory(Q(dir.Path())));
        QCOMPARE(support::ReadFile(dir / "a.mid"), support::Bytes{0});
    }

    void selectAllSelectsEveryEntry() {
        support::TempDir dir;
        for (const char* name : {"a.mid", "b.mid", "c.mid"}) support::WriteFile(dir / name, {0});
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        auto* list = Child<QListWidget>(&form, "FileListBox1");
        QCOMPARE(list->selectedItems().size(), 0);
        Child<QPushButton>(&form, "Button4")->click();
        QCOMPARE(list->selectedItems().size(), 3);
        QCOMPARE(form.FileCount(), 3);
        QCOMPARE(catcher_.seen.size(), 1);
    }

    void menuItemsToggleTheirOwnMark() {
        TMidiForm form;
        auto* between = Child<QAction>(&form, "PromptBetweenFiles1");
        auto* before = Child<QAction>(&form, "PromptBeforeOverwriting1");
        between->trigger();
        QVERIFY(between->isChecked());
        QVERIFY(before->isChecked());
        before->trigger();
        QVERIFY(!before->isChecked());
        QVERIFY(between->isChecked());
        between->trigger();
        QVERIFY(!between->isChecked());
        form.PromptBeforeOverwriting1Click();
        QVERIFY(before->isChecked());
    }

    void smf0BatchOverRealFiles() {
        support::TempDir in, out;
        support::WriteFile(in / "song.mid", Format1Song());
        support::WriteFile(in / "zero.mid", Format0Song());
        support::WriteFile(in / "bad.mid", support::Hex("4D 54 68 64 00 00"));
        TMidiForm form;
        Point(form, Q(in.Path()), Q(out.Path()));
        Child<QAction>(&form, "PromptBetweenFiles1")->trigger();
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        QVERIFY(RunBatch(form, "Button2"));
        // In list order: bad.mid, song.mid, zero.mid; the malformed file is reported and
        // the batch goes on.
        QCOMPARE(catcher_.Texts().mid(1), (QStringList{
                                              QStringLiteral("song.mid converted to type 0"),
                                              QStringLiteral("zero.mid - Not a Type 1 Midifile"),
                                              QStringLiteral("Conversion Complete\n1 converted, 2 refused, 0 failed"),
                                          }));
        QVERIFY(catcher_.seen.value(0).text.startsWith(QStringLiteral("bad.mid - Malformed Midifile: ")));
        for (const SeenBox& box : catcher_.seen) {
            QCOMPARE(box.title, QStringLiteral("Quorvel"));
            QCOMPARE(box.icon, QMessageBox::NoIcon);
            QCOMPARE(box.buttons, QStringList{QStringLiteral("OK")});
        }
        QCOMPARE(out.Entries(), std::vector<std::string>{"song.mid"});
        const support::Bytes written = support::ReadFile(out / "song.mid");
        QVERIFY(written.size() >= 14);
        QCOMPARE(support::ToHex(support::Bytes(written.begin(), written.begin() + 14)),
                 support::ToHex(support::Header(0, 1, 96)));
        // The selection after a batch is the selection before it.
        QCOMPARE(Child<QListWidget>(&form, "FileListBox1")->selectedItems().size(), 3);
    }

    void karaokeBatchCopiesAFormat1File() {
        support::TempDir in, out;
        support::WriteFile(in / "a.mid", Format1Song());
        support::WriteFile(in / "b.mid", Format1Song());
        support::WriteFile(out / "b.kar", {7});
        TMidiForm form;
        Point(form, Q(in.Path()), Q(out.Path()));
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        QVERIFY(RunBatch(form, "Button5"));
        // b.kar is there already: the user is asked first, and after OK the copy replaces it.
        QCOMPARE(catcher_.Texts(),
                 (QStringList{QStringLiteral("a.mid converted to karaoke"),
                              QStringLiteral("b.mid - Replace existing file?"),
                              QStringLiteral("b.mid converted to karaoke"),
                              QStringLiteral("Operation Complete\n2 converted, 0 refused, 0 failed")}));
        QCOMPARE(support::ReadFile(out / "a.kar"), Format1Song());
        QCOMPARE(support::ReadFile(out / "b.kar"), Format1Song());
    }

    void existingOutputsAreAskedAboutAndTheCheckBoxAnswersTheRest_data() {
        QTest::addColumn<QList<int>>("replies");
        QTest::addColumn<QString>("replaced");  // which of a, b, c were replaced
        QTest::newRow("one by one") << QList<int>{int(Reply::Ok), int(Reply::Cancel), int(Reply::Ok)}
                                    << QStringLiteral("ac");
        QTest::newRow("OK for all") << QList<int>{int(Reply::OkForAll)} << QStringLiteral("abc");
        QTest::newRow("Cancel for all after one")
            << QList<int>{int(Reply::Ok), int(Reply::CancelForAll)} << QStringLiteral("a");
    }

    void existingOutputsAreAskedAboutAndTheCheckBoxAnswersTheRest() {
        QFETCH(QList<int>, replies);
        QFETCH(QString, replaced);
        support::TempDir in, out;
        const support::Bytes old{1, 2, 3};
        for (const char* name : {"a.mid", "b.mid", "c.mid"}) {
            support::WriteFile(in / name, Format1Song());
            support::WriteFile(out / name, old);
        }
        TMidiForm form;
        Point(form, Q(in.Path()), Q(out.Path()));
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        for (int reply : replies) catcher_.replies << static_cast<Reply>(reply);
        QVERIFY(RunBatch(form, "Button2"));
        // One question per answer given: a checked box answers the rest without asking.
        QCOMPARE(catcher_.seen.size(), replies.size() + 1);
        for (int i = 0; i < replies.size(); ++i) {
            QCOMPARE(catcher_.seen.at(i).title, QStringLiteral("Confirm"));
            QCOMPARE(catcher_.seen.at(i).checkBox, QStringLiteral("Do the same for the remaining files"));
        }
        for (const char* name : {"a", "b", "c"}) {
            const auto file = out / (std::string(name) + ".mid");
            QCOMPARE(support::ReadFile(file) != old, replaced.contains(QLatin1String(name)));
        }
    }

    void newFolderIsMadeAndOpenedAndARefusedNameIsSaid() {
        support::TempDir dir;
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        auto* tree = Child<quorvel::app::DirectoryListBox>(&form, "DirectoryListBox2");
        catcher_.seen.clear();
        catcher_.folderNames = {QStringLiteral("a/b"), QStringLiteral("Songs")};
        Child<QAction>(&form, "NewFolder1")->trigger();
        QCOMPARE(catcher_.Texts(), (QStringList{QStringLiteral("Name of the new folder in ") +
                                                    quorvel::app::NormalDirectory(Q(dir.Path())) + QLatin1Char(':'),
                                                QStringLiteral("Cannot make the folder \"a/b\": a name cannot "
                                                               "contain /.")}));
        QCOMPARE(tree->Directory(), quorvel::app::NormalDirectory(Q(dir.Path())));
        Child<QAction>(&form, "NewFolder1")->trigger();
        QVERIFY(std::filesystem::is_directory(dir / "Songs"));
        QCOMPARE(tree->Directory(), quorvel::app::NormalDirectory(Q(dir / "Songs")));
        QCOMPARE(Child<quorvel::app::PathLabel>(&form, "OutputPath")->Path(), tree->Directory());
    }

    void refreshShowsWhatWasMadeMeanwhileAndKeepsTheSelection() {
        support::TempDir dir;
        support::WriteFile(dir / "a.mid", {0});
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        auto* list = Child<QListWidget>(&form, "FileListBox1");
        list->item(0)->setSelected(true);
        support::WriteFile(dir / "b.mid", {0});
        std::filesystem::create_directory(dir / "made");
        Child<QAction>(&form, "Refresh1")->trigger();
        QCOMPARE(Entries(list), (QStringList{QStringLiteral("a.mid"), QStringLiteral("b.mid")}));
        QVERIFY(list->item(0)->isSelected() && !list->item(1)->isSelected());
        for (const char* name : {"DirectoryListBox1", "DirectoryListBox2"}) {
            auto* tree = Child<quorvel::app::DirectoryListBox>(&form, name);
            QVERIFY2(!tree->findItems(QStringLiteral("made"), Qt::MatchExactly | Qt::MatchRecursive).isEmpty(), name);
        }
        QCOMPARE(Child<QAction>(&form, "Refresh1")->shortcut(), QKeySequence(QKeySequence::Refresh));
    }

    void tabFollowsTheScreenAndThePathLinesShowTheOpenedFolders() {
        support::TempDir dir;
        std::filesystem::create_directory(dir / "out");
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir / "out"));
        QStringList order;
        QWidget* start = Child<QWidget>(&form, "DriveComboBox1");
        QWidget* w = start;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) != 0 && !w->objectName().isEmpty()) order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != start && order.size() < 20);
        QCOMPARE(order,
                 (QStringList{"DriveComboBox1", "DirectoryListBox1", "FileListBox1", "FilterComboBox1", "Button4",
                              "DriveComboBox2", "DirectoryListBox2", "Button2", "Button1", "Button5", "Button3"}));
        QCOMPARE(Child<quorvel::app::PathLabel>(&form, "InputPath")->Path(),
                 quorvel::app::NormalDirectory(Q(dir.Path())));
        QCOMPARE(Child<quorvel::app::PathLabel>(&form, "OutputPath")->toolTip(),
                 quorvel::app::NormalDirectory(Q(dir / "out")));
    }

    void replacementPromptAnswers_data() {
        QTest::addColumn<int>("reply");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("OK") << int(Reply::Ok) << true;
        QTest::newRow("Cancel") << int(Reply::Cancel) << false;
        QTest::newRow("Escape") << int(Reply::Escape) << false;
        QTest::newRow("close box") << int(Reply::CloseBox) << false;
    }

    void replacementPromptAnswers() {
        QFETCH(int, reply);
        QFETCH(bool, replaced);
        support::TempDir dir;
        support::WriteFile(dir / "song.mid", Format1Song());
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        catcher_.replies = {static_cast<Reply>(reply)};
        QVERIFY(RunBatch(form, "Button1"));  // SMF 1 over a format-1 file: refused if it runs
        QCOMPARE(catcher_.seen.size(), replaced ? 3 : 2);
        const SeenBox& ask = catcher_.seen.front();
        QCOMPARE(ask.title, QStringLiteral("Confirm"));
        QCOMPARE(ask.text, QStringLiteral("song.mid - Replace existing file?"));
        QCOMPARE(ask.icon, QMessageBox::Question);
        QCOMPARE(ask.buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("OK")}));
        QCOMPARE(ask.defaultButton, QStringLiteral("OK"));
        QCOMPARE(ask.escapeButton, QStringLiteral("Cancel"));
        if (replaced) QCOMPARE(catcher_.seen.at(1).text, QStringLiteral("song.mid - Not a Type 0 Midifile"));
        QCOMPARE(catcher_.seen.back().text, QStringLiteral("Operation Complete"));
        QCOMPARE(support::ReadFile(dir / "song.mid"), Format1Song());
    }

    void fileErrorEndsTheBatchWithAnErrorReport() {
        support::TempDir dir, out;
        for (const char* name : {"a.mid", "b.mid", "c.mid"}) support::WriteFile(dir / name, Format1Song());
        FailingEngine engine;
        TMidiForm form(engine, nullptr, 1);
        Point(form, Q(dir.Path()), Q(out.Path()));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        QVERIFY(RunBatch(form, "Button2"));
        QCOMPARE(engine.conversions, 2);
        QCOMPARE(catcher_.seen.size(), 1);
        QCOMPARE(catcher_.seen.front().title, QStringLiteral("Quorvel"));
        QCOMPARE(catcher_.seen.front().icon, QMessageBox::Critical);
        QCOMPARE(catcher_.seen.front().text, QStringLiteral("b.mid - Disk full\n1 converted, 0 refused, 1 failed, 1 "
                                                            "not tried\nFirst file not tried: c.mid"));
        QVERIFY(form.isVisible());
        // Still usable: the next batch runs to its end.
        catcher_.seen.clear();
        engine.conversions = 10;
        QVERIFY(RunBatch(form, "Button2"));
        QCOMPARE(catcher_.Texts(),
                 QStringList{QStringLiteral("Conversion Complete\n3 converted, 0 refused, 0 failed")});
    }

#ifndef _WIN32
    void replacementQuestionComparesNamesExactly() {
        // UPPER.mid is a new file beside UPPER.MID here, not a replacement of it.
        support::TempDir dir;
        support::WriteFile(dir / "UPPER.MID", Format1Song());
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        QVERIFY(RunBatch(form, "Button2"));
        QCOMPARE(catcher_.Texts(), QStringList{QStringLiteral("Conversion Complete")});
        QCOMPARE(support::ReadFile(dir / "UPPER.MID"), Format1Song());
        QCOMPARE(support::ReadFile(dir / "UPPER.mid"), support::RunType0(Format1Song()).output);
    }

    void aNameThatIsNotUtf8IsOpenedByItsOwnBytes() {
        support::TempDir in, out;
        support::WriteFile(in / "bad\xff.mid", Format1Song());
        TMidiForm form;
        Point(form, Q(in.Path()), Q(out.Path()));
        Child<QAction>(&form, "PromptBetweenFiles1")->trigger();
        QCOMPARE(Entries(Child<QListWidget>(&form, "FileListBox1")), QStringList{QStringLiteral("bad\uFFFD.mid")});
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        QVERIFY(RunBatch(form, "Button2"));
        QCOMPARE(catcher_.Texts(), (QStringList{QStringLiteral("bad\uFFFD.mid converted to type 0"),
                                                QStringLiteral("Conversion Complete")}));
        QCOMPARE(support::ReadFile(out / "bad\xff.mid"), support::RunType0(Format1Song()).output);
    }
#endif

    void aBatchIntoTheShownFolderRefreshesTheList() {
        support::TempDir dir;
        support::WriteFile(dir / "b.x.mid", Format1Song());
        support::WriteFile(dir / "c.mid", Format1Song());
        support::WriteFile(dir / "d.mid", Format1Song());
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        auto* list = Child<QListWidget>(&form, "FileListBox1");
        list->item(0)->setSelected(true);  // b.x.mid
        list->item(2)->setSelected(true);  // d.mid, replaced by its own output
        catcher_.seen.clear();
        QVERIFY(RunBatch(form, "Button2"));
        QCOMPARE(Entries(list), (QStringList{QStringLiteral("b.mid"), QStringLiteral("b.x.mid"),
                                             QStringLiteral("c.mid"), QStringLiteral("d.mid")}));
        QStringList selected;
        for (const QListWidgetItem* item : list->selectedItems()) selected << item->text();
        selected.sort();
        QCOMPARE(selected, (QStringList{QStringLiteral("b.x.mid"), QStringLiteral("d.mid")}));
    }

    void enterPressesTheFocusedButton() {
        support::TempDir dir;
        for (const char* name : {"a.mid", "b.mid"}) support::WriteFile(dir / name, {0});
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* selectAll = Child<QPushButton>(&form, "Button4");
        auto* list = Child<QListWidget>(&form, "FileListBox1");
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            list->clearSelection();
            selectAll->setFocus();
            QTest::keyClick(selectAll, key);
            QCOMPARE(list->selectedItems().size(), 2);
        }
    }

    void noSelectionShowsOnlyTheFinalBox() {
        support::TempDir dir;
        support::WriteFile(dir / "a.mid", Format1Song());
        TMidiForm form;
        Point(form, Q(dir.Path()), Q(dir.Path()));
        catcher_.seen.clear();
        QVERIFY(RunBatch(form, "Button2"));
        QCOMPARE(catcher_.Texts(), QStringList{QStringLiteral("No Files Selected")});
        QCOMPARE(support::ReadFile(dir / "a.mid"), Format1Song());
    }

    void resultsInOneListIsOffAtFirstAndRemembered() {
        {
            TMidiForm form;
            auto* item = Child<QAction>(&form, "ShowResultsInOneList1");
            QCOMPARE(item->text(), QStringLiteral("Show &Results in One List"));
            QVERIFY(item->isCheckable());
            QVERIFY(!item->isChecked());
            QVERIFY(Child<QMenu>(&form, "Options1")->actions().contains(item));
            item->trigger();
            QVERIFY(item->isChecked());
            // The other two options are not remembered.
            Child<QAction>(&form, "PromptBetweenFiles1")->trigger();
            Child<QAction>(&form, "PromptBeforeOverwriting1")->trigger();
        }
        {
            TMidiForm form;
            QVERIFY(Child<QAction>(&form, "ShowResultsInOneList1")->isChecked());
            QVERIFY(!Child<QAction>(&form, "PromptBetweenFiles1")->isChecked());
            QVERIFY(Child<QAction>(&form, "PromptBeforeOverwriting1")->isChecked());
            Child<QAction>(&form, "ShowResultsInOneList1")->trigger();
        }
        TMidiForm form;
        QVERIFY(!Child<QAction>(&form, "ShowResultsInOneList1")->isChecked());
    }

    void longBatchShowsProgressRepaintsStopsAndListsTheResults() {
        support::TempDir dir, out;
        for (const char* name : {"a.mid", "b.mid", "c.mid", "d.mid"}) support::WriteFile(dir / name, Format1Song());
        SlowEngine engine(2);                // b.mid takes until the test lets it go
        TMidiForm form(engine, nullptr, 1);  // one file at a time, so that b.mid is the second
        Point(form, Q(dir.Path()), Q(out.Path()));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Child<QAction>(&form, "ShowResultsInOneList1")->trigger();
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        auto* progress = Child<QDialog>(&form, "ProgressWindow");
        QElapsedTimer clock;
        EventCounter shown(QEvent::Show, clock);
        progress->installEventFilter(&shown);
        QSignalSpy finished(&form, &TMidiForm::BatchFinished);
        clock.start();
        Child<QPushButton>(&form, "Button2")->click();

        // While b.mid converts: the controls are disabled, a second click starts nothing,
        // and the progress window comes after about a second, not at once.
        QTRY_VERIFY(engine.waiting);
        QVERIFY(form.BatchRunning());
        for (const char* control : {"Button2", "Button1", "Button5", "Button4", "FileListBox1", "DirectoryListBox2"})
            QVERIFY2(!Child<QWidget>(&form, control)->isEnabled(), control);
        QVERIFY(!Child<QMenu>(&form, "Options1")->isEnabled());
        form.Button1Click();
        QCOMPARE(engine.conversions.load(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(progress->isVisible(), 5000);
        QVERIFY2(shown.firstAt >= quorvel::app::ProgressDelayMs - 50, qPrintable(QString::number(shown.firstAt)));
        QCOMPARE(Child<QLabel>(progress, "ProgressCount")->text(), QStringLiteral("1 of 4 files"));
        QCOMPARE(Child<QLabel>(progress, "ProgressFile")->text(), QStringLiteral("b.mid"));
        auto* stop = Child<QPushButton>(progress, "StopButton");
        QCOMPARE(stop->text(), QStringLiteral("Stop"));

        // The window still paints while the file converts.
        EventCounter painted(QEvent::Paint, clock);
        form.installEventFilter(&painted);
        form.update();
        QTRY_VERIFY(painted.count > 0);
        form.removeEventFilter(&painted);
        QVERIFY(engine.waiting);

        // Stop ends the batch after the file being converted.
        stop->click();
        QVERIFY(engine.waiting);
        engine.Release();
        QVERIFY(finished.wait(20000));
        QCOMPARE(engine.conversions.load(), 2);
        QVERIFY(!progress->isVisible());
        QVERIFY(catcher_.seen.isEmpty());  // no box: the list takes their place
        QCOMPARE(catcher_.results.size(), 1);
        const SeenResults& results = catcher_.results.front();
        QCOMPARE(results.counts, QStringLiteral("2 converted, 0 refused, 0 failed, 2 not tried"));
        QCOMPARE(results.text, QStringLiteral("a.mid converted to type 0\nb.mid converted to type 0\n"
                                              "c.mid - not tried\nd.mid - not tried\nStopped after 2 of 4 files"));
        QCOMPARE(results.clipboard, results.text + QStringLiteral("\n") + results.counts + QStringLiteral("\n"));
        QVERIFY(Child<QPushButton>(&form, "Button2")->isEnabled());
        QVERIFY(Child<QMenu>(&form, "Options1")->isEnabled());
        QVERIFY(!form.BatchRunning());
    }

    void progressWindowWaitsUntilAnOpenBoxIsAnswered() {
        support::TempDir dir, out;
        for (const char* name : {"a.mid", "b.mid", "c.mid"}) support::WriteFile(dir / name, Format1Song());
        SlowEngine engine(2, 1);  // a.mid is refused; b.mid takes until the test lets it go
        TMidiForm form(engine, nullptr, 1);
        const auto release = qScopeGuard([&engine] { engine.Release(); });  // also when a check fails
        Point(form, Q(dir.Path()), Q(out.Path()));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        auto* progress = Child<QDialog>(&form, "ProgressWindow");
        QElapsedTimer clock;
        EventCounter shown(QEvent::Show, clock);
        progress->installEventFilter(&shown);

        // The refusal box stays open until 300 ms after the progress window's delay,
        // counted from after the click that started that delay, so the delay has run out
        // first; then it is answered, from the box's event loop.
        int shownWhileOpen = -1;
        bool boxWasTheModalWidget = false;
        qint64 answeredAt = -1;
        catcher_.replies = {Reply::Hold};
        catcher_.hold = [&](QMessageBox* box) {
            const qint64 wait = std::max<qint64>(0, quorvel::app::ProgressDelayMs + 300 - clock.elapsed());
            QTimer::singleShot(std::chrono::milliseconds(wait), Qt::PreciseTimer, box, [&, box] {
                shownWhileOpen = shown.count;
                boxWasTheModalWidget = QApplication::activeModalWidget() == box;
                answeredAt = clock.elapsed();
                box->button(QMessageBox::Ok)->click();
            });
        };
        QSignalSpy finished(&form, &TMidiForm::BatchFinished);
        Child<QPushButton>(&form, "Button2")->click();
        clock.start();

        // Nothing of the progress window while the box was open; it comes once the box
        // is answered, while the batch still runs.
        QTRY_VERIFY_WITH_TIMEOUT(progress->isVisible(), 5000);
        QCOMPARE(catcher_.Texts(), QStringList{QStringLiteral("a.mid - Not a Type 1 Midifile")});
        QVERIFY(boxWasTheModalWidget);
        QCOMPARE(shownWhileOpen, 0);
        QVERIFY2(shown.firstAt >= answeredAt,
                 qPrintable(QStringLiteral("shown at %1 ms, answered at %2 ms").arg(shown.firstAt).arg(answeredAt)));
        QVERIFY(form.BatchRunning());
        engine.Release();
        QVERIFY(finished.wait(20000));
        QVERIFY(!progress->isVisible());
    }

    void closingDuringABatchStopsItAndClosesAfterIt() {
        support::TempDir dir, out;
        for (const char* name : {"a.mid", "b.mid", "c.mid"}) support::WriteFile(dir / name, Format1Song());
        SlowEngine engine(1);
        TMidiForm form(engine, nullptr, 1);
        Point(form, Q(dir.Path()), Q(out.Path()));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        QSignalSpy finished(&form, &TMidiForm::BatchFinished);
        Child<QPushButton>(&form, "Button2")->click();
        QTRY_VERIFY(engine.waiting);
        form.close();
        QVERIFY(form.isVisible());  // not while a file is being converted
        engine.Release();
        QVERIFY(finished.wait(20000));
        QCOMPARE(engine.conversions.load(), 1);
        QCOMPARE(catcher_.Texts(), QStringList{QStringLiteral("Stopped after 1 of 3 files\n1 converted, 0 refused, 0 "
                                                              "failed, 2 not tried\nFirst file not tried: b.mid")});
        QTRY_VERIFY(!form.isVisible());
    }

    void aBatchConvertsSeveralFilesAtOnce() {
        support::TempDir dir, out;
        for (const char* name : {"a.mid", "b.mid", "c.mid", "d.mid"}) support::WriteFile(dir / name, Format1Song());
        OverlapEngine engine;
        TMidiForm form(engine, nullptr, 2);
        Point(form, Q(dir.Path()), Q(out.Path()));
        Child<QAction>(&form, "ShowResultsInOneList1")->trigger();
        Child<QPushButton>(&form, "Button4")->click();
        catcher_.seen.clear();
        QVERIFY(RunBatch(form, "Button2"));
        QCOMPARE(engine.mostAtOnce.load(), 2);
        Child<QAction>(&form, "ShowResultsInOneList1")->trigger();
    }

    void exitClosesTheWindow() {
        TMidiForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Child<QPushButton>(&form, "Button3")->click();
        QVERIFY(!form.isVisible());
    }
};

QTEST_MAIN(MidiFormTest)
#include "midi_form_tests.moc"
