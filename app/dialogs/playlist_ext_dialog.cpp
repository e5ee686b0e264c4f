#include "app/dialogs/playlist_ext_dialog.h"

#include "app/dialogs/browse_folder.h"
#include "app/widgets/icons.h"
#include "app/widgets/shell.h"
#include "app/window/command_ids.h"
#include "util/text_helpers.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vn {

namespace {

// The base folder is a path buffer like every path setting, terminator included.
constexpr int FolderCapacity = 260;

} // namespace

PlaylistExtDialogWindow::PlaylistExtDialogWindow(QWidget* owner, const PlaylistExtParams& params) : QDialog(owner)
{
    setObjectName(QStringLiteral("PL_EXT_REPL_UTILITY_DIALOG"));
    setWindowTitle(QStringLiteral("Playlist Extension Replacement Utility"));
    QFont font(QStringLiteral("Meiryo UI"));
    font.setPointSize(9);
    setFont(font);

    auto* about = new QLabel(QStringLiteral("This utility replaces the extensions of the music files described in the "
                                            "playlist files (.m3u) stored in the Base Folder and subfolders."),
                             this);
    about->setWordWrap(true);

    folder_ = new QLineEdit(params.baseFolder, this);
    folder_->setObjectName(QStringLiteral("6421"));
    folder_->setMaxLength(FolderCapacity - 1);
    folder_->setMinimumWidth(420);
    auto* folderLabel = new QLabel(QStringLiteral("Base Folder"), this);
    folderLabel->setBuddy(folder_);

    browse_ = new QToolButton(this);
    browse_->setObjectName(QStringLiteral("6422"));
    browse_->setIcon(bitmapIcon(BmpOutput));
    browse_->setProperty("bitmapId", int(BmpOutput));
    AddToolTip(browse_, QStringLiteral("[Base Folder] を変更します"));
    connect(browse_, &QToolButton::clicked, this, &PlaylistExtDialogWindow::browse);

    extension_ = new QComboBox(this);
    extension_->setObjectName(QStringLiteral("6423"));
    for (const char* extension : PlaylistNewExtensions)
        extension_->addItem(QString::fromLatin1(extension));
    extension_->setCurrentIndex(params.extensionIndex >= 0 && params.extensionIndex < extension_->count()
                                    ? params.extensionIndex
                                    : -1);
    auto* extensionLabel = new QLabel(QStringLiteral("New Extension after replacement"), this);
    extensionLabel->setBuddy(extension_);

    auto* rule = new QLabel(QStringLiteral("If a music file with original extension exists, the extension is not replaced."),
                            this);
    rule->setWordWrap(true);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("1"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("2"));
    cancel_->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel_, &QPushButton::clicked, this, [this] { done(2); });

    auto* grid = new QGridLayout;
    grid->addWidget(folderLabel, 0, 0, 1, 2);
    grid->addWidget(folder_, 1, 0);
    grid->addWidget(browse_, 1, 1);
    auto* extensionRow = new QHBoxLayout;
    extensionRow->addWidget(extensionLabel);
    extensionRow->addWidget(extension_);
    extensionRow->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(about);
    layout->addLayout(grid);
    layout->addLayout(extensionRow);
    layout->addWidget(rule);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    folder_->setFocus();
}

PlaylistExtParams PlaylistExtDialogWindow::values() const
{
    return PlaylistExtParams{truncateToCapacity(folder_->text(), FolderCapacity), extension_->currentIndex()};
}

void PlaylistExtDialogWindow::browse()
{
    QString folder = folder_->text();
    if (BrowseFolder(this, QStringLiteral("Select Base Folder"), folder, folder, FolderCapacity, BrowseNewStyle))
        folder_->setText(folder);
}

int PlaylistExtDialog(QWidget* owner, PlaylistExtParams& params)
{
    PlaylistExtDialogWindow dialog(owner, params);
    // Escape and the close box reject with 0: both are Cancel.
    const int answer = dialog.exec() == 1 ? 1 : 2;
    params = dialog.values();
    return answer;
}

} // namespace vn
