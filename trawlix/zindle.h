#pragma once
// Trawlix's main window: the search row, the browser row, the engine panel, the four download
// slots, the tabs "WEB / URL Scan", "Filtering", "Settings" and "Connection / Proxy", the
// running-time clock, the preview strip and the status bar; the settings under
// HKEY_LOCAL_MACHINE "Software\Keldane\@Trawlix"; and the crawler Sifton1, into which every
// setting is pushed as soon as its control changes.
//
// Controls keep their designer names as members and as objectName; those names are also
// the registry value names. Modal boxes and dialogs go through replaceable functions (the
// seams below) so that tests can answer them.
//
// The search, the link triage, the downloads, the browser import, the contact form, the
// about box, the tray icon and the help window are built on this frame by their own
// pieces; until then their commands are present but disabled, and their entry points
// (the methods under "Entry points") change nothing.
#include "sifton/sifton.h"
#include "trawlix/controls.h"
#include "platform/registry.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace trawlix {

inline constexpr const char *kProductName = "@Trawlix";
inline const QString kSettingsKey = QStringLiteral("Software\\Keldane\\@Trawlix");
inline const QString kQuitQuestion = QStringLiteral("Do you really want to quit ?");
inline const QString kDownloadFolderTitle =
    QStringLiteral("Select the Zindle download folder (All files will be saved to this directory)");

// The file-type filter's items: what the combo shows and the mask it stands for (the last
// item has none: the ticked items of CheckListBox2 are used).
struct FileFilter {
    const char *description;
    const char *mask;
};
inline constexpr FileFilter kFileFilters[] = {
    {"Pictures & Movies", "*.jpeg;*.jpg;*.avi;*.mpeg;*.mpg;*.mov;*.asf"},
    {"Pictures", "*.bmp;*.jpeg;*.jpg;*.gif"},
    {"Movies", "*.avi;*.mpeg;*.mpg;*.mov;*.asf"},
    {"Icons", "*.ico"},
    {"PDF", "*.pdf"},
    {"ZIP", "*.zip"},
    {"MP3", "*.mp3"},
    {"Custom Files (see Filtering)", ""},
};

// The engines as CheckListBox1 lists them; the first six are checked on a first start.
inline constexpr const char *kEngineListOrder[] = {
    "Google Images", "Google Websearch", "FAST Pictures",      "FAST Movies",
    "DMOZ",          "Yahoo!",           "Lycos Images",       "Lycos Movie",
    "AltaVista Pictures", "AltaVista Movies", "AltaVista Websearch", "diTTo Pictures",
};
inline constexpr const char *kFileTypeItems[] = {"jpg", "gif", "avi", "mpg", "mov", "asf", "ra", "ram"};

