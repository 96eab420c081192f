// The wizard's Qt windows, driven with QTest mouse and key events on the offscreen
// platform: what the pages show, limits, and click-throughs that must store the same
// settings as the scripted runs.
//
// With TM_SCREENSHOT_DIR set, every window the robot waits for is saved there as a PNG
// (scripts/screenshots.sh).
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "conduit/core/password.h"
#include "platform/code_page.h"
#include "platform/window_link.h"
#include "tests/wizard/wizard_fixture.h"
#include "ui/qt/qt_front_end.h"

namespace velkin {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "qt_wizard_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// The wizard window, or null.
QWidget* Sheet() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "sheet" && w->isVisible())
            return w;
    return nullptr;
}

// The window a person acts on: the innermost modal one, else the wizard's current page.
QWidget* Top() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    QWidget* sheet = Sheet();
    if (sheet == nullptr)
        return nullptr;
    auto* stack = sheet->findChild<QStackedWidget*>();
    return stack != nullptr ? stack->currentWidget() : nullptr;
}

template <class T>
T* Control(const QString& name) {
    QWidget* top = Top();
    if (top == nullptr)
        return nullptr;
    T* w = top->findChild<T*>(name);
    return w != nullptr && w->isVisible() && w->isEnabled() ? w : nullptr;
}

// Acts step by step on what is shown, from a timer, so that it goes on inside the modal
// loops that the logic opens. A step waits until the window it needs is there.
class Robot {
public:
    explicit Robot(std::string test) : m_test(std::move(test)) {}

