#include "start_files.hpp"

#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "file_controls.hpp"
#include "midi_form.hpp"
#include "qt_text.hpp"
#include "quorvel/batch/batch_driver.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/start_place.hpp"

namespace quorvel::app {
namespace {

template <class T>
T& Component(TMidiForm& form, const char* name) {
    T* child = form.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) throw std::logic_error(std::string("The window has no ") + name);
    return *child;
}

}  // namespace

QStringList DroppedPaths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

void OpenPaths(TMidiForm& form, const QStringList& paths) {
    std::vector<std::filesystem::path> given;
    for (const QString& path : paths) given.push_back(NativePath(path));
    const batch::StartPlace place = batch::PlanStart(given, batch::FilterMasks(batch::MidiFileFilter));
    if (!place.missing.empty()) form.ErrorReport(batch::ApplicationTitle, batch::MissingPathsText(place.missing));
    if (place.directory.empty()) return;
    QStringList selected;
    for (const std::filesystem::path& name : place.selected) selected << DisplayText(name);
    batch::RunHandler(form, [&] {
        // Through the controls, as a user would go: the window's handlers follow them.
        Component<DirectoryListBox>(form, "DirectoryListBox1").SetDirectory(DisplayText(place.directory));
        if (place.filterIndex >= 0)
            Component<FilterComboBox>(form, "FilterComboBox1").setCurrentIndex(place.filterIndex);
        auto& list = Component<FileListBox>(form, "FileListBox1");
        list.clearSelection();
        QListWidgetItem* first = nullptr;
        for (int i = 0; i < list.count(); ++i) {
            QListWidgetItem* item = list.item(i);
            const bool given = std::any_of(selected.begin(), selected.end(),
                                           [&](const QString& name) { return SameFileName(name, item->text()); });
            if (!given) continue;
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
