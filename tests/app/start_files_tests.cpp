// Starting with files: the Qt window going where batch::PlanStart says for the files and
// folders it is given on its command line or dropped on it (OpenPaths and the drop
// handlers), offscreen.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include "file_controls.hpp"
#include "midi_form.hpp"
#include "start_files.hpp"

using quorvel::app::NormalDirectory;
using quorvel::app::TMidiForm;

namespace {

// Answers every message box with OK as soon as it shows, and keeps its text.
class BoxAnswerer : public QObject {
public:
    QStringList texts;
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(object);
        if (box == nullptr || event->type() != QEvent::Show) return false;
        texts << box->text();
        QMetaObject::invokeMethod(
            box, [box] { box->button(QMessageBox::Ok)->click(); }, Qt::QueuedConnection);
        return false;
    }
};

QStringList SelectedEntries(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected()) names << list->item(i)->text();
    return names;
}

}  // namespace

class StartFilesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir root_;
    BoxAnswerer answerer_;

    // Paths under the temporary folder: "a/x.mid" gives <root>/a/x.mid.
    QString At(const QString& relative) const { return root_.filePath(relative); }

    QStringList At(const QStringList& relatives) const {
        QStringList paths;
        for (const QString& r : relatives) paths << (r.isEmpty() ? r : At(r));
        return paths;
    }

private slots:
    void initTestCase() {
        QVERIFY(root_.isValid());
        for (const char* name :
             {"a/one.mid", "a/two.mid", "a/Song.KAR", "a/notes.txt", "a/deep/three.mid", "b/four.mid", "b/five.kar"}) {
            const QString path = At(QString::fromLatin1(name));
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        qApp->installEventFilter(&answerer_);
    }

    void droppedPathsAreTheLocalOnes() {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(At(QStringLiteral("a/one.mid"))),
                      QUrl(QStringLiteral("https://x.test/y.mid")), QUrl::fromLocalFile(At(QStringLiteral("b")))});
        QCOMPARE(quorvel::app::DroppedPaths(&data), At(QStringList{"a/one.mid", "b"}));
        QMimeData text;
        text.setText(At(QStringLiteral("a/one.mid")));
        QVERIFY(quorvel::app::DroppedPaths(&text).isEmpty());
    }

    // The window goes where the plan says, through its own controls.
    void windowOpensTheGivenFiles() {
        TMidiForm form;
        answerer_.texts.clear();
        quorvel::app::OpenPaths(form, At(QStringList{"a/Song.KAR", "a/one.mid"}));
        QCOMPARE(form.findChild<QTreeWidget*>(QStringLiteral("DirectoryListBox1"))
                     ->currentItem()
                     ->data(0, Qt::UserRole)
                     .toString(),
                 NormalDirectory(At(QStringLiteral("a"))));
        QCOMPARE(QString::fromStdString(form.FileDirectory()), NormalDirectory(At(QStringLiteral("a"))));
        QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("FilterComboBox1"))->currentIndex(), 1);
        // one.mid is not under the *.kar filter, so only Song.KAR can be selected.
        const auto* list = form.findChild<QListWidget*>(QStringLiteral("FileListBox1"));
        QCOMPARE(SelectedEntries(list), QStringList{QStringLiteral("Song.KAR")});
        QVERIFY(answerer_.texts.isEmpty());
    }

    void windowReportsNamesOfNothing() {
        TMidiForm form;
        const QString before = QString::fromStdString(form.FileDirectory());
        answerer_.texts.clear();
        quorvel::app::OpenPaths(form, At(QStringList{"a/gone.mid", "b/gone.kar"}));
        QCOMPARE(answerer_.texts, QStringList{At(QStringLiteral("a/gone.mid")) + " - No such file or folder\n" +
                                              At(QStringLiteral("b/gone.kar")) + " - No such file or folder."});
        QCOMPARE(QString::fromStdString(form.FileDirectory()), before);
    }

    void dropOpensLikeTheCommandLine() {
        TMidiForm form;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(At(QStringLiteral("b/four.mid"))),
                      QUrl::fromLocalFile(At(QStringLiteral("b/five.kar")))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QApplication::sendEvent(&form, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &drop);
        QCOMPARE(QString::fromStdString(form.FileDirectory()), NormalDirectory(At(QStringLiteral("b"))));
        QCOMPARE(SelectedEntries(form.findChild<QListWidget*>(QStringLiteral("FileListBox1"))),
                 QStringList{QStringLiteral("four.mid")});

        QMimeData text;
        text.setText(QStringLiteral("not a file"));
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        refused.setAccepted(false);
        QApplication::sendEvent(&form, &refused);
        QVERIFY(!refused.isAccepted());
    }
};

QTEST_MAIN(StartFilesTest)
#include "start_files_tests.moc"
