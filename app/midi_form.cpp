#include "midi_form.hpp"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>
#include <optional>

#include "file_controls.hpp"
#include "progress_window.hpp"
#include "qt_text.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/window_folders.hpp"
#include "results_window.hpp"
#include "start_files.hpp"

namespace quorvel::app {

using batch::ApplicationTitle;
using batch::BatchKind;
using batch::BatchOption;
using batch::BoxAnswer;
using batch::RunHandler;

namespace {

// "Show Results in One List" in the user's settings store; off when never set.
bool StoredResultsInOneList() {
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, ToQString(ApplicationTitle),
                             ToQString(ApplicationTitle));
    return settings.value(ToQString(batch::ResultsInOneListSetting), false).toBool();
}

void StoreResultsInOneList(bool on) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, ToQString(ApplicationTitle),
                       ToQString(ApplicationTitle));
    settings.setValue(ToQString(batch::ResultsInOneListSetting), on);
}

// Our texts break lines with single carriage returns; Qt's labels break at line feeds
// only, so a box shows each carriage return as a line feed.
QString ForDisplay(std::string_view text) { return ToQString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')); }

// Shows a modal box and tells whether it was closed by its OK button; with a check-box
// caption the box has that check box under its text, and checked tells its state.
bool ShowBox(QWidget* parent, QMessageBox::Icon icon, std::string_view title, std::string_view text, bool withCancel,
             std::string_view checkCaption = {}, bool* checked = nullptr) {
    QMessageBox box(icon, ForDisplay(title), ForDisplay(text),
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    // Escape and the close box choose Cancel where there is one, OK otherwise.
    box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    if (!checkCaption.empty()) box.setCheckBox(new QCheckBox(ToQString(checkCaption)));
    box.exec();
    if (checked != nullptr) *checked = box.checkBox() != nullptr && box.checkBox()->isChecked();
    return box.clickedButton() == box.button(QMessageBox::Ok);
}

// A caption without its mnemonic mark and the dots of a command that asks first.
QString PlainCaption(std::string_view caption) {
    return ToQString(caption).remove(QLatin1Char('&')).remove(QStringLiteral("..."));
}

// A push button that Enter (or Return) presses while it has the focus, as Space does; a
// main window's buttons get no such key from Qt, which gives it to dialogs' buttons only.
class EnterButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
            event->accept();
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

QPushButton* MakeButton(const char* name, std::string_view caption, QWidget* parent, double scale) {
    auto* button = new EnterButton(ToQString(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumSize(static_cast<int>(std::lround(209 * scale)), static_cast<int>(std::lround(41 * scale)));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setAutoDefault(false);
    return button;
}

QAction* MakeOption(QMenu* menu, const char* name, std::string_view caption, bool checked) {
    QAction* action = menu->addAction(ToQString(caption));
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

}  // namespace

TMidiForm::TMidiForm(batch::EngineCalls& engine, QWidget* parent, unsigned jobs)
    : QMainWindow(parent),
      session_(
          *this, engine, jobs,
          [this] { QMetaObject::invokeMethod(this, &TMidiForm::ServeBatch, Qt::QueuedConnection); },
          [this] { BatchEnded(); }) {
    setObjectName(QStringLiteral("MidiForm"));
    setWindowTitle(ToQString(ApplicationTitle));
    BuildControls();
    BuildMenu();
    Wire();
    progressWindow_ = new ProgressWindow(this);
    connect(progressWindow_, &ProgressWindow::StopPressed, this, [this] { session_.Stop(); });
    progressDelay_.setSingleShot(true);
    progressDelay_.setInterval(ProgressDelayMs);
    connect(&progressDelay_, &QTimer::timeout, this, &TMidiForm::ShowProgressWindow);
    progressRefresh_.setInterval(ProgressRefreshMs);
    connect(&progressRefresh_, &QTimer::timeout, this, &TMidiForm::RefreshProgress);
    setAcceptDrops(true);

    // Both trees, and so the file list, start in the process's current directory.
    for (DirectoryListBox* tree : {DirectoryListBox1, DirectoryListBox2}) {
        try {
            tree->SetDirectory(QDir::currentPath());
        } catch (const std::exception&) {
            tree->SetDirectory(QDir::rootPath());
        }
    }
    FormCreate();
    FileListBox1->setFocus();
}

TMidiForm::~TMidiForm() = default;

void TMidiForm::BuildControls() {
    // The window was drawn at 120 pixels per inch with an 8-point font whose lines are
    // 16 pixels high; its bounds scale with the line height of the font in use here, and
    // layouts grow anything that would still be too small for its text.
    const double scale = std::max(0.8, fontMetrics().height() / 16.0);
    const auto px = [scale](int designed) { return static_cast<int>(std::lround(designed * scale)); };

    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(px(16), px(8), px(16), px(8));
    MidiPanel = new QFrame(central);
    MidiPanel->setObjectName(QStringLiteral("MidiPanel"));
    MidiPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(MidiPanel);
    setCentralWidget(central);

    GroupBox1 = new QGroupBox(ToQString(batch::InputGroupCaption), MidiPanel);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    DriveComboBox1 = new DriveComboBox(GroupBox1);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DirectoryListBox1 = new DirectoryListBox(GroupBox1);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setMinimumHeight(px(113));
    InputPath = new PathLabel(GroupBox1);
    InputPath->setObjectName(QStringLiteral("InputPath"));
    FileListBox1 = new FileListBox(GroupBox1);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setMinimumHeight(px(145));
    FilterComboBox1 = new FilterComboBox(ToQString(batch::MidiFileFilter), GroupBox1);
    FilterComboBox1->setObjectName(QStringLiteral("FilterComboBox1"));
    auto* input = new QVBoxLayout(GroupBox1);
    input->setContentsMargins(px(8), px(8), px(8), px(8));
    input->setSpacing(px(8));
    input->addWidget(DriveComboBox1);
    input->addWidget(DirectoryListBox1, 113);
    input->addWidget(InputPath);
    input->addWidget(FileListBox1, 145);
    input->addWidget(FilterComboBox1);

    GroupBox2 = new QGroupBox(ToQString(batch::OutputGroupCaption), MidiPanel);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    DriveComboBox2 = new DriveComboBox(GroupBox2);
    DriveComboBox2->setObjectName(QStringLiteral("DriveComboBox2"));
    DirectoryListBox2 = new DirectoryListBox(GroupBox2);
    DirectoryListBox2->setObjectName(QStringLiteral("DirectoryListBox2"));
    DirectoryListBox2->setMinimumHeight(px(145));
    OutputPath = new PathLabel(GroupBox2);
    OutputPath->setObjectName(QStringLiteral("OutputPath"));
    auto* output = new QVBoxLayout(GroupBox2);
    output->setContentsMargins(px(8), px(8), px(8), px(8));
    output->setSpacing(px(8));
    output->addWidget(DriveComboBox2);
    output->addWidget(DirectoryListBox2, 1);
    output->addWidget(OutputPath);

    Button2 = MakeButton("Button2", batch::MnemonicCaption(batch::Row(BatchKind::Smf0)), MidiPanel, scale);
    Button1 = MakeButton("Button1", batch::MnemonicCaption(batch::Row(BatchKind::Smf1)), MidiPanel, scale);
    Button5 = MakeButton("Button5", batch::MnemonicCaption(batch::Row(BatchKind::Karaoke)), MidiPanel, scale);
    Button3 = MakeButton("Button3", batch::ExitCaption, MidiPanel, scale);
    Button4 = MakeButton("Button4", batch::SelectAllCaption, MidiPanel, scale);

    // Tab follows the screen: the input side top to bottom with "Select all", then the
    // output side with the conversion buttons and "Exit".
    QWidget* const order[] = {DriveComboBox1, DirectoryListBox1, FileListBox1, FilterComboBox1, Button4,
                              DriveComboBox2, DirectoryListBox2, Button2,      Button1,         Button5,
                              Button3};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    // Input on the left with "Select all" under it; output on the right with the
    // conversion buttons and "Exit" under it, "Exit" level with "Select all".
    auto* grid = new QGridLayout(MidiPanel);
    grid->setContentsMargins(px(32), px(24), px(32), px(16));
    grid->setHorizontalSpacing(px(39));
    grid->setVerticalSpacing(px(7));
    grid->addWidget(GroupBox1, 0, 0, 5, 1);
    grid->addWidget(GroupBox2, 0, 1);
    grid->setRowMinimumHeight(1, px(9));
    grid->addWidget(Button2, 2, 1, Qt::AlignHCenter);
    grid->addWidget(Button1, 3, 1, Qt::AlignHCenter);
    grid->addWidget(Button5, 4, 1, Qt::AlignHCenter);
    grid->addWidget(Button4, 5, 0, Qt::AlignHCenter);
    grid->addWidget(Button3, 5, 1, Qt::AlignHCenter);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);

    resize(px(720), px(555));  // with a line for each folder's path
}

void TMidiForm::BuildMenu() {
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    // The panel's raised edge sits just below the menu bar; the line some styles draw
    // under a menu bar would run beside it as a stray second edge.
    menuBar()->setStyleSheet(QStringLiteral("QMenuBar { border: none; background: palette(window); }"));
    Options1 = menuBar()->addMenu(ToQString(batch::OptionsMenuCaption));
    Options1->setObjectName(QStringLiteral("Options1"));
    PromptBetweenFiles1 = MakeOption(Options1, "PromptBetweenFiles1", batch::PromptBetweenFilesCaption, false);
    PromptBeforeOverwriting1 = MakeOption(Options1, "PromptBeforeOverwriting1", batch::PromptBeforeOverwritingCaption,
                                          true);
    ShowResultsInOneList1 = MakeOption(Options1, "ShowResultsInOneList1", batch::ResultsInOneListMenuCaption,
                                       StoredResultsInOneList());
    View1 = menuBar()->addMenu(ToQString(batch::ViewMenuCaption));
    View1->setObjectName(QStringLiteral("View1"));
    Refresh1 = View1->addAction(ToQString(batch::RefreshMenuCaption));
    Refresh1->setObjectName(QStringLiteral("Refresh1"));
    Refresh1->setShortcut(QKeySequence::Refresh);
    NewFolder1 = View1->addAction(ToQString(batch::NewFolderMenuCaption));
    NewFolder1->setObjectName(QStringLiteral("NewFolder1"));
    // The output tree's context menu has both commands too.
    DirectoryListBox2->setContextMenuPolicy(Qt::ActionsContextMenu);
    DirectoryListBox2->addAction(NewFolder1);
    DirectoryListBox2->addAction(Refresh1);
    Menu = menuBar()->addMenu(ToQString(batch::HelpMenuCaption));
    Menu->setObjectName(QStringLiteral("Menu"));
    About1 = Menu->addAction(ToQString(batch::AboutMenuCaption));
    About1->setObjectName(QStringLiteral("About1"));
}

void TMidiForm::Wire() {
    connect(Button2, &QPushButton::clicked, this, &TMidiForm::Button2Click);
    connect(Button1, &QPushButton::clicked, this, &TMidiForm::Button1Click);
    connect(Button5, &QPushButton::clicked, this, &TMidiForm::Button5Click);
    connect(Button4, &QPushButton::clicked, this, &TMidiForm::Button4Click);
    connect(Button3, &QPushButton::clicked, this, &TMidiForm::Button3Click);

    // Qt inverts the mark of a checkable item before it reports the click; the handler
    // is the one that inverts it, so the wiring puts the mark back first.
    const auto option = [this](QAction* item, void (TMidiForm::*handler)()) {
        connect(item, &QAction::triggered, this, [this, item, handler](bool checked) {
            {
                const QSignalBlocker quiet(item);
                item->setChecked(!checked);
            }
            (this->*handler)();
        });
    };
    option(PromptBetweenFiles1, &TMidiForm::PromptBetweenFiles1Click);
    option(PromptBeforeOverwriting1, &TMidiForm::PromptBeforeOverwriting1Click);
    option(ShowResultsInOneList1, &TMidiForm::ShowResultsInOneList1Click);
    connect(About1, &QAction::triggered, this, &TMidiForm::About1Click);
    connect(Refresh1, &QAction::triggered, this, &TMidiForm::Refresh1Click);
    connect(NewFolder1, &QAction::triggered, this, &TMidiForm::NewFolder1Click);

    connect(DriveComboBox1, &DriveComboBox::DriveChosen, this, &TMidiForm::DriveComboBox1Change);
    connect(DirectoryListBox1, &DirectoryListBox::DirectoryChanged, this, &TMidiForm::DirectoryListBox1Change);
    connect(DirectoryListBox1, &QTreeWidget::itemClicked, this, &TMidiForm::DirectoryListBox1Change);
    connect(DirectoryListBox1, &DirectoryListBox::EnterRequested, this,
            [this](const QString& directory) { EnterDirectory(DirectoryListBox1, directory); });
    connect(DriveComboBox2, &DriveComboBox::DriveChosen, this, &TMidiForm::DriveComboBox2Change);
    connect(DirectoryListBox2, &DirectoryListBox::DirectoryChanged, this, &TMidiForm::DirectoryListBox2Change);
    connect(DirectoryListBox2, &DirectoryListBox::EnterRequested, this,
            [this](const QString& directory) { EnterDirectory(DirectoryListBox2, directory); });
    connect(FilterComboBox1, &QComboBox::currentIndexChanged, this, &TMidiForm::FilterComboBox1Change);
    connect(FilterComboBox1, &QComboBox::activated, this, &TMidiForm::FilterComboBox1Change);
}

void TMidiForm::FormCreate() {
    About1Click();
    // The texts of the result codes are constant, in the batch kinds' rows (batch_kind.cpp).
    FileListBox1->SetMask(FilterComboBox1->Mask());
}

void TMidiForm::Button2Click() { StartBatch(BatchKind::Smf0); }

void TMidiForm::Button1Click() { StartBatch(BatchKind::Smf1); }

void TMidiForm::Button5Click() { StartBatch(BatchKind::Karaoke); }

void TMidiForm::StartBatch(BatchKind kind) {
    if (session_.Running()) return;  // one batch at a time
    if (!CheckFolders()) return;
    progressDue_ = false;
    progressWindow_->Reset();
    session_.Start(batch::TakeSnapshot(*this, kind));
    progressWindow_->SetProgress(session_.Progress());
    SetBatchControlsEnabled(false);
    progressDelay_.start();
    progressRefresh_.start();
}

void TMidiForm::ServeBatch() {
    if (session_.CallPending()) {
        // A box of the batch hides the progress window, which would cover it; the window
        // comes back a delay after the box is closed, if the batch still runs.
        progressWindow_->hide();
        progressDue_ = false;
        session_.Serve();
        if (session_.Running()) progressDelay_.start();
    } else {
        session_.Serve();
    }
    RefreshProgress();
}

void TMidiForm::BatchEnded() {
    progressDelay_.stop();
    progressRefresh_.stop();
    progressDue_ = false;
    progressWindow_->hide();
    // A batch that wrote into the folder the file list shows: its new files are listed,
    // and the entries still there stay selected.
    if (SameDirectory(QString::fromStdString(session_.OutputDirectory()), FileListBox1->Directory()))
        FileListBox1->Refresh();
    // Folders the batch made in the output folder show in its tree.
    DirectoryListBox2->Reread();
    SetBatchControlsEnabled(true);
    CheckFolders();
    emit BatchFinished();
    if (closeWhenDone_) close();
}

void TMidiForm::ShowProgressWindow() {
    // Over a modal window (a box of the batch, which the batch waits for, or About) the
    // progress window would hide it and could not be used; it waits until that window
    // is closed, and the next refresh opens it.
    const std::optional<batch::BatchProgress> progress = session_.ProgressToShow();
    progressDue_ = session_.Running() && (!progress || QApplication::activeModalWidget() != nullptr);
    if (!progress || progressDue_) return;
    progressWindow_->SetProgress(*progress);
    progressWindow_->show();
    progressWindow_->raise();
}

void TMidiForm::RefreshProgress() {
    const batch::BatchProgress progress = session_.Progress();
    if (progress.finished || !session_.Running()) {
        progressDelay_.stop();
        progressRefresh_.stop();
        progressDue_ = false;
        progressWindow_->hide();
    } else if (progressDue_) {
        ShowProgressWindow();
    } else if (progressWindow_->isVisible()) {
        progressWindow_->SetProgress(progress);
    }
}

void TMidiForm::SetBatchControlsEnabled(bool enabled) {
    MidiPanel->setEnabled(enabled);
    Options1->setEnabled(enabled);
    View1->setEnabled(enabled);
    Refresh1->setEnabled(enabled);
    NewFolder1->setEnabled(enabled);
}

void TMidiForm::closeEvent(QCloseEvent* event) {
    if (!session_.Running()) {
        QMainWindow::closeEvent(event);
        return;
    }
    session_.Stop();
    closeWhenDone_ = true;
    event->ignore();
}

void TMidiForm::Button4Click() {
    // One selection range for the whole list: selecting entry by entry takes a second
    // for a few thousand entries.
    FileListBox1->selectAll();
}

void TMidiForm::Button3Click() { close(); }

void TMidiForm::PromptBetweenFiles1Click() { batch::ToggleOption(*this, BatchOption::PromptBetweenFiles); }

void TMidiForm::PromptBeforeOverwriting1Click() { batch::ToggleOption(*this, BatchOption::PromptBeforeOverwriting); }

void TMidiForm::ShowResultsInOneList1Click() { batch::ToggleOption(*this, BatchOption::ResultsInOneList); }

void TMidiForm::DriveComboBox1Change() {
    RunHandler(*this, [this] { DirectoryListBox1->MoveToDrive(DriveComboBox1->Drive(), DriveComboBox1->Roots()); });
    // A drive that cannot be entered leaves the tree where it was; so is the selector.
    DriveComboBox1->ShowDriveOf(DirectoryListBox1->Directory());
}

void TMidiForm::DirectoryListBox1Change() {
    FileListBox1->SetDirectory(DirectoryListBox1->Directory());
    DriveComboBox1->ShowDriveOf(DirectoryListBox1->Directory());
    ShowPaths();
}

void TMidiForm::DriveComboBox2Change() {
    RunHandler(*this, [this] { DirectoryListBox2->MoveToDrive(DriveComboBox2->Drive(), DriveComboBox2->Roots()); });
    DriveComboBox2->ShowDriveOf(DirectoryListBox2->Directory());
}

void TMidiForm::DirectoryListBox2Change() {
    DriveComboBox2->ShowDriveOf(DirectoryListBox2->Directory());
    ShowPaths();
}

void TMidiForm::ShowPaths() {
    // The folders the batch will use: the input tree's opened folder (the file list's)
    // and the output tree's, not an entry that is only highlighted.
    InputPath->SetPath(DirectoryListBox1->Directory());
    OutputPath->SetPath(DirectoryListBox2->Directory());
}

void TMidiForm::Refresh1Click() {
    if (session_.Running()) return;
    CheckFolders();
    DirectoryListBox1->Reread();
    DirectoryListBox2->Reread();
    FileListBox1->Refresh();
}

void TMidiForm::NewFolder1Click() {
    if (session_.Running() || !CheckFolders()) return;
    const QString parent = DirectoryListBox2->Directory();
    bool ok = false;
    const QString name = QInputDialog::getText(this, PlainCaption(batch::NewFolderCaption),
                                               ToQString(batch::FormatMessage(batch::NewFolderPrompt,
                                                                              {parent.toStdString()})),
                                               QLineEdit::Normal, ToQString(batch::NewFolderName), &ok);
    if (!ok) return;
    const batch::NewFolder made = batch::MakeFolder(NativePath(parent), name.toStdString());
    if (made.failure) {
        ErrorReport(ApplicationTitle, *made.failure);
        return;
    }
    EnterDirectory(DirectoryListBox2, DisplayText(made.made));
}

bool TMidiForm::CheckFolders() {
    bool present = true;
    for (DirectoryListBox* tree : {DirectoryListBox1, DirectoryListBox2}) {
        const QString folder = tree->Directory();
        if (batch::FolderExists(NativePath(folder))) continue;
        present = false;
        LeaveMissingFolder(tree, folder);
    }
    return present;
}

void TMidiForm::LeaveMissingFolder(DirectoryListBox* tree, const QString& missing) {
    ErrorReport(ApplicationTitle, batch::MissingFolderText(missing.toStdString()));
    const QString nearest = DisplayText(batch::NearestExistingFolder(NativePath(missing)));
    RunHandler(*this, [&] {
        try {
            tree->SetDirectory(nearest);
        } catch (const std::exception&) {
            tree->SetDirectory(QDir::rootPath());  // the drive itself is gone
        }
    });
    tree->Reread();
}

void TMidiForm::FilterComboBox1Change() { FilterComboBox1->SetFileList(FileListBox1); }

void TMidiForm::About1Click() { batch::ShowAbout(*this); }

void TMidiForm::EnterDirectory(DirectoryListBox* tree, const QString& directory) {
    if (!batch::FolderExists(NativePath(directory))) {
        LeaveMissingFolder(tree, directory);
        return;
    }
    RunHandler(*this, [tree, &directory] { tree->SetDirectory(directory); });
}

void TMidiForm::dragEnterEvent(QDragEnterEvent* event) {
    // Not while a batch runs or a box is up: a batch keeps its folder and selection to
    // the end.
    if (!BatchRunning() && QApplication::activeModalWidget() == nullptr && !DroppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TMidiForm::dropEvent(QDropEvent* event) {
    if (BatchRunning()) return;
    event->acceptProposedAction();
    OpenPaths(*this, DroppedPaths(event->mimeData()));
}

QWidget* TMidiForm::BoxParent() { return isVisible() ? this : nullptr; }

int TMidiForm::FileCount() const { return FileListBox1->count(); }

std::string TMidiForm::FileEntry(int index) const {
    const QListWidgetItem* item = FileListBox1->item(index);
    return item != nullptr ? item->text().toStdString() : std::string();
}

std::filesystem::path TMidiForm::FileName(int index) const { return FileListBox1->NativeName(index); }

bool TMidiForm::FileSelected(int index) const {
    const QListWidgetItem* item = FileListBox1->item(index);
    return item != nullptr && item->isSelected();
}

void TMidiForm::SetFileSelected(int index, bool selected) {
    if (QListWidgetItem* item = FileListBox1->item(index)) item->setSelected(selected);
}

std::string TMidiForm::FileDirectory() const { return FileListBox1->Directory().toStdString(); }

std::string TMidiForm::OutputDirectory() const { return DirectoryListBox2->Directory().toStdString(); }

QAction* TMidiForm::OptionItem(BatchOption option) const {
    switch (option) {
    case BatchOption::PromptBetweenFiles: return PromptBetweenFiles1;
    case BatchOption::PromptBeforeOverwriting: return PromptBeforeOverwriting1;
    case BatchOption::ResultsInOneList: break;
    }
    return ShowResultsInOneList1;
}

bool TMidiForm::OptionChecked(BatchOption option) const { return OptionItem(option)->isChecked(); }

void TMidiForm::SetOptionChecked(BatchOption option, bool checked) {
    OptionItem(option)->setChecked(checked);
    if (option == BatchOption::ResultsInOneList) StoreResultsInOneList(checked);
}

void TMidiForm::PlainMessage(std::string_view title, std::string_view text) {
    ShowBox(BoxParent(), QMessageBox::NoIcon, title, text, false);
}

BoxAnswer TMidiForm::Confirm(std::string_view title, std::string_view text) {
    return ShowBox(BoxParent(), QMessageBox::Question, title, text, true) ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

batch::ReplaceAnswer TMidiForm::ConfirmReplace(std::string_view title, std::string_view text,
                                               std::string_view checkCaption) {
    bool checked = false;
    const bool ok = ShowBox(BoxParent(), QMessageBox::Question, title, text, true, checkCaption, &checked);
    return {ok ? BoxAnswer::Ok : BoxAnswer::Cancel, checked};
}

void TMidiForm::InformationMessage(std::string_view title, std::string_view text) {
    ShowBox(BoxParent(), QMessageBox::Information, title, text, false);
}

void TMidiForm::ErrorReport(std::string_view title, std::string_view text) {
    progressWindow_->hide();
    ShowBox(BoxParent(), QMessageBox::Critical, title, text, false);
}

void TMidiForm::ShowResults(const batch::ResultsList& results) {
    progressWindow_->hide();
    ResultsWindow window(results, BoxParent());
    window.exec();
}

}  // namespace quorvel::app
