#include "glimmo/viewfrm.h"

#include "glimmo/metafile.h"
#include "platform/gui/app.h"
#include "platform/gui/desktop.h"
#include "platform/gui/jpeg.h"
#include "platform/shell.h"
#include "platform/tick.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>
#include <random>
#include <stdexcept>

namespace glimmo {
namespace {

constexpr int kPaneInitialWidth = 243;
constexpr int kPaneShownWidth = 241;
constexpr int kSpacerWidth = 187;
constexpr int kTreeHeight = 201;
constexpr int kThumbAreaHeight = 11;
const QString kThumbnailMask = QStringLiteral("*.bmp;*.ico;*.jpeg;*.jpg;*.gif");

// A 2-pixel bar that resizes its neighbour `target` by dragging, as the VCL splitter does:
// horizontal bars change the target's height, vertical ones its width. `sign` is +1 when
// dragging towards increasing coordinates makes the target larger.
class TSplitter : public QWidget {
public:
    TSplitter(Qt::Orientation orientation, QWidget *target, int sign, QWidget *parent)
        : QWidget(parent), m_orientation(orientation), m_target(target), m_sign(sign)
    {
        if (orientation == Qt::Vertical) {
            setFixedWidth(2);
            setCursor(Qt::SplitHCursor);
        } else {
            setFixedHeight(2);
            setCursor(Qt::SplitVCursor);
        }
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        m_start = event->globalPosition().toPoint();
        m_startSize = m_orientation == Qt::Vertical ? m_target->width() : m_target->height();
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!(event->buttons() & Qt::LeftButton))
            return;
        const QPoint delta = event->globalPosition().toPoint() - m_start;
        const int moved = m_orientation == Qt::Vertical ? delta.x() : delta.y();
        const int size = std::max(0, m_startSize + m_sign * moved);
        if (m_orientation == Qt::Vertical)
            m_target->setFixedWidth(size);
        else
            m_target->setFixedHeight(size);
    }

private:
    Qt::Orientation m_orientation;
    QWidget *m_target;
    int m_sign;
    QPoint m_start;
    int m_startSize = 0;
};

// Sets a flag for the lifetime of the guard and restores it, also when a step throws.
class FlagGuard {
public:
    FlagGuard(bool &flag, bool value) : m_flag(flag), m_old(flag) { m_flag = value; }
    ~FlagGuard() { m_flag = m_old; }
    FlagGuard(const FlagGuard &) = delete;
    FlagGuard &operator=(const FlagGuard &) = delete;

private:
    bool &m_flag;
    bool m_old;
};

QString dropLeadingQuote(QString argument)
{
    if (argument.startsWith(QLatin1Char('"')))
        argument.remove(0, 1);
    return argument;
}

bool isMovieExtension(const QString &ext)
{
    for (const char *movie : {"avi", "mpeg", "mpg", "wav", "mov", "midi", "mp3"})
        if (ext.contains(QLatin1String(movie)))
            return true;
    return false;
}

[[noreturn]] void fail(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

ScreenMetrics realScreens()
{
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return {QSize(1024, 768), 1024};
    return {primary->geometry().size(), primary->virtualGeometry().width()};
}

// A status bar panel: its width when there is room, narrower rather than holding the
// window wider than a fitted picture asks for.
class TStatusPanel : public QLabel {
public:
    TStatusPanel(int width, QWidget *parent) : QLabel(parent), m_width(width)
    {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override { return QSize(m_width, QLabel::sizeHint().height()); }
    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }

private:
    int m_width;
};

QString qtFilterFor(const QString &mask)
{
    QString patterns = mask;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return QStringLiteral("%1 (%2)").arg(mask, patterns);
}

} // namespace

QString LoadedInText(uint32_t elapsedMs, const QLocale &locale)
{
    QString decimals = QStringLiteral("%1").arg(elapsedMs % 1000, 3, 10, QLatin1Char('0'));
    if (decimals.endsWith(QLatin1Char('0')))
        decimals.chop(1); // "##0.00#": the third decimal only when it is not zero
    return QStringLiteral("Loaded in ") + QString::number(elapsedMs / 1000) + locale.decimalPoint() + decimals +
           QStringLiteral(" s");
}

QString ArgumentFolder(const QString &argument)
{
    const int slash = int(argument.lastIndexOf(QLatin1Char('/')));
    if (slash < 0)
        return QString();
    if (slash == 0)
        return QStringLiteral("/");
    return argument.left(slash);
}

QString LongPathName(const QString &path)
{
    if (path.isEmpty() || path == QLatin1String("/"))
        return path;
    QString rest = path;
    while (rest.size() > 1 && rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    const int slash = int(rest.lastIndexOf(QLatin1Char('/')));
    if (slash < 0)
        return rest; // a bare relative name
    const QString parent = slash == 0 ? QStringLiteral("/") : LongPathName(rest.left(slash));
    const QString last = rest.mid(slash + 1);
    QString found = last;
    const QDir dir(parent);
    if (!QFileInfo::exists(dir.filePath(last))) {
        const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &entry : entries) {
            if (entry.compare(last, Qt::CaseInsensitive) == 0) {
                found = entry;
                break;
            }
        }
    }
    return (parent == QLatin1String("/") ? parent : parent + QLatin1Char('/')) + found;
}

TViewFrm::TViewFrm(const QStringList &arguments, QWidget *parent)
    : QMainWindow(parent), m_arguments(arguments), m_argc(int(arguments.size()))
{
    ChooseFileToOpen = [this](QWidget *owner, const QString &filter, const QString &) {
        return QFileDialog::getOpenFileName(owner, QStringLiteral("Open"), PTShellList1->Folder(), qtFilterFor(filter));
    };
    ChooseFolder = [](QWidget *owner, const QString &title, const QString &start) {
        return QFileDialog::getExistingDirectory(owner, title, start);
    };
    Screens = realScreens;
    MoveMousePointer = [](const QPoint &p) { QCursor::setPos(p); };
    StartSiblingProgram = [](const QString &program, const QStringList &args) {
        return platform::StartSibling(program, args);
    };
    NextRandom = [] {
        static std::mt19937 generator{std::random_device{}()};
        return unsigned(generator() & 0x7FFFFFFFu);
    };

    setObjectName(QStringLiteral("ViewFrm"));
    setWindowTitle(QStringLiteral("Glimmo"));
    buildMenus();
    buildToolBar();
    buildClientArea();
    buildStatusBar();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, [this] { guarded("Timer1Timer", [this] { Timer1Timer(); }); });
    TimerMedia = new QTimer(this);
    TimerMedia->setObjectName(QStringLiteral("TimerMedia"));
    TimerMedia->setInterval(200);

    ThumbLoader = new TThumbLoader(this);
    ThumbLoader->Deliver = [this](const ThumbDelivery &delivery) { deliverThumbnail(delivery); };

    resize(795, 595);
    const ScreenMetrics screens = Screens();
    move((screens.primary.width() - 795) / 2, (screens.primary.height() - 595) / 2);

    guarded("FormCreate", [this] { FormCreate(); });
}

TViewFrm::~TViewFrm() = default;

