// The Trawlix main window: its controls, the settings store, the pushes into the crawler and
// the close request. Each test has its own registry and documents folder.
#include "trawlix/zindle.h"

#include "platform/gui/app.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "tests/support/events.h"
#include "tests/support/httpserver.h"
#include "tests/support/testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace {

using trawlix::TForm1;

platform::TRegistry settings()
{
    platform::TRegistry reg;
    reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg.OpenKey(trawlix::kSettingsKey, true));
    return reg;
}

void storeSettings(const std::function<void(platform::TRegistry &)> &write)
{
    platform::TRegistry reg = settings();
    write(reg);
}

QStringList lines(const QPlainTextEdit *memo)
{
    return memo->toPlainText().split('\n');
}

class TrawlixWindow : public ::testing::Test {
protected:
    TForm1 &open(const QStringList &arguments = {"updateok"})
    {
        auto *app = static_cast<platform::TApplication *>(QCoreApplication::instance());
        app->SetReporter([this](const QString &, const QString &message) { errors << message; });
        form = std::make_unique<TForm1>(arguments);
        answerDialogs(*form);
        return *form;
    }

    void answerDialogs(TForm1 &w)
    {
        w.ConfirmYesCancel = [this](QWidget *, const QString &question) {
            questions << question;
            return answerYes;
        };
        w.ShowMessageBox = [this](QWidget *, const QString &text) { messages << text; };
        w.ChooseFile = [this](QWidget *, const QString &filter, const QString &initial) {
            dialogs << filter + "|" + initial;
            return chosen;
        };
        w.ChooseFolder = [this](QWidget *, const QString &title) {
            dialogs << title;
            return chosen;
        };
    }

    // A close request as the window receives it; whether it closed.
    bool requestClose()
    {
        bool canClose = true;
        form->FormCloseQuery(canClose);
        return canClose;
    }

    // Closes the window (saving its settings) and opens a new one on the same store.
    TForm1 &restart()
    {
        EXPECT_TRUE(requestClose());
        form.reset();
        return open();
    }

    void TearDown() override
    {
        form.reset();
        auto *app = static_cast<platform::TApplication *>(QCoreApplication::instance());
        app->SetReporter({});
    }

    std::unique_ptr<TForm1> form;
    bool answerYes = false;
    QString chosen;
    QStringList questions, messages, dialogs, errors;
};

// ---- first start -----------------------------------------------------------------------------

