#pragma once

#include <QDialog>

#include "quorvel/batch/batch_driver.hpp"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quorvel::app {

// The progress window of a long batch: files done of files selected, the current file's
// name and a "Stop" button. It only shows; StopPressed tells the owner. Escape and the
// close box count as "Stop" too, since closing it cannot leave the batch running unseen.
class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* parent = nullptr);
    // Shows where the batch is (the window's visibility is the owner's choice).
    void SetProgress(const batch::BatchProgress& progress);
    // Enables "Stop" again for the next batch.
    void Reset();

signals:
    void StopPressed();

protected:
    void reject() override;

private:
    QLabel* count_ = nullptr;
    QLabel* file_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* stop_ = nullptr;
};

}  // namespace quorvel::app
