#include "app/dialogs/misc_copy_dialog.h"

#include "app/dialogs/browse_folder.h"
#include "app/widgets/icons.h"
#include "app/widgets/shell.h"
#include "app/window/command_ids.h"
#include "util/text_helpers.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vn {

namespace {

// Each folder is a path buffer like every path setting, terminator included.
constexpr int FolderCapacity = 260;

} // namespace

MiscCopyDialogWindow::MiscCopyDialogWindow(QWidget* owner, const MiscCopyParams& params)
    : QDialog(owner), params_(params)
{
    setObjectName(QStringLiteral("MISCCOPYUTY_DIALOG"));
    setWindowTitle(QStringLiteral("Misc File Copy Utility"));
    QFont font(QStringLiteral("Meiryo UI"));
    font.setPointSize(9);
    setFont(font);

    auto* about = new QLabel(
        QStringLiteral("This utility copies miscellaneous files except music files that are stored in the Source Folder "
                       "and the subfolders to the Destination Folder and the subfolders.\n"
                       "( Music files : .mp3, .m4a, .mp4, .flac, .wav )"),
        this);
    about->setWordWrap(true);

    auto* grid = new QGridLayout;
    auto folderRow = [this, grid](int row, const QString& caption, const QString& text, int editId, int buttonId,
                                  int bitmapId, QToolButton*& button) {
        auto* edit = new QLineEdit(text, this);
        edit->setObjectName(QString::number(editId));
        edit->setMaxLength(FolderCapacity - 1);
        edit->setMinimumWidth(420);
        auto* label = new QLabel(caption, this);
        label->setBuddy(edit);
        button = new QToolButton(this);
        button->setObjectName(QString::number(buttonId));
        button->setIcon(bitmapIcon(bitmapId));
        button->setProperty("bitmapId", bitmapId);
        AddToolTip(button, QStringLiteral("[%1] を変更します").arg(caption));
        connect(button, &QToolButton::clicked, this,
                [this, edit, caption] { browse(edit, QStringLiteral("Select %1").arg(caption)); });
        grid->addWidget(label, 2 * row, 0, 1, 2);
        grid->addWidget(edit, 2 * row + 1, 0);
        grid->addWidget(button, 2 * row + 1, 1);
        return edit;
    };
    source_ = folderRow(0, QStringLiteral("Source Folder"), params.sourceFolder, 6431, 6432, BmpBrowseA, browseSource_);
    destination_ = folderRow(1, QStringLiteral("Destination Folder"), params.destinationFolder, 6433, 6434,
                             BmpBrowseFolderB, browseDestination_);

    auto* rule = new QLabel(QStringLiteral("If the destination folder does not exist, the file will not be copied."), this);
    rule->setWordWrap(true);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("1"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("2"));
    cancel_->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel_, &QPushButton::clicked, this, [this] { done(2); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(about);
    layout->addLayout(grid);
    layout->addWidget(rule);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    source_->setFocus();
}

MiscCopyParams MiscCopyDialogWindow::values() const
{
    MiscCopyParams values = params_;
    values.sourceFolder = truncateToCapacity(source_->text(), FolderCapacity);
    values.destinationFolder = truncateToCapacity(destination_->text(), FolderCapacity);
    return values;
}

void MiscCopyDialogWindow::browse(QLineEdit* edit, const QString& title)
{
    QString folder = edit->text();
    if (BrowseFolder(this, title, folder, folder, FolderCapacity, BrowseNewStyle))
        edit->setText(folder);
}

int MiscCopyDialog(QWidget* owner, MiscCopyParams& params)
{
    MiscCopyDialogWindow dialog(owner, params);
    // Escape and the close box reject with 0: both are Cancel.
    const int answer = dialog.exec() == 1 ? 1 : 2;
    params = dialog.values();
    return answer;
}

} // namespace vn
