#include "glimmo/metafile.h"
#include "glimmo/viewfrm.h"
#include "platform/gui/app.h"
#include "platform/gui/desktop.h"
#include "platform/gui/jpeg.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "tests/support/testenv.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QtEndian>
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace {

using glimmo::TViewFrm;

const QString kImages = QStringLiteral(TRAWLIX_CORPUS_DIR "/images/");

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

QString makeFolder(const QString &relative)
{
    const QString path = testenv::root() + QLatin1Char('/') + relative;
    EXPECT_TRUE(QDir().mkpath(path));
    return path;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray encoded(int w, int h, const char *format)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(200, 30, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes;
}

void writePicture(const QString &path, int w, int h)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const char *format = suffix == "bmp" ? "BMP" : suffix == "ico" ? "ICO" : suffix == "gif" ? "GIF" : "JPEG";
    writeBytes(path, encoded(w, h, format));
}

// A placeable WMF of `w` x `h` pixels at 96 units per inch, drawing one rectangle.
QByteArray wmfBytes(int w, int h)
{
    QByteArray d;
    const auto put16 = [&d](quint16 v) { d.append(char(v & 0xFF)).append(char(v >> 8)); };
    const auto put32 = [&](quint32 v) { put16(quint16(v & 0xFFFF)); put16(quint16(v >> 16)); };
    put32(0x9AC6CDD7u);
    put16(0);                              // handle
    put16(0); put16(0); put16(quint16(w)); put16(quint16(h)); // bounding box
    put16(96);                             // units per inch
    put32(0);
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= qFromLittleEndian<quint16>(d.constData() + 2 * i);
    put16(checksum);
    // Standard header: type, header words, version, file words, objects, largest record, 0.
    const quint32 words = 9 + 5 + 5 + 7 + 3;
    put16(1); put16(9); put16(0x0300); put32(words); put16(0); put32(7); put16(0);
    put32(5); put16(0x020B); put16(0); put16(0);                          // SETWINDOWORG 0,0
    put32(5); put16(0x020C); put16(quint16(h)); put16(quint16(w));         // SETWINDOWEXT
    put32(7); put16(0x041B); put16(quint16(h - 10)); put16(quint16(w - 10)); put16(10); put16(10); // RECTANGLE
    put32(3); put16(0x0000);                                               // EOF
    return d;
}

// An EMF whose frame is `w` x `h` pixels at 96 dpi, drawing one rectangle.
QByteArray emfBytes(int w, int h)
{
    QByteArray d;
    const auto put32 = [&d](qint32 v) {
        const quint32 u = quint32(v);
        for (int i = 0; i < 4; ++i)
            d.append(char((u >> (8 * i)) & 0xFF));
    };
    const int frameW = w * 2540 / 96, frameH = h * 2540 / 96;
    const int total = 88 + 24 + 20;
    put32(1); put32(88);                           // EMR_HEADER
    put32(0); put32(0); put32(w - 1); put32(h - 1); // bounds, device units
    put32(0); put32(0); put32(frameW); put32(frameH); // frame, 0.01 mm
    put32(0x464D4520); put32(0x10000); put32(total); put32(3);
    d.append(char(1)).append(char(0)).append(char(0)).append(char(0)); // handles, reserved
    put32(0); put32(0); put32(0);                  // description, palette
    put32(1024); put32(768); put32(320); put32(240); // device pixels and millimetres
    put32(43); put32(24); put32(10); put32(10); put32(w - 10); put32(h - 10); // EMR_RECTANGLE
    put32(14); put32(20); put32(0); put32(16); put32(20);                   // EMR_EOF
    return d;
}

class GlimmoWindow : public ::testing::Test {
protected:
    void TearDown() override
    {
        frm.reset();
        auto *app = static_cast<platform::TApplication *>(QCoreApplication::instance());
        app->SetReporter([](const QString &, const QString &message) {
            ADD_FAILURE() << "exception escaped an event handler: " << message.toStdString();
        });
    }

    void storeSettings(const std::function<void(platform::TRegistry &)> &write)
    {
        platform::TRegistry reg;
        reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey(glimmo::kSettingsKey, true));
        write(reg);
    }

    platform::TRegistry settings()
    {
        platform::TRegistry reg;
        reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
        EXPECT_TRUE(reg.OpenKey(glimmo::kSettingsKey, false));
        return reg;
    }

    TViewFrm &open(const QStringList &arguments = {})
    {
        frm = std::make_unique<TViewFrm>(arguments);
        frm->Screens = [this] { return screens; };
        frm->MoveMousePointer = [this](const QPoint &p) { pointer.push_back(p); };
        frm->show();
        settle();
        return *frm;
    }

    void captureErrors()
    {
        auto *app = static_cast<platform::TApplication *>(QCoreApplication::instance());
        app->SetReporter([this](const QString &, const QString &message) { errors << message; });
    }

    std::unique_ptr<TViewFrm> frm;
    glimmo::ScreenMetrics screens{QSize(1024, 768), 1024 * 3};
    std::vector<QPoint> pointer;
    QStringList errors;
};

const QStringList kWrittenOrder = {
    "Toolbar", "Statusbar", "AutoShrink", "AutoEnlarge", "AlwaysOnTop", "ZoomToFitWindow",
    "FileExplorer", "ViewStyle", "Filter", "SlideShowMode", "SlideShowDelay", "BackgroundColor",
    "Format JPEG", "Format GIF", "Format BMP", "Format WMF", "Format EMF", "Last FOLDER"};

// ---- window, settings and arguments -------------------------------------------------------

TEST_F(GlimmoWindow, FirstStartOnAnEmptyStoreUsesEveryDefaultAndWritesAllEighteenValues)
{
    TViewFrm &w = open();
    EXPECT_EQ(w.windowTitle(), "Glimmo");
    EXPECT_FALSE(w.ToolBar1->isHidden());
    EXPECT_FALSE(w.StatusBar1->isHidden());
    EXPECT_TRUE(w.Toolbar2->isChecked());
    EXPECT_TRUE(w.Statusbar2->isChecked());
    EXPECT_TRUE(w.Visible1->isChecked());
    EXPECT_EQ(w.Panel1->width(), 243);
    EXPECT_TRUE(w.AutoShrinkToFit1->isChecked());
    EXPECT_TRUE(w.ZoomToFitWindow1->isChecked());
    EXPECT_FALSE(w.AutoEnlargeToFit1->isChecked());
    EXPECT_FALSE(w.AlwaysOnTop1->isChecked());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w.SlideShowMode, 0);
    EXPECT_EQ(w.Timer1->interval(), 3000);
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_EQ(w.TimerMedia->interval(), 200);
    EXPECT_EQ(w.BackgroundColor(), glimmo::clBlack);
    EXPECT_TRUE(w.Details1->isChecked());
    EXPECT_EQ(w.FilterComboBox1->currentIndex(), 0);
    EXPECT_EQ(w.FilterComboBox1->currentText(), "Images & Movies");
    EXPECT_EQ(w.PTShellList1->Filter(), glimmo::kFilterItems[0].mask);
    const QString downloads = platform::DocumentsFolder() + "/@Trawlix Downloads";
    EXPECT_EQ(w.PTShellList1->Folder(), downloads);
    for (QCheckBox *box : {w.ImageViewerOptions->CheckBox7, w.ImageViewerOptions->CheckBox8, w.ImageViewerOptions->CheckBox9,
                           w.ImageViewerOptions->CheckBox11, w.ImageViewerOptions->CheckBox12})
        EXPECT_TRUE(box->isChecked()) << box->text().toStdString();

    w.close();
    platform::TRegistry reg = settings();
    EXPECT_EQ(reg.GetValueNames(), kWrittenOrder);
    for (const char *on : {"Toolbar", "Statusbar", "AutoShrink", "ZoomToFitWindow", "FileExplorer", "Format JPEG",
                           "Format GIF", "Format BMP", "Format WMF", "Format EMF"})
        EXPECT_EQ(reg.ReadInteger(on), 1) << on;
    EXPECT_EQ(reg.ReadInteger("AutoEnlarge"), 0);
    EXPECT_EQ(reg.ReadInteger("AlwaysOnTop"), 0);
    EXPECT_EQ(reg.ReadInteger("ViewStyle"), 0);
    EXPECT_EQ(reg.ReadInteger("Filter"), 0);
    EXPECT_EQ(reg.ReadInteger("SlideShowMode"), 0);
    EXPECT_EQ(reg.ReadInteger("SlideShowDelay"), 3);
    EXPECT_EQ(reg.ReadString("BackgroundColor"), "clBlack");
    EXPECT_EQ(reg.ReadString("Last FOLDER"), downloads);
}

