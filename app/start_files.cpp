#include "start_files.hpp"

#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <stdexcept>

#include "file_controls.hpp"
#include "midi_form.hpp"
#include "quorvel/batch/batch_driver.hpp"

namespace quorvel::app {
namespace {

bool ContainsName(const QStringList& names, const QString& name) {
    return std::any_of(names.begin(), names.end(), [&](const QString& n) { return SameFileName(n, name); });
}

template <class T>
T& Component(TMidiForm& form, const char* name) {
    T* child = form.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) throw std::logic_error(std::string("The window has no ") + name);
    return *child;
}

}  // namespace

StartPlace PlanStart(const QStringList& paths, const QStringList& masks) {
    StartPlace place;
    QList<QFileInfo> files;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (path.isEmpty() || !(info.isFile() || info.isDir())) {
            place.missing << path;
            continue;
        }
        if (place.directory.isEmpty()) {
            place.directory = NormalDirectory(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
            if (info.isFile()) {
                const auto match = std::find_if(masks.begin(), masks.end(), [&](const QString& mask) {
                    return MatchesMask(info.fileName(), mask);
                });
                if (match != masks.end()) place.filterIndex = static_cast<int>(match - masks.begin());
            }
        }
        if (info.isFile()) files << info;
    }
    for (const QFileInfo& file : files) {
        if (SameDirectory(NormalDirectory(file.absolutePath()), place.directory) &&
            !ContainsName(place.selected, file.fileName()))
            place.selected << file.fileName();
    }
    return place;
}

QStringList FilterMasks(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList masks;
    for (qsizetype i = 1; i < parts.size(); i += 2) masks << parts.at(i);
    return masks;
}

QStringList DroppedPaths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

void OpenPaths(TMidiForm& form, const QStringList& paths) {
    const StartPlace place = PlanStart(paths, FilterMasks(QString::fromLatin1(MidiFileFilter)));
    if (!place.missing.isEmpty()) {
        // One line per path, as the batches report files: "name - reason".
        batch::RunHandler(form, [&place] {
            QStringList lines;
            for (const QString& path : place.missing) lines << path + QStringLiteral(" - No such file or folder");
            throw std::runtime_error(lines.join(QLatin1Char('\r')).toStdString());
        });
    }
    if (place.directory.isEmpty()) return;
    batch::RunHandler(form, [&form, &place] {
        // Through the controls, as a user would go: the window's handlers follow them.
        Component<DirectoryListBox>(form, "DirectoryListBox1").SetDirectory(place.directory);
        if (place.filterIndex >= 0)
            Component<FilterComboBox>(form, "FilterComboBox1").setCurrentIndex(place.filterIndex);
        auto& list = Component<FileListBox>(form, "FileListBox1");
        list.clearSelection();
        QListWidgetItem* first = nullptr;
        for (int i = 0; i < list.count(); ++i) {
            QListWidgetItem* item = list.item(i);
            if (!ContainsName(place.selected, item->text())) continue;
            item->setSelected(true);
            if (first == nullptr) first = item;
        }
        if (first != nullptr) {
            list.setCurrentItem(first, QItemSelectionModel::NoUpdate);
            list.scrollToItem(first);
        }
    });
}

}  // namespace quorvel::app
