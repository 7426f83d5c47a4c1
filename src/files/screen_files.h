#pragma once
// The screen files dialog: store the screen picture as a bitmap file, or show a stored picture
// again for viewing and printing. A drive list, a folder list, a file list, a name box and three buttons.

#include <QString>
#include <QWidget>

#include <functional>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace qv {

class PanelModel;
class ScreenPicture;

// The folder and the name make the path; a separator is added unless the folder already ends in one (a drive
// root such as C:\ or /).
QString fullPicturePath(const QString& folder, const QString& name);

class ScreenFilesDialog : public QWidget {
    Q_OBJECT
public:
    ScreenFilesDialog(PanelModel& panel, ScreenPicture& picture, QWidget* parent = nullptr);

    // Hooks to the screen window.
    std::function<void()> showDownload;
    std::function<void()> hideDownload;
    // Store and Display use the picture that a screen transfer may be painting: the buttons run through this,
    // which the window makes wait for the transfer.
    std::function<void(std::function<void()>)> whenFree = [](std::function<void()> action) { action(); };
    // Message boxes: title, text, with or without the exclamation icon. Tests replace it.
    std::function<void(const QString& title, const QString& text, bool exclamation)> message;

    QComboBox* drive() const { return drive1_; }
    QListWidget* folders() const { return dir1_; }
    QListWidget* files() const { return file1_; }
    QLineEdit* nameBox() const { return text1_; }
    QPushButton* storeButton() const { return store_; }
    QPushButton* displayButton() const { return display_; }
    QPushButton* exitButton() const { return exit_; }
    QString folder() const { return folder_; }

    void setFolder(const QString& path);  // Dir1_Change: the folder list and the file list follow
    void Drive1_Change(int index);
    void storeFile();
    void showFile();
    void cancel() { hide(); }

private:
    void fillDrives();
    void fillFolders();
    void fillFiles();
    void say(const QString& title, const QString& text, bool exclamation);

    QString pictureFile_;  // the picture last stored or shown
    PanelModel& panel_;
    ScreenPicture& picture_;
    QComboBox* drive1_;
    QListWidget* dir1_;
    QListWidget* file1_;
    QLineEdit* text1_;
    QPushButton* store_;
    QPushButton* display_;
    QPushButton* exit_;
    QString folder_;
    int driveIndex_ = -1;
};

}  // namespace qv