TEST_F(TrawlixWindow, FirstStartOnACleanStoreMakesTheFoldersAndShowsEveryDefault)
{
    TForm1 &w = open();
    const QString documents = platform::DocumentsFolder();
    ASSERT_FALSE(documents.isEmpty());
    EXPECT_EQ(w.DocumentsFolder, documents);
    EXPECT_EQ(w.Edit2->text(), documents + "/@Trawlix Logs/result.txt");
    EXPECT_EQ(w.Edit10->text(), documents + "/@Trawlix Downloads/");
    EXPECT_TRUE(QFileInfo(documents + "/@Trawlix Logs").isDir());
    EXPECT_TRUE(QFileInfo(documents + "/@Trawlix Downloads").isDir());
    EXPECT_EQ(w.Sifton1.GetFileOfResults(), w.Edit2->text().toStdString());
    EXPECT_EQ(w.windowTitle(), "@Trawlix");
    EXPECT_EQ(w.size(), QSize(780, 600));

    // The engines and file types, with the first-start check states.
    ASSERT_EQ(w.CheckListBox1->Count(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(w.CheckListBox1->Item(i), trawlix::kEngineListOrder[i]);
        EXPECT_EQ(w.CheckListBox1->Checked(i), i < 6) << i;
    }
    ASSERT_EQ(w.CheckListBox2->Count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w.CheckListBox2->Item(i), trawlix::kFileTypeItems[i]);
        EXPECT_EQ(w.CheckListBox2->Checked(i), i == 0 || i == 2 || i == 3) << i;
    }

    // Controls and the crawler property each one feeds.
    EXPECT_EQ(lines(w.Memo9), (QStringList{"count", "hitbox", "referer", "stat", "track"}));
    EXPECT_TRUE(w.Memo8->toPlainText().isEmpty());
    EXPECT_TRUE(w.CheckBox3->isChecked());
    EXPECT_TRUE(w.Sifton1.KeywordsFilterEnabled);
    EXPECT_FALSE(w.CheckBox4->isChecked());
    EXPECT_FALSE(w.Sifton1.KeywordsLimiterEnabled);
    EXPECT_FALSE(w.CheckBox1->isChecked());
    EXPECT_EQ(w.Edit5->text(), "1");
    EXPECT_EQ(w.Sifton1.GetRetries(), 1);
    EXPECT_EQ(w.Edit7->text(), "200");
    EXPECT_EQ(w.Sifton1.GetTimeOut(), 200);
    EXPECT_EQ(w.Edit3->text(), "4");
    EXPECT_EQ(w.UpDown1->Position(), 4);
    EXPECT_EQ(w.Sifton1.GetDepthSearchLevel(), 4);
    EXPECT_EQ(w.Edit6->text(), "10");
    EXPECT_EQ(w.Sifton1.GetConcurrentDownloads(), 10);
    EXPECT_EQ(w.RadioGroup2->ItemIndex(), 0);
    EXPECT_EQ(w.Sifton1.LinkScan, scanAllLinks);
    EXPECT_EQ(w.RadioGroup1->ItemIndex(), 2);
    EXPECT_EQ(w.Sifton1.GetProxyType(), PROXY_DEFAULT);
    EXPECT_TRUE(w.GroupBox4->isHidden());
    EXPECT_EQ(w.Edit9->text(), "80");
    EXPECT_EQ(w.Sifton1.GetProxyPort(), 80);
    EXPECT_TRUE(w.Edit8->text().isEmpty());
    EXPECT_EQ(w.EditMinImgH->text(), "240");
    EXPECT_EQ(w.EditMinImgW->text(), "200");
    EXPECT_EQ(w.EditMinImageFileS->text(), "14");
    EXPECT_EQ(w.EditMinMovieFileS->text(), "200");
    EXPECT_EQ(w.ComboBox1->count(), 0);
    EXPECT_EQ(w.FilterComboBox1->currentIndex(), 0);
    EXPECT_EQ(w.FilterMask(), "*.jpeg;*.jpg;*.avi;*.mpeg;*.mpg;*.mov;*.asf");

    // The crawler as the window places it.
    EXPECT_EQ(w.Sifton1.GetAgent(), TSifton::kDefaultAgent);
    EXPECT_EQ(w.Sifton1.GetMaxQueueSize(), 10000);
    EXPECT_FALSE(w.Sifton1.GetLeavesFirst());
    EXPECT_FALSE(w.Sifton1.SeekRobotsTxt);
    EXPECT_FALSE(w.Sifton1.TypeFilterEnabled);
    EXPECT_EQ(w.Sifton1.LinkReport, reportAllLinks);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("; ").toStdString();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

TEST_F(TrawlixWindow, ACloseRequestWritesEveryValueWithItsNameAndTypeInOrder)
{
    TForm1 &w = open();
    EXPECT_TRUE(requestClose());
    EXPECT_TRUE(questions.isEmpty());
    platform::TRegistry reg = settings();
    QStringList expected;
    for (const char *engine : trawlix::kEngineListOrder)
        expected << QString("CheckListBox1_") + engine;
    for (const char *type : trawlix::kFileTypeItems)
        expected << QString("CheckListBox2_") + type;
    expected << "Memo9" << "Memo8" << "CheckBox3" << "CheckBox4" << "CheckBox1" << "Edit2" << "Edit10"
             << "EditMinImgH" << "EditMinImgW" << "EditMinImageFileS" << "EditMinMovieFileS" << "Edit5" << "Edit7"
             << "UpDown1" << "UpDown2" << "RadioGroup2" << "Edit8" << "Edit4" << "Edit9" << "MaskEdit1"
             << "RadioGroup1" << "History";
    EXPECT_EQ(reg.GetValueNames(), expected);

    const std::set<QString> integers = {"CheckBox3", "CheckBox4", "CheckBox1", "UpDown1", "UpDown2", "RadioGroup2",
                                        "RadioGroup1"};
    for (const QString &name : expected) {
        SCOPED_TRACE(name.toStdString());
        if (integers.count(name) || name.startsWith("CheckListBox"))
            EXPECT_NO_THROW((void)reg.ReadInteger(name));
        else
            EXPECT_NO_THROW((void)reg.ReadString(name));
    }
    EXPECT_EQ(reg.ReadInteger("CheckListBox1_Google Images"), 1);
    EXPECT_EQ(reg.ReadInteger("CheckListBox1_Lycos Images"), 0);
    EXPECT_EQ(reg.ReadString("Memo9"), "count\r\nhitbox\r\nreferer\r\nstat\r\ntrack");
    EXPECT_EQ(reg.ReadString("Edit10"), w.Edit10->text());
    EXPECT_EQ(reg.ReadInteger("UpDown1"), 4);
    EXPECT_EQ(reg.ReadInteger("UpDown2"), 10);
    EXPECT_EQ(reg.ReadInteger("RadioGroup1"), 2);
    EXPECT_EQ(reg.ReadString("Edit9"), "80");
    EXPECT_EQ(reg.ReadString("History"), "");
    EXPECT_FALSE(reg.ValueExists("Version")); // only read, never written
}

// ---- settings round trip ---------------------------------------------------------------------

TEST_F(TrawlixWindow, EveryValueWrittenAtCloseIsReadBackIntoItsControlAndCrawlerProperty)
{
    TForm1 &w = open();
    const QString logs = testenv::root() + "/logs/found.txt";
    const QString downloads = testenv::root() + "/grabbed/";
    w.CheckListBox1->SetChecked(0, false);
    w.CheckListBox1->SetChecked(11, true);
    w.CheckListBox2->SetChecked(0, false);
    w.CheckListBox2->SetChecked(1, true);
    w.Memo9->setPlainText("banner\nads.example");
    w.Memo8->setPlainText("cars\nboats");
    w.CheckBox3->setChecked(false);
    w.CheckBox4->setChecked(true);
    w.CheckBox1->setChecked(true);
    w.Edit2->setText(logs);
    w.Edit10->setText(downloads);
    w.EditMinImgH->setText("300");
    w.EditMinImgW->setText("310");
    w.EditMinImageFileS->setText("20");
    w.EditMinMovieFileS->setText("500");
    w.Edit5->setText("5");
    w.Edit7->setText("45");
    for (int i = 0; i < 3; ++i)
        w.UpDown1->Step(+1);
    w.UpDown2->Step(-1);
    w.RadioGroup2->SetItemIndex(2);
    w.Edit8->setText("proxy.example");
    w.Edit4->setText("anna");
    w.Edit9->setText("3128");
    w.MaskEdit1->setText("s3cret");
    w.RadioGroup1->SetItemIndex(1);
    w.ComboBox1->addItems({"red car", "blue boat"});

    TForm1 &again = restart();
    EXPECT_FALSE(again.CheckListBox1->Checked(0));
    EXPECT_TRUE(again.CheckListBox1->Checked(1));
    EXPECT_TRUE(again.CheckListBox1->Checked(11));
    EXPECT_FALSE(again.CheckListBox2->Checked(0));
    EXPECT_TRUE(again.CheckListBox2->Checked(1));
    EXPECT_EQ(lines(again.Memo9), (QStringList{"banner", "ads.example"}));
    EXPECT_EQ(again.Sifton1.GetKeywordsFilter(), "ads.example\r\nbanner\r\n");
    EXPECT_EQ(lines(again.Memo8), (QStringList{"cars", "boats"}));
    EXPECT_EQ(again.Sifton1.GetKeywordsLimiter(), "boats\r\ncars\r\n");
    EXPECT_FALSE(again.CheckBox3->isChecked());
    EXPECT_FALSE(again.Sifton1.KeywordsFilterEnabled);
    EXPECT_TRUE(again.CheckBox4->isChecked());
    EXPECT_TRUE(again.Sifton1.KeywordsLimiterEnabled);
    EXPECT_TRUE(again.CheckBox1->isChecked());
    EXPECT_EQ(again.Edit2->text(), logs);
    EXPECT_EQ(again.Sifton1.GetFileOfResults(), logs.toStdString());
    EXPECT_EQ(again.Edit10->text(), downloads);
    EXPECT_TRUE(QFileInfo(downloads).isDir());
    EXPECT_EQ(again.EditMinImgH->text(), "300");
    EXPECT_EQ(again.EditMinImgW->text(), "310");
    EXPECT_EQ(again.EditMinImageFileS->text(), "20");
    EXPECT_EQ(again.EditMinMovieFileS->text(), "500");
    EXPECT_EQ(again.Sifton1.GetRetries(), 5);
    EXPECT_EQ(again.Sifton1.GetTimeOut(), 45);
    EXPECT_EQ(again.Edit3->text(), "7");
    EXPECT_EQ(again.UpDown1->Position(), 7);
    EXPECT_EQ(again.Sifton1.GetDepthSearchLevel(), 7);
    EXPECT_EQ(again.Edit6->text(), "9");
    EXPECT_EQ(again.Sifton1.GetConcurrentDownloads(), 9);
    EXPECT_EQ(again.RadioGroup2->ItemIndex(), 2);
    EXPECT_EQ(again.Sifton1.LinkScan, scanInitialPath);
    EXPECT_EQ(again.Sifton1.GetProxyAddress(), "proxy.example");
    EXPECT_EQ(again.Sifton1.GetProxyUser(), "anna");
    EXPECT_EQ(again.Sifton1.GetProxyPort(), 3128);
    EXPECT_EQ(again.Sifton1.GetProxyPassword(), "s3cret");
    EXPECT_EQ(again.RadioGroup1->ItemIndex(), 1);
    EXPECT_EQ(again.Sifton1.GetProxyType(), PROXY_USEPROXY);
    EXPECT_FALSE(again.GroupBox4->isHidden());
    ASSERT_EQ(again.ComboBox1->count(), 2);
    EXPECT_EQ(again.ComboBox1->itemText(0), "red car");
    EXPECT_EQ(again.ComboBox1->itemText(1), "blue boat");
    EXPECT_EQ(settings().ReadString("History"), "red car\r\nblue boat");
    // The log folder is made under the documents folder every start, whatever Edit2 says.
    EXPECT_TRUE(QFileInfo(platform::DocumentsFolder() + "/@Trawlix Logs").isDir());
}

TEST_F(TrawlixWindow, AStoredDownloadFolderGetsItsSlashAndIsMadeOneLevelDeep)
{
    const QString plain = testenv::root() + "/pictures";
    const QString nested = testenv::root() + "/no/such/folder";
    struct Case {
        QString stored, shown;
        bool made;
    } cases[] = {
        {plain, plain + "/", true},
        {plain + "/", plain + "/", true},
        {nested, nested + "/", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        storeSettings([&](platform::TRegistry &reg) { reg.WriteString("Edit10", c.stored); });
        TForm1 &w = open();
        EXPECT_EQ(w.Edit10->text(), c.shown);
        EXPECT_EQ(QFileInfo(c.shown).isDir(), c.made);
        form.reset();
    }

    // A folder chosen with "..." gets its slash at once; a cancelled choice changes nothing.
    TForm1 &w = open();
    chosen = testenv::root() + "/chosen";
    w.Button4Click();
    EXPECT_EQ(w.Edit10->text(), chosen + "/");
    EXPECT_EQ(dialogs.last(), trawlix::kDownloadFolderTitle);
    chosen.clear();
    w.Button4Click();
    EXPECT_EQ(w.Edit10->text(), testenv::root() + "/chosen/");
}

TEST_F(TrawlixWindow, TheLogFileChosenWithTheButtonReachesTheCrawler)
{
    TForm1 &w = open();
    chosen = testenv::root() + "/mine.txt";
    w.Button3Click();
    EXPECT_EQ(dialogs.last(), "Textfiles (*.txt)|*.txt");
    EXPECT_EQ(w.Edit2->text(), chosen);
    EXPECT_EQ(w.Sifton1.GetFileOfResults(), chosen.toStdString());
    chosen.clear();
    w.Button3Click();
    EXPECT_EQ(w.Edit2->text(), testenv::root() + "/mine.txt");
}

TEST_F(TrawlixWindow, AnAddedFileTypeSurvivesARestartWithItsCheckState)
{
    TForm1 &w = open();
    const int png = w.CheckListBox2->Add("png");
    w.CheckListBox2->SetChecked(png, true);
    w.CheckListBox2->Add("tif");
    w.CheckListBox2->SetState(1, Qt::PartiallyChecked); // grey counts as ticked when stored

    TForm1 &again = restart();
    ASSERT_EQ(again.CheckListBox2->Count(), 10);
    EXPECT_EQ(again.CheckListBox2->Item(8), "png");
    EXPECT_TRUE(again.CheckListBox2->Checked(8));
    EXPECT_EQ(again.CheckListBox2->Item(9), "tif");
    EXPECT_FALSE(again.CheckListBox2->Checked(9));
    EXPECT_TRUE(again.CheckListBox2->Checked(1));
    EXPECT_EQ(again.CheckListBox1->Count(), 12);
}

TEST_F(TrawlixWindow, CheckListValuesAreMatchedByTheirPrefixAndOddOnesLeftOut)
{
    storeSettings([](platform::TRegistry &reg) {
        reg.WriteInteger("CheckListBox2_webp", 1);   // a new item, ticked
        reg.WriteInteger("CheckListBox2_gif", 7);    // any non-zero value ticks
        reg.WriteInteger("CheckListBox2_jpg", 0);
        reg.WriteString("CheckListBox2_bmp", "1");   // wrong type: left at its default
        reg.WriteInteger("CheckListBox2", 1);        // no item text: no item
        reg.WriteInteger("checklistbox2_tga", 1);    // the prefix is matched exactly
        reg.WriteInteger("CheckListBox1_DMOZ", 0);
    });
    TForm1 &w = open();
    QStringList items;
    for (int i = 0; i < w.CheckListBox2->Count(); ++i)
        items << w.CheckListBox2->Item(i);
    EXPECT_EQ(items, (QStringList{"jpg", "gif", "avi", "mpg", "mov", "asf", "ra", "ram", "webp"}));
    EXPECT_TRUE(w.CheckListBox2->Checked(8));
    EXPECT_TRUE(w.CheckListBox2->Checked(1));
    EXPECT_FALSE(w.CheckListBox2->Checked(0));
    EXPECT_FALSE(w.CheckListBox1->Checked(4)); // DMOZ, checked by default
    EXPECT_TRUE(w.CheckListBox1->Checked(5));
}

// ---- pushes into the crawler -----------------------------------------------------------------

TEST_F(TrawlixWindow, AnUnreadableNumberGivesItsHandlersDefault)
{
    TForm1 &w = open();
    struct Case {
        const char *name;
        QLineEdit *edit;
        std::function<void()> push;
        std::function<int()> property;
        int fallback;
    } cases[] = {
        {"Edit5", w.Edit5, [&] { w.Edit5Change(); }, [&] { return w.Sifton1.GetRetries(); }, 3},
        {"Edit7", w.Edit7, [&] { w.Edit7Change(); }, [&] { return w.Sifton1.GetTimeOut(); }, 300},
        {"Edit9", w.Edit9, [&] { w.Edit9Change(); }, [&] { return w.Sifton1.GetProxyPort(); }, 80},
        {"Edit3", w.Edit3, [&] { w.UpDown1Click(); }, [&] { return w.Sifton1.GetDepthSearchLevel(); }, 3},
        {"Edit6", w.Edit6, [&] { w.UpDown2Click(); }, [&] { return w.Sifton1.GetConcurrentDownloads(); }, 2},
    };
    for (const Case &c : cases) {
        for (const char *text : {"", "abc", "12x", "1.5"}) {
            SCOPED_TRACE(std::string(c.name) + " = \"" + text + "\"");
            c.edit->setText("55");
            c.push();
            ASSERT_EQ(c.property(), 55);
            c.edit->setText(text);
            c.push();
            EXPECT_EQ(c.property(), c.fallback);
        }
    }
}

TEST_F(TrawlixWindow, UnreadableStoredNumbersAreReplacedWhenTheyArePushed)
{
    storeSettings([](platform::TRegistry &reg) {
        reg.WriteString("Edit5", "many");
        reg.WriteString("Edit7", "");
        reg.WriteString("Edit9", "http");
        reg.WriteInteger("UpDown1", 500); // past the range: the arrows' maximum
        reg.WriteString("UpDown2", "12"); // wrong type: left at its default
        reg.WriteInteger("RadioGroup1", 9);
    });
    TForm1 &w = open();
    EXPECT_EQ(w.Edit5->text(), "many");
    EXPECT_EQ(w.Sifton1.GetRetries(), 3);
    EXPECT_EQ(w.Sifton1.GetTimeOut(), 300);
    EXPECT_EQ(w.Sifton1.GetProxyPort(), 80);
    EXPECT_EQ(w.Edit3->text(), "100");
    EXPECT_EQ(w.Sifton1.GetDepthSearchLevel(), 100);
    EXPECT_EQ(w.Edit6->text(), "10");
    EXPECT_EQ(w.Sifton1.GetConcurrentDownloads(), 10);
    EXPECT_EQ(w.RadioGroup1->ItemIndex(), 2);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

TEST_F(TrawlixWindow, DepthAndConcurrencyChangeOnlyWithTheirArrows)
{
    TForm1 &w = open();
    w.show();
    for (QLineEdit *edit : {w.Edit3, w.Edit6}) {
        const QString before = edit->text();
        for (int key : {int(Qt::Key_7), int(Qt::Key_Backspace), int(Qt::Key_Delete), int(Qt::Key_A)}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_7 ? "7" : "");
            QApplication::sendEvent(edit, &press);
        }
        QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
        QApplication::sendEvent(edit, &paste);
        EXPECT_EQ(edit->text(), before) << edit->objectName().toStdString();
    }
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(w.Edit3, &up);
    EXPECT_EQ(w.Edit3->text(), "5");
    EXPECT_EQ(w.Sifton1.GetDepthSearchLevel(), 5);
    for (int i = 0; i < 120; ++i)
        w.UpDown2->Step(+1);
    EXPECT_EQ(w.Edit6->text(), "100");
    EXPECT_EQ(w.Sifton1.GetConcurrentDownloads(), 100);
    for (int i = 0; i < 120; ++i)
        w.UpDown1->Step(-1);
    EXPECT_EQ(w.Edit3->text(), "1");
    EXPECT_EQ(w.Sifton1.GetDepthSearchLevel(), 1);
}

TEST_F(TrawlixWindow, TheProxyOptionSetsTheModeAndShowsTheParametersOnlyForUseProxy)
{
    TForm1 &w = open();
    const TProxyType types[] = {PROXY_DIRECT, PROXY_USEPROXY, PROXY_DEFAULT};
    for (int index : {1, 0, 2, 1}) {
        w.RadioGroup1->SetItemIndex(index);
        EXPECT_EQ(w.Sifton1.GetProxyType(), types[index]);
        EXPECT_EQ(w.GroupBox4->isHidden(), index != 1) << index;
    }
    for (int index : {1, 2, 0}) {
        w.RadioGroup2->SetItemIndex(index);
        EXPECT_EQ(int(w.Sifton1.LinkScan), index);
    }
    // Only the proxy controls show their hints.
    EXPECT_FALSE(w.RadioGroup1->toolTip().isEmpty());
    EXPECT_EQ(w.Edit8->toolTip(), "ip address of the proxy server");
    EXPECT_EQ(w.Edit9->toolTip(), "port of the proxy server");
    EXPECT_EQ(w.MaskEdit1->toolTip(), "password to use for authenticate on the proxy server");
    EXPECT_TRUE(w.Edit3->toolTip().isEmpty());
    EXPECT_EQ(w.MaskEdit1->echoMode(), QLineEdit::Password);
}

// ---- stored texts ---------------------------------------------------------------------------

TEST_F(TrawlixWindow, StoredListsAreSplitOnLineBreaksAndTheVersionGoesIntoTheCaption)
{
    storeSettings([](platform::TRegistry &reg) {
        reg.WriteString("Version", "1.00");
        reg.WriteString("Memo9", "alpha\r\nbeta\r\n");
        reg.WriteString("Memo8", "one\ntwo");
        reg.WriteString("History", "newest\r\nolder\r\noldest");
        reg.WriteString("Edit2", testenv::root() + "/r.txt");
    });
    TForm1 &w = open();
    EXPECT_EQ(w.windowTitle(), "@Trawlix 1.00");
    EXPECT_EQ(lines(w.Memo9), (QStringList{"alpha", "beta"}));
    EXPECT_EQ(lines(w.Memo8), (QStringList{"one", "two"}));
    ASSERT_EQ(w.ComboBox1->count(), 3);
    EXPECT_EQ(w.ComboBox1->itemText(0), "newest");
    EXPECT_EQ(w.ComboBox1->itemText(2), "oldest");
    EXPECT_TRUE(w.ComboBox1->currentText().isEmpty());
    EXPECT_EQ(w.Sifton1.GetFileOfResults(), (testenv::root() + "/r.txt").toStdString());
    EXPECT_TRUE(requestClose());
    platform::TRegistry reg = settings();
    EXPECT_EQ(reg.ReadString("Memo9"), "alpha\r\nbeta");
    EXPECT_EQ(reg.ReadString("Memo8"), "one\r\ntwo");
    EXPECT_EQ(reg.ReadString("History"), "newest\r\nolder\r\noldest");
    EXPECT_EQ(reg.ReadString("Version"), "1.00");
}

// ---- a store that fails ---------------------------------------------------------------------

TEST_F(TrawlixWindow, ADamagedStoreIsReportedAndTheDefaultsAndFoldersStillApply)
{
    QDir().mkpath(testenv::registryDir());
    QFile hive(testenv::registryDir() + "/HKEY_LOCAL_MACHINE.reg");
    ASSERT_TRUE(hive.open(QIODevice::WriteOnly));
    hive.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Keldane\\@Trawlix]\n\"Edit5\"=broken\n");
    hive.close();

    TForm1 &w = open();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("The settings could not be read: ")) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains("HKEY_LOCAL_MACHINE.reg")) << errors[0].toStdString();
    EXPECT_EQ(w.Edit10->text(), platform::DocumentsFolder() + "/@Trawlix Downloads/");
    EXPECT_TRUE(QFileInfo(w.Edit10->text()).isDir());
    EXPECT_EQ(w.Sifton1.GetRetries(), 1);

    // The close is not held up by a store it cannot write; the damaged file is kept.
    EXPECT_TRUE(requestClose());
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[1].startsWith("The settings could not be saved: ")) << errors[1].toStdString();
    ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
    EXPECT_TRUE(hive.readAll().contains("=broken"));
}

