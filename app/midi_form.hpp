#pragma once

#include <QMainWindow>

#include "quorvel/batch/batch_driver.hpp"
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

// The filter of FilterComboBox1: description and mask, alternating.
inline constexpr const char* MidiFileFilter = "Midi Files (*.mid)|*.mid|Karaoke Files (*.kar)|*.kar";

// The main window. It owns the controls, wires their signals to the handlers below and
// answers the batch driver's questions; the batches themselves run in the driver.
// Creating it runs FormCreate, which shows the About box (modal) before it returns.
class TMidiForm : public QMainWindow, public batch::BatchWindow {
    Q_OBJECT
public:
    // engine must outlive the window.
    explicit TMidiForm(batch::EngineCalls& engine = batch::RealEngineCalls(), QWidget* parent = nullptr);
    ~TMidiForm() override;

    // BatchWindow
    int FileCount() const override;
    std::string FileEntry(int index) const override;
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

public slots:
    void FormCreate();
    void Button2Click();  // SMF 0 batch
    void Button1Click();  // SMF 1 batch
    void Button5Click();  // karaoke batch
    void Button4Click();  // select all
    void Button3Click();  // exit
    void PromptBetweenFiles1Click();
    void PromptBeforeOverwriting1Click();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void DriveComboBox2Change();
    void DirectoryListBox2Change();
    void FilterComboBox1Change();
    void About1Click();

protected:
    // Files and folders dropped on the window are opened as at start-up (start_files.hpp).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void Wire();
    void EnterDirectory(DirectoryListBox* tree, const QString& directory);
    QWidget* BoxParent();

    batch::EngineCalls& engine_;

    QFrame* MidiPanel = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    DriveComboBox* DriveComboBox1 = nullptr;
    DirectoryListBox* DirectoryListBox1 = nullptr;
    FileListBox* FileListBox1 = nullptr;
    FilterComboBox* FilterComboBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    DriveComboBox* DriveComboBox2 = nullptr;
    DirectoryListBox* DirectoryListBox2 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QMenu* Options1 = nullptr;
    QAction* PromptBetweenFiles1 = nullptr;
    QAction* PromptBeforeOverwriting1 = nullptr;
    QMenu* Menu = nullptr;
    QAction* About1 = nullptr;
};

}  // namespace quorvel::app