void TViewFrm::guarded(const char *handler, const std::function<void()> &body)
{
    try {
        body();
    } catch (...) {
        // What the framework does with an error escaping a handler: show it, end only that
        // handler.
        platform::ReportEscapedException(std::current_exception(), platform::CurrentReporter(),
                                         platform::CurrentTitle(QString::fromLatin1(handler)));
    }
}

// ---- construction of the controls -------------------------------------------------------

namespace {

QAction *addItem(QMenu *menu, const char *name, const char *caption, const QKeySequence &shortcut = {})
{
    QAction *action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

// A command whose behaviour is built with a later piece of the viewer: present, disabled.
QAction *later(QAction *action)
{
    action->setEnabled(false);
    action->setProperty("glimmoNotBuilt", true);
    return action;
}

bool notBuilt(const QAction *action)
{
    return action->property("glimmoNotBuilt").toBool();
}

} // namespace

void TViewFrm::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    const auto on = [this](QAction *action, void (TViewFrm::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    // Check-mark items toggle in their handler (which code calls too), so undo Qt's own toggle.
    const auto onToggle = [this](QAction *action, void (TViewFrm::*handler)()) {
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, action, handler] {
            action->setChecked(!action->isChecked());
            (this->*handler)();
        });
    };

    MainMenu1File = bar->addMenu(QStringLiteral("&File"));
    MainMenu1File->setObjectName(QStringLiteral("File1"));
    Open1 = addItem(MainMenu1File, "Open1", "Open...", QKeySequence(Qt::Key_Insert));
    on(Open1, &TViewFrm::Open1Click);
    SaveAs1 = addItem(MainMenu1File, "SaveAs1", "Save As...", QKeySequence(Qt::CTRL | Qt::Key_S));
    Close1 = addItem(MainMenu1File, "Close1", "Close", QKeySequence(Qt::CTRL | Qt::Key_Q));
    MainMenu1File->addSeparator();
    PrintSetup1 = later(addItem(MainMenu1File, "PrintSetup1", "Print Setup..."));
    Print1 = later(addItem(MainMenu1File, "Print1", "Print...", QKeySequence(Qt::CTRL | Qt::Key_P)));
    MainMenu1File->addSeparator();
    Sendto1 = later(addItem(MainMenu1File, "Sendto1", "Send to..."));
    Properties1 = later(addItem(MainMenu1File, "Properties1", "Properties"));
    Browse1 = addItem(MainMenu1File, "Browse1", "Browse...");
    on(Browse1, &TViewFrm::Browse1Click);
    MainMenu1File->addSeparator();
    StartTrawlix1 = addItem(MainMenu1File, "StartTrawlix1", "Start @Trawlix");
    on(StartTrawlix1, &TViewFrm::StartTrawlix1Click);
    Exit1 = addItem(MainMenu1File, "Exit1", "Exit");
    on(Exit1, &TViewFrm::Exit1Click);

    MainMenu1Edit = bar->addMenu(QStringLiteral("&Edit"));
    MainMenu1Edit->setObjectName(QStringLiteral("Edit1"));
    Copyto1 = later(addItem(MainMenu1Edit, "Copyto1", "Copy To..."));
    MoveTo1 = later(addItem(MainMenu1Edit, "MoveTo1", "Move To..."));
    MainMenu1Edit->addSeparator();
    CutFile1 = later(addItem(MainMenu1Edit, "CutFile1", "Cut File", QKeySequence(Qt::CTRL | Qt::Key_X)));
    CopyImage1 = later(addItem(MainMenu1Edit, "CopyImage1", "Copy Image", QKeySequence(Qt::CTRL | Qt::Key_C)));
    CopyFiles1 = later(addItem(MainMenu1Edit, "CopyFiles1", "Copy File"));
    MainMenu1Edit->addSeparator();
    Delete1 = later(addItem(MainMenu1Edit, "Delete1", "Delete", QKeySequence(Qt::Key_Delete)));
    Rename1 = later(addItem(MainMenu1Edit, "Rename1", "Rename", QKeySequence(Qt::Key_F2)));

    MainMenu1View = bar->addMenu(QStringLiteral("&View"));
    MainMenu1View->setObjectName(QStringLiteral("View1"));
    AlwaysOnTop1 = addItem(MainMenu1View, "AlwaysOnTop1", "Always On Top");
    onToggle(AlwaysOnTop1, &TViewFrm::AlwaysOnTop1Click);
    ZoomToFitWindow1 = addItem(MainMenu1View, "ZoomToFitWindow1", "Zoom to Fit Window/Screen");
    onToggle(ZoomToFitWindow1, &TViewFrm::ZoomToFitWindow1Click);
    ZoomToFitWindow1->setChecked(true);
    MainMenu1View->addSeparator();
    Toolbar2 = addItem(MainMenu1View, "Toolbar2", "Toolbar");
    onToggle(Toolbar2, &TViewFrm::Toolbar2Click);
    Toolbar2->setChecked(true);
    Statusbar2 = addItem(MainMenu1View, "Statusbar2", "Statusbar");
    onToggle(Statusbar2, &TViewFrm::Statusbar2Click);
    Statusbar2->setChecked(true);

    MainMenu1Zoom = bar->addMenu(QStringLiteral("&Zoom"));
    MainMenu1Zoom->setObjectName(QStringLiteral("Zoom1"));
    More1 = addItem(MainMenu1Zoom, "More1", "More");
    on(More1, &TViewFrm::More1Click);
    Less1 = addItem(MainMenu1Zoom, "Less1", "Less");
    on(Less1, &TViewFrm::Less1Click);
    MainMenu1Zoom->addSeparator();
    AutoShrinkToFit1 = addItem(MainMenu1Zoom, "AutoShrinkToFit1", "Auto Shrink To Fit");
    onToggle(AutoShrinkToFit1, &TViewFrm::AutoShrinkToFit1Click);
    AutoShrinkToFit1->setChecked(true);
    AutoEnlargeToFit1 = addItem(MainMenu1Zoom, "AutoEnlargeToFit1", "Auto Enlarge To Fit");
    onToggle(AutoEnlargeToFit1, &TViewFrm::AutoEnlargeToFit1Click);

    Options1 = later(bar->addAction(QStringLiteral("Options")));
    Options1->setObjectName(QStringLiteral("Options1"));

    MainMenu1FileManager = bar->addMenu(QStringLiteral("File &Manager"));
    MainMenu1FileManager->setObjectName(QStringLiteral("FileManager1"));
    Visible1 = addItem(MainMenu1FileManager, "Visible1", "Visible");
    onToggle(Visible1, &TViewFrm::Visible1Click);
    Visible1->setChecked(true);

