#pragma once
// Glimmo's main window: a viewing area on the left, the file-manager pane (filter list,
// folder tree, file list, thumbnail area) on the right, the menus, tool bar and status bar,
// the settings under HKEY_LOCAL_MACHINE "Software\Keldane\@Glimmo", and the picture loader
// ShowFile with its window fit, shrink, zoom and status texts; stepping through the list
// ("Next", "Last", the arrow keys, the slide show) and the thumbnail grid that can take the
// list's place (decoded by TThumbLoader off this thread).
//
// Controls keep their designer names as members and as objectName. Modal dialogs, the
// screen, the mouse pointer and program starts go through replaceable functions (the seams
// below) so that tests can answer them.

#include "glimmo/colortext.h"
#include "glimmo/imagecontrol.h"
#include "glimmo/shellview.h"
#include "glimmo/thumbloader.h"
#include "glimmo/viewfrmoptions.h"
#include "platform/registry.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <functional>

namespace glimmo {

inline const QString kSettingsKey = QStringLiteral("Software\\Keldane\\@Glimmo");
inline const QString kHomepage = QStringLiteral("https://www.keldane.com/glimmo/");

// The file-type filter's items: description and mask.
struct FilterItem {
    const char *description;
    const char *mask;
};
inline constexpr FilterItem kFilterItems[] = {
    {"Images & Movies", "*.bmp;*.ico;*.jpeg;*.jpg;*.avi;*.mpeg;*.mpg;*.gif;*.mov;*.asf;*.wmf;*.emf"},
    {"Images", "*.bmp;*.ico;*.jpeg;*.jpg;*.gif;*.wmf;*.emf"},
    {"Movies", "*.avi;*.mpeg;*.mpg;*.mov;*.asf"},
    {"All files (*.*)", "*.*"},
};

// What the window needs to know of the screens.
struct ScreenMetrics {
    QSize primary;     // the primary screen's full size
    int desktopWidth;  // the width of all monitors together
};

// A picture name: the lower-cased name contains "jpeg", "jpg", "gif", "bmp", "wmf", "emf" or
// "ico" anywhere (so "readme_gif.txt" is one).
[[nodiscard]] bool IsPictureName(const QString &name);

// The text of the loading-time panel for `elapsedMs`: "Loaded in 0.05 s" (pattern "##0.00#",
// with the locale's decimal separator).
[[nodiscard]] QString LoadedInText(uint32_t elapsedMs, const QLocale &locale = QLocale());

// The folder an argument names: the text before its last "/", where the root keeps its "/"
// ("/pics/" -> "/pics", "/pics" -> "/", "/pics/a.jpg" -> "/pics").
[[nodiscard]] QString ArgumentFolder(const QString &argument);

// `path` with each component spelled as the file system has it: a component that matches
// an existing entry only when case is ignored takes that entry's spelling; a component
// that matches nothing stays as given. The root stays; a trailing "/" is dropped.
[[nodiscard]] QString LongPathName(const QString &path);

class TViewFrm : public QMainWindow {
    Q_OBJECT
public:
    // `arguments` are the command line without the program name: at most the one folder or
    // file argument, which Trawlix passes with a leading double quote.
    explicit TViewFrm(const QStringList &arguments = {}, QWidget *parent = nullptr);
    ~TViewFrm() override;

    // Seams. Defaults: QFileDialog, the real screens, QCursor::setPos, platform::StartSibling.
    std::function<QString(QWidget *parent, const QString &filter, const QString &initialName)> ChooseFileToOpen;
    std::function<QString(QWidget *parent, const QString &title, const QString &startFolder)> ChooseFolder;
    std::function<ScreenMetrics()> Screens;
    std::function<void(const QPoint &)> MoveMousePointer;
    std::function<bool(const QString &program, const QStringList &args)> StartSiblingProgram;
    // The random slide show's draws: a non-negative integer. Default: a generator seeded once
    // per run, so shows differ from run to run.
    std::function<unsigned()> NextRandom;

    // List operations (rows of PTShellList1 from 0).
    [[nodiscard]] QString EntryFileName(int row) const;
    [[nodiscard]] int FindEntry(const QString &name) const;
    void SelectEntry(int index);
    void SelectEntryByName(const QString &name);

    // Picture display.
    void ShowFile(const QString &name);
    void isImage(bool enabled);
    [[nodiscard]] bool ImageCommandsEnabled() const { return m_imageCommands; }
    [[nodiscard]] bool PaneHidden() const { return Panel1->width() == 0; }
    // The viewing area's usable size, W' x H'.
    [[nodiscard]] QSize ViewingArea() const;
    [[nodiscard]] QString PanelText(int panel) const { return m_panels.at(panel)->text(); }
    [[nodiscard]] QString SimpleText() const { return m_simpleText; }
    [[nodiscard]] TColor BackgroundColor() const { return m_backgroundColor; }
    void SetBackgroundColor(TColor color);

    bool LastStepWasNext = false;
    bool ResizeReloadEnabled = true;
    int SlideShowMode = 0;
    TImageViewerOptions *ImageViewerOptions = nullptr;

