#include "trawlix/zindle.h"

#include "platform/gui/app.h"
#include "platform/shell.h"
#include "trawlix/startup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

namespace trawlix {

namespace {

// The search engines in the order start addresses are made: name, site, query template.
struct EngineRow {
    const char *name;
    const char *site;
    const char *query;
};
constexpr EngineRow kEngines[] = {
    {"DMOZ", "http://search.dmoz.org/", "cgi-bin/search?search={KEYS}"},
    {"Lycos Images", "http://multimedia.lycos.com/", "results.asp?component=MorePictures&query={KEYS}&agree=1"},
    {"Lycos Movie", "http://multimedia.lycos.com/", "default.asp?component=MoreVideo&query={KEYS}&agree=1"},
    {"Yahoo!", "http://search.yahoo.com/", "bin/search?p={KEYS}&n=3020"},
    {"AltaVista Websearch", "http://www.altavista.com/", "sites/search/web?q={KEYS}&pg=q&kl=XX&search=Search&nbq=20"},
    {"Google Websearch", "http://www.google.com/",
     "search?as_q={KEYS}&num=20&btnG=Google+Search&as_epq=&as_oq=&as_eq=&lr=&as_qdr=all&as_occt=any&as_dt=i&"
     "as_sitesearch=&safe=off"},
    {"Google Images", "http://images.google.com/", "images?num=100&hl=en&imgsafe=off&q={KEYS}"},
    {"FAST Pictures", "http://multimedia.alltheweb.com/",
     "cgi-bin/advsearch?exec=search&cat=cat_image&query={KEYS}&ocr=ocr_no&s_type=st_all&im_tra=ir_all&if_all=on&"
     "it_color=on"},
    {"FAST Movies", "http://multimedia.alltheweb.com/",
     "cgi-bin/advsearch?exec=search&cat=cat_video&query={KEYS}&ocr=ocr_no&s_type=st_all&vs_str=vs_all&vf_all=on"},
    {"diTTo Pictures", "http://www.ditto.com/",
     "search_resultsvpp.asp?ipp=12&pr=15&ss={KEYS}&submit1=Search&ViewStyle=compact"},
    {"AltaVista Pictures", "http://www.altavista.com/",
     "cgi-bin/query?q={KEYS}&ipht=1&iclr=1&mmW=1&micat=1&imgset=1&stype=simage&pg=q"},
    {"AltaVista Movies", "http://www.altavista.com/", "cgi-bin/query?q={KEYS}&kl=XX&pg=q&Translate=on&stype=svideo&wt=y"},
};

// URL substrings the crawl neither follows nor downloads from.
constexpr const char *kSkipWords[] = {
    "aids",     "bill",   "bootie",  "bucks",      "adver",  "webmaster", ".asx",     "micro",
    "javascript", "banner", "pay",   "join",       "apply",  "shop",      "message",  "board",
    "mailto",   "cash",   "forum",   "money",      "disclaimer", "casino", "404",     "store",
    "counter",  "vote",   "click",   "404",        "register", "help",    "click",    "radio",
};
// Directories, search services, portals, news and software sites, adult-content and
// content-filter sites (three of them twice), a domain fragment and a portal's redirect script.
constexpr const char *kSkipDomains[] = {
    "dmoz.org",        "yahoo.com",      "altavista.com",  "google.com",      "lycos.com",      "excite.com",
    "hotbot.com",      "infoseek.com",   "looksmart.com",  "alltheweb.com",   "ditto.com",      "webcrawler.com",
    "dogpile.com",     "metacrawler.com", "askjeeves.com", "go.com",          "msn.com",        "aol.com",
    "netscape.com",    "about.com",      "geocities.com",  "tripod.com",      "angelfire.com",  "cnn.com",
    "bbc.co.uk",       "nytimes.com",    "zdnet.com",      "cnet.com",        "download.com",   "tucows.com",
    "microsoft.com",   "apple.com",      "real.com",       "macromedia.com",  "adobe.com",      "amazon.com",
    "ebay.com",        "doubleclick.net", "cyberpatrol.com", "netnanny.com",  "surfwatch.com",  "cybersitter.com",
    "adultcheck.com",  "playboy.com",    "persiankitty.com", "sextracker.com", "mamma.com",     "northernlight.com",
    "directhit.com",   "goto.com",       "netzero.com",    "yahoo.com",       "google.com",     "altavista.com",
    "search.",         "srd.yahoo.com",
};
// Search engines and directories, software and hardware makers, portals, a chat service,
// content-filter and age-verification services, counters and ad networks, adult link sites.
constexpr const char *kSkipNames[] = {
    "yahoo",      "altavista",  "google",      "lycos",       "excite",     "hotbot",      "infoseek",
    "looksmart",  "alltheweb",  "ditto",       "webcrawler",  "dogpile",    "metacrawler", "askjeeves",
    "dmoz",       "northernlight", "mamma",    "overture",    "microsoft",  "netscape",    "macromedia",
    "adobe",      "realplayer", "winamp",      "nvidia",      "intel",      "compaq",      "gateway",
    "dell",       "creative",   "geocities",   "tripod",      "angelfire",  "xoom",        "fortunecity",
    "theglobe",   "iwon",       "netcenter",   "icq",         "netnanny",   "cyberpatrol", "surfwatch",
    "cybersitter", "adultcheck", "adultsights", "agecheck",   "ageverify",  "doubleclick", "linkexchange",
    "hitbox",     "nedstat",    "sitemeter",   "valueclick",  "flycast",    "adbureau",    "persiankitty",
};
static_assert(std::size(kSkipWords) == 32 && std::size(kSkipDomains) == 56 && std::size(kSkipNames) == 56,
              "the skip list has 32 words, 56 domain entries and 56 names");

constexpr const char *kResultPageMarkers[] = {
    "picture.asp?query", "srst", "r?ck", "director.asp", "webresult",
    "?imgurl=", "?offset=", "r?ck_sm=", "vppclickthru.asp?", "url?sa=",
};

constexpr const char *kStatusPanels[][2] = {
    {"120", "HTML in queue: 0"}, {"130", "HTML downloading:"}, {"110", "HTML to analyze:"}, {"100", "HTML done:"},
    {"120", "FILES in queue:"},  {"100", "FILES exists:"},     {"110", "FILES saved:"},
};

const QString kCrLf = QStringLiteral("\r\n");

// The lines of a stored list text: CR LF (or a bare LF or CR) separates lines, and a break at
// the very end starts no further line.
QStringList storedLines(QString text)
{
    text.replace(kCrLf, QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// A number typed into an edit box, or `fallback` when the text is not a decimal number.
int decimalOr(const QString &text, int fallback)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : fallback;
}

std::string bytes(const QString &text)
{
    return text.toStdString();
}

template <typename Control>
Control *named(Control *control, const char *name)
{
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

QAction *addItem(QMenu *menu, const char *name, const char *caption, const QKeySequence &shortcut = {})
{
    QAction *action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

// A command that a later piece of the program makes work: present, disabled.
template <typename Control>
Control *later(Control *control)
{
    control->setEnabled(false);
    control->setProperty("trawlixNotBuilt", true);
    return control;
}

QLineEdit *lineEdit(const char *name, QWidget *parent)
{
    return named(new QLineEdit(parent), name);
}

// A grey, read-only box of explanation lines.
QPlainTextEdit *explanation(const QStringList &lines, QWidget *parent)
{
    auto *box = new QPlainTextEdit(parent);
    box->setPlainText(lines.join(QLatin1Char('\n')));
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    box->setFrameShape(QFrame::NoFrame);
    box->setStyleSheet(QStringLiteral("QPlainTextEdit { background: #c0c0c0; }"));
    box->setFixedHeight(box->fontMetrics().height() * (int(lines.size()) + 1) + 8);
    return box;
}

} // namespace

// ---- construction ---------------------------------------------------------------------------

TForm1::TForm1(const QStringList &arguments, QWidget *parent) : QMainWindow(parent), m_arguments(arguments)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kProductName));
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(font().pointSize());
    setFont(arial);

