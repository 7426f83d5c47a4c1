#include "files/screen_files.h"

#include "render/screen_picture.h"
#include "state/panel_model.h"
#include "state/twips.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStorageInfo>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kFolderPathRole = Qt::UserRole + 1;

QLabel* caption(QWidget* parent, const QString& text, QRect geometry)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}
}  // namespace

QString fullPicturePath(const QString& folder, const QString& name)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder + name;
    return folder + QDir::separator() + name;
}

ScreenFilesDialog::ScreenFilesDialog(PanelModel& panel, ScreenPicture& picture, QWidget* parent)
    : QWidget(parent), panel_(panel), picture_(picture)
{
    setWindowTitle(u"Files"_s);
    setFixedSize(twipsToPixels(7755), twipsToPixels(5775));

    drive1_ = new QComboBox(this);
    drive1_->setGeometry(twipRect(360, 720, 2055, 315));
    drive1_->setToolTip(u"Select Drive"_s);
    dir1_ = new QListWidget(this);
    dir1_->setGeometry(twipRect(360, 2280, 2055, 3240));
    dir1_->setToolTip(u"Select Folder"_s);
    file1_ = new QListWidget(this);
    file1_->setGeometry(twipRect(2760, 2520, 2055, 2820));
    file1_->setToolTip(u"Select File for display"_s);
    text1_ = new QLineEdit(u"mypic.bmp"_s, this);
    text1_->setGeometry(twipRect(2760, 1080, 2055, 375));
    text1_->setToolTip(u"Name of picture to be stored"_s);
    store_ = new QPushButton(u"Store"_s, this);
    store_->setGeometry(twipRect(5760, 360, 855, 495));
    store_->setToolTip(u"Store downloaded picture to disk"_s);
    display_ = new QPushButton(u"Display"_s, this);
    display_->setGeometry(twipRect(5760, 1920, 855, 495));
    display_->setToolTip(u"Display a stored picture "_s);
    exit_ = new QPushButton(u"Exit"_s, this);
    exit_->setGeometry(twipRect(6720, 5040, 855, 495));
    exit_->setToolTip(u"Return to main screen"_s);
    for (auto* b : {store_, display_, exit_})
        b->setAutoDefault(false);
    caption(this, u"Select Drive Required for Store and Display"_s, twipRect(480, 120, 1695, 375));
    caption(this, u"Select Folder Required for Store and Display"_s, twipRect(480, 1560, 1695, 495));
    caption(this, u"To store a picture as a .BMP file, enter the file name then click 'Store'"_s,
            twipRect(2640, 360, 2775, 375));
    caption(this, u"To display a stored .BMP file select the required file then click'Display'"_s,
            twipRect(2760, 1920, 2775, 495));

    QWidget::setTabOrder(text1_, drive1_);
    QWidget::setTabOrder(drive1_, file1_);
    QWidget::setTabOrder(file1_, store_);
    QWidget::setTabOrder(store_, display_);
    QWidget::setTabOrder(display_, exit_);
    QWidget::setTabOrder(exit_, dir1_);

    connect(store_, &QPushButton::clicked, this, [this] { whenFree([this] { storeFile(); }); });
    connect(display_, &QPushButton::clicked, this, [this] { whenFree([this] { showFile(); }); });
    connect(exit_, &QPushButton::clicked, this, &ScreenFilesDialog::cancel);
    connect(dir1_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setFolder(item->data(kFolderPathRole).toString()); });
    connect(file1_, &QListWidget::itemDoubleClicked, this, [this] { whenFree([this] { showFile(); }); });

    fillDrives();
    setFolder(QDir::currentPath());
    connect(drive1_, &QComboBox::activated, this, &ScreenFilesDialog::Drive1_Change);
}

