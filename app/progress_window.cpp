#include "progress_window.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "quorvel/batch/messages.hpp"
#include "qt_text.hpp"

namespace quorvel::app {

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ProgressWindow"));
    setWindowTitle(ToQString(batch::ApplicationTitle));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("ProgressCount"));
    file_ = new QLabel(this);
    file_->setObjectName(QStringLiteral("ProgressFile"));
    file_->setTextFormat(Qt::PlainText);
    file_->setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("ProgressBar"));
    bar_->setTextVisible(false);
    stop_ = new QPushButton(ToQString(batch::StopCaption), this);
    stop_->setObjectName(QStringLiteral("StopButton"));
    stop_->setAutoDefault(false);
    connect(stop_, &QPushButton::clicked, this, &ProgressWindow::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(stop_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(count_);
    layout->addWidget(bar_);
    layout->addWidget(file_);
    layout->addLayout(buttons);
}

void ProgressWindow::SetProgress(const batch::BatchProgress& progress) {
    count_->setText(ToQString(batch::FormatMessage(batch::ProgressPattern,
                                                   {std::to_string(progress.done), std::to_string(progress.total)})));
    bar_->setRange(0, std::max(progress.total, 1));
    bar_->setValue(progress.done);
    // A long name is cut in its middle so that its start and its extension stay visible.
    file_->setText(fontMetrics().elidedText(ToQString(progress.current), Qt::ElideMiddle,
                                            std::max(file_->width(), file_->minimumWidth())));
}

void ProgressWindow::Reset() { stop_->setEnabled(true); }

void ProgressWindow::reject() {
    if (!stop_->isEnabled()) return;
    stop_->setEnabled(false);
    emit StopPressed();
}

}  // namespace quorvel::app