    ConfirmYesCancel = [](QWidget *parent, const QString &question) {
        return QMessageBox::question(parent, QString::fromLatin1(kProductName), question,
                                     QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Yes;
    };
    ShowMessageBox = [](QWidget *parent, const QString &text) {
        QMessageBox::information(parent, QString::fromLatin1(kProductName), text);
    };
    ChooseFile = [](QWidget *parent, const QString &filter, const QString &initialName) {
        return QFileDialog::getSaveFileName(parent, QString(), initialName, filter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
    ChooseFolder = [](QWidget *parent, const QString &title) {
        return QFileDialog::getExistingDirectory(parent, title);
    };
    // The crawler's start messages are boxes of this window.
    SetShowMessageHook([this](const std::string &text) { ShowMessageBox(this, QString::fromStdString(text)); });

    // The crawler as the window places it.
    Sifton1.SetTimeOut(200);
    Sifton1.SetFileOfResults("c:\\results.txt");
    Sifton1.SetLeavesFirst(false);
    Sifton1.SetAgent(TSifton::kDefaultAgent);
    Sifton1.HttpPort = 80;
    Sifton1.SetRetries(1);
    Sifton1.LinkScan = scanAllLinks;
    Sifton1.LinkReport = reportAllLinks;
    Sifton1.SetDepthSearchLevel(4);
    Sifton1.TypeFilterEnabled = false;
    Sifton1.SetProxyType(PROXY_DEFAULT);
    Sifton1.SetProxyPort(80);
    Sifton1.SetMaxQueueSize(10000);
    Sifton1.SeekRobotsTxt = false;
    Sifton1.SetConcurrentDownloads(10);

    buildMenus();
    buildClientArea();
    buildStatusBar();
    connectHandlers();

    resize(780, 600);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    copyCrawlerValuesToControls();
    for (int i = 0; i <= 5; ++i)
        CheckListBox1->SetChecked(i, true);
    for (int i : {0, 2, 3})
        CheckListBox2->SetChecked(i, true);

    guarded("FormCreate", [this] { FormCreate(); });
}

TForm1::~TForm1()
{
    SetShowMessageHook(nullptr);
    setBusyCursor(false);
}

void TForm1::guarded(const char *handler, const std::function<void()> &body)
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

void TForm1::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    File1 = named(bar->addMenu(QStringLiteral("File")), "File1");
    OpenImageViewer1 = later(addItem(File1, "OpenImageViewer1", "Open @Glimmo"));
    ClearHistorylocal1 = later(addItem(File1, "ClearHistorylocal1", "Clear History-DropDown"));
    HideZindle1 = later(addItem(File1, "HideZindle1", "Hide @Trawlix"));
    File1->addSeparator();
    Start1 = addItem(File1, "Start1", "Close @Trawlix");
    connect(Start1, &QAction::triggered, this, [this] { guarded("Start1Click", [this] { Start1Click(); }); });

    Help1 = named(bar->addMenu(QStringLiteral("Help")), "Help1");
    HelpFile1 = later(addItem(Help1, "HelpFile1", "@Trawlix Help", QKeySequence(Qt::Key_F1)));
    About1 = later(addItem(Help1, "About1", "About"));

    Contactus1 = named(bar->addMenu(QStringLiteral("Contact us")), "Contactus1");
    Question1 = later(addItem(Contactus1, "Question1", "Question"));
    Suggestion1 = later(addItem(Contactus1, "Suggestion1", "Suggestion"));
    BugReport1 = later(addItem(Contactus1, "BugReport1", "Bug Report"));
    Contactus1->addSeparator();
    QuorvexHomepage1 = later(addItem(Contactus1, "QuorvexHomepage1", "@Trawlix Homepage"));

    // The tray icon's menu; the tray icon itself comes with the hide command.
    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    ShowZindle1 = later(addItem(PopupMenu1, "ShowZindle1", "Show @Trawlix"));
    ShutDown1 = addItem(PopupMenu1, "ShutDown1", "Shut Down @Trawlix");
    connect(ShutDown1, &QAction::triggered, this, [this] { guarded("ShutDown1Click", [this] { ShutDown1Click(); }); });

    PopupMenu2 = named(new QMenu(this), "PopupMenu2");
    ShowPageinBrowser1 = later(addItem(PopupMenu2, "ShowPageinBrowser1", "Show Page in Browser"));
    FilterDomain1 = later(addItem(PopupMenu2, "FilterDomain1", "Filter Domain"));
    Start2 = later(addItem(PopupMenu2, "Start2", "Start URL Scan on this Page"));
}

QWidget *TForm1::buildSearchRow()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    ComboBox1 = named(new QComboBox(row), "ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setMinimumWidth(300);
    FilterComboBox1 = named(new QComboBox(row), "FilterComboBox1");
    for (const FileFilter &filter : kFileFilters)
        FilterComboBox1->addItem(QString::fromLatin1(filter.description), QString::fromLatin1(filter.mask));
    FilterComboBox1->setCurrentIndex(0);
    SpeedButton1 = later(named(new QToolButton(row), "SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("Search         "));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    layout->addWidget(ComboBox1, 3);
    layout->addWidget(FilterComboBox1, 1);
    layout->addWidget(SpeedButton1);
    return row;
}

QWidget *TForm1::buildBrowserRow()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    Panel2 = named(new QFrame(row), "Panel2");
    Panel2->setFrameShape(QFrame::StyledPanel);
    auto *bannerLayout = new QHBoxLayout(Panel2);
    bannerLayout->setContentsMargins(2, 2, 2, 2);
    Image1 = named(new QLabel(Panel2), "Image1");
    Image1->setText(QStringLiteral("<b><i>@Trawlix</i></b>"));
    Image1->setStyleSheet(QStringLiteral("QLabel { color: #ffd000; background: #202060; padding: 2px 12px; }"));
    bannerLayout->addWidget(Image1);
    layout->addWidget(Panel2);
    layout->addStretch(1);
    const auto browserButton = [row](const char *name, const char *caption) {
        auto *button = later(named(new QToolButton(row), name));
        button->setText(QString::fromLatin1(caption));
        button->setAutoRaise(true);
        return button;
    };
    SpeedButton5 = browserButton("SpeedButton5", "Import IE URL");
    SpeedButton4 = browserButton("SpeedButton4", "IE History");
    SpeedButton3 = browserButton("SpeedButton3", "IE Favorites");
    layout->addWidget(SpeedButton5);
    layout->addWidget(SpeedButton4);
    layout->addWidget(SpeedButton3);
    return row;
}

QWidget *TForm1::buildEnginePanel()
{
    auto *panel = new QWidget(this);
    auto *layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    RadioGroup2 = named(new TRadioGroup(QStringLiteral("Links Surfing"),
                                        {QStringLiteral("surf All Links"), QStringLiteral("surf Initial Site"),
                                         QStringLiteral("surf Initial Path")},
                                        panel),
                        "RadioGroup2");
    RadioGroup2->SetItemIndex(0);
    layout->addWidget(RadioGroup2);

    auto *engines = new QWidget(panel);
    auto *enginesLayout = new QVBoxLayout(engines);
    enginesLayout->setContentsMargins(0, 0, 0, 0);
    enginesLayout->setSpacing(1);
    Label1 = named(new QLabel(QStringLiteral("Search engines to scan"), engines), "Label1");
    CheckListBox1 = named(new TCheckListBox(engines), "CheckListBox1");
    for (const char *engine : kEngineListOrder)
        CheckListBox1->Add(QString::fromLatin1(engine));
    CheckListBox1->SetColumns(3);
    CheckListBox1->setFixedHeight(CheckListBox1->fontMetrics().height() * 4 + 24);
    enginesLayout->addWidget(Label1);
    enginesLayout->addWidget(CheckListBox1);
    layout->addWidget(engines, 1);
    return panel;
}

QWidget *TForm1::buildSlots()
{
    static constexpr const char *panelNames[] = {"Panel1", "Panel3", "Panel4", "Panel5"};
    auto *area = new QWidget(this);
    auto *layout = new QHBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    for (int slot = 0; slot < 4; ++slot) {
        auto *panel = named(new QFrame(area), panelNames[slot]);
        panel->setFrameShape(QFrame::StyledPanel);
        auto *slotLayout = new QVBoxLayout(panel);
        slotLayout->setContentsMargins(3, 2, 3, 2);
        slotLayout->setSpacing(1);
        const QString n = QString::number(slot + 1);
        SlotNames[slot] = new QLabel(panel);
        SlotNames[slot]->setObjectName(QStringLiteral("LabelG") + n);
        SlotBars[slot] = new QProgressBar(panel);
        SlotBars[slot]->setObjectName(QStringLiteral("ProgressBar") + n);
        SlotBars[slot]->setRange(0, 100);
        SlotBars[slot]->setValue(0);
        SlotBars[slot]->setTextVisible(false);
        SlotBars[slot]->setFixedHeight(10);
        SlotLines1[slot] = new QLabel(panel);
        SlotLines1[slot]->setObjectName(QStringLiteral("LabelG") + n + QLatin1Char('2'));
        SlotLines2[slot] = new QLabel(panel);
        SlotLines2[slot]->setObjectName(QStringLiteral("LabelG") + n + QLatin1Char('3'));
        for (QWidget *w : std::initializer_list<QWidget *>{SlotNames[slot], SlotBars[slot], SlotLines1[slot], SlotLines2[slot]})
            slotLayout->addWidget(w);
        SlotPanels[slot] = panel;
        layout->addWidget(panel, 1);
    }
    return area;
}

QWidget *TForm1::buildFilteringTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QHBoxLayout(tab);

    auto *types = new QGroupBox(QStringLiteral("Custom FileTypes"), tab);
    auto *typesLayout = new QVBoxLayout(types);
    typesLayout->addWidget(explanation({QStringLiteral("File types filter: Only selected "),
                                        QStringLiteral("Filetypes will be downloaded. You "),
                                        QStringLiteral("can add your own File-Extensions.")},
                                       types));
    CheckListBox2 = named(new TCheckListBox(types), "CheckListBox2");
    for (const char *type : kFileTypeItems)
        CheckListBox2->Add(QString::fromLatin1(type));
    typesLayout->addWidget(CheckListBox2, 1);
    auto *addRow = new QHBoxLayout;
    Edit11 = lineEdit("Edit11", types);
    Edit11->setMaxLength(4);
    Edit11->setMaximumWidth(60);
    Button5 = later(named(new QPushButton(QStringLiteral("Add File-Extension"), types), "Button5"));
    addRow->addWidget(Edit11);
    addRow->addWidget(Button5);
    typesLayout->addLayout(addRow);
    layout->addWidget(types);

    const auto keywordGroup = [tab](const char *caption, const QStringList &lines, QPlainTextEdit *&memo,
                                    const char *memoName, QCheckBox *&check, const char *checkName) {
        auto *group = new QGroupBox(QString::fromLatin1(caption), tab);
        auto *groupLayout = new QVBoxLayout(group);
        groupLayout->addWidget(explanation(lines, group));
        memo = named(new QPlainTextEdit(group), memoName);
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        groupLayout->addWidget(memo, 1);
        check = named(new QCheckBox(QStringLiteral("enabled"), group), checkName);
        groupLayout->addWidget(check);
        return group;
    };
    layout->addWidget(keywordGroup("KeywordsFilter",
                                   {QStringLiteral("if enabled, URLs "), QStringLiteral("CONTAINING one of "),
                                    QStringLiteral("these keywords are "), QStringLiteral("ignored")},
                                   Memo9, "Memo9", CheckBox3, "CheckBox3"));
    layout->addWidget(keywordGroup("KeywordsLimiter",
                                   {QStringLiteral("if enabled, URLs that "), QStringLiteral("DO NOT CONTAIN "),
                                    QStringLiteral("one of these "), QStringLiteral("keywords are "),
                                    QStringLiteral("ignored")},
                                   Memo8, "Memo8", CheckBox4, "CheckBox4"));
    CheckBox3->setChecked(true);
    CheckBox4->setChecked(false);
    return tab;
}

QWidget *TForm1::buildSettingsTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QGridLayout(tab);

    const auto pathRow = [tab](const char *caption, QLineEdit *&edit, const char *editName, QPushButton *&button,
                               const char *buttonName) {
        auto *group = new QGroupBox(QString::fromLatin1(caption), tab);
        auto *row = new QHBoxLayout(group);
        edit = lineEdit(editName, group);
        button = named(new QPushButton(QStringLiteral("..."), group), buttonName);
        button->setFixedWidth(30);
        row->addWidget(edit, 1);
        row->addWidget(button);
        return group;
    };
    layout->addWidget(pathRow("Log File", Edit2, "Edit2", Button3, "Button3"), 0, 0, 1, 3);
    layout->addWidget(pathRow("Save Files to", Edit10, "Edit10", Button4, "Button4"), 1, 0, 1, 3);

    auto *html = new QGroupBox(QStringLiteral("HTML Scan Settings"), tab);
    auto *htmlForm = new QFormLayout(html);
    Edit5 = lineEdit("Edit5", html);
    Edit7 = lineEdit("Edit7", html);
    htmlForm->addRow(QStringLiteral("Retry Count:"), Edit5);
    htmlForm->addRow(QStringLiteral("TimeOut:"), Edit7);
    const auto upDownRow = [html](QLineEdit *&edit, const char *editName, TUpDown *&upDown, const char *upDownName,
                                  int position, const char *hint) {
        auto *row = new QWidget(html);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(0);
        edit = lineEdit(editName, row);
        edit->setMaximumWidth(50);
        edit->setContextMenuPolicy(Qt::NoContextMenu);
        edit->setAcceptDrops(false);
        upDown = named(new TUpDown(1, 100, position, row), upDownName);
        upDown->SetAssociate(edit);
        // The hint is kept with the controls but, as on every control but the proxy ones,
        // not shown.
        edit->setProperty("Hint", QString::fromLatin1(hint));
        upDown->setProperty("Hint", QString::fromLatin1(hint));
        rowLayout->addWidget(edit);
        rowLayout->addWidget(upDown);
        rowLayout->addStretch(1);
        return row;
    };
    htmlForm->addRow(QStringLiteral("Search Depth Level"),
                     upDownRow(Edit3, "Edit3", UpDown1, "UpDown1", 4,
                               "number of links to go through starting from the initial URL level"));
    htmlForm->addRow(QStringLiteral("Concur. HTML Downloads"),
                     upDownRow(Edit6, "Edit6", UpDown2, "UpDown2", 10, "number of real concurrent downloads. "));
    CheckBox1 = named(new QCheckBox(QStringLiteral("Follow Redirects"), html), "CheckBox1");
    htmlForm->addRow(CheckBox1);
    layout->addWidget(html, 2, 0);

    auto *image = new QGroupBox(QStringLiteral("Image Settings"), tab);
    auto *imageForm = new QFormLayout(image);
    EditMinImgH = lineEdit("EditMinImgH", image);
    EditMinImgW = lineEdit("EditMinImgW", image);
    EditMinImageFileS = lineEdit("EditMinImageFileS", image);
    EditMinImgH->setText(QStringLiteral("240"));
    EditMinImgW->setText(QStringLiteral("200"));
    EditMinImageFileS->setText(QStringLiteral("14"));
    imageForm->addRow(QStringLiteral("Min. Image Height"), EditMinImgH);
    imageForm->addRow(QStringLiteral("Min. Image Width"), EditMinImgW);
    imageForm->addRow(QStringLiteral("Min. Image File Size (KB)"), EditMinImageFileS);
    layout->addWidget(image, 2, 1);

    auto *movie = new QGroupBox(QStringLiteral("Movie Settings"), tab);
    auto *movieForm = new QFormLayout(movie);
    EditMinMovieFileS = lineEdit("EditMinMovieFileS", movie);
    EditMinMovieFileS->setText(QStringLiteral("200"));
    movieForm->addRow(QStringLiteral("Min. Movie File Size (KB)"), EditMinMovieFileS);
    layout->addWidget(movie, 2, 2, Qt::AlignTop);
    layout->setRowStretch(3, 1);
    return tab;
}

QWidget *TForm1::buildProxyTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QHBoxLayout(tab);
    RadioGroup1 = named(new TRadioGroup(QStringLiteral("Proxy Options"),
                                        {QStringLiteral("direct to internet"), QStringLiteral("use proxy"),
                                         QStringLiteral("use Internet Explorer defaults")},
                                        tab),
                        "RadioGroup1");
    RadioGroup1->setToolTip(QStringLiteral("Go to Control Panel / Internet Option for the Internet Explorer defaults"));
    layout->addWidget(RadioGroup1, 0, Qt::AlignTop);