    MainMenu1Help = bar->addMenu(QStringLiteral("&Help"));
    MainMenu1Help->setObjectName(QStringLiteral("Help1"));
    TrawlixHomepage1 = addItem(MainMenu1Help, "TrawlixHomepage1", "@Glimmo Homepage");
    on(TrawlixHomepage1, &TViewFrm::TrawlixHomepage1Click);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Details1 = addItem(PopupMenu1, "Details1", "Details");
    Thumbnails1 = addItem(PopupMenu1, "Thumbnails1", "Thumbnails");
    Symbols1 = addItem(PopupMenu1, "Symbols1", "Symbols");
    SmalSymbols1 = addItem(PopupMenu1, "SmalSymbols1", "List");
    for (QAction *style : {Details1, Thumbnails1, Symbols1, SmalSymbols1})
        style->setCheckable(true);
    Details1->setChecked(true);
    on(Details1, &TViewFrm::Details1Click);
    on(Symbols1, &TViewFrm::Symbols1Click);
    on(SmalSymbols1, &TViewFrm::SmalSymbols1Click);
    on(Thumbnails1, &TViewFrm::Thumbnails1Click);

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PopupPrint1 = later(addItem(PopupMenu2, "PopupPrint1", "Print..."));
    PopupSendto2 = later(addItem(PopupMenu2, "Sendto2", "Send to..."));
    Wallpaper1 = PopupMenu2->addMenu(QStringLiteral("Wallpaper"));
    Wallpaper1->setObjectName(QStringLiteral("Wallpaper1"));
    PopupWallpaper1 = Wallpaper1->menuAction();
    addItem(Wallpaper1, "Centered1", "Centered");
    addItem(Wallpaper1, "Tiled1", "Tiled");
    addItem(Wallpaper1, "Restore1", "Restore");
    PopupMenu2->addSeparator();
    PopupCut1 = later(addItem(PopupMenu2, "PopupCut1", "Cut"));
    PopupCopy1 = later(addItem(PopupMenu2, "PopupCopy1", "Copy"));
    PopupCopyImage1 = later(addItem(PopupMenu2, "PopupCopyImage1", "Copy Image"));
    PopupMenu2->addSeparator();
    PopupCopyto1 = later(addItem(PopupMenu2, "PopupCopyto1", "Copy To..."));
    PopupMoveTo1 = later(addItem(PopupMenu2, "PopupMoveTo1", "Move To..."));
    PopupMenu2->addSeparator();
    PopupDelete1 = later(addItem(PopupMenu2, "PopupDelete1", "Delete"));
    PopupRename1 = later(addItem(PopupMenu2, "PopupRename1", "Rename"));
    PopupMenu2->addSeparator();
    PopupProperties1 = later(addItem(PopupMenu2, "PopupProperties1", "Properties..."));
}

void TViewFrm::buildToolBar()
{
    ToolBar1 = new QToolBar(QStringLiteral("ToolBar1"), this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFixedHeight(52);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon); // glyph above caption
    ToolBar1->setIconSize(QSize(20, 20));
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    QStyle *s = style();
    const auto button = [this](const char *name, const char *caption, const QIcon &icon) {
        QAction *action = ToolBar1->addAction(icon, QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        if (QWidget *widget = ToolBar1->widgetForAction(action)) {
            widget->setObjectName(QString::fromLatin1(name));
            widget->setFixedHeight(44);
        }
        return action;
    };
    const auto divider = [this](const char *name) {
        QAction *separator = ToolBar1->addSeparator();
        separator->setObjectName(QString::fromLatin1(name));
        return separator;
    };
    const auto on = [this](QAction *action, void (TViewFrm::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };

    SpeedButton2 = button("SpeedButton2", "Last", s->standardIcon(QStyle::SP_ArrowBack));
    on(SpeedButton2, &TViewFrm::SpeedButton2Click);
    SpeedButton1 = button("SpeedButton1", "Next", s->standardIcon(QStyle::SP_ArrowForward));
    on(SpeedButton1, &TViewFrm::SpeedButton1Click);
    divider("ToolButton2");
    SpeedButton8 = button("SpeedButton8", "Slideshow", s->standardIcon(QStyle::SP_MediaPlay));
    on(SpeedButton8, &TViewFrm::SpeedButton8Click);
    divider("ToolButton3");
    SpeedButton5 = button("SpeedButton5", "Zoom In", s->standardIcon(QStyle::SP_ArrowUp));
    on(SpeedButton5, &TViewFrm::SpeedButton5Click);
    SpeedButton4 = button("SpeedButton4", "Zoom Out", s->standardIcon(QStyle::SP_ArrowDown));
    on(SpeedButton4, &TViewFrm::SpeedButton4Click);
    divider("ToolButton4");
    SpeedButton6 = later(button("SpeedButton6", "Print", s->standardIcon(QStyle::SP_FileIcon)));
    divider("ToolButton6");
    ToolButton5Spacer = new QWidget(ToolBar1);
    ToolButton5Spacer->setObjectName(QStringLiteral("ToolButton5"));
    ToolButton5Spacer->setFixedWidth(kSpacerWidth);
    ToolButton5 = ToolBar1->addWidget(ToolButton5Spacer);
    ToolButton5->setObjectName(QStringLiteral("ToolButton5"));
    SpeedButton15 = button("SpeedButton15", "Folder Up", s->standardIcon(QStyle::SP_FileDialogToParent));
    on(SpeedButton15, &TViewFrm::SpeedButton15Click);
    ToolButton7 = divider("ToolButton7");
    SpeedButton16 = later(button("SpeedButton16", "Cut", s->standardIcon(QStyle::SP_DialogResetButton)));
    SpeedButton17 = later(button("SpeedButton17", "Copy", s->standardIcon(QStyle::SP_FileDialogNewFolder)));
    SpeedButton18 = later(button("SpeedButton18", "Paste", s->standardIcon(QStyle::SP_DialogSaveButton)));
    ToolButton1 = divider("ToolButton1");
    SpeedButton19 = later(button("SpeedButton19", "Delete", s->standardIcon(QStyle::SP_TrashIcon)));
    ToolButton11 = divider("ToolButton11");
    SpeedButton20 = later(button("SpeedButton20", "Properties", s->standardIcon(QStyle::SP_FileDialogInfoView)));
    SpeedButton21 = button("SpeedButton21", "View", s->standardIcon(QStyle::SP_FileDialogDetailedView));
    on(SpeedButton21, &TViewFrm::SpeedButton21Click);
}

void TViewFrm::buildClientArea()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    auto *row = new QHBoxLayout(client);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    ScrollBox1 = new QScrollArea(client);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1Surface = new QWidget;
    ScrollBox1Surface->setObjectName(QStringLiteral("ScrollBox1Surface"));
    ScrollBox1Surface->setAutoFillBackground(true);
    ScrollBox1->setWidget(ScrollBox1Surface);
    ScrollBox1->viewport()->setAutoFillBackground(true);
    ScrollBox1->viewport()->installEventFilter(this);

    Image1 = new TImage(ScrollBox1Surface);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 544, 560);
    Image1->SetCenter(true);
    Image1->installEventFilter(this);

    auto *moviePanel = new QFrame(ScrollBox1Surface);
    moviePanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    moviePanel->setLineWidth(5);
    Panel5 = moviePanel;
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setGeometry(69, 31, 385, 281);
    Panel5->hide();
    SetBackgroundColor(clBlack);
    updateSurfaceSize();

    Panel1 = new QWidget(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedWidth(kPaneInitialWidth);
    Splitter2 = new TSplitter(Qt::Vertical, Panel1, -1, client);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    row->addWidget(ScrollBox1, 1);
    row->addWidget(Splitter2);
    row->addWidget(Panel1);

    auto *pane = new QVBoxLayout(Panel1);
    pane->setContentsMargins(0, 0, 0, 0);
    pane->setSpacing(0);
    Panel2 = new QWidget(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto *top = new QHBoxLayout(Panel2);
    top->setContentsMargins(0, 0, 0, 0);
    FilterComboBox1 = new QComboBox(Panel2);
    FilterComboBox1->setObjectName(QStringLiteral("FilterComboBox1"));
    for (const FilterItem &item : kFilterItems)
        FilterComboBox1->addItem(QString::fromUtf8(item.description), QString::fromLatin1(item.mask));
    FilterComboBox1->setCurrentIndex(0);
    connect(FilterComboBox1, &QComboBox::activated, this, [this] { guarded("FilterComboBox1Change", [this] { FilterComboBox1Change(); }); });
    top->addWidget(FilterComboBox1);

    PTShellTree1 = new TShellTree(Panel1);
    PTShellTree1->setObjectName(QStringLiteral("PTShellTree1"));
    PTShellTree1->setFixedHeight(kTreeHeight);
    Splitter1 = new TSplitter(Qt::Horizontal, PTShellTree1, +1, Panel1);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    PTShellList1 = new TShellList(Panel1);
    PTShellList1->setObjectName(QStringLiteral("PTShellList1"));
    PTShellList1->SetFilter(QString::fromLatin1(kFilterItems[0].mask));
    PTShellList1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PTShellList1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu2->popup(PTShellList1->mapToGlobal(pos)); });
    PTShellTree1->Link(PTShellList1);
    connect(PTShellList1, &TShellList::FillComplete, this,
            [this] { guarded("PTShellList1FillComplete", [this] { PTShellList1FillComplete(); }); });
    connect(PTShellList1, &TShellList::Clicked, this, [this] { guarded("PTShellList1Click", [this] { PTShellList1Click(); }); });
    // Delivered from the list's event filter, so it runs before the list's own key handling.
    connect(PTShellList1, &TShellList::KeyDown, this,
            [this](int key) { guarded("PTShellList1KeyDown", [this, key] { PTShellList1KeyDown(key); }); });
    PTShellList1->DblClickOpen = [this](bool &handled) { PTShellList1DblClickOpen(handled); };

    Panel3 = new QWidget(Panel1);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedHeight(kThumbAreaHeight);
    Panel3->setAutoFillBackground(true);
    QPalette grey = Panel3->palette();
    grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    Panel3->setPalette(grey);
    auto *thumbs = new QHBoxLayout(Panel3);
    thumbs->setContentsMargins(0, 0, 0, 0);
    thumbs->setSpacing(0);
    Panel4 = new QWidget(Panel3);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    ScrollBar1 = new QScrollBar(Qt::Vertical, Panel3);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setPageStep(5);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { guarded("ScrollBar1Change", [this] { ScrollBar1Change(); }); });
    thumbs->addWidget(Panel4, 1);
    thumbs->addWidget(ScrollBar1);

    pane->addWidget(Panel2);
    pane->addWidget(PTShellTree1);
    pane->addWidget(Splitter1);
    pane->addWidget(PTShellList1, 1);
    pane->addWidget(Panel3);
    setCentralWidget(client);
}

