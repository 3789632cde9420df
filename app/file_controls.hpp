#pragma once

#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <filesystem>
#include <vector>

namespace quorvel::app {

// Directories in the window's form: absolute, native separators, ending with a separator
// only at a root ("/", "C:\", "/home/me/midi", "C:\MIDI").
QString NormalDirectory(const QString& path);

// Two directories in the window's form name the same one: letters compared without case
// on Windows, exactly elsewhere (where /music and /Music are different directories).
bool SameDirectory(const QString& a, const QString& b);

// Two file names in the same folder name the same file: letters compared without case
// on Windows, exactly elsewhere.
bool SameFileName(const QString& a, const QString& b);

// The file list's rule for a mask: wildcard patterns separated by ";", letters matched
// in any case on every platform.
bool MatchesMask(const QString& name, const QString& mask);

// The drives to choose from, in the window's form: drive letters on Windows; elsewhere
// "/" and the other mounted file systems that hold user data (no /proc, /sys, /dev, /run).
QStringList DriveRoots();

// The drive of a directory: the longest root of roots that contains it ("/" elsewhere).
QString DriveOf(const QString& directory, const QStringList& roots);

// Drive selector: one entry per drive root. DriveChosen is raised when the user has made
// a choice: a click or Enter in the open list, or, after arrowing through the closed
// selector, Enter or leaving it. The arrow keys alone only show the drive, so passing a
// drive without a medium does not try to open it.
class DriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveComboBox(QWidget* parent = nullptr);
    QString Drive() const;
    const QStringList& Roots() const noexcept { return roots_; }
    // Shows the drive of directory without raising the change signal.
    void ShowDriveOf(const QString& directory);

signals:
    void DriveChosen();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void ChoosePending();
    QStringList roots_;
    bool pending_ = false;  // arrowed to a drive that is not chosen yet
};

// One line with the full path of a folder, elided in the middle when it does not fit,
// the whole path in its tool tip. It never widens the window.
class PathLabel : public QLabel {
    Q_OBJECT
public:
    explicit PathLabel(QWidget* parent = nullptr);
    void SetPath(const QString& path);
    const QString& Path() const noexcept { return path_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();
    QString path_;
};

// Directory tree: the current directory, its ancestors above it and its subdirectories
// below. Activating an entry asks to enter it (EnterRequested); the owner decides.
class DirectoryListBox : public QTreeWidget {
    Q_OBJECT
public:
    explicit DirectoryListBox(QWidget* parent = nullptr);
    const QString& Directory() const noexcept { return directory_; }
    // Makes directory current and raises DirectoryChanged when it differs from the one
    // shown. Throws std::runtime_error, keeping the current one, when it cannot be listed.
    void SetDirectory(const QString& directory);
    // Moves to a drive: to the directory last shown on it, or its root; only when the
    // tree is on another drive (see SameDirectory). Throws as SetDirectory.
    void MoveToDrive(const QString& root, const QStringList& roots);
    // Reads the current directory's subfolders again (folders made or removed since).
    void Reread();

signals:
    void DirectoryChanged();
    void EnterRequested(const QString& directory);

private:
    void Rebuild();
    QString directory_;
    QHash<QString, QString> lastOnDrive_;
};

// A directory in the window's form as the file system spells it (UTF-16 on Windows, the
// locale's encoding elsewhere).
std::filesystem::path NativePath(const QString& directory);

// A file name as the window shows it; bytes that are not valid UTF-8 show as replacement
// characters.
QString DisplayText(const std::filesystem::path& name);

// Multi-select list of the plain files of one directory that match a mask, sorted by
// name without regard to case (hidden files left out). Each entry keeps the name as the
// file system spells it beside its text, so a name that is not valid UTF-8 still opens.
// Masks are wildcard patterns separated by ";" and match the text without regard to case.
// Re-reading replaces every entry and clears the selection.
class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);
    const QString& Directory() const noexcept { return directory_; }
    // Re-reads unless the directory is the one shown (see SameDirectory).
    void SetDirectory(const QString& directory);
    const QString& Mask() const noexcept { return mask_; }
    // Re-reads when the mask differs.
    void SetMask(const QString& mask);
    void Reread();
    // Re-reads and selects again the entries whose names are still listed.
    void Refresh();
    // The name of entry row as the file system spells it; empty for no such row.
    std::filesystem::path NativeName(int row) const;

private:
    std::vector<std::filesystem::path> names_;  // one per row
    QString directory_;
    QString mask_ = QStringLiteral("*");
};

// Filter selector built from "description|mask|description|mask...". Once bound to a
// file list, every change of the current entry sets the list's mask to the entry's mask.
class FilterComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit FilterComboBox(const QString& filter, QWidget* parent = nullptr);
    QString Mask() const;
    // Binds the selector to a list (or unbinds it with nullptr) and applies the mask of
    // the current entry to it.
    void SetFileList(FileListBox* list);

private:
    QStringList masks_;
    QPointer<FileListBox> fileList_;
};

}  // namespace quorvel::app