    GroupBox4 = named(new QGroupBox(QStringLiteral("Proxy Parameters"), tab), "GroupBox4");
    auto *form = new QFormLayout(GroupBox4);
    Edit8 = lineEdit("Edit8", GroupBox4);
    Edit8->setToolTip(QStringLiteral("ip address of the proxy server"));
    Edit9 = lineEdit("Edit9", GroupBox4);
    Edit9->setToolTip(QStringLiteral("port of the proxy server"));
    Edit4 = lineEdit("Edit4", GroupBox4);
    MaskEdit1 = lineEdit("MaskEdit1", GroupBox4);
    MaskEdit1->setEchoMode(QLineEdit::Password);
    MaskEdit1->setToolTip(QStringLiteral("password to use for authenticate on the proxy server"));
    form->addRow(QStringLiteral("proxy address"), Edit8);
    form->addRow(QStringLiteral("port"), Edit9);
    form->addRow(QStringLiteral("user name"), Edit4);
    form->addRow(QStringLiteral("password"), MaskEdit1);
    layout->addWidget(GroupBox4, 1, Qt::AlignTop);
    RadioGroup1->SetItemIndex(2);
    GroupBox4->setVisible(false);
    return tab;
}

QWidget *TForm1::buildTabs()
{
    PageControl1 = named(new QTabWidget(this), "PageControl1");
    ListBox1 = named(new QListWidget(PageControl1), "ListBox1");
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu2->popup(ListBox1->viewport()->mapToGlobal(at)); });
    PageControl1->addTab(ListBox1, QStringLiteral("WEB / URL Scan"));
    PageControl1->addTab(buildFilteringTab(), QStringLiteral("Filtering"));
    PageControl1->addTab(buildSettingsTab(), QStringLiteral("Settings"));
    PageControl1->addTab(buildProxyTab(), QStringLiteral("Connection / Proxy"));
    return PageControl1;
}