void TViewFrm::buildStatusBar()
{
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    setStatusBar(StatusBar1);
    const int widths[] = {35, 70, 70, 120, 100};
    for (int i = 0; i < 5; ++i) {
        auto *panel = new TStatusPanel(widths[i], StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setAlignment(i < 4 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        panel->setFrameShape(QFrame::StyledPanel);
        StatusBar1->addWidget(panel);
        m_panels << panel;
    }
}

void TViewFrm::SetBackgroundColor(TColor color)
{
    m_backgroundColor = color;
    for (QWidget *widget : {static_cast<QWidget *>(ScrollBox1->viewport()), ScrollBox1Surface}) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, ToQColor(color));
        widget->setPalette(palette);
    }
}

bool TViewFrm::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == Image1 && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) ||
        (watched == ScrollBox1->viewport() && event->type() == QEvent::Resize))
        updateSurfaceSize();
    return QMainWindow::eventFilter(watched, event);
}

void TViewFrm::updateSurfaceSize()
{
    // The scrolled surface covers the visible area and every control on it, so a picture
    // larger than the area can be scrolled to.
    QSize size = ScrollBox1->viewport()->size();
    const QRect image = Image1->geometry();
    size = size.expandedTo(QSize(image.right() + 1, image.bottom() + 1));
    if (!Panel5->isHidden())
        size = size.expandedTo(QSize(Panel5->geometry().right() + 1, Panel5->geometry().bottom() + 1));
    ScrollBox1Surface->resize(size);
}

// ---- window events ----------------------------------------------------------------------

void TViewFrm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous() && !m_reshowing)
        guarded("FormShow", [this] { FormShow(); });
}

void TViewFrm::closeEvent(QCloseEvent *event)
{
    guarded("FormClose", [this] { FormClose(); });
    event->accept(); // closing ends the program even when saving failed
}

void TViewFrm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TViewFrm::FormCreate()
{
    ImageViewerOptions = new TImageViewerOptions(this);
    m_registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    m_keyOpen = m_registry.OpenKey(kSettingsKey, true);
    readCreationSettings();
}