TEST_F(GlimmoWindow, StoredSettingsAreAppliedAndWrittenBackUnchanged)
{
    const QString pics = makeFolder("pics");
    storeSettings([&](platform::TRegistry &reg) {
        reg.WriteBool("Toolbar", false);
        reg.WriteBool("Statusbar", false);
        reg.WriteBool("AutoShrink", false);
        reg.WriteInteger("AutoEnlarge", 7); // any non-zero value is true
        reg.WriteBool("AlwaysOnTop", true);
        reg.WriteBool("FileExplorer", false);
        reg.WriteBool("ZoomToFitWindow", false);
        reg.WriteInteger("SlideShowMode", 2);
        reg.WriteInteger("SlideShowDelay", 7);
        reg.WriteString("BackgroundColor", "$00FF8000");
        reg.WriteBool("Format GIF", false);
        reg.WriteBool("Format EMF", false);
        reg.WriteInteger("Filter", 1);
        reg.WriteString("Last FOLDER", pics);
        reg.WriteInteger("ViewStyle", 2);
    });
    TViewFrm &w = open();
    EXPECT_TRUE(w.ToolBar1->isHidden());
    EXPECT_FALSE(w.Toolbar2->isChecked());
    EXPECT_TRUE(w.StatusBar1->isHidden());
    EXPECT_FALSE(w.AutoShrinkToFit1->isChecked());
    EXPECT_TRUE(w.AutoEnlargeToFit1->isChecked());
    EXPECT_TRUE(w.AlwaysOnTop1->isChecked());
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(w.Visible1->isChecked());
    EXPECT_EQ(w.Panel1->width(), 0);
    EXPECT_FALSE(w.ZoomToFitWindow1->isChecked());
    EXPECT_EQ(w.SlideShowMode, 2);
    EXPECT_EQ(w.Timer1->interval(), 7000);
    EXPECT_EQ(w.BackgroundColor(), 0x00FF8000);
    EXPECT_EQ(w.ScrollBox1->viewport()->palette().color(QPalette::Window), QColor(0x00, 0x80, 0xFF));
    EXPECT_FALSE(w.ImageViewerOptions->CheckBox9->isChecked());
    EXPECT_FALSE(w.ImageViewerOptions->CheckBox12->isChecked());
    EXPECT_TRUE(w.ImageViewerOptions->CheckBox7->isChecked());
    EXPECT_EQ(w.FilterComboBox1->currentIndex(), 1);
    EXPECT_EQ(w.PTShellList1->Filter(), glimmo::kFilterItems[1].mask);
    EXPECT_EQ(w.PTShellList1->Folder(), pics);
    EXPECT_TRUE(w.Symbols1->isChecked());
    EXPECT_FALSE(w.Details1->isChecked());
    EXPECT_EQ(w.PTShellList1->Style(), glimmo::TShellList::ViewStyle::LargeIcons);

    w.close();
    platform::TRegistry reg = settings();
    EXPECT_EQ(reg.GetValueNames().size(), 18);
    EXPECT_EQ(reg.ReadInteger("AutoEnlarge"), 1);
    EXPECT_EQ(reg.ReadInteger("FileExplorer"), 0);
    EXPECT_EQ(reg.ReadInteger("SlideShowDelay"), 7);
    EXPECT_EQ(reg.ReadString("BackgroundColor"), "$00FF8000");
    EXPECT_EQ(reg.ReadInteger("ViewStyle"), 2);
    EXPECT_EQ(reg.ReadInteger("Filter"), 1);
    EXPECT_EQ(reg.ReadInteger("Format GIF"), 0);
    EXPECT_EQ(reg.ReadString("Last FOLDER"), pics);
}

TEST_F(GlimmoWindow, AValueOfTheWrongTypeIsReportedAndEndsTheReading)
{
    storeSettings([](platform::TRegistry &reg) {
        reg.WriteBool("Toolbar", false);
        reg.WriteString("AutoShrink", "yes");
        reg.WriteBool("AlwaysOnTop", true);
    });
    captureErrors();
    TViewFrm &w = open();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(w.ToolBar1->isHidden());         // read before the bad value
    EXPECT_TRUE(w.AutoShrinkToFit1->isChecked()); // the bad value changed nothing
    EXPECT_FALSE(w.AlwaysOnTop1->isChecked());    // not read any more
}

TEST_F(GlimmoWindow, AStoreThatCannotBeOpenedIsReportedAndTheWindowStillCloses)
{
    storeSettings([](platform::TRegistry &reg) { reg.WriteBool("Toolbar", false); });
    // A registry folder below a plain file cannot be created, not even by root.
    const QByteArray saved = qgetenv("KELDANE_REGISTRY_DIR");
    writeBytes(testenv::root() + "/plain-file", "x");
    qputenv("KELDANE_REGISTRY_DIR", (testenv::root() + "/plain-file/registry").toUtf8());
    captureErrors();
    TViewFrm &w = open();
    qputenv("KELDANE_REGISTRY_DIR", saved);
    // The registry layer raises for a hive it cannot read: the framework's report.
    ASSERT_EQ(errors.size(), 1) << errors.join("; ").toStdString();
    EXPECT_TRUE(errors[0].contains("HKEY_LOCAL_MACHINE")) << errors[0].toStdString();
    EXPECT_FALSE(w.ToolBar1->isHidden()); // the stored value is out of reach
    EXPECT_TRUE(w.close());               // the window closes all the same
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(errors.size(), 2);
    EXPECT_FALSE(settings().ValueExists("Statusbar"));
}

TEST_F(GlimmoWindow, ViewStyleSevenLeavesNoStyleCheckedAndIsWrittenAsDetails)
{
    storeSettings([](platform::TRegistry &reg) { reg.WriteInteger("ViewStyle", 7); });
    TViewFrm &w = open();
    for (QAction *style : {w.Details1, w.Thumbnails1, w.Symbols1, w.SmalSymbols1})
        EXPECT_FALSE(style->isChecked()) << style->objectName().toStdString();
    w.close();
    EXPECT_EQ(settings().ReadInteger("ViewStyle"), 0);
}

TEST_F(GlimmoWindow, ArgumentFormsOpenTheRightFolderAndShowAFile)
{
    const QString pics = makeFolder("pics");
    writePicture(pics + "/a.jpg", 64, 48);
    const struct {
        QString argument;
        QString folder;
        QString selected; // empty: nothing selected, nothing shown
    } cases[] = {
        {"\"" + pics + "/", pics, ""},
        {"\"" + pics, testenv::root(), ""},
        {"\"" + pics + "/a.jpg", pics, "a.jpg"},
        {"\"" + pics + "/A.JPG", pics, "a.jpg"}, // matched under the name on disk
        {pics + "/a.jpg", pics, "a.jpg"},        // without the quote too
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.argument.toStdString());
        TViewFrm &w = open({c.argument});
        EXPECT_EQ(w.PTShellList1->Folder(), c.folder);
        const int row = w.PTShellList1->SelectedRow();
        if (c.selected.isEmpty()) {
            EXPECT_EQ(row, -1);
            EXPECT_EQ(w.PanelText(4), "");
        } else {
            ASSERT_GE(row, 0);
            EXPECT_EQ(w.EntryFileName(row), c.selected);
            EXPECT_EQ(w.PanelText(4), " " + c.selected);
            EXPECT_EQ(w.Image1->PictureSize(), QSize(64, 48));
        }
        frm.reset();
    }
}

TEST_F(GlimmoWindow, WithAnArgumentFilterAndLastFolderAreNotReadButViewStyleIs)
{
    const QString pics = makeFolder("pics");
    const QString elsewhere = makeFolder("elsewhere");
    storeSettings([&](platform::TRegistry &reg) {
        reg.WriteInteger("Filter", 2);
        reg.WriteString("Last FOLDER", elsewhere);
        reg.WriteInteger("ViewStyle", 3);
    });
    TViewFrm &w = open({"\"" + pics + "/"});
    EXPECT_EQ(w.FilterComboBox1->currentIndex(), 0);
    EXPECT_EQ(w.PTShellList1->Folder(), pics);
    EXPECT_TRUE(w.SmalSymbols1->isChecked());
    EXPECT_EQ(w.PTShellList1->Style(), glimmo::TShellList::ViewStyle::List);

    // The argument is consumed: showing the window again takes the stored folder.
    w.hide();
    w.show();
    settle();
    EXPECT_EQ(w.PTShellList1->Folder(), elsewhere);
    EXPECT_EQ(w.FilterComboBox1->currentIndex(), 2);
}

TEST_F(GlimmoWindow, AlwaysOnTopTogglesTheWindowWithoutShowingItAnew)
{
    const QString pics = makeFolder("pics");
    const QString elsewhere = makeFolder("elsewhere");
    storeSettings([&](platform::TRegistry &reg) { reg.WriteString("Last FOLDER", elsewhere); });
    TViewFrm &w = open({"\"" + pics + "/"});
    w.AlwaysOnTop1Click();
    settle();
    EXPECT_TRUE(w.AlwaysOnTop1->isChecked());
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.PTShellList1->Folder(), pics); // not the stored folder of a new showing
    w.AlwaysOnTop1->trigger();                 // the menu item toggles once
    EXPECT_FALSE(w.AlwaysOnTop1->isChecked());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(GlimmoWindow, Edit10NamesTheFolderWhenThereIsNoLastFolder)
{
    const QString chosen = makeFolder("chosen");
    storeSettings([&](platform::TRegistry &reg) { reg.WriteString("Edit10", chosen); });
    EXPECT_EQ(open().PTShellList1->Folder(), chosen);
}

TEST_F(GlimmoWindow, HidingThePaneAndShowingItAgainGivesWidth241)
{
    TViewFrm &w = open();
    EXPECT_EQ(w.Panel1->width(), 243);
    EXPECT_EQ(w.ToolButton5Spacer->width(), 187);
    w.Visible1Click();
    EXPECT_FALSE(w.Visible1->isChecked());
    EXPECT_TRUE(w.PaneHidden());
    EXPECT_EQ(w.ToolButton5Spacer->width(), 0);
    for (QAction *button : {w.SpeedButton15, w.SpeedButton16, w.SpeedButton17, w.SpeedButton18, w.SpeedButton21, w.ToolButton1})
        EXPECT_FALSE(button->isVisible()) << button->objectName().toStdString();
    EXPECT_TRUE(w.SpeedButton19->isVisible()); // "Delete" stays
    w.Visible1Click();
    EXPECT_EQ(w.Panel1->width(), 241);
    EXPECT_EQ(w.ToolButton5Spacer->width(), 187);
    EXPECT_TRUE(w.SpeedButton15->isVisible());
}

