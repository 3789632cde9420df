// The drive logic of the window's file controls: which drive a directory is on, moving
// the directory tree between drives, and the drive selector following the tree.
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

#include "file_controls.hpp"

using quorvel::app::DirectoryListBox;
using quorvel::app::DriveComboBox;
using quorvel::app::DriveOf;
using quorvel::app::NormalDirectory;

class FileControlsTest : public QObject {
    Q_OBJECT

private slots:
    void DriveOfPicksTheLongestContainingRoot_data();
    void DriveOfPicksTheLongestContainingRoot();
    void MoveToDriveRemembersTheLastDirectoryOfEachDrive();
    void MoveToDriveGoesToTheRootWhenTheRememberedDirectoryIsGone();
    void MoveToDriveOnTheSameDriveDoesNothing();
    void MoveToDriveThatCannotBeEnteredThrowsAndStays();
    void ShowDriveOfSelectsQuietly();

private:
    // Two directories standing for two drives beside "/", with a subdirectory each.
    struct Drives {
        QTemporaryDir base;
        QString a, b;
        QStringList roots;
        Drives() {
            QDir(base.path()).mkpath(QStringLiteral("a/songs"));
            QDir(base.path()).mkpath(QStringLiteral("b/music"));
            a = NormalDirectory(base.filePath(QStringLiteral("a")));
            b = NormalDirectory(base.filePath(QStringLiteral("b")));
            roots = {QStringLiteral("/"), a, b};
        }
        QString In(const QString& root, const char* name) const { return NormalDirectory(root + "/" + name); }
    };
};

void FileControlsTest::DriveOfPicksTheLongestContainingRoot_data() {
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("drive");
    QTest::newRow("the root itself") << "/"
                                     << "/";
    QTest::newRow("inside no mount") << "/home/me"
                                     << "/";
    QTest::newRow("a mount point") << "/media/usb"
                                   << "/media/usb";
    QTest::newRow("inside a mount") << "/media/usb/songs/old"
                                    << "/media/usb";
    QTest::newRow("the longer of two nested mounts") << "/media/usb/disk2/x"
                                                     << "/media/usb/disk2";
    QTest::newRow("a name that only starts like a mount") << "/media/usbstick"
                                                          << "/";
    QTest::newRow("letters of another case") << "/Media/usb"
                                             << "/";
}

void FileControlsTest::DriveOfPicksTheLongestContainingRoot() {
    QFETCH(QString, directory);
    QFETCH(QString, drive);
    const QStringList roots = {QStringLiteral("/"), QStringLiteral("/media/usb"), QStringLiteral("/media/usb/disk2")};
    QCOMPARE(DriveOf(directory, roots), drive);
    QCOMPARE(DriveOf(directory, QStringList{}), QStringLiteral("/"));
}

void FileControlsTest::MoveToDriveRemembersTheLastDirectoryOfEachDrive() {
    Drives drives;
    QVERIFY(drives.base.isValid());
    DirectoryListBox tree;
    tree.SetDirectory(drives.In(drives.a, "songs"));

    tree.MoveToDrive(drives.b, drives.roots);
    QCOMPARE(tree.Directory(), drives.b);  // never shown before: its root
    tree.SetDirectory(drives.In(drives.b, "music"));

    tree.MoveToDrive(drives.a, drives.roots);
    QCOMPARE(tree.Directory(), drives.In(drives.a, "songs"));
    tree.MoveToDrive(drives.b, drives.roots);
    QCOMPARE(tree.Directory(), drives.In(drives.b, "music"));
    tree.MoveToDrive(QStringLiteral("/"), drives.roots);
    QCOMPARE(tree.Directory(), QStringLiteral("/"));
}

void FileControlsTest::MoveToDriveGoesToTheRootWhenTheRememberedDirectoryIsGone() {
    Drives drives;
    DirectoryListBox tree;
    tree.SetDirectory(drives.In(drives.a, "songs"));
    tree.MoveToDrive(drives.b, drives.roots);
    QVERIFY(QDir(drives.In(drives.a, "songs")).removeRecursively());
    tree.MoveToDrive(drives.a, drives.roots);
    QCOMPARE(tree.Directory(), drives.a);
}

void FileControlsTest::MoveToDriveOnTheSameDriveDoesNothing() {
    Drives drives;
    DirectoryListBox tree;
    const QString songs = drives.In(drives.a, "songs");
    tree.SetDirectory(songs);
    // Gone from the disk meanwhile: a move would go to the drive's root instead.
    QVERIFY(QDir(songs).removeRecursively());
    QSignalSpy changed(&tree, &DirectoryListBox::DirectoryChanged);
    tree.MoveToDrive(drives.a, drives.roots);
    QCOMPARE(tree.Directory(), songs);
    QCOMPARE(changed.count(), 0);
}

void FileControlsTest::MoveToDriveThatCannotBeEnteredThrowsAndStays() {
    Drives drives;
    const QString gone = NormalDirectory(drives.base.filePath(QStringLiteral("gone")));
    const QStringList roots = drives.roots + QStringList{gone};
    DirectoryListBox tree;
    const QString songs = drives.In(drives.a, "songs");
    tree.SetDirectory(songs);
    const int topLevel = tree.topLevelItemCount();
    QVERIFY(tree.currentItem() != nullptr);
    const QString shown = tree.currentItem()->data(0, Qt::UserRole).toString();
    QSignalSpy changed(&tree, &DirectoryListBox::DirectoryChanged);

    QVERIFY_THROWS_EXCEPTION(std::runtime_error, tree.MoveToDrive(gone, roots));
    QCOMPARE(tree.Directory(), songs);
    QCOMPARE(tree.topLevelItemCount(), topLevel);
    QVERIFY(tree.currentItem() != nullptr);
    QCOMPARE(tree.currentItem()->data(0, Qt::UserRole).toString(), shown);
    QCOMPARE(changed.count(), 0);

    // The tree goes on from where it was.
    tree.MoveToDrive(drives.b, roots);
    tree.MoveToDrive(drives.a, roots);
    QCOMPARE(tree.Directory(), songs);
}

void FileControlsTest::ShowDriveOfSelectsQuietly() {
    DriveComboBox box;
    const QStringList roots = box.Roots();
    QVERIFY(!roots.isEmpty());
    QCOMPARE(box.count(), roots.size());
    box.setCurrentIndex(-1);
    QSignalSpy changed(&box, &QComboBox::currentIndexChanged);

    const QString temporary = NormalDirectory(QDir::tempPath());
    box.ShowDriveOf(temporary);
    QCOMPARE(box.Drive(), DriveOf(temporary, roots));
    QVERIFY(box.currentIndex() >= 0);
    box.ShowDriveOf(roots.last());
    QCOMPARE(box.currentIndex(), roots.size() - 1);
    QCOMPARE(changed.count(), 0);
}

QTEST_MAIN(FileControlsTest)
#include "file_controls_tests.moc"