void TViewFrm::readCreationSettings()
{
    const auto has = [this](const char *name) { return m_keyOpen && m_registry.ValueExists(QString::fromLatin1(name)); };
    const auto readBool = [this](const char *name) { return m_registry.ReadBool(QString::fromLatin1(name)); };

    if (has("Toolbar")) {
        const bool shown = readBool("Toolbar");
        ToolBar1->setVisible(shown);
        Toolbar2->setChecked(shown);
    }
    if (has("Statusbar")) {
        const bool shown = readBool("Statusbar");
        StatusBar1->setVisible(shown);
        Statusbar2->setChecked(shown);
    }
    if (has("AutoShrink"))
        AutoShrinkToFit1->setChecked(readBool("AutoShrink"));
    if (has("AutoEnlarge"))
        AutoEnlargeToFit1->setChecked(readBool("AutoEnlarge"));
    if (has("AlwaysOnTop")) {
        const bool onTop = readBool("AlwaysOnTop");
        AlwaysOnTop1->setChecked(onTop);
        if (onTop)
            setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    if (has("FileExplorer")) {
        Visible1->setChecked(!readBool("FileExplorer"));
        Visible1Click();
    }
    if (has("ZoomToFitWindow"))
        ZoomToFitWindow1->setChecked(readBool("ZoomToFitWindow"));
    if (has("SlideShowMode"))
        SlideShowMode = m_registry.ReadInteger(QStringLiteral("SlideShowMode"));
    if (has("SlideShowDelay")) {
        const qint64 seconds = m_registry.ReadInteger(QStringLiteral("SlideShowDelay"));
        if (seconds >= 0 && seconds * 1000 <= INT_MAX) // out of range: ignored
            SetSlideShowInterval(int(seconds * 1000));
    }
    if (has("BackgroundColor"))
        SetBackgroundColor(StringToColor(m_registry.ReadString(QStringLiteral("BackgroundColor"))));
    const struct {
        const char *name;
        QCheckBox *box;
    } formats[] = {
        {"Format JPEG", ImageViewerOptions->CheckBox7}, {"Format GIF", ImageViewerOptions->CheckBox9},
        {"Format BMP", ImageViewerOptions->CheckBox8},  {"Format WMF", ImageViewerOptions->CheckBox11},
        {"Format EMF", ImageViewerOptions->CheckBox12},
    };
    for (const auto &format : formats) {
        if (has(format.name)) {
            // Restoring a box registers no file association.
            const QSignalBlocker quiet(format.box);
            format.box->setChecked(readBool(format.name));
        }
    }
}

void TViewFrm::FormShow()
{
    if (m_argc > 0 && !m_arguments.isEmpty())
        showArgument(dropLeadingQuote(m_arguments.first()));
    else
        openNoArgumentFolder();
    m_argc = 0; // later showings take the no-argument path
    applyViewStyle();
}

void TViewFrm::showArgument(const QString &argument)
{
    PTShellTree1->SelectFolder(ArgumentFolder(argument));
    if (!argument.contains(QLatin1Char('.')))
        return;
    const QString longName = LongPathName(argument);
    SelectEntryByName(longName.mid(longName.lastIndexOf(QLatin1Char('/')) + 1));
    const int selected = PTShellList1->SelectedRow();
    if (selected >= 0)
        ShowFile(EntryFileName(selected));
}

void TViewFrm::openNoArgumentFolder()
{
    const auto has = [this](const QString &name) { return m_keyOpen && m_registry.ValueExists(name); };
    if (has(QStringLiteral("Filter"))) {
        const int index = m_registry.ReadInteger(QStringLiteral("Filter"));
        if (index >= 0 && index < FilterComboBox1->count()) { // out of range: ignored
            FilterComboBox1->setCurrentIndex(index);
            PTShellList1->SetFilter(currentMask());
        }
    }
    if (has(QStringLiteral("Last FOLDER"))) {
        PTShellTree1->SelectFolder(m_registry.ReadString(QStringLiteral("Last FOLDER")));
        return;
    }
    const QString edit10 = has(QStringLiteral("Edit10")) ? m_registry.ReadString(QStringLiteral("Edit10")) : QString();
    PTShellTree1->SelectFolder(edit10.isEmpty() ? defaultDownloadFolder() : edit10);
}

QString TViewFrm::defaultDownloadFolder() const
{
    QString documents = platform::DocumentsFolder();
    if (documents.isEmpty())
        documents = QStringLiteral(".");
    return documents + QStringLiteral("/@Trawlix Downloads");
}

void TViewFrm::applyViewStyle()
{
    if (!(m_keyOpen && m_registry.ValueExists(QStringLiteral("ViewStyle"))))
        return;
    const int style = m_registry.ReadInteger(QStringLiteral("ViewStyle"));
    Details1->setChecked(false);
    switch (style) {
    case 0:
        Details1Click();
        break;
    case 1:
        Thumbnails1Click();
        break;
    case 2:
        Symbols1Click();
        break;
    case 3:
        SmalSymbols1Click();
        break;
    default:
        break; // no style checked, the list as it was
    }
}

void TViewFrm::FormClose()
{
    writeSettings();
}

void TViewFrm::writeSettings()
{
    if (!m_keyOpen) {
        m_registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
        m_keyOpen = m_registry.OpenKey(kSettingsKey, true);
    }
    if (!m_keyOpen)
        throw platform::RegistryError(QStringLiteral("Failed to open the key HKEY_LOCAL_MACHINE\\%1 for the settings").arg(kSettingsKey));
    int viewStyle = 0;
    if (Details1->isChecked())
        viewStyle = 0;
    else if (Thumbnails1->isChecked())
        viewStyle = 1;
    else if (Symbols1->isChecked())
        viewStyle = 2;
    else if (SmalSymbols1->isChecked())
        viewStyle = 3;

    m_registry.WriteBool(QStringLiteral("Toolbar"), !ToolBar1->isHidden());
    m_registry.WriteBool(QStringLiteral("Statusbar"), !StatusBar1->isHidden());
    m_registry.WriteBool(QStringLiteral("AutoShrink"), AutoShrinkToFit1->isChecked());
    m_registry.WriteBool(QStringLiteral("AutoEnlarge"), AutoEnlargeToFit1->isChecked());
    m_registry.WriteBool(QStringLiteral("AlwaysOnTop"), AlwaysOnTop1->isChecked());
    m_registry.WriteBool(QStringLiteral("ZoomToFitWindow"), ZoomToFitWindow1->isChecked());
    m_registry.WriteBool(QStringLiteral("FileExplorer"), Visible1->isChecked());
    m_registry.WriteInteger(QStringLiteral("ViewStyle"), viewStyle);
    m_registry.WriteInteger(QStringLiteral("Filter"), FilterComboBox1->currentIndex());
    m_registry.WriteInteger(QStringLiteral("SlideShowMode"), SlideShowMode);
    m_registry.WriteInteger(QStringLiteral("SlideShowDelay"), int(unsigned(Timer1->interval()) / 1000u));
    m_registry.WriteString(QStringLiteral("BackgroundColor"), ColorToString(m_backgroundColor));
    m_registry.WriteBool(QStringLiteral("Format JPEG"), ImageViewerOptions->CheckBox7->isChecked());
    m_registry.WriteBool(QStringLiteral("Format GIF"), ImageViewerOptions->CheckBox9->isChecked());
    m_registry.WriteBool(QStringLiteral("Format BMP"), ImageViewerOptions->CheckBox8->isChecked());
    m_registry.WriteBool(QStringLiteral("Format WMF"), ImageViewerOptions->CheckBox11->isChecked());
    m_registry.WriteBool(QStringLiteral("Format EMF"), ImageViewerOptions->CheckBox12->isChecked());
    m_registry.WriteString(QStringLiteral("Last FOLDER"), PTShellList1->Folder());
    m_registry.CloseKey();
    m_keyOpen = false;
}

void TViewFrm::FormResize()
{
    if (ResizeReloadEnabled && PTShellList1 && isVisible())
        reshowSelected();
}

void TViewFrm::reshowSelected()
{
    const int selected = PTShellList1->SelectedRow();
    if (selected >= 0)
        ShowFile(EntryFileName(selected));
}

// ---- commands ---------------------------------------------------------------------------

void TViewFrm::Open1Click()
{
    const QString mask = currentMask();
    const QString chosen = ChooseFileToOpen(this, mask, mask);
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen);
    PTShellTree1->SelectFolder(file.absolutePath());
    PTShellList1->SetFilter(mask);
    SelectEntryByName(file.fileName());
    reshowSelected();
}

void TViewFrm::Browse1Click()
{
    const QString folder = ChooseFolder(this, QStringLiteral("Selected a Folder"), PTShellList1->Folder());
    if (!folder.isEmpty())
        PTShellTree1->SelectFolder(folder);
}