TEST_F(GlimmoWindow, ControlsMenusAndShortcutsCarryTheirDesignerNames)
{
    TViewFrm &w = open();
    const struct {
        const char *name;
        const char *caption;
        QKeySequence shortcut;
    } items[] = {
        {"Open1", "Open...", QKeySequence(Qt::Key_Insert)},
        {"SaveAs1", "Save As...", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"Close1", "Close", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"Print1", "Print...", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {"CutFile1", "Cut File", QKeySequence(Qt::CTRL | Qt::Key_X)},
        {"CopyImage1", "Copy Image", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {"Delete1", "Delete", QKeySequence(Qt::Key_Delete)},
        {"Rename1", "Rename", QKeySequence(Qt::Key_F2)},
        {"StartTrawlix1", "Start @Trawlix", {}},
        {"ZoomToFitWindow1", "Zoom to Fit Window/Screen", {}},
        {"TrawlixHomepage1", "@Glimmo Homepage", {}},
        {"SpeedButton15", "Folder Up", {}},
        {"SpeedButton5", "Zoom In", {}},
        {"SmalSymbols1", "List", {}},
    };
    for (const auto &item : items) {
        SCOPED_TRACE(item.name);
        auto *action = w.findChild<QAction *>(item.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), item.caption);
        EXPECT_EQ(action->shortcut(), item.shortcut);
    }
    for (const char *control : {"ToolBar1", "ScrollBox1", "Image1", "Panel5", "Splitter2", "Panel1", "Panel2",
                                "FilterComboBox1", "PTShellTree1", "Splitter1", "PTShellList1", "Panel3", "Panel4",
                                "ScrollBar1", "StatusBar1"})
        EXPECT_NE(w.findChild<QWidget *>(control), nullptr) << control;
    EXPECT_EQ(w.objectName(), "ViewFrm");
    QStringList toolBar;
    for (const QAction *action : w.ToolBar1->actions())
        toolBar << action->objectName();
    EXPECT_EQ(toolBar, (QStringList{"SpeedButton2", "SpeedButton1", "ToolButton2", "SpeedButton8", "ToolButton3",
                                    "SpeedButton5", "SpeedButton4", "ToolButton4", "SpeedButton6", "ToolButton6",
                                    "ToolButton5", "SpeedButton15", "ToolButton7", "SpeedButton16", "SpeedButton17",
                                    "SpeedButton18", "ToolButton1", "SpeedButton19", "ToolButton11", "SpeedButton20",
                                    "SpeedButton21"}));
    EXPECT_EQ(w.Image1->geometry(), QRect(0, 0, 544, 560));
    EXPECT_EQ(w.Panel5->geometry(), QRect(69, 31, 385, 281));
    EXPECT_TRUE(w.Panel5->isHidden());
    EXPECT_EQ(w.PTShellTree1->height(), 201);
    const int widths[] = {35, 70, 70, 120, 100};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(w.StatusBar1->findChild<QLabel *>(QString("StatusPanel%1").arg(i))->width(), widths[i]);
    ASSERT_EQ(w.FilterComboBox1->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w.FilterComboBox1->itemText(i), glimmo::kFilterItems[i].description);
        EXPECT_EQ(w.FilterComboBox1->itemData(i).toString(), glimmo::kFilterItems[i].mask);
    }
}

TEST_F(GlimmoWindow, StartTrawlixAndTheHomepageGoThroughTheShell)
{
    TViewFrm &w = open();
    QString program;
    QStringList args;
    w.StartSiblingProgram = [&](const QString &p, const QStringList &a) {
        program = p;
        args = a;
        return false; // a failed start shows nothing
    };
    w.StartTrawlix1Click();
    EXPECT_EQ(program, "trawlix");
    EXPECT_EQ(args, QStringList{"updateok"});

    std::vector<QUrl> opened;
    platform::SetDocumentOpener([&](const QUrl &url) {
        opened.push_back(url);
        return true;
    });
    w.TrawlixHomepage1Click();
    platform::SetDocumentOpener({});
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(glimmo::kHomepage));
}

// ---- the file list ------------------------------------------------------------------------

class GlimmoList : public GlimmoWindow {
protected:
    void SetUp() override
    {
        pics = makeFolder("pics");
        makeFolder("pics/sub.jpg"); // a folder, never listed
        writePicture(pics + "/b.JPG", 20, 10);
        writePicture(pics + "/a.jpg", 20, 10);
        writeBytes(pics + "/empty.gif", {});
        writeBytes(pics + "/notes.txt", QByteArray(1500, 'x'));
        writeBytes(pics + "/README", "x");
    }
    QString pics;
};

TEST_F(GlimmoList, ListsMatchingFilesOnlyIgnoringCaseAndFindsEntries)
{
    TViewFrm &w = open({"\"" + pics + "/"});
    ASSERT_EQ(w.PTShellList1->Count(), 3);
    EXPECT_EQ(w.SimpleText(), "3 Object(s)");
    QStringList names;
    for (int row = 0; row < 3; ++row)
        names << w.EntryFileName(row);
    names.sort(Qt::CaseInsensitive);
    EXPECT_EQ(names, (QStringList{"a.jpg", "b.JPG", "empty.gif"}));
    const int b = w.FindEntry("B.jpg");
    ASSERT_GE(b, 0);
    EXPECT_EQ(w.EntryFileName(b), "b.JPG");
    EXPECT_EQ(w.FindEntry("missing.jpg"), -1);
    EXPECT_EQ(w.PTShellList1->SizeTextAt(w.FindEntry("empty.gif")), "0KB");

    w.SelectEntryByName("missing.jpg");
    EXPECT_TRUE(w.PTShellList1->SelectedRows().isEmpty());
    w.SelectEntry(99);
    EXPECT_TRUE(w.PTShellList1->SelectedRows().isEmpty());
    w.SelectEntryByName("a.jpg");
    w.SelectEntryByName("B.JPG"); // adds to the selection
    EXPECT_EQ(w.PTShellList1->SelectedRows().size(), 2);

    // "All files (*.*)" lists names without a dot too.
    w.FilterComboBox1->setCurrentIndex(3);
    w.FilterComboBox1Change();
    EXPECT_EQ(w.PTShellList1->Count(), 5);
    EXPECT_EQ(w.SimpleText(), "5 Object(s)");
    EXPECT_EQ(w.PTShellList1->SizeTextAt(w.FindEntry("notes.txt")), "2KB");
    EXPECT_GE(w.FindEntry("readme"), 0);
}

TEST_F(GlimmoList, FolderUpAndOpenAndBrowseMoveTheList)
{
    const QString other = makeFolder("other");
    writePicture(other + "/c.bmp", 30, 20);
    TViewFrm &w = open({"\"" + pics + "/"});
    w.SpeedButton15Click();
    EXPECT_EQ(w.PTShellList1->Folder(), testenv::root());

    QString shownFilter;
    w.ChooseFileToOpen = [&](QWidget *, const QString &filter, const QString &initial) {
        shownFilter = filter;
        EXPECT_EQ(initial, filter);
        return other + "/c.bmp";
    };
    w.Open1Click();
    EXPECT_EQ(shownFilter, glimmo::kFilterItems[0].mask);
    EXPECT_EQ(w.PTShellList1->Folder(), other);
    EXPECT_EQ(w.PanelText(4), " c.bmp");
    EXPECT_EQ(w.Image1->PictureSize(), QSize(30, 20));

    QString title;
    w.ChooseFolder = [&](QWidget *, const QString &t, const QString &) {
        title = t;
        return pics;
    };
    w.Browse1Click();
    EXPECT_EQ(title, "Selected a Folder");
    EXPECT_EQ(w.PTShellList1->Folder(), pics);
    w.ChooseFolder = [](QWidget *, const QString &, const QString &) { return QString(); }; // cancelled
    w.Browse1Click();
    EXPECT_EQ(w.PTShellList1->Folder(), pics);
}

TEST(GlimmoText, KiloBytesLoadedInTimesFoldersAndMasks)
{
    const struct {
        qint64 bytes;
        const char *text;
    } sizes[] = {{0, "0KB"}, {1, "1KB"}, {1000, "1KB"}, {1001, "2KB"}, {1234567, "1235KB"}};
    for (const auto &s : sizes)
        EXPECT_EQ(glimmo::KiloByteText(s.bytes), s.text) << s.bytes;

    const struct {
        uint32_t ms;
        const char *text;
    } times[] = {{50, "Loaded in 0.05 s"}, {0, "Loaded in 0.00 s"}, {123, "Loaded in 0.123 s"},
                 {1500, "Loaded in 1.50 s"}, {12345, "Loaded in 12.345 s"}, {1001, "Loaded in 1.001 s"}};
    for (const auto &t : times)
        EXPECT_EQ(glimmo::LoadedInText(t.ms, QLocale::c()), t.text) << t.ms;
    EXPECT_EQ(glimmo::LoadedInText(50, QLocale(QLocale::German)), "Loaded in 0,05 s");

    const struct {
        const char *argument;
        const char *folder;
    } folders[] = {{"/pics/", "/pics"}, {"/pics", "/"}, {"/pics/a.jpg", "/pics"}, {"/", "/"}, {"a.jpg", ""}};
    for (const auto &f : folders)
        EXPECT_EQ(glimmo::ArgumentFolder(f.argument), f.folder) << f.argument;

    EXPECT_EQ(glimmo::NameFiltersForMask("*.jpg;*.*"), (QStringList{"*.[jJ][pP][gG]", "*"}));
}