QWidget *TForm1::buildClock()
{
    auto *clock = new QGroupBox(QStringLiteral("Time Running"), this);
    auto *layout = new QHBoxLayout(clock);
    Label28 = named(new QLabel(QStringLiteral("0 h"), clock), "Label28");
    Label27 = named(new QLabel(QStringLiteral("0 m"), clock), "Label27");
    Label26 = named(new QLabel(QStringLiteral("0 s"), clock), "Label26");
    layout->addWidget(Label28);
    layout->addWidget(Label27);
    layout->addWidget(Label26);
    return clock;
}

void TForm1::buildClientArea()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    layout->addWidget(buildSearchRow());
    layout->addWidget(buildBrowserRow());
    auto *middle = new QHBoxLayout;
    middle->addWidget(buildEnginePanel(), 1);
    middle->addWidget(buildClock(), 0, Qt::AlignTop);
    layout->addLayout(middle);
    layout->addWidget(buildSlots());
    layout->addWidget(buildTabs(), 1);
    ScrollBox1 = named(new QScrollArea(central), "ScrollBox1");
    ScrollBox1->setFixedHeight(84);
    ScrollBox1->setWidgetResizable(true);
    ScrollBox1->setStyleSheet(QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: black; }"));
    ScrollBox1->setWidget(new QWidget(ScrollBox1));
    layout->addWidget(ScrollBox1);
    setCentralWidget(central);
}

