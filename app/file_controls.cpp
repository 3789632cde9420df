#include "file_controls.hpp"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>
#include <stdexcept>

namespace quorvel::app {
namespace {

// Windows file names ignore case; elsewhere /music and /Music are two directories.
#ifdef _WIN32
constexpr Qt::CaseSensitivity PathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity PathCase = Qt::CaseSensitive;
#endif

bool LessIgnoringCase(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

// The directories inside directory, sorted without regard to case; hidden ones left out.
QStringList Subdirectories(const QString& directory) {
    QStringList names = QDir(directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

// "/a/b" is inside "/a" and "/"; "/ab" is not inside "/a".
bool Contains(const QString& root, const QString& directory) {
    if (!directory.startsWith(root, PathCase)) return false;
    return directory.size() == root.size() || root.endsWith(QDir::separator()) ||
           directory.at(root.size()) == QDir::separator();
}

}  // namespace

QString NormalDirectory(const QString& path) {
    QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (!clean.endsWith(QLatin1Char('/')) && QDir(clean).isRoot()) clean += QLatin1Char('/');
    return QDir::toNativeSeparators(clean);
}

bool SameDirectory(const QString& a, const QString& b) {
    return QString::compare(a, b, PathCase) == 0;
}

QStringList DriveRoots() {
    QStringList roots;
#ifdef _WIN32
    for (const QFileInfo& drive : QDir::drives()) roots << NormalDirectory(drive.absoluteFilePath());
#else
    roots << QStringLiteral("/");
    static const QStringList systemAreas = {QStringLiteral("/proc"), QStringLiteral("/sys"), QStringLiteral("/dev"),
                                            QStringLiteral("/run"), QStringLiteral("/boot"), QStringLiteral("/snap")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady()) continue;
        const QString root = NormalDirectory(volume.rootPath());
        // Removable media mounted below /run (as desktops do) are drives of their own.
        const bool system = !root.startsWith(QStringLiteral("/run/media/")) &&
                            std::any_of(systemAreas.begin(), systemAreas.end(),
                                        [&](const QString& area) { return Contains(area, root); });
        if (!system && QFileInfo(root).isDir() && !roots.contains(root)) roots << root;
    }
    std::sort(roots.begin() + 1, roots.end(), LessIgnoringCase);
#endif
    return roots;
}

QString DriveOf(const QString& directory, const QStringList& roots) {
    QString best;
    for (const QString& root : roots)
        if (Contains(root, directory) && root.size() > best.size()) best = root;
    return best.isEmpty() ? NormalDirectory(QDir::rootPath()) : best;
}

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent), roots_(DriveRoots()) {
    // A long mount path must not widen the window; the open list shows it whole.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(12);
    addItems(roots_);
}

QString DriveComboBox::Drive() const {
    return currentIndex() >= 0 ? roots_.at(currentIndex()) : QString();
}

void DriveComboBox::ShowDriveOf(const QString& directory) {
    const QSignalBlocker quiet(this);
    setCurrentIndex(roots_.indexOf(DriveOf(directory, roots_)));
}

DirectoryListBox::DirectoryListBox(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(12);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr) emit EnterRequested(item->data(0, Qt::UserRole).toString());
    });
}

void DirectoryListBox::SetDirectory(const QString& directory) {
    const QString target = NormalDirectory(directory);
    const QDir dir(target);
    if (!dir.exists() || !dir.isReadable())
        throw std::runtime_error("Cannot open the directory " + target.toStdString());
    if (target == directory_) return;
    directory_ = target;
    Rebuild();
    emit DirectoryChanged();
}

void DirectoryListBox::MoveToDrive(const QString& root, const QStringList& roots) {
    const QString current = DriveOf(directory_, roots);
    if (SameDirectory(current, root)) return;
    lastOnDrive_.insert(current, directory_);
    const QString remembered = lastOnDrive_.value(root);
    if (!remembered.isEmpty() && QDir(remembered).isReadable())
        SetDirectory(remembered);
    else
        SetDirectory(root);
}

void DirectoryListBox::Rebuild() {
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the root down to the current directory, one level per item.
    QStringList chain;
    for (QDir dir(directory_);;) {
        chain.prepend(NormalDirectory(dir.absolutePath()));
        if (dir.isRoot() || !dir.cdUp()) break;
    }
    QTreeWidgetItem* parent = nullptr;
    for (const QString& path : chain) {
        const QString name = QDir(path).isRoot() ? path : QFileInfo(path).fileName();
        auto* item = parent == nullptr ? new QTreeWidgetItem(this) : new QTreeWidgetItem(parent);
        item->setText(0, name);
        item->setIcon(0, open);
        item->setData(0, Qt::UserRole, path);
        parent = item;
    }
    QTreeWidgetItem* current = parent;
    for (const QString& name : Subdirectories(directory_)) {
        auto* item = new QTreeWidgetItem(current);
        item->setText(0, name);
        item->setIcon(0, closed);
        item->setData(0, Qt::UserRole, NormalDirectory(QDir(directory_).filePath(name)));
    }
    expandAll();
    setCurrentItem(current);
    scrollToItem(current);
}

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void FileListBox::SetDirectory(const QString& directory) {
    const QString target = NormalDirectory(directory);
    if (!directory_.isEmpty() && SameDirectory(target, directory_)) return;
    directory_ = target;
    Reread();
}

void FileListBox::SetMask(const QString& mask) {
    if (mask == mask_) return;
    mask_ = mask;
    Reread();
}

void FileListBox::Reread() {
    clear();
    if (directory_.isEmpty()) return;
    QList<QRegularExpression> patterns;
    for (const QString& part : mask_.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        patterns << QRegularExpression::fromWildcard(part.trimmed(), Qt::CaseInsensitive);
    QStringList names;
    for (const QString& name : QDir(directory_).entryList(QDir::Files, QDir::NoSort)) {
        if (std::any_of(patterns.begin(), patterns.end(),
                        [&](const QRegularExpression& re) { return re.match(name).hasMatch(); }))
            names << name;
    }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    addItems(names);
}

FilterComboBox::FilterComboBox(const QString& filter, QWidget* parent) : QComboBox(parent) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        addItem(parts.at(i));
        masks_ << parts.at(i + 1);
    }
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (fileList_ != nullptr) fileList_->SetMask(Mask());
    });
}

QString FilterComboBox::Mask() const {
    return currentIndex() >= 0 && currentIndex() < masks_.size() ? masks_.at(currentIndex()) : QStringLiteral("*");
}

void FilterComboBox::SetFileList(FileListBox* list) {
    fileList_ = list;
    if (fileList_ != nullptr) fileList_->SetMask(Mask());
}

}  // namespace quorvel::app
