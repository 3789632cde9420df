#pragma once

#include <QStringList>

class QMimeData;

namespace quorvel::app {

class TMidiForm;

// The local files and folders in dropped data, in order; empty when it holds none.
QStringList DroppedPaths(const QMimeData* data);

// Moves the window's input side to the place for paths (batch::PlanStart: the folder of
// the first file, the filter of its type, the given files of that folder selected): the
// directory tree and the file list, the filter, and the selection. Paths that name
// nothing are reported in one error box and the others still taken; a directory that
// cannot be listed is reported in another, and the window stays where it was.
void OpenPaths(TMidiForm& form, const QStringList& paths);

}  // namespace quorvel::app
