#include "app/window/window_controls.h"

#include "app/widgets/icons.h"
#include "app/widgets/shell.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "config/settings.h"
#include "util/numbers.h"

#include <QFontMetrics>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

namespace vn {

namespace {

// The label sizes were made for a narrower face than most desktops use: the font shrinks until each
// line fits, so no caption is cut.
void fitLabelFont(QLabel* label, QFont font)
{
    const QStringList lines = label->text().split(QLatin1Char('\n'));
    auto fits = [&](const QFont& f) {
        QFontMetrics metrics(f);
        for (const QString& line : lines) {
            if (metrics.horizontalAdvance(line) > label->width() - 2)
                return false;
        }
        return metrics.height() * lines.size() <= label->height() + 2;
    };
    const bool points = font.pointSizeF() > 0;
    for (int step = 0; step < 20 && !fits(font); ++step) {
        if (points) {
            if (font.pointSizeF() <= 5.5)
                break;
            font.setPointSizeF(font.pointSizeF() - 0.5);
        } else {
            if (font.pixelSize() <= 7)
                break;
            font.setPixelSize(font.pixelSize() - 1);
        }
    }
    label->setFont(font);
}

} // namespace

WindowControls buildWindowControls(QWidget* client, const QFont& listFont, const Settings& settings,
                                   CommandRouter& router)
{
    WindowControls c;
    QFont smallFont = listFont;
    if (listFont.pixelSize() > 0)
        smallFont.setPixelSize(std::max(1, listFont.pixelSize() * 3 / 4));
    else
        smallFont.setPointSizeF(listFont.pointSizeF() * 0.75);

    auto label = [client](const QString& text, QRect geometry, Qt::Alignment align, const char* name) {
        auto* l = new QLabel(text, client);
        l->setObjectName(QString::fromLatin1(name));
        l->setAlignment(align);
        l->setGeometry(geometry);
        return l;
    };
    auto edit = [client](const QString& text, QRect geometry, const char* name) {
        auto* e = new QLineEdit(text, client);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(geometry);
        return e;
    };
    auto bitmapButton = [client, &router](int id, int bitmapId, QRect geometry, const QString& tip) {
        auto* b = new QToolButton(client);
        b->setObjectName(QString::number(id));
        b->setGeometry(geometry);
        b->setIconSize(QSize(16, 16));
        b->setAutoRaise(false);
        setBitmap(b, bitmapId);
        AddToolTip(b, tip);
        router.bind(id, b);
        return b;
    };
    auto button = [client, &router](int id, const QString& text, QRect geometry, bool enabled, const QString& tip) {
        auto* b = new QPushButton(text, client);
        b->setObjectName(QString::number(id));
        b->setGeometry(geometry);
        b->setEnabled(enabled);
        b->setAutoDefault(false);
        if (!tip.isEmpty())
            AddToolTip(b, tip);
        router.bind(id, b);
        return b;
    };

    // Row 1: Folder A, Backup/Output.
    c.labelA = label(QStringLiteral("Folder A"), QRect(1, 4, 58, 20), Qt::AlignCenter, "labelFolderA");
    fitLabelFont(c.labelA, listFont);
    c.editA = edit(settings.Path_A, QRect(60, 2, 325, 22), "editA");
    AddToolTip(c.editA, QStringLiteral("[Folder A] このフォルダ内のオーディオファイルのタグ情報が継承されます"));
    c.browseA = bitmapButton(BtnBrowseA, BmpBrowseA, QRect(387, 2, 20, 20), QStringLiteral("[Folder A] を変更します"));
    c.exploreA = bitmapButton(BtnExploreA, BmpExplore, QRect(409, 2, 20, 20),
                             QStringLiteral("[Folder A] を File Explorer で閲覧します"));

    // Row 2: Folder B or the CD image, and the TempFile folder.
    c.modeB = button(BtnModeB, QStringLiteral("Folder B"), QRect(1, 25, 58, 23), true,
                    QStringLiteral("[Folder B] / [CD image] モードを切り替えます"));
    c.editB = edit(settings.Path_B, QRect(60, 26, 325, 22), "editB");
    AddToolTip(c.editB, QStringLiteral("このフォルダのMP3ファイルのオーディオデータが継承されます"));
    c.browseB = bitmapButton(BtnBrowseB, BmpBrowseFolderB, QRect(387, 26, 20, 20),
                            QStringLiteral("[Folder B] フォルダを変更します"));
    c.exploreB = bitmapButton(BtnExploreB, BmpExplore, QRect(409, 26, 20, 20),
                             QStringLiteral("[Folder B] のフォルダを File Explorer で閲覧します"));

    c.modeBackup = button(
        BtnModeBackup, QStringLiteral("Backup Folder"), QRect(442, 2, 88, 23), true,
        QStringLiteral(
            "【Backup モード】と【Output モード】を切り替えます\r\n\r\n【Backup モード】\r\nタグを置換したファイルを "
            "TempFileフォルダに生成し、フォルダＡの参照したファイルを Backupフォルダに移動した後に、タグを置換した"
            "ファイルを TempFileフォルダからフォルダＡに移動します\r\n\r\n【Output "
            "モード】\r\nタグを置換したファイルを "
            "Outputフォルダに直接生成します"));
    c.editBackup = edit(settings.Path_Bkup, QRect(532, 2, 220, 22), "editBackup");
    c.browseBackup = bitmapButton(BtnBrowseBkup, BmpBackup, QRect(754, 2, 20, 20), QString());
    c.exploreBackup = bitmapButton(BtnExploreBkup, BmpExplore, QRect(776, 2, 20, 20), QString());
    AddToolTip(c.editBackup, QStringLiteral("Backup Folder のパスです"));
    AddToolTip(c.browseBackup, QStringLiteral("Backup Folder を変更します"));
    AddToolTip(c.exploreBackup, QStringLiteral("Backup Folder を File Explorer で閲覧します"));

    c.labelTemp = label(QStringLiteral("TempFile Folder"), QRect(442, 26, 90, 20), Qt::AlignLeft | Qt::AlignVCenter,
                       "labelTempFolder");
    fitLabelFont(c.labelTemp, listFont);
    c.editTemp = edit(settings.Path_Temp, QRect(532, 26, 220, 22), "editTemp");
    AddToolTip(c.editTemp, QStringLiteral("一時的に作成される一時ファイルを格納する作業用フォルダのパスです"));
    c.browseTemp = bitmapButton(BtnBrowseTemp, BmpTemp, QRect(754, 26, 20, 20),
                               QStringLiteral("一時ファイルを格納する作業用フォルダを変更します"));
    c.exploreTemp = bitmapButton(BtnExploreTemp, BmpExplore, QRect(776, 26, 20, 20),
                                QStringLiteral("作業用フォルダを File Explorer で閲覧します"));

    // Row 3: the commands and the three numbers.
    button(BtnCompare, QStringLiteral("Compare A/B"), QRect(4, 50, 85, 22), true,
           QStringLiteral(
               "[Folder A] と [Folder B / CD image] のなかのオーディオファイルのタグ情報などを比較し下記のリストに表示"
               "します"));
    button(
        BtnReplace, QStringLiteral("Replace Tags"), QRect(92, 50, 85, 22), false,
        QStringLiteral(
            "下記リストの奇数行[Ai] のタグ情報と偶数行[Bi] のオーディオデータを組み合わせたオーディオファイルを生成"
            "します\r\n【Folder B モード】では[Folder A][Folder B]とも .mp3 で ID3v2 バージョンが一致している必要が"
            "あります\r\n【CD image モード】では CD-DA の Cue Sheet に基づいてイメージファイルをエンコードしオーディオ"
            "データを生成します\r\n◆生成ファイルの格納先\r\n【Backup モード】では [TempFile Folder] に生成します"
            "\r\n【Output モード】では [Output Folder] の下に直接生成します"));
    button(BtnMoveFiles, QStringLiteral("Move Files"), QRect(180, 50, 75, 22), false,
           QStringLiteral(
               "[Folder A] 内のタグ参照ファイルを [Backup Folder] に移動した後に、タグを置換し [TempFile Folder] "
               "に生成したファイルを [TempFile Folder] から [Folder A] に移動します"));
    button(BtnProp, QStringLiteral("Prop"), QRect(263, 50, 30, 22), false,
           QStringLiteral("オーディオファイルのタグ情報などのプロパティ（メタデータ）を表示します"));
    button(BtnPlay, QStringLiteral("Audio play"), QRect(302, 50, 76, 22), false,
           QStringLiteral("オーディオファイルを再生します"));
    button(BtnPause, QStringLiteral("pause"), QRect(380, 50, 48, 22), false, QString());
    button(BtnStop, QStringLiteral("stop"), QRect(430, 50, 38, 22), false,
           QStringLiteral("オーディオファイルの再生を終了します"));
    c.repeat = button(BtnRepeat, QStringLiteral("Album repeat"), QRect(470, 50, 88, 22), true,
                     QStringLiteral("リピート方法を切り替えます"));

    auto smallLabel = [&](const QString& text, QRect geometry, const char* name) {
        QLabel* l = label(text, geometry, Qt::AlignLeft | Qt::AlignVCenter, name);
        fitLabelFont(l, smallFont);
        return l;
    };
    auto numberBox = [&](int value, QRect geometry, const char* name) {
        QLineEdit* e = edit(QString::number(value), geometry, name);
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        e->setValidator(new QIntValidator(e));
        return e;
    };
    smallLabel(QStringLiteral("Bs Track\nOffset"), QRect(568, 50, 34, 25), "labelTrackOffset");
    c.editOffset = numberBox(0, QRect(603, 50, 28, 22), "editTrackOffset");
    smallLabel(QStringLiteral("ID3v2\nBlock size"), QRect(638, 50, 41, 25), "labelBlockSize");
    c.editBlock = numberBox(settings.ID3_Blk, QRect(679, 50, 35, 22), "editBlockSize");
    smallLabel(QStringLiteral("Minimum\nPadding"), QRect(720, 50, 38, 25), "labelPadding");
    c.editPadding = numberBox(settings.ID3_Pad, QRect(761, 50, 35, 22), "editPadding");
    c.abortBatch = button(BtnAbortBatch, QStringLiteral("Abort Batch"), QRect(800, 50, 70, 22), false,
                         QStringLiteral("一括処理を中止します"));

    return c;
}

void layoutPathRows(const WindowControls& controls, int width)
{
    const int w = width / 2 - 75;
    controls.editA->setGeometry(60, 2, w, 22);
    controls.editB->setGeometry(60, 26, w, 22);
    int x = 60 + w + 2;
    controls.browseA->move(x, 2);
    controls.browseB->move(x, 26);
    x += 22;
    controls.exploreA->move(x, 2);
    controls.exploreB->move(x, 26);
    x += 33;
    controls.modeBackup->move(x, 2);
    controls.labelTemp->move(x, 26);
    x += 90;
    const int rightWidth = std::max(0, w - 110);
    controls.editBackup->setGeometry(x, 2, rightWidth, 22);
    controls.editTemp->setGeometry(x, 26, rightWidth, 22);
    x += rightWidth + 2;
    controls.browseBackup->move(x, 2);
    controls.browseTemp->move(x, 26);
    x += 22;
    controls.exploreBackup->move(x, 2);
    controls.exploreTemp->move(x, 26);
}

void setBitmap(QToolButton* button, int bitmapId)
{
    button->setIcon(bitmapIcon(bitmapId));
    button->setProperty("bitmapId", bitmapId);
}

int numberInBox(const QLineEdit* box)
{
    return toLong(QStringView(box->text()));
}

} // namespace vn
