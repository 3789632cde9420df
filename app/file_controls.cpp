#include "file_controls.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelection>
#include <QHeaderView>
#include <QKeyEvent>
#include <QAbstractItemView>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <system_error>

#include "quorvel/batch/start_place.hpp"

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

std::filesystem::path NativePath(const QString& directory) {
#ifdef _WIN32
    return std::filesystem::path(directory.toStdWString());
#else
    const QByteArray encoded = QFile::encodeName(directory);
    return std::filesystem::path(std::string(encoded.constData(), static_cast<std::size_t>(encoded.size())));
#endif
}

QString DisplayText(const std::filesystem::path& name) {
#ifdef _WIN32
    return QString::fromStdWString(name.native());
#else
    const std::string& bytes = name.native();
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
#endif
}

bool SameDirectory(const QString& a, const QString& b) { return QString::compare(a, b, PathCase) == 0; }

bool SameFileName(const QString& a, const QString& b) {
    return SameDirectory(a, b);  // the same rule for every name of the file system
}

namespace {

// The batch library's wildcard rule over text whose every letter's case is folded first.
std::string Folded(const QString& text) { return text.toUpper().toStdString(); }

}  // namespace

bool MatchesMask(const QString& name, const QString& mask) { return batch::MatchesMask(Folded(name), Folded(mask)); }

QStringList DriveRoots() {
    QStringList roots;
#ifdef _WIN32
    for (const QFileInfo& drive : QDir::drives()) roots << NormalDirectory(drive.absoluteFilePath());
#else
    roots << QStringLiteral("/");
    static const QStringList systemAreas = {QStringLiteral("/proc"), QStringLiteral("/sys"),  QStringLiteral("/dev"),
                                            QStringLiteral("/run"),  QStringLiteral("/boot"), QStringLiteral("/snap")};
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
    // A click or Enter in the open list is a choice; so is one made after arrowing.
    connect(this, &QComboBox::activated, this, [this] {
        pending_ = false;
        emit DriveChosen();
    });
}

QString DriveComboBox::Drive() const { return currentIndex() >= 0 ? roots_.at(currentIndex()) : QString(); }

void DriveComboBox::ShowDriveOf(const QString& directory) {
    const QSignalBlocker quiet(this);
    pending_ = false;
    setCurrentIndex(roots_.indexOf(DriveOf(directory, roots_)));
}

void DriveComboBox::keyPressEvent(QKeyEvent* event) {
    if (view()->isVisible()) {
        QComboBox::keyPressEvent(event);
        return;
    }
    int index = currentIndex();
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left: index = std::max(0, index - 1); break;
    case Qt::Key_Down:
    case Qt::Key_Right: index = std::min(count() - 1, index + 1); break;
    case Qt::Key_Home:
    case Qt::Key_PageUp: index = 0; break;
    case Qt::Key_End:
    case Qt::Key_PageDown: index = count() - 1; break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (pending_) {
            ChoosePending();
            event->accept();
            return;
        }
        QComboBox::keyPressEvent(event);
        return;
    default: QComboBox::keyPressEvent(event); return;
    }
    event->accept();
    if (index == currentIndex()) return;
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
    pending_ = true;
}

void DriveComboBox::focusOutEvent(QFocusEvent* event) {
    // The open list takes the focus while it is up; that is not leaving the selector.
    if (!view()->isVisible()) ChoosePending();
    QComboBox::focusOutEvent(event);
}

// The wheel would switch drives as the arrow keys did; it is left to the window.
void DriveComboBox::wheelEvent(QWheelEvent* event) { event->ignore(); }

void DriveComboBox::ChoosePending() {
    if (!pending_) return;
    pending_ = false;
    emit DriveChosen();
}

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void PathLabel::SetPath(const QString& path) {
    path_ = path;
    setToolTip(path);
    Elide();
}

void PathLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void PathLabel::Elide() {
    setText(fontMetrics().elidedText(path_, Qt::ElideMiddle, std::max(0, contentsRect().width())));
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

void DirectoryListBox::Reread() { Rebuild(); }

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
    names_.clear();
    if (directory_.isEmpty()) return;
    const std::string mask = Folded(mask_);
    struct Entry {
        QString text;
        std::filesystem::path name;
    };
    std::vector<Entry> entries;
    // Listed through the file system's own names: Qt's listing would turn a name that is
    // not valid UTF-8 into text that no longer opens the file.
    std::error_code ec;
    std::filesystem::directory_iterator it(NativePath(directory_), ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::filesystem::path name = it->path().filename();
        const QString text = DisplayText(name);
        std::error_code statusError;
        if (text.startsWith(QLatin1Char('.')) || !it->is_regular_file(statusError)) continue;
        if (batch::MatchesMask(Folded(text), mask)) entries.push_back({text, std::move(name)});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.text != b.text) return LessIgnoringCase(a.text, b.text);
        return a.name < b.name;  // two names that show alike keep a fixed order
    });
    QStringList texts;
    for (Entry& entry : entries) {
        texts << entry.text;
        names_.push_back(std::move(entry.name));
    }
    addItems(texts);
}

void FileListBox::Refresh() {
    std::set<std::filesystem::path> selected;
    for (int row = 0; row < count(); ++row)
        if (item(row)->isSelected()) selected.insert(NativeName(row));
    Reread();
    // One range per run of selected rows: selecting entry by entry is slow for long lists.
    QItemSelection selection;
    for (int row = 0; row < count(); ++row) {
        if (selected.count(NativeName(row)) == 0) continue;
        int last = row;
        while (last + 1 < count() && selected.count(NativeName(last + 1)) != 0) ++last;
        selection.select(model()->index(row, 0), model()->index(last, 0));
        row = last;
    }
    if (!selection.isEmpty()) selectionModel()->select(selection, QItemSelectionModel::Select);
}

std::filesystem::path FileListBox::NativeName(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= names_.size()) return {};
    return names_[static_cast<std::size_t>(row)];
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