    Robot& Expect(const QString& window) {
        Add(
            "window " + window.toStdString(),
            [window] { return Top() != nullptr && Top()->objectName() == window; },
            [this, window] { Shot(window); });
        return *this;
    }
    // Clicks a wizard button ("next", "back", "finish", "cancel").
    Robot& Wizard(const QString& button) {
        Add(
            "wizard button " + button.toStdString(),
            [button] {
                QWidget* sheet = Sheet();
                auto* b = sheet != nullptr && QApplication::activeModalWidget() == nullptr
                              ? sheet->findChild<QPushButton*>(button)
                              : nullptr;
                return b != nullptr && b->isVisible() && b->isEnabled();
            },
            [button] {
                QTest::mouseClick(Sheet()->findChild<QPushButton*>(button), Qt::LeftButton);
            });
        return *this;
    }
    Robot& Click(int id) {
        QString name = QString("c%1").arg(id);
        Add(
            "click " + name.toStdString(), [name] { return Control<QPushButton>(name) != nullptr; },
            [name] { QTest::mouseClick(Control<QPushButton>(name), Qt::LeftButton); });
        return *this;
    }
    Robot& Type(int id, const QString& text) {
        QString name = QString("c%1").arg(id);
        Add(
            "type into " + name.toStdString(),
            [name] { return Control<QLineEdit>(name) != nullptr; },
            [name, text] {
                QLineEdit* e = Control<QLineEdit>(name);
                QTest::mouseClick(e, Qt::LeftButton);
                e->selectAll();
                QTest::keyClick(e, Qt::Key_Delete);
                QTest::keyClicks(e, text);
            });
        return *this;
    }
    // Chooses a list entry with the arrow keys.
    Robot& Select(int id, const QString& entry) {
        QString name = QString("c%1").arg(id);
        Add(
            "select in " + name.toStdString(),
            [name] { return Control<QComboBox>(name) != nullptr; },
            [name, entry] {
                QComboBox* box = Control<QComboBox>(name);
                int target = box->findText(entry);
                EXPECT_GE(target, 0) << entry.toStdString();
                box->setFocus();
                for (int i = 0; i < 20 && box->currentIndex() != target; ++i)
                    QTest::keyClick(box, box->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
            });
        return *this;
    }
    // Answers the message box on top; its caption and text are kept.
    Robot& Answer(QMessageBox::StandardButton button) {
        Add(
            "message box",
            [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
            [this, button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                messages.push_back(box->windowTitle().toStdString() + ": " +
                                   box->text().toStdString());
                icons.push_back(box->icon());
                Shot("messagebox");
                QAbstractButton* b = box->button(button);
                EXPECT_NE(b, nullptr);
                if (b != nullptr)
                    QTest::mouseClick(b, Qt::LeftButton);
                else
                    box->reject();
            });
        return *this;
    }
    Robot& ChooseDirectory(const QString& path) {
        Add(
            "directory chooser",
            [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; },
            [path] {
                auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
                ASSERT_NE(name, nullptr);
                name->setText(path);
                QMetaObject::invokeMethod(fd, "accept");
            });
        return *this;
    }
    // Runs a check on what is shown (after the step before it).
    Robot& Check(std::function<void()> check) {
        Add(
            "check",
            [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) == nullptr; },
            std::move(check));
        return *this;
    }

    void Start() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_clock.start();
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    bool Done() const { return m_next == m_steps.size(); }

    std::vector<std::string> messages;
    std::vector<QMessageBox::Icon> icons;

private:
    struct Step {
        std::string what;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    void Add(std::string what, std::function<bool()> ready, std::function<void()> act) {
        m_steps.push_back({std::move(what), std::move(ready), std::move(act)});
    }
    void Tick() {
        if (m_next >= m_steps.size() || !m_steps[m_next].ready()) {
            if (m_clock.elapsed() > 10000) {
                // Nothing else can end the modal loops the run waits in.
                std::fprintf(
                    stderr, "robot of %s: step %zu (%s) never became possible; top: %s\n",
                    m_test.c_str(), m_next,
                    m_next < m_steps.size() ? m_steps[m_next].what.c_str() : "the end of the run",
                    Top() != nullptr ? Top()->objectName().toUtf8().constData() : "(none)");
                std::fflush(stderr);
                std::abort();
            }
            return;
        }
        // The act runs from a timer of its own: it may open a modal loop, inside which this
        // timer (which Qt does not re-enter) must go on ticking.
        size_t s = m_next++;
        m_clock.restart();
        QTimer::singleShot(0, [this, s] { m_steps[s].act(); });
    }
    void Shot(const QString& what) {
        QByteArray dir = qgetenv("TM_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QApplication::processEvents();
        QWidget* w = Top() != nullptr ? Top()->window() : nullptr;
        if (w == nullptr)
            return;
        QString file = QString("%1/%2_%3_%4.png")
                           .arg(QString::fromUtf8(dir), QString::fromStdString(m_test))
                           .arg(++m_shots, 2, 10, QChar('0'))
                           .arg(what);
        w->grab().save(file);
    }

    std::string m_test;
    std::vector<Step> m_steps;
    size_t m_next = 0;
    int m_shots = 0;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

class QtWizardTest : public WizardTest {
protected:
    void SetUp() override {
        App();
        WizardTest::SetUp();
    }
    // Runs velkin with the Qt windows while the robot acts.
    int32_t RunQt(const std::vector<std::string>& args, Robot& robot) {
        SheetOptions options;
        options.vimLibrary = TM_FAKE_VIM;
        ui::CQtFrontEnd fe;
        fe.SetRaiseMessage(WM_SHOW_SETUP);
        CMailSetupApp app(m_lang, fe);
        robot.Start();
        int32_t code = app.Run(args, options);
        robot.Stop();
        EXPECT_TRUE(robot.Done()) << "the run ended before the robot's last step";
        return code;
    }
    // A profile whose store is a Maildir (the mail library refuses a logon to anything else).
    void AddMaildirProfile(const std::string& name, bool isDefault = false) {
        AddProfile(name, isDefault);
        for (const char* sub : {"cur", "new", "tmp"})
            ASSERT_EQ(platform::CreateDirectories(TestRoot() + "/mail/" + name + "/" + sub, 0700),
                      0);
    }
    static QString Text(const char* name) {
        if (auto* l = Top()->findChild<QLabel*>(name))
            return l->text();
        if (auto* e = Top()->findChild<QLineEdit*>(name))
            return e->text();
        return {};
    }
    static bool Visible(const char* name) {
        QWidget* w = Top()->findChild<QWidget*>(name);
        return w != nullptr && w->isVisible();
    }
    static QString Button(const char* name) {
        auto* b = Sheet()->findChild<QPushButton*>(name);
        return b != nullptr && b->isVisible() ? b->text() : QString();
    }
};

const std::string PROFILE_SETTINGS =
    "[Mail]\nSystem=Microsoft Outlook\nInterface=MAPI32\nProfile=Home\nUserAccount=\n"
    "PostOffice=\nGateway=\nPassword=\n";

TEST_F(QtWizardTest, ProfilePathByMouseAndKeysStoresWhatTheScriptedRunStores) {
    auto dirs = AddUsers({"Ann Lee"});
    AddMaildirProfile("Work");
    AddMaildirProfile("Home", true);
    AddMaildirProfile("Archive");
    // The scripted run of the same path.
    ASSERT_EQ(Run({},
                  "expect 129\nselect 1006 Microsoft Outlook\nnext\nexpect 131\nnext\n"
                  "expect 381\nfinish\n"),
              0)
        << m_err.str();
    const std::string scripted = Settings(dirs[0]);
    ASSERT_EQ(scripted, PROFILE_SETTINGS);
    std::filesystem::remove(m_data + "/" + dirs[0] + "/Sync.ini");

    Robot r("profile");
    r.Expect("page129")
        .Check([] {
            auto* list = Top()->findChild<QComboBox*>("c1006");
            ASSERT_NE(list, nullptr);
            // In the order of mail.inf, not sorted.
            EXPECT_EQ(list->itemText(0), "Microsoft Outlook");
            EXPECT_EQ(list->itemText(3), "Lotus cc:Mail 7.0");
            EXPECT_EQ(Sheet()->windowTitle(), "Mail Setup");
            EXPECT_FALSE(Button("next").isEmpty());
            EXPECT_TRUE(Button("finish").isEmpty());
        })
        .Select(1006, "Microsoft Outlook")
        .Wizard("next")
        .Expect("page131")
        .Check([] {
            auto* list = Top()->findChild<QComboBox*>("c1010");
            ASSERT_NE(list, nullptr);
            ASSERT_EQ(list->count(), 3);
            // Sorted, the default profile chosen.
            EXPECT_EQ(list->itemText(0), "Archive");
            EXPECT_EQ(list->itemText(2), "Work");
            EXPECT_EQ(list->currentText(), "Home");
        })
        .Wizard("next")
        .Expect("page381")
        .Check([] {
            EXPECT_EQ(Text("c1069"), "Microsoft Outlook");
            EXPECT_EQ(Text("c1072"), "Home");
            EXPECT_EQ(Button("finish"), "Finish");
            EXPECT_TRUE(Button("next").isEmpty());
        })
        .Wizard("finish")
        .Answer(QMessageBox::Ok);
    EXPECT_EQ(RunQt({}, r), 0);
    EXPECT_EQ(Settings(dirs[0]), scripted);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_NE(r.messages[0].find("Your selected TetherSync action for Mail is currently set to "
                                 "Do Nothing."),
              std::string::npos)
        << r.messages[0];
    EXPECT_EQ(r.icons[0], QMessageBox::Information);
}

TEST_F(QtWizardTest, VimPathWithLimitsBrowseAndHiddenPasswordStoresWhatTheScriptStores) {
    auto dirs = AddUsers({"Rez Vored"});
    std::string scriptedRun =
        "select 1006 Lotus cc:Mail 7.0\nnext\nexpect 134\ntype 1019 Rez Vored\n"
        "type 1065 " +
        std::string(32, 'p') + "\nnext\nexpect 140\ntype 1052 /srv/po\nnext\n" +
        "expect 141\ntype 1060 Internet\nnext\nexpect 106\nfinish\n";
    ASSERT_EQ(Run({}, scriptedRun), 0) << m_err.str() << m_out.str();
    const std::string scripted = Settings(dirs[0]);
    ASSERT_NE(scripted.find("PostOffice=/srv/po\n"), std::string::npos) << scripted;
    std::filesystem::remove(m_data + "/" + dirs[0] + "/Sync.ini");

    const std::string mixed = TestRoot() + "/home/Post_Office";
    ASSERT_EQ(platform::CreateDirectories(mixed, 0700), 0);
    Robot r("vim");
    r.Expect("page129")
        .Select(1006, "Lotus cc:Mail 7.0")
        .Wizard("next")
        .Expect("page134")
        .Type(1019, "Rez Vored")
        // One character more than the field holds: cut, and message 112 under the page's
        // caption, with the exclamation icon.
        .Type(1065, QString(33, 'p'))
        .Answer(QMessageBox::Ok)
        .Check([] {
            auto* pw = Top()->findChild<QLineEdit*>("c1065");
            ASSERT_NE(pw, nullptr);
            EXPECT_EQ(pw->echoMode(), QLineEdit::Password);
            EXPECT_EQ(pw->text(), QString(32, 'p'));
        })
        .Wizard("next")
        .Expect("page140")
        .Click(1053)
        .ChooseDirectory(QString::fromStdString(mixed))
        .Check([mixed] {
            // The chosen folder comes back lower-cased.
            EXPECT_EQ(Text("c1052").toStdString(), platform::LowerMb(mixed));
        })
        .Type(1052, "/srv/po")
        .Wizard("next")
        .Expect("page141")
        .Type(1060, "Internet")
        .Wizard("next")
        .Expect("page106")
        .Check([] {
            EXPECT_EQ(Text("c1069"), "Lotus cc:Mail 7.0");
            EXPECT_FALSE(Visible("c1090"));  // hidden in the template
        })
        .Wizard("finish")
        .Answer(QMessageBox::Ok);
    EXPECT_EQ(RunQt({}, r), 0);
    EXPECT_EQ(Settings(dirs[0]), scripted);
    ASSERT_GE(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], "cc:Mail User Name/Password: Cannot add any more characters here.");
    EXPECT_EQ(r.icons[0], QMessageBox::Warning);
}

TEST_F(QtWizardTest, SimpleMapiPathShowsItsNoteAndStoresWhatTheScriptStores) {
    auto dirs = AddUsers({"Ann Lee"});
    ASSERT_EQ(Run({}, "select 1006 Eudora Pro\nnext\nexpect 107\nfinish\nexpect 162\nok\n"), 0)
        << m_err.str() << m_out.str();
    const std::string scripted = Settings(dirs[0]);
    ASSERT_NE(scripted.find("System=Eudora Pro\n"), std::string::npos);
    std::filesystem::remove(m_data + "/" + dirs[0] + "/Sync.ini");

    Robot r("simplemapi");
    r.Expect("page129")
        .Select(1006, "Eudora Pro")
        .Wizard("next")
        .Expect("page107")
        .Wizard("back")
        .Expect("page129")
        .Wizard("next")
        .Expect("page107")
        .Wizard("finish")
        .Expect("dialog162")
        .Check([] { EXPECT_EQ(Top()->findChild<QPushButton*>("c1")->text(), "OK"); })
        .Click(1)
        .Answer(QMessageBox::Ok);
    EXPECT_EQ(RunQt({}, r), 0);
    EXPECT_EQ(Settings(dirs[0]), scripted);
}

TEST_F(QtWizardTest, UserSelectionAndCurrentSetupDialogsAndCancel) {
    AddUsers({"Ann Lee", "Bob Stone"});
    Robot r("dialogs");
    r.Expect("dialog380")
        .Check([] {
            EXPECT_EQ(Top()->windowTitle(), "User Selection");
            auto* list = Top()->findChild<QComboBox*>("c1008");
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(list->count(), 2);
        })
        .Select(1008, "Bob Stone")
        .Click(1)
        .Expect("page129")
        .Wizard("cancel")
        .Answer(QMessageBox::Yes);
    EXPECT_EQ(RunQt({}, r), 1);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.icons[0], QMessageBox::Question);
}

TEST_F(QtWizardTest, InstallModeFinishReadsNext) {
    auto dirs = AddUsers({"Ann Lee"});
    AddMaildirProfile("Home");
    Robot r("install");
    r.Expect("page129")
        .Select(1006, "Microsoft Outlook")
        .Wizard("next")
        .Expect("page381")
        .Check([] {
            EXPECT_EQ(Button("finish"), "Next >");
            EXPECT_FALSE(Button("back").isEmpty());
        })
        .Wizard("finish");
    EXPECT_EQ(RunQt({"/I", "-u", "Ann Lee"}, r), 0);
    EXPECT_EQ(Settings(dirs[0]), PROFILE_SETTINGS);
}

TEST_F(QtWizardTest, ShowRequestBringsTheWizardForwardAndCloseRequestEndsIt) {
    auto dirs = AddUsers({"Ann Lee"});
    QWidget other;
    Robot r("messages");
    r.Expect("page129")
        .Check([&other] {
            other.show();
            other.activateWindow();
            QApplication::processEvents();
            EXPECT_EQ(QApplication::activeWindow(), &other);  // the wizard is behind it
            ASSERT_TRUE(platform::WindowExists("Mail Setup"));
            EXPECT_TRUE(platform::PostWindowMessage("Mail Setup", WM_SHOW_SETUP, 0, 0));
        })
        .Expect("page129");
    bool raised = false;
    r.Check([&raised] {
        // The inbox is read every 100 ms.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 2000 && QApplication::activeWindow() != Sheet())
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        raised = QApplication::activeWindow() == Sheet();
        EXPECT_TRUE(platform::PostWindowMessage("Mail Setup", WM_CLOSE_SETUP, 0, 0));
    });
    // Closed from outside: the sheet ends with 1 (neither Finish nor Cancel), the program
    // exits 0 and nothing is stored.
    EXPECT_EQ(RunQt({"-u", "Ann Lee"}, r), 0);
    EXPECT_TRUE(raised);
    EXPECT_EQ(Settings(dirs[0]), "");
}

// Runs a program with the test's environment and QT_QPA_PLATFORM=offscreen.
pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

int WaitExit(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    (void)waitpid(pid, nullptr, 0);
    return -2;
}

TEST_F(QtWizardTest, SecondVelkinProcessLeavesTheFirstWhichClosesOnRequest) {
    auto dirs = AddUsers({"Ann Lee"});
    pid_t first = Spawn({TM_VELKIN, "-u", "Ann Lee"});
    ASSERT_GT(first, 0);
    bool up = false;
    for (int i = 0; i < 200 && !up; ++i) {
        up = platform::WindowExists("Mail Setup");
        if (!up)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(up) << "the first velkin never showed its window";
    pid_t second = Spawn({TM_VELKIN, "-u", "Ann Lee"});
    ASSERT_GT(second, 0);
    EXPECT_EQ(WaitExit(second, 20), 0);  // it asked the first to come forward and left
    EXPECT_TRUE(platform::WindowExists("Mail Setup"));  // the first still runs
    EXPECT_TRUE(platform::PostWindowMessage("Mail Setup", WM_CLOSE_SETUP, 0, 0));
    EXPECT_EQ(WaitExit(first, 20), 0);
    EXPECT_FALSE(platform::WindowExists("Mail Setup"));
    EXPECT_EQ(Settings(dirs[0]), "");
}

}  // namespace
}  // namespace velkin