TEST_F(TrawlixWindow, AStoreThatCannotBeCreatedLetsTheWindowOpenAndClose)
{
    QFile plain(testenv::root() + "/plain-file");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QByteArray saved = qgetenv("KELDANE_REGISTRY_DIR");
    qputenv("KELDANE_REGISTRY_DIR", (testenv::root() + "/plain-file/registry").toUtf8());
    TForm1 &w = open();
    EXPECT_EQ(w.Edit3->text(), "4");
    EXPECT_TRUE(requestClose());
    qputenv("KELDANE_REGISTRY_DIR", saved);
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_TRUE(errors.last().startsWith("The settings could not be saved: ")) << errors.last().toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join("; ").toStdString();
}

// ---- the close request ----------------------------------------------------------------------

TEST_F(TrawlixWindow, ClosingWhileIdleEndsWithoutAQuestion)
{
    TForm1 &w = open();
    w.show();
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_TRUE(settings().ValueExists("History"));

    TForm1 &again = open();
    again.show();
    again.Start1->trigger(); // "Close @Trawlix"
    EXPECT_FALSE(again.isVisible());
    TForm1 &third = open();
    third.show();
    third.ShutDown1->trigger(); // the tray menu's "Shut Down @Trawlix"
    EXPECT_FALSE(third.isVisible());
    EXPECT_TRUE(questions.isEmpty());
}

