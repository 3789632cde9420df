#pragma once

#include <QDialog>

#include "quorvel/batch/batch_results.hpp"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quorvel::app {

// The results of a batch in one window: the counts, every line (selectable, so it can be
// copied in part), "Copy" for the whole text, "Save..." to write it to a text file, and
// "Close".
class ResultsWindow : public QDialog {
    Q_OBJECT
public:
    explicit ResultsWindow(batch::ResultsList results, QWidget* parent = nullptr);

    // Puts the whole text (lines and counts) on the clipboard.
    void CopyAll();
    // Asks for a file name and saves the whole text there; a failure is reported in a box.
    void SaveAs();

private:
    batch::ResultsList results_;
    QLabel* counts_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
};

}  // namespace quorvel::app