void ScreenFilesDialog::say(const QString& title, const QString& text, bool exclamation)
{
    if (message) {
        message(title, text, exclamation);
        return;
    }
    QMessageBox box(exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.exec();
}

void ScreenFilesDialog::fillDrives()
{
    // The drives of this machine: on Linux its mounted volumes, on Windows its drive letters.
    drive1_->clear();
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (v.fileSystemType() == "proc" || v.fileSystemType() == "sysfs" || v.rootPath().startsWith(u"/proc"_s) ||
            v.rootPath().startsWith(u"/sys"_s))
            continue;
        drive1_->addItem(QDir::toNativeSeparators(v.rootPath()), v.rootPath());
    }
}

void ScreenFilesDialog::Drive1_Change(int index)
{
    const QString root = drive1_->itemData(index).toString();
    QStorageInfo volume(root);
    if (root.isEmpty() || !volume.isValid() || !volume.isReady() || !QDir(root).isReadable()) {
        say(u"Drive Error"_s, u"Selected Drive not ready"_s, true);
        // Back to the drive in use, so that the message is not shown again and again.
        drive1_->setCurrentIndex(driveIndex_);
        return;
    }
    setFolder(root);
}

void ScreenFilesDialog::setFolder(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable())
        return;
    folder_ = QDir::cleanPath(info.absoluteFilePath());
    // The drive list shows the volume the folder lives on.
    const QString volume = QStorageInfo(folder_).rootPath();
    const int d = drive1_->findData(volume);
    if (d >= 0) {
        drive1_->setCurrentIndex(d);
        driveIndex_ = d;
    }
    fillFolders();
    fillFiles();
}

void ScreenFilesDialog::fillFolders()
{
    // The path from the root down to the open folder, then the folders inside it, indented as a tree.
    dir1_->clear();
    QStringList chain;
    for (QDir d(folder_);; ) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& p : chain) {
        const QString name = QDir(p).isRoot() ? QDir::toNativeSeparators(p) : QFileInfo(p).fileName();
        auto* item = new QListWidgetItem(QString(depth * 2, u' ') + name, dir1_);
        item->setData(kFolderPathRole, p);
        ++depth;
    }
    dir1_->setCurrentRow(dir1_->count() - 1);
    const auto subfolders = QDir(folder_).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& f : subfolders) {
        auto* item = new QListWidgetItem(QString(depth * 2, u' ') + f.fileName(), dir1_);
        item->setData(kFolderPathRole, f.absoluteFilePath());
    }
}

void ScreenFilesDialog::fillFiles()
{
    file1_->clear();
    const auto entries = QDir(folder_).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    file1_->addItems(entries);
}

void ScreenFilesDialog::storeFile()
{
    const QString name = text1_->text();
    pictureFile_ = fullPicturePath(folder_, name);
    // The name is used as typed.
    if (name.trimmed().isEmpty() || !savePicture(picture_.image(), pictureFile_)) {
        // Nothing was written: say so and keep the dialog open with the name, so the picture is not lost.
        say(u"File Store Error"_s,
            u"The picture could not be stored as\n%1\nChoose another folder or name."_s.arg(
                QDir::toNativeSeparators(pictureFile_)),
            true);
        return;
    }
    fillFiles();
    QApplication::beep();
    hide();
}

void ScreenFilesDialog::showFile()
{
    QListWidgetItem* item = file1_->currentItem();
    QImage loaded;
    if (item) {
        pictureFile_ = fullPicturePath(folder_, item->text());
        QImageReader reader(pictureFile_);
        loaded = reader.read();
    }
    if (loaded.isNull()) {
        say(u"File Directory Error"_s, u"No .BMP file is selected"_s, false);
        if (hideDownload)
            hideDownload();
        return;
    }
    if (showDownload)
        showDownload();
    picture_.show(loaded.convertToFormat(QImage::Format_RGB32));
    QApplication::beep();
    hide();
    // A stored picture can be printed as it is, but not reversed.
    panel_.setMenuEnabled(Menu::Reverse, false);
    panel_.setMenuEnabled(Menu::PrintFrame, true);
}

}  // namespace qv