TEST_F(TrawlixWindow, TheQuitQuestionWhileACrawlRuns)
{
    testsupport::HttpServer server;
    server.route("/", testsupport::Response::silence());
    TForm1 &w = open();
    bool terminated = false;
    w.Sifton1.Terminate = [&] { terminated = true; };
    w.RadioGroup1->SetItemIndex(0); // direct, whatever proxy the environment names
    w.show();
    ASSERT_TRUE(w.Sifton1.Start(server.url("/")));
    ASSERT_TRUE(w.Sifton1.Working());

    // Cancel: the crawl goes on, but the settings are written already.
    w.EditMinImgH->setText("777");
    answerYes = false;
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(questions, QStringList{trawlix::kQuitQuestion});
    EXPECT_TRUE(w.Sifton1.Working());
    EXPECT_FALSE(w.Sifton1.Stopping());
    EXPECT_EQ(settings().ReadString("EditMinImgH"), "777");

    // Yes: the crawl stops and the crawler ends the program once it has wound down.
    answerYes = true;
    EXPECT_FALSE(requestClose());
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(w.Sifton1.IsExiting());
    // A close request while the crawl is stopping is allowed without a question.
    if (w.Sifton1.Working() && w.Sifton1.Stopping()) {
        EXPECT_TRUE(requestClose());
        EXPECT_EQ(questions.size(), 2);
    }
    EXPECT_TRUE(testsupport::serveEventsUntil([&] { return terminated; }));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- the frame ------------------------------------------------------------------------------

TEST_F(TrawlixWindow, ControlsAndMenusCarryTheirDesignerNamesAndCaptions)
{
    TForm1 &w = open();
    for (const char *name :
         {"ComboBox1", "FilterComboBox1", "SpeedButton1", "Panel2", "Image1", "SpeedButton5", "SpeedButton4",
          "SpeedButton3", "RadioGroup2", "CheckListBox1", "Panel1", "Panel3", "Panel4", "Panel5", "LabelG1",
          "ProgressBar1", "LabelG12", "LabelG13", "LabelG4", "ProgressBar4", "LabelG42", "LabelG43", "PageControl1",
          "ListBox1", "CheckListBox2", "Edit11", "Button5", "Memo9", "CheckBox3", "Memo8", "CheckBox4", "Edit2",
          "Button3", "Edit10", "Button4", "Edit5", "Edit7", "Edit3", "UpDown1", "Edit6", "UpDown2", "CheckBox1",
          "EditMinImgH", "EditMinImgW", "EditMinImageFileS", "EditMinMovieFileS", "RadioGroup1", "GroupBox4",
          "Edit8", "Edit9", "Edit4", "MaskEdit1", "Label26", "Label27", "Label28", "ScrollBox1", "StatusBar1",
          "MainMenu1", "PopupMenu1", "PopupMenu2"})
        EXPECT_NE(w.findChild<QObject *>(name), nullptr) << name;

    EXPECT_EQ(w.SpeedButton1->text(), "Search         ");
    EXPECT_EQ(w.SpeedButton5->text(), "Import IE URL");
    EXPECT_EQ(w.Button5->text(), "Add File-Extension");
    EXPECT_EQ(w.Edit11->maxLength(), 4);
    QStringList tabs;
    for (int i = 0; i < w.PageControl1->count(); ++i)
        tabs << w.PageControl1->tabText(i);
    EXPECT_EQ(tabs, (QStringList{"WEB / URL Scan", "Filtering", "Settings", "Connection / Proxy"}));
    QStringList filters;
    for (int i = 0; i < w.FilterComboBox1->count(); ++i)
        filters << w.FilterComboBox1->itemText(i);
    EXPECT_EQ(filters.size(), 8);
    EXPECT_EQ(filters.last(), "Custom Files (see Filtering)");
    EXPECT_EQ(w.Label26->text(), "0 s");
    EXPECT_EQ(w.Label27->text(), "0 m");
    EXPECT_EQ(w.Label28->text(), "0 h");
    EXPECT_EQ(w.StatusPanels[0]->text(), "HTML in queue: 0");
    EXPECT_EQ(w.StatusPanels[6]->text(), "FILES saved:");
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(w.SlotBars[slot]->maximum(), 100);
        EXPECT_EQ(w.SlotBytes[slot], -1);
        EXPECT_FALSE(w.SlotBusy[slot]);
    }

    // The menus, with the close commands working and the rest waiting for their pieces.
    const auto caption = [&](const char *name) { return w.findChild<QAction *>(name)->text(); };
    EXPECT_EQ(caption("OpenImageViewer1"), "Open @Glimmo");
    EXPECT_EQ(caption("ClearHistorylocal1"), "Clear History-DropDown");
    EXPECT_EQ(caption("HideZindle1"), "Hide @Trawlix");
    EXPECT_EQ(caption("Start1"), "Close @Trawlix");
    EXPECT_EQ(caption("HelpFile1"), "@Trawlix Help");
    EXPECT_EQ(w.HelpFile1->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(caption("BugReport1"), "Bug Report");
    EXPECT_EQ(caption("QuorvexHomepage1"), "@Trawlix Homepage");
    EXPECT_EQ(caption("ShowZindle1"), "Show @Trawlix");
    EXPECT_EQ(caption("ShutDown1"), "Shut Down @Trawlix");
    EXPECT_EQ(caption("Start2"), "Start URL Scan on this Page");
    EXPECT_TRUE(w.Start1->isEnabled());
    EXPECT_TRUE(w.ShutDown1->isEnabled());
    for (QObject *notYet : std::initializer_list<QObject *>{w.SpeedButton1, w.SpeedButton3, w.SpeedButton4,
                                                             w.SpeedButton5, w.Button5, w.OpenImageViewer1,
                                                             w.HelpFile1, w.About1, w.Question1, w.Start2})
        EXPECT_FALSE(notYet->property("enabled").toBool()) << notYet->objectName().toStdString();
}

TEST_F(TrawlixWindow, TheTablesHoldTheEnginesSkipTextsAndResultPageMarkers)
{
    TForm1 &w = open();
    ASSERT_EQ(w.EngineSites.size(), 12u);
    ASSERT_EQ(w.EngineQueries.size(), 12u);
    const char *order[] = {"DMOZ", "Lycos Images", "Lycos Movie", "Yahoo!", "AltaVista Websearch", "Google Websearch",
                           "Google Images", "FAST Pictures", "FAST Movies", "diTTo Pictures", "AltaVista Pictures",
                           "AltaVista Movies"};
    std::map<std::string, std::string> site;
    for (std::size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(order[i]);
        EXPECT_EQ(w.EngineSites[i].name, order[i]);
        EXPECT_EQ(w.EngineQueries[i].name, order[i]);
        EXPECT_NE(w.EngineQueries[i].text.find("{KEYS}"), std::string::npos);
        const std::string &s = w.EngineSites[i].text;
        EXPECT_EQ(s.rfind("http://", 0), 0u);
        EXPECT_EQ(s.back(), '/');
        EXPECT_EQ(std::count(s.begin(), s.end(), '/'), 3);
        site[order[i]] = s;
        // Every engine the list shows has its entries.
        EXPECT_GE(w.CheckListBox1->IndexOf(order[i]), 0);
    }
    EXPECT_EQ(site["Lycos Images"], site["Lycos Movie"]);
    EXPECT_EQ(site["FAST Pictures"], site["FAST Movies"]);
    EXPECT_EQ(site["AltaVista Websearch"], site["AltaVista Pictures"]);
    EXPECT_EQ(site["AltaVista Websearch"], site["AltaVista Movies"]);
    EXPECT_NE(site["Google Images"], site["Google Websearch"]);
    EXPECT_EQ(w.EngineQueries[3].text, "bin/search?p={KEYS}&n=3020");

    ASSERT_EQ(w.SkipList.size(), 144u);
    for (const char *word : {"404", "pay", "help", "click", "board", "mailto", "javascript"})
        EXPECT_NE(std::find(w.SkipList.begin(), w.SkipList.end(), word), w.SkipList.end()) << word;
    EXPECT_EQ(std::count(w.SkipList.begin(), w.SkipList.end(), "404"), 2);
    EXPECT_EQ(std::count(w.SkipList.begin(), w.SkipList.end(), "click"), 2);
    EXPECT_EQ(w.ResultPageMarkers,
              (std::vector<std::string>{"picture.asp?query", "srst", "r?ck", "director.asp", "webresult", "?imgurl=",
                                        "?offset=", "r?ck_sm=", "vppclickthru.asp?", "url?sa="}));
}

} // namespace