void TViewFrm::SpeedButton15Click()
{
    PTShellList1->GoUp();
    PTShellTree1->SelectFolder(PTShellList1->Folder());
}

void TViewFrm::StartTrawlix1Click()
{
    // Like a shell start: a failure shows nothing.
    (void)StartSiblingProgram(QStringLiteral("trawlix"), {QStringLiteral("updateok")});
}

void TViewFrm::TrawlixHomepage1Click()
{
    (void)platform::OpenDocument(kHomepage);
}

void TViewFrm::Exit1Click()
{
    close();
}

void TViewFrm::AlwaysOnTop1Click()
{
    AlwaysOnTop1->setChecked(!AlwaysOnTop1->isChecked());
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, AlwaysOnTop1->isChecked());
    if (wasVisible) {
        // Changing the window flags hides the window; showing it again is not a new showing.
        const FlagGuard reshowing(m_reshowing, true);
        show();
    }
}

void TViewFrm::ZoomToFitWindow1Click()
{
    ZoomToFitWindow1->setChecked(!ZoomToFitWindow1->isChecked());
}

void TViewFrm::Toolbar2Click()
{
    Toolbar2->setChecked(!Toolbar2->isChecked());
    ToolBar1->setVisible(Toolbar2->isChecked());
}

void TViewFrm::Statusbar2Click()
{
    Statusbar2->setChecked(!Statusbar2->isChecked());
    StatusBar1->setVisible(Statusbar2->isChecked());
}

void TViewFrm::Visible1Click()
{
    Visible1->setChecked(!Visible1->isChecked());
    const bool shown = Visible1->isChecked();
    ToolButton5Spacer->setFixedWidth(shown ? kSpacerWidth : 0);
    Panel1->setFixedWidth(shown ? kPaneShownWidth : 0);
    // A pane of width 0 also leaves the layout, so its tree and list do not hold the
    // window's height when the window is fitted to a small picture.
    Panel1->setVisible(shown);
    for (QAction *action : {SpeedButton15, SpeedButton16, SpeedButton17, SpeedButton18, SpeedButton21, ToolButton1})
        action->setVisible(shown);
    ToolBar1->update();
    if (isVisible())
        reshowSelected();
}

void TViewFrm::SpeedButton21Click()
{
    PopupMenu1->popup(QCursor::pos());
}

void TViewFrm::checkViewStyle(QAction *style)
{
    for (QAction *item : {Details1, Thumbnails1, Symbols1, SmalSymbols1})
        item->setChecked(item == style);
}

void TViewFrm::applyListStyle(TShellList::ViewStyle style, QAction *item)
{
    FilterComboBox1Change();
    PTShellList1->SetViewStyle(style);
    checkViewStyle(item);
    PTShellList1->setMinimumHeight(0);
    PTShellList1->setMaximumHeight(QWIDGETSIZE_MAX);
    PTShellList1->show();
    Panel3->hide(); // the thumbnail area leaves the pane to the list
    Panel3->setFixedHeight(kThumbAreaHeight);
    // Thumbnails still on their way are not wanted in the covered grid.
    ThumbLoader->NewGeneration();
}

void TViewFrm::Details1Click()
{
    applyListStyle(TShellList::ViewStyle::Report, Details1);
}

void TViewFrm::Symbols1Click()
{
    applyListStyle(TShellList::ViewStyle::LargeIcons, Symbols1);
}

void TViewFrm::SmalSymbols1Click()
{
    applyListStyle(TShellList::ViewStyle::List, SmalSymbols1);
}

void TViewFrm::Thumbnails1Click()
{
    PTShellList1->SetFilter(kThumbnailMask);
    checkViewStyle(Thumbnails1);
    // The list keeps its place (and serves selection) at height 0; the thumbnail area takes
    // the pane below the tree.
    PTShellList1->setMinimumHeight(0);
    PTShellList1->setMaximumHeight(0);
    Panel3->setMinimumHeight(0);
    Panel3->setMaximumHeight(QWIDGETSIZE_MAX);
    if (auto *pane = qobject_cast<QBoxLayout *>(Panel1->layout()))
        pane->setStretchFactor(Panel3, 1);
    Panel3->show();
    // The grid's size decides its columns and rows: lay the pane out now, top down.
    for (QWidget *widget : {static_cast<QWidget *>(this), centralWidget(), Panel1, Panel3})
        if (QLayout *layout = widget->layout())
            layout->activate();
    ScrollBar1->setEnabled(false);
    const int m = PTShellList1->Count() / ThumbColumns() - ThumbRows();
    if (m >= 0)
        ScrollBar1->setMaximum(m);
    FetchThums();
}

int TViewFrm::ThumbColumns() const
{
    return Panel4->width() / kThumbCellWidth + 1; // the last column may be cut off
}

int TViewFrm::ThumbRows() const
{
    return Panel4->height() / kThumbCellHeight; // whole rows only
}

void TViewFrm::FetchThums()
{
    ThumbLoader->NewGeneration();
    m_thumbJobsThisBuild = 0;
    qDeleteAll(Panel4->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly));
    const int count = PTShellList1->Count();
    if (count == 0)
        return;
    const int columns = ThumbColumns();
    const int rows = ThumbRows();
    const QString folder = PTShellList1->Folder();
    int column = 0;
    int row = 0;
    for (int k = columns * ScrollBar1->value(); k < count; ++k) {
        try {
            // The tests look at the whole path, folder included.
            const QString path = folder + QLatin1Char('/') + EntryFileName(k);
            const QString lower = path.toLower();
            std::unique_ptr<thumbLoader> job;
            if (lower.contains(QLatin1String("jpg")) || lower.contains(QLatin1String("jpeg")))
                job = std::make_unique<thumbLoaderJPG>();
            else if (lower.contains(QLatin1String("gif")))
                job = std::make_unique<thumbLoaderGIF>();
            if (job) {
                if (m_thumbJobsThisBuild < columns * rows)
                    startThumbJob(job.release(), path, k, column, row);
                if (++column == columns) {
                    ++row;
                    column = 0;
                }
            }
            if (row == rows) { // the grid is full
                ScrollBar1->setEnabled(true);
                return;
            }
        } catch (...) {
            // An entry that cannot be read is passed over.
        }
    }
}

void TViewFrm::startThumbJob(thumbLoader *job, const QString &path, int item, int column, int row)
{
    job->FileName = path;
    job->ItemIndex = item;
    job->Column = column;
    job->Row = row;
    ++m_thumbJobsThisBuild;
    ThumbLoader->Start(job);
}