// One row of the engine tables: the engine's name (as CheckListBox1 shows it) and its site
// address or its query path template ("{KEYS}" for the search words).
struct EngineEntry {
    std::string name;
    std::string text;
};

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // `arguments` are the command line without the program name.
    explicit TForm1(const QStringList &arguments = {}, QWidget *parent = nullptr);
    ~TForm1() override;

    // Seams. Defaults: QMessageBox, QFileDialog.
    std::function<bool(QWidget *parent, const QString &question)> ConfirmYesCancel;
    std::function<void(QWidget *parent, const QString &text)> ShowMessageBox;
    std::function<QString(QWidget *parent, const QString &filter, const QString &initialName)> ChooseFile;
    std::function<QString(QWidget *parent, const QString &title)> ChooseFolder;

    // The crawler, for the window's whole life.
    TSifton Sifton1;

    // Creation, settings and the close request.
    void FormCreate();
    // Sets `canClose`; runs at every close request (a close event, Start1Click,
    // ShutDown1Click).
    void FormCloseQuery(bool &canClose);
    void LoadSettings();
    void SaveSettings();
    void BuildTables();

    // The LoadControl family: each sets its control from the value of the control's name and
    // does nothing when there is no such value (or it has the wrong type).
    void LoadControl(QLineEdit *edit);
    void LoadControl(QPlainTextEdit *memo);
    void LoadControl(QCheckBox *checkBox);
    void LoadControl(TUpDown *upDown, QLineEdit *edit);
    void LoadControl(TRadioGroup *radioGroup);
    void LoadControl(TCheckListBox *checkList);
    // The SaveControl family: one writer per kind of value.
    void SaveControl(const QString &name, const QString &text);
    void SaveControl(const QString &name, bool value);
    void SaveControl(const QString &name, int value);
    void SaveControl(TCheckListBox *checkList);

    // Settings handlers: each pushes its control's value into Sifton1.
    void Edit8Change();
    void Edit4Change();
    void Edit9Change();
    void MaskEdit1Change();
    void RadioGroup1Click();
    void Memo9Change();
    void Memo8Change();
    void CheckBox3Click();
    void CheckBox4Click();
    void CheckBox1Click();
    void Edit5Change();
    void Edit7Change();
    void UpDown1Click();
    void UpDown2Click();
    void RadioGroup2Click();
    void Edit2Change();
    void updateTypeFilterX();
    // Set `key` to 0 to swallow it; both swallow every key.
    void Edit3KeyPress(int &key);
    void Edit6KeyPress(int &key);
    void Button3Click();
    void Button4Click();
    void Start1Click();
    void ShutDown1Click();

    // Entry points of the pieces built on this frame; each changes nothing until its piece
    // is built.
    void SpeedButton1Click(); // the search / stop toggle
    void SpeedButton5Click(); // import the running browser's address
    void StartDispatcher();
    // Stops everything: the crawl (and the downloads, once built). The quitting form also
    // asks the crawler to end the program once it has wound down.
    void StopAll(bool quitting);

    // The text of a memo as the settings store keeps it: its lines joined with CR LF.
    [[nodiscard]] static QString MemoText(const QPlainTextEdit *memo);
    // The selected filter's mask (empty for the custom filter).
    [[nodiscard]] QString FilterMask() const;

    // Members besides the controls.
    std::vector<std::string> SkipList;
    std::vector<std::string> ResultPageMarkers;
    std::vector<EngineEntry> EngineSites;
    std::vector<EngineEntry> EngineQueries;
    QStringList DownloadedFiles;
    std::array<int32_t, 4> SlotBytes{-1, -1, -1, -1};
    std::array<uint32_t, 4> SlotStart{0, 0, 0, 0};
    std::array<bool, 4> SlotBusy{false, false, false, false};
    int FilesExisting = 0;
    int FilesSaved = 0;
    // The documents folder the default folders are made under (set by LoadSettings).
    QString DocumentsFolder;

    // Controls.
    QMenu *File1, *Help1, *Contactus1;
    QAction *OpenImageViewer1, *ClearHistorylocal1, *HideZindle1, *Start1;
    QAction *HelpFile1, *About1;
    QAction *Question1, *Suggestion1, *BugReport1, *QuorvexHomepage1;
    QMenu *PopupMenu1, *PopupMenu2;
    QAction *ShowZindle1, *ShutDown1;
    QAction *ShowPageinBrowser1, *FilterDomain1, *Start2;

    QComboBox *ComboBox1, *FilterComboBox1;
    QToolButton *SpeedButton1;
    QFrame *Panel2;
    QLabel *Image1;
    QToolButton *SpeedButton5, *SpeedButton4, *SpeedButton3;
    TRadioGroup *RadioGroup2;
    QLabel *Label1;
    TCheckListBox *CheckListBox1;
    std::array<QFrame *, 4> SlotPanels;                 // Panel1, Panel3, Panel4, Panel5
    std::array<QLabel *, 4> SlotNames;                  // LabelG1 ... LabelG4
    std::array<QProgressBar *, 4> SlotBars;             // ProgressBar1 ... ProgressBar4
    std::array<QLabel *, 4> SlotLines1, SlotLines2;     // LabelG12 ..., LabelG13 ...
    QTabWidget *PageControl1;
    QListWidget *ListBox1;
    TCheckListBox *CheckListBox2;
    QLineEdit *Edit11;
    QPushButton *Button5;
    QPlainTextEdit *Memo9, *Memo8;
    QCheckBox *CheckBox3, *CheckBox4;
    QLineEdit *Edit2, *Edit10;
    QPushButton *Button3, *Button4;
    QLineEdit *Edit5, *Edit7, *Edit3, *Edit6;
    TUpDown *UpDown1, *UpDown2;
    QCheckBox *CheckBox1;
    QLineEdit *EditMinImgH, *EditMinImgW, *EditMinImageFileS, *EditMinMovieFileS;
    TRadioGroup *RadioGroup1;
    QGroupBox *GroupBox4;
    QLineEdit *Edit8, *Edit9, *Edit4, *MaskEdit1;
    QLabel *Label26, *Label27, *Label28;
    QScrollArea *ScrollBox1;
    QStatusBar *StatusBar1;
    std::array<QLabel *, 7> StatusPanels;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void buildClientArea();
    QWidget *buildSearchRow();
    QWidget *buildBrowserRow();
    QWidget *buildEnginePanel();
    QWidget *buildSlots();
    QWidget *buildTabs();
    QWidget *buildFilteringTab();
    QWidget *buildSettingsTab();
    QWidget *buildProxyTab();
    QWidget *buildClock();
    void buildStatusBar();
    void connectHandlers();
    void copyCrawlerValuesToControls();
    void guarded(const char *handler, const std::function<void()> &body);
    // Reads `name` from the open key into `value`. False when there is no such value, or it
    // has the other type (hand edited, or written by another program), or the store cannot be
    // read: the control then keeps its default.
    [[nodiscard]] bool readString(const QString &name, QString &value) const;
    [[nodiscard]] bool readInteger(const QString &name, int32_t &value) const;
    void reportSettingsProblem(const QString &what, const platform::RegistryError &error);
    void setBusyCursor(bool busy);

    QStringList m_arguments;
    platform::TRegistry m_registry;
    bool m_keyOpen = false;
    bool m_busyCursor = false;
};

} // namespace trawlix