TEST(GlimmoText, LongPathNameTakesTheSpellingOnDisk)
{
    const QString base = testenv::root();
    ASSERT_TRUE(QDir().mkpath(base + "/Holiday Pics"));
    writeBytes(base + "/Holiday Pics/Beach.JPG", "x");
    EXPECT_EQ(glimmo::LongPathName(base + "/holiday pics/beach.jpg"), base + "/Holiday Pics/Beach.JPG");
    EXPECT_EQ(glimmo::LongPathName(base + "/Holiday Pics/"), base + "/Holiday Pics");
    EXPECT_EQ(glimmo::LongPathName(base + "/Holiday Pics/none.jpg"), base + "/Holiday Pics/none.jpg");
    EXPECT_EQ(glimmo::LongPathName("/"), "/");
}

TEST(GlimmoText, ColoursRoundTripThroughTheirText)
{
    const struct {
        glimmo::TColor color;
        const char *text;
    } cases[] = {{0x000000, "clBlack"}, {0xFFFFFF, "clWhite"}, {0x0000FF, "clRed"}, {0x00FF8000, "$00FF8000"},
                 {0x00123456, "$00123456"}};
    for (const auto &c : cases) {
        EXPECT_EQ(glimmo::ColorToString(c.color), c.text);
        EXPECT_EQ(glimmo::StringToColor(c.text), c.color);
    }
    EXPECT_EQ(glimmo::StringToColor("CLBLUE"), 0xFF0000);
    EXPECT_EQ(glimmo::StringToColor("255"), 0xFF);
    EXPECT_THROW((void)glimmo::StringToColor("bluish"), std::invalid_argument);
    EXPECT_THROW((void)glimmo::StringToColor("$"), std::invalid_argument);
    EXPECT_EQ(glimmo::ToQColor(0x00FF8000), QColor(0x00, 0x80, 0xFF));
}

// ---- ShowFile -----------------------------------------------------------------------------

class GlimmoShow : public GlimmoWindow {
protected:
    TViewFrm &openIn(const QSize &area)
    {
        folder = makeFolder("show");
        TViewFrm &w = open({"\"" + folder + "/"});
        w.ScrollBox1->setFixedSize(area);
        settle();
        return w;
    }
    QString folder;
};