void TViewFrm::deliverThumbnail(const ThumbDelivery &delivery)
{
    try {
        auto *thumb = new TImage(Panel4);
        thumb->setGeometry(delivery.Column * kThumbCellWidth, delivery.Row * kThumbCellHeight, kThumbSize.width(),
                           kThumbSize.height());
        thumb->SetStretch(true);
        if (delivery.result.animated) {
            // Frames are decoded one at a time at the cell's size as the animation plays.
            auto movie = std::make_unique<QMovie>(delivery.FileName, QByteArray("gif"));
            movie->setScaledSize(kThumbSize);
            thumb->SetAnimation(std::move(movie));
        } else {
            thumb->SetPicture(delivery.result.thumbnail);
        }
        thumb->setToolTip(EntryFileName(delivery.ItemIndex));
        connect(thumb, &TImage::Clicked, this, [this, thumb] { guarded("Image1Click", [this, thumb] { Image1Click(thumb); }); });
        thumb->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(thumb, &QWidget::customContextMenuRequested, this,
                [this, thumb](const QPoint &pos) { PopupMenu2->popup(thumb->mapToGlobal(pos)); });
        thumb->show();
    } catch (...) {
        // A thumbnail that cannot be made leaves its cell empty.
    }
}

void TViewFrm::ScrollBar1Change()
{
    if (ScrollBar1->value() == LastThumbScrollPos)
        return;
    LastThumbScrollPos = ScrollBar1->value();
    FetchThums();
}

void TViewFrm::Image1Click(QObject *sender)
{
    const auto *thumb = qobject_cast<QWidget *>(sender);
    if (!thumb)
        return;
    SelectEntryByName(thumb->toolTip());
    reshowSelected();
}

// ---- navigation and slide show ----------------------------------------------------------

bool IsPictureName(const QString &name)
{
    const QString lower = name.toLower();
    for (const char *picture : {"jpeg", "jpg", "gif", "bmp", "wmf", "emf", "ico"})
        if (lower.contains(QLatin1String(picture)))
            return true;
    return false;
}

void TViewFrm::step(bool forward)
{
    const int count = PTShellList1->Count();
    // While the pane is hidden, entries that are not pictures are passed over, for at most
    // one pass over the list; the entry reached then is shown whatever it is.
    for (int steps = 1;; ++steps) {
        LastStepWasNext = forward;
        const int selected = PTShellList1->SelectedRow();
        int target = 0;
        if (forward)
            target = selected < 0 || selected == count - 1 ? 0 : selected + 1;
        else
            target = selected < 0 ? 0 : selected == 0 ? count - 1 : selected - 1;
        PTShellList1->ClearSelection();
        SelectEntry(target);
        if (!PaneHidden() || count == 0 || steps >= count || IsPictureName(EntryFileName(target)))
            break;
    }
    reshowSelected();
}

void TViewFrm::SpeedButton1Click()
{
    step(true);
}

void TViewFrm::SpeedButton2Click()
{
    step(false);
}

void TViewFrm::PTShellList1Click()
{
    const int selected = PTShellList1->SelectedRow();
    if (selected < 0)
        return;
    if (PTShellList1->SizeTextAt(selected) == QLatin1String("0KB"))
        return;
    ShowFile(EntryFileName(selected));
}

void TViewFrm::PTShellList1KeyDown(int key)
{
    const int selected = PTShellList1->SelectedRow();
    if (selected < 0)
        return;
    const int count = PTShellList1->Count();
    if (key == Qt::Key_Down) {
        if (selected == count - 1)
            return; // no wrap-around
        SelectEntry(selected + 1);
        ShowFile(EntryFileName(selected + 1));
        // The list's own handling of the key, which follows, moves on to the shown entry.
        SelectEntry(selected);
    } else if (key == Qt::Key_Up) {
        if (selected == 0)
            return;
        SelectEntry(selected - 1);
        ShowFile(EntryFileName(selected - 1));
        SelectEntry(selected);
    }
}

void TViewFrm::PTShellList1DblClickOpen(bool &handled)
{
    // The click before has already shown the entry; the shell never opens it.
    handled = true;
}

void TViewFrm::setSlideShow(bool running)
{
    m_slideShowRunning = running;
    if (running && Timer1->interval() > 0)
        Timer1->start();
    else
        Timer1->stop();
    if (auto *button = qobject_cast<QToolButton *>(ToolBar1->widgetForAction(SpeedButton8)))
        button->setAutoRaise(!running);
}

bool TViewFrm::SlideShowButtonFlat() const
{
    const auto *button = qobject_cast<QToolButton *>(ToolBar1->widgetForAction(SpeedButton8));
    return button && button->autoRaise();
}

void TViewFrm::SetSlideShowInterval(int ms)
{
    Timer1->setInterval(ms);
    setSlideShow(m_slideShowRunning);
}

void TViewFrm::SpeedButton8Click()
{
    setSlideShow(!m_slideShowRunning);
}

void TViewFrm::Timer1Timer()
{
    const int count = PTShellList1->Count();
    if (PTShellList1->SelectedRow() < 0) {
        if (count == 0) {
            setSlideShow(false);
            return;
        }
        SelectEntry(1); // the second entry; with a single entry nothing gets selected
    }
    switch (SlideShowMode) {
    case 0:
        SpeedButton1Click();
        break;
    case 1:
        SpeedButton2Click();
        break;
    case 2:
        PTShellList1->ClearSelection();
        if (count > 0)
            PTShellList1->MarkRow(int(NextRandom() % unsigned(count)));
        break;
    default:
        break;
    }
    const int selected = PTShellList1->SelectedRow();
    if (selected >= 0 && IsPictureName(EntryFileName(selected)))
        ShowFile(EntryFileName(selected));
}

QString TViewFrm::currentMask() const
{
    const int index = FilterComboBox1->currentIndex();
    if (index < 0 || index >= FilterComboBox1->count())
        return QString();
    return FilterComboBox1->itemData(index).toString();
}

void TViewFrm::FilterComboBox1Change()
{
    PTShellList1->SetFilter(currentMask());
}

void TViewFrm::PTShellList1FillComplete()
{
    m_simpleText = QString::number(PTShellList1->Count()) + QStringLiteral(" Object(s)");
    if (Thumbnails1->isChecked())
        Thumbnails1Click();
}

// ---- list operations --------------------------------------------------------------------

QString TViewFrm::EntryFileName(int row) const
{
    return QFileInfo(PTShellList1->FilePathAt(row)).fileName();
}

int TViewFrm::FindEntry(const QString &name) const
{
    const QString wanted = name.toLower();
    const int count = PTShellList1->Count();
    for (int row = 0; row < count; ++row)
        if (EntryFileName(row).toLower() == wanted)
            return row;
    return -1;
}

void TViewFrm::SelectEntry(int index)
{
    if (index >= 0 && index < PTShellList1->Count())
        PTShellList1->SelectRow(index);
}

void TViewFrm::SelectEntryByName(const QString &name)
{
    SelectEntry(FindEntry(name));
}

// ---- picture display --------------------------------------------------------------------

void TViewFrm::isImage(bool enabled)
{
    m_imageCommands = enabled;
    for (QAction *action : {SpeedButton6, SpeedButton4, SpeedButton5, PopupPrint1, PopupWallpaper1, PopupCopyImage1,
                            PrintSetup1, Print1, CopyImage1, MainMenu1Zoom->menuAction()})
        action->setEnabled(enabled && !notBuilt(action));
}

QSize TViewFrm::ViewingArea() const
{
    return QSize(ScrollBox1->width() - 4, ScrollBox1->height() - 4);
}