void TForm1::buildStatusBar()
{
    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        StatusPanels[i] = new QLabel(QString::fromLatin1(kStatusPanels[i][1]), StatusBar1);
        StatusPanels[i]->setMinimumWidth(QByteArray(kStatusPanels[i][0]).toInt());
        StatusBar1->addWidget(StatusPanels[i]);
    }
    setStatusBar(StatusBar1);
}

void TForm1::connectHandlers()
{
    const auto on = [this](auto *sender, auto signal, const char *name, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, name, handler] { guarded(name, [this, handler] { (this->*handler)(); }); });
    };
    on(Edit8, &QLineEdit::textChanged, "Edit8Change", &TForm1::Edit8Change);
    on(Edit4, &QLineEdit::textChanged, "Edit4Change", &TForm1::Edit4Change);
    on(Edit9, &QLineEdit::textChanged, "Edit9Change", &TForm1::Edit9Change);
    on(MaskEdit1, &QLineEdit::textChanged, "MaskEdit1Change", &TForm1::MaskEdit1Change);
    on(RadioGroup1, &TRadioGroup::Clicked, "RadioGroup1Click", &TForm1::RadioGroup1Click);
    on(Memo9, &QPlainTextEdit::textChanged, "Memo9Change", &TForm1::Memo9Change);
    on(Memo8, &QPlainTextEdit::textChanged, "Memo8Change", &TForm1::Memo8Change);
    on(CheckBox3, &QCheckBox::toggled, "CheckBox3Click", &TForm1::CheckBox3Click);
    on(CheckBox4, &QCheckBox::toggled, "CheckBox4Click", &TForm1::CheckBox4Click);
    on(CheckBox1, &QCheckBox::toggled, "CheckBox1Click", &TForm1::CheckBox1Click);
    on(Edit5, &QLineEdit::textChanged, "Edit5Change", &TForm1::Edit5Change);
    on(Edit7, &QLineEdit::textChanged, "Edit7Change", &TForm1::Edit7Change);
    on(UpDown1, &TUpDown::Click, "UpDown1Click", &TForm1::UpDown1Click);
    on(UpDown2, &TUpDown::Click, "UpDown2Click", &TForm1::UpDown2Click);
    on(RadioGroup2, &TRadioGroup::Clicked, "RadioGroup2Click", &TForm1::RadioGroup2Click);
    on(Edit2, &QLineEdit::textChanged, "Edit2Change", &TForm1::Edit2Change);
    on(CheckListBox2, &QListWidget::itemChanged, "updateTypeFilterX", &TForm1::updateTypeFilterX);
    on(Button3, &QPushButton::clicked, "Button3Click", &TForm1::Button3Click);
    on(Button4, &QPushButton::clicked, "Button4Click", &TForm1::Button4Click);
    // Extensions are lower case as they are typed.
    connect(Edit11, &QLineEdit::textEdited, this, [this](const QString &text) {
        const QString lower = text.toLower();
        if (lower != text) {
            const int cursor = Edit11->cursorPosition();
            Edit11->setText(lower);
            Edit11->setCursorPosition(cursor);
        }
    });
    Edit3->installEventFilter(this);
    Edit6->installEventFilter(this);
}