TEST_F(GlimmoShow, ShrinkCasesInA542By470Area)
{
    TViewFrm &w = openIn(QSize(542, 470));
    ASSERT_EQ(w.ViewingArea(), QSize(538, 466));
    const struct {
        const char *name;
        int w, h;
        QRect geometry;
        bool stretch;
        const char *dimensions;
    } cases[] = {
        {"wide.jpg", 640, 480, QRect(0, 31, 538, 403), true, "640x403"},
        {"square.bmp", 1000, 1000, QRect(0, 0, 538, 466), false, "1000x1000"},
        {"tall.bmp", 300, 900, QRect((538 - 155) / 2, 0, 155, 466), true, "155x900"},
        {"small.bmp", 100, 50, QRect(0, 0, 538, 466), false, "100x50"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writePicture(folder + "/" + c.name, c.w, c.h);
        w.ShowFile(c.name);
        EXPECT_EQ(w.Image1->PictureSize(), QSize(c.w, c.h));
        EXPECT_EQ(w.Image1->geometry(), c.geometry);
        EXPECT_EQ(w.Image1->Stretch(), c.stretch);
        EXPECT_EQ(w.PanelText(2), c.dimensions);
    }
    EXPECT_EQ(w.PanelText(0), "BMP");
    EXPECT_EQ(w.PanelText(1), "? KB");
    EXPECT_TRUE(QRegularExpression("^Loaded in \\d+\\.\\d\\d\\d? s$").match(w.PanelText(3)).hasMatch())
        << w.PanelText(3).toStdString();
    EXPECT_EQ(w.PanelText(4), " small.bmp");
    EXPECT_TRUE(w.ImageCommandsEnabled());
    EXPECT_TRUE(w.SpeedButton5->isEnabled());
}

TEST_F(GlimmoShow, WithoutShrinkingTheControlCoversAreaAndPicture)
{
    TViewFrm &w = openIn(QSize(542, 470));
    w.AutoShrinkToFit1Click();
    ASSERT_FALSE(w.AutoShrinkToFit1->isChecked());
    writePicture(folder + "/big.bmp", 1000, 300);
    w.ShowFile("big.bmp");
    EXPECT_EQ(w.Image1->size(), QSize(1000, 466));
    EXPECT_EQ(w.PanelText(2), "1000x300");
    EXPECT_GE(w.ScrollBox1Surface->width(), 1000); // scrollable to the picture's end
}

TEST_F(GlimmoShow, ZoomStepsWorkInWholeHundreds)
{
    TViewFrm &w = openIn(QSize(542, 470));
    w.Image1->resize(544, 560);
    w.SpeedButton5Click();
    EXPECT_EQ(w.Image1->size(), QSize(600, 600));
    EXPECT_TRUE(w.Image1->Stretch());
    w.Image1->resize(544, 560);
    w.SpeedButton4Click();
    EXPECT_EQ(w.Image1->size(), QSize(400, 400));
    w.Image1->resize(544, 560);
    w.More1Click();
    w.Less1Click();
    EXPECT_EQ(w.Image1->width(), 480); // 600 -> 6 x 80

    writePicture(folder + "/tiny.bmp", 99, 60);
    w.AutoShrinkToFit1Click(); // off: the control takes at least the picture's size
    w.Image1->resize(99, 60);
    w.SpeedButton4Click();
    EXPECT_EQ(w.Image1->width(), 0);
    w.SpeedButton5Click();
    EXPECT_EQ(w.Image1->width(), 0);
    w.ShowFile("tiny.bmp");
    EXPECT_EQ(w.Image1->width(), 538);
}

TEST_F(GlimmoShow, WindowFitsThePictureWhileThePaneIsHidden)
{
    TViewFrm &w = openIn(QSize(542, 470));
    w.ScrollBox1->setMinimumSize(0, 0);
    w.ScrollBox1->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    w.Visible1Click();
    settle();
    ASSERT_TRUE(w.PaneHidden());
    writePicture(folder + "/small.bmp", 300, 150);
    writePicture(folder + "/large.bmp", 1000, 800);

    w.ShowFile("small.bmp");
    EXPECT_EQ(w.frameGeometry(), QRect((1024 - 430) / 2, (768 - 200) / 2, 430, 200));
    ASSERT_EQ(pointer.size(), 1u);
    const QWidget *last = w.ToolBar1->widgetForAction(w.SpeedButton2);
    EXPECT_EQ(pointer[0], QPoint(last->x() + w.frameGeometry().x() + 19, last->y() + w.frameGeometry().y() + 70));
    EXPECT_TRUE(w.ResizeReloadEnabled);

    w.LastStepWasNext = true;
    w.ShowFile("large.bmp");
    EXPECT_EQ(w.frameGeometry(), QRect(2, 0, 1020, 740));
    ASSERT_EQ(pointer.size(), 2u);
    const QWidget *next = w.ToolBar1->widgetForAction(w.SpeedButton1);
    EXPECT_EQ(pointer[1], QPoint(next->x() + 2 + 23, next->y() + 0 + 70));
    // The shrink step saw the fitted area.
    EXPECT_EQ(w.Image1->width(), w.ScrollBox1->width() - 4);

    // A running slide show keeps the pointer where it is.
    w.SpeedButton8Click();
    ASSERT_TRUE(w.SlideShowRunning());
    w.ShowFile("small.bmp");
    w.SpeedButton8Click();
    EXPECT_EQ(pointer.size(), 2u);
}

TEST_F(GlimmoShow, AWindowAsWideAsTheDesktopIsNeitherResizedNorMoved)
{
    TViewFrm &w = openIn(QSize(542, 470));
    w.Visible1Click();
    screens.desktopWidth = w.frameGeometry().width();
    const QRect before = w.frameGeometry();
    writePicture(folder + "/small.bmp", 300, 150);
    w.ShowFile("small.bmp");
    EXPECT_EQ(w.frameGeometry(), before);
    EXPECT_TRUE(pointer.empty());
    EXPECT_EQ(w.PanelText(4), " small.bmp");
}

TEST_F(GlimmoShow, ResizingTheWindowShowsTheSelectedEntryAgain)
{
    folder = makeFolder("show");
    writePicture(folder + "/wide.jpg", 2000, 1000);
    TViewFrm &w = open({"\"" + folder + "/wide.jpg"});
    ASSERT_GE(w.PTShellList1->SelectedRow(), 0);
    EXPECT_EQ(w.Image1->width(), w.ScrollBox1->width() - 4);
    w.resize(w.width() - 150, w.height());
    settle();
    EXPECT_EQ(w.Image1->width(), w.ScrollBox1->width() - 4);
    EXPECT_EQ(w.Image1->height(), int(1000 * (double(w.ScrollBox1->width() - 4) / 2000)));

    // The shrink toggle shows the entry again, now at its own size.
    w.AutoShrinkToFit1Click();
    EXPECT_EQ(w.Image1->size(), QSize(2000, 1000));
    w.AutoShrinkToFit1Click();
    // Hiding the pane shows it again too, and the window is fitted to the picture.
    w.Visible1Click();
    EXPECT_EQ(w.frameGeometry(), QRect(0, 0, 1024, 768 - 28));
    EXPECT_EQ(w.Image1->width(), w.ScrollBox1->width() - 4);
}

TEST_F(GlimmoShow, DamagedFilesLeaveThePreviousPictureAndStatus)
{
    TViewFrm &w = openIn(QSize(542, 470));
    writePicture(folder + "/good.jpg", 64, 48);
    const QByteArray whole = encoded(300, 300, "JPEG");
    writeBytes(folder + "/cut.jpg", whole.left(whole.size() / 2));
    writeBytes(folder + "/png-named.jpg", encoded(10, 10, "PNG"));
    writeBytes(folder + "/broken.bmp", "BM not really");
    writeBytes(folder + "/broken.gif", "GIF89a");
    writeBytes(folder + "/plain.wmf", QByteArray::fromHex("010009000003"));
    writeBytes(folder + "/notes.txt", "text");
    w.ShowFile("good.jpg");
    const QImage shown = w.Image1->CurrentFrame();
    QStringList status;
    for (int i = 0; i < 5; ++i)
        status << w.PanelText(i);
    for (const char *name : {"cut.jpg", "png-named.jpg", "broken.bmp", "broken.gif", "plain.wmf", "notes.txt", "missing.jpg"}) {
        SCOPED_TRACE(name);
        w.ShowFile(name);
        EXPECT_EQ(w.Image1->CurrentFrame(), shown);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(w.PanelText(i), status[i]);
    }
    EXPECT_TRUE(w.ImageCommandsEnabled());
}

TEST_F(GlimmoShow, MetafilesAreShownWithThePictureCommandsDisabled)
{
    TViewFrm &w = openIn(QSize(542, 470));
    writeBytes(folder + "/drawing.wmf", wmfBytes(200, 100));
    writeBytes(folder + "/drawing.emf", emfBytes(240, 120));
    const struct {
        const char *name;
        QSize size;
        const char *type;
    } cases[] = {{"drawing.wmf", {200, 100}, "WMF"}, {"drawing.emf", {240, 120}, "EMF"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writePicture(folder + "/first.bmp", 10, 10);
        w.ShowFile("first.bmp");
        ASSERT_TRUE(w.SpeedButton5->isEnabled());
        w.ShowFile(c.name);
        EXPECT_EQ(w.PanelText(4), QString(" ") + c.name);
        EXPECT_EQ(w.PanelText(0), c.type);
        EXPECT_EQ(w.Image1->PictureSize(), c.size);
        EXPECT_EQ(w.PanelText(2), QString("%1x%2").arg(c.size.width()).arg(c.size.height()));
        EXPECT_FALSE(w.ImageCommandsEnabled());
        EXPECT_FALSE(w.SpeedButton5->isEnabled());
        EXPECT_FALSE(w.SpeedButton4->isEnabled());
        EXPECT_FALSE(w.SpeedButton6->isEnabled());
        EXPECT_FALSE(w.CopyImage1->isEnabled());
        EXPECT_FALSE(w.MainMenu1Zoom->menuAction()->isEnabled());
        // Something was drawn: the rectangle's outline is not transparent everywhere.
        const QImage image = w.Image1->CurrentFrame();
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) != 0;
        EXPECT_TRUE(drawn);
    }
}

TEST(GlimmoMetafile, HeadersGiveTheSizeAndForgedSizesAreRefused)
{
    EXPECT_EQ(glimmo::WmfHeaderSize(wmfBytes(200, 100)), QSize(200, 100));
    EXPECT_EQ(glimmo::EmfHeaderSize(emfBytes(240, 120)), QSize(240, 120));
    for (const glimmo::MetafilePicture &picture : {glimmo::RenderWmf(wmfBytes(200, 100)), glimmo::RenderEmf(emfBytes(240, 120))})
        EXPECT_TRUE(picture.ok()) << picture.error.toStdString();
    QString error;
    EXPECT_FALSE(glimmo::WmfHeaderSize(QByteArray::fromHex("0100090000"), &error).isValid());
    EXPECT_FALSE(error.isEmpty());
    QByteArray noInch = wmfBytes(200, 100);
    noInch[14] = 0;
    noInch[15] = 0;
    EXPECT_FALSE(glimmo::WmfHeaderSize(noInch).isValid());
    EXPECT_FALSE(glimmo::EmfHeaderSize(emfBytes(20000, 100)).isValid());
    EXPECT_FALSE(glimmo::RenderEmf(emfBytes(20000, 100)).ok());
    EXPECT_FALSE(glimmo::RenderEmf(emfBytes(100, 100).left(60)).ok());
    EXPECT_FALSE(glimmo::RenderWmf(wmfBytes(100, 100).left(30)).ok());
    // Cut before the end-of-file record, or a record claiming more than the file holds.
    const QByteArray wmf = wmfBytes(100, 100), emf = emfBytes(100, 100);
    EXPECT_FALSE(glimmo::RenderWmf(wmf.left(wmf.size() - 6)).ok());
    EXPECT_FALSE(glimmo::RenderEmf(emf.left(emf.size() - 20)).ok());
    QByteArray longRecord = emf;
    longRecord[88 + 4] = char(0x7F); // EMR_RECTANGLE's size
    EXPECT_FALSE(glimmo::RenderEmf(longRecord).ok());
}

// Damaged metafiles from the web must not crash the viewer: every single-byte change and
// cut of the fixtures either renders or fails cleanly.
TEST(GlimmoMetafile, MutatedFilesRenderOrFailCleanly)
{
    const QByteArray wmf = wmfBytes(64, 48), emf = emfBytes(64, 48);
    for (const QByteArray *original : {&wmf, &emf}) {
        for (int at = 0; at < original->size(); ++at) {
            for (const char value : {char(0), char(0xFF), char(0x7F)}) {
                QByteArray mutated = *original;
                mutated[at] = value;
                const glimmo::MetafilePicture picture =
                    original == &wmf ? glimmo::RenderWmf(mutated) : glimmo::RenderEmf(mutated);
                if (picture.ok()) {
                    EXPECT_EQ(picture.image.size(), picture.size);
                } else {
                    EXPECT_FALSE(picture.error.isEmpty());
                }
            }
            const QByteArray cut = original->left(at);
            (void)(original == &wmf ? glimmo::RenderWmf(cut) : glimmo::RenderEmf(cut));
        }
    }
}

TEST_F(GlimmoShow, FileTypesAreChosenFromTheExtensionText)
{
    TViewFrm &w = openIn(QSize(542, 470));
    writePicture(folder + "/icon.ico", 32, 32);
    w.ShowFile("icon.ico");
    EXPECT_EQ(w.PanelText(0), "ICO");
    EXPECT_EQ(w.Image1->PictureSize(), QSize(32, 32));

    // A movie name disables the picture commands and leaves the status bar.
    writeBytes(folder + "/clip.mpg", "not played here");
    w.ShowFile("clip.mpg");
    EXPECT_FALSE(w.ImageCommandsEnabled());
    EXPECT_EQ(w.PanelText(4), " icon.ico");

    // A name without a dot: the whole lower-cased path is the extension text.
    if (folder.contains('.'))
        GTEST_SKIP() << "test folder has a dot";
    const QString gifs = makeFolder("show/GIFS");
    // The smallest GIF: one pixel (Qt writes no GIFs).
    writeBytes(gifs + "/picture", QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b"));
    writeBytes(gifs + "/broken", "not a gif");
    w.PTShellTree1->SelectFolder(gifs);
    w.ShowFile("picture");
    EXPECT_EQ(w.PanelText(4), " picture");
    EXPECT_EQ(w.Image1->PictureSize(), QSize(1, 1));
    w.ShowFile("broken");
    EXPECT_EQ(w.PanelText(4), " picture");
}

TEST_F(GlimmoShow, CorpusGifsAnimateAndBrokenOnesAreIgnored)
{
    if (!QFileInfo(kImages).isDir())
        GTEST_SKIP() << "no corpus";
    TViewFrm &w = openIn(QSize(542, 470));
    const QString wuffs = kImages + "wuffs/";
    for (const char *name : {"animated-red-blue.gif", "hippopotamus.interlaced.truncated.gif", "pixel-data-none.gif",
                             "zero-width-frame.gif", "no-frames.gif", "frame-out-of-bounds.gif",
                             "peacock.progressive.jpeg", "peacock.progressive.truncated.jpeg"})
        QFile::copy(wuffs + name, folder + "/" + name);
    for (const QString &name : QDir(kImages + "image-gif").entryList({"*crash*", "*stall*"}))
        QFile::copy(kImages + "image-gif/" + name, folder + "/" + name);

    w.ShowFile("animated-red-blue.gif");
    EXPECT_TRUE(w.Image1->IsAnimated());
    EXPECT_EQ(w.PanelText(0), "GIF");
    w.ShowFile("peacock.progressive.jpeg");
    EXPECT_FALSE(w.Image1->IsAnimated());
    const QString shown = w.PanelText(4);
    w.ShowFile("peacock.progressive.truncated.jpeg");
    EXPECT_EQ(w.PanelText(4), shown);
    // Odd and broken GIFs: whatever the decoder makes of them, the window survives.
    for (const QString &name : QDir(folder).entryList({"*.gif"}))
        w.ShowFile(name);
    settle();
}

// ---- navigation and slide show ------------------------------------------------------------

const QByteArray kOnePixelGif = QByteArray::fromHex(
    "47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b");

class GlimmoNavigate : public GlimmoWindow {
protected:
    // Opens a folder holding `names`: pictures as real files, everything else as a few bytes.
    // `allFiles` lists them under "All files (*.*)".
    TViewFrm &openWith(const QStringList &names, const char *folderName = "nav", bool allFiles = false)
    {
        folder = makeFolder(folderName);
        for (const QString &name : names) {
            const QString suffix = QFileInfo(name).suffix().toLower();
            if (suffix == "bmp" || suffix == "jpg")
                writePicture(folder + "/" + name, 40, 30);
            else if (suffix == "gif")
                writeBytes(folder + "/" + name, kOnePixelGif);
            else
                writeBytes(folder + "/" + name, "not a picture");
        }
        if (allFiles)
            storeSettings([this](platform::TRegistry &reg) {
                reg.WriteInteger("Filter", 3);
                reg.WriteString("Last FOLDER", folder);
            });
        TViewFrm &w = allFiles ? open() : open({"\"" + folder + "/"});
        EXPECT_EQ(w.PTShellList1->Count(), names.size());
        return w;
    }
    QString shown() const { return frm->PanelText(4).mid(1); }
    QStringList selected() const
    {
        QStringList names;
        for (const int row : frm->PTShellList1->SelectedRows())
            names << frm->EntryFileName(row);
        return names;
    }
    void selectOnly(const QString &name)
    {
        frm->PTShellList1->ClearSelection();
        frm->SelectEntryByName(name);
    }
    void hidePane()
    {
        frm->Visible1Click();
        settle();
        ASSERT_TRUE(frm->PaneHidden());
    }
    QString folder;
};

TEST_F(GlimmoNavigate, NextAndLastWrapAroundAndStartAtTheFirstEntry)
{
    TViewFrm &w = openWith({"a.bmp", "b.bmp", "c.bmp"});
    const struct {
        const char *from; // nullptr: nothing selected
        bool next;
        const char *to;
    } steps[] = {{nullptr, true, "a.bmp"}, {nullptr, false, "a.bmp"}, {"c.bmp", true, "a.bmp"},
                 {"a.bmp", false, "c.bmp"}, {"c.bmp", false, "b.bmp"}, {"a.bmp", true, "b.bmp"}};
    for (const auto &s : steps) {
        SCOPED_TRACE(std::string(s.from ? s.from : "(none)") + (s.next ? " next" : " last"));
        w.ShowFile("b.bmp");
        w.ShowFile(s.from ? s.from : "c.bmp");
        selectOnly(s.from ? s.from : "");
        w.LastStepWasNext = !s.next;
        if (s.next)
            w.SpeedButton1Click();
        else
            w.SpeedButton2Click();
        EXPECT_EQ(selected(), QStringList{s.to});
        EXPECT_EQ(shown(), s.to);
        EXPECT_EQ(w.LastStepWasNext, s.next);
    }
    // The tool buttons are wired to the commands.
    selectOnly("a.bmp");
    w.SpeedButton1->trigger();
    EXPECT_EQ(shown(), "b.bmp");
    w.SpeedButton2->trigger();
    EXPECT_EQ(shown(), "a.bmp");
}

TEST_F(GlimmoNavigate, WithThePaneHiddenOnlyPictureNamesAreStoppedAt)
{
    TViewFrm &w = openWith({"1pic.bmp", "2movie.avi", "3pic.gif", "4readme_gif.txt", "5clip.mpg"}, "nav-hidden", true);
    ASSERT_EQ(w.PTShellList1->Count(), 5);

    // Pane shown: nothing is passed over, the movie is handed to the player.
    selectOnly("1pic.bmp");
    w.ShowFile("1pic.bmp");
    ASSERT_TRUE(w.ImageCommandsEnabled());
    w.SpeedButton1Click();
    EXPECT_EQ(selected(), QStringList{"2movie.avi"});
    EXPECT_FALSE(w.ImageCommandsEnabled());

    hidePane();
    selectOnly("1pic.bmp");
    w.SpeedButton1Click();
    EXPECT_EQ(selected(), QStringList{"3pic.gif"});
    EXPECT_EQ(shown(), "3pic.gif");
    // A name with "gif" anywhere is a picture name, even when it is no picture.
    w.SpeedButton1Click();
    EXPECT_EQ(selected(), QStringList{"4readme_gif.txt"});
    EXPECT_EQ(shown(), "3pic.gif");
    // Backwards and around the end: 5clip.mpg is passed over on the way from 1pic.bmp.
    selectOnly("1pic.bmp");
    w.SpeedButton2Click();
    EXPECT_EQ(selected(), QStringList{"4readme_gif.txt"});
    EXPECT_FALSE(w.LastStepWasNext);

    const struct {
        const char *name;
        bool picture;
    } names[] = {{"readme_gif.txt", true}, {"PHOTO.JPEG", true}, {"x.Ico", true}, {"emfatic.doc", true},
                 {"movie.avi", false}, {"notes.txt", false}, {"jp.g", false}};
    for (const auto &n : names)
        EXPECT_EQ(glimmo::IsPictureName(n.name), n.picture) << n.name;
}

TEST_F(GlimmoNavigate, AFolderOfOnlyMoviesIsPassedOverOnceAndTheLastOneReachedIsPlayed)
{
    TViewFrm &w = openWith({"a.avi", "b.mpg", "c.mov"});
    hidePane();
    w.ShowFile("x.bmp"); // nothing
    // From a: b, c, a (one pass of three steps); a is played.
    selectOnly("a.avi");
    w.SpeedButton1Click();
    EXPECT_EQ(selected(), QStringList{"a.avi"});
    EXPECT_FALSE(w.ImageCommandsEnabled());
    // From nothing: a, b, c.
    w.PTShellList1->ClearSelection();
    w.SpeedButton1Click();
    EXPECT_EQ(selected(), QStringList{"c.mov"});
    w.PTShellList1->ClearSelection();
    w.SpeedButton2Click();
    EXPECT_EQ(selected(), QStringList{"b.mpg"}); // a, c, b backwards

    // An empty folder: nothing to select, nothing shown.
    w.PTShellTree1->SelectFolder(makeFolder("nav-empty"));
    ASSERT_EQ(w.PTShellList1->Count(), 0);
    w.SpeedButton1Click();
    w.SpeedButton2Click();
    EXPECT_TRUE(selected().isEmpty());
}

TEST_F(GlimmoNavigate, ArrowKeysShowTheNeighbourBeforeTheListMovesAndStopAtTheEnds)
{
    TViewFrm &w = openWith({"a.bmp", "b.bmp", "c.bmp"});
    QAbstractItemView *view = w.PTShellList1->DetailsView();
    const auto press = [&](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    selectOnly("a.bmp");
    press(Qt::Key_Down);
    EXPECT_EQ(shown(), "b.bmp");
    EXPECT_EQ(selected(), QStringList{"b.bmp"}); // the list's own handling moved on
    press(Qt::Key_Down);
    EXPECT_EQ(shown(), "c.bmp");
    EXPECT_EQ(selected(), QStringList{"c.bmp"});

    w.ShowFile("a.bmp");
    press(Qt::Key_Down); // last entry: no wrap-around, nothing shown
    EXPECT_EQ(shown(), "a.bmp");
    EXPECT_EQ(selected(), QStringList{"c.bmp"});
    press(Qt::Key_Up);
    EXPECT_EQ(shown(), "b.bmp");
    EXPECT_EQ(selected(), QStringList{"b.bmp"});
    press(Qt::Key_Up);
    EXPECT_EQ(selected(), QStringList{"a.bmp"});
    w.ShowFile("c.bmp");
    press(Qt::Key_Up); // first entry
    EXPECT_EQ(shown(), "c.bmp");
    EXPECT_EQ(selected(), QStringList{"a.bmp"});

    // Nothing selected: the handler does nothing.
    w.PTShellList1->ClearSelection();
    w.PTShellList1KeyDown(Qt::Key_Down);
    w.PTShellList1KeyDown(Qt::Key_Up);
    EXPECT_EQ(shown(), "c.bmp");
    EXPECT_TRUE(selected().isEmpty());
}

TEST_F(GlimmoNavigate, AClickShowsTheEntryUnlessItReadsZeroKBAndDoubleClicksNeverOpen)
{
    TViewFrm &w = openWith({"a.bmp", "b.bmp"});
    writeBytes(folder + "/empty.bmp", {});
    w.PTShellTree1->SelectFolder(makeFolder("elsewhere"));
    w.PTShellTree1->SelectFolder(folder);
    ASSERT_EQ(w.PTShellList1->Count(), 3);
    QAbstractItemView *view = w.PTShellList1->DetailsView();
    const auto index = [&](const char *name) { return w.PTShellList1->Model()->index(folder + "/" + name); };

    w.PTShellList1Click(); // nothing selected
    EXPECT_EQ(shown(), "");
    selectOnly("b.bmp");
    emit view->clicked(index("b.bmp"));
    EXPECT_EQ(shown(), "b.bmp");
    selectOnly("empty.bmp");
    ASSERT_EQ(w.PTShellList1->SizeTextAt(w.FindEntry("empty.bmp")), "0KB");
    emit view->clicked(index("empty.bmp"));
    EXPECT_EQ(shown(), "b.bmp");

    std::vector<QUrl> opened;
    platform::SetDocumentOpener([&](const QUrl &url) {
        opened.push_back(url);
        return true;
    });
    emit view->doubleClicked(index("a.bmp"));
    EXPECT_TRUE(opened.empty());
    bool handled = false;
    w.PTShellList1DblClickOpen(handled);
    EXPECT_TRUE(handled);
    // Without the window's answer the list would open the file the shell's way.
    w.PTShellList1->DblClickOpen = nullptr;
    emit view->doubleClicked(index("a.bmp"));
    platform::SetDocumentOpener({});
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(folder + "/a.bmp"));
}

TEST_F(GlimmoNavigate, SlideShowStepsInItsThreeModesAndStopsOnAnEmptyFolder)
{
    TViewFrm &w = openWith({"1.bmp", "2.bmp", "3.bmp", "4.bmp", "5.bmp"});
    EXPECT_TRUE(w.SlideShowButtonFlat());
    w.SpeedButton8->trigger();
    EXPECT_TRUE(w.SlideShowRunning());
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_FALSE(w.SlideShowButtonFlat());

    // Forward from no selection: the tick marks the second entry and steps to the third.
    w.Timer1Timer();
    EXPECT_EQ(shown(), "3.bmp");
    EXPECT_EQ(selected(), QStringList{"3.bmp"});
    w.Timer1Timer();
    EXPECT_EQ(shown(), "4.bmp");
    // A running show leaves the pointer alone when the window is fitted.
    hidePane();
    w.Timer1Timer();
    EXPECT_EQ(shown(), "5.bmp");
    EXPECT_TRUE(pointer.empty());

    w.SlideShowMode = 1; // Reverse, from no selection: the second entry, then back to the first
    w.PTShellList1->ClearSelection();
    w.Timer1Timer();
    EXPECT_EQ(shown(), "1.bmp");
    w.Timer1Timer();
    EXPECT_EQ(shown(), "5.bmp");

    w.SlideShowMode = 7; // no step: the selected picture is shown again
    w.ShowFile("1.bmp");
    w.Timer1Timer();
    EXPECT_EQ(selected(), QStringList{"5.bmp"});
    EXPECT_EQ(shown(), "5.bmp");

    w.SpeedButton8Click();
    EXPECT_FALSE(w.SlideShowRunning());
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_TRUE(w.SlideShowButtonFlat());

    // A show keeps running across folder changes; on an empty folder the first tick stops it.
    w.SpeedButton8Click();
    w.PTShellTree1->SelectFolder(makeFolder("nav-none"));
    w.Timer1Timer();
    EXPECT_FALSE(w.SlideShowRunning());
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_TRUE(w.SlideShowButtonFlat());
}

TEST_F(GlimmoNavigate, RandomSlidesPassOverMoviesAndDrawFromTheGenerator)
{
    TViewFrm &w = openWith({"a.bmp", "m1.avi", "m2.avi", "z.bmp"});
    std::vector<unsigned> draws = {3, 1, 6, 0};
    size_t next = 0;
    w.NextRandom = [&] { return draws.at(next++); };
    w.SlideShowMode = 2;
    w.SpeedButton8Click();
    const char *expectSelected[] = {"z.bmp", "m1.avi", "m2.avi", "a.bmp"};
    const char *expectShown[] = {"z.bmp", "z.bmp", "z.bmp", "a.bmp"};
    for (int tick = 0; tick < 4; ++tick) {
        SCOPED_TRACE(tick);
        w.Timer1Timer();
        EXPECT_EQ(selected(), QStringList{expectSelected[tick]});
        EXPECT_EQ(shown(), expectShown[tick]);
        EXPECT_TRUE(w.ImageCommandsEnabled()); // a movie is never handed to the player
    }
    // The window's own generator gives non-negative draws that are not all the same.
    TViewFrm fresh;
    std::set<unsigned> seen;
    for (int i = 0; i < 20; ++i) {
        const unsigned draw = fresh.NextRandom();
        EXPECT_LE(draw, 0x7FFFFFFFu);
        seen.insert(draw);
    }
    EXPECT_GT(seen.size(), 1u);
}

TEST_F(GlimmoNavigate, AStoredDelayOfZeroNeverFiresUntilANewIntervalIsSet)
{
    storeSettings([](platform::TRegistry &reg) { reg.WriteInteger("SlideShowDelay", 0); });
    TViewFrm &w = openWith({"a.bmp"});
    EXPECT_EQ(w.Timer1->interval(), 0);
    w.SpeedButton8Click();
    EXPECT_TRUE(w.SlideShowRunning());
    EXPECT_FALSE(w.Timer1->isActive()); // a zero-interval platform timer never fires
    w.SetSlideShowInterval(5000);
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.Timer1->interval(), 5000);
    w.SpeedButton8Click();
    w.SetSlideShowInterval(2000); // a new interval does not start a stopped show
    EXPECT_FALSE(w.Timer1->isActive());
    w.close();
    EXPECT_EQ(settings().ReadInteger("SlideShowDelay"), 2);
}

// ---- thumbnail view -----------------------------------------------------------------------

// A picture in four coloured quadrants, so that a scaled decode can be compared.
void writeQuadrants(const QString &path, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, x < w / 2 ? (y < h / 2 ? qRgb(220, 20, 20) : qRgb(20, 200, 40))
                                           : (y < h / 2 ? qRgb(30, 40, 210) : qRgb(240, 230, 30)));
    ASSERT_TRUE(image.save(path, "JPEG", 90));
}

