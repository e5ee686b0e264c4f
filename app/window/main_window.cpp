#include "app/window/main_window.h"

#include "app/widgets/comparison_model.h"
#include "app/widgets/icons.h"
#include "app/widgets/status_parts.h"
#include "app/window/command_ids.h"
#include "encode/tool_probe.h"

#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableView>

namespace vn {

MainWindow::MainWindow(std::optional<EncoderAvailability> encoders, QWidget* parent)
    : QMainWindow(parent), feedback_(this),
      router_([this](const QString& text) {
          showMessage(this, text, QStringLiteral("Vornelic"), MessageButtons::Ok, MessageIcon::Information);
      })
{
    setObjectName(QStringLiteral("Vornelic"));
    setWindowTitle(QStringLiteral("Vornelic (Zembrath)"));
    setWindowIcon(applicationIcon());
    feedback_.setAbortFlag(router_.abortFlag());

    // The settings first: everything below reads them.
    settings_ = defaultSettings(resolveExeDir());
    iniPath_ = settings_.IniPath.isEmpty() ? QDir(settings_.ExeDir).filePath(QStringLiteral("Vornelic.ini"))
                                           : settings_.IniPath;
    if (!LoadSettings(settings_, iniPath_))
        createWorkingFolders(settings_);
    applyToProcess(settings_);
    askForLogNames(settings_, feedback_);

    if (encoders) {
        encoders_ = *encoders;
    } else {
        encoders_ = probeEncoders();
        probeOutsideTools(settings_, encoders_, feedback_);
    }

    menus_ = buildMenus(menuBar());
    for (auto it = menus_.actions.cbegin(); it != menus_.actions.cend(); ++it)
        router_.bind(it.key(), it.value());
    buildFrame();
    feedback_.setStatusSink([this](int part, const QString& text) { setStatusText(part, text); });
    // The abort button belongs to whichever job runs.
    router_.add({BtnAbortBatch}, [this](int) {
        router_.requestAbort();
        router_.setEnabled(BtnAbortBatch, false);
    });
    router_.add({CmdExit}, [this](int) { close(); });

    context_.emplace(FeatureContext{this, settings_, iniPath_, session_, feedback_, router_, menus_, controls_, *model_,
                                    *list_, *status_, encoders_, modes_, hooks_});
    features_ = buildFeatures(*context_);

    EnsureFolder(feedback_, settings_.Path_Bkup, QStringLiteral("Backup Folder"));
    EnsureFolder(feedback_, settings_.Path_Otpt, QStringLiteral("Output Folder"));
    EnsureFolder(feedback_, settings_.Path_Temp, QStringLiteral("Temporary Folder"));
    resize(1024, 640);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildFrame()
{
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setAutoFillBackground(true);
    QPalette pal = client_->palette();
    pal.setColor(QPalette::Window, Qt::white);
    client_->setPalette(pal);
    client_->installEventFilter(this);
    setCentralWidget(client_);

    // The list first: every control takes its font.
    list_ = new QTableView(client_);
    list_->setObjectName(QString::number(ListViewId));
    model_ = new ComparisonModel(list_);
    list_->setModel(model_);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setWordWrap(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->verticalHeader()->hide();
    // Fixed row heights keep scrolling through tens of thousands of rows cheap.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    QHeaderView* header = list_->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    for (int c = 0; c < ListColumnCount; ++c)
        header->resizeSection(c, listColumnWidth(c));

    controls_ = buildWindowControls(client_, list_->font(), settings_, router_);

    status_ = new StatusParts;
    statusBar()->setObjectName(QString::number(StatusBarId));
    statusBar()->addWidget(status_, 1);
    statusBar()->setSizeGripEnabled(true);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == client_ && event->type() == QEvent::Resize) {
        const QSize size = client_->size();
        if (size.width() > 800)
            layoutPathRows(controls_, size.width());
        list_->setGeometry(0, 78, size.width(), std::max(0, size.height() - 78));
    }
    return QMainWindow::eventFilter(watched, event);
}

QString MainWindow::statusText(int part) const
{
    return status_ ? status_->text(part) : QString();
}

void MainWindow::setStatusText(int part, const QString& text)
{
    if (status_)
        status_->setText(part, text);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A job that pumps events has this window under it: it is asked to stop, and the window stays.
    if (router_.jobRunning()) {
        router_.requestAbort();
        event->ignore();
        return;
    }
    if (!saved_) {
        takeEditedPaths(*context_);
        if (!SaveSettings(settings_, iniPath_)) {
            showMessage(this,
                        QStringLiteral("The settings could not be saved to \"%1\".").arg(QDir::toNativeSeparators(iniPath_)),
                        QStringLiteral("Warning : settings not saved"), MessageButtons::Ok, MessageIcon::Warning);
        }
        saved_ = true;
        model_->clear();
    }
    event->accept();
}

} // namespace vn