void TForm1::copyCrawlerValuesToControls()
{
    Edit8->setText(QString::fromStdString(Sifton1.GetProxyAddress()));
    Edit4->setText(QString::fromStdString(Sifton1.GetProxyUser()));
    Edit9->setText(QString::number(Sifton1.GetProxyPort()));
    MaskEdit1->setText(QString::fromStdString(Sifton1.GetProxyPassword()));
    Memo9->setPlainText(storedLines(QString::fromStdString(Sifton1.GetKeywordsFilter())).join(QLatin1Char('\n')));
    Edit5->setText(QString::number(Sifton1.GetRetries()));
    Edit7->setText(QString::number(Sifton1.GetTimeOut()));
}

// ---- creation, settings, close request ------------------------------------------------------

void TForm1::FormCreate()
{
    BuildTables();
    LoadSettings();
    if (WantsBrowserImport(m_arguments)) {
        SpeedButton5Click();
        SpeedButton1Click();
    }
    StartDispatcher();
}

void TForm1::BuildTables()
{
    EngineSites.clear();
    EngineQueries.clear();
    for (const EngineRow &engine : kEngines) {
        EngineSites.push_back({engine.name, engine.site});
        EngineQueries.push_back({engine.name, engine.query});
    }
    SkipList.clear();
    SkipList.insert(SkipList.end(), std::begin(kSkipWords), std::end(kSkipWords));
    SkipList.insert(SkipList.end(), std::begin(kSkipDomains), std::end(kSkipDomains));
    SkipList.insert(SkipList.end(), std::begin(kSkipNames), std::end(kSkipNames));
    ResultPageMarkers.assign(std::begin(kResultPageMarkers), std::end(kResultPageMarkers));
}

void TForm1::reportSettingsProblem(const QString &what, const platform::RegistryError &error)
{
    // Shown the way an error escaping a handler is (the application's error box), so that
    // a problem met while the window is being made is seen too.
    platform::CurrentReporter()(platform::CurrentTitle(QString::fromLatin1(kProductName)),
                                what + QStringLiteral(": ") + error.message());
}

bool TForm1::readString(const QString &name, QString &value) const
{
    if (!m_keyOpen)
        return false;
    try {
        if (!m_registry.ValueExists(name))
            return false;
        value = m_registry.ReadString(name);
        return true;
    } catch (const platform::RegistryError &) {
        return false;
    }
}

bool TForm1::readInteger(const QString &name, int32_t &value) const
{
    if (!m_keyOpen)
        return false;
    try {
        if (!m_registry.ValueExists(name))
            return false;
        value = m_registry.ReadInteger(name);
        return true;
    } catch (const platform::RegistryError &) {
        return false;
    }
}

void TForm1::LoadControl(QLineEdit *edit)
{
    QString text;
    if (readString(edit->objectName(), text))
        edit->setText(text);
}

void TForm1::LoadControl(QPlainTextEdit *memo)
{
    QString text;
    if (readString(memo->objectName(), text))
        memo->setPlainText(storedLines(text).join(QLatin1Char('\n')));
}

void TForm1::LoadControl(QCheckBox *checkBox)
{
    int32_t value = 0;
    if (readInteger(checkBox->objectName(), value))
        checkBox->setChecked(value != 0);
}

void TForm1::LoadControl(TUpDown *upDown, QLineEdit *edit)
{
    int32_t value = 0;
    if (!readInteger(upDown->objectName(), value))
        return;
    upDown->SetPosition(value);
    edit->setText(QString::number(upDown->Position()));
}

void TForm1::LoadControl(TRadioGroup *radioGroup)
{
    int32_t value = 0;
    if (readInteger(radioGroup->objectName(), value))
        radioGroup->SetItemIndex(value);
}