class GlimmoThumbs : public GlimmoWindow {
protected:
    TViewFrm &openGrid(const QString &dir, const QSize &grid)
    {
        TViewFrm &w = open({"\"" + dir + "/"});
        w.Panel4->setFixedSize(grid);
        settle();
        return w;
    }
    // Builds the grid and waits until every thumbnail has been delivered.
    void build(TViewFrm &w)
    {
        w.Thumbnails1Click();
        finish(w);
    }
    void finish(TViewFrm &w)
    {
        w.ThumbLoader->WaitForIdle();
        settle();
    }
    // The thumbnails by cell, "column,row" -> hint.
    std::map<std::pair<int, int>, QString> cells(TViewFrm &w)
    {
        std::map<std::pair<int, int>, QString> out;
        for (auto *thumb : w.Panel4->findChildren<glimmo::TImage *>(QString(), Qt::FindDirectChildrenOnly)) {
            EXPECT_EQ(thumb->size(), QSize(73, 63));
            EXPECT_EQ(thumb->x() % 75, 0);
            EXPECT_EQ(thumb->y() % 65, 0);
            EXPECT_TRUE(thumb->Stretch());
            EXPECT_TRUE(out.emplace(std::make_pair(thumb->x() / 75, thumb->y() / 65), thumb->toolTip()).second)
                << "two thumbnails in one cell";
        }
        return out;
    }
    QString manyJpegs(const char *name, int count)
    {
        const QString dir = makeFolder(name);
        for (int i = 0; i < count; ++i)
            writePicture(dir + QString("/p%1.jpg").arg(i, 2, 10, QChar('0')), 120, 90);
        return dir;
    }
};

