#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

namespace quorvel::app {

class TMidiForm;

// Where the input side of the window goes for files and folders it is given.
struct StartPlace {
    QString directory;     // in the window's form; empty when no path names a file or folder
    int filterIndex = -1;  // filter entry whose mask the first file matches; -1 keeps the current one
    QStringList selected;  // names of the given files that lie in directory, in the order given
    QStringList missing;   // paths, as given, that name neither a file nor a folder
};

// The place for paths (files or folders, absolute or relative to the current directory)
// as the command line or a drop gives them: the folder of the first existing file, or
// the first existing folder itself; the first masks entry (a filter's masks, in the
// order of its entries) that matches the first file's name; the given files of that
// folder. Reads only file metadata.
StartPlace PlanStart(const QStringList& paths, const QStringList& masks);

// The masks of a filter in the form "description|mask|description|mask...".
QStringList FilterMasks(const QString& filter);

// The local files and folders in dropped data, in order; empty when it holds none.
QStringList DroppedPaths(const QMimeData* data);

// Moves the window's input side to the place for paths: the directory tree and the file
// list, the filter, and the selection. Paths that name nothing are reported in one error
// box and the others still taken; a directory that cannot be listed is reported in
// another, and the window stays where it was.
void OpenPaths(TMidiForm& form, const QStringList& paths);

}  // namespace quorvel::app