void TForm1::LoadControl(TCheckListBox *checkList)
{
    if (!m_keyOpen)
        return;
    QStringList names;
    try {
        names = m_registry.GetValueNames();
    } catch (const platform::RegistryError &) {
        return;
    }
    const QString list = checkList->objectName();
    for (const QString &name : names) {
        if (!name.startsWith(list))
            continue;
        // The item text is what follows the one separator character.
        const QString itemText = name.mid(list.size() + 1);
        int32_t value = 0;
        if (itemText.isEmpty() || !readInteger(name, value))
            continue;
        int index = checkList->IndexOf(itemText);
        if (index < 0)
            index = checkList->Add(itemText);
        checkList->SetChecked(index, value != 0);
    }
}

void TForm1::SaveControl(const QString &name, const QString &text)
{
    m_registry.WriteString(name, text);
}

void TForm1::SaveControl(const QString &name, bool value)
{
    m_registry.WriteBool(name, value);
}

void TForm1::SaveControl(const QString &name, int value)
{
    m_registry.WriteInteger(name, value);
}

void TForm1::SaveControl(TCheckListBox *checkList)
{
    for (int i = 0; i < checkList->Count(); ++i)
        SaveControl(checkList->objectName() + QLatin1Char('_') + checkList->Item(i),
                    checkList->State(i) != Qt::Unchecked);
}

QString TForm1::MemoText(const QPlainTextEdit *memo)
{
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QString() : text.split(QLatin1Char('\n')).join(kCrLf);
}

void TForm1::LoadSettings()
{
    m_registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    try {
        m_keyOpen = m_registry.OpenKey(kSettingsKey, true);
    } catch (const platform::RegistryError &error) {
        // A damaged store is reported and left alone; the window starts on its defaults.
        m_keyOpen = false;
        reportSettingsProblem(QStringLiteral("The settings could not be read"), error);
    }

    QString version;
    if (readString(QStringLiteral("Version"), version) && !version.isEmpty())
        setWindowTitle(QString::fromLatin1(kProductName) + QLatin1Char(' ') + version);
    else
        setWindowTitle(QString::fromLatin1(kProductName));

    DocumentsFolder = platform::DocumentsFolder();
    if (DocumentsFolder.isEmpty())
        DocumentsFolder = QStringLiteral(".");

    QString history;
    if (readString(QStringLiteral("History"), history)) {
        ComboBox1->clear();
        ComboBox1->addItems(storedLines(history));
        ComboBox1->setEditText(QString());
    }

    LoadControl(CheckListBox1);
    LoadControl(CheckListBox2);
    LoadControl(Memo9);
    LoadControl(Memo8);
    LoadControl(Edit2);

    const QString logFolder = DocumentsFolder + QStringLiteral("/@Trawlix Logs");
    if (Edit2->text().isEmpty()) {
        Edit2->setText(logFolder + QStringLiteral("/result.txt"));
        Sifton1.SetFileOfResults(bytes(Edit2->text()));
    }
    // Every start, whatever the results file is: one level, failure not reported.
    if (!QFileInfo(logFolder).isDir())
        (void)QDir().mkdir(logFolder);

    LoadControl(Edit10);
    if (Edit10->text().isEmpty())
        Edit10->setText(DocumentsFolder + QStringLiteral("/@Trawlix Downloads/"));
    if (!QFileInfo(Edit10->text()).isDir())
        (void)QDir().mkdir(Edit10->text());
    if (!Edit10->text().endsWith(QLatin1Char('/')))
        Edit10->setText(Edit10->text() + QLatin1Char('/'));

    LoadControl(EditMinImgH);
    LoadControl(EditMinImgW);
    LoadControl(EditMinImageFileS);
    LoadControl(EditMinMovieFileS);

    LoadControl(Edit5);
    Edit5Change();
    LoadControl(Edit7);
    Edit7Change();
    LoadControl(CheckBox3);
    CheckBox3Click();
    LoadControl(CheckBox4);
    CheckBox4Click();
    LoadControl(CheckBox1);

    LoadControl(UpDown1, Edit3);
    LoadControl(UpDown2, Edit6);
    UpDown1Click();
    UpDown2Click();

    LoadControl(RadioGroup2);
    RadioGroup2Click();

    LoadControl(Edit8);
    LoadControl(Edit4);
    LoadControl(Edit9);
    LoadControl(MaskEdit1);
    LoadControl(RadioGroup1);
    RadioGroup1Click();

    m_registry.CloseKey();
    m_keyOpen = false;
}

void TForm1::SaveSettings()
{
    m_registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    try {
        if (!m_registry.OpenKey(kSettingsKey, true))
            throw platform::RegistryError(QStringLiteral("the key %1 cannot be created in %2")
                                              .arg(kSettingsKey, platform::RegistryDirectory()));
        SaveControl(CheckListBox1);
        SaveControl(CheckListBox2);
        SaveControl(QStringLiteral("Memo9"), MemoText(Memo9));
        SaveControl(QStringLiteral("Memo8"), MemoText(Memo8));
        SaveControl(QStringLiteral("CheckBox3"), CheckBox3->isChecked());
        SaveControl(QStringLiteral("CheckBox4"), CheckBox4->isChecked());
        SaveControl(QStringLiteral("CheckBox1"), CheckBox1->isChecked());
        for (QLineEdit *edit : {Edit2, Edit10, EditMinImgH, EditMinImgW, EditMinImageFileS, EditMinMovieFileS, Edit5, Edit7})
            SaveControl(edit->objectName(), edit->text());
        SaveControl(QStringLiteral("UpDown1"), UpDown1->Position());
        SaveControl(QStringLiteral("UpDown2"), UpDown2->Position());
        SaveControl(QStringLiteral("RadioGroup2"), RadioGroup2->ItemIndex());
        for (QLineEdit *edit : {Edit8, Edit4, Edit9, MaskEdit1})
            SaveControl(edit->objectName(), edit->text());
        SaveControl(QStringLiteral("RadioGroup1"), RadioGroup1->ItemIndex());
        QStringList history;
        for (int i = 0; i < ComboBox1->count(); ++i)
            history << ComboBox1->itemText(i);
        SaveControl(QStringLiteral("History"), history.join(kCrLf));
    } catch (const platform::RegistryError &error) {
        // Reported, never hidden; the close request goes on, so a full disk or a damaged store
        // cannot keep the program from ending.
        reportSettingsProblem(QStringLiteral("The settings could not be saved"), error);
    }
    m_registry.CloseKey();
}