TEST_F(GlimmoThumbs, AGridOf222By300HasThreeColumnsAndFourRowsAndFillsInListOrder)
{
    const QString dir = manyJpegs("thumbs12", 14);
    TViewFrm &w = openGrid(dir, QSize(222, 300));
    build(w);
    EXPECT_TRUE(w.Thumbnails1->isChecked());
    EXPECT_FALSE(w.Details1->isChecked());
    EXPECT_EQ(w.PTShellList1->Filter(), "*.bmp;*.ico;*.jpeg;*.jpg;*.gif");
    EXPECT_EQ(w.PTShellList1->height(), 0);
    EXPECT_FALSE(w.Panel3->isHidden());
    EXPECT_EQ(w.ThumbColumns(), 3);
    EXPECT_EQ(w.ThumbRows(), 4);
    const auto grid = cells(w);
    ASSERT_EQ(grid.size(), 12u);
    for (const auto &[cell, hint] : grid)
        EXPECT_EQ(hint, w.EntryFileName(cell.second * 3 + cell.first)) << cell.first << "," << cell.second;
    EXPECT_TRUE(w.ScrollBar1->isEnabled()); // the grid is full
    EXPECT_EQ(w.ScrollBar1->maximum(), 0);  // 14 / 3 - 4 = 0
    // The cells hold the 73 x 63 thumbnail, not the decoded picture.
    for (auto *thumb : w.Panel4->findChildren<glimmo::TImage *>())
        EXPECT_EQ(thumb->PictureSize(), QSize(73, 63));

    // Another style gives the pane back to the list.
    w.Details1Click();
    EXPECT_GT(w.PTShellList1->maximumHeight(), 0);
    EXPECT_TRUE(w.Panel3->isHidden());
}

TEST_F(GlimmoThumbs, AStoredThumbnailViewIsBuiltAtFirstShowInThePanesOwnSize)
{
    const QString dir = manyJpegs("thumbsstart", 30);
    storeSettings([](platform::TRegistry &reg) { reg.WriteInteger("ViewStyle", 1); });
    TViewFrm &w = open({"\"" + dir + "/"});
    finish(w);
    EXPECT_TRUE(w.Thumbnails1->isChecked());
    // The grid takes the pane below the tree: the pane's width less the scroll bar.
    EXPECT_GT(w.Panel4->width(), 150);
    EXPECT_GT(w.Panel4->height(), 130);
    const int cellsInGrid = w.ThumbColumns() * w.ThumbRows();
    ASSERT_GT(cellsInGrid, 0);
    EXPECT_EQ(cells(w).size(), size_t(std::min(cellsInGrid, 30)));
    w.close();
    EXPECT_EQ(settings().ReadInteger("ViewStyle"), 1);
}