void TViewFrm::PlayMovie(const QString &)
{
    // Movie playback's entry point. The player (Panel5 with its controls) is not built yet,
    // so a movie changes nothing but the picture-only commands.
}

void TViewFrm::ShowFile(const QString &name)
{
    const uint32_t start = platform::GetTickCount();
    try {
        const QString path = PTShellList1->Folder() + QLatin1Char('/') + name;
        const int dot = int(path.lastIndexOf(QLatin1Char('.')));
        const QString ext = (dot >= 0 ? path.mid(dot) : path).toLower();
        int w = 0;
        int h = 0;
        bool loaded = false;

        if (ext.contains(QLatin1String("jpeg")) || ext.contains(QLatin1String("jpg"))) {
            const platform::JpegPicture jpeg = platform::DecodeJpegFile(path);
            if (!jpeg.ok())
                fail(jpeg.error);
            Image1->SetPicture(jpeg.image);
            w = jpeg.image.width();
            h = jpeg.image.height();
            loaded = true;
            isImage(true);
        } else if (ext.contains(QLatin1String("gif"))) {
            QImageReader reader(path, "gif");
            const QImage first = reader.read();
            if (first.isNull())
                fail(reader.errorString());
            if (reader.supportsAnimation() && reader.imageCount() > 1) {
                auto movie = std::make_unique<QMovie>(path, QByteArray("gif"));
                if (!movie->isValid())
                    fail(QStringLiteral("not an animation"));
                Image1->SetAnimation(std::move(movie));
            } else {
                Image1->SetPicture(first);
            }
            w = first.width();
            h = first.height();
            loaded = true;
            isImage(true);
        } else if (ext.contains(QLatin1String("bmp"))) {
            QImage bitmap;
            if (!bitmap.load(path, "BMP"))
                fail(QStringLiteral("not a bitmap"));
            Image1->SetPicture(bitmap);
            w = bitmap.width();
            h = bitmap.height();
            loaded = true;
            isImage(true);
        } else if (ext.contains(QLatin1String("ico"))) {
            QImageReader reader(path, QFileInfo(path).suffix().toLower().toLatin1());
            const QImage icon = reader.read();
            if (icon.isNull())
                fail(reader.errorString());
            Image1->SetPicture(icon);
            w = icon.width();
            h = icon.height();
            loaded = true;
            isImage(true);
        } else if (ext.contains(QLatin1String("wmf")) || ext.contains(QLatin1String("emf"))) {
            const MetafilePicture metafile = LoadMetafile(path);
            if (!metafile.ok())
                fail(metafile.error);
            Image1->SetPicture(metafile.image);
            w = metafile.size.width();
            h = metafile.size.height();
            loaded = true;
            isImage(false);
        } else if (isMovieExtension(ext)) {
            isImage(false);
            PlayMovie(path);
            return;
        } else {
            return;
        }

        if (loaded) {
            Panel5->hide();
            Image1->show();
        }
        if (ZoomToFitWindow1->isChecked() && PaneHidden())
            fitWindow(w, h);
        if (AutoShrinkToFit1->isChecked())
            shrinkToArea(w, h);
        else {
            const QSize area = ViewingArea();
            Image1->resize(area.width() > w ? area.width() : w, area.height() > h ? area.height() : h);
        }

        m_panels[0]->setText(ext.mid(1).toUpper());
        m_panels[1]->setText(QStringLiteral("? KB"));
        m_panels[2]->setText(QStringLiteral("%1x%2").arg(w).arg(h));
        m_panels[3]->setText(LoadedInText(platform::TicksBetween(start, platform::GetTickCount())));
        m_panels[4]->setText(QLatin1Char(' ') + name);
    } catch (...) {
        // Unreadable or damaged files are ignored: what was already changed stays, nothing
        // is shown.
    }
}

void TViewFrm::fitWindow(int w, int h)
{
    const FlagGuard noReload(ResizeReloadEnabled, false);
    const ScreenMetrics screens = Screens();
    if (frameGeometry().width() >= screens.desktopWidth)
        return;
    const int screenW = screens.primary.width();
    const int screenH = screens.primary.height();
    int height = h < 200 ? 200 : h + 120;
    int width = w < 430 ? 430 : w + 20;
    if (screenH - 28 < height)
        height = screenH - 28;
    if (screenW < width)
        width = screenW;
    const int left = (screenW - width) / 2;
    int top = (screenH - height) / 2;
    if (height == screenH - 28)
        top = 0;

    // The sizes are the window's outer ones; Qt sizes the client area.
    const QSize frame = frameGeometry().size() - size();
    resize(width - frame.width(), height - frame.height());
    move(left, top);
    // Lay the controls out for the new size now, so that the shrink step sees the new area;
    // the resize events this delivers are ignored while the flag is down.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (layout())
        layout()->activate();

    if (!SlideShowRunning()) {
        QAction *last = LastStepWasNext ? SpeedButton1 : SpeedButton2;
        if (const QWidget *button = ToolBar1->widgetForAction(last)) {
            const QPoint origin = frameGeometry().topLeft();
            MoveMousePointer(QPoint(button->x() + origin.x() + (LastStepWasNext ? 23 : 19),
                                    button->y() + origin.y() + 70));
        }
    }
}

void TViewFrm::shrinkToArea(int &w, int &h)
{
    const QSize area = ViewingArea();
    const int areaW = area.width();
    const int areaH = area.height();
    Image1->move(0, 0);
    if (w > h && areaW < w) {
        const double f = double(areaW) / w;
        const int h2 = int(h * f);
        Image1->resize(areaW, h2);
        h = h2;
        Image1->SetStretch(true);
        Image1->move(Image1->x(), (areaH - h2) / 2);
    } else if (h > w && areaH < h) {
        const double f = double(areaH) / h;
        const int w2 = int(w * f);
        Image1->resize(w2, areaH);
        w = w2;
        Image1->SetStretch(true);
        Image1->move((areaW - w2) / 2, Image1->y());
    } else {
        // Drawn unscaled and centred: a square picture is never scaled, whatever its size.
        Image1->SetStretch(false);
        Image1->resize(areaW, areaH);
    }
}

// ---- zoom -------------------------------------------------------------------------------

namespace {

void zoom(TImage *image, int percent)
{
    // Each step works on the current size in whole hundreds of pixels, so steps compound
    // and a picture under 100 pixels zooms out to nothing.
    image->SetStretch(true);
    image->resize(image->width() / 100 * percent, image->height() / 100 * percent);
}

} // namespace

void TViewFrm::SpeedButton5Click()
{
    zoom(Image1, 120);
}

void TViewFrm::More1Click()
{
    zoom(Image1, 120);
}

void TViewFrm::SpeedButton4Click()
{
    zoom(Image1, 80);
}

void TViewFrm::Less1Click()
{
    zoom(Image1, 80);
}

void TViewFrm::AutoShrinkToFit1Click()
{
    AutoShrinkToFit1->setChecked(!AutoShrinkToFit1->isChecked());
    reshowSelected();
}

void TViewFrm::AutoEnlargeToFit1Click()
{
    AutoEnlargeToFit1->setChecked(!AutoEnlargeToFit1->isChecked());
    reshowSelected();
}

} // namespace glimmo