void TForm1::FormCloseQuery(bool &canClose)
{
    SaveSettings();
    canClose = true;
    if (!Sifton1.Working()) {
        // The download dispatcher, once built, is suspended and terminated here.
        return;
    }
    if (Sifton1.Stopping())
        return;
    canClose = false;
    if (ConfirmYesCancel(this, kQuitQuestion)) {
        setBusyCursor(true);
        StopAll(true);
    }
}

void TForm1::closeEvent(QCloseEvent *event)
{
    bool canClose = true;
    guarded("FormCloseQuery", [this, &canClose] { FormCloseQuery(canClose); });
    if (canClose)
        event->accept();
    else
        event->ignore();
}

void TForm1::Start1Click()
{
    close();
}

void TForm1::ShutDown1Click()
{
    close();
}

void TForm1::setBusyCursor(bool busy)
{
    if (busy == m_busyCursor || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    m_busyCursor = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// ---- settings handlers ----------------------------------------------------------------------

void TForm1::Edit8Change()
{
    Sifton1.SetProxyAddress(bytes(Edit8->text()));
}

void TForm1::Edit4Change()
{
    Sifton1.SetProxyUser(bytes(Edit4->text()));
}

void TForm1::Edit9Change()
{
    Sifton1.SetProxyPort(decimalOr(Edit9->text(), 80));
}

void TForm1::MaskEdit1Change()
{
    Sifton1.SetProxyPassword(bytes(MaskEdit1->text()));
}

void TForm1::RadioGroup1Click()
{
    const int index = RadioGroup1->ItemIndex();
    if (index >= 0 && index <= 2)
        Sifton1.SetProxyType(static_cast<TProxyType>(index));
    GroupBox4->setVisible(index == 1);
}

void TForm1::Memo9Change()
{
    Sifton1.SetKeywordsFilter(bytes(Memo9->toPlainText()));
}

void TForm1::Memo8Change()
{
    Sifton1.SetKeywordsLimiter(bytes(Memo8->toPlainText()));
}

void TForm1::CheckBox3Click()
{
    Sifton1.KeywordsFilterEnabled = CheckBox3->isChecked();
}

void TForm1::CheckBox4Click()
{
    Sifton1.KeywordsLimiterEnabled = CheckBox4->isChecked();
}

void TForm1::CheckBox1Click()
{
    // "Follow Redirects" is stored and restored only.
}

void TForm1::Edit5Change()
{
    Sifton1.SetRetries(decimalOr(Edit5->text(), 3));
}

void TForm1::Edit7Change()
{
    Sifton1.SetTimeOut(decimalOr(Edit7->text(), 300));
}

void TForm1::UpDown1Click()
{
    Sifton1.SetDepthSearchLevel(decimalOr(Edit3->text(), 3));
}

void TForm1::UpDown2Click()
{
    Sifton1.SetConcurrentDownloads(decimalOr(Edit6->text(), 2));
}

void TForm1::RadioGroup2Click()
{
    static constexpr TLinkScan scopes[] = {scanAllLinks, scanInitialSite, scanInitialPath};
    const int index = RadioGroup2->ItemIndex();
    if (index >= 0 && index <= 2)
        Sifton1.LinkScan = scopes[index];
}

void TForm1::Edit2Change()
{
    Sifton1.SetFileOfResults(bytes(Edit2->text()));
}

void TForm1::updateTypeFilterX()
{
    // The file-type list is read when a link is judged.
}

void TForm1::Edit3KeyPress(int &key)
{
    key = 0;
}

void TForm1::Edit6KeyPress(int &key)
{
    key = 0;
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == Edit3 || watched == Edit6) && event->type() == QEvent::KeyPress) {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        TUpDown *upDown = watched == Edit3 ? UpDown1 : UpDown2;
        switch (keyEvent->key()) {
        case Qt::Key_Up:
            upDown->Step(+1);
            return true;
        case Qt::Key_Down:
            upDown->Step(-1);
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return false;
        default:
            break;
        }
        int key = keyEvent->key();
        if (watched == Edit3)
            Edit3KeyPress(key);
        else
            Edit6KeyPress(key);
        return key == 0;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::Button3Click()
{
    const QString path = ChooseFile(this, QStringLiteral("Textfiles (*.txt)"), QStringLiteral("*.txt"));
    if (path.isEmpty())
        return;
    Edit2->setText(path);
    Sifton1.SetFileOfResults(bytes(path));
}

void TForm1::Button4Click()
{
    QString folder = ChooseFolder(this, kDownloadFolderTitle);
    if (folder.isEmpty())
        return;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    Edit10->setText(folder);
}

QString TForm1::FilterMask() const
{
    return FilterComboBox1->currentData().toString();
}

// ---- entry points of the pieces built on this frame -----------------------------------------

void TForm1::SpeedButton1Click()
{
    // The search / stop toggle is built with the engine queries.
}

void TForm1::SpeedButton5Click()
{
    // The browser import is built with the browser integration.
}

void TForm1::StartDispatcher()
{
    // The download dispatcher is built with the download workers.
}

void TForm1::StopAll(bool quitting)
{
    setBusyCursor(true);
    (void)Sifton1.Stop();
    if (quitting) {
        setBusyCursor(false);
        Sifton1.Exit();
    }
    setBusyCursor(false);
}

} // namespace trawlix
