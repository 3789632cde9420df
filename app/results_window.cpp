#include "results_window.hpp"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>

#include "quorvel/batch/messages.hpp"
#include "qt_text.hpp"

namespace quorvel::app {

ResultsWindow::ResultsWindow(batch::ResultsList results, QWidget* parent)
    : QDialog(parent), results_(std::move(results)) {
    setObjectName(QStringLiteral("ResultsWindow"));
    setWindowTitle(ToQString(batch::ApplicationTitle));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    counts_ = new QLabel(ToQString(batch::CountsText(results_.counts)), this);
    counts_->setObjectName(QStringLiteral("ResultsCounts"));
    counts_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("ResultsText"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QString lines;
    for (const std::string& line : results_.lines) {
        if (!lines.isEmpty()) lines += QLatin1Char('\n');
        lines += ToQString(line);
    }
    text_->setPlainText(lines);

    auto* buttons = new QDialogButtonBox(this);
    auto* copy = buttons->addButton(ToQString(batch::CopyCaption), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("CopyButton"));
    auto* save = buttons->addButton(ToQString(batch::SaveCaption), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("SaveButton"));
    auto* close = buttons->addButton(ToQString(batch::CloseCaption), QDialogButtonBox::AcceptRole);
    close->setObjectName(QStringLiteral("CloseButton"));
    close->setDefault(true);
    connect(copy, &QPushButton::clicked, this, &ResultsWindow::CopyAll);
    connect(save, &QPushButton::clicked, this, &ResultsWindow::SaveAs);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(counts_);
    layout->addWidget(text_, 1);
    layout->addWidget(buttons);
    const QFontMetrics metrics = fontMetrics();
    resize(metrics.averageCharWidth() * 96, metrics.height() * 26);
}

void ResultsWindow::CopyAll() { QApplication::clipboard()->setText(ToQString(batch::ResultsText(results_))); }

void ResultsWindow::SaveAs() {
    // The output folder of the batch, where its files are, or home when it is gone.
    QDir folder(ToQString(results_.folder));
    if (results_.folder.empty() || !folder.exists()) folder = QDir::home();
    const QString name = QFileDialog::getSaveFileName(this, ToQString(batch::SaveCaption).remove(QStringLiteral("...")),
                                                      folder.filePath(ToQString(batch::ResultsFileName)),
                                                      QStringLiteral("Text Files (*.txt);;All Files (*)"));
    if (name.isEmpty()) return;
    const QByteArray utf8 = name.toUtf8();
    const std::filesystem::path path(std::u8string(utf8.begin(), utf8.end()));
    if (const auto failure = batch::SaveResults(results_, path)) {
        QMessageBox box(QMessageBox::Critical, ToQString(batch::ApplicationTitle), ToQString(*failure + "."),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}

}  // namespace quorvel::app