    // Handlers, named control + event.
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormResize();
    void Open1Click();
    void Browse1Click();
    void StartTrawlix1Click();
    void Exit1Click();
    void TrawlixHomepage1Click();
    void AlwaysOnTop1Click();
    void ZoomToFitWindow1Click();
    void Toolbar2Click();
    void Statusbar2Click();
    void More1Click();
    void Less1Click();
    void SpeedButton5Click(); // Zoom In
    void SpeedButton4Click(); // Zoom Out
    void AutoShrinkToFit1Click();
    void AutoEnlargeToFit1Click();
    void Visible1Click();
    void SpeedButton15Click(); // Folder Up
    void SpeedButton21Click(); // View
    void Details1Click();
    void Thumbnails1Click();
    void Symbols1Click();
    void SmalSymbols1Click();
    void FilterComboBox1Change();
    void PTShellList1FillComplete();
    // Navigation and slide show.
    void SpeedButton1Click(); // Next
    void SpeedButton2Click(); // Last
    void SpeedButton8Click(); // Slideshow
    void Timer1Timer();
    void PTShellList1Click();
    // Runs before the list's own handling of the key.
    void PTShellList1KeyDown(int key);
    void PTShellList1DblClickOpen(bool &handled);
    // The show runs exactly while this is true. Timer1 itself is active only while the show
    // runs with an interval above 0: a timer of interval 0 never fires.
    [[nodiscard]] bool SlideShowRunning() const { return m_slideShowRunning; }
    // Sets Timer1's interval; the next tick comes after the new interval.
    void SetSlideShowInterval(int ms);
    // The "Slideshow" button's look: flat while the show is stopped, raised while it runs.
    [[nodiscard]] bool SlideShowButtonFlat() const;

    // Thumbnail view.
    void FetchThums();
    void ScrollBar1Change();
    void Image1Click(QObject *sender);
    [[nodiscard]] int ThumbColumns() const;
    [[nodiscard]] int ThumbRows() const;
    int LastThumbScrollPos = -1;
    TThumbLoader *ThumbLoader = nullptr;

    // Movie playback's entry point (the player is not built yet: it changes nothing).
    void PlayMovie(const QString &path);

    // Controls.
    QMenu *MainMenu1File, *MainMenu1Edit, *MainMenu1View, *MainMenu1Zoom, *MainMenu1FileManager, *MainMenu1Help;
    QAction *Open1, *SaveAs1, *Close1, *PrintSetup1, *Print1, *Sendto1, *Properties1, *Browse1,
        *StartTrawlix1, *Exit1;
    QAction *Copyto1, *MoveTo1, *CutFile1, *CopyImage1, *CopyFiles1, *Delete1, *Rename1;
    QAction *AlwaysOnTop1, *ZoomToFitWindow1, *Toolbar2, *Statusbar2;
    QAction *More1, *Less1, *AutoShrinkToFit1, *AutoEnlargeToFit1;
    QAction *Options1, *Visible1, *TrawlixHomepage1;
    QToolBar *ToolBar1;
    QAction *SpeedButton2, *SpeedButton1, *SpeedButton8, *SpeedButton5, *SpeedButton4, *SpeedButton6,
        *SpeedButton15, *SpeedButton16, *SpeedButton17, *SpeedButton18, *SpeedButton19, *SpeedButton20,
        *SpeedButton21;
    QAction *ToolButton5, *ToolButton1, *ToolButton7, *ToolButton11;
    QWidget *ToolButton5Spacer;
    QMenu *PopupMenu1, *PopupMenu2;
    QAction *Details1, *Thumbnails1, *Symbols1, *SmalSymbols1;
    QAction *PopupPrint1, *PopupSendto2, *PopupWallpaper1, *PopupCut1, *PopupCopy1, *PopupCopyImage1,
        *PopupCopyto1, *PopupMoveTo1, *PopupDelete1, *PopupRename1, *PopupProperties1;
    QMenu *Wallpaper1;
    QScrollArea *ScrollBox1;
    QWidget *ScrollBox1Surface;
    TImage *Image1;
    QWidget *Panel5;
    QWidget *Splitter2;
    QWidget *Panel1, *Panel2;
    QComboBox *FilterComboBox1;
    TShellTree *PTShellTree1;
    QWidget *Splitter1;
    TShellList *PTShellList1;
    QWidget *Panel3, *Panel4;
    QScrollBar *ScrollBar1;
    QStatusBar *StatusBar1;
    QTimer *Timer1, *TimerMedia;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildClientArea();
    void buildStatusBar();
    void readCreationSettings();
    void writeSettings();
    void showArgument(const QString &argument);
    void openNoArgumentFolder();
    void applyViewStyle();
    void checkViewStyle(QAction *style);
    void applyListStyle(TShellList::ViewStyle style, QAction *item);
    void fitWindow(int w, int h);
    void shrinkToArea(int &w, int &h);
    void reshowSelected();
    void updateSurfaceSize();
    [[nodiscard]] QString currentMask() const;
    [[nodiscard]] QString defaultDownloadFolder() const;
    void guarded(const char *handler, const std::function<void()> &body);
    void step(bool forward);
    void setSlideShow(bool running);
    void startThumbJob(thumbLoader *job, const QString &path, int item, int column, int row);
    void deliverThumbnail(const ThumbDelivery &delivery);

    QStringList m_arguments;
    int m_argc = 0;
    bool m_reshowing = false;
    platform::TRegistry m_registry;
    bool m_keyOpen = false;
    bool m_imageCommands = true;
    TColor m_backgroundColor = clBlack;
    QList<QLabel *> m_panels;
    QString m_simpleText;
    bool m_slideShowRunning = false;
    int m_thumbJobsThisBuild = 0;
};

} // namespace glimmo
