#pragma once

#include <QMainWindow>
#include <QTimer>

#include <filesystem>

#include "quorvel/batch/batch_driver.hpp"
#include "quorvel/batch/batch_run.hpp"
#include "quorvel/batch/batch_session.hpp"
#include "quorvel/batch/engine_calls.hpp"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QGroupBox;
class QMenu;
class QPushButton;

namespace quorvel::app {

class DirectoryListBox;
class DriveComboBox;
class FileListBox;
class FilterComboBox;
class PathLabel;
class ProgressWindow;

// Delay before a running batch shows its progress window (or, when a modal box is up
// then, until the box is closed), and the interval at which the window then follows the
// batch, in milliseconds.
inline constexpr int ProgressDelayMs = 1000;
inline constexpr int ProgressRefreshMs = 100;

// The main window. It owns the controls, wires their signals to the handlers below and
// answers the batch driver's questions; the batches run in a batch::BatchSession, on
// threads of their own, so the window repaints and "Stop" works while files convert.
// The session hands the batch's boxes and results to the window's thread. While a batch
// runs the controls and the Options menu are disabled, and a click cannot start a
// second batch. Creating it runs FormCreate, which shows the About
// box (modal) before it returns. "Show Results in One List" is kept in QSettings
// (organisation and application "Quorvel").
class TMidiForm : public QMainWindow, public batch::BatchWindow {
    Q_OBJECT
public:
    // engine must outlive the window and be safe to call from the batch's threads; jobs
    // is the number of conversions at once.
    explicit TMidiForm(batch::EngineCalls& engine = batch::RealEngineCalls(), QWidget* parent = nullptr,
                       unsigned jobs = batch::AutoJobs);
    // A running batch is asked to stop and is waited for; boxes it still asks for are
    // answered at once (Cancel for the replacement question).
    ~TMidiForm() override;

    // True from a batch's click until its last box or results list is closed.
    bool BatchRunning() const noexcept { return session_.Running(); }

    // BatchWindow
    int FileCount() const override;
    std::string FileEntry(int index) const override;
    std::filesystem::path FileName(int index) const override;
    bool FileSelected(int index) const override;
    void SetFileSelected(int index, bool selected) override;
    std::string FileDirectory() const override;
    std::string OutputDirectory() const override;
    bool OptionChecked(batch::BatchOption option) const override;
    void SetOptionChecked(batch::BatchOption option, bool checked) override;
    void PlainMessage(std::string_view title, std::string_view text) override;
    batch::BoxAnswer Confirm(std::string_view title, std::string_view text) override;
    void InformationMessage(std::string_view title, std::string_view text) override;
    void ErrorReport(std::string_view title, std::string_view text) override;
    batch::ReplaceAnswer ConfirmReplace(std::string_view title, std::string_view text,
                                        std::string_view checkCaption) override;
    void ShowResults(const batch::ResultsList& results) override;

signals:
    // A batch has ended and the controls are enabled again.
    void BatchFinished();

public slots:
    void FormCreate();
    void Button2Click();  // SMF 0 batch
    void Button1Click();  // SMF 1 batch
    void Button5Click();  // karaoke batch
    void Button4Click();  // select all
    void Button3Click();  // exit
    void PromptBetweenFiles1Click();
    void PromptBeforeOverwriting1Click();
    void ShowResultsInOneList1Click();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void DriveComboBox2Change();
    void DirectoryListBox2Change();
    void FilterComboBox1Change();
    void About1Click();
    // View > Refresh (F5): both trees and the file list read again, the selection kept.
    void Refresh1Click();
    // View > New Folder (and the output tree's context menu): asks for a name and makes
    // the folder in the output folder, which then opens it.
    void NewFolder1Click();

protected:
    // Closing the window while a batch runs stops the batch; the window closes when it has.
    void closeEvent(QCloseEvent* event) override;
    // Files and folders dropped on the window are opened as at start-up (start_files.hpp).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void StartBatch(batch::BatchKind kind);
    void ServeBatch();
    void BatchEnded();
    void RefreshProgress();
    void ShowProgressWindow();
    void SetBatchControlsEnabled(bool enabled);
    QAction* OptionItem(batch::BatchOption option) const;
    void BuildControls();
    void BuildMenu();
    void Wire();
    void EnterDirectory(DirectoryListBox* tree, const QString& directory);
    // A tree whose folder is gone is said and moved to the nearest folder above it;
    // false when either was gone.
    bool CheckFolders();
    void LeaveMissingFolder(DirectoryListBox* tree, const QString& missing);
    void ShowPaths();
    QWidget* BoxParent();

    QFrame* MidiPanel = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    DriveComboBox* DriveComboBox1 = nullptr;
    DirectoryListBox* DirectoryListBox1 = nullptr;
    PathLabel* InputPath = nullptr;
    FileListBox* FileListBox1 = nullptr;
    FilterComboBox* FilterComboBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    DriveComboBox* DriveComboBox2 = nullptr;
    DirectoryListBox* DirectoryListBox2 = nullptr;
    PathLabel* OutputPath = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QMenu* Options1 = nullptr;
    QAction* PromptBetweenFiles1 = nullptr;
    QAction* PromptBeforeOverwriting1 = nullptr;
    QAction* ShowResultsInOneList1 = nullptr;
    QMenu* View1 = nullptr;
    QAction* Refresh1 = nullptr;
    QAction* NewFolder1 = nullptr;
    QMenu* Menu = nullptr;
    QAction* About1 = nullptr;

    batch::BatchSession session_;
    bool closeWhenDone_ = false;
    ProgressWindow* progressWindow_ = nullptr;
    QTimer progressDelay_;
    QTimer progressRefresh_;
    bool progressDue_ = false;  // the delay ran out while a modal window was up
};

}  // namespace quorvel::app