TEST_F(GlimmoThumbs, ScrollingMovesByWholeRowsAndTheSamePositionDoesNotRebuild)
{
    const QString dir = manyJpegs("thumbs40", 40);
    TViewFrm &w = openGrid(dir, QSize(222, 300));
    build(w);
    EXPECT_EQ(w.ScrollBar1->maximum(), 9); // 40 / 3 - 4
    w.ScrollBar1->setValue(2);
    EXPECT_EQ(w.LastThumbScrollPos, 2);
    finish(w);
    auto grid = cells(w);
    ASSERT_EQ(grid.size(), 12u);
    EXPECT_EQ(grid[std::make_pair(0, 0)], w.EntryFileName(6));
    EXPECT_EQ(grid[std::make_pair(2, 3)], w.EntryFileName(17));

    QPointer<QWidget> first = w.Panel4->childAt(1, 1);
    ASSERT_FALSE(first.isNull());
    w.ScrollBar1Change(); // same position
    finish(w);
    EXPECT_FALSE(first.isNull());
    EXPECT_EQ(w.Panel4->findChildren<glimmo::TImage *>().size(), 12);

    w.ScrollBar1->setValue(9); // the last rows: entries 27 to 38 of 40
    finish(w);
    EXPECT_TRUE(first.isNull());
    grid = cells(w);
    EXPECT_EQ(grid[std::make_pair(0, 0)], w.EntryFileName(27));
    EXPECT_EQ(grid.size(), 12u);
}

TEST_F(GlimmoThumbs, OnlyJpegAndGifNamesTakeCellsAndFailedDecodesLeaveThemEmpty)
{
    const QString dir = makeFolder("thumbsmixed");
    writePicture(dir + "/a.jpg", 100, 80);
    writePicture(dir + "/b.bmp", 100, 80);
    writePicture(dir + "/c.ico", 32, 32);
    writeBytes(dir + "/d.jpg", "not a jpeg");
    writeBytes(dir + "/e.gif", kOnePixelGif);
    writePicture(dir + "/f.jpg", 100, 80);
    for (const char *name : {"g.bmp", "h.bmp", "i.bmp", "j.bmp"})
        writePicture(dir + "/" + name, 10, 10);
    TViewFrm &w = openGrid(dir, QSize(222, 65)); // 3 columns, 1 row
    build(w);
    ASSERT_EQ(w.PTShellList1->Count(), 10);
    EXPECT_EQ(w.ScrollBar1->maximum(), 2); // 10 / 3 - 1: the bitmaps count
    const auto grid = cells(w);
    // a, d (empty: not a JPEG), e; the grid is then full, so f gets no cell.
    EXPECT_EQ(grid, (std::map<std::pair<int, int>, QString>{{{0, 0}, "a.jpg"}, {{2, 0}, "e.gif"}}));
    EXPECT_TRUE(w.ScrollBar1->isEnabled());

    // A grid under 65 pixels has no rows: no thumbnail, and the first entry ends the build.
    w.Panel4->setFixedSize(222, 60);
    w.ScrollBar1->setValue(0);
    build(w);
    EXPECT_EQ(w.ThumbRows(), 0);
    EXPECT_TRUE(cells(w).empty());
    EXPECT_TRUE(w.ScrollBar1->isEnabled());

    // A grid that is not full leaves the scroll bar disabled.
    w.Panel4->setFixedSize(222, 300);
    build(w);
    EXPECT_EQ(cells(w).size(), 3u); // a, e, f
    EXPECT_FALSE(w.ScrollBar1->isEnabled());
}

TEST_F(GlimmoThumbs, InAFolderWhosePathHoldsGifEveryFileIsTriedAsAGif)
{
    if (testenv::root().toLower().contains("jpg") || testenv::root().toLower().contains("jpeg"))
        GTEST_SKIP() << "test folder names a JPEG";
    const QString dir = makeFolder("MyGifs");
    writePicture(dir + "/a.bmp", 20, 20);
    writeBytes(dir + "/b.gif", kOnePixelGif);
    writePicture(dir + "/c.ico", 16, 16);
    TViewFrm &w = openGrid(dir, QSize(222, 300));
    build(w);
    EXPECT_EQ(cells(w), (std::map<std::pair<int, int>, QString>{{{1, 0}, "b.gif"}}));
}

TEST_F(GlimmoThumbs, ClickingAThumbnailSelectsItsEntryAndShowsIt)
{
    const QString dir = makeFolder("thumbclick");
    writeQuadrants(dir + "/big.jpg", 1200, 1000);
    writePicture(dir + "/small.jpg", 50, 40);
    TViewFrm &w = openGrid(dir, QSize(222, 300));
    build(w);
    QWidget *thumb = w.Panel4->childAt(1, 1);
    ASSERT_NE(thumb, nullptr);
    ASSERT_EQ(thumb->toolTip(), "big.jpg");
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), thumb->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), thumb->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(thumb, &press);
    QApplication::sendEvent(thumb, &release);
    EXPECT_EQ(w.PanelText(4), " big.jpg");
    EXPECT_EQ(w.Image1->PictureSize(), QSize(1200, 1000));
    EXPECT_EQ(w.PTShellList1->SelectedRow(), w.FindEntry("big.jpg"));
    EXPECT_EQ(thumb->contextMenuPolicy(), Qt::CustomContextMenu);

    // The thumbnail of the big picture, decoded at 1/8 (150 x 125), looks like the full
    // picture scaled down.
    const glimmo::ThumbResult made = glimmo::MakeJpegThumbnail(dir + "/big.jpg");
    ASSERT_TRUE(made.ok());
    const QImage full = platform::DecodeJpegFile(dir + "/big.jpg").image.scaled(
        QSize(73, 63), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    ASSERT_EQ(made.thumbnail.size(), full.size());
    for (const QPoint p : {QPoint(10, 10), QPoint(60, 10), QPoint(10, 50), QPoint(60, 50), QPoint(36, 31)}) {
        const QColor a = made.thumbnail.pixelColor(p), b = full.pixelColor(p);
        EXPECT_LE(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()), 40)
            << p.x() << "," << p.y();
    }
}

TEST(GlimmoThumbScale, TheSmallestDctScaleThatStillCoversTheCell)
{
    const struct {
        QSize full;
        int denom;
    } cases[] = {{{6000, 4000}, 8}, {{4000, 6000}, 8}, {{584, 504}, 8}, {{577, 497}, 8}, {{576, 504}, 4},
                 {{300, 200}, 2}, {{146, 126}, 2}, {{145, 125}, 2}, {{144, 126}, 1}, {{73, 63}, 1},
                 {{10, 10}, 1}, {{2000, 100}, 1}};
    for (const auto &c : cases)
        EXPECT_EQ(glimmo::ThumbnailScaleFor(c.full), c.denom) << c.full.width() << "x" << c.full.height();
    EXPECT_FALSE(glimmo::MakeJpegThumbnail(testenv::root() + "/missing.jpg").ok());
    EXPECT_FALSE(glimmo::MakeGifThumbnail(testenv::root() + "/missing.gif").ok());
}

TEST_F(GlimmoThumbs, ARebuildWhileJobsRunLeavesNoStaleThumbnailAndThePoolIsBounded)
{
    TViewFrm probe;
    // The grid below has 12 cells, so at most 12 jobs start.
    const int workers = std::min(probe.ThumbLoader->MaxThreads(), 12);
    ASSERT_GE(workers, 1);
    const QString old = manyJpegs("thumbsold", workers + 4);
    const QString fresh = makeFolder("thumbsnew");
    for (int i = 0; i < 5; ++i)
        writePicture(fresh + QString("/new%1.jpg").arg(i), 90, 70);

    TViewFrm &w = openGrid(old, QSize(222, 300));
    std::mutex mutex;
    std::condition_variable changed;
    int entered = 0;
    bool released = false;
    w.ThumbLoader->BeforeDecode = [&](const QString &path) {
        if (!path.startsWith(old))
            return;
        std::unique_lock<std::mutex> lock(mutex);
        ++entered;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    };
    w.Thumbnails1Click();
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return entered == workers; });
    }
    // Every worker is busy with the old folder; the folder change rebuilds the grid.
    w.PTShellTree1->SelectFolder(fresh);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        released = true;
    }
    changed.notify_all();
    finish(w);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(entered, workers); // the queued old jobs were dropped unrun
    }
    const auto grid = cells(w);
    ASSERT_EQ(grid.size(), 5u);
    for (const auto &[cell, hint] : grid)
        EXPECT_TRUE(hint.startsWith("new")) << hint.toStdString();

    // A window that goes while a job runs drops its result.
    std::unique_ptr<TViewFrm> gone = std::make_unique<TViewFrm>(QStringList{"\"" + old + "/"});
    gone->show();
    settle();
    gone->Panel4->setFixedSize(222, 300);
    gone->Thumbnails1Click();
    gone.reset();
    settle();
}

TEST_F(GlimmoThumbs, AnimatedGifsAnimateInTheirCells)
{
    const QString animated = kImages + "wuffs/animated-red-blue.gif";
    if (!QFileInfo(animated).isFile())
        GTEST_SKIP() << "no corpus";
    const QString dir = makeFolder("thumbanim");
    ASSERT_TRUE(QFile::copy(animated, dir + "/anim.gif"));
    writeBytes(dir + "/still.gif", kOnePixelGif);
    TViewFrm &w = openGrid(dir, QSize(222, 300));
    build(w);
    auto *anim = qobject_cast<glimmo::TImage *>(w.Panel4->childAt(1, 1));
    auto *still = qobject_cast<glimmo::TImage *>(w.Panel4->childAt(76, 1));
    ASSERT_NE(anim, nullptr);
    ASSERT_NE(still, nullptr);
    EXPECT_TRUE(anim->IsAnimated());
    EXPECT_EQ(anim->CurrentFrame().size(), QSize(73, 63)); // frames decoded at the cell's size
    EXPECT_FALSE(still->IsAnimated());
}

} // namespace
